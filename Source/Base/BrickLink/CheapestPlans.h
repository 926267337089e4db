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

// A cost with the tolerance added: bounds up to it count as equal to the cost. A search that
// compares many bounds against one cost adds it once.
inline double WithTolerance(double cost) {
  return cost + kRelativeTolerance * std::max(1.0, std::abs(cost));
}

// Whether a lower bound proves a subtree dearer than the threshold. An infinite bound says the
// subtree holds no plan at all, which cuts it even while no plan is kept.
inline bool Exceeds(double bound, double threshold) {
  return bound == Infinity() || bound > WithTolerance(threshold);
}

// Whether a lower bound reaches a floor up to the same margin: no plan below ranks before a plan
// whose cost is in the millionth that starts there.
inline bool Reaches(double bound, double floor) { return bound >= WithTolerance(floor); }

// The kept plans of all workers: the first by RanksBefore, at most a capacity of them.
class CheapestPlans {
 public:
  explicit CheapestPlans(std::size_t capacity_) : capacity(capacity_) {}

  // Once the capacity is reached, the top of the last kept plan's ranking cost (a plan dearer
  // than this ranks after it); infinite before.
  double Threshold() const { return threshold.load(std::memory_order_relaxed); }
  // The bottom of the same ranking cost (a plan at least this dear ranks after it, unless its
  // columns come first); infinite before.
  double TieFloor() const { return tieFloor.load(std::memory_order_relaxed); }
  // The cost of the first kept plan; infinite before there is one.
  double Cheapest() const { return cheapest.load(std::memory_order_relaxed); }

  void Offer(std::vector<std::uint32_t>&& columns, double cost);
  // Whether no plan costing at least bound, with columns that come no earlier than the given
  // ones, can displace the last kept plan: all of them are kept, the bound reaches the bottom
  // of the last one's ranking cost and its columns come no later.
  bool Outlasts(double bound, const std::vector<std::uint32_t>& leastColumns);

  std::vector<StoreCombination> Take();

 private:
  const std::size_t capacity;
  std::mutex mutex;
  std::vector<StoreCombination> plans;  // by (cost, columns)
  std::atomic<double> threshold{Infinity()};
  std::atomic<double> tieFloor{Infinity()};
  std::atomic<double> cheapest{Infinity()};
};

}  // namespace Corvalle::BrickLink::BoundedSearch
