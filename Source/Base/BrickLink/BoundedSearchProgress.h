#pragma once

// Internal to BoundedCombinationSearch.

#include <atomic>
#include <chrono>
#include <mutex>

#include "Source/Base/BrickLink/BoundedCombinationSearch.h"
#include "Source/Base/BrickLink/CheapestPlans.h"
#include "Source/Base/BrickLink/StoreCombinationValidator.h"

namespace Corvalle::BrickLink::BoundedSearch {

using Clock = std::chrono::steady_clock;

class TaskPool;

// Progress as the share of the k-store combinations settled, with the cheapest plan found and
// the bound under every plan, reported now and then by whichever worker looks at the clock.
class ProgressMeter {
 public:
  ProgressMeter(const CombinationProgress& callback_, const SearchBoundsCallback& boundsCallback_,
                const CheapestPlans& plans_, double total_)
      : callback(callback_),
        boundsCallback(boundsCallback_),
        plans(plans_),
        total(total_),
        start(Clock::now()),
        lastReport(start) {}

  // Where the open subtrees' bounds are, once the workers share them.
  void Watch(TaskPool* pool_) { pool = pool_; }

  void Add(double settledCombinations) {
    settled.fetch_add(settledCombinations, std::memory_order_relaxed);
  }

  void Report(bool final);

 private:
  const CombinationProgress& callback;
  const SearchBoundsCallback& boundsCallback;
  const CheapestPlans& plans;
  TaskPool* pool = nullptr;
  const double total;
  const Clock::time_point start;
  std::mutex mutex;
  Clock::time_point lastReport;
  double lastFraction = 0.0;
  std::atomic<double> settled{0.0};
};

}  // namespace Corvalle::BrickLink::BoundedSearch
