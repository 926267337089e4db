#pragma once

// The bounded search's view of the table. Internal to BoundedCombinationSearch.

#include <cstdint>
#include <span>
#include <vector>

#include "ConsolidatedLotData.h"
#include "Corvalle.h"

namespace Corvalle::BrickLink::BoundedSearch {

// One offer of the table: a price, the item (in a store's list) or the store (in an item's
// list), and the quantity, capped at the wanted quantity (more is never bought).
struct Offer {
  double price;
  std::uint32_t other;
  std::uint32_t quantity;
};

// Purchase order: by price, equal prices by column.
inline bool Before(double price, std::uint32_t store, double otherPrice, std::uint32_t otherStore) {
  return price < otherPrice || (price == otherPrice && store < otherStore);
}

// The table as the search reads it: only the items wanted at least once, only the cells that
// offer something, by store and by item.
class SearchTable {
 public:
  SearchTable(const std::vector<Item>& items, const ConsolidatedLotData& table);

  std::span<const Offer> OffersOfStore(std::uint32_t store) const {
    return {storeOffers.data() + storeBegin[store], storeOffers.data() + storeBegin[store + 1]};
  }
  std::span<const Offer> OffersOfItem(std::uint32_t item) const {
    return {itemOffers.data() + itemBegin[item], itemOffers.data() + itemBegin[item + 1]};
  }

  std::uint32_t itemCount = 0;
  std::uint32_t storeCount = 0;
  std::vector<std::uint32_t> wanted;

 private:
  std::vector<std::uint32_t> storeBegin;
  std::vector<Offer> storeOffers;  // by store, items ascending
  std::vector<std::uint32_t> itemBegin;
  std::vector<Offer> itemOffers;  // by item, in purchase order
};

}  // namespace Corvalle::BrickLink::BoundedSearch
