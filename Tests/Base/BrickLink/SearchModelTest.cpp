// The search engine against a plain model on hundreds of small random tables: every
// combination enumerated by nested recursion, validity and cost by the purchase rule written
// out directly, the ranking by cost (ties by columns), the first 25 distinct plans, and the
// keep-the-cheapest rule with a std::multimap exactly as stated.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

#include "BrickLink/MinimumCostFinder.h"
#include "SearchTestSupport.h"

namespace Corvalle::BrickLink {
namespace {

using Indices = std::vector<std::uint32_t>;

struct ModelLine {
  std::string itemId;
  std::uint32_t storeId;
  std::uint32_t quantity;
  double price;

  friend bool operator==(const ModelLine&, const ModelLine&) = default;
};

struct ModelPlan {
  double cost;
  std::vector<std::uint32_t> storeIds;  // stores bought from, in column order
  std::vector<ModelLine> lines;         // by store id, then item id
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
      } else if (std::prev(best.end())->first == c) {
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
    ModelPlan plan{combination.cost, {}, {}};
    for (std::uint32_t item = 0; item < items.size(); ++item) {
      std::uint32_t missing = items[item].Quantity();
      for (const std::uint32_t store : ByPrice(item, combination.indices)) {
        const LotData cell = table.GetLotData(item, store);
        const std::uint32_t taken = std::min(cell.quantity, missing);
        if (taken > 0) {
          plan.lines.push_back({items[item].Id(), table.GetStore(store).Id(), taken, cell.price});
          missing -= taken;
        }
      }
    }
    std::stable_sort(plan.lines.begin(), plan.lines.end(),
                     [](const auto& a, const auto& b) { return a.itemId < b.itemId; });
    std::stable_sort(plan.lines.begin(), plan.lines.end(),
                     [](const auto& a, const auto& b) { return a.storeId < b.storeId; });
    for (const std::uint32_t store : combination.indices) {
      const std::uint32_t id = table.GetStore(store).Id();
      if (std::any_of(plan.lines.begin(), plan.lines.end(),
                      [id](const ModelLine& line) { return line.storeId == id; })) {
        plan.storeIds.push_back(id);
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

  // The combination's stores of one item, cheapest first, equal prices in column order.
  Indices ByPrice(std::uint32_t item, Indices stores) const {
    std::stable_sort(stores.begin(), stores.end(), [&](std::uint32_t a, std::uint32_t b) {
      return table.GetLotData(item, a).price < table.GetLotData(item, b).price;
    });
    return stores;
  }

  void Visit(const Indices& combination) {
    for (std::uint32_t item = 0; item < items.size(); ++item) {
      std::uint64_t offered = 0;
      for (const std::uint32_t store : combination) {
        offered += table.GetLotData(item, store).quantity;
      }
      if (offered < items[item].Quantity()) {
        return;
      }
    }
    double cost = 0.0;
    for (std::uint32_t item = 0; item < items.size(); ++item) {
      std::uint32_t missing = items[item].Quantity();
      for (const std::uint32_t store : ByPrice(item, combination)) {
        const LotData cell = table.GetLotData(item, store);
        const std::uint32_t taken = std::min(cell.quantity, missing);
        if (taken > 0) {
          cost += taken * cell.price;
          missing -= taken;
        }
      }
    }
    valid.push_back({combination, cost});
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
  ModelPlan plan{data.Cost(), {}, {}};
  for (const auto& store : data.Stores()) {
    plan.storeIds.push_back(store.Id());
  }
  for (auto line = data.LotsDataBegin(); line != data.LotsDataEnd(); ++line) {
    plan.lines.push_back(
        {line->GetItem().Id(), line->store.Id(), line->lotData.quantity, line->lotData.price});
  }
  return plan;
}

struct RandomCase {
  std::vector<Item> items;
  std::shared_ptr<const ConsolidatedLotData> table;
  std::uint32_t k;
};

RandomCase MakeRandomCase(std::mt19937& random) {
  const std::uint32_t itemCount = 1 + random() % 5;
  const std::uint32_t storeCount = 1 + random() % 10;
  const std::uint32_t k = 1 + random() % std::min(storeCount, 4u);
  const int density = 1 + static_cast<int>(random() % 4);  // of 4 cells offered
  std::vector<std::uint32_t> quantities;
  for (std::uint32_t item = 0; item < itemCount; ++item) {
    quantities.push_back(random() % 6);
  }
  // Few distinct prices, so that ties between stores and between combinations are common.
  static constexpr double kPrices[] = {0.0, 0.05, 0.1, 0.25, 0.3, 1.0, 1.1, 2.5};
  std::vector<std::vector<LotData>> rows(itemCount);
  for (auto& row : rows) {
    for (std::uint32_t store = 0; store < storeCount; ++store) {
      if (static_cast<int>(random() % 4) < density) {
        row.push_back({1 + static_cast<std::uint32_t>(random() % 6), kPrices[random() % 8]});
      } else {
        row.push_back({});
      }
    }
  }
  // Ids in ascending column order, with gaps.
  std::vector<std::uint32_t> ids;
  std::uint32_t id = 1000;
  for (std::uint32_t store = 0; store < storeCount; ++store) {
    id += 1 + random() % 50;
    ids.push_back(id);
  }
  return {Testing::MakeItems(quantities), Testing::MakeTable(rows, ids), k};
}

TEST(SearchModelTest, EngineRanksAndPlansLikeThePlainModel) {
  std::mt19937 random(20261206);
  int casesWithResults = 0;
  for (int round = 0; round < 400; ++round) {
    const RandomCase test = MakeRandomCase(random);
    const Model model(test.items, *test.table, test.k);
    SCOPED_TRACE("round " + std::to_string(round));

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
  EXPECT_GT(casesWithResults, 200);
}

TEST(SearchModelTest, SmallBoundsKeepWhatTheMultimapRuleKeeps) {
  std::mt19937 random(77);
  for (int round = 0; round < 300; ++round) {
    const RandomCase test = MakeRandomCase(random);
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
