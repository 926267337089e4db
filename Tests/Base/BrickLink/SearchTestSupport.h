#pragma once

// Small builders shared by the tests of the combination search.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/ConsolidatedLotData.h"
#include "Source/Base/Corvalle.h"
#include "Tests/Support/SearchOracle.h"

namespace Testing {

// A table of one lot (or none, quantity 0) per cell: rows of cells, one per store.
inline std::shared_ptr<const Corvalle::BrickLink::ConsolidatedLotData> MakeTable(
    const std::vector<std::vector<Corvalle::BrickLink::LotData>>& rows,
    const std::vector<std::uint32_t>& storeIds) {
  std::vector<std::vector<std::vector<Corvalle::BrickLink::TableLot>>> lotRows;
  for (const auto& row : rows) {
    auto& lotRow = lotRows.emplace_back();
    for (std::size_t store = 0; store < storeIds.size(); ++store) {
      const Corvalle::BrickLink::LotData& cell = row.at(store);
      auto& lots = lotRow.emplace_back();
      if (cell.quantity != 0) {
        lots.push_back({cell.quantity, cell.price, Corvalle::Condition::New});
      }
    }
  }
  return MakeLotTable(lotRows, storeIds);
}

// Parts "item0", "item1", ... in colour 1, wanted New, with the given quantities.
inline std::vector<Corvalle::Item> MakeItems(const std::vector<std::uint32_t>& quantities) {
  std::vector<Corvalle::Item> items;
  for (std::size_t index = 0; index < quantities.size(); ++index) {
    items.emplace_back(Corvalle::ItemType::Part, "item" + std::to_string(index),
                       "Item " + std::to_string(index), 1, Corvalle::Condition::New,
                       quantities[index]);
  }
  return items;
}

inline std::vector<std::uint32_t> ConsecutiveIds(std::uint32_t first, std::uint32_t count) {
  std::vector<std::uint32_t> ids;
  for (std::uint32_t index = 0; index < count; ++index) {
    ids.push_back(first + index);
  }
  return ids;
}

// Equal costs, allowing for the order in which a sum of the same purchases was added up.
inline bool SameCost(double first, double second) {
  return first == second ||
         std::abs(first - second) <= 1e-9 * std::max(std::abs(first), std::abs(second));
}

}  // namespace Testing
