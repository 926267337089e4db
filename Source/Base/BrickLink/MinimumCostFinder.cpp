#include "MinimumCostFinder.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "Assert.h"
#include "CombinationGenerator.h"

namespace Corvalle::BrickLink {

namespace {

class MinimumCostFinder final : public IMinimumCostFinder {
 public:
  MinimumCostFinder(std::shared_ptr<const ConsolidatedLotData> consolidatedLotData_,
                    IStoreCombinationValidator& validator_, const std::vector<Item>& items_,
                    std::uint32_t storesPerCombination_)
      : consolidatedLotData(std::move(consolidatedLotData_)),
        validator(&validator_),
        items(&items_),
        storesPerCombination(storesPerCombination_) {
    CORVALLE_ASSERT(this->consolidatedLotData);
  }

  std::uint32_t FindMinimumStoresRequired() const override;
  std::uint64_t CountPossibleCombinations() const override {
    return Combinations::CountCombinations(consolidatedLotData->StoreCount(), storesPerCombination);
  }
  std::uint64_t CollectValidCombinations(const CombinationProgress& progress,
                                         std::uint32_t threadCount) override {
    validCombinations = validator->FindValidCombinations(*consolidatedLotData, storesPerCombination,
                                                         progress, threadCount);
    return validCombinations->size();
  }
  void CalculateCosts() override;
  std::unique_ptr<ICombinationData> CreateCombinationData(std::uint32_t rank) const override;

 private:
  std::shared_ptr<const ConsolidatedLotData> consolidatedLotData;
  IStoreCombinationValidator* validator;
  const std::vector<Item>* items;
  std::uint32_t storesPerCombination;
  std::unique_ptr<std::vector<StoreCombination>> validCombinations;
};

std::uint32_t MinimumCostFinder::FindMinimumStoresRequired() const {
  if (items->empty()) {
    return 0;
  }
  std::uint32_t result = 0;
  std::vector<std::uint32_t> quantities;
  for (std::uint32_t itemIndex = 0; itemIndex < items->size(); ++itemIndex) {
    const Item& item = (*items)[itemIndex];
    if (item.Quantity() == 0) {
      continue;
    }
    if (item.PriceGuideNew().IsEmpty() &&
        (item.GetCondition() == Condition::New || item.PriceGuideUsed().IsEmpty())) {
      return 0;
    }
    quantities.clear();
    for (const LotData& cell : consolidatedLotData->GetItemLotData(itemIndex)) {
      quantities.push_back(cell.quantity);
    }
    std::sort(quantities.begin(), quantities.end(), std::greater<>());
    // 64 bits: adding a few large cells must not wrap around below the wanted quantity.
    std::uint64_t sum = 0;
    std::uint32_t count = 0;
    for (const std::uint32_t quantity : quantities) {
      if (sum >= item.Quantity()) {
        break;
      }
      sum += quantity;
      ++count;
    }
    if (sum < item.Quantity()) {
      return 0;
    }
    result = std::max(result, count);
  }
  return result;
}

void MinimumCostFinder::CalculateCosts() {
  CORVALLE_ASSERT(validCombinations);
  for (StoreCombination& combination : *validCombinations) {
    combination.CalculateMinimumCost(*items, *consolidatedLotData);
  }
  std::sort(validCombinations->begin(), validCombinations->end(),
            [](const StoreCombination& first, const StoreCombination& second) {
              if (first.Cost() != second.Cost()) {
                return first.Cost() < second.Cost();
              }
              return first.StoreIndices() < second.StoreIndices();
            });
}

std::unique_ptr<ICombinationData> MinimumCostFinder::CreateCombinationData(
    std::uint32_t rank) const {
  if (!validCombinations || rank == 0 || rank > validCombinations->size()) {
    return nullptr;
  }
  return (*validCombinations)[rank - 1].CreateCombinationLotsData(*items, *consolidatedLotData);
}

}  // namespace

std::unique_ptr<IMinimumCostFinder> CreateMinimumCostFinder(
    std::shared_ptr<const ConsolidatedLotData> consolidatedLotData,
    IStoreCombinationValidator& validator, const std::vector<Item>& items,
    std::uint32_t storesPerCombination) {
  return std::make_unique<MinimumCostFinder>(std::move(consolidatedLotData), validator, items,
                                             storesPerCombination);
}

}  // namespace Corvalle::BrickLink
