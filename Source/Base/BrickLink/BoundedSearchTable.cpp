#include "BoundedSearchTable.h"

#include <algorithm>

namespace Corvalle::BrickLink::BoundedSearch {

SearchTable::SearchTable(const std::vector<Item>& items, const ConsolidatedLotData& table)
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
    const LotData* cells = table.GetItemLotDataBegin(rows[item]);
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
  std::vector<std::uint32_t> storeFill(storeBegin.begin(), storeBegin.end() - 1);
  for (std::uint32_t item = 0; item < itemCount; ++item) {
    const LotData* cells = table.GetItemLotDataBegin(rows[item]);
    std::uint32_t at = itemBegin[item];
    for (std::uint32_t store = 0; store < storeCount; ++store) {
      if (cells[store].quantity != 0) {
        const std::uint32_t quantity = std::min(cells[store].quantity, wanted[item]);
        storeOffers[storeFill[store]++] = Offer{cells[store].price, item, quantity};
        itemOffers[at++] = Offer{cells[store].price, store, quantity};
      }
    }
    std::sort(itemOffers.begin() + itemBegin[item], itemOffers.begin() + itemBegin[item + 1],
              [](const Offer& first, const Offer& second) {
                return Before(first.price, first.other, second.price, second.other);
              });
  }
}

}  // namespace Corvalle::BrickLink::BoundedSearch
