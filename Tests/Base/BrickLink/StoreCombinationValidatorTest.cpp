#include "Source/Base/BrickLink/StoreCombinationValidator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "Source/Base/Combinations/CombinationGenerator.h"
#include "Tests/Base/BrickLink/SearchTestSupport.h"

namespace Corvalle::BrickLink {
namespace {

using Testing::MakeItems;
using Testing::MakeTable;

using Indices = std::vector<std::uint32_t>;

std::vector<Indices> IndicesOf(const std::vector<StoreCombination>& combinations) {
  std::vector<Indices> indices;
  for (const auto& combination : combinations) {
    indices.push_back(combination.StoreIndices());
  }
  return indices;
}

// One item wanted once; store s offers one unit at prices[s]. With k = 1 every store is a
// combination whose cost is its price, visited in column order.
std::shared_ptr<const ConsolidatedLotData> OneUnitPerStore(const std::vector<double>& prices) {
  std::vector<LotData> row;
  for (const double price : prices) {
    row.push_back({1, price});
  }
  return MakeTable({row}, Testing::ConsecutiveIds(1, static_cast<std::uint32_t>(prices.size())));
}

TEST(StoreCombinationValidatorTest, AcceptsExactlyTheCombinationsThatCoverEveryItem) {
  const auto items = MakeItems({5, 1});
  // Item 0: 3 + 2 is exactly enough, 3 + 1 and 2 + 1 are short; item 1 only C lacks.
  const auto table =
      MakeTable({{{3, 1.0}, {2, 1.0}, {1, 1.0}}, {{1, 4.0}, {1, 2.0}, {0, 0.0}}}, {1, 2, 3});
  const auto validator = CreateStoreCombinationValidator(items);
  const auto valid = validator->FindValidCombinations(*table, 2, nullptr, 1);
  ASSERT_EQ(valid->size(), 1u);
  EXPECT_EQ((*valid)[0].StoreIndices(), (Indices{0, 1}));
  EXPECT_DOUBLE_EQ((*valid)[0].Cost(), 5.0 + 2.0);
  // All three together are valid as well.
  const std::vector<Indices> all{{0, 1, 2}};
  EXPECT_EQ(IndicesOf(*validator->FindValidCombinations(*table, 3, nullptr, 1)), all);
}

TEST(StoreCombinationValidatorTest, KeepsTheCheapestWithTiesAtTheBound) {
  // A bound of 4: stores 0 to 3 fill it (most expensive 10.0); store 4 ties with 10.0 and is
  // kept too; store 5 (9.0) replaces the most expensive kept, of the two at 10.0 the one
  // visited last (store 4); store 6 (11.0) is dropped.
  const auto items = MakeItems({1});
  const auto table = OneUnitPerStore({10.0, 5.0, 7.0, 10.0, 10.0, 9.0, 11.0});
  const auto validator = CreateStoreCombinationValidator(items, 4);
  const auto kept = validator->FindValidCombinations(*table, 1, nullptr, 1);
  EXPECT_EQ(IndicesOf(*kept), (std::vector<Indices>{{1}, {2}, {5}, {0}, {3}}));
  std::vector<double> costs;
  for (const auto& combination : *kept) {
    costs.push_back(combination.Cost());
  }
  EXPECT_EQ(costs, (std::vector<double>{5.0, 7.0, 9.0, 10.0, 10.0}));
}

TEST(StoreCombinationValidatorTest, ReportsProgressEveryFiveMillionCombinations) {
  // One item wanted 1000 times, every store has one: no combination is valid, all are counted.
  const auto items = MakeItems({1000});
  const auto table = OneUnitPerStore(std::vector<double>(400, 1.0));
  const std::uint64_t total = Combinations::CountCombinations(400, 3);  // 10586800
  std::mutex mutex;
  std::vector<std::pair<double, unsigned long long>> reports;
  const auto started = std::chrono::steady_clock::now();
  const auto valid = CreateStoreCombinationValidator(items)->FindValidCombinations(
      *table, 3,
      [&](double fraction, unsigned long long remaining) {
        std::lock_guard<std::mutex> lock(mutex);
        reports.emplace_back(fraction, remaining);
      },
      2);
  const auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_TRUE(valid->empty());
  std::sort(reports.begin(), reports.end());
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].first, 5000000.0 / static_cast<double>(total));
  EXPECT_EQ(reports[1].first, 10000000.0 / static_cast<double>(total));
  if (elapsed < std::chrono::seconds(2)) {
    EXPECT_EQ(reports[0].second, 0u);
    EXPECT_EQ(reports[1].second, 0u);
  }

  // Fewer than five million combinations: no report at all.
  std::size_t calls = 0;
  CreateStoreCombinationValidator(items)->FindValidCombinations(
      *OneUnitPerStore(std::vector<double>(300, 1.0)), 3,
      [&](double, unsigned long long) { ++calls; }, 2);
  EXPECT_EQ(calls, 0u);
}

TEST(StoreCombinationValidatorTest, GathersTheKeptCombinationsOfEveryWorker) {
  const auto items = MakeItems({2, 1});
  std::vector<LotData> first;
  std::vector<LotData> second;
  for (std::uint32_t store = 0; store < 12; ++store) {
    first.push_back({1 + store % 2, 1.0 + (store * 7) % 5});
    second.push_back({store % 3 == 0 ? 0u : 1u, 0.5 * (store % 4)});
  }
  const auto table = MakeTable({first, second}, Testing::ConsecutiveIds(1, 12));
  auto one = CreateStoreCombinationValidator(items)->FindValidCombinations(*table, 3, nullptr, 1);
  auto two = CreateStoreCombinationValidator(items)->FindValidCombinations(*table, 3, nullptr, 2);
  const auto byIndices = [](const StoreCombination& a, const StoreCombination& b) {
    return a.StoreIndices() < b.StoreIndices();
  };
  std::sort(one->begin(), one->end(), byIndices);
  std::sort(two->begin(), two->end(), byIndices);
  EXPECT_FALSE(one->empty());
  EXPECT_EQ(*one, *two);
}

TEST(StoreCombinationValidatorTest, TwelveStoresGiveNothingAndHugeCountsThrow) {
  const auto items = MakeItems({1});
  const auto table = OneUnitPerStore(std::vector<double>(13, 1.0));
  EXPECT_TRUE(CreateStoreCombinationValidator(items)
                  ->FindValidCombinations(*table, 12, nullptr, 1)
                  ->empty());
  const auto wide = OneUnitPerStore(std::vector<double>(5000, 1.0));
  EXPECT_THROW(CreateStoreCombinationValidator(items)->FindValidCombinations(*wide, 11, nullptr, 2),
               std::overflow_error);
}

TEST(StoreCombinationValidatorTest, AnExceptionOfTheProgressCallbackReachesTheCaller) {
  const auto items = MakeItems({1000});
  const auto table = OneUnitPerStore(std::vector<double>(400, 1.0));
  const auto validator = CreateStoreCombinationValidator(items);
  EXPECT_THROW(
      validator->FindValidCombinations(
          *table, 3, [](double, unsigned long long) { throw std::runtime_error("receiver gone"); },
          2),
      std::runtime_error);
  // The validator stays usable, and nothing of the failed search leaks into the next one.
  const auto small = MakeTable({{{1000, 2.0}, {1000, 1.0}}}, {1, 2});
  const auto valid = validator->FindValidCombinations(*small, 1, nullptr, 1);
  EXPECT_EQ(IndicesOf(*valid), (std::vector<Indices>{{1}, {0}}));
}

}  // namespace
}  // namespace Corvalle::BrickLink
