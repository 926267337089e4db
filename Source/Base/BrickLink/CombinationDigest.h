#pragma once

// Internal to the validator.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Source/Base/BrickLink/CombinationPricing.h"
#include "Source/Base/BrickLink/ConsolidatedLotData.h"
#include "Source/Base/Corvalle.h"

namespace Corvalle::BrickLink::Pricing {

// The table as the enumeration's workers read it: only the items wanted at least once (the
// others neither restrict nor cost anything), each store's lots of an item capped together at
// the wanted quantity (which changes neither validity nor purchases, and keeps sums far from
// overflow), and cells in store-major order, so that one store's cells are contiguous. Built
// before the workers start and only read afterwards.
struct CombinationDigest {
  CombinationDigest(const std::vector<Item>& items, const ConsolidatedLotData& table) {
    std::vector<std::uint32_t> activeItems;
    for (std::uint32_t item = 0; item < items.size(); ++item) {
      if (items[item].Quantity() != 0) {
        activeItems.push_back(item);
        wanted.push_back(items[item].Quantity());
      }
    }
    itemCount = static_cast<std::uint32_t>(activeItems.size());
    const std::uint32_t storeCount = table.StoreCount();
    const std::size_t cellCount = static_cast<std::size_t>(storeCount) * itemCount;
    quantities.resize(cellCount);
    prices.resize(cellCount);
    firstLots.resize(cellCount);
    lotCounts.resize(cellCount);
    for (std::uint32_t store = 0; store < storeCount; ++store) {
      for (std::uint32_t active = 0; active < itemCount; ++active) {
        const std::size_t at = static_cast<std::size_t>(store) * itemCount + active;
        firstLots[at] = static_cast<std::uint32_t>(lots.size());
        std::uint32_t remaining = wanted[active];
        for (const TableLot& lot : table.GetLots(activeItems[active], store)) {
          pricesNeverNegative = pricesNeverNegative && lot.price >= 0.0;
          pricesAreNumbers = pricesAreNumbers && !std::isnan(lot.price);
          const std::uint32_t quantity = std::min(lot.quantity, remaining);
          if (quantity != 0) {
            lots.push_back(Cell{quantity, lot.price});
            remaining -= quantity;
          }
        }
        quantities[at] = wanted[active] - remaining;
        lotCounts[at] = static_cast<std::uint32_t>(lots.size()) - firstLots[at];
        prices[at] = lotCounts[at] == 0 ? 0.0 : lots[firstLots[at]].price;
      }
    }
  }

  std::uint32_t itemCount = 0;  // items wanted at least once
  std::vector<std::uint32_t> wanted;
  // [store * itemCount + item]: the store's units of the item (capped), the price of its
  // cheapest lot, and where its lots are in lots, cheapest first.
  std::vector<std::uint32_t> quantities;
  std::vector<double> prices;
  std::vector<std::uint32_t> firstLots;
  std::vector<std::uint32_t> lotCounts;
  std::vector<Cell> lots;
  bool pricesNeverNegative = true;  // false also when a price is not a number
  bool pricesAreNumbers = true;     // no price is NaN: prices are totally ordered
};

}  // namespace Corvalle::BrickLink::Pricing
