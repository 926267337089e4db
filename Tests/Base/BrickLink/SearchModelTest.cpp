// The exhaustive search against a plain model on small random tables of several lots per cell:
// every k-store combination in lexicographic order, validity, cost and plan lines by the oracle,
// the ranking by cost (ties by columns) with each rank's plan, and what a worker keeps of them
// with its bound, the oracle's combinations offered in the same order to the heap, whose rule
// CheapestCombinationsTest checks.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "Source/Base/BrickLink/CheapestCombinations.h"
#include "Source/Base/BrickLink/MinimumCostFinder.h"
#include "Tests/Support/SearchOracle.h"

namespace Corvalle::BrickLink {
namespace {

using Testing::Columns;

TEST(SearchModelTest, EngineKeepsRanksAndPlansLikeThePlainModel) {
  std::mt19937 random(20261206);
  int casesWithResults = 0;
  for (int round = 0; round < 1500; ++round) {
    const Testing::SearchCase test = Testing::MakeRandomSearch(random, {});
    SCOPED_TRACE("round " + std::to_string(round) + "\n" + Testing::DescribeSearch(test));
    std::vector<Testing::OraclePlan> valid;
    for (const Columns& combination : Testing::AllCombinations(test.table->StoreCount(), test.k)) {
      const auto purchase = Testing::OracleBuy(test.items, *test.table, combination);
      if (purchase.supplies) {
        valid.push_back({combination, purchase.lots});
      }
    }

    // Costs computed during validation, bit for bit, in the worker's visit order, with every
    // combination kept and with a small bound, below which pricing stops early.
    for (const std::size_t bound : {kCombinationsKeptPerWorker, std::size_t{1 + random() % 6}}) {
      CheapestCombinations expected(test.k, bound);
      for (const auto& [stores, cost] : valid) {
        expected.Offer(cost, stores.data());
      }
      EXPECT_EQ(*CreateStoreCombinationValidator(test.items, bound)
                     ->FindValidCombinations(*test.table, test.k, nullptr, 1),
                expected.Drain())
          << "bound " << bound;
    }

    // Ranked after CalculateCosts (ties by columns, the order visited), each rank's plan buying
    // from the stores and by the lines the oracle buys by.
    std::vector<Testing::OraclePlan> ranked = valid;
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
      return RankingCost(a.cost) < RankingCost(b.cost);
    });
    for (const std::uint32_t threads : {1u, 2u}) {
      const auto validator = CreateStoreCombinationValidator(test.items);
      const auto finder = CreateMinimumCostFinder(test.table, *validator, test.items, test.k);
      ASSERT_EQ(finder->CollectValidCombinations(nullptr, threads), ranked.size());
      finder->CalculateCosts();
      for (std::uint32_t rank = 1; rank <= ranked.size(); ++rank) {
        SCOPED_TRACE("rank " + std::to_string(rank) + ", " + std::to_string(threads) + " workers");
        const auto plan = finder->CreateCombinationData(rank);
        const Columns& columns = ranked[rank - 1].stores;
        const auto purchase = Testing::OracleBuy(test.items, *test.table, columns);
        std::vector<std::uint32_t> storeIds;
        for (std::size_t position = 0; position < columns.size(); ++position) {
          if (purchase.buys[position]) {
            storeIds.push_back(test.table->GetStore(columns[position]).Id());
          }
        }
        std::vector<std::uint32_t> planStoreIds;
        for (const auto& store : plan->Stores()) {
          planStoreIds.push_back(store.Id());
        }
        ASSERT_EQ(plan->Cost(), ranked[rank - 1].cost);
        ASSERT_EQ(planStoreIds, storeIds);
        ASSERT_EQ(Testing::LinesOf(*plan), purchase.lines);
      }
      ASSERT_EQ(finder->CreateCombinationData(ranked.size() + 1), nullptr);
    }
    casesWithResults += ranked.empty() ? 0 : 1;
  }
  // The generator of cases must produce searches with results, not only empty ones.
  EXPECT_GT(casesWithResults, 600);
}

}  // namespace
}  // namespace Corvalle::BrickLink
