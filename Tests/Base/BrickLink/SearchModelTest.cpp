// The exhaustive search against a plain model on hundreds of small random tables of several
// lots per cell: every combination enumerated by nested recursion, validity, cost and plan
// lines by the shared oracle, the ranking by cost (ties by columns), the first 25 distinct
// plans, and the keep-the-cheapest rule (ties with the dearest kept up to twice the bound) with
// a std::multimap.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

#include "Source/Base/BrickLink/MinimumCostFinder.h"
#include "Tests/Support/SearchOracle.h"

namespace Corvalle::BrickLink {
namespace {

using Indices = std::vector<std::uint32_t>;

struct ModelPlan {
  double cost;
  std::vector<std::uint32_t> storeIds;  // stores bought from, in column order
  std::vector<Testing::OracleLine> lines;
};

struct ModelCombination {
  Indices indices;
  double cost;
};

class Model {
 public:
  Model(const std::vector<Item>& items_, const ConsolidatedLotData& table_, std::uint32_t k_)
      : items(items_), table(table_), k(k_) {
    Indices current;
    Enumerate(current);
  }

  // Valid combinations in visit order, with their costs.
  const std::vector<ModelCombination>& Valid() const { return valid; }

  std::vector<ModelCombination> Ranked() const {
    auto ranked = valid;
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
      return a.cost != b.cost ? a.cost < b.cost : a.indices < b.indices;
    });
    return ranked;
  }

  // What one worker keeps with the bound, by the rule with a multimap, in hand-over order.
  std::vector<ModelCombination> KeptByOneWorker(std::size_t bound) const {
    std::multimap<double, Indices> best;
    for (const auto& combination : valid) {
      const double c = combination.cost;
      if (best.size() <= bound - 1) {
        best.emplace(c, combination.indices);
      } else if (std::prev(best.end())->first == c && best.size() < 2 * bound) {
        best.emplace(c, combination.indices);
      } else if (std::prev(best.end())->first > c) {
        best.emplace(c, combination.indices);
        best.erase(std::prev(best.end()));
      }
    }
    std::vector<ModelCombination> kept;
    for (const auto& [cost, indices] : best) {
      kept.push_back({indices, cost});
    }
    return kept;
  }

  ModelPlan Plan(const ModelCombination& combination) const {
    const Testing::OraclePurchase purchase = Testing::OracleBuy(items, table, combination.indices);
    ModelPlan plan{combination.cost, {}, purchase.lines};
    for (std::size_t position = 0; position < combination.indices.size(); ++position) {
      if (purchase.buys[position]) {
        plan.storeIds.push_back(table.GetStore(combination.indices[position]).Id());
      }
    }
    return plan;
  }

 private:
  void Enumerate(Indices& current) {
    if (current.size() == k) {
      Visit(current);
      return;
    }
    for (std::uint32_t store = current.empty() ? 0 : current.back() + 1; store < table.StoreCount();
         ++store) {
      current.push_back(store);
      Enumerate(current);
      current.pop_back();
    }
  }

  void Visit(const Indices& combination) {
    const Testing::OraclePurchase purchase = Testing::OracleBuy(items, table, combination);
    if (purchase.supplies) {
      valid.push_back({combination, purchase.lots});
    }
  }

  const std::vector<Item>& items;
  const ConsolidatedLotData& table;
  std::uint32_t k;
  std::vector<ModelCombination> valid;
};

bool SamePlan(const ModelPlan& a, const ModelPlan& b) {
  return a.lines == b.lines && std::abs(a.cost - b.cost) < 0.001;
}

ModelPlan FromEngine(const ICombinationData& data) {
  ModelPlan plan{data.Cost(), {}, Testing::LinesOf(data)};
  for (const auto& store : data.Stores()) {
    plan.storeIds.push_back(store.Id());
  }
  return plan;
}

