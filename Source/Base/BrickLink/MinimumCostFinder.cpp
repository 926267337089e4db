#include "Source/Base/BrickLink/MinimumCostFinder.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

#include "Source/Base/Assert.h"
#include "Source/Base/Combinations/CombinationGenerator.h"

namespace Corvalle::BrickLink {

namespace {

// Below this many entries per thread, pricing again is not worth a thread.
constexpr std::size_t kMinimumEntriesPerThread = 20000;
// Worker blocks are merged when there are at most this many sorted runs; else sorted.
constexpr std::size_t kMostRunsToMerge = 64;

class MinimumCostFinder final : public IMinimumCostFinder {
 public:
  MinimumCostFinder(std::shared_ptr<const ConsolidatedLotData> consolidatedLotData_,
                    IStoreCombinationValidator& validator_, const std::vector<Item>& items_,
                    std::uint32_t storesPerCombination_, PlanRules rules_)
      : consolidatedLotData(std::move(consolidatedLotData_)),
        validator(&validator_),
        items(&items_),
        storesPerCombination(storesPerCombination_),
        rules(std::move(rules_)) {
    CORVALLE_ASSERT(this->consolidatedLotData);
  }

  std::uint32_t FindMinimumStoresRequired() const override;
  std::uint64_t CountPossibleCombinations() const override {
    return Combinations::CountCombinations(consolidatedLotData->StoreCount(), storesPerCombination);
  }
  std::uint64_t CollectValidCombinations(const CombinationProgress& progress,
                                         std::uint32_t threadCount) override {
    workerCount = threadCount;
    validCombinations = validator->FindValidCombinations(*consolidatedLotData, storesPerCombination,
                                                         progress, threadCount);
    return validCombinations->size();
  }
  BoundedSearchStatistics CollectCheapestCombinations(
      const CombinationProgress& progress, std::uint32_t threadCount, std::size_t maximumPlans,
      const SearchLimits& limits) override {
    if (!BoundedSearchAccepts(*consolidatedLotData, rules)) {
      throw std::runtime_error(
          "Some offered prices are negative or not numbers, which the bounded search cannot "
          "rank.\nTry the exhaustive search.");
    }
    workerCount = threadCount;
    const auto search = CreateBoundedCombinationSearch(*items);
    if (limits.deadline) {
      search->SetDeadline(*limits.deadline);
    }
    if (limits.stop != nullptr) {
      search->SetStopFlag(*limits.stop);
    }
    search->SetBoundsCallback(limits.bounds);
    validCombinations = std::make_unique<std::vector<StoreCombination>>(
        search->FindCheapestCombinations(*consolidatedLotData, storesPerCombination, maximumPlans,
                                         progress, threadCount, rules));
    return search->Statistics();
  }
  void CalculateCosts() override;
  std::unique_ptr<ICombinationData> CreateCombinationData(std::uint32_t rank) const override;

 private:
  std::shared_ptr<const ConsolidatedLotData> consolidatedLotData;
  IStoreCombinationValidator* validator;
  const std::vector<Item>* items;
  std::uint32_t storesPerCombination;
  PlanRules rules;
  std::unique_ptr<std::vector<StoreCombination>> validCombinations;
  std::uint32_t workerCount = 1;  // the thread count of the last search, for CalculateCosts
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
    const TableCell* cells = consolidatedLotData->GetItemCells(itemIndex);
    for (std::uint32_t store = 0; store < consolidatedLotData->StoreCount(); ++store) {
      quantities.push_back(cells[store].quantity);
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
  std::vector<StoreCombination>& combinations = *validCombinations;

  // Pricing again is independent per entry: spread it over the workers of the search.
  const std::size_t threads = std::clamp<std::size_t>(
      std::min<std::size_t>(workerCount, combinations.size() / kMinimumEntriesPerThread), 1,
      std::max(1u, std::thread::hardware_concurrency()));
  const auto priceRange = [&](std::size_t begin, std::size_t end) {
    for (std::size_t index = begin; index < end; ++index) {
      combinations[index].CalculateMinimumCost(*items, *consolidatedLotData, rules);
    }
  };
  std::vector<std::thread> pricers;
  const auto joinAll = [&pricers] {
    for (auto& pricer : pricers) {
      pricer.join();
    }
  };
  const std::size_t chunk = combinations.size() / threads;
  try {
    for (std::size_t thread = 1; thread < threads; ++thread) {
      const std::size_t end = thread + 1 == threads ? combinations.size() : (thread + 1) * chunk;
      pricers.emplace_back(priceRange, thread * chunk, end);
    }
  } catch (...) {
    // A thread that cannot be started must not leave the started ones unjoined: destroying a
    // joinable thread ends the program.
    joinAll();
    throw;
  }
  priceRange(0, threads == 1 ? combinations.size() : chunk);
  joinAll();

  // Cheapest first; equal costs by their columns, a total order, so the ranking is the same
  // however the workers split the search. Each worker's block already arrives in this order
  // (ascending cost, ties in visit order, which is column order), so merging the runs
  // suffices; anything else is sorted outright.
  std::vector<std::size_t> runEnds;
  for (auto runBegin = combinations.begin(); runBegin != combinations.end();) {
    const auto runEnd = std::is_sorted_until(runBegin, combinations.end(), RanksBefore);
    runEnds.push_back(static_cast<std::size_t>(runEnd - combinations.begin()));
    runBegin = runEnd;
    if (runEnds.size() > kMostRunsToMerge) {
      break;
    }
  }
  if (runEnds.size() > kMostRunsToMerge) {
    std::sort(combinations.begin(), combinations.end(), RanksBefore);
    return;
  }
  for (std::size_t run = 1; run < runEnds.size(); ++run) {
    std::inplace_merge(
        combinations.begin(), combinations.begin() + static_cast<std::ptrdiff_t>(runEnds[run - 1]),
        combinations.begin() + static_cast<std::ptrdiff_t>(runEnds[run]), RanksBefore);
  }
}

std::unique_ptr<ICombinationData> MinimumCostFinder::CreateCombinationData(
    std::uint32_t rank) const {
  if (!validCombinations || rank == 0 || rank > validCombinations->size()) {
    return nullptr;
  }
  return (*validCombinations)[rank - 1].CreateCombinationLotsData(*items, *consolidatedLotData,
                                                                  rules);
}

}  // namespace

std::unique_ptr<IMinimumCostFinder> CreateMinimumCostFinder(
    std::shared_ptr<const ConsolidatedLotData> consolidatedLotData,
    IStoreCombinationValidator& validator, const std::vector<Item>& items,
    std::uint32_t storesPerCombination, PlanRules rules) {
  return std::make_unique<MinimumCostFinder>(std::move(consolidatedLotData), validator, items,
                                             storesPerCombination, std::move(rules));
}

}  // namespace Corvalle::BrickLink
