#include "Tools/Marketplace/WorldGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "Source/Base/BrickLink/BoundedCombinationSearch.h"
#include "Source/Base/BrickLink/Countries.h"
#include "Source/Base/BrickStore/XmlParser.h"
#include "Tests/Support/LogCapture.h"
#include "Tools/Marketplace/WorldTable.h"

namespace {

using namespace Corvalle::Marketplace;
using Corvalle::BrickLink::Region;

bool InCountryTable(const std::string& id) {
  return Corvalle::BrickLink::FindCountryByID(id) != nullptr;
}

// The default generator's world is fixed byte for byte by the sample world's recipe in
// CommandLineTest, and a seed's world by WorldFamilyTest; here, the sizes at their edges.
TEST(WorldGeneratorTest, RequestedSizesAtTheirEdges) {
  GeneratorOptions options;
  options.seed = 7;
  options.stores = 3;
  options.items = 0;
  const World tiny = World::FromJson(GenerateWorld(options).ToJson());  // a valid world file
  EXPECT_EQ(tiny.Stores().size(), 3U);
  EXPECT_TRUE(tiny.PriceGuides().empty());
  options.stores = 0;
  options.items = 1;
  EXPECT_THROW(GenerateWorld(options), std::invalid_argument);
}

// Whether the search finds a plan of at most k stores for a buyer in the country, from the
// stores of North America and Europe that ship there.
bool BuyableFrom(std::uint32_t k, const World& world, const std::vector<IncludedItem>& list,
                 const char* buyerCountry) {
  Corvalle::BrickLink::PurchaseTerms terms;
  terms.buyerCountryId = buyerCountry;
  const WorldTable built = BuildWorldTable(world, list, {"North America", "Europe"}, terms);
  return built.table->StoreCount() >= k &&
         !Corvalle::BrickLink::CreateBoundedCombinationSearch(built.items)
              ->FindCheapestCombinations(*built.table, k, 1, nullptr, 1, built.rules)
              .empty();
}

std::vector<IncludedItem> AsIncluded(const std::vector<Corvalle::Item>& items) {
  std::vector<IncludedItem> list;
  for (const Corvalle::Item& item : items) {
    list.push_back({Corvalle::ToCharacter(item.Type()), item.Id(), item.Color().Id(),
                    item.Quantity(), "",
                    item.GetCondition() == Corvalle::Condition::New ? 'N' : 'U'});
  }
  return list;
}

TEST(SampleWorldTest, HoldsEveryBundledWantedListBuyableFromThreeStores) {
  const Testing::LogCapture quiet;  // the wanted-list reader logs every item
  const World world = World::FromFile(std::string(CORVALLE_SAMPLES_DIR) + "/world.json");
  EXPECT_GE(world.Stores().size(), 200U);
  EXPECT_LT(world.Stores().size(), 1000U);
  const auto reader = Corvalle::BrickStore::CreateXmlParser();
  for (const char* list : {"castle-wall.xml", "space-shuttle.xml", "town-corner.bsx"}) {
    const auto items = reader->ParseItems((std::string(CORVALLE_SAMPLES_DIR) + "/" + list).c_str());
    ASSERT_TRUE(items) << list;
    for (const char* buyer : {"US", "DE", "CA"}) {
      EXPECT_TRUE(BuyableFrom(3, world, AsIncluded(*items), buyer)) << list << " " << buyer;
    }
  }
  // Stores outside the country table exist but offer none of the wanted items.
  bool unlistedStore = false;
  for (const WorldStore& store : world.Stores()) {
    unlistedStore |= !InCountryTable(store.countryId);
  }
  EXPECT_TRUE(unlistedStore);
}

TEST(WorldGeneratorTest, IncludedItemsAreOfferedOnlyByListedStores) {
  GeneratorOptions options;
  options.seed = 11;
  options.stores = 600;
  options.items = 5;
  options.include = {
      {'P', "3001", 11, 40, "Brick 2 x 4"}, {'M', "cas001", 99, 1, ""}, {'P', "3001", 11, 60, ""}};
  const World world = GenerateWorld(options);
  EXPECT_EQ(world.PriceGuides().size(), 5U);
  const WorldPriceGuide* brick = world.FindPriceGuide('P', "3001", 11);
  ASSERT_NE(brick, nullptr);
  EXPECT_EQ(brick->name, "Brick 2 x 4");
  EXPECT_EQ(world.PriceGuides().at(0).id, "3001");
  EXPECT_EQ(world.PriceGuides().at(1).color, 0U);  // only parts keep a colour
  std::uint32_t largest = 0;
  for (const WorldPriceGuide* guide : {brick, world.FindPriceGuide('M', "cas001", 0)}) {
    ASSERT_NE(guide, nullptr);
    for (const auto* lots : {&guide->newLots, &guide->usedLots}) {
      EXPECT_FALSE(lots->empty());
      for (const WorldLot& lot : *lots) {
        EXPECT_TRUE(InCountryTable(world.FindStore(lot.storeId)->countryId));
        if (guide == brick) {
          largest = std::max(largest, lot.quantity);
        }
      }
    }
  }
  // The larger of the two wanted quantities counts.
  EXPECT_GE(largest, 120U);
}

// Every family at its usual sizes: the same seed gives the same world and list, another seed
// another world, and the world has the shape that makes the family what it is.
class WorldFamilyTest : public testing::TestWithParam<WorldFamily> {
 protected:
  static std::vector<const WorldLot*> LotsOf(const WorldPriceGuide& guide) {
    std::vector<const WorldLot*> lots;
    for (const auto* list : {&guide.newLots, &guide.usedLots}) {
      for (const WorldLot& lot : *list) {
        lots.push_back(&lot);
      }
    }
    return lots;
  }
  static std::size_t StoresOffering(const WorldPriceGuide& guide) {
    std::set<std::uint32_t> stores;
    for (const WorldLot* lot : LotsOf(guide)) {
      stores.insert(lot->storeId);
    }
    return stores.size();
  }
};

TEST_P(WorldFamilyTest, IsDeterministicAndHasItsShape) {
  GeneratorOptions options = FamilyOptions(GetParam());
  const World world = GenerateWorld(options);
  const std::vector<IncludedItem> list = FamilyWantedList(options);
  const std::string json = world.ToJson();
  EXPECT_EQ(GenerateWorld(options).ToJson(), json);
  EXPECT_EQ(WantedListXml(FamilyWantedList(options)), WantedListXml(list));
  options.seed = 8;
  EXPECT_NE(GenerateWorld(options).ToJson(), json);
  ASSERT_EQ(world.PriceGuides().size(), GetParam() == WorldFamily::Lognormal ? 150U : list.size());
  const auto& guides = world.PriceGuides();

  switch (GetParam()) {
    case WorldFamily::Uniform: {
      std::size_t near = 0;
      for (const WorldStore& store : world.Stores()) {
        const auto& country = Corvalle::BrickLink::GetCountryByID(store.countryId);
        near += country.region == Region::NorthAmerica || country.region == Region::Europe;
      }
      EXPECT_NEAR(static_cast<double>(near) / 1500.0, 2.0 / 3.0, 0.04);
      for (const WorldPriceGuide& guide : guides) {
        EXPECT_GE(StoresOffering(guide), 149U);
        EXPECT_LE(StoresOffering(guide), 1351U);
      }
      break;
    }
    case WorldFamily::OneItem:
      ASSERT_EQ(list.size(), 1U);
      EXPECT_EQ(list.front().quantity, 900U);
      EXPECT_EQ(world.Stores().size(), 300U);
      EXPECT_EQ(guides.front().newLots.size() + guides.front().usedLots.size(), 300U);
      EXPECT_EQ(StoresOffering(guides.front()), 300U);
      for (const WorldStore& store : world.Stores()) {
        EXPECT_EQ(store.countryId, "US");
      }
      for (const WorldLot* lot : LotsOf(guides.front())) {
        EXPECT_TRUE(lot->quantity >= 1 && lot->quantity <= 899) << lot->quantity;
        EXPECT_TRUE(lot->price >= 0.1 && lot->price <= 2.0) << lot->price;
        EXPECT_DOUBLE_EQ(lot->price * 100.0, std::round(lot->price * 100.0)) << lot->price;
      }
      break;
    case WorldFamily::Dense: {
      // Eighteen large lines, none of whose lots fills it alone, though many hold above 100
      // pieces, so that a few stores fill it together; every item offered by hundreds.
      std::size_t largeLines = 0;
      for (std::size_t index = 0; index < list.size(); ++index) {
        EXPECT_GE(StoresOffering(guides[index]), 700U);
        if (list[index].quantity < 138) {
          EXPECT_LE(list[index].quantity, 30U);
          continue;
        }
        ++largeLines;
        EXPECT_LE(list[index].quantity, 369U);
        const auto lots = LotsOf(guides[index]);
        std::size_t aboveHundred = 0;
        for (const WorldLot* lot : lots) {
          EXPECT_LT(lot->quantity, list[index].quantity);
          EXPECT_TRUE(lot->quantity >= 30 && lot->quantity <= 250) << lot->quantity;
          aboveHundred += lot->quantity > 100;
        }
        EXPECT_GT(static_cast<double>(aboveHundred), 0.2 * static_cast<double>(lots.size()));
      }
      EXPECT_EQ(largeLines, 18U);
      break;
    }
    case WorldFamily::Lognormal: {
      // A heavy tail: the largest stores offer tens of times the median store's lots, and they
      // are few, where uniformly drawn stores all come out near the mean.
      std::map<std::uint32_t, std::size_t> lotsOfStore;
      for (const WorldStore& store : world.Stores()) {
        lotsOfStore[store.id] = 0;
      }
      for (const WorldPriceGuide& guide : guides) {
        for (const WorldLot* lot : LotsOf(guide)) {
          ++lotsOfStore.at(lot->storeId);
        }
      }
      std::vector<std::size_t> sizes;
      for (const auto& [store, lots] : lotsOfStore) {
        sizes.push_back(lots);
      }
      std::sort(sizes.begin(), sizes.end());
      const std::size_t median = sizes[sizes.size() / 2];
      EXPECT_GE(median, 1U);
      EXPECT_GE(sizes.back(), 20 * median);
      const auto large = std::count_if(sizes.begin(), sizes.end(),
                                       [&](std::size_t lots) { return lots >= 10 * median; });
      EXPECT_GE(large, 5);
      EXPECT_LE(large, 150);
      // The wanted items are common: a few hundred stores each at the median.
      std::vector<std::size_t> offering;
      for (std::size_t index = 0; index < list.size(); ++index) {
        offering.push_back(StoresOffering(guides[index]));
      }
      std::sort(offering.begin(), offering.end());
      EXPECT_GE(offering[offering.size() / 2], 200U);
      EXPECT_LE(offering[offering.size() / 2], 600U);
      EXPECT_GE(offering.front(), 50U);
      // No store carries the whole list, but a few of the large ones of North America and
      // Europe do between them, for a buyer on either side of the Atlantic.
      for (const char* buyer : {"US", "DE"}) {
        EXPECT_FALSE(BuyableFrom(1, world, list, buyer)) << buyer;
        EXPECT_TRUE(BuyableFrom(6, world, list, buyer)) << buyer;
      }
      EXPECT_EQ(list.at(3).quantity, 4U);
      EXPECT_EQ(list.at(3).condition, 'U');
      break;
    }
    case WorldFamily::Tied:
      // Whole grid steps, at most three prices an item, and every lot enough alone.
      for (std::size_t index = 0; index < list.size(); ++index) {
        std::set<double> prices;
        for (const WorldLot* lot : LotsOf(guides[index])) {
          prices.insert(lot->price);
          EXPECT_DOUBLE_EQ(lot->price * 20.0, std::round(lot->price * 20.0)) << lot->price;
          EXPECT_GE(lot->quantity, list[index].quantity);
        }
        EXPECT_LE(prices.size(), 3U);
      }
      break;
    case WorldFamily::Shipping: {
      GeneratorOptions uniform = FamilyOptions(WorldFamily::Uniform);
      EXPECT_EQ(json, GenerateWorld(uniform).ToJson());
      break;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Families, WorldFamilyTest, testing::ValuesIn(AllFamilies()),
                         [](const testing::TestParamInfo<WorldFamily>& family) {
                           std::string name = FamilyName(family.param);
                           name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                           return name;
                         });

}  // namespace
