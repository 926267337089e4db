#pragma once

#include <memory>
#include <vector>

#include "Source/Base/BrickLink/ConsolidatedLotData.h"
#include "Source/Base/Corvalle.h"

namespace Corvalle::BrickLink {

// Builds the item-by-store table of a search from the wanted items and their price guides.
class ILotDataConsolidator {
 public:
  virtual ~ILotDataConsolidator() = default;
  ILotDataConsolidator(const ILotDataConsolidator&) = delete;
  ILotDataConsolidator& operator=(const ILotDataConsolidator&) = delete;

  // One row per item in list order, one column per store that offers any counted lot, in
  // ascending store id. The lots that count for an item are its new lots and, only when it is
  // wanted Used, its used lots as well, but of an item with a price limit (MaximumPrice above 0)
  // none dearer per unit than the limit: an item whose every lot is dearer has an empty row, as
  // one nobody offers. Each cell keeps the store's lots of the item as they are, in purchase
  // order, but only as many as could ever be bought: the cheapest up to the first that reaches
  // the wanted quantity. Logs "Consolidating item i of N" per item.
  // Runs on the search thread; the result is never changed afterwards.
  virtual std::shared_ptr<ConsolidatedLotData> ConsolidateLotData(
      const std::vector<Item>& items) const = 0;

 protected:
  ILotDataConsolidator() = default;
};

std::unique_ptr<ILotDataConsolidator> CreateLotDataConsolidator();

}  // namespace Corvalle::BrickLink
