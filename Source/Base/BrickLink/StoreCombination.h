#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "Source/Base/BrickLink/CombinationData.h"
#include "Source/Base/BrickLink/ConsolidatedLotData.h"
#include "Source/Base/Corvalle.h"
#include "Source/Base/BrickLink/PlanRules.h"

namespace Corvalle::BrickLink {

// One set of store columns of a consolidated table and the lowest cost at which the whole
// wanted list can be bought from them. A value type.
class StoreCombination {
 public:
  // Takes over the columns, ascending. The cost is the largest finite double until
  // CalculateMinimumCost has run.
  explicit StoreCombination(std::vector<std::uint32_t>&& storeIndices_);
  // A combination whose cost has already been computed by the purchase rule.
  StoreCombination(std::vector<std::uint32_t>&& storeIndices_, double cost_);

  double Cost() const { return cost; }
  const std::vector<std::uint32_t>& StoreIndices() const { return storeIndices; }

  // Prices the combination by the purchase rule: for each item, the lots of the combination's
  // cells by unit price (ties: the lower column first, then the store's own order), bought
  // from greedily up to the wanted quantity.
  // The rows of the table must be the items; the combination must be able to supply every item
  // (a broken invariant otherwise). Safe on distinct objects from several threads at once.
  void CalculateMinimumCost(const std::vector<Item>& items,
                            const ConsolidatedLotData& consolidatedLotData);
  // The same, plus the shipping of every store of the combination under the rules, added in
  // column order after the lots.
  void CalculateMinimumCost(const std::vector<Item>& items,
                            const ConsolidatedLotData& consolidatedLotData, const PlanRules& rules);
  // The purchase plan of the combination under the same rule, with this combination's cost:
  // one line per lot bought from (a store's lots of one price and condition share a line).
  // Under rules, the plan also tells its lots' subtotal and each store's shipping, and keeps the
  // required stores that buy nothing.
  std::unique_ptr<ICombinationData> CreateCombinationLotsData(
      const std::vector<Item>& items, const ConsolidatedLotData& consolidatedLotData,
      const PlanRules& rules = {}) const;

  friend bool operator==(const StoreCombination&, const StoreCombination&) = default;

 private:
  std::vector<std::uint32_t> storeIndices;
  double cost;
};

// Plans rank by cost, counted in millionths of the currency, and equal costs by their columns.
// Two sums of the same prices added in another order differ in their last bits: those bits must
// not decide which of two equally dear plans comes first, or which of them is kept.
inline constexpr double kRankingUnitsPerCost = 1e6;
// The cost in whole millionths (a whole number, as a double).
inline double RankingCost(double cost) { return std::round(cost * kRankingUnitsPerCost); }
// The costs that rank as a ranking cost lie between these two.
inline double RankingFloor(double ranking) { return (ranking - 0.5) / kRankingUnitsPerCost; }
inline double RankingCeiling(double ranking) { return (ranking + 0.5) / kRankingUnitsPerCost; }
inline bool RanksBefore(const StoreCombination& first, const StoreCombination& second) {
  const double firstCost = RankingCost(first.Cost());
  const double secondCost = RankingCost(second.Cost());
  return firstCost != secondCost ? firstCost < secondCost
                                 : first.StoreIndices() < second.StoreIndices();
}

}  // namespace Corvalle::BrickLink
