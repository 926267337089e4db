#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Source/Base/Combinations/CombinationCollector.h"

namespace Combinations {

// Enumerates every way of choosing k indices out of 0 ... n - 1 and hands each choice to a
// collector, spreading the work over worker threads. It knows nothing of what the indices mean.
class ICombinationGenerator {
 public:
  virtual ~ICombinationGenerator() = default;
  ICombinationGenerator(const ICombinationGenerator&) = delete;
  ICombinationGenerator& operator=(const ICombinationGenerator&) = delete;

  // Runs the whole enumeration on the calling thread with one collector. Returns false, without
  // creating a collector, when k is 12 or more. Exceptions of the collector propagate.
  virtual bool TryGenerateCombinations(std::uint32_t n, std::uint32_t k,
                                       ICombinationCollectorFactory& collectorFactory) = 0;
  // As above with max(1, min(n - k, hardware threads, threadCount)) workers, each with a
  // collector of its own and a contiguous run of smallest indices. Returns after every worker
  // has ended. An exception thrown on a worker (by a collector, say) is captured there and
  // rethrown here after all workers are joined; with several, the first worker's wins.
  // Throws std::overflow_error when C(n, k) does not fit 64 bits and std::invalid_argument "k
  // must be less than or equal to n" when k is 0 and n is not, both before any collector is
  // created. k > n is a broken invariant.
  virtual bool TryGenerateCombinations(std::uint32_t n, std::uint32_t k,
                                       ICombinationCollectorFactory& collectorFactory,
                                       std::uint32_t threadCount) = 0;

 protected:
  ICombinationGenerator() = default;
};

std::unique_ptr<ICombinationGenerator> CreateCombinationGenerator();

// The run of smallest indices [startIndex, endIndex] of one worker.
struct IndexRange {
  std::uint32_t startIndex;
  std::uint32_t endIndex;

  friend bool operator==(const IndexRange&, const IndexRange&) = default;
};

// How TryGenerateCombinations splits C(n, k) between workerCount workers (at least 1): worker t
// gets the smallest indices up to the last one whose running count of combinations stays below
// (C(n, k) / workerCount) x (t + 1), at least one index, and the last worker the rest up to
// n - k. Throws as CountCombinations does (k = 0 with n > 0 included).
std::vector<IndexRange> SplitCombinations(std::uint32_t n, std::uint32_t k,
                                          std::uint32_t workerCount);

// The worker: visits, in lexicographic order of the ascending index tuples, every k-of-n
// combination whose smallest index lies in [startIndex, endIndex], then calls Finish() once.
// Throws std::invalid_argument "k must be less than or equal to n" when n < k and "requested
// index range exceeds number of indices" when the range is longer than n - k + 1.
void ProcessCombinations(std::uint32_t n, std::uint32_t k, std::uint32_t startIndex,
                         std::uint32_t endIndex,
                         const std::shared_ptr<IValidCombinationCollector>& collector);

// C(n, k). Throws std::invalid_argument "k must be less than or equal to n" when n < k and
// std::overflow_error when the value does not fit 64 bits.
std::uint64_t CountCombinations(std::uint32_t n, std::uint32_t k);

// C(d1 + d2, d1). Throws std::overflow_error "overflow in count_each_combination" when the
// value does not fit 64 bits.
std::uint64_t count_each_combination(std::uint64_t d1, std::uint64_t d2);

}  // namespace Combinations
