#include "ConsolidatedLotData.h"

#include <limits>
#include <utility>

#include "Assert.h"

namespace Corvalle::BrickLink {

ConsolidatedLotData::ConsolidatedLotData(const Array& data_,
                                         std::vector<StoreInformation>&& stores_)
    : data(data_), stores(std::move(stores_)) {
  CORVALLE_ASSERT(stores.size() == data.shape()[1]);
}

std::uint32_t ConsolidatedLotData::ItemCount() const {
  CORVALLE_ASSERT(data.shape()[0] < std::numeric_limits<unsigned>::max());
  return static_cast<std::uint32_t>(data.shape()[0]);
}

std::uint32_t ConsolidatedLotData::StoreCount() const {
  CORVALLE_ASSERT(data.shape()[1] < std::numeric_limits<unsigned>::max());
  return static_cast<std::uint32_t>(data.shape()[1]);
}

const StoreInformation& ConsolidatedLotData::GetStore(std::uint32_t storeIndex) const {
  CORVALLE_ASSERT(storeIndex < StoreCount());
  return stores[storeIndex];
}

ConsolidatedLotData::ItemRow ConsolidatedLotData::GetItemLotData(std::uint32_t itemIndex) const {
  CORVALLE_ASSERT(itemIndex < ItemCount());
  return data[static_cast<Array::index>(itemIndex)];
}

const LotData* ConsolidatedLotData::GetItemLotDataBegin(std::uint32_t itemIndex) const {
  CORVALLE_ASSERT(itemIndex < ItemCount());
  return data.data() + static_cast<std::size_t>(itemIndex) * data.shape()[1];
}

LotData ConsolidatedLotData::GetLotData(std::uint32_t itemIndex, std::uint32_t storeIndex) const {
  CORVALLE_ASSERT(itemIndex < ItemCount());
  CORVALLE_ASSERT(storeIndex < StoreCount());
  return data[itemIndex][storeIndex];
}

}  // namespace Corvalle::BrickLink
