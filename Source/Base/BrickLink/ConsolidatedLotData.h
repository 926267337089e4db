#pragma once

#include <boost/multi_array.hpp>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Source/Base/Corvalle.h"
#include "Source/Base/BrickLink/PriceGuide.h"
#include "Source/Base/BrickLink/StoreInformation.h"

namespace Corvalle::BrickLink {

// One lot as the table keeps it: what a store sells of an item in one listing, at one unit
// price, in one condition.
struct TableLot {
  std::uint32_t quantity = 0;
  double price = 0.0;
  Condition condition = Condition::New;

  friend bool operator==(const TableLot&, const TableLot&) = default;
};

// What one store offers of one item: a run of the table's lots, in purchase order (ascending
// unit price, equal prices in page order), and their quantity in all. No lots: nothing offered.
struct TableCell {
  std::uint32_t firstLot = 0;
  std::uint32_t lotCount = 0;
  std::uint32_t quantity = 0;  // the lots' quantities added up, held at the largest 32-bit value
};

// The item-by-store table of one search: row i is the i-th wanted item, column j the store
// stores[j], and each cell the lots that store sells of that item. Every lot keeps its own
// quantity and price: a buyer takes a store's cheap lot without its dear one, so folding a
// store's lots into one would overcharge him.
// Immutable after construction; shared between the search thread and the worker threads
// through shared pointers to const and read without locks.
class ConsolidatedLotData {
 public:
  // Rows are items, columns stores; C storage order, so a row is one contiguous run of cells.
  using Array = boost::multi_array<TableCell, 2>;

  // Takes over the cells, the lots they refer to and the stores, one per column. Each cell's
  // lots must lie within lots, be in purchase order and add up to its quantity.
  ConsolidatedLotData(Array&& cells_, std::vector<TableLot>&& lots_,
                      std::vector<StoreInformation>&& stores_);

  std::uint32_t ItemCount() const;
  std::uint32_t StoreCount() const;
  const StoreInformation& GetStore(std::uint32_t storeIndex) const;
  // The store's lots of the item, cheapest first; empty when it offers none.
  std::span<const TableLot> GetLots(std::uint32_t itemIndex, std::uint32_t storeIndex) const;
  // How many units the store offers of the item in all (held at the largest 32-bit value).
  std::uint32_t OfferedQuantity(std::uint32_t itemIndex, std::uint32_t storeIndex) const;
  // The first of the StoreCount() contiguous cells of one item, for loops that visit many
  // cells of a row.
  const TableCell* GetItemCells(std::uint32_t itemIndex) const;
  std::span<const TableLot> LotsOf(const TableCell& cell) const {
    return {lots.data() + cell.firstLot, cell.lotCount};
  }

  // Builds a table cell by cell: each cell takes the store's lots of the item at once.
  class Builder {
   public:
    Builder(std::uint32_t itemCount, std::vector<StoreInformation>&& stores_);

    // Sets a cell that is still empty to the lots, which must be in purchase order.
    void SetLots(std::uint32_t itemIndex, std::uint32_t storeIndex,
                 std::span<const TableLot> cellLots);
    // The stores of the columns, as given.
    const std::vector<StoreInformation>& Stores() const { return stores; }
    std::shared_ptr<ConsolidatedLotData> Build();

   private:
    Array cells;
    std::vector<TableLot> lots;
    std::vector<StoreInformation> stores;
  };

 private:
  Array cells;
  std::vector<TableLot> lots;
  std::vector<StoreInformation> stores;
};

// Purchase order within one store's lots: by unit price; a stable sort keeps page order among
// equal prices.
inline bool CheaperLot(const TableLot& first, const TableLot& second) {
  return first.price < second.price;
}

}  // namespace Corvalle::BrickLink
