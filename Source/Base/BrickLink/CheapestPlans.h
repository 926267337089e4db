#pragma once

// The plans the bounded search keeps, and how its bounds are held against them. Internal to
// BoundedCombinationSearch.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <mutex>
#include <vector>

#include "Source/Base/BrickLink/StoreCombination.h"

namespace Corvalle::BrickLink::BoundedSearch {

// Costs within this share of each other count as equal for cutting the tree: far above the
// rounding error of any bound, far below a hundredth of a cent.
inline constexpr double kRelativeTolerance = 1e-9;

inline double Infinity() { return std::numeric_limits<double>::infinity(); }

// Whether a lower bound proves a subtree dearer than the threshold. An infinite bound says the
// subtree holds no plan at all, which cuts it even while no plan is kept.
inline bool Exceeds(double bound, double threshold) {
  return bound == Infinity() ||
         bound > threshold + kRelativeTolerance * std::max(1.0, std::abs(threshold));
}

// The kept plans of all workers: the cheapest by (cost, columns), at most a capacity of them.
class CheapestPlans {
 public:
  explicit CheapestPlans(std::size_t capacity_) : capacity(capacity_) {}

  // The cost of the last kept plan once the capacity is reached; infinite before.
  double Threshold() const { return threshold.load(std::memory_order_relaxed); }
  // The cost of the first kept plan; infinite before there is one.
  double Cheapest() const { return cheapest.load(std::memory_order_relaxed); }

  void Offer(std::vector<std::uint32_t>&& columns, double cost);

  std::vector<StoreCombination> Take();

 private:
  const std::size_t capacity;
  std::mutex mutex;
  std::vector<StoreCombination> plans;  // by (cost, columns)
  std::atomic<double> threshold{Infinity()};
  std::atomic<double> cheapest{Infinity()};
};

}  // namespace Corvalle::BrickLink::BoundedSearch
