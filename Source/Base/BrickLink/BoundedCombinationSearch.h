#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <cstdint>
#include <memory>
#include <vector>

#include "Source/Base/BrickLink/ConsolidatedLotData.h"
#include "Source/Base/Corvalle.h"
#include "Source/Base/BrickLink/PlanRules.h"
#include "Source/Base/BrickLink/StoreCombination.h"
#include "Source/Base/BrickLink/StoreCombinationValidator.h"

namespace Corvalle::BrickLink {

// What a bounded search did, for the statistics lines.
struct BoundedSearchStatistics {
  // Nodes of the search tree visited (sets of chosen stores looked at).
  std::uint64_t nodes = 0;
  // Store sets whose cost was computed by the purchase rule.
  std::uint64_t combinationsPriced = 0;
  // k-store combinations settled without being priced: a bound proved that none of them can be
  // among the cheapest plans, that they cannot supply the list, or that they only repeat a plan
  // of fewer stores. A floating-point count, as it may exceed 64 bits.
  double combinationsRuledOut = 0.0;
  // Whether the search settled every combination; false when its deadline stopped it first.
  bool proven = true;
  // No plan costs less: the cheapest plan's cost when proven, else the least of it and the
  // bounds of the subtrees left unsettled (0 without plans).
  double lowerBound = 0.0;
};

// While a search runs, now and then from a worker thread: the cost of the cheapest plan found so
// far (infinite before the first) and a bound under which no plan can exist (0 before the first
// is known).
using SearchBoundsCallback = std::function<void(double cheapest, double lowerBound)>;

// Finds the cheapest distinct purchase plans of k stores without visiting every combination:
// the same plans as enumerating every k-store combination, pricing each and keeping the
// cheapest distinct plans, found by a branch and bound over store sets whose every pruning rule
// only discards sets that provably cannot be among them.
//
// The plan of a k-store combination is the plan of the stores in it that buy something, so the
// candidate plans are the store sets T whose every store buys something, that can supply every
// wanted quantity, and that either have k stores or leave at least k - |T| stores of the table
// outside T that would buy nothing next to T. Under plan rules, T holds every required store
// (which need not buy anything); and when shipping is charged, a plan costs its lots plus the
// shipping of its stores, and every such T of at most k stores is a candidate, as leaving a
// store out may then make a plan cheaper.
class IBoundedCombinationSearch {
 public:
  virtual ~IBoundedCombinationSearch() = default;
  IBoundedCombinationSearch(const IBoundedCombinationSearch&) = delete;
  IBoundedCombinationSearch& operator=(const IBoundedCombinationSearch&) = delete;

  // The maximumPlans cheapest candidate plans (all of them when there are fewer), each as the
  // combination of its buying stores only, priced bit for bit as
  // StoreCombination::CalculateMinimumCost prices it, cheapest first and equal costs by their
  // columns. The result is the same on any number of workers. Reports the share of the k-store
  // combinations settled so far and an estimate of the seconds remaining, from any worker
  // thread; progress may be empty. The table must have at least storesPerCombination stores
  // (at most 11) and one row per item; maximumPlans must be at least 1; the rules' columns are
  // the table's, with at most storesPerCombination required ones.
  virtual std::vector<StoreCombination> FindCheapestCombinations(
      const ConsolidatedLotData& consolidatedLotData, std::uint32_t storesPerCombination,
      std::size_t maximumPlans, const CombinationProgress& progress, std::uint32_t threadCount,
      const PlanRules& rules = {}) = 0;

  // The figures of the last FindCheapestCombinations.
  virtual BoundedSearchStatistics Statistics() const = 0;
  // From then on the search stops exploring and returns the cheapest distinct plans it has
  // found, marked as not proven, with a lower bound on every plan (see Statistics()). None by
  // default.
  virtual void SetDeadline(std::chrono::steady_clock::time_point deadline) = 0;
  // The same after that many nodes of the tree, all workers together: a budget that does not
  // depend on the machine's speed.
  virtual void SetNodeLimit(std::uint64_t nodes) = 0;
  // The same once the flag is set, from any thread; the flag must outlive the searches.
  virtual void SetStopFlag(const std::atomic<bool>& stop) = 0;
  virtual void SetBoundsCallback(SearchBoundsCallback callback) = 0;

 protected:
  IBoundedCombinationSearch() = default;
};

// Whether the bounded search can rank the table: every offered price and every shipping amount
// is a finite number that is not negative. (Its bounds rest on buying more never costing less.)
bool BoundedSearchAccepts(const ConsolidatedLotData& consolidatedLotData,
                          const PlanRules& rules = {});

// The items must outlive the search.
std::unique_ptr<IBoundedCombinationSearch> CreateBoundedCombinationSearch(
    const std::vector<Item>& items);

}  // namespace Corvalle::BrickLink
