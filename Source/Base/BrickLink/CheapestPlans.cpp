#include "Source/Base/BrickLink/CheapestPlans.h"

#include <utility>

namespace Corvalle::BrickLink::BoundedSearch {

void CheapestPlans::Offer(std::vector<std::uint32_t>&& columns, double cost) {
  std::lock_guard<std::mutex> lock(mutex);
  const auto before = [](const StoreCombination& first, const StoreCombination& second) {
    return first.Cost() != second.Cost() ? first.Cost() < second.Cost()
                                         : first.StoreIndices() < second.StoreIndices();
  };
  StoreCombination combination(std::move(columns), cost);
  if (plans.size() == capacity && !before(combination, plans.back())) {
    return;
  }
  for (const StoreCombination& kept : plans) {
    if (kept.StoreIndices() == combination.StoreIndices()) {
      return;
    }
  }
  plans.insert(std::upper_bound(plans.begin(), plans.end(), combination, before),
               std::move(combination));
  cheapest.store(plans.front().Cost(), std::memory_order_relaxed);
  if (plans.size() > capacity) {
    plans.pop_back();
  }
  if (plans.size() == capacity) {
    threshold.store(plans.back().Cost(), std::memory_order_relaxed);
  }
}

std::vector<StoreCombination> CheapestPlans::Take() {
  std::lock_guard<std::mutex> lock(mutex);
  return std::move(plans);
}

}  // namespace Corvalle::BrickLink::BoundedSearch
