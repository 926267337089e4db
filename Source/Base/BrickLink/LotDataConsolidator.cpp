#include "Source/Base/BrickLink/LotDataConsolidator.h"

#include <algorithm>
#include <boost/log/trivial.hpp>
#include <cstdint>
#include <limits>
#include <set>
#include <span>

#include "Source/Base/Assert.h"

namespace Corvalle::BrickLink {

namespace {

// Whether a lot costs more per unit than the item's limit. Compared in the 1/PriceMultiplier
// steps the price guide cache keeps prices in, so that a lot read from its page and the same lot
// read back from the cache fall on the same side of the limit, and a lot priced at the limit as
// the marketplace writes it (four decimals) is never left out for a rounding error.
bool IsDearerThanLimit(const Item& item, double price) {
  if (!item.HasMaximumPrice()) {
    return false;
  }
  const double limit = item.MaximumPrice();
  if (IsStorablePrice(price) && IsStorablePrice(limit)) {
    return ToStoredPrice(price) > ToStoredPrice(limit);
  }
  return price > limit;
}

// Calls visit(datum, condition) for every lot that counts for the item, in page order: its new
// lots, then, when the item is wanted Used (any condition), its used lots; in both, only the
// lots within the item's price limit.
template <typename Visit>
void ForEachCountedLot(const Item& item, Visit&& visit) {
  const auto visitWithinLimit = [&](const PriceGuide& guide, Condition condition) {
    for (const PriceGuideDatum& datum : guide) {
      if (!IsDearerThanLimit(item, datum.lotData.price)) {
        visit(datum, condition);
      }
    }
  };
  visitWithinLimit(item.PriceGuideNew(), Condition::New);
  if (item.GetCondition() == Condition::Used) {
    visitWithinLimit(item.PriceGuideUsed(), Condition::Used);
  }
}

// The column of a store. The columns are in ascending id order, so a binary search finds the
// same column as a scan from the front would.
std::uint32_t FindStoreIndex(const std::vector<StoreInformation>& uniqueStores,
                             const StoreInformation& store) {
  CORVALLE_ASSERT(uniqueStores.size() < std::numeric_limits<unsigned>::max());
  const auto column = std::lower_bound(uniqueStores.begin(), uniqueStores.end(), store);
  CORVALLE_ASSERT(column != uniqueStores.end() && column->Id() == store.Id());
  return static_cast<std::uint32_t>(column - uniqueStores.begin());
}

// One counted lot of an item on its way into the table.
struct PlacedLot {
  std::uint32_t column;
  TableLot lot;
};

// The lots of one store that a buyer could ever take: in purchase order, up to the first whose
// units reach the wanted quantity, as the store's own cheaper lots cover every unit beyond.
// At least one, so that a store offering an item wanted zero times still offers it.
std::size_t UsefulLotCount(std::span<const TableLot> lots, std::uint32_t wanted) {
  std::uint64_t held = 0;
  std::size_t count = 0;
  while (count < lots.size() && (count == 0 || held < wanted)) {
    held += lots[count++].quantity;
  }
  return count;
}

class LotDataConsolidator final : public ILotDataConsolidator {
 public:
  std::shared_ptr<ConsolidatedLotData> ConsolidateLotData(
      const std::vector<Item>& items) const override;
};

std::shared_ptr<ConsolidatedLotData> LotDataConsolidator::ConsolidateLotData(
    const std::vector<Item>& items) const {
  std::set<StoreInformation> storeSet;
  for (const Item& item : items) {
    ForEachCountedLot(item, [&](const PriceGuideDatum& datum, Condition) {
      storeSet.insert(datum.store);
    });
  }
  std::vector<StoreInformation> uniqueStores;
  uniqueStores.reserve(storeSet.size());
  uniqueStores.assign(storeSet.begin(), storeSet.end());

  ConsolidatedLotData::Builder builder(static_cast<std::uint32_t>(items.size()),
                                       std::move(uniqueStores));
  const std::vector<StoreInformation>& columns = builder.Stores();
  std::vector<PlacedLot> placed;
  std::vector<TableLot> cellLots;
  for (std::size_t itemIndex = 0; itemIndex < items.size(); ++itemIndex) {
    BOOST_LOG_TRIVIAL(info) << "Consolidating item " << itemIndex + 1 << " of " << items.size();
    const Item& item = items[itemIndex];
    placed.clear();
    ForEachCountedLot(item, [&](const PriceGuideDatum& datum, Condition condition) {
      if (datum.lotData.quantity != 0) {
        placed.push_back({FindStoreIndex(columns, datum.store),
                          TableLot{datum.lotData.quantity, datum.lotData.price, condition}});
      }
    });
    // Grouped by store, each store's lots by price; both sorts stable, so equal prices keep
    // page order (new lots before used ones).
    std::stable_sort(placed.begin(), placed.end(), [](const PlacedLot& first,
                                                      const PlacedLot& second) {
      return first.column < second.column;
    });
    for (std::size_t begin = 0; begin < placed.size();) {
      std::size_t end = begin;
      cellLots.clear();
      while (end < placed.size() && placed[end].column == placed[begin].column) {
        cellLots.push_back(placed[end++].lot);
      }
      std::stable_sort(cellLots.begin(), cellLots.end(), CheaperLot);
      cellLots.resize(UsefulLotCount(cellLots, item.Quantity()));
      builder.SetLots(static_cast<std::uint32_t>(itemIndex), placed[begin].column, cellLots);
      begin = end;
    }
  }
  return builder.Build();
}

}  // namespace

std::unique_ptr<ILotDataConsolidator> CreateLotDataConsolidator() {
  return std::make_unique<LotDataConsolidator>();
}

}  // namespace Corvalle::BrickLink
