#include "Source/Base/BrickLink/StorePruner.h"

#include <gtest/gtest.h>

#include <random>

#include "Tests/Support/LogCapture.h"
#include "Tests/Support/SearchOracle.h"
#include "Tests/Base/BrickLink/SearchTestSupport.h"

namespace Corvalle::BrickLink {
namespace {

using Testing::MakeItems;
using Testing::MakeTable;

std::vector<std::uint32_t> StoreIds(const ConsolidatedLotData& table) {
  std::vector<std::uint32_t> ids;
  for (std::uint32_t store = 0; store < table.StoreCount(); ++store) {
    ids.push_back(table.GetStore(store).Id());
  }
  return ids;
}

std::vector<TableLot> CellLots(const ConsolidatedLotData& table, std::uint32_t item,
                               std::uint32_t store) {
  const auto lots = table.GetLots(item, store);
  return std::vector<TableLot>(lots.begin(), lots.end());
}

// The redundancy rule as stated, over all pairs in lexicographic order: x goes for y when, for
// every item x offers, y has the wanted units, each no dearer than x's cheapest.
std::vector<std::uint32_t> ReferenceKeptStores(const ConsolidatedLotData& table,
                                               const std::vector<Item>& items) {
  const auto dominated = [&](std::uint32_t x, std::uint32_t y) {
    for (std::uint32_t item = 0; item < table.ItemCount(); ++item) {
      const auto lotsX = table.GetLots(item, x);
      if (lotsX.empty()) {
        continue;
      }
      std::uint64_t cheapEnough = 0;
      for (const TableLot& lot : table.GetLots(item, y)) {
        cheapEnough += lot.price <= lotsX.front().price ? lot.quantity : 0;
      }
      if (cheapEnough < items[item].Quantity()) {
        return false;
      }
    }
    return true;
  };
  std::vector<bool> removed(table.StoreCount(), false);
  for (std::uint32_t a = 0; a < table.StoreCount(); ++a) {
    for (std::uint32_t b = a + 1; b < table.StoreCount(); ++b) {
      if (removed[a] || removed[b]) {
        continue;
      }
      if (dominated(a, b)) {
        removed[a] = true;
      } else if (dominated(b, a)) {
        removed[b] = true;
      }
    }
  }
  std::vector<std::uint32_t> kept;
  for (std::uint32_t store = 0; store < table.StoreCount(); ++store) {
    if (!removed[store]) {
      kept.push_back(table.GetStore(store).Id());
    }
  }
  return kept;
}

TEST(StorePrunerTest, RemovesStoresThatAnotherStoreCoversAsCheaply) {
  const auto pruner = CreateStorePruner();
  const auto items = MakeItems({5, 3});
  // A offers item 1 (10 at 1.00); B offers item 1 (5 at 0.90) and item 2: A goes.
  const auto table = MakeTable({{{10, 1.00}, {5, 0.90}}, {{0, 0.0}, {3, 2.0}}}, {1, 2});
  const auto pruned = pruner->PruneExtraneousStores(*table, items);
  EXPECT_EQ(StoreIds(*pruned), std::vector<std::uint32_t>{2});
  EXPECT_EQ(CellLots(*pruned, 0, 0), (std::vector<TableLot>{{5, 0.90}}));
  EXPECT_EQ(CellLots(*pruned, 1, 0), (std::vector<TableLot>{{3, 2.0}}));
  EXPECT_EQ(StoreIds(*table), (std::vector<std::uint32_t>{1, 2})) << "input changed";

  // B has only 4 of the 5 wanted: it cannot stand in for A, and A lacks item 2.
  const auto shortTable = MakeTable({{{10, 1.00}, {4, 0.90}}, {{0, 0.0}, {3, 2.0}}}, {1, 2});
  EXPECT_EQ(StoreIds(*pruner->PruneExtraneousStores(*shortTable, items)),
            (std::vector<std::uint32_t>{1, 2}));

  // Identical offers: the lower column goes, of three the highest survives.
  const auto identical =
      MakeTable({{{6, 1.0}, {6, 1.0}, {6, 1.0}}, {{3, 2.0}, {3, 2.0}, {3, 2.0}}}, {4, 5, 6});
  EXPECT_EQ(StoreIds(*pruner->PruneExtraneousStores(*identical, items)),
            std::vector<std::uint32_t>{6});
}

// A store whose cheap lot is small and whose other lot is dear buys its cheap units beside a
// store that is cheaper on average: it must stay.
TEST(StorePrunerTest, KeepsAStoreWhoseCheapLotAnotherCannotMatch) {
  const auto items = MakeItems({4});
  // Alpha: 2 at 0.10 and 30 at 0.60; Beta: 14 at 0.30. Neither may go for the other.
  const auto table = Testing::MakeLotTable(
      {{{{2, 0.10}, {30, 0.60}}, {{14, 0.30}}}}, {1, 2});
  EXPECT_EQ(StoreIds(*CreateStorePruner()->PruneExtraneousStores(*table, items)),
            (std::vector<std::uint32_t>{1, 2}));
  // Gamma has 4 units at 0.10 or less, over two lots: it covers Alpha's and Beta's cheapest.
  const auto covered = Testing::MakeLotTable(
      {{{{2, 0.10}, {30, 0.60}}, {{14, 0.30}}, {{3, 0.05}, {1, 0.10}, {9, 5.0}}}}, {1, 2, 3});
  const auto pruned = CreateStorePruner()->PruneExtraneousStores(*covered, items);
  EXPECT_EQ(StoreIds(*pruned), (std::vector<std::uint32_t>{3}));
  EXPECT_EQ(CellLots(*pruned, 0, 0), CellLots(*covered, 0, 2));
}

TEST(StorePrunerTest, HandlesTablesWithFewStoresOrNoItems) {
  const auto pruner = CreateStorePruner();
  const auto items = MakeItems({2});
  EXPECT_EQ(StoreIds(*pruner->PruneExtraneousStores(*MakeTable({{{1, 1.0}}}, {9}), items)),
            std::vector<std::uint32_t>{9});
  const auto empty = pruner->PruneExtraneousStores(*MakeTable({{}}, {}), items);
  EXPECT_EQ(empty->StoreCount(), 0u);
  EXPECT_EQ(empty->ItemCount(), 1u);
  // Without items every store is dominated by every other: only the last survives.
  const auto noItems = MakeTable({}, {1, 2, 3});
  EXPECT_EQ(StoreIds(*pruner->PruneExtraneousStores(*noItems, {})), std::vector<std::uint32_t>{3});
}

TEST(StorePrunerTest, AgreesWithThePlainRuleOnRandomTables) {
  std::mt19937 random(2024);
  const auto pruner = CreateStorePruner();
  for (int round = 0; round < 300; ++round) {
    const std::uint32_t itemCount = 1 + random() % 70;  // across more than one 64-bit word
    const std::uint32_t storeCount = 2 + random() % 12;
    std::vector<std::uint32_t> quantities;
    for (std::uint32_t item = 0; item < itemCount; ++item) {
      quantities.push_back(random() % 4);  // 0 included: wanted zero times
    }
    std::vector<std::vector<std::vector<TableLot>>> rows(itemCount);
    for (auto& row : rows) {
      for (std::uint32_t store = 0; store < storeCount; ++store) {
        auto& cell = row.emplace_back();
        const std::uint32_t lots = random() % 3 == 0 ? 0 : 1 + random() % 3;
        for (std::uint32_t lot = 0; lot < lots; ++lot) {
          cell.push_back({1 + static_cast<std::uint32_t>(random() % 4), 0.5 * (1 + random() % 3)});
        }
        std::stable_sort(cell.begin(), cell.end(), CheaperLot);
      }
    }
    const auto items = MakeItems(quantities);
    const auto table = Testing::MakeLotTable(rows, Testing::ConsecutiveIds(1, storeCount));
    ASSERT_EQ(StoreIds(*pruner->PruneExtraneousStores(*table, items)),
              ReferenceKeptStores(*table, items))
        << "round " << round;
  }
}

// Whatever pruning removes, the cheapest plan costs what it did.
TEST(StorePrunerTest, PruningNeverLosesTheCheapestPlan) {
  std::mt19937 random(4242);
  const auto pruner = CreateStorePruner();
  int pruning = 0;
  for (int round = 0; round < 400; ++round) {
    const Testing::RandomSearch search =
        Testing::MakeRandomSearch(random, {.maximumStores = 9, .storesCopyOthers = true});
    const auto pruned = pruner->PruneExtraneousStores(*search.table, search.items);
    pruning += pruned->StoreCount() < search.table->StoreCount() ? 1 : 0;
    const auto before = Testing::OraclePlans(search.items, *search.table, search.k, {});
    const auto after = Testing::OraclePlans(search.items, *pruned,
                                            std::min(search.k, pruned->StoreCount()), {});
    ASSERT_EQ(before.empty(), after.empty()) << Testing::DescribeSearch(search);
    if (!before.empty()) {
      ASSERT_TRUE(Testing::SameCost(before.front().cost, after.front().cost))
          << Testing::DescribeSearch(search);
    }
  }
  EXPECT_GT(pruning, 100);
}

class RegionPruningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StoreInformation::SetStoreMetadata(7001, {"Berlin Bricks", "DE"});
    StoreInformation::SetStoreMetadata(7002, {"Zurich Parts", "CH"});
    StoreInformation::SetStoreMetadata(7003, {"Ohio Blocks", "US"});
    StoreInformation::SetStoreMetadata(7004, {"Far Away", "XZ"});  // not in the country table
    StoreInformation::SetStoreMetadata(7005, {"Madrid Piezas", "ES"});
  }

