#include "Source/Base/BrickLink/StorePruner.h"

#include <gtest/gtest.h>

#include <random>

#include "Tests/Support/SearchOracle.h"

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

TEST(StorePrunerTest, RemovesStoresThatAnotherStoreCoversAsCheaply) {
  using Cells = std::vector<std::vector<std::vector<TableLot>>>;
  struct Case {
    std::vector<std::uint32_t> wanted;
    Cells rows;
    std::vector<std::uint32_t> ids;
    std::vector<std::uint32_t> kept;
  };
  const Case cases[] = {
      // Store 1 offers item 0 (10 at 1.00); store 2 offers 5 at 0.90, and item 1: 1 goes.
      {{5, 3}, {{{{10, 1.00}}, {{5, 0.90}}}, {{}, {{3, 2.0}}}}, {1, 2}, {2}},
      // Store 2 has only 4 of the 5 wanted: it cannot stand in for 1, and 1 lacks item 1.
      {{5, 3}, {{{{10, 1.00}}, {{4, 0.90}}}, {{}, {{3, 2.0}}}}, {1, 2}, {1, 2}},
      // Identical offers: the lower column goes, of three the highest survives.
      {{5, 3},
       {{{{6, 1.0}}, {{6, 1.0}}, {{6, 1.0}}}, {{{3, 2.0}}, {{3, 2.0}}, {{3, 2.0}}}},
       {4, 5, 6},
       {6}},
      // A store whose cheap lot is small and whose other lot is dear buys its cheap units beside
      // a store that is cheaper on average: neither may go for the other.
      {{4}, {{{{2, 0.10}, {30, 0.60}}, {{14, 0.30}}}}, {1, 2}, {1, 2}},
      // Store 3 has 4 units at 0.10 or less, over two lots: it covers both the others.
      {{4},
       {{{{2, 0.10}, {30, 0.60}}, {{14, 0.30}}, {{3, 0.05}, {1, 0.10}, {9, 5.0}}}},
       {1, 2, 3},
       {3}},
      {{2}, {{{{1, 1.0}}}}, {9}, {9}},
      {{2}, {{}}, {}, {}},
      // Without items every store is dominated by every other: only the last survives.
      {{}, {}, {1, 2, 3}, {3}},
  };
  const auto pruner = CreateStorePruner();
  for (const Case& test : cases) {
    const auto items = MakeItems(test.wanted);
    const auto table = Testing::MakeLotTable(test.rows, test.ids);
    SCOPED_TRACE(Testing::DescribeTable(items, *table, 1));
    EXPECT_EQ(StoreIds(*pruner->PruneExtraneousStores(*table, items)), test.kept);
  }
}

// On random tables, now and then with more items than one 64-bit word holds, pruning takes
// stores away and the cheapest plan costs what it did, which also holds the stores kept to their
// cells; which stores go is the table above's.
TEST(StorePrunerTest, PrunesOftenAndNeverLosesTheCheapestPlan) {
  std::mt19937 random(2024);
  const auto pruner = CreateStorePruner();
  int pruning = 0;
  for (int round = 0; round < 600; ++round) {
    const Testing::SearchCase search = Testing::MakeRandomSearch(
        random, {.maximumItems = round % 2 == 0 ? 70u : 5u, .maximumStores = 9});
    SCOPED_TRACE("round " + std::to_string(round) + ", " + Testing::DescribeSearch(search));
    const auto pruned = pruner->PruneExtraneousStores(*search.table, search.items);
    pruning += pruned->StoreCount() < search.table->StoreCount() ? 1 : 0;
    const auto before = Testing::OraclePlans(search.items, *search.table, search.k, {});
    const auto after =
        Testing::OraclePlans(search.items, *pruned, std::min(search.k, pruned->StoreCount()), {});
    ASSERT_EQ(before.empty(), after.empty());
    if (!before.empty()) {
      ASSERT_TRUE(Testing::SameCost(before.front().cost, after.front().cost));
    }
  }
  EXPECT_GT(pruning, 250);
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

// A store of a country outside the table lies in no region, with a warning that names it:
// FindProgramTest's store in "XX".
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

}  // namespace
}  // namespace Corvalle::BrickLink
