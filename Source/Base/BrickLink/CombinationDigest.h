#pragma once

// Internal to the validator.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ConsolidatedLotData.h"
#include "Corvalle.h"

namespace Corvalle::BrickLink::Pricing {

// The table as the enumeration's workers read it: only the items wanted at least once (the
// others neither restrict nor cost anything), quantities capped at the wanted quantity (which
// changes neither validity nor purchases, and keeps sums far from overflow), and cells in
// store-major order, so that one store's cells are contiguous. Built before the workers start
// and only read afterwards.
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
    quantities.resize(static_cast<std::size_t>(storeCount) * itemCount);
    prices.resize(quantities.size());
    for (std::uint32_t active = 0; active < itemCount; ++active) {
      const auto row = table.GetItemLotData(activeItems[active]);
      for (std::uint32_t store = 0; store < storeCount; ++store) {
        const LotData& cell = row[store];
        const std::size_t at = static_cast<std::size_t>(store) * itemCount + active;
        quantities[at] = std::min(cell.quantity, wanted[active]);
        prices[at] = cell.price;
        pricesNeverNegative = pricesNeverNegative && cell.price >= 0.0;
        pricesAreNumbers = pricesAreNumbers && !std::isnan(cell.price);
      }
    }
  }

  std::uint32_t itemCount = 0;  // items wanted at least once
  std::vector<std::uint32_t> wanted;
  std::vector<std::uint32_t> quantities;  // [store * itemCount + item], capped at wanted
  std::vector<double> prices;             // [store * itemCount + item]
  bool pricesNeverNegative = true;        // false also when a price is not a number
  bool pricesAreNumbers = true;           // no price is NaN: prices are totally ordered
};

}  // namespace Corvalle::BrickLink::Pricing