  std::shared_ptr<const ConsolidatedLotData> Table() const {
    return MakeTable({{{1, 1.0}, {2, 2.0}, {3, 3.0}, {4, 4.0}, {5, 5.0}}},
                     {7001, 7002, 7003, 7004, 7005});
  }
};

TEST_F(RegionPruningTest, KeepsStoresOfTheChosenRegionsOnce) {
  const auto pruner = CreateStorePruner();
  const auto table = Table();
  const auto european = pruner->PruneStoresByRegions(*table, {"Europe", "European Union"});
  EXPECT_EQ(StoreIds(*european), (std::vector<std::uint32_t>{7001, 7002, 7005}));
  EXPECT_EQ(CellLots(*european, 0, 1), (std::vector<TableLot>{{2, 2.0}}));
  EXPECT_EQ(CellLots(*european, 0, 2), (std::vector<TableLot>{{5, 5.0}}));

  EXPECT_EQ(StoreIds(*pruner->PruneStoresByRegions(*table, {"European Union"})),
            (std::vector<std::uint32_t>{7001, 7005}));
  const auto american = pruner->PruneStoresByRegions(*table, {"North America"});
  EXPECT_EQ(StoreIds(*american), std::vector<std::uint32_t>{7003});
  EXPECT_EQ(CellLots(*american, 0, 0), (std::vector<TableLot>{{3, 3.0}}));
  EXPECT_EQ(pruner->PruneStoresByRegions(*table, {"Africa"})->StoreCount(), 0u);
  EXPECT_EQ(pruner->PruneStoresByRegions(*table, {})->StoreCount(), 0u);
}

