#pragma once

// Internal to BoundedCombinationSearch.

#include <atomic>
#include <chrono>
#include <mutex>

#include "StoreCombinationValidator.h"

namespace Corvalle::BrickLink::BoundedSearch {

using Clock = std::chrono::steady_clock;

// Progress as the share of the k-store combinations settled, reported now and then by
// whichever worker looks at the clock.
class ProgressMeter {
 public:
  ProgressMeter(const CombinationProgress& callback_, double total_)
      : callback(callback_), total(total_), start(Clock::now()), lastReport(start) {}

  void Add(double settledCombinations) {
    settled.fetch_add(settledCombinations, std::memory_order_relaxed);
  }

  void Report(bool final);

 private:
  const CombinationProgress& callback;
  const double total;
  const Clock::time_point start;
  std::mutex mutex;
  Clock::time_point lastReport;
  double lastFraction = 0.0;
  std::atomic<double> settled{0.0};
};

}  // namespace Corvalle::BrickLink::BoundedSearch
