#pragma once

// The one plain oracle of the combination search, the random searches it is checked on and the
// builders of small tables: every set of stores priced by buying each item's units cheapest
// first across all the stores' lots, written out directly, with no shortcut of the engine's.

#include <cstdint>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/CombinationData.h"
#include "Source/Base/BrickLink/ConsolidatedLotData.h"
#include "Source/Base/BrickLink/PlanRules.h"
#include "Source/Base/BrickLink/StoreCombination.h"
#include "Source/Base/Corvalle.h"

namespace Testing {

using Columns = std::vector<std::uint32_t>;

// Every k of the columns 0 to n - 1, each ascending, in lexicographic order, by plain recursion.
std::vector<Columns> AllCombinations(std::uint32_t n, std::uint32_t k);

// C(n, k) as a floating-point number, as it may exceed 64 bits.
double Choose(std::uint32_t n, std::uint32_t k);

// One line of a plan as the buyer reads it.
struct OracleLine {
  std::string itemId;
  std::uint32_t storeId;
  std::uint32_t quantity;
  double price;
  Corvalle::Condition condition;

  friend bool operator==(const OracleLine&, const OracleLine&) = default;
};

// What buying the whole list from a set of stores gives.
struct OraclePurchase {
  double lots = 0.0;              // added up unit by unit group in purchase order
  bool supplies = true;           // every wanted unit found
  std::vector<bool> buys;         // per store of the set: whether it sells anything
  std::vector<OracleLine> lines;  // by store id, then item id; one per run of a store's lots
};

// Buys every item from the stores' lots (columns ascending): all lots by unit price, equal
// prices by column, then in each store's own order, each giving what is still missing.
OraclePurchase OracleBuy(const std::vector<Corvalle::Item>& items,
                         const Corvalle::BrickLink::ConsolidatedLotData& table,
                         const Columns& stores);

struct OraclePlan {
  Columns stores;
  double cost;
};

// Every plan of at most k stores under the rules, cheapest first, then by columns: sets that
// hold every required store, supply everything and in which every store buys (or is
// required); without shipping, a set smaller than k only when enough other stores would buy
// nothing beside it to fill a k-store combination.
std::vector<OraclePlan> OraclePlans(const std::vector<Corvalle::Item>& items,
                                    const Corvalle::BrickLink::ConsolidatedLotData& table,
                                    std::uint32_t k, const Corvalle::BrickLink::PlanRules& rules);

// The engine's plan lines in the oracle's terms.
std::vector<OracleLine> LinesOf(const Corvalle::BrickLink::ICombinationData& plan);

// A table from rows of cells (one row per item, one list of lots per store, each in purchase
// order) and the stores' ids.
std::shared_ptr<const Corvalle::BrickLink::ConsolidatedLotData> MakeLotTable(
    const std::vector<std::vector<std::vector<Corvalle::BrickLink::TableLot>>>& rows,
    const std::vector<std::uint32_t>& storeIds);

// The same with one new lot (or none, quantity 0) per cell.
std::shared_ptr<const Corvalle::BrickLink::ConsolidatedLotData> MakeTable(
    const std::vector<std::vector<Corvalle::BrickLink::LotData>>& rows,
    const std::vector<std::uint32_t>& storeIds);

// Parts "item0", "item1", ... in colour 1, wanted in one condition, with the given quantities.
std::vector<Corvalle::Item> MakeItems(const std::vector<std::uint32_t>& quantities,
                                      Corvalle::Condition condition = Corvalle::Condition::New);

std::vector<std::uint32_t> ConsecutiveIds(std::uint32_t first, std::uint32_t count);

// Equal costs, allowing for the order in which a sum of the same purchases was added up.
bool SameCost(double first, double second);

// One search to check: the list, the table, k, the rules on the table's columns and how many
// plans to ask for.
struct SearchCase {
  std::vector<Corvalle::Item> items;
  std::shared_ptr<const Corvalle::BrickLink::ConsolidatedLotData> table;
  std::uint32_t k = 1;
  Corvalle::BrickLink::PlanRules rules;
  std::size_t maximumPlans = 25;
};

// Small random searches with what makes pruning hard: few distinct prices, so that plans tie;
// stores that offer nothing, only dear lots, or exactly what another store offers; cells of one
// to four lots, new and used, for items wanted New or in any condition, several units or none;
// store counts just above k, where a plan of fewer stores needs stores beside it that buy
// nothing; and now and then only a few plans asked for.
struct RandomSearchShape {
  std::uint32_t maximumItems = 5;
  std::uint32_t maximumK = 4;
  std::uint32_t maximumStores = 10;
  double maximumCombinations = 0.0;  // of k stores, when above 0: fewer stores for larger k
  bool shipping = false;             // a few amounts per store, now and then nothing
  bool required = false;             // one to three required stores
};

SearchCase MakeRandomSearch(std::mt19937& random, const RandomSearchShape& shape);

// What is wrong with the bounded search's plans against every plan the oracle (or the
// exhaustive search) ranks, cheapest first; empty when nothing. Each found plan must be one of
// them, priced as StoreCombination prices it, after the one before by cost, then columns.
// Complete, they must also be as many as asked for (or all) and cost rank by rank what the
// expected ones cost: plans of equal cost may fill the last places in any choice.
std::string PlansMismatch(const SearchCase& search,
                          const std::vector<Corvalle::BrickLink::StoreCombination>& found,
                          const std::vector<OraclePlan>& expected, bool complete = true);

// A table for a failure message: k, the wanted quantities and conditions, and each store's
// lots, one line per item.
std::string DescribeTable(const std::vector<Corvalle::Item>& items,
                          const Corvalle::BrickLink::ConsolidatedLotData& table, std::uint32_t k);
// The same with the rules and the plans asked for.
std::string DescribeSearch(const SearchCase& search);

}  // namespace Testing

namespace Corvalle::BrickLink {

// Lets GoogleTest show a combination in a failure message: its columns and its cost.
void PrintTo(const StoreCombination& combination, std::ostream* out);

}  // namespace Corvalle::BrickLink