TEST_F(RegionPruningTest, AStoreOfAnUnknownCountryLiesInNoRegion) {
  const auto pruner = CreateStorePruner();
  Testing::LogCapture log;
  const auto all = pruner->PruneStoresByRegions(*Table(), GetRegionNames());
  EXPECT_EQ(StoreIds(*all), (std::vector<std::uint32_t>{7001, 7002, 7003, 7005}));
  EXPECT_TRUE(log.Contains("warning",
                           "Store 7004 (Far Away) has the unknown country ID \"XZ\"; it lies in "
                           "no region and is filtered out"));
  // The store's own lookups keep their contracts.
  EXPECT_THROW(StoreInformation(7004).GetCountry(), std::invalid_argument);
  EXPECT_THROW(StoreInformation(7004).CountryIsValid(), std::invalid_argument);
  EXPECT_EQ(StoreInformation(7004).FindCountry(), nullptr);
}

TEST_F(RegionPruningTest, KeepsTheStoresOfOneCountry) {
  const auto pruner = CreateStorePruner();
  EXPECT_EQ(StoreIds(*pruner->PruneStoresByCountry(*Table(), GetCountryByName("Spain"))),
            std::vector<std::uint32_t>{7005});
  EXPECT_EQ(pruner->PruneStoresByCountry(*Table(), GetCountryByName("France"))->StoreCount(), 0u);
}

}  // namespace
}  // namespace Corvalle::BrickLink
