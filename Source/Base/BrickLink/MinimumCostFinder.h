#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <memory>
#include <vector>

#include "Source/Base/BrickLink/BoundedCombinationSearch.h"
#include "Source/Base/BrickLink/CombinationData.h"
#include "Source/Base/BrickLink/ConsolidatedLotData.h"
#include "Source/Base/Corvalle.h"
#include "Source/Base/BrickLink/PlanRules.h"
#include "Source/Base/BrickLink/StoreCombination.h"
#include "Source/Base/BrickLink/StoreCombinationValidator.h"

namespace Corvalle::BrickLink {

// What may end a bounded search early, and who hears of its bounds while it runs.
struct SearchLimits {
  // Then it stops (see IBoundedCombinationSearch::SetDeadline).
  std::optional<std::chrono::steady_clock::time_point> deadline{};
  // Set from any thread to stop it the same way; must outlive the search.
  const std::atomic<bool>* stop = nullptr;
  SearchBoundsCallback bounds{};
};

// Drives the later stages of a search over one table: the lower bound on the stores needed,
// the count of possible combinations, the valid combinations, their ranking and the purchase
// plan of a given rank. Used on the search thread only.
class IMinimumCostFinder {
 public:
  virtual ~IMinimumCostFinder() = default;
  IMinimumCostFinder(const IMinimumCostFinder&) = delete;
  IMinimumCostFinder& operator=(const IMinimumCostFinder&) = delete;

  // A lower bound on the stores of a valid combination: over the items, the most of the fewest
  // stores that could supply one item alone. 0 when some wanted item cannot be supplied at all,
  // or when there are no items.
  virtual std::uint32_t FindMinimumStoresRequired() const = 0;
  // C(store count, k). Throws std::overflow_error "overflow in count_each_combination" beyond
  // 64 bits and std::invalid_argument "k must be less than or equal to n" when the table has
  // fewer stores than k.
  virtual std::uint64_t CountPossibleCombinations() const = 0;
  // Runs the validator over the table (see IStoreCombinationValidator), keeps its list,
  // replacing an earlier one, and returns the number of entries.
  virtual std::uint64_t CollectValidCombinations(const CombinationProgress& progress,
                                                 std::uint32_t threadCount) = 0;
  // Runs the bounded search over the table (see IBoundedCombinationSearch) for the cheapest
  // maximumPlans distinct plans, keeps them as the list, replacing an earlier one, and returns
  // what the search did. Unlike the enumeration it takes any number of combinations. At the
  // limits' deadline or stop it keeps the cheapest plans found so far (the statistics tell
  // whether they are proven). Throws std::runtime_error when a price of the table is negative
  // or not a number, which its bounds cannot rank.
  virtual BoundedSearchStatistics CollectCheapestCombinations(
      const CombinationProgress& progress, std::uint32_t threadCount, std::size_t maximumPlans,
      const SearchLimits& limits = {}) = 0;
  // Prices the kept combinations again and ranks them by cost, cheapest first (equal costs by
  // their store columns, so the ranking does not depend on the worker count). Must follow
  // CollectValidCombinations.
  virtual void CalculateCosts() = 0;
  // The purchase plan of the combination of that rank (1 is the cheapest), or null for rank 0
  // or a rank beyond the list.
  virtual std::unique_ptr<ICombinationData> CreateCombinationData(std::uint32_t rank) const = 0;

 protected:
  IMinimumCostFinder() = default;
};

// The table must not be null and its rows must be the items. The validator and the items must
// outlive the finder. The rules (on the table's columns) price and shape the bounded search's
// plans; the enumeration takes none.
std::unique_ptr<IMinimumCostFinder> CreateMinimumCostFinder(
    std::shared_ptr<const ConsolidatedLotData> consolidatedLotData,
    IStoreCombinationValidator& validator, const std::vector<Item>& items,
    std::uint32_t storesPerCombination, PlanRules rules = {});

}  // namespace Corvalle::BrickLink
