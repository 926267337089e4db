#include "Source/Base/BrickLink/CheapestPlans.h"

#include <utility>

namespace Corvalle::BrickLink::BoundedSearch {

void CheapestPlans::Offer(std::vector<std::uint32_t>&& columns, double cost) {
  std::lock_guard<std::mutex> lock(mutex);
  StoreCombination combination(std::move(columns), cost);
  if (plans.size() == capacity && !RanksBefore(combination, plans.back())) {
    return;
  }
  for (const StoreCombination& kept : plans) {
    if (kept.StoreIndices() == combination.StoreIndices()) {
      return;
    }
  }
  plans.insert(std::upper_bound(plans.begin(), plans.end(), combination, RanksBefore),
               std::move(combination));
  cheapest.store(plans.front().Cost(), std::memory_order_relaxed);
  if (plans.size() > capacity) {
    plans.pop_back();
  }
  if (plans.size() == capacity) {
    const double ranking = RankingCost(plans.back().Cost());
    threshold.store(RankingCeiling(ranking), std::memory_order_relaxed);
    tieFloor.store(RankingFloor(ranking), std::memory_order_relaxed);
  }
}

bool CheapestPlans::Outlasts(double bound, const std::vector<std::uint32_t>& leastColumns) {
  std::lock_guard<std::mutex> lock(mutex);
  return plans.size() == capacity && Reaches(bound, TieFloor()) &&
         !(leastColumns < plans.back().StoreIndices());
}

std::vector<StoreCombination> CheapestPlans::Take() {
  std::lock_guard<std::mutex> lock(mutex);
  return std::move(plans);
}

}  // namespace Corvalle::BrickLink::BoundedSearch
