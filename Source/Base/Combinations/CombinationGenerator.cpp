// How the k-of-n enumeration is split and walked.
//
// Split: worker t takes every combination whose smallest index lies in its own contiguous run
// [startIndex, endIndex]. The runs are cut so that the running count of combinations stays
// just below each worker's cumulative share (total / T) x (t + 1); the last worker takes
// whatever is left. No coordination is needed while the workers run.
//
// Walk: each worker keeps its current combination in the first k positions of one index vector
// and steps it in lexicographic order: the last position moves fastest; when it reaches its
// ceiling, the rightmost position that can still move is advanced and every position after it
// is refilled with consecutive values. The step is amortised constant time, allocates nothing,
// and the collector sees each combination in place, never a copy.

#include "Source/Base/Combinations/CombinationGenerator.h"

#include <algorithm>
#include <boost/log/trivial.hpp>
#include <exception>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Source/Base/Assert.h"
#include "Source/Base/SearchDefaults.h"

namespace Combinations {

namespace {


std::uint64_t GreatestCommonDivisor(std::uint64_t a, std::uint64_t b) {
  while (b != 0) {
    const std::uint64_t remainder = a % b;
    a = b;
    b = remainder;
  }
  return a;
}

class CombinationGenerator final : public ICombinationGenerator {
 public:
  CombinationGenerator() = default;
  ~CombinationGenerator() override { JoinWorkers(); }

  bool TryGenerateCombinations(std::uint32_t n, std::uint32_t k,
                               ICombinationCollectorFactory& collectorFactory) override {
    return Generate(n, k, collectorFactory, 1);
  }

  bool TryGenerateCombinations(std::uint32_t n, std::uint32_t k,
                               ICombinationCollectorFactory& collectorFactory,
                               std::uint32_t threadCount) override {
    CORVALLE_ASSERT(k <= n);
    const std::uint32_t hardwareThreads = std::thread::hardware_concurrency();
    std::uint32_t workerCount = std::min({n - k, hardwareThreads, threadCount});
    if (workerCount == 0) {
      workerCount = 1;
    }
    return Generate(n, k, collectorFactory, workerCount);
  }

 private:
  bool Generate(std::uint32_t n, std::uint32_t k, ICombinationCollectorFactory& collectorFactory,
                std::uint32_t workerCount);
  void JoinWorkers();

