#pragma once

// The one plain oracle of the combination search, and the random tables it is checked on:
// every set of stores priced by buying each item's units cheapest first across all the stores'
// lots, written out directly, with no shortcut of the engine's.

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/CombinationData.h"
#include "Source/Base/BrickLink/ConsolidatedLotData.h"
#include "Source/Base/BrickLink/PlanRules.h"
#include "Source/Base/Corvalle.h"

namespace Testing {

using Columns = std::vector<std::uint32_t>;

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
  double lots = 0.0;             // added up unit by unit group in purchase order
  bool supplies = true;          // every wanted unit found
  std::vector<bool> buys;        // per store of the set: whether it sells anything
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

// A small random search: few distinct prices, so that ties are common; cells of one to four
// lots, new and used, for items wanted New or in any condition.
struct RandomSearch {
  std::vector<Corvalle::Item> items;
  std::shared_ptr<const Corvalle::BrickLink::ConsolidatedLotData> table;
  std::uint32_t k;
};

struct RandomSearchShape {
  std::uint32_t maximumItems = 5;
  std::uint32_t maximumStores = 10;
  std::uint32_t maximumK = 4;
  std::uint32_t maximumLots = 4;     // per store and item
  bool storesCopyOthers = false;     // now and then a store offers exactly what another does
};

RandomSearch MakeRandomSearch(std::mt19937& random, const RandomSearchShape& shape);

// A table for a failure message: k, the wanted quantities and conditions, and each store's
// lots, one line per item.
std::string DescribeTable(const std::vector<Corvalle::Item>& items,
                          const Corvalle::BrickLink::ConsolidatedLotData& table, std::uint32_t k);
inline std::string DescribeSearch(const RandomSearch& search) {
  return DescribeTable(search.items, *search.table, search.k);
}

}  // namespace Testing
