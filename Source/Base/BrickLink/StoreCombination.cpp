#include "Source/Base/BrickLink/StoreCombination.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

#include "Source/Base/Assert.h"
#include "Source/Base/BrickLink/CombinationPricing.h"

namespace Corvalle::BrickLink {

StoreCombination::StoreCombination(std::vector<std::uint32_t>&& storeIndices_)
    : storeIndices(std::move(storeIndices_)), cost(std::numeric_limits<double>::max()) {}

StoreCombination::StoreCombination(std::vector<std::uint32_t>&& storeIndices_, double cost_)
    : storeIndices(std::move(storeIndices_)), cost(cost_) {}

void StoreCombination::CalculateMinimumCost(const std::vector<Item>& items,
                                            const ConsolidatedLotData& consolidatedLotData) {
  // One buffer for all items: the lots of the combination's cells of one item.
  constexpr std::size_t kInlineCells = 32;
  std::array<Pricing::Cell, kInlineCells> inlineCells;
  std::vector<Pricing::Cell> heapCells;

  CORVALLE_ASSERT(consolidatedLotData.ItemCount() == items.size());
  double total = 0.0;
  for (std::uint32_t itemIndex = 0; itemIndex < items.size(); ++itemIndex) {
    const Item& item = items[itemIndex];
    const TableCell* row = consolidatedLotData.GetItemCells(itemIndex);
    std::size_t count = 0;
    for (const std::uint32_t storeIndex : storeIndices) {
      count += row[storeIndex].lotCount;
    }
    Pricing::Cell* cells = inlineCells.data();
    if (count > kInlineCells) {
      heapCells.resize(count);
      cells = heapCells.data();
    }
    std::size_t at = 0;
    for (const std::uint32_t storeIndex : storeIndices) {
      for (const TableLot& lot : consolidatedLotData.LotsOf(row[storeIndex])) {
        cells[at++] = Pricing::Cell{lot.quantity, lot.price};
      }
    }
    const std::uint32_t quantityAccumulated =
        Pricing::BuyItem(cells, static_cast<std::uint32_t>(count), item.Quantity(), total);
    CORVALLE_ASSERT(quantityAccumulated == item.Quantity());
  }
  cost = total;
}

void StoreCombination::CalculateMinimumCost(const std::vector<Item>& items,
                                            const ConsolidatedLotData& consolidatedLotData,
                                            const PlanRules& rules) {
  CalculateMinimumCost(items, consolidatedLotData);
  if (rules.ChargesShipping()) {
    double shipping = 0.0;
    for (const std::uint32_t storeIndex : storeIndices) {
      shipping += rules.Shipping(storeIndex);
    }
    cost += shipping;
  }
}

std::unique_ptr<ICombinationData> StoreCombination::CreateCombinationLotsData(
    const std::vector<Item>& items, const ConsolidatedLotData& consolidatedLotData,
    const PlanRules& rules) const {
  auto lotsData = std::make_unique<ICombinationData::LotsData>();
  // The combination's lots of one item, store by store in column order, then by price (stable):
  // the order in which CalculateMinimumCost buys them.
  struct Candidate {
    std::uint32_t storeIndex;
    TableLot lot;
  };
  std::vector<Candidate> candidates;
  for (std::uint32_t itemIndex = 0; itemIndex < items.size(); ++itemIndex) {
    candidates.clear();
    for (const std::uint32_t storeIndex : storeIndices) {
      for (const TableLot& lot : consolidatedLotData.GetLots(itemIndex, storeIndex)) {
        candidates.push_back({storeIndex, lot});
      }
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& first, const Candidate& second) {
                       return first.lot.price < second.lot.price;
                     });
    const std::uint32_t wanted = items[itemIndex].Quantity();
    std::uint32_t quantityAccumulated = 0;
    // Where the last line of this item began, so that a store's lots at one price and in one
    // condition, bought one after the other, share a line.
    const std::size_t itemBegin = lotsData->size();
    for (const Candidate& candidate : candidates) {
      if (quantityAccumulated == wanted) {
        break;
      }
      const std::uint32_t taken = std::min(candidate.lot.quantity, wanted - quantityAccumulated);
      if (taken == 0) {
        continue;
      }
      quantityAccumulated += taken;
      const StoreInformation& store = consolidatedLotData.GetStore(candidate.storeIndex);
      if (lotsData->size() > itemBegin) {
        CombinationLotData& previous = lotsData->back();
        if (previous.store.Id() == store.Id() && previous.lotData.price == candidate.lot.price &&
            previous.condition == candidate.lot.condition) {
          previous.lotData.quantity += taken;
          continue;
        }
      }
      lotsData->emplace_back(items[itemIndex], store, LotData{taken, candidate.lot.price},
                             candidate.lot.condition);
    }
    CORVALLE_ASSERT(quantityAccumulated == items[itemIndex].Quantity());
  }

  std::vector<StoreInformation> stores;
  stores.reserve(storeIndices.size());
  PlanCharges charges;
  for (const std::uint32_t storeIndex : storeIndices) {
    stores.push_back(consolidatedLotData.GetStore(storeIndex));
    if (rules.ChargesShipping()) {
      charges.shipping.push_back(rules.Shipping(storeIndex));
    }
    if (rules.IsRequired(storeIndex)) {
      charges.keptStores.push_back(stores.back().Id());
    }
  }
  if (!rules.ChargesShipping()) {
    return CreateCombinationData(stores, cost, std::move(lotsData), std::move(charges));
  }
  // The subtotal as the ranking priced it, so that subtotal + shipping is the cost to the bit.
  StoreCombination lots{std::vector<std::uint32_t>(storeIndices)};
  lots.CalculateMinimumCost(items, consolidatedLotData);
  charges.subtotal = lots.Cost();
  return CreateCombinationData(stores, cost, std::move(lotsData), std::move(charges));
}

}  // namespace Corvalle::BrickLink
