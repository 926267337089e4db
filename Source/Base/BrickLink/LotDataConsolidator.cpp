#include "LotDataConsolidator.h"

#include <algorithm>
#include <boost/log/trivial.hpp>
#include <cstdint>
#include <limits>
#include <set>

#include "Assert.h"

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

// Calls visit(datum) for every lot that counts for the item: its new lots, then, when the item
// is wanted Used, its used lots; in both, only the lots within the item's price limit.
template <typename Visit>
void ForEachCountedLot(const Item& item, Visit&& visit) {
  const auto visitWithinLimit = [&](const PriceGuide& guide) {
    for (const PriceGuideDatum& datum : guide) {
      if (!IsDearerThanLimit(item, datum.lotData.price)) {
        visit(datum);
      }
    }
  };
  visitWithinLimit(item.PriceGuideNew());
  if (item.GetCondition() == Condition::Used) {
    visitWithinLimit(item.PriceGuideUsed());
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

// The cell of a store with several lots of one item: of all its counted lots, the cheapest
// units up to the wanted quantity, at their mean price. Recomputed from every lot each time,
// so the result does not depend on the order of the lots. The units are summed one by one from
// the cheapest upward, exactly as over a list holding each lot's price once per unit, but
// without building that list (a lot of a few billion units would not fit in memory).
LotData FoldStoreLots(const Item& item, const StoreInformation& store) {
  std::vector<LotData> lots;
  ForEachCountedLot(item, [&](const PriceGuideDatum& datum) {
    if (datum.store.Id() == store.Id()) {
      lots.push_back(datum.lotData);
    }
  });
  std::sort(lots.begin(), lots.end(),
            [](const LotData& first, const LotData& second) { return first.price < second.price; });
  std::uint64_t offered = 0;
  for (const LotData& lot : lots) {
    offered += lot.quantity;
  }
  const std::uint32_t count =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(offered, item.Quantity()));
  if (count == 0) {
    // Nothing to buy here (the item is wanted 0 times): an empty cell, not a mean of no prices.
    return LotData{};
  }
  double sum = 0.0;
  std::uint32_t added = 0;
  for (const LotData& lot : lots) {
    for (std::uint32_t unit = 0; unit < lot.quantity && added < count; ++unit, ++added) {
      sum += lot.price;
    }
  }
  return LotData{count, sum / static_cast<double>(count)};
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
    ForEachCountedLot(item, [&](const PriceGuideDatum& datum) { storeSet.insert(datum.store); });
  }
  std::vector<StoreInformation> uniqueStores;
  uniqueStores.reserve(storeSet.size());
  uniqueStores.assign(storeSet.begin(), storeSet.end());

  ConsolidatedLotData::Array data(boost::extents[items.size()][uniqueStores.size()]);
  std::fill_n(data.data(), data.num_elements(), LotData{});
  for (std::size_t itemIndex = 0; itemIndex < items.size(); ++itemIndex) {
    BOOST_LOG_TRIVIAL(info) << "Consolidating item " << itemIndex + 1 << " of " << items.size();
    const Item& item = items[itemIndex];
    ForEachCountedLot(item, [&](const PriceGuideDatum& datum) {
      LotData& cell = data[itemIndex][FindStoreIndex(uniqueStores, datum.store)];
      if (cell.quantity == 0) {
        cell = datum.lotData;
      } else {
        cell = FoldStoreLots(item, datum.store);
      }
    });
  }
  return std::make_shared<ConsolidatedLotData>(data, std::move(uniqueStores));
}

}  // namespace

std::unique_ptr<ILotDataConsolidator> CreateLotDataConsolidator() {
  return std::make_unique<LotDataConsolidator>();
}

}  // namespace Corvalle::BrickLink
