#include "CombinationWrapper.h"

#include "BrickLink/CombinationData.h"
#include "PriceFormatting.h"

namespace Corvalle::Desktop {

CombinationWrapper::CombinationWrapper(std::uint32_t position,
                                       const BrickLink::ICombinationData& combinationData)
    : index_(position),
      minimumCost_(QString::fromStdString(Utilities::FormatPrice(combinationData.Cost()))) {
  for (const BrickLink::StoreInformation& store : combinationData.Stores()) {
    storeData_.push_back(std::make_unique<StoreWrapper>(store, combinationData));
  }
}

}  // namespace Corvalle::Desktop
