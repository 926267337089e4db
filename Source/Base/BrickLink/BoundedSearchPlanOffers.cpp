// Handing supplied store sets to the kept plans, under the plan rules.

#include "Source/Base/BrickLink/BoundedSearchWorker.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "Source/Base/BrickLink/StoreCombination.h"

namespace Corvalle::BrickLink::BoundedSearch {

void Worker::OfferLevel(const Level& level, double approximateCost) {
  if (Exceeds(approximateCost, shared.plans.Threshold())) {
    return;
  }
  const auto size = static_cast<std::uint32_t>(level.chosen.size());
  if (size < k && !shared.rules.ChargesShipping()) {
    std::uint32_t idle = 0;
    for (std::uint32_t store = 0; store < table.storeCount && idle < k - size; ++store) {
      if (std::find(level.chosen.begin(), level.chosen.end(), store) == level.chosen.end() &&
          !StoreBuys(level, store)) {
        ++idle;
      }
    }
    if (idle < k - size) {
      return;
    }
  }
  std::vector<std::uint32_t> columns(level.chosen);
  std::sort(columns.begin(), columns.end());
  StoreCombination combination(std::move(columns));
  combination.CalculateMinimumCost(shared.items, shared.consolidatedLotData, shared.rules);
  const double cost = combination.Cost();
  std::vector<std::uint32_t> indices = combination.StoreIndices();
  shared.plans.Offer(std::move(indices), cost);
}

void Worker::OfferSet(const std::vector<std::uint32_t>& stores) {
  Level& work = levels[0];
  Load(work, stores);
  if (work.missingItems != 0) {
    return;
  }
  std::vector<std::uint32_t> buying;
  for (const std::uint32_t store : stores) {
    if (required[store] != 0 || StoreBuys(work, store)) {
      buying.push_back(store);
    }
  }
  if (buying.size() != stores.size()) {
    Load(work, buying);
  }
  OfferLevel(work, LevelCost(work));
}

}  // namespace Corvalle::BrickLink::BoundedSearch
