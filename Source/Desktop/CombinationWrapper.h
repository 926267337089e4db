#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "StoreWrapper.h"

namespace Corvalle::Desktop {

// One purchase plan of the result list, with its display texts computed at construction (on
// the search thread, before the list is handed to the interface thread) and never changed.
// Not copyable: lists of results share the objects.
class CombinationWrapper {
 public:
  // position: the plan's 1-based position in the result list (1 is the cheapest). The plan must
  // outlive the wrapper.
  CombinationWrapper(std::uint32_t position, const BrickLink::ICombinationData& combinationData);
  CombinationWrapper(const CombinationWrapper&) = delete;
  CombinationWrapper& operator=(const CombinationWrapper&) = delete;

  std::uint32_t index() const { return index_; }
  const QString& minimumCost() const { return minimumCost_; }
  const std::vector<std::unique_ptr<StoreWrapper>>& storeData() const { return storeData_; }

 private:
  std::uint32_t index_;
  QString minimumCost_;
  std::vector<std::unique_ptr<StoreWrapper>> storeData_;
};

// The array the window hands to the results view; copies share the wrappers.
using Combinations = std::vector<std::shared_ptr<const CombinationWrapper>>;

}  // namespace Corvalle::Desktop
