#pragma once

// Small builders shared by the tests of the combination search.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "BrickLink/ConsolidatedLotData.h"
#include "Corvalle.h"

namespace Testing {

// A table from rows of cells (one row per item, one list of lots per store, each in purchase
// order) and the stores' ids.
inline std::shared_ptr<const Corvalle::BrickLink::ConsolidatedLotData> MakeLotTable(
    const std::vector<std::vector<std::vector<Corvalle::BrickLink::TableLot>>>& rows,
    const std::vector<std::uint32_t>& storeIds) {
  std::vector<Corvalle::BrickLink::StoreInformation> stores;
  for (const std::uint32_t id : storeIds) {
    stores.emplace_back(id);
  }
  Corvalle::BrickLink::ConsolidatedLotData::Builder builder(
      static_cast<std::uint32_t>(rows.size()), std::move(stores));
  for (std::uint32_t item = 0; item < rows.size(); ++item) {
    for (std::uint32_t store = 0; store < storeIds.size(); ++store) {
      builder.SetLots(item, store, rows[item].at(store));
    }
  }
  return builder.Build();
}

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

// A table for a failure message: k, the wanted quantities and the cells, one line per item.
inline std::string DescribeTable(const std::vector<Corvalle::Item>& items,
                                 const Corvalle::BrickLink::ConsolidatedLotData& table,
                                 std::uint32_t k) {
  std::ostringstream text;
  text << "k " << k << ", " << table.StoreCount() << " stores, wanted";
  for (const Corvalle::Item& item : items) {
    text << ' ' << item.Quantity();
  }
  text << "\ncells (lots quantity@price joined by '+', '-' empty), one line per item:";
  for (std::uint32_t item = 0; item < items.size(); ++item) {
    text << "\n ";
    for (std::uint32_t store = 0; store < table.StoreCount(); ++store) {
      const auto lots = table.GetLots(item, store);
      text << ' ';
      if (lots.empty()) {
        text << '-';
      }
      for (std::size_t lot = 0; lot < lots.size(); ++lot) {
        text << (lot == 0 ? "" : "+") << lots[lot].quantity << '@' << lots[lot].price;
      }
    }
  }
  return text.str();
}

}  // namespace Testing
