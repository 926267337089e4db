#pragma once

#include <boost/multi_array.hpp>
#include <cstdint>
#include <vector>

#include "PriceGuide.h"
#include "StoreInformation.h"

namespace Corvalle::BrickLink {

// The item-by-store table of one search: row i is the i-th wanted item, column j the store
// stores[j], and each cell what that store can supply of that item (quantity 0: nothing).
// Immutable after construction; shared between the search thread and the worker threads
// through shared pointers to const and read without locks.
class ConsolidatedLotData {
 public:
  // Rows are items, columns stores; C storage order, so a row is one contiguous run of cells.
  using Array = boost::multi_array<LotData, 2>;
  using ItemRow = Array::const_reference;  // a read-only one-dimensional view

  // Copies the array and takes over the stores, one per column.
  ConsolidatedLotData(const Array& data_, std::vector<StoreInformation>&& stores_);

  std::uint32_t ItemCount() const;
  std::uint32_t StoreCount() const;
  const StoreInformation& GetStore(std::uint32_t storeIndex) const;
  // A read-only view of one item's cells in every store, in column order.
  ItemRow GetItemLotData(std::uint32_t itemIndex) const;
  LotData GetLotData(std::uint32_t itemIndex, std::uint32_t storeIndex) const;
  // The first of the StoreCount() contiguous cells of one item, for loops that visit many
  // cells of a row and cannot afford a view per row.
  const LotData* GetItemLotDataBegin(std::uint32_t itemIndex) const;

 private:
  Array data;
  std::vector<StoreInformation> stores;
};

}  // namespace Corvalle::BrickLink
