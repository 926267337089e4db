#include "Source/Base/BrickLink/MinimumCostFinder.h"

#include <gtest/gtest.h>

#include "Tests/Support/SearchOracle.h"

namespace Corvalle::BrickLink {
namespace {

using Testing::MakeTable;

// An item whose price guides say whether it has new and used lots at all.
Item MakeItem(Condition condition, std::uint32_t quantity, bool hasNewLots, bool hasUsedLots) {
  Item item(ItemType::Part, "3001", "Brick", 1, condition, quantity);
  const auto guide = [] {
    return std::make_unique<PriceGuide>(PriceGuide::Lots{{1, 1, 1.0}}, PriceGuideStatistics{},
                                        PriceGuideStatistics{});
  };
  if (hasNewLots) {
    item.SetPriceGuideNew(guide());
  }
  if (hasUsedLots) {
    item.SetPriceGuideUsed(guide());
  }
  return item;
}

TEST(MinimumCostFinderTest, FindsTheFewestStoresTheNeediestItemRequires) {
  std::vector<Item> items;
  items.push_back(MakeItem(Condition::New, 12, true, false));  // 5 + 4 + 4: three stores
  items.push_back(MakeItem(Condition::New, 6, true, false));   // 4 + 4: two
  items.push_back(MakeItem(Condition::New, 0, false, false));  // wanted 0 times: no matter
  const auto table = MakeTable({{{5, 1.0}, {4, 1.0}, {4, 1.0}, {1, 1.0}},
                                {{0, 0.0}, {4, 1.0}, {4, 1.0}, {1, 1.0}},
                                {{0, 0.0}, {0, 0.0}, {0, 0.0}, {0, 0.0}}},
                               {1, 2, 3, 4});
  const auto validator = CreateStoreCombinationValidator(items);
  EXPECT_EQ(CreateMinimumCostFinder(table, *validator, items, 3)->FindMinimumStoresRequired(), 3u);

  // The first item alone short of its wanted quantity: nothing can supply the list.
  std::vector<Item> tooMany;
  tooMany.push_back(MakeItem(Condition::New, 15, true, false));
  const auto shortTable = MakeTable({{{5, 1.0}, {4, 1.0}, {4, 1.0}, {1, 1.0}}}, {1, 2, 3, 4});
  EXPECT_EQ(
      CreateMinimumCostFinder(shortTable, *validator, tooMany, 3)->FindMinimumStoresRequired(), 0u);
  EXPECT_EQ(
      CreateMinimumCostFinder(MakeTable({}, {}), *validator, {}, 0)->FindMinimumStoresRequired(),
      0u);
}

TEST(MinimumCostFinderTest, AnItemWithoutLotsOfItsConditionNeedsTheImpossible) {
  const auto table = MakeTable({{{5, 1.0}}}, {1});
  for (const auto& [condition, hasNew, hasUsed, expected] :
       std::vector<std::tuple<Condition, bool, bool, std::uint32_t>>{
           {Condition::New, false, true, 0},
           {Condition::Used, false, false, 0},
           {Condition::Used, false, true, 1},
           {Condition::New, true, false, 1}}) {
    std::vector<Item> items;
    items.push_back(MakeItem(condition, 2, hasNew, hasUsed));
    const auto validator = CreateStoreCombinationValidator(items);
    EXPECT_EQ(CreateMinimumCostFinder(table, *validator, items, 1)->FindMinimumStoresRequired(),
              expected);
  }
}

// The ranking itself, cost then columns, and every rank's plan are checked against the plain model
// in SearchModelTest.
TEST(MinimumCostFinderTest, CountsTheCombinationsAndHasNoPlanOutsideTheRanking) {
  const auto items = Testing::MakeItems({2});
  const auto table = MakeTable({{{2, 3.0}, {2, 1.0}, {1, 0.5}, {2, 2.0}}}, {1, 2, 3, 4});
  const auto validator = CreateStoreCombinationValidator(items);
  const auto finder = CreateMinimumCostFinder(table, *validator, items, 2);
  EXPECT_EQ(finder->CountPossibleCombinations(), 6u);
  EXPECT_EQ(finder->CreateCombinationData(1), nullptr) << "before the search";
  EXPECT_EQ(finder->CollectValidCombinations(nullptr, 2), 6u);
  finder->CalculateCosts();
  EXPECT_EQ(finder->CreateCombinationData(0), nullptr);

  const auto tooFew = CreateMinimumCostFinder(table, *validator, items, 5);
  EXPECT_THROW(tooFew->CountPossibleCombinations(), std::invalid_argument);
}

// Hands over a fixed list, in whatever order the test chose.
class FixedValidator final : public IStoreCombinationValidator {
 public:
  explicit FixedValidator(std::vector<StoreCombination> list_) : list(std::move(list_)) {}
  std::unique_ptr<std::vector<StoreCombination>> FindValidCombinations(const ConsolidatedLotData&,
                                                                       std::uint32_t,
                                                                       const CombinationProgress&,
                                                                       std::uint32_t) override {
    return std::make_unique<std::vector<StoreCombination>>(list);
  }

 private:
  std::vector<StoreCombination> list;
};

// One item wanted once, one unit per store at a price that repeats every 97 stores, so that
// many combinations tie.
std::shared_ptr<const ConsolidatedLotData> ManyStores(std::uint32_t count) {
  std::vector<LotData> row;
  for (std::uint32_t store = 0; store < count; ++store) {
    row.push_back({1, 0.01 * static_cast<double>((store * 31) % 97)});
  }
  return MakeTable({row}, Testing::ConsecutiveIds(1, count));
}

std::vector<StoreCombination> Ranked(IMinimumCostFinder& finder, std::uint64_t count) {
  std::vector<StoreCombination> ranked;
  for (std::uint32_t rank = 1; rank <= count; ++rank) {
    const auto plan = finder.CreateCombinationData(rank);
    std::vector<std::uint32_t> columns;
    for (const auto& store : plan->Stores()) {
      columns.push_back(store.Id() - 1);
    }
    ranked.emplace_back(std::move(columns), plan->Cost());
  }
  return ranked;
}

TEST(MinimumCostFinderTest, RankingDoesNotDependOnTheWorkersOrTheOrderHandedOver) {
  const auto items = Testing::MakeItems({1});
  const auto table = ManyStores(90000);
  const auto validator = CreateStoreCombinationValidator(items);
  // Enough entries for the costs to be computed again on two threads.
  const auto one = CreateMinimumCostFinder(table, *validator, items, 1);
  ASSERT_EQ(one->CollectValidCombinations(nullptr, 1), 90000u);
  one->CalculateCosts();
  const auto two = CreateMinimumCostFinder(table, *validator, items, 1);
  ASSERT_EQ(two->CollectValidCombinations(nullptr, 2), 90000u);
  two->CalculateCosts();
  const auto expected = Ranked(*one, 90000);
  EXPECT_EQ(Ranked(*two, 90000), expected);

  // A list in no order at all, with wrong costs that pricing again must put right.
  std::vector<StoreCombination> shuffled;
  for (std::uint32_t store = 0; store < 90000; ++store) {
    shuffled.emplace_back(std::vector<std::uint32_t>{(store * 7919) % 90000}, -1.0);
  }
  FixedValidator fixed(std::move(shuffled));
  const auto fromFixed = CreateMinimumCostFinder(table, fixed, items, 1);
  ASSERT_EQ(fromFixed->CollectValidCombinations(nullptr, 2), 90000u);
  fromFixed->CalculateCosts();
  EXPECT_EQ(Ranked(*fromFixed, 90000), expected);
}

}  // namespace
}  // namespace Corvalle::BrickLink
