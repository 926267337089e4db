#include "Source/Base/BrickLink/ConsolidatedLotData.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "Source/Base/Assert.h"

namespace Corvalle::BrickLink {

namespace {

std::uint32_t AddedUp(std::span<const TableLot> cellLots) {
  std::uint64_t total = 0;
  for (const TableLot& lot : cellLots) {
    total += lot.quantity;
  }
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(total, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace

ConsolidatedLotData::ConsolidatedLotData(Array&& cells_, std::vector<TableLot>&& lots_,
                                         std::vector<StoreInformation>&& stores_)
    : cells(std::move(cells_)), lots(std::move(lots_)), stores(std::move(stores_)) {
  CORVALLE_ASSERT(stores.size() == cells.shape()[1]);
  CORVALLE_ASSERT(lots.size() < std::numeric_limits<std::uint32_t>::max());
  for (const TableCell* cell = cells.data(); cell != cells.data() + cells.num_elements(); ++cell) {
    CORVALLE_ASSERT(std::uint64_t{cell->firstLot} + cell->lotCount <= lots.size());
    const std::span<const TableLot> cellLots = LotsOf(*cell);
    CORVALLE_ASSERT(std::is_sorted(cellLots.begin(), cellLots.end(), CheaperLot));
    CORVALLE_ASSERT(AddedUp(cellLots) == cell->quantity);
  }
}

std::uint32_t ConsolidatedLotData::ItemCount() const {
  CORVALLE_ASSERT(cells.shape()[0] < std::numeric_limits<unsigned>::max());
  return static_cast<std::uint32_t>(cells.shape()[0]);
}

std::uint32_t ConsolidatedLotData::StoreCount() const {
  CORVALLE_ASSERT(cells.shape()[1] < std::numeric_limits<unsigned>::max());
  return static_cast<std::uint32_t>(cells.shape()[1]);
}

const StoreInformation& ConsolidatedLotData::GetStore(std::uint32_t storeIndex) const {
  CORVALLE_ASSERT(storeIndex < StoreCount());
  return stores[storeIndex];
}

std::span<const TableLot> ConsolidatedLotData::GetLots(std::uint32_t itemIndex,
                                                       std::uint32_t storeIndex) const {
  CORVALLE_ASSERT(itemIndex < ItemCount());
  CORVALLE_ASSERT(storeIndex < StoreCount());
  return LotsOf(cells[itemIndex][storeIndex]);
}

std::uint32_t ConsolidatedLotData::OfferedQuantity(std::uint32_t itemIndex,
                                                   std::uint32_t storeIndex) const {
  CORVALLE_ASSERT(itemIndex < ItemCount());
  CORVALLE_ASSERT(storeIndex < StoreCount());
  return cells[itemIndex][storeIndex].quantity;
}

const TableCell* ConsolidatedLotData::GetItemCells(std::uint32_t itemIndex) const {
  CORVALLE_ASSERT(itemIndex < ItemCount());
  return cells.data() + static_cast<std::size_t>(itemIndex) * cells.shape()[1];
}

ConsolidatedLotData::Builder::Builder(std::uint32_t itemCount,
                                                       std::vector<StoreInformation>&& stores_)
    : cells(boost::extents[itemCount][stores_.size()]), stores(std::move(stores_)) {
  std::fill_n(cells.data(), cells.num_elements(), TableCell{});
}

void ConsolidatedLotData::Builder::SetLots(std::uint32_t itemIndex, std::uint32_t storeIndex,
                                         std::span<const TableLot> cellLots) {
  CORVALLE_ASSERT(itemIndex < cells.shape()[0]);
  CORVALLE_ASSERT(storeIndex < cells.shape()[1]);
  TableCell& cell = cells[itemIndex][storeIndex];
  CORVALLE_ASSERT(cell.lotCount == 0);
  CORVALLE_ASSERT(lots.size() + cellLots.size() < std::numeric_limits<std::uint32_t>::max());
  cell.firstLot = static_cast<std::uint32_t>(lots.size());
  cell.lotCount = static_cast<std::uint32_t>(cellLots.size());
  cell.quantity = AddedUp(cellLots);
  lots.insert(lots.end(), cellLots.begin(), cellLots.end());
}

std::shared_ptr<ConsolidatedLotData> ConsolidatedLotData::Builder::Build() {
  return std::make_shared<ConsolidatedLotData>(std::move(cells), std::move(lots),
                                               std::move(stores));
}

}  // namespace Corvalle::BrickLink
