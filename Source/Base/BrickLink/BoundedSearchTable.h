#pragma once

// The bounded search's view of the table. Internal to BoundedCombinationSearch.

#include <cstdint>
#include <span>
#include <vector>

#include "Source/Base/BrickLink/ConsolidatedLotData.h"
#include "Source/Base/Corvalle.h"

namespace Corvalle::BrickLink::BoundedSearch {

// One lot of an offer: its unit price and quantity. A store's lots of an item are capped
// together at the wanted quantity: its units beyond are never bought, its own cheaper ones
// coming first.
struct Lot {
  double price;
  std::uint32_t quantity;
};

// One offer of the table, all of one store's lots of one item: the price of its cheapest lot,
// the item (in a store's list) or the store (in an item's list), the quantity of its lots in
// all (capped at the wanted quantity), and where its lots are, cheapest first.
struct Offer {
  double price;
  std::uint32_t other;
  std::uint32_t quantity;
  std::uint32_t firstLot;
  std::uint32_t lotCount;
};

// Purchase order: by price, equal prices by column.
inline bool Before(double price, std::uint32_t store, double otherPrice, std::uint32_t otherStore) {
  return price < otherPrice || (price == otherPrice && store < otherStore);
}

// The table as the search reads it: only the items wanted at least once, only the cells that
// offer something, by store and by item.
class SearchTable {
 public:
  SearchTable(const std::vector<Item>& items, const ConsolidatedLotData& table, std::uint32_t k);

  std::span<const Offer> OffersOfStore(std::uint32_t store) const {
    return {storeOffers.data() + storeBegin[store], storeOffers.data() + storeBegin[store + 1]};
  }
  std::span<const Offer> OffersOfItem(std::uint32_t item) const {
    return {itemOffers.data() + itemBegin[item], itemOffers.data() + itemBegin[item + 1]};
  }
  std::size_t OfferCount() const { return itemOffers.size(); }
  // An offer by its place among all items' offers, and that place.
  const Offer& ItemOfferAt(std::uint32_t index) const { return itemOffers[index]; }
  std::uint32_t ItemOfferIndex(const Offer& offer) const {
    return static_cast<std::uint32_t>(&offer - itemOffers.data());
  }
  std::span<const Lot> LotsOf(const Offer& offer) const {
    return {lots.data() + offer.firstLot, offer.lotCount};
  }
  // Where an item's chosen lots start in a level's cells, and how many lots of its offers k
  // stores can hold at most (CellBegin(itemCount) is the size of all).
  std::uint32_t CellBegin(std::uint32_t item) const { return cellBegin[item]; }

  std::uint32_t itemCount = 0;
  std::uint32_t storeCount = 0;
  std::vector<std::uint32_t> wanted;

 private:
  std::vector<std::uint32_t> storeBegin;
  std::vector<Offer> storeOffers;  // by store, items ascending
  std::vector<std::uint32_t> itemBegin;
  std::vector<Offer> itemOffers;  // by item, in purchase order of their cheapest lots
  std::vector<Lot> lots;
  std::vector<std::uint32_t> cellBegin;
};

}  // namespace Corvalle::BrickLink::BoundedSearch
