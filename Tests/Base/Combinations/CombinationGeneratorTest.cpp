#include "Source/Base/Combinations/CombinationGenerator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Tests/Support/ExceptionMessage.h"
#include "Tests/Support/LogCapture.h"
#include "Tests/Support/SearchOracle.h"

namespace Combinations {
namespace {

using Combination = std::vector<std::uint32_t>;

using Testing::AllCombinations;
using Testing::MessageOf;

// C(n, k) from Pascal's triangle; empty when it does not fit 64 bits.
std::optional<std::uint64_t> PascalCount(std::uint32_t n, std::uint32_t k) {
  std::vector<std::optional<std::uint64_t>> row{std::uint64_t{1}};
  for (std::uint32_t line = 1; line <= n; ++line) {
    std::vector<std::optional<std::uint64_t>> next(line + 1);
    next.front() = 1;
    next.back() = 1;
    for (std::uint32_t i = 1; i < line; ++i) {
      if (row[i - 1] && row[i] &&
          *row[i - 1] <= std::numeric_limits<std::uint64_t>::max() - *row[i]) {
        next[i] = *row[i - 1] + *row[i];
      }
    }
    row = std::move(next);
  }
  return row[k];
}

// Records what one worker saw.
struct WorkerLog {
  std::vector<Combination> combinations;
  int finishCalls = 0;
  bool sawCombinationAfterFinish = false;
  std::thread::id thread;
};

// That an exception of a worker reaches the caller is StoreCombinationValidatorTest's, through
// the validator's workers.
class RecordingCollector final : public IValidCombinationCollector {
 public:
  explicit RecordingCollector(WorkerLog& log_) : log(log_) {}
  void HandleCombination(const Iterator& begin, const Iterator& end) override {
    log.thread = std::this_thread::get_id();
    if (log.finishCalls != 0) {
      log.sawCombinationAfterFinish = true;
    }
    log.combinations.emplace_back(begin, end);
  }
  void Finish() override { ++log.finishCalls; }

 private:
  WorkerLog& log;
};

class RecordingFactory final : public ICombinationCollectorFactory {
 public:
  std::unique_ptr<IValidCombinationCollector> CreateCollector() override {
    logs.push_back(std::make_unique<WorkerLog>());
    return std::make_unique<RecordingCollector>(*logs.back());
  }
  // Every worker's combinations, worker after worker.
  std::vector<Combination> Concatenated() const {
    std::vector<Combination> all;
    for (const auto& log : logs) {
      all.insert(all.end(), log->combinations.begin(), log->combinations.end());
    }
    return all;
  }

