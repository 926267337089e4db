// The bounded search under shipping and required stores against the plain oracle: every set of
// stores is priced by buying each item's units cheapest first across the stores' lots, and the
// sets that make plans under the rules are ranked.

#include "Source/Base/BrickLink/PlanRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/BoundedCombinationSearch.h"
#include "Source/Base/BrickLink/StoreInformation.h"
#include "Source/Base/BrickLink/StorePruner.h"
#include "Tests/Support/SearchOracle.h"
#include "Tests/Base/BrickLink/SearchTestSupport.h"

namespace Corvalle::BrickLink {
namespace {

using Testing::SameCost;

using Indices = std::vector<std::uint32_t>;

using BruteForcePlan = Testing::OraclePlan;
using Testing::OraclePlans;

std::string Describe(const std::vector<Item>& items, const ConsolidatedLotData& table,
                     std::uint32_t k, const PlanRules& rules) {
  std::ostringstream text;
  text << "required columns";
  for (const std::uint32_t column : rules.required) {
    text << ' ' << column;
  }
  text << ", shipping";
  for (const double amount : rules.shipping) {
    text << ' ' << amount;
  }
  return text.str() + "\n" + Testing::DescribeTable(items, table, k);
}

// What is wrong with the search's plans against the brute force's; empty when nothing. Plans of
// equal cost may fill the last places in any choice.
std::string Mismatch(const std::vector<StoreCombination>& found,
                     const std::vector<BruteForcePlan>& expected, std::size_t maximumPlans) {
  std::ostringstream problems;
  problems.precision(17);
  const std::size_t count = std::min(maximumPlans, expected.size());
  if (found.size() != count) {
    problems << count << " plans expected, " << found.size() << " found";
    return problems.str();
  }
  for (std::size_t place = 0; place < count; ++place) {
    const auto match = std::find_if(expected.begin(), expected.end(), [&](const auto& plan) {
      return plan.stores == found[place].StoreIndices();
    });
    if (match == expected.end()) {
      problems << "place " << place << ": not a plan under the rules\n";
    } else if (!SameCost(match->cost, found[place].Cost())) {
      problems << "place " << place << ": cost " << found[place].Cost() << ", brute force "
               << match->cost << "\n";
    }
    if (!SameCost(found[place].Cost(), expected[place].cost)) {
      problems << "place " << place << ": cost " << found[place].Cost() << " where the "
               << place + 1 << "th cheapest plan costs " << expected[place].cost << "\n";
    }
    for (std::size_t earlier = 0; earlier < place; ++earlier) {
      if (found[earlier].StoreIndices() == found[place].StoreIndices()) {
        problems << "places " << earlier << " and " << place << ": the same plan\n";
      }
    }
  }
  return problems.str();
}

struct RandomCase {
  std::vector<Item> items;
  std::shared_ptr<const ConsolidatedLotData> table;
  std::uint32_t k;
  PlanRules rules;
  std::size_t maximumPlans;
};

RandomCase MakeRandomCase(std::mt19937& random, bool shipping, bool required) {
  Testing::RandomSearch search = Testing::MakeRandomSearch(
      random, {.maximumItems = 5, .maximumStores = 12, .maximumK = 6, .maximumLots = 4,
               .storesCopyOthers = true});
  const std::uint32_t k = search.k;
  const std::uint32_t storeCount = search.table->StoreCount();
  RandomCase test{std::move(search.items), std::move(search.table), k, {},
                  random() % 4 == 0 ? 1 + random() % 5 : 25};
  if (shipping) {
    // Few distinct amounts, so that plans tie; now and then no shipping for some stores.
    static constexpr double kShipping[] = {0.0, 0.25, 0.5, 1.0, 2.5, 4.0};
    const double domestic = kShipping[random() % 6];
    const double international = kShipping[random() % 6];
    for (std::uint32_t store = 0; store < storeCount; ++store) {
      test.rules.shipping.push_back(random() % 2 == 0 ? domestic : international);
    }
  }
  if (required) {
    const std::uint32_t count = 1 + random() % std::min(k, 3u);
    for (std::uint32_t store = 0; store < storeCount; ++store) {
      if (test.rules.required.size() < count && random() % storeCount < count) {
        test.rules.required.push_back(store);
      }
    }
  }
  return test;
}

TEST(PlanRulesTest, TheBoundedSearchFindsTheBruteForcesCheapestPlansUnderTheRules) {
  struct Mode {
    const char* name;
    bool shipping;
    bool required;
    int rounds;
  };
  for (const Mode mode : {Mode{"plain", false, false, 1500}, Mode{"shipping", true, false, 1500},
                          Mode{"required", false, true, 800},
                          Mode{"shipping and required", true, true, 800}}) {
    SCOPED_TRACE(mode.name);
    std::mt19937 random(9120);
    int withPlans = 0;
    int withSmallerCheapest = 0;
    for (int round = 0; round < mode.rounds; ++round) {
      const RandomCase test = MakeRandomCase(random, mode.shipping, mode.required);
      const std::vector<BruteForcePlan> expected =
          OraclePlans(test.items, *test.table, test.k, test.rules);
      std::vector<StoreCombination> byWorkers[2];
      for (const std::uint32_t workers : {1u, 2u}) {
        byWorkers[workers - 1] = CreateBoundedCombinationSearch(test.items)
                                     ->FindCheapestCombinations(*test.table, test.k,
                                                                test.maximumPlans, nullptr,
                                                                workers, test.rules);
      }
      ASSERT_EQ(Mismatch(byWorkers[0], expected, test.maximumPlans), "")
          << "round " << round << ", at most " << test.maximumPlans << " plans\n"
          << Describe(test.items, *test.table, test.k, test.rules);
      ASSERT_EQ(byWorkers[0], byWorkers[1]) << "round " << round << ": 1 worker, then 2";
      withPlans += expected.empty() ? 0 : 1;
      withSmallerCheapest +=
          !expected.empty() && expected.front().stores.size() < test.k ? 1 : 0;
    }
    // The cases must reach plans, and plans that leave places empty.
    EXPECT_GT(withPlans, mode.rounds / 2);
    EXPECT_GT(withSmallerCheapest, mode.rounds / 8);
  }
}

// A search stopped by its budget keeps valid plans, priced as the purchase rule prices them and
// ranked, and a lower bound that no plan goes below; one that settled everything anyway is
// proven and finds what the whole search finds.
TEST(PlanRulesTest, AStoppedSearchKeepsValidPlansAndAnHonestLowerBound) {
  std::mt19937 random(3131);
  int stopped = 0;
  int boundAboveZero = 0;
  for (int round = 0; round < 500; ++round) {
    const RandomCase test = MakeRandomCase(random, round % 2 == 1, round % 3 == 0);
    const std::vector<BruteForcePlan> expected =
        OraclePlans(test.items, *test.table, test.k, test.rules);
    for (const std::uint64_t limit : {1u, 2u, 3u, 5u, 8u, 13u, 21u, 40u}) {
      for (const std::uint32_t workers : {1u, 2u}) {
        SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(limit) +
                     " nodes, " + std::to_string(workers) + " workers");
        const auto search = CreateBoundedCombinationSearch(test.items);
        search->SetNodeLimit(limit);
        const std::vector<StoreCombination> found = search->FindCheapestCombinations(
            *test.table, test.k, test.maximumPlans, nullptr, workers, test.rules);
        const BoundedSearchStatistics statistics = search->Statistics();
        ASSERT_LE(found.size(), test.maximumPlans);
        for (std::size_t place = 0; place < found.size(); ++place) {
          const auto match = std::find_if(expected.begin(), expected.end(), [&](const auto& plan) {
            return plan.stores == found[place].StoreIndices();
          });
          ASSERT_NE(match, expected.end()) << "place " << place << ": not a plan";
          ASSERT_TRUE(SameCost(match->cost, found[place].Cost())) << "place " << place;
          if (place > 0) {
            ASSERT_LE(found[place - 1].Cost(), found[place].Cost());
          }
        }
        if (!expected.empty()) {
          ASSERT_LE(statistics.lowerBound, expected.front().cost * (1 + 1e-12) + 1e-12)
              << Describe(test.items, *test.table, test.k, test.rules);
        }
        if (!found.empty()) {
          ASSERT_LE(statistics.lowerBound, found.front().Cost());
        }
        if (statistics.proven) {
          ASSERT_EQ(Mismatch(found, expected, test.maximumPlans), "");
        } else {
          ++stopped;
          boundAboveZero += statistics.lowerBound > 0.0 ? 1 : 0;
        }
      }
    }
  }
  // The budgets must stop searches, and at bounds that tell something.
  EXPECT_GT(stopped, 500);
  EXPECT_GT(boundAboveZero, 100);
}

TEST(PlanRulesTest, ShippingCanMakeOneStoreCheaperThanTwo) {
  // Two items, one unit each. Store 0 sells both at 1; stores 1 and 2 sell one each at 0.5.
  // By lots, {1, 2} is cheapest (1.00). With 4.00 shipping per store, store 0 alone costs 6.00
  // and the pair 9.00.
  const auto items = Testing::MakeItems({1, 1});
  const auto table = Testing::MakeTable({{{1, 1.0}, {1, 0.5}, {}}, {{1, 1.0}, {}, {1, 0.5}}},
                                        {101, 102, 103});
  const auto byLots =
      CreateBoundedCombinationSearch(items)->FindCheapestCombinations(*table, 2, 1, nullptr, 1);
  ASSERT_EQ(byLots.size(), 1u);
  EXPECT_EQ(byLots[0].StoreIndices(), (Indices{1, 2}));

  PlanRules rules;
  rules.shipping = {4.0, 4.0, 4.0};
  const auto withShipping = CreateBoundedCombinationSearch(items)->FindCheapestCombinations(
      *table, 2, 25, nullptr, 1, rules);
  ASSERT_GE(withShipping.size(), 2u);
  EXPECT_EQ(withShipping[0].StoreIndices(), Indices{0});
  EXPECT_DOUBLE_EQ(withShipping[0].Cost(), 6.0);
  // The plan tells its parts, adding up to the cost.
  const auto plan = withShipping[0].CreateCombinationLotsData(items, *table, rules);
  EXPECT_TRUE(plan->ChargesShipping());
  EXPECT_DOUBLE_EQ(plan->Subtotal(), 2.0);
  EXPECT_DOUBLE_EQ(plan->Shipping(), 4.0);
  EXPECT_EQ(plan->Subtotal() + plan->Shipping(), plan->Cost());
  EXPECT_DOUBLE_EQ(plan->StoreShipping(101), 4.0);
  EXPECT_DOUBLE_EQ(plan->StoreShipping(102), 0.0);

  // A required store is in every plan, even where it buys nothing.
  PlanRules keep;
  keep.required = {1};
  const auto kept =
      CreateBoundedCombinationSearch(items)->FindCheapestCombinations(*table, 2, 25, nullptr, 2,
                                                                     keep);
  ASSERT_FALSE(kept.empty());
  for (const StoreCombination& combination : kept) {
    EXPECT_TRUE(std::binary_search(combination.StoreIndices().begin(),
                                   combination.StoreIndices().end(), 1u));
  }
}

TEST(PlanRulesTest, TermsBecomeRulesOnTheTablesColumns) {
  const auto table = Testing::MakeTable({{{1, 1.0}, {1, 1.0}, {1, 1.0}}}, {301, 302, 303});
  StoreInformation::SetStoreMetadata(301, {"Home", "US"});
  StoreInformation::SetStoreMetadata(302, {"Away", "DE"});
  StoreInformation::SetStoreMetadata(303, {"Nowhere", ""});
  PurchaseTerms terms{4.0, 9.0, "US", {303, 999}};
  const PlanRules rules = MakePlanRules(terms, *table);
  EXPECT_EQ(rules.shipping, (std::vector<double>{4.0, 9.0, 9.0}));
  // A store the table lacks is not a column.
  EXPECT_EQ(rules.required, Indices{2});

  terms.domesticShipping = 0.0;
  terms.internationalShipping = 0.0;
  EXPECT_FALSE(MakePlanRules(terms, *table).ChargesShipping());
}

TEST(PlanRulesTest, PruningKeepsRequiredStoresAndStoresThatShipCheaper) {
  // Store 1 offers everything store 0 does, as cheap: without rules store 0 goes.
  const auto items = Testing::MakeItems({2});
  const auto table = Testing::MakeTable({{{2, 1.0}, {2, 0.5}}}, {401, 402});
  const auto pruner = CreateStorePruner();
  EXPECT_EQ(pruner->PruneExtraneousStores(*table, items)->StoreCount(), 1u);

  PlanRules dearerShipping;
  dearerShipping.shipping = {1.0, 9.0};
  EXPECT_EQ(pruner->PruneExtraneousStores(*table, items, dearerShipping)->StoreCount(), 2u);
  PlanRules sameShipping;
  sameShipping.shipping = {4.0, 4.0};
  EXPECT_EQ(pruner->PruneExtraneousStores(*table, items, sameShipping)->GetStore(0).Id(), 402u);
  PlanRules required;
  required.required = {0};
  EXPECT_EQ(pruner->PruneExtraneousStores(*table, items, required)->StoreCount(), 2u);
}

}  // namespace
}  // namespace Corvalle::BrickLink
