#include "Source/Base/BrickLink/StoreCombinationValidator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "Source/Base/Combinations/CombinationGenerator.h"
#include "Tests/Support/SearchOracle.h"

namespace Corvalle::BrickLink {
namespace {

using Testing::MakeItems;
using Testing::MakeTable;

// Which combinations are valid, their costs and which a worker keeps under its bound are checked
// against the plain model in SearchModelTest, on one worker and, through the ranking, on two.

// One item wanted once; store s offers one unit at prices[s]. With k = 1 every store is a
// combination whose cost is its price, visited in column order.
std::shared_ptr<const ConsolidatedLotData> OneUnitPerStore(const std::vector<double>& prices) {
  std::vector<LotData> row;
  for (const double price : prices) {
    row.push_back({1, price});
  }
  return MakeTable({row}, Testing::ConsecutiveIds(1, static_cast<std::uint32_t>(prices.size())));
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

// Thrown on a worker, it is rethrown once every worker has ended. (The generator's refusals of
// twelve stores and of counts beyond 64 bits are CombinationGeneratorTest's.)
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
  EXPECT_EQ(*valid, (std::vector<StoreCombination>{{{1}, 1000.0}, {{0}, 2000.0}}));
}

}  // namespace
}  // namespace Corvalle::BrickLink