  std::vector<std::unique_ptr<WorkerLog>> logs;
};

TEST(CombinationCountTest, AgreesWithPascalsTriangleAndReportsOverflow) {
  for (std::uint32_t n = 0; n <= 70; ++n) {
    for (std::uint32_t k = 0; k <= n; ++k) {
      const auto expected = PascalCount(n, k);
      if (expected) {
        EXPECT_EQ(CountCombinations(n, k), *expected) << n << " choose " << k;
        EXPECT_EQ(count_each_combination(n - k, k), *expected);
      } else {
        EXPECT_THROW(CountCombinations(n, k), std::overflow_error) << n << " choose " << k;
      }
    }
  }
  // C(68, 34) is just beyond 64 bits.
  EXPECT_EQ(MessageOf<std::overflow_error>([] { count_each_combination(34, 34); }),
            "overflow in count_each_combination");
  // The sum of the two arguments alone overflows.
  EXPECT_THROW(count_each_combination(std::numeric_limits<std::uint64_t>::max(), 1),
               std::overflow_error);
  EXPECT_EQ(count_each_combination(std::numeric_limits<std::uint64_t>::max(), 0), 1u);
  EXPECT_EQ(MessageOf<std::invalid_argument>([] { CountCombinations(2, 3); }),
            "k must be less than or equal to n");
}

TEST(CombinationSplitTest, GivesTheDocumentedRanges) {
  EXPECT_THAT(SplitCombinations(30, 2, 4),
              ::testing::ElementsAre(IndexRange{0, 2}, IndexRange{3, 7}, IndexRange{8, 13},
                                     IndexRange{14, 28}));
  EXPECT_THAT(SplitCombinations(10, 3, 2),
              ::testing::ElementsAre(IndexRange{0, 0}, IndexRange{1, 7}));
  EXPECT_THAT(SplitCombinations(10, 3, 4),
              ::testing::ElementsAre(IndexRange{0, 0}, IndexRange{1, 1}, IndexRange{2, 2},
                                     IndexRange{3, 7}));
  EXPECT_THAT(SplitCombinations(5, 5, 1), ::testing::ElementsAre(IndexRange{0, 0}));
  EXPECT_EQ(MessageOf<std::invalid_argument>([] { SplitCombinations(5, 0, 1); }),
            "k must be less than or equal to n");
}

TEST(ProcessCombinationsTest, RejectsImpossibleRequests) {
  WorkerLog log;
  const std::shared_ptr<IValidCombinationCollector> collector =
      std::make_shared<RecordingCollector>(log);
  EXPECT_EQ(MessageOf<std::invalid_argument>([&] { ProcessCombinations(3, 4, 0, 0, collector); }),
            "k must be less than or equal to n");
  // The five smallest indices, where only four exist.
  EXPECT_EQ(MessageOf<std::invalid_argument>([&] { ProcessCombinations(6, 3, 0, 4, collector); }),
            "requested index range exceeds number of indices");
  EXPECT_TRUE(log.combinations.empty());
  EXPECT_EQ(log.finishCalls, 0);
}

// Over the split ranges, the workers together visit every combination exactly once, each in
// its own range and in lexicographic order, so that their logs laid end to end are the whole
// lexicographic sequence.
TEST(ProcessCombinationsTest, SplitRangesCoverEveryCombinationOnce) {
  for (std::uint32_t n = 1; n <= 13; ++n) {
    for (std::uint32_t k = 1; k <= std::min(n, 11u); ++k) {
      const std::vector<Combination> expected = AllCombinations(n, k);
      for (std::uint32_t workers = 1; workers <= std::max(1u, std::min(n - k, 6u)); ++workers) {
        const auto ranges = SplitCombinations(n, k, workers);
        ASSERT_EQ(ranges.size(), workers);
        std::vector<Combination> visited;
        for (const IndexRange& range : ranges) {
          WorkerLog log;
          ProcessCombinations(n, k, range.startIndex, range.endIndex,
                              std::make_shared<RecordingCollector>(log));
          EXPECT_EQ(log.finishCalls, 1);
          for (const Combination& combination : log.combinations) {
            EXPECT_GE(combination.front(), range.startIndex);
            EXPECT_LE(combination.front(), range.endIndex);
          }
          visited.insert(visited.end(), log.combinations.begin(), log.combinations.end());
        }
        ASSERT_EQ(visited, expected) << n << " choose " << k << " on " << workers << " workers";
      }
    }
  }
}

TEST(CombinationGeneratorTest, WorkersTogetherVisitEveryCombinationOnce) {
  const auto generator = CreateCombinationGenerator();
  const std::uint32_t hardware = std::max(1u, std::thread::hardware_concurrency());
  for (const auto& [n, k] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
           {1, 1}, {7, 7}, {9, 1}, {12, 2}, {15, 4}, {20, 11}, {25, 3}}) {
    for (std::uint32_t requested : {0u, 1u, 2u, 4u}) {
      RecordingFactory factory;
      ASSERT_TRUE(generator->TryGenerateCombinations(n, k, factory, requested));
      const std::uint32_t workers = std::max(1u, std::min({n - k, hardware, requested}));
      ASSERT_EQ(factory.logs.size(), workers) << n << " " << k << " " << requested;
      // Collectors are made in worker order, so the whole sequence comes in its order; that
      // each worker keeps to its share is ProcessCombinationsTest's part.
      EXPECT_EQ(factory.Concatenated(), AllCombinations(n, k));
      for (const auto& log : factory.logs) {
        EXPECT_EQ(log->finishCalls, 1);
        EXPECT_FALSE(log->sawCombinationAfterFinish);
      }
    }
  }
  // The single-worker overload runs on the calling thread.
  RecordingFactory factory;
  ASSERT_TRUE(generator->TryGenerateCombinations(8, 3, factory));
  ASSERT_EQ(factory.logs.size(), 1u);
  EXPECT_EQ(factory.logs[0]->thread, std::this_thread::get_id());
  EXPECT_EQ(factory.Concatenated(), AllCombinations(8, 3));
}

// Zero stores are refused by the split, as counts past 64 bits are, before any collector is made.
TEST(CombinationGeneratorTest, RefusesTwelveStoresAndCountsBeyondSixtyFourBits) {
  const auto generator = CreateCombinationGenerator();
  {
    Testing::LogCapture log;
    RecordingFactory factory;
    EXPECT_FALSE(generator->TryGenerateCombinations(14, 12, factory, 2));
    EXPECT_TRUE(factory.logs.empty());
    EXPECT_TRUE(log.Contains("warning", "K only goes to 11!"));
  }
  {
    RecordingFactory factory;
    EXPECT_THROW(generator->TryGenerateCombinations(5000, 11, factory, 2), std::overflow_error)
        << "C(5000, 11) exceeds 64 bits";
    EXPECT_TRUE(factory.logs.empty());
  }
}

}  // namespace
}  // namespace Combinations