TEST(SearchModelTest, EngineRanksAndPlansLikeThePlainModel) {
  std::mt19937 random(20261206);
  int casesWithResults = 0;
  for (int round = 0; round < 1500; ++round) {
    const Testing::RandomSearch test = Testing::MakeRandomSearch(random, {});
    const Model model(test.items, *test.table, test.k);
    SCOPED_TRACE("round " + std::to_string(round) + "\n" + Testing::DescribeSearch(test));

    // Costs computed during validation, bit for bit, in each worker's block order.
    const auto validator = CreateStoreCombinationValidator(test.items);
    const auto valid = validator->FindValidCombinations(*test.table, test.k, nullptr, 1);
    const auto expectedKept = model.KeptByOneWorker(100000);
    ASSERT_EQ(valid->size(), expectedKept.size());
    for (std::size_t i = 0; i < valid->size(); ++i) {
      ASSERT_EQ((*valid)[i].StoreIndices(), expectedKept[i].indices);
      ASSERT_EQ((*valid)[i].Cost(), expectedKept[i].cost);
    }

    // Ranked after CalculateCosts, then the first 25 distinct plans.
    const auto ranked = model.Ranked();
    std::vector<ModelPlan> expectedPlans;
    for (const auto& combination : ranked) {
      if (expectedPlans.size() == 25) {
        break;
      }
      const ModelPlan plan = model.Plan(combination);
      if (std::none_of(expectedPlans.begin(), expectedPlans.end(),
                       [&](const ModelPlan& kept) { return SamePlan(kept, plan); })) {
        expectedPlans.push_back(plan);
      }
    }
    for (const std::uint32_t threads : {1u, 2u}) {
      const auto searchValidator = CreateStoreCombinationValidator(test.items);
      const auto finder = CreateMinimumCostFinder(test.table, *searchValidator, test.items, test.k);
      ASSERT_EQ(finder->CollectValidCombinations(nullptr, threads), ranked.size());
      finder->CalculateCosts();
      std::vector<std::unique_ptr<ICombinationData>> plans;
      std::vector<double> rankedCosts;
      for (std::uint32_t rank = 1;; ++rank) {
        auto plan = finder->CreateCombinationData(rank);
        if (!plan) {
          break;
        }
        rankedCosts.push_back(plan->Cost());
        if (plans.size() < 25 &&
            std::none_of(plans.begin(), plans.end(), [&](const auto& p) { return *p == *plan; })) {
          plans.push_back(std::move(plan));
        }
      }
      ASSERT_EQ(rankedCosts.size(), ranked.size());
      for (std::size_t i = 0; i < ranked.size(); ++i) {
        ASSERT_EQ(rankedCosts[i], ranked[i].cost) << "rank " << i + 1 << ", " << threads;
      }
      ASSERT_EQ(plans.size(), expectedPlans.size()) << threads << " workers";
      for (std::size_t i = 0; i < plans.size(); ++i) {
        const ModelPlan plan = FromEngine(*plans[i]);
        EXPECT_EQ(plan.cost, expectedPlans[i].cost);
        EXPECT_EQ(plan.storeIds, expectedPlans[i].storeIds);
        EXPECT_EQ(plan.lines, expectedPlans[i].lines) << "plan " << i << ", " << threads;
      }
    }
    casesWithResults += ranked.empty() ? 0 : 1;
  }
  // The generator of cases must produce searches with results, not only empty ones.
  EXPECT_GT(casesWithResults, 600);
}

TEST(SearchModelTest, SmallBoundsKeepWhatTheMultimapRuleKeeps) {
  std::mt19937 random(77);
  for (int round = 0; round < 300; ++round) {
    const Testing::RandomSearch test = Testing::MakeRandomSearch(random, {});
    const Model model(test.items, *test.table, test.k);
    const std::size_t bound = 1 + random() % 6;
    SCOPED_TRACE("round " + std::to_string(round) + ", bound " + std::to_string(bound));
    const auto valid = CreateStoreCombinationValidator(test.items, bound)
                           ->FindValidCombinations(*test.table, test.k, nullptr, 1);
    const auto expected = model.KeptByOneWorker(bound);
    ASSERT_EQ(valid->size(), expected.size());
    for (std::size_t i = 0; i < valid->size(); ++i) {
      ASSERT_EQ((*valid)[i].StoreIndices(), expected[i].indices) << i;
      ASSERT_EQ((*valid)[i].Cost(), expected[i].cost) << i;
    }
  }
}

}  // namespace
}  // namespace Corvalle::BrickLink
