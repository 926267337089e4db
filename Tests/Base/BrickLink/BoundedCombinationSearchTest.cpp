// The bounded search against its two models, on one worker and on two: the oracle, which prices
// every set of stores by the purchase rule and ranks the sets that make plans under the rules,
// and, without rules, the exhaustive search, which validates every k-store combination, ranks
// them and reads them plan by plan, as the cost finder reads them. Whatever the bounded search
// prunes, its cheapest distinct plans must be theirs; stopped early, its plans must still be
// valid and its lower bound below every plan.

#include "Source/Base/BrickLink/BoundedCombinationSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/MinimumCostFinder.h"
#include "Source/Base/BrickLink/StoreCombinationValidator.h"
#include "Tests/Support/SearchOracle.h"

namespace Corvalle::BrickLink {
namespace {

using Testing::Columns;
using Testing::OraclePlan;
using Testing::SearchCase;

// The exhaustive search's distinct plans in the oracle's terms (the columns of the stores that
// buy, in the search's table), cheapest first, up to the first plan dearer than the last place
// asked for. It enumerates the table given, or the search's own.
std::vector<OraclePlan> ExhaustivePlans(
    const SearchCase& search, std::shared_ptr<const ConsolidatedLotData> enumerated = nullptr) {
  enumerated = enumerated ? enumerated : search.table;
  const auto validator =
      CreateStoreCombinationValidator(search.items, std::numeric_limits<std::size_t>::max() / 2);
  const auto finder = CreateMinimumCostFinder(enumerated, *validator, search.items, search.k);
  finder->CollectValidCombinations(nullptr, 1);
  finder->CalculateCosts();
  std::map<std::uint32_t, std::uint32_t> columnOf;
  for (std::uint32_t column = 0; column < search.table->StoreCount(); ++column) {
    columnOf[search.table->GetStore(column).Id()] = column;
  }
  std::vector<OraclePlan> plans;
  std::set<Columns> seen;
  for (std::uint32_t rank = 1;; ++rank) {
    const auto plan = finder->CreateCombinationData(rank);
    if (!plan || (plans.size() >= search.maximumPlans &&
                  !Testing::SameCost(plan->Cost(), plans[search.maximumPlans - 1].cost))) {
      return plans;
    }
    Columns stores;
    for (const StoreInformation& store : plan->Stores()) {
      stores.push_back(columnOf.at(store.Id()));
    }
    if (seen.insert(stores).second) {
      plans.push_back({stores, plan->Cost()});
    }
  }
}

// The share of the search settled, as the workers report it. In the order the reports come, each
// lies within [0, 1] and none goes back; the last is the whole.
class ProgressRecord {
 public:
  CombinationProgress Callback() {
    return [this](double fraction, unsigned long long) {
      const std::lock_guard lock(mutex);
      fractions.push_back(fraction);
    };
  }

  // After the search, whose workers have ended.
  bool RisesToTheWhole() const {
    return !fractions.empty() && fractions.back() == 1.0 &&
           std::is_sorted(fractions.begin(), fractions.end()) &&
           std::all_of(fractions.begin(), fractions.end(),
                       [](double fraction) { return fraction >= 0.0 && fraction <= 1.0; });
  }

