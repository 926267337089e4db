#include "Source/Base/BrickLink/BoundedSearchTable.h"

#include <algorithm>
#include <functional>

namespace Corvalle::BrickLink::BoundedSearch {

SearchTable::SearchTable(const std::vector<Item>& items, const ConsolidatedLotData& table,
                         std::uint32_t k)
    : storeCount(table.StoreCount()) {
  std::vector<std::uint32_t> rows;
  for (std::uint32_t row = 0; row < items.size(); ++row) {
    if (items[row].Quantity() != 0) {
      rows.push_back(row);
      wanted.push_back(items[row].Quantity());
    }
  }
  itemCount = static_cast<std::uint32_t>(rows.size());
  storeBegin.assign(storeCount + 1, 0);
  itemBegin.assign(itemCount + 1, 0);
  for (std::uint32_t item = 0; item < itemCount; ++item) {
    const TableCell* cells = table.GetItemCells(rows[item]);
    for (std::uint32_t store = 0; store < storeCount; ++store) {
      if (cells[store].quantity != 0) {
        ++storeBegin[store + 1];
        ++itemBegin[item + 1];
      }
    }
  }
  for (std::uint32_t store = 0; store < storeCount; ++store) {
    storeBegin[store + 1] += storeBegin[store];
  }
  for (std::uint32_t item = 0; item < itemCount; ++item) {
    itemBegin[item + 1] += itemBegin[item];
  }
  storeOffers.resize(storeBegin[storeCount]);
  itemOffers.resize(itemBegin[itemCount]);
  cellBegin.assign(itemCount + 1, 0);
  std::vector<std::uint32_t> storeFill(storeBegin.begin(), storeBegin.end() - 1);
  std::vector<std::uint32_t> lotCounts;
  for (std::uint32_t item = 0; item < itemCount; ++item) {
    const TableCell* cells = table.GetItemCells(rows[item]);
    std::uint32_t at = itemBegin[item];
    lotCounts.clear();
    for (std::uint32_t store = 0; store < storeCount; ++store) {
      if (cells[store].quantity == 0) {
        continue;
      }
      Offer offer{0.0, item, 0, static_cast<std::uint32_t>(lots.size()), 0};
      std::uint32_t remaining = wanted[item];
      for (const TableLot& lot : table.LotsOf(cells[store])) {
        if (remaining == 0) {
          break;
        }
        const std::uint32_t quantity = std::min(lot.quantity, remaining);
        if (quantity == 0) {
          continue;
        }
        lots.push_back(Lot{lot.price, quantity});
        remaining -= quantity;
        ++offer.lotCount;
      }
      offer.price = lots[offer.firstLot].price;
      offer.quantity = wanted[item] - remaining;
      lotCounts.push_back(offer.lotCount);
      storeOffers[storeFill[store]++] = offer;
      offer.other = store;
      itemOffers[at++] = offer;
    }
    std::sort(itemOffers.begin() + itemBegin[item], itemOffers.begin() + itemBegin[item + 1],
              [](const Offer& first, const Offer& second) {
                return Before(first.price, first.other, second.price, second.other);
              });
    // The most lots k chosen stores can bring to this item.
    const std::size_t held = std::min<std::size_t>(lotCounts.size(), std::max(k, 1u));
    std::partial_sort(lotCounts.begin(), lotCounts.begin() + static_cast<std::ptrdiff_t>(held),
                      lotCounts.end(), std::greater<>());
    std::uint32_t capacity = 0;
    for (std::size_t index = 0; index < held; ++index) {
      capacity += lotCounts[index];
    }
    cellBegin[item + 1] = cellBegin[item] + capacity;
  }
}

}  // namespace Corvalle::BrickLink::BoundedSearch
