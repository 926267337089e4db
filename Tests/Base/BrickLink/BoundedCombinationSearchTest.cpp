// The bounded search against the exhaustive one: every k-store combination validated with a
// kept set larger than the number of combinations, ranked, and read plan by plan with the
// repeats dropped, as the cost finder reads them. Whatever the bounded search prunes, its
// cheapest distinct plans must be those.

#include "Source/Base/BrickLink/BoundedCombinationSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/MinimumCostFinder.h"
#include "Source/Base/BrickLink/StoreCombinationValidator.h"
#include "Tests/Base/BrickLink/SearchTestSupport.h"

namespace Corvalle::BrickLink {
namespace {

using Testing::SameCost;

using Indices = std::vector<std::uint32_t>;
using Plans = std::vector<std::unique_ptr<ICombinationData>>;

double Choose(std::uint32_t n, std::uint32_t k) {
  long double result = 1.0L;
  for (std::uint32_t i = 0; i < k; ++i) {
    result = result * static_cast<long double>(n - i) / static_cast<long double>(i + 1);
  }
  return static_cast<double>(result);
}

// The cheapest distinct plans of the exhaustive search: the first maximumPlans and, after
// them, every further plan that costs as much as the last of those, since any of them may
// take the last place.
struct ExhaustivePlans {
  Plans plans;
  // Whether some plan dearer than all of them exists.
  bool dearerPlanExists = false;
};

ExhaustivePlans FindExhaustively(const std::vector<Item>& items,
                                 const std::shared_ptr<const ConsolidatedLotData>& table,
                                 std::uint32_t k, std::size_t maximumPlans) {
  const auto validator =
      CreateStoreCombinationValidator(items, std::numeric_limits<std::size_t>::max() / 2);
  const auto finder = CreateMinimumCostFinder(table, *validator, items, k);
  finder->CollectValidCombinations(nullptr, 1);
  finder->CalculateCosts();
  ExhaustivePlans result;
  for (std::uint32_t rank = 1;; ++rank) {
    auto plan = finder->CreateCombinationData(rank);
    if (!plan) {
      break;
    }
    if (result.plans.size() >= maximumPlans &&
        !SameCost(plan->Cost(), result.plans[maximumPlans - 1]->Cost())) {
      result.dearerPlanExists = true;
      break;
    }
    if (std::none_of(result.plans.begin(), result.plans.end(),
                     [&](const auto& kept) { return *kept == *plan; })) {
      result.plans.push_back(std::move(plan));
    }
  }
  return result;
}

std::string Describe(const std::vector<StoreCombination>& combinations) {
  std::ostringstream text;
  text.precision(17);
  for (const StoreCombination& combination : combinations) {
    text << "\n  {";
    for (const std::uint32_t index : combination.StoreIndices()) {
      text << ' ' << index;
    }
    text << " } " << combination.Cost();
  }
  return text.str();
}

std::string Describe(const ICombinationData& plan) {
  std::ostringstream text;
  text.precision(17);
  text << plan.Cost() << " stores";
  for (const StoreInformation& store : plan.Stores()) {
    text << ' ' << store.Id();
  }
  return text.str();
}

bool Supplies(const std::vector<Item>& items, const ConsolidatedLotData& table,
              const Indices& indices) {
  for (std::uint32_t item = 0; item < items.size(); ++item) {
    std::uint64_t offered = 0;
    for (const std::uint32_t store : indices) {
      offered += table.OfferedQuantity(item, store);
    }
    if (offered < items[item].Quantity()) {
      return false;
    }
  }
  return true;
}

// What is wrong with the bounded search's result against the exhaustive plans; empty when
// nothing. Plans of equal cost may come in any order, and any of the plans tied with the last
// kept one may fill the last places.
std::string Mismatch(const std::vector<Item>& items, const ConsolidatedLotData& table,
                     std::uint32_t k, std::size_t maximumPlans,
                     const std::vector<StoreCombination>& found, const ExhaustivePlans& expected) {
  std::ostringstream problems;
  problems.precision(17);
  const std::size_t count = std::min(maximumPlans, expected.plans.size());
  if (found.size() != count) {
    problems << count << " plans expected, " << found.size() << " found";
    return problems.str();
  }
  Plans plans;
  for (std::size_t place = 0; place < count; ++place) {
    const StoreCombination& combination = found[place];
    const Indices& indices = combination.StoreIndices();
    if (indices.size() > k || !std::is_sorted(indices.begin(), indices.end()) ||
        std::adjacent_find(indices.begin(), indices.end()) != indices.end() ||
        (!indices.empty() && indices.back() >= table.StoreCount())) {
      problems << "place " << place << ": not a set of at most k columns of the table";
      return problems.str();
    }
    if (!Supplies(items, table, indices)) {
      problems << "place " << place << ": cannot supply the list";
      return problems.str();
    }
    StoreCombination repriced{Indices(indices)};
    repriced.CalculateMinimumCost(items, table);
    if (repriced.Cost() != combination.Cost()) {
      problems << "place " << place << ": cost " << combination.Cost()
               << " where the purchase rule gives " << repriced.Cost() << "\n";
    }
    plans.push_back(combination.CreateCombinationLotsData(items, table));
    if (plans.back()->Stores().size() != indices.size()) {
      problems << "place " << place << ": has a store that buys nothing\n";
    }
    if (place > 0) {
      const StoreCombination& previous = found[place - 1];
      if (previous.Cost() > combination.Cost() ||
          (previous.Cost() == combination.Cost() && previous.StoreIndices() >= indices)) {
        problems << "place " << place << ": not after place " << place - 1
                 << " by cost, then columns\n";
      }
    }
    if (!SameCost(combination.Cost(), expected.plans[place]->Cost())) {
      problems << "place " << place << ": cost " << combination.Cost() << ", exhaustive search "
               << expected.plans[place]->Cost() << "\n";
    }
  }
  if (!problems.str().empty()) {
    return problems.str();
  }
  // Groups of equal cost in the exhaustive ranking; a group reaching past the last place is
  // complete, as the exhaustive list goes on until the cost rises.
  for (std::size_t begin = 0; begin < count;) {
    std::size_t end = begin + 1;
    while (end < expected.plans.size() &&
           SameCost(expected.plans[end]->Cost(), expected.plans[begin]->Cost())) {
      ++end;
    }
    for (std::size_t place = begin; place < std::min(end, count); ++place) {
      if (std::none_of(expected.plans.begin() + static_cast<std::ptrdiff_t>(begin),
                       expected.plans.begin() + static_cast<std::ptrdiff_t>(end),
                       [&](const auto& plan) { return *plan == *plans[place]; })) {
        problems << "place " << place << ": plan " << Describe(*plans[place])
                 << " is none of the exhaustive search's plans of that cost:";
        for (std::size_t other = begin; other < end; ++other) {
          problems << "\n  " << Describe(*expected.plans[other]);
        }
        problems << "\n";
      }
      for (std::size_t earlier = begin; earlier < place; ++earlier) {
        if (*plans[earlier] == *plans[place]) {
          problems << "places " << earlier << " and " << place << ": the same plan\n";
        }
      }
    }
    begin = end;
  }
  return problems.str();
}

// Checks a hand-worked result: the combinations and costs exactly, and the exhaustive search
// agreeing with the hand working.
void ExpectExactly(const std::vector<Item>& items,
                   const std::shared_ptr<const ConsolidatedLotData>& table, std::uint32_t k,
                   const std::vector<StoreCombination>& expected) {
  const ExhaustivePlans exhaustive = FindExhaustively(items, table, k, 25);
  EXPECT_FALSE(exhaustive.dearerPlanExists);
  EXPECT_EQ(Mismatch(items, *table, k, 25, expected, exhaustive), "") << "the hand working";
  for (const std::uint32_t workers : {1u, 2u}) {
    const auto found = CreateBoundedCombinationSearch(items)->FindCheapestCombinations(
        *table, k, 25, nullptr, workers);
    EXPECT_EQ(found, expected) << workers << " workers, found:" << Describe(found)
                               << "\nexpected:" << Describe(expected) << "\n"
                               << Testing::DescribeTable(items, *table, k);
  }
}

struct RandomCase {
  std::vector<Item> items;
  std::shared_ptr<const ConsolidatedLotData> table;
  std::uint32_t k;
  std::size_t maximumPlans;
};

// Small enough that the exhaustive search settles it at once, with what makes pruning hard:
// equal prices (few distinct values), identical stores, stores that never buy (empty or
// dear), stores with several lots of an item, items wanted several units from several stores
// or not at all, and store counts just above k, where a plan of fewer stores needs stores
// beside it that buy nothing.
RandomCase MakeRandomCase(std::mt19937& random) {
  const std::uint32_t k = 1 + random() % 11;
  std::uint32_t mostStores = k;
  while (mostStores < 40 && Choose(mostStores + 1, k) <= 20000) {
    ++mostStores;
  }
  const std::uint32_t storeCount = random() % 2 == 0
                                       ? k + random() % std::min(4u, mostStores - k + 1)
                                       : k + random() % (mostStores - k + 1);
  const std::uint32_t itemCount = 1 + random() % 5;

  static constexpr double kPrices[] = {0.0, 0.05, 0.1, 0.25, 0.3, 1.0, 1.1, 2.5};
  std::vector<double> prices;
  const std::uint32_t priceCount = 1 + random() % 6;
  for (std::uint32_t i = 0; i < priceCount; ++i) {
    prices.push_back(kPrices[random() % 8]);
  }

  std::vector<std::uint32_t> quantities;
  const std::uint32_t mostWanted = 1 + 2 * std::min(k, 4u);
  for (std::uint32_t item = 0; item < itemCount; ++item) {
    quantities.push_back(random() % 8 == 0 ? 0 : 1 + random() % mostWanted);
  }

  const std::uint32_t density = 1 + random() % 4;  // of 4 cells offered
  using Cell = std::vector<TableLot>;
  std::vector<std::vector<Cell>> columns(storeCount, std::vector<Cell>(itemCount));
  for (std::uint32_t store = 0; store < storeCount; ++store) {
    const std::uint32_t kind = random() % 16;
    if (kind == 0) {
      continue;  // offers nothing
    }
    if (kind <= 3 && store > 0) {
      columns[store] = columns[random() % store];
      continue;
    }
    const bool dear = kind == 4;
    for (Cell& cell : columns[store]) {
      if (random() % 4 >= density) {
        continue;
      }
      // Half the cells hold one lot, the others up to four with overlapping prices.
      const std::uint32_t lots = random() % 2 == 0 ? 1 : 2 + random() % 3;
      for (std::uint32_t lot = 0; lot < lots; ++lot) {
        cell.push_back({1 + static_cast<std::uint32_t>(random() % 5),
                        dear ? 5.0 + random() % 3 : prices[random() % prices.size()]});
      }
      std::stable_sort(cell.begin(), cell.end(), CheaperLot);
    }
  }
  std::vector<std::vector<Cell>> rows(itemCount);
  for (std::uint32_t item = 0; item < itemCount; ++item) {
    for (std::uint32_t store = 0; store < storeCount; ++store) {
      rows[item].push_back(columns[store][item]);
    }
  }
  std::vector<std::uint32_t> ids;
  std::uint32_t id = 5000;
  for (std::uint32_t store = 0; store < storeCount; ++store) {
    id += 1 + random() % 40;
    ids.push_back(id);
  }
  const std::size_t maximumPlans = random() % 4 == 0 ? 1 + random() % 5 : 25;
  return {Testing::MakeItems(quantities), Testing::MakeLotTable(rows, ids), k, maximumPlans};
}

TEST(BoundedCombinationSearchTest, FindsTheCheapestDistinctPlansOfTheExhaustiveSearch) {
  std::mt19937 random(4401);
  int withPlans = 0;
  int withMorePlansThanKept = 0;
  int withTieAtTheLastPlace = 0;
  int withFewerStoresThanK = 0;
  int withoutPlans = 0;
  int withPlansOfManyStores = 0;
  for (int round = 0; round < 3000; ++round) {
    const RandomCase test = MakeRandomCase(random);
    const ExhaustivePlans expected =
        FindExhaustively(test.items, test.table, test.k, test.maximumPlans);
    std::vector<StoreCombination> byWorkers[2];
    double ruledOut[2] = {};
    for (const std::uint32_t workers : {1u, 2u}) {
      const auto search = CreateBoundedCombinationSearch(test.items);
      byWorkers[workers - 1] = search->FindCheapestCombinations(
          *test.table, test.k, test.maximumPlans, nullptr, workers);
      ruledOut[workers - 1] = search->Statistics().combinationsRuledOut;
    }
    const std::string mismatch =
        Mismatch(test.items, *test.table, test.k, test.maximumPlans, byWorkers[0], expected);
    ASSERT_EQ(mismatch, "") << "round " << round << ", at most " << test.maximumPlans << " plans\n"
                            << Testing::DescribeTable(test.items, *test.table, test.k)
                            << "\nfound:" << Describe(byWorkers[0]);
    ASSERT_EQ(byWorkers[0], byWorkers[1])
        << "round " << round << ", 1 worker then 2:" << Describe(byWorkers[0]) << "\nand"
        << Describe(byWorkers[1]) << "\n"
        << Testing::DescribeTable(test.items, *test.table, test.k);
    const double combinations = Choose(test.table->StoreCount(), test.k);
    for (const double count : ruledOut) {
      ASSERT_TRUE(count >= 0.0 && count <= combinations * (1.0 + 1e-12))
          << "round " << round << ": " << count << " of " << combinations
          << " combinations ruled out\n"
          << Testing::DescribeTable(test.items, *test.table, test.k);
    }

    withPlans += expected.plans.empty() ? 0 : 1;
    withoutPlans += expected.plans.empty() ? 1 : 0;
    withMorePlansThanKept += expected.dearerPlanExists ? 1 : 0;
    withTieAtTheLastPlace += expected.plans.size() > test.maximumPlans ? 1 : 0;
    withPlansOfManyStores += test.k >= 7 && !expected.plans.empty() ? 1 : 0;
    withFewerStoresThanK +=
        std::any_of(byWorkers[0].begin(), byWorkers[0].end(),
                    [&](const auto& found) { return found.StoreIndices().size() < test.k; })
            ? 1
            : 0;
  }
  // The generator must reach the hard cases, not only tables without plans.
  EXPECT_GT(withPlans, 1500);
  EXPECT_GT(withoutPlans, 400);
  EXPECT_GT(withMorePlansThanKept, 450);
  EXPECT_GT(withTieAtTheLastPlace, 400);
  EXPECT_GT(withFewerStoresThanK, 1000);
  EXPECT_GT(withPlansOfManyStores, 500);
}

TEST(BoundedCombinationSearchTest, PlansOfFewerStoresNeedStoresBesideThemThatBuyNothing) {
  // One item wanted twice; stores 0, 1, 2 each offer two units at 1, 2 and 3. Of the pairs,
  // {0, 1} and {0, 2} buy everything from store 0 and {1, 2} everything from store 1: two
  // plans. Store 2 alone can supply the item too (for 6), but in no pair is it the only
  // store that buys, so its plan must not appear.
  {
    const auto items = Testing::MakeItems({2});
    const auto table = Testing::MakeTable({{{2, 1.0}, {2, 2.0}, {2, 3.0}}}, {11, 12, 13});
    ExpectExactly(items, table, 2, {StoreCombination({0}, 2.0), StoreCombination({1}, 4.0)});
  }
  // The same with equal prices: the lower column buys first, so store 1 buys next to store 2
  // and store 2 is never alone.
  {
    const auto items = Testing::MakeItems({1});
    const auto table = Testing::MakeTable({{{1, 1.0}, {1, 1.0}, {1, 1.0}}}, {11, 12, 13});
    ExpectExactly(items, table, 2, {StoreCombination({0}, 1.0), StoreCombination({1}, 1.0)});
  }
  // One unit wanted, stores at 1 to 5, triples: the cheapest store of a triple buys, and only
  // stores with two dearer ones after them can be that: {0}, {1}, {2}.
  {
    const auto items = Testing::MakeItems({1});
    const auto table = Testing::MakeTable({{{1, 1.0}, {1, 2.0}, {1, 3.0}, {1, 4.0}, {1, 5.0}}},
                                          {11, 12, 13, 14, 15});
    ExpectExactly(
        items, table, 3,
        {StoreCombination({0}, 1.0), StoreCombination({1}, 2.0), StoreCombination({2}, 3.0)});
  }
}

TEST(BoundedCombinationSearchTest, ReturnsEveryPlanOnceWhenThereAreFewerThanAsked) {
  // Two items, one unit each. Store 0 sells item 0 at 1, store 1 item 1 at 1, stores 2 and 3
  // both at 2 and 3. Triples: {0,1,2} and {0,1,3} both buy from 0 and 1 only (one plan, cost
  // 2, not twice); {0,2,3} buys item 1 from 2 (cost 3); {1,2,3} item 0 from 2 (cost 3). The
  // two plans of cost 3 come by columns.
  {
    const auto items = Testing::MakeItems({1, 1});
    const auto table = Testing::MakeTable(
        {{{1, 1.0}, {}, {1, 2.0}, {1, 3.0}}, {{}, {1, 1.0}, {1, 2.0}, {1, 3.0}}}, {21, 22, 23, 24});
    ExpectExactly(items, table, 3,
                  {StoreCombination({0, 1}, 2.0), StoreCombination({0, 2}, 3.0),
                   StoreCombination({1, 2}, 3.0)});
  }
  // Nothing wanted: every combination buys nothing, one empty plan.
  {
    const auto items = Testing::MakeItems({0, 0});
    const auto table =
        Testing::MakeTable({{{1, 1.0}, {2, 2.0}, {}}, {{}, {3, 1.0}, {1, 4.0}}}, {21, 22, 23});
    ExpectExactly(items, table, 2, {StoreCombination({}, 0.0)});
  }
  // Seven units wanted and no pair offers more than six: no plan.
  {
    const auto items = Testing::MakeItems({7});
    const auto table =
        Testing::MakeTable({{{3, 1.0}, {3, 1.0}, {2, 1.0}, {3, 2.0}}}, {21, 22, 23, 24});
    ExpectExactly(items, table, 2, {});
  }
  // Random tables whose combinations have fewer than 25 plans between them, many combinations
  // sharing a plan because most stores buy nothing next to a few cheap ones.
  std::mt19937 random(918);
  int checked = 0;
  for (int round = 0; round < 300; ++round) {
    RandomCase test = MakeRandomCase(random);
    test.maximumPlans = 25;
    const ExhaustivePlans expected = FindExhaustively(test.items, test.table, test.k, 25);
    if (expected.plans.size() >= 25) {
      continue;
    }
    ++checked;
    const auto found = CreateBoundedCombinationSearch(test.items)
                           ->FindCheapestCombinations(*test.table, test.k, 25, nullptr, 2);
    ASSERT_EQ(Mismatch(test.items, *test.table, test.k, 25, found, expected), "")
        << "round " << round << "\n"
        << Testing::DescribeTable(test.items, *test.table, test.k) << "\nfound:" << Describe(found);
  }
  EXPECT_GT(checked, 100);
}

TEST(BoundedCombinationSearchTest, KeepsStoresThatLookUselessAlone) {
  // One item wanted 10. Stores 0 and 1 offer 6 each at 1, store 2 offers all 10 at 5. Neither
  // 0 nor 1 can supply the item alone, yet together they cost 6 + 4 = 10; with store 2 each
  // costs 6 + 4 x 5 = 26. Store 2 alone (50) needs a pair that leaves it alone: none.
  {
    const auto items = Testing::MakeItems({10});
    const auto table = Testing::MakeTable({{{6, 1.0}, {6, 1.0}, {10, 5.0}}}, {31, 32, 33});
    ExpectExactly(items, table, 2,
                  {StoreCombination({0, 1}, 10.0), StoreCombination({0, 2}, 26.0),
                   StoreCombination({1, 2}, 26.0)});
  }
  // Two items, one unit each. Store 0 sells item 0 at 1 and item 1 at 10, store 1 the other
  // way round, store 2 both at 2. Alone they cost 11, 11 and 4, so store 2 looks best and 0
  // and 1 hopeless, yet {0, 1} costs 2; {0, 2} and {1, 2} cost 1 + 2 = 3.
  {
    const auto items = Testing::MakeItems({1, 1});
    const auto table = Testing::MakeTable(
        {{{1, 1.0}, {1, 10.0}, {1, 2.0}}, {{1, 10.0}, {1, 1.0}, {1, 2.0}}}, {31, 32, 33});
    ExpectExactly(items, table, 2,
                  {StoreCombination({0, 1}, 2.0), StoreCombination({0, 2}, 3.0),
                   StoreCombination({1, 2}, 3.0)});
  }
  // Single stores, two items: store 0 sells only item 0 at 1, store 1 only item 1 at 1, store
  // 2 both at 3, dearer on every item than the cheapest offer, yet the only plan: 3 + 3.
  {
    const auto items = Testing::MakeItems({1, 1});
    const auto table =
        Testing::MakeTable({{{1, 1.0}, {}, {1, 3.0}}, {{}, {1, 1.0}, {1, 3.0}}}, {31, 32, 33});
    ExpectExactly(items, table, 1, {StoreCombination({2}, 6.0)});
  }
  // Item 0 wanted 4, item 1 wanted 3. Store 2 sells one unit of each at 5, the dearest price
  // of the table, and cannot supply either item alone; but item 0 is offered only by stores 0
  // (3 at 1) and 2, so every plan has it. Triples: {0,1,2} buys item 0 for 3 + 5 and item 1
  // as 2 from store 1 at 1 and 1 from store 2 at 5: 15. {0,2,3} buys item 0 for 8 and item 1
  // as 3 from store 3 at 4: 20. {0,1,3} and {1,2,3} cannot supply item 0.
  {
    const auto items = Testing::MakeItems({4, 3});
    const auto table = Testing::MakeTable(
        {{{3, 1.0}, {}, {1, 5.0}, {}}, {{}, {2, 1.0}, {1, 5.0}, {3, 4.0}}}, {31, 32, 33, 34});
    ExpectExactly(items, table, 3,
                  {StoreCombination({0, 1, 2}, 15.0), StoreCombination({0, 2, 3}, 20.0)});
  }
  // Two identical stores that are only of use together: 2 units each at 1 of 4 wanted; store
  // 2 offers all 4 at 3. {0, 1} costs 4; {0, 2} and {1, 2} cost 2 + 6 = 8.
  {
    const auto items = Testing::MakeItems({4});
    const auto table = Testing::MakeTable({{{2, 1.0}, {2, 1.0}, {4, 3.0}}}, {31, 32, 33});
    ExpectExactly(items, table, 2,
                  {StoreCombination({0, 1}, 4.0), StoreCombination({0, 2}, 8.0),
                   StoreCombination({1, 2}, 8.0)});
  }
}

// 1000 stores, far more combinations of 8 than 64 bits count. Twelve "good" stores, spread
// over the columns, sell the items at 1 or less a unit; the other 988 sell at 100 or more.
// Any plan with one of those costs more than any plan of good stores alone (at most 10 units
// at 1), and beside good stores that supply the list they buy nothing. So the cheapest plans
// are plans of good stores only, and eight of the others are enough to stand beside any of
// them: the exhaustive search over the good stores and eight others finds them.
struct LargeTable {
  std::vector<Item> items;
  std::shared_ptr<const ConsolidatedLotData> table;
  std::shared_ptr<const ConsolidatedLotData> reduced;
};

LargeTable MakeLargeTable() {
  constexpr std::uint32_t kStores = 1000;
  constexpr std::uint32_t kGood = 12;
  const std::vector<std::uint32_t> wanted = {3, 2, 4, 1};
  std::mt19937 random(6113);
  std::vector<bool> good(kStores, false);
  for (std::uint32_t placed = 0; placed < kGood;) {
    const std::uint32_t store = random() % kStores;
    placed += good[store] ? 0 : 1;
    good[store] = true;
  }
  static constexpr double kGoodPrices[] = {0.1, 0.2, 0.25, 0.5, 1.0};
  std::vector<std::vector<LotData>> rows(wanted.size()), reducedRows(wanted.size());
  std::vector<std::uint32_t> ids, reducedIds;
  std::uint32_t othersKept = 0;
  for (std::uint32_t store = 0; store < kStores; ++store) {
    const std::uint32_t id = 100000 + 7 * store;
    ids.push_back(id);
    const bool keep = good[store] || othersKept < 8;
    if (keep) {
      reducedIds.push_back(id);
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
  return {Testing::MakeItems(wanted), Testing::MakeTable(rows, ids),
          Testing::MakeTable(reducedRows, reducedIds)};
}

TEST(BoundedCombinationSearchTest, RanksTablesBeyondSixtyFourBitCombinationCounts) {
  const LargeTable large = MakeLargeTable();
  constexpr std::uint32_t k = 8;
  const ExhaustivePlans expected = FindExhaustively(large.items, large.reduced, k, 25);
  // The construction holds: enough plans of good stores, all cheaper than any other plan.
  ASSERT_TRUE(expected.dearerPlanExists);
  ASSERT_LT(expected.plans.back()->Cost(), 100.0);

  std::vector<StoreCombination> byWorkers[2];
  for (const std::uint32_t workers : {1u, 2u}) {
    const auto search = CreateBoundedCombinationSearch(large.items);
    ASSERT_NO_THROW(byWorkers[workers - 1] =
                        search->FindCheapestCombinations(*large.table, k, 25, nullptr, workers));
    EXPECT_EQ(Mismatch(large.items, *large.table, k, 25, byWorkers[workers - 1], expected), "")
        << workers << " workers, found:" << Describe(byWorkers[workers - 1]);
    const BoundedSearchStatistics statistics = search->Statistics();
    EXPECT_GT(statistics.nodes, 0u);
    EXPECT_GT(statistics.combinationsRuledOut, 18446744073709551616.0);
    EXPECT_LE(statistics.combinationsRuledOut, Choose(1000, k) * (1.0 + 1e-12));
  }
  EXPECT_EQ(byWorkers[0], byWorkers[1]);
}

// Reports arrive from the workers; they are recorded in the order they arrive.
class ProgressRecord {
 public:
  CombinationProgress Callback() {
    return [this](double fraction, unsigned long long) {
      const std::lock_guard lock(mutex);
      fractions.push_back(fraction);
    };
  }

  std::string Problems() const {
    const std::lock_guard lock(mutex);
    std::ostringstream problems;
    if (fractions.empty()) {
      return "no report";
    }
    for (std::size_t i = 0; i < fractions.size(); ++i) {
      if (!(fractions[i] >= 0.0 && fractions[i] <= 1.0)) {
        problems << "report " << i << ": " << fractions[i] << " outside [0, 1]\n";
      }
      if (i > 0 && fractions[i] < fractions[i - 1]) {
        problems << "report " << i << ": " << fractions[i] << " after " << fractions[i - 1] << "\n";
      }
    }
    if (fractions.back() != 1.0) {
      problems << "the last report is " << fractions.back() << ", not 1\n";
    }
    return problems.str();
  }

 private:
  mutable std::mutex mutex;
  std::vector<double> fractions;
};

TEST(BoundedCombinationSearchTest, ReportsProgressUpToTheWhole) {
  const LargeTable large = MakeLargeTable();
  for (const std::uint32_t workers : {1u, 2u}) {
    ProgressRecord record;
    CreateBoundedCombinationSearch(large.items)
        ->FindCheapestCombinations(*large.table, 8, 25, record.Callback(), workers);
    EXPECT_EQ(record.Problems(), "") << "1000 stores, " << workers << " workers";
  }
  std::mt19937 random(5);
  for (int round = 0; round < 40; ++round) {
    const RandomCase test = MakeRandomCase(random);
    for (const std::uint32_t workers : {1u, 2u}) {
      ProgressRecord record;
      CreateBoundedCombinationSearch(test.items)
          ->FindCheapestCombinations(*test.table, test.k, test.maximumPlans, record.Callback(),
                                     workers);
      EXPECT_EQ(record.Problems(), "") << "round " << round << ", " << workers << " workers\n"
                                       << Testing::DescribeTable(test.items, *test.table, test.k);
    }
  }
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