 private:
  std::mutex mutex;
  std::vector<double> fractions;
};

struct Mode {
  const char* name;
  Testing::RandomSearchShape shape;
  int rounds;
  // When above 0, the plans asked for: few, so that the threshold is finite from the first
  // plans on and the bounds on what is still missing cut from the first levels.
  std::size_t plans = 0;
};

void PrintTo(const Mode& mode, std::ostream* out) { *out << mode.name; }

constexpr std::uint64_t kNodeLimits[] = {1, 2, 3, 5, 8, 13, 21, 40};

class BoundedSearchModelTest : public testing::TestWithParam<Mode> {};

TEST_P(BoundedSearchModelTest, FindsTheCheapestDistinctPlansOfTheModels) {
  const Mode& mode = GetParam();
  std::mt19937 random(4401);
  int withPlans = 0;
  int tiedAtTheLastPlace = 0;
  int withFewerStoresThanK = 0;
  int withPlansOfManyStores = 0;
  int stopped = 0;
  int boundAboveZero = 0;
  for (int round = 0; round < mode.rounds; ++round) {
    SearchCase test = Testing::MakeRandomSearch(random, mode.shape);
    if (mode.plans != 0) {
      test.maximumPlans = mode.plans;
    }
    SCOPED_TRACE("round " + std::to_string(round) + ", " + Testing::DescribeSearch(test));
    std::vector<StoreCombination> byWorkers[2];
    for (const std::uint32_t workers : {1u, 2u}) {
      const auto search = CreateBoundedCombinationSearch(test.items);
      ProgressRecord progress;
      byWorkers[workers - 1] = search->FindCheapestCombinations(
          *test.table, test.k, test.maximumPlans, progress.Callback(), workers, test.rules);
      ASSERT_TRUE(progress.RisesToTheWhole()) << "progress, " << workers << " workers";
      const double ruledOut = search->Statistics().combinationsRuledOut;
      ASSERT_TRUE(ruledOut >= 0.0 &&
                  ruledOut <= Testing::Choose(test.table->StoreCount(), test.k) * (1.0 + 1e-12))
          << ruledOut << " combinations ruled out, " << workers << " workers";
    }
    ASSERT_EQ(byWorkers[0], byWorkers[1]) << "1 worker, then 2";
    std::vector<OraclePlan> expected;
    if (test.table->StoreCount() <= 12) {
      expected = Testing::OraclePlans(test.items, *test.table, test.k, test.rules);
      ASSERT_EQ(Testing::PlansMismatch(test, byWorkers[0], expected), "") << "against the oracle";
      // Stopped by a node budget, the search keeps valid plans, priced as the purchase rule
      // prices them and ranked, and a lower bound that no plan goes below; one that settled
      // everything anyway is proven and finds what the whole search finds.
      for (const std::uint32_t workers : {1u, 2u}) {
        const std::uint64_t limit = kNodeLimits[round % std::size(kNodeLimits)];
        const auto search = CreateBoundedCombinationSearch(test.items);
        search->SetNodeLimit(limit);
        const std::vector<StoreCombination> found = search->FindCheapestCombinations(
            *test.table, test.k, test.maximumPlans, nullptr, workers, test.rules);
        const BoundedSearchStatistics statistics = search->Statistics();
        ASSERT_EQ(Testing::PlansMismatch(test, found, expected, statistics.proven), "")
            << "stopped at " << limit << " nodes, " << workers << " workers";
        if (!expected.empty()) {
          ASSERT_LE(statistics.lowerBound, expected.front().cost * (1 + 1e-12) + 1e-12);
        }
        if (!found.empty()) {
          ASSERT_LE(statistics.lowerBound, found.front().Cost());
        }
        stopped += !statistics.proven;
        boundAboveZero += !statistics.proven && statistics.lowerBound > 0.0;
      }
    }
    if (!test.rules.ChargesShipping() && test.rules.required.empty()) {
      expected = ExhaustivePlans(test);
      ASSERT_EQ(Testing::PlansMismatch(test, byWorkers[0], expected), "")
          << "against the exhaustive search";
    }
    withPlans += !expected.empty();
    tiedAtTheLastPlace +=
        expected.size() > test.maximumPlans &&
        Testing::SameCost(expected[test.maximumPlans].cost, expected[test.maximumPlans - 1].cost);
    withFewerStoresThanK +=
        std::any_of(byWorkers[0].begin(), byWorkers[0].end(),
                    [&](const auto& plan) { return plan.StoreIndices().size() < test.k; });
    withPlansOfManyStores += test.k >= 7 && !expected.empty();
  }
  // The generator must reach the hard cases, not only tables without plans.
  EXPECT_GT(withPlans, mode.rounds / 2);
  EXPECT_LT(withPlans, mode.rounds - mode.rounds / 20);
  EXPECT_GT(tiedAtTheLastPlace, mode.rounds / 25);
  EXPECT_GT(withFewerStoresThanK, mode.rounds / 4);
  if (mode.shape.maximumK >= 7) {
    EXPECT_GT(withPlansOfManyStores, mode.rounds / 8);
  }
  // The budgets must stop searches, and at bounds that tell something.
  EXPECT_GT(stopped, mode.rounds / 4);
  EXPECT_GT(boundAboveZero, mode.rounds / 5);
}

// Up to eleven stores among up to forty, checked against the exhaustive search and, on up to
// twelve stores, the oracle; under rules, which the exhaustive search does not take, against the
// oracle on up to twelve. With three plans asked of lists of up to ten items, the bounds on the
// stores that must cover what is missing cut before the greedy start has found every plan.
INSTANTIATE_TEST_SUITE_P(
    Modes, BoundedSearchModelTest,
    testing::Values(
        Mode{"Plain", {.maximumK = 11, .maximumStores = 40, .maximumCombinations = 20000}, 3000},
        Mode{"Shipping", {.maximumK = 6, .maximumStores = 12, .shipping = true}, 1500},
        Mode{"FewPlans",
             {.maximumItems = 10, .maximumK = 6, .maximumStores = 25, .maximumCombinations = 50000},
             400,
             3},
        Mode{"Required", {.maximumK = 6, .maximumStores = 12, .required = true}, 800},
        Mode{"ShippingAndRequired",
             {.maximumK = 6, .maximumStores = 12, .shipping = true, .required = true},
             800}),
    [](const testing::TestParamInfo<Mode>& mode) { return std::string(mode.param.name); });

// Tables worked by hand, each with every plan there is; the exhaustive search and the oracle
// must agree with the working, and the bounded search find exactly it.
TEST(BoundedCombinationSearchTest, FindsTheHandWorkedPlans) {
  struct Case {
    std::vector<std::uint32_t> wanted;
    std::vector<std::vector<LotData>> rows;
    std::uint32_t k;
    std::vector<StoreCombination> plans;
  };
  const Case cases[] = {
      // Of the pairs, {0, 1} and {0, 2} buy all from store 0 and {1, 2} from store 1. Store 2
      // alone could supply the item, but in no pair is it the only store that buys.
      {{2}, {{{2, 1.0}, {2, 2.0}, {2, 3.0}}}, 2, {{{0}, 2.0}, {{1}, 4.0}}},
      // The same with equal prices: the lower column buys first, so store 2 is never alone.
      {{1}, {{{1, 1.0}, {1, 1.0}, {1, 1.0}}}, 2, {{{0}, 1.0}, {{1}, 1.0}}},
      // {0,1,2} and {0,1,3} buy from 0 and 1 only: one plan, not two; the two plans of cost 3
      // come by columns.
      {{1, 1},
       {{{1, 1.0}, {}, {1, 2.0}, {1, 3.0}}, {{}, {1, 1.0}, {1, 2.0}, {1, 3.0}}},
       3,
       {{{0, 1}, 2.0}, {{0, 2}, 3.0}, {{1, 2}, 3.0}}},
      // Nothing wanted: every combination buys nothing, one empty plan.
      {{0, 0}, {{{1, 1.0}, {2, 2.0}, {}}, {{}, {3, 1.0}, {1, 4.0}}}, 2, {{{}, 0.0}}},
      // Seven wanted and no pair offers more than six: no plan.
      {{7}, {{{3, 1.0}, {3, 1.0}, {2, 1.0}, {3, 2.0}}}, 2, {}},
      // Stores 0 and 1 cannot supply the item alone, yet together cost 10; with store 2 each
      // costs 6 + 4 x 5. Store 2 alone needs a pair that leaves it alone: none.
      {{10},
       {{{6, 1.0}, {6, 1.0}, {10, 5.0}}},
       2,
       {{{0, 1}, 10.0}, {{0, 2}, 26.0}, {{1, 2}, 26.0}}},
      // Store 2 is dearer on every item than the cheapest offer, yet the only single store.
      {{1, 1}, {{{1, 1.0}, {}, {1, 3.0}}, {{}, {1, 1.0}, {1, 3.0}}}, 1, {{{2}, 6.0}}},
      // Store 2 sells one unit of each at the table's dearest price and cannot supply either
      // item alone, but item 0 needs it: {0,1,2} buys 3 + 5 and 2 + 5, {0,2,3} 3 + 5 and 12.
      {{4, 3},
       {{{3, 1.0}, {}, {1, 5.0}, {}}, {{}, {2, 1.0}, {1, 5.0}, {3, 4.0}}},
       3,
       {{{0, 1, 2}, 15.0}, {{0, 2, 3}, 20.0}}},
  };
  for (const Case& hand : cases) {
    const auto stores = static_cast<std::uint32_t>(hand.rows[0].size());
    const SearchCase test{Testing::MakeItems(hand.wanted),
                          Testing::MakeTable(hand.rows, Testing::ConsecutiveIds(11, stores)),
                          hand.k,
                          {},
                          25};
    SCOPED_TRACE(Testing::DescribeSearch(test));
    EXPECT_EQ(Testing::PlansMismatch(test, hand.plans, ExhaustivePlans(test)), "");
    EXPECT_EQ(Testing::PlansMismatch(test, hand.plans,
                                     Testing::OraclePlans(test.items, *test.table, test.k, {})),
              "");
    for (const std::uint32_t workers : {1u, 2u}) {
      EXPECT_EQ(CreateBoundedCombinationSearch(test.items)
                    ->FindCheapestCombinations(*test.table, test.k, 25, nullptr, workers),
                hand.plans)
          << workers << " workers";
    }
  }
}

// 1000 stores, far more combinations of 8 than 64 bits count. Twelve "good" stores, spread
// over the columns, sell the items at 1 or less a unit; the other 988 sell at 100 or more.
// Any plan with one of those costs more than any plan of good stores alone (at most 10 units
// at 1), and beside good stores that supply the list they buy nothing. So the cheapest plans
// are plans of good stores only, and eight of the others are enough to stand beside any of
// them: the exhaustive search over the good stores and eight others finds them.
struct LargeTable {
  SearchCase search;
  std::shared_ptr<const ConsolidatedLotData> reduced;
};

LargeTable MakeLargeTable() {
  constexpr std::uint32_t kStores = 1000;
  const std::vector<std::uint32_t> wanted = {3, 2, 4, 1};
  std::mt19937 random(6113);
  std::vector<bool> good(kStores, false);
  for (std::uint32_t placed = 0; placed < 12;) {
    const std::uint32_t store = random() % kStores;
    placed += good[store] ? 0 : 1;
    good[store] = true;
  }
  static constexpr double kGoodPrices[] = {0.1, 0.2, 0.25, 0.5, 1.0};
  std::vector<std::vector<LotData>> rows(wanted.size()), reducedRows(wanted.size());
  std::vector<std::uint32_t> ids, reducedIds;
  std::uint32_t othersKept = 0;
  for (std::uint32_t store = 0; store < kStores; ++store) {
    ids.push_back(100000 + 7 * store);
    const bool keep = good[store] || othersKept < 8;
    if (keep) {
      reducedIds.push_back(ids.back());
      othersKept += good[store] ? 0 : 1;
    }
    for (std::uint32_t item = 0; item < wanted.size(); ++item) {
      LotData cell;
      if (good[store]) {
        if (random() % 4 != 0) {
          cell = {1 + static_cast<std::uint32_t>(random() % 3), kGoodPrices[random() % 5]};
        }
      } else if (random() % 4 != 0) {
        cell = {wanted[item] + static_cast<std::uint32_t>(random() % 3),
                100.0 + static_cast<double>(random() % 100)};
      }
      rows[item].push_back(cell);
      if (keep) {
        reducedRows[item].push_back(cell);
      }
    }
  }
  return {{Testing::MakeItems(wanted), Testing::MakeTable(rows, ids), 8, {}, 25},
          Testing::MakeTable(reducedRows, reducedIds)};
}

TEST(BoundedCombinationSearchTest, RanksTablesBeyondSixtyFourBitCombinationCounts) {
  const LargeTable large = MakeLargeTable();
  const SearchCase& test = large.search;
  const std::vector<OraclePlan> expected = ExhaustivePlans(test, large.reduced);
  // The construction holds: more plans of good stores than asked for, all cheaper than any
  // other plan.
  ASSERT_GT(expected.size(), 25u);
  ASSERT_LT(expected[24].cost, 100.0);

  std::vector<StoreCombination> byWorkers[2];
  for (const std::uint32_t workers : {1u, 2u}) {
    const auto search = CreateBoundedCombinationSearch(test.items);
    ProgressRecord progress;
    ASSERT_NO_THROW(byWorkers[workers - 1] = search->FindCheapestCombinations(
                        *test.table, 8, 25, progress.Callback(), workers));
    EXPECT_TRUE(progress.RisesToTheWhole()) << workers << " workers";
    EXPECT_EQ(Testing::PlansMismatch(test, byWorkers[workers - 1], expected), "")
        << workers << " workers";
    const BoundedSearchStatistics statistics = search->Statistics();
    EXPECT_GT(statistics.nodes, 0u);
    EXPECT_GT(statistics.combinationsRuledOut, 18446744073709551616.0);
    EXPECT_LE(statistics.combinationsRuledOut, Testing::Choose(1000, 8) * (1.0 + 1e-12));
  }
  EXPECT_EQ(byWorkers[0], byWorkers[1]);
}

TEST(BoundedCombinationSearchTest, AcceptsOnlyFiniteNonNegativePrices) {
  const auto tableWith = [](double price) {
    return Testing::MakeTable({{{1, 0.0}, {2, 3.5}}, {{4, price}, {1, 1.0}}}, {1, 2});
  };
  EXPECT_TRUE(BoundedSearchAccepts(*tableWith(0.0)));
  EXPECT_TRUE(BoundedSearchAccepts(*tableWith(1e6)));
  EXPECT_FALSE(BoundedSearchAccepts(*tableWith(-0.01)));
  EXPECT_FALSE(BoundedSearchAccepts(*tableWith(std::numeric_limits<double>::infinity())));
  EXPECT_FALSE(BoundedSearchAccepts(*tableWith(std::numeric_limits<double>::quiet_NaN())));
}

}  // namespace
}  // namespace Corvalle::BrickLink
