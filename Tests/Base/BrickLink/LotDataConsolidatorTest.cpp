#include "Source/Base/BrickLink/LotDataConsolidator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "Tests/Support/LogCapture.h"

namespace Corvalle::BrickLink {
namespace {

std::unique_ptr<PriceGuide> Guide(std::list<PriceGuideDatum> lots) {
  return std::make_unique<PriceGuide>(std::move(lots), PriceGuideStatistics{},
                                      PriceGuideStatistics{});
}

using Lots = std::vector<TableLot>;

Lots CellLots(const ConsolidatedLotData& table, std::uint32_t item, std::uint32_t store) {
  const auto lots = table.GetLots(item, store);
  return Lots(lots.begin(), lots.end());
}

Item MakeItem(const std::string& id, Condition condition, std::uint32_t quantity,
              std::list<PriceGuideDatum> newLots, std::list<PriceGuideDatum> usedLots = {},
              double maximumPrice = 0.0) {
  Item item(ItemType::Part, id, id, 5, condition, quantity, 0, maximumPrice);
  item.SetPriceGuideNew(Guide(std::move(newLots)));
  item.SetPriceGuideUsed(Guide(std::move(usedLots)));
  return item;
}

TEST(LotDataConsolidatorTest, BuildsOneColumnPerStoreInIdOrder) {
  std::vector<Item> items;
  // Store 30 sells one big lot: kept whole, beyond the wanted quantity.
  items.push_back(MakeItem("a", Condition::New, 10, {{30, 500, 0.25}, {7, 2, 1.5}}));
  // Wanted New: the used lot of store 99 does not count and 99 is no column.
  items.push_back(MakeItem("b", Condition::New, 1, {{7, 1, 2.0}}, {{99, 4, 0.1}}));
  // Wanted in any condition: new and used lots both count, each with its own condition.
  items.push_back(MakeItem("c", Condition::Used, 3, {{30, 1, 1.0}}, {{12, 2, 0.5}}));
  items.push_back(MakeItem("d", Condition::New, 3, {}));  // no lots at all

  Testing::LogCapture log;
  const auto table = CreateLotDataConsolidator()->ConsolidateLotData(items);
  ASSERT_EQ(table->ItemCount(), 4u);
  ASSERT_EQ(table->StoreCount(), 3u);
  EXPECT_EQ(table->GetStore(0).Id(), 7u);
  EXPECT_EQ(table->GetStore(1).Id(), 12u);
  EXPECT_EQ(table->GetStore(2).Id(), 30u);
  EXPECT_EQ(CellLots(*table, 0, 2), (Lots{{500, 0.25, Condition::New}}));
  EXPECT_EQ(table->OfferedQuantity(0, 2), 500u);
  EXPECT_EQ(CellLots(*table, 0, 0), (Lots{{2, 1.5, Condition::New}}));
  EXPECT_EQ(CellLots(*table, 0, 1), Lots{});
  EXPECT_EQ(CellLots(*table, 1, 0), (Lots{{1, 2.0, Condition::New}}));
  EXPECT_EQ(CellLots(*table, 2, 1), (Lots{{2, 0.5, Condition::Used}}));
  EXPECT_EQ(CellLots(*table, 2, 2), (Lots{{1, 1.0, Condition::New}}));
  for (std::uint32_t store = 0; store < 3; ++store) {
    EXPECT_EQ(table->OfferedQuantity(3, store), 0u);
  }

  const auto records = log.Records();
  const std::vector<std::string> expected{
      "info: Consolidating item 1 of 4", "info: Consolidating item 2 of 4",
      "info: Consolidating item 3 of 4", "info: Consolidating item 4 of 4"};
  EXPECT_EQ(records, expected);
}

// A store's several lots of an item stay apart, cheapest first (equal prices in page order,
// new before used), but only up to the first that reaches the wanted quantity: the store's
// cheaper units cover every unit beyond.
TEST(LotDataConsolidatorTest, KeepsEachLotOfAStoreInPurchaseOrder) {
  std::vector<Item> items;
  items.push_back(
      MakeItem("a", Condition::New, 5, {{8, 10, 2.00}, {8, 3, 1.00}, {8, 4, 2.00}, {8, 9, 3.0}}));
  items.push_back(MakeItem("b", Condition::Used, 20, {{8, 2, 3.0}, {8, 6, 0.5}}, {{8, 5, 0.5}}));
  items.push_back(MakeItem("c", Condition::New, 0, {{8, 2, 3.0}, {8, 1, 1.0}}));
  const auto table = CreateLotDataConsolidator()->ConsolidateLotData(items);
  ASSERT_EQ(table->StoreCount(), 1u);
  EXPECT_EQ(CellLots(*table, 0, 0), (Lots{{3, 1.0, Condition::New}, {10, 2.0, Condition::New}}));
  EXPECT_EQ(table->OfferedQuantity(0, 0), 13u);
  EXPECT_EQ(CellLots(*table, 1, 0),
            (Lots{{6, 0.5, Condition::New}, {5, 0.5, Condition::Used}, {2, 3.0, Condition::New}}));
  EXPECT_EQ(table->OfferedQuantity(1, 0), 13u);
  // Wanted zero times: the store still offers the item, with its cheapest lot.
  EXPECT_EQ(CellLots(*table, 2, 0), (Lots{{1, 1.0, Condition::New}}));
}

TEST(LotDataConsolidatorTest, ResultDoesNotDependOnTheOrderOfDifferentlyPricedLots) {
  std::mt19937 random(7);
  std::list<PriceGuideDatum> lots;
  for (int lot = 0; lot < 12; ++lot) {
    // Prices distinct within a store, so that page order never decides.
    lots.emplace_back(100 + lot % 3, 1 + random() % 4, 0.25 * (1 + lot));
  }
  std::vector<PriceGuideDatum> shuffled(lots.begin(), lots.end());
  std::shuffle(shuffled.begin(), shuffled.end(), random);
  std::vector<Item> first;
  first.push_back(MakeItem("a", Condition::New, 6, lots));
  std::vector<Item> second;
  second.push_back(MakeItem("a", Condition::New, 6,
                            std::list<PriceGuideDatum>(shuffled.begin(), shuffled.end())));
  const auto consolidator = CreateLotDataConsolidator();
  const auto one = consolidator->ConsolidateLotData(first);
  const auto two = consolidator->ConsolidateLotData(second);
  ASSERT_EQ(one->StoreCount(), two->StoreCount());
  for (std::uint32_t store = 0; store < one->StoreCount(); ++store) {
    EXPECT_EQ(CellLots(*one, 0, store), CellLots(*two, 0, store));
  }
}

TEST(LotDataConsolidatorTest, LeavesOutLotsDearerThanTheItemsPriceLimit) {
  std::vector<Item> items;
  // Store 1's lot at the limit is kept; its dearer second lot is not.
  items.push_back(MakeItem("a", Condition::New, 6,
                           {{1, 3, 0.05}, {2, 10, 0.0501}, {3, 2, 0.02}, {1, 5, 0.06}}, {}, 0.05));
  // Used lots are held to the limit too. 0.1 + 0.2 is a hair above 0.3 in binary, yet at the
  // limit in the four decimals of the marketplace and the cache.
  items.push_back(
      MakeItem("b", Condition::Used, 4, {{4, 1, 0.1 + 0.2}}, {{4, 2, 0.31}, {5, 3, 0.25}}, 0.30));
  // Every lot dearer: an empty row, as for an item nobody offers, and store 6, which offers
  // nothing else, is no column.
  items.push_back(MakeItem("c", Condition::New, 2, {{6, 5, 0.02}}, {}, 0.01));
  // No limit, as the marketplace writes it.
  items.push_back(MakeItem("d", Condition::New, 2, {{2, 1, 9.0}}, {}, -1.0));
  // Of several lots of one store, only those within the limit.
  items.push_back(
      MakeItem("e", Condition::New, 10, {{7, 2, 0.5}, {7, 2, 1.0}, {7, 4, 1.5}}, {}, 1.0));

  const auto table = CreateLotDataConsolidator()->ConsolidateLotData(items);
  ASSERT_EQ(table->ItemCount(), 5u);
  std::vector<std::uint32_t> stores;
  for (std::uint32_t store = 0; store < table->StoreCount(); ++store) {
    stores.push_back(table->GetStore(store).Id());
  }
  ASSERT_EQ(stores, (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 7}));
  const auto New = Condition::New;
  const std::vector<std::vector<Lots>> expected{
      {{{3, 0.05, New}}, {}, {{2, 0.02, New}}, {}, {}, {}},
      {{}, {}, {}, {{1, 0.1 + 0.2, New}}, {{3, 0.25, Condition::Used}}, {}},
      {{}, {}, {}, {}, {}, {}},
      {{}, {{1, 9.0, New}}, {}, {}, {}, {}},
      {{}, {}, {}, {}, {}, {{2, 0.5, New}, {2, 1.0, New}}},
  };
  for (std::uint32_t item = 0; item < expected.size(); ++item) {
    SCOPED_TRACE("item " + items[item].Id());
    for (std::uint32_t store = 0; store < stores.size(); ++store) {
      SCOPED_TRACE("store " + std::to_string(stores[store]));
      EXPECT_EQ(CellLots(*table, item, store), expected[item][store]);
    }
  }
}

}  // namespace
}  // namespace Corvalle::BrickLink