  std::vector<std::thread> workers;
};

bool CombinationGenerator::Generate(std::uint32_t n, std::uint32_t k,
                                    ICombinationCollectorFactory& collectorFactory,
                                    std::uint32_t workerCount) {
  CORVALLE_ASSERT(k <= n);
  if (k > Corvalle::kMaximumStoresPerCombination) {
    BOOST_LOG_TRIVIAL(warning) << "K only goes to 11!";
    return false;
  }
  BOOST_LOG_TRIVIAL(debug) << "Spawning " << (workerCount >= 2 ? workerCount : 0) << " new threads";

  const std::vector<IndexRange> ranges = SplitCombinations(n, k, workerCount);

  // One slot per worker for an exception that ends it; rethrown after every join.
  std::vector<std::exception_ptr> failures(workerCount);
  try {
    for (std::uint32_t t = 0; t < workerCount; ++t) {
      const std::uint32_t startIndex = ranges[t].startIndex;
      const std::uint32_t endIndex = ranges[t].endIndex;
      std::shared_ptr<IValidCombinationCollector> collector = collectorFactory.CreateCollector();
      if (workerCount == 1) {
        CORVALLE_ASSERT(endIndex == n - k);
        ProcessCombinations(n, k, startIndex, endIndex, collector);
      } else {
        workers.emplace_back([n, k, startIndex, endIndex, collector, &failure = failures[t]] {
          try {
            ProcessCombinations(n, k, startIndex, endIndex, collector);
          } catch (...) {
            failure = std::current_exception();
          }
        });
      }
    }
  } catch (...) {
    // Workers already started must not outlive the factory and the failure slots.
    JoinWorkers();
    throw;
  }
  JoinWorkers();
  for (const auto& failure : failures) {
    if (failure) {
      std::rethrow_exception(failure);
    }
  }
  return true;
}

void CombinationGenerator::JoinWorkers() {
  for (auto& worker : workers) {
    if (worker.joinable()) {
      worker.join();
    }
  }
}

}  // namespace

std::unique_ptr<ICombinationGenerator> CreateCombinationGenerator() {
  return std::make_unique<CombinationGenerator>();
}

void ProcessCombinations(std::uint32_t n, std::uint32_t k, std::uint32_t startIndex,
                         std::uint32_t endIndex,
                         const std::shared_ptr<IValidCombinationCollector>& collector) {
  BOOST_LOG_TRIVIAL(trace) << "Processing combinations. Start index: " << startIndex
                           << ", End index: " << endIndex;
  // startIndex ... startIndex + k - 1, then 0 ... startIndex - 1, then the rest: the first k
  // positions hold the first combination of the range.
  std::vector<std::uint32_t> indices(n);
  std::iota(indices.begin(), indices.end(), 0u);
  if (startIndex < n && k <= n - startIndex) {
    std::rotate(indices.begin(), indices.begin() + startIndex, indices.begin() + startIndex + k);
  }
  CORVALLE_ASSERT(collector);
  if (n < k) {
    throw std::invalid_argument("k must be less than or equal to n");
  }
  if (endIndex - startIndex + 1 > n - k + 1) {
    throw std::invalid_argument("requested index range exceeds number of indices");
  }

  IValidCombinationCollector& sink = *collector;
  const IValidCombinationCollector::Iterator begin = indices.begin();
  const IValidCombinationCollector::Iterator end = indices.begin() + k;
  if (k == 0 || k == n) {
    sink.HandleCombination(begin, end);
    sink.Finish();
    return;
  }

  // Smallest indices above n - k start no combination.
  const std::uint32_t lastStart = std::min(endIndex, n - k);
  if (startIndex <= lastStart) {
    std::uint32_t* const combination = indices.data();
    const std::uint32_t last = k - 1;
    if (k == 1) {
      for (std::uint32_t index = startIndex; index <= lastStart; ++index) {
        combination[0] = index;
        sink.HandleCombination(begin, end);
      }
    } else {
      // Position i never exceeds ceiling(i) = n - k + i.
      const std::uint32_t gap = n - k;
      for (;;) {
        // The last position runs up to n - 1 with everything before it fixed.
        for (std::uint32_t value = combination[last];; ++value) {
          combination[last] = value;
          sink.HandleCombination(begin, end);
          if (value == n - 1) {
            break;
          }
        }
        // The rightmost earlier position that can still move.
        std::uint32_t position = last - 1;
        while (position > 0 && combination[position] == gap + position) {
          --position;
        }
        if (position == 0 && combination[0] == lastStart) {
          break;
        }
        std::uint32_t value = combination[position] + 1;
        for (std::uint32_t i = position; i < k; ++i) {
          combination[i] = value++;
        }
      }
    }
  }
  sink.Finish();
}

std::vector<IndexRange> SplitCombinations(std::uint32_t n, std::uint32_t k,
                                          std::uint32_t workerCount) {
  CORVALLE_ASSERT(workerCount >= 1);
  // The shares go by the smallest index of each combination, which k = 0 lacks: refused here
  // rather than left to C(n - 1, k - 1) with k - 1 wrapped round, in the words of every other
  // k that cannot be split.
  if (k == 0 && n > 0) {
    throw std::invalid_argument("k must be less than or equal to n");
  }
  const std::uint64_t total = CountCombinations(n, k);
  const std::uint64_t share = total / workerCount;
  // cnt(j): the number of combinations whose smallest index is j.
  const auto countStartingAt = [n, k](std::uint32_t j) {
    return CountCombinations(n - 1 - j, k - 1);
  };

  std::vector<IndexRange> ranges;
  std::uint32_t previousEnd = 0;
  // cnt(0) + ... + cnt(nextIndex - 1).
  std::uint64_t runningCount = countStartingAt(0);
  std::uint32_t nextIndex = 1;
  for (std::uint32_t t = 0; t < workerCount; ++t) {
    const std::uint32_t startIndex = t == 0 ? 0 : previousEnd + 1;
    const std::uint64_t target = share * (t + 1);
    // The smallest m >= 1 whose running count reaches the target. Targets only grow from
    // worker to worker, so the scan resumes where the previous one stopped.
    while (runningCount < target) {
      runningCount += countStartingAt(nextIndex);
      ++nextIndex;
    }
    const std::uint32_t m = nextIndex;
    std::uint32_t endIndex = std::max(m == 1 ? 0u : m - 2, startIndex);
    previousEnd = endIndex;
    if (t + 1 == workerCount) {
      endIndex = n - k;
    } else {
      CORVALLE_ASSERT(endIndex <= n - k);
    }
    ranges.push_back(IndexRange{startIndex, endIndex});
  }
  return ranges;
}

std::uint64_t CountCombinations(std::uint32_t n, std::uint32_t k) {
  if (n < k) {
    throw std::invalid_argument("k must be less than or equal to n");
  }
  return count_each_combination(n - k, k);
}

std::uint64_t count_each_combination(std::uint64_t d1, std::uint64_t d2) {
  constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t s = std::min(d1, d2);
  const std::uint64_t l = std::max(d1, d2);
  if (s == 0) {
    return 1;
  }
  if (s > kLargest - l) {
    throw std::overflow_error("overflow in count_each_combination");
  }
  const std::uint64_t total = l + s;
  std::uint64_t result = total;
  // result holds C(total, i - 1); dividing out the common factor first keeps every step exact.
  for (std::uint64_t i = 2; i <= s; ++i) {
    const std::uint64_t divisor = GreatestCommonDivisor(result, i);
    result /= divisor;
    const std::uint64_t factor = (total - i + 1) / (i / divisor);
    if (result > kLargest / factor) {
      throw std::overflow_error("overflow in count_each_combination");
    }
    result *= factor;
  }
  return result;
}

}  // namespace Combinations
