#include "StoreCombination.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

#include "Assert.h"
#include "CombinationPricing.h"

namespace Corvalle::BrickLink {

StoreCombination::StoreCombination(std::vector<std::uint32_t>&& storeIndices_)
    : storeIndices(std::move(storeIndices_)), cost(std::numeric_limits<double>::max()) {}

StoreCombination::StoreCombination(std::vector<std::uint32_t>&& storeIndices_, double cost_)
    : storeIndices(std::move(storeIndices_)), cost(cost_) {}

void StoreCombination::CalculateMinimumCost(const std::vector<Item>& items,
                                            const ConsolidatedLotData& consolidatedLotData) {
  const auto storeCount = static_cast<std::uint32_t>(storeIndices.size());
  // One buffer of k cells for all items; k is at most 11 for combinations of the generator.
  constexpr std::size_t kInlineCells = 16;
  std::array<Pricing::Cell, kInlineCells> inlineCells;
  std::vector<Pricing::Cell> heapCells;
  Pricing::Cell* cells = inlineCells.data();
  if (storeCount > kInlineCells) {
    heapCells.resize(storeCount);
    cells = heapCells.data();
  }

  CORVALLE_ASSERT(consolidatedLotData.ItemCount() == items.size());
  const std::size_t rowLength = consolidatedLotData.StoreCount();
  const LotData* firstRow = items.empty() ? nullptr : consolidatedLotData.GetItemLotDataBegin(0);
  double total = 0.0;
  for (std::uint32_t itemIndex = 0; itemIndex < items.size(); ++itemIndex) {
    const Item& item = items[itemIndex];
    const LotData* row = firstRow + itemIndex * rowLength;
    for (std::uint32_t position = 0; position < storeCount; ++position) {
      const LotData& cell = row[storeIndices[position]];
      cells[position] = Pricing::Cell{cell.quantity, cell.price};
    }
    const std::uint32_t quantityAccumulated =
        Pricing::BuyItem(cells, storeCount, item.Quantity(), total);
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
  std::vector<CombinationLotData> candidates;
  candidates.reserve(storeIndices.size());
  for (std::uint32_t itemIndex = 0; itemIndex < items.size(); ++itemIndex) {
    candidates.clear();
    for (const std::uint32_t storeIndex : storeIndices) {
      candidates.emplace_back(items[itemIndex], consolidatedLotData.GetStore(storeIndex),
                              consolidatedLotData.GetLotData(itemIndex, storeIndex));
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const CombinationLotData& first, const CombinationLotData& second) {
                       return first.lotData.price < second.lotData.price;
                     });
    const std::uint32_t wanted = items[itemIndex].Quantity();
    std::uint32_t quantityAccumulated = 0;
    if (wanted != 0) {
      for (CombinationLotData& candidate : candidates) {
        if (candidate.lotData.quantity == 0) {
          continue;
        }
        candidate.lotData.quantity =
            std::min(candidate.lotData.quantity, wanted - quantityAccumulated);
        quantityAccumulated += candidate.lotData.quantity;
        lotsData->push_back(candidate);
        if (quantityAccumulated == wanted) {
          break;
        }
      }
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
