#include "Tests/Support/SearchOracle.h"

#include <algorithm>
#include <sstream>

namespace Testing {

using Corvalle::Condition;
using Corvalle::Item;
using Corvalle::BrickLink::ConsolidatedLotData;
using Corvalle::BrickLink::PlanRules;
using Corvalle::BrickLink::TableLot;

OraclePurchase OracleBuy(const std::vector<Item>& items, const ConsolidatedLotData& table,
                         const Columns& stores) {
  OraclePurchase purchase;
  purchase.buys.assign(stores.size(), false);
  struct Unit {
    double price;
    std::uint32_t column;
    std::size_t rank;
    std::size_t position;
    TableLot lot;
  };
  for (std::uint32_t item = 0; item < items.size(); ++item) {
    std::vector<Unit> lots;
    for (std::size_t position = 0; position < stores.size(); ++position) {
      const auto cell = table.GetLots(item, stores[position]);
      for (std::size_t rank = 0; rank < cell.size(); ++rank) {
        lots.push_back({cell[rank].price, stores[position], rank, position, cell[rank]});
      }
    }
    std::sort(lots.begin(), lots.end(), [](const Unit& a, const Unit& b) {
      return a.price != b.price ? a.price < b.price
                                : (a.column != b.column ? a.column < b.column : a.rank < b.rank);
    });
    std::uint32_t missing = items[item].Quantity();
    const std::size_t firstLine = purchase.lines.size();
    for (const Unit& unit : lots) {
      const std::uint32_t taken = std::min(unit.lot.quantity, missing);
      if (taken == 0) {
        continue;
      }
      purchase.lots += taken * unit.price;
      purchase.buys[unit.position] = true;
      missing -= taken;
      const std::uint32_t storeId = table.GetStore(unit.column).Id();
      if (purchase.lines.size() > firstLine && purchase.lines.back().storeId == storeId &&
          purchase.lines.back().price == unit.price &&
          purchase.lines.back().condition == unit.lot.condition) {
        purchase.lines.back().quantity += taken;
      } else {
        purchase.lines.push_back(
            {items[item].Id(), storeId, taken, unit.price, unit.lot.condition});
      }
    }
    purchase.supplies = purchase.supplies && missing == 0;
  }
  std::stable_sort(purchase.lines.begin(), purchase.lines.end(),
                   [](const OracleLine& a, const OracleLine& b) { return a.itemId < b.itemId; });
  std::stable_sort(purchase.lines.begin(), purchase.lines.end(),
                   [](const OracleLine& a, const OracleLine& b) { return a.storeId < b.storeId; });
  return purchase;
}

std::vector<OraclePlan> OraclePlans(const std::vector<Item>& items,
                                    const ConsolidatedLotData& table, std::uint32_t k,
                                    const PlanRules& rules) {
  const std::uint32_t n = table.StoreCount();
  std::vector<OraclePlan> plans;
  for (std::uint32_t mask = 0; mask < (1u << n); ++mask) {
    Columns stores;
    for (std::uint32_t store = 0; store < n; ++store) {
      if ((mask >> store & 1u) != 0) {
        stores.push_back(store);
      }
    }
    if (stores.size() > k || !std::all_of(rules.required.begin(), rules.required.end(),
                                          [&](std::uint32_t required) {
                                            return (mask >> required & 1u) != 0;
                                          })) {
      continue;
    }
    const OraclePurchase purchase = OracleBuy(items, table, stores);
    if (!purchase.supplies) {
      continue;
    }
    bool everyStoreBuys = true;
    for (std::size_t position = 0; position < stores.size(); ++position) {
      everyStoreBuys =
          everyStoreBuys && (purchase.buys[position] || rules.IsRequired(stores[position]));
    }
    if (!everyStoreBuys) {
      continue;
    }
    if (!rules.ChargesShipping() && stores.size() < k) {
      std::uint32_t idle = 0;
      for (std::uint32_t other = 0; other < n; ++other) {
        if ((mask >> other & 1u) != 0) {
          continue;
        }
        Columns with = stores;
        with.push_back(other);
        std::sort(with.begin(), with.end());
        const OraclePurchase beside = OracleBuy(items, table, with);
        const auto at = std::find(with.begin(), with.end(), other) - with.begin();
        idle += beside.buys[static_cast<std::size_t>(at)] ? 0 : 1;
      }
      if (idle < k - stores.size()) {
        continue;
      }
    }
    double shipping = 0.0;
    for (const std::uint32_t store : stores) {
      shipping += rules.Shipping(store);
    }
    plans.push_back({stores, purchase.lots + shipping});
  }
  std::sort(plans.begin(), plans.end(), [](const OraclePlan& a, const OraclePlan& b) {
    return a.cost != b.cost ? a.cost < b.cost : a.stores < b.stores;
  });
  return plans;
}

std::vector<OracleLine> LinesOf(const Corvalle::BrickLink::ICombinationData& plan) {
  std::vector<OracleLine> lines;
  for (auto line = plan.LotsDataBegin(); line != plan.LotsDataEnd(); ++line) {
    lines.push_back({line->GetItem().Id(), line->store.Id(), line->lotData.quantity,
                     line->lotData.price, line->condition});
  }
  return lines;
}

RandomSearch MakeRandomSearch(std::mt19937& random, const RandomSearchShape& shape) {
  const std::uint32_t itemCount = 1 + random() % shape.maximumItems;
  const std::uint32_t storeCount = 1 + random() % shape.maximumStores;
  const std::uint32_t k = 1 + random() % std::min(storeCount, shape.maximumK);
  const std::uint32_t density = 1 + random() % 4;  // of 4 cells offered
  static constexpr double kPrices[] = {0.0, 0.05, 0.1, 0.25, 0.3, 1.0, 1.1, 2.5};
  std::vector<Item> items;
  for (std::uint32_t item = 0; item < itemCount; ++item) {
    const Condition condition = random() % 2 == 0 ? Condition::New : Condition::Used;
    const std::uint32_t quantity = random() % 8 == 0 ? 0 : 1 + random() % 7;
    items.emplace_back(Corvalle::ItemType::Part, "item" + std::to_string(item),
                       "Item " + std::to_string(item), 1, condition, quantity);
  }
  std::vector<std::vector<std::vector<TableLot>>> rows(
      itemCount, std::vector<std::vector<TableLot>>(storeCount));
  for (std::uint32_t store = 0; store < storeCount; ++store) {
    const bool copy = shape.storesCopyOthers && store > 0 && random() % 8 == 0;
    const std::uint32_t source = copy ? random() % store : store;
    for (std::uint32_t item = 0; item < itemCount; ++item) {
      if (copy) {
        rows[item][store] = rows[item][source];
        continue;
      }
      if (random() % 4 >= density) {
        continue;
      }
      // Half the cells hold one lot, the others up to the most, with overlapping prices.
      const std::uint32_t lots =
          random() % 2 == 0 ? 1 : 1 + random() % std::max(1u, shape.maximumLots);
      auto& cell = rows[item][store];
      for (std::uint32_t lot = 0; lot < lots; ++lot) {
        const Condition condition = items[item].GetCondition() == Condition::New || random() % 2 == 0
                                        ? Condition::New
                                        : Condition::Used;
        cell.push_back({1 + static_cast<std::uint32_t>(random() % 5), kPrices[random() % 8],
                        condition});
      }
      std::stable_sort(cell.begin(), cell.end(), Corvalle::BrickLink::CheaperLot);
    }
  }
  // Ids in ascending column order, with gaps.
  std::vector<std::uint32_t> ids;
  std::uint32_t id = 1000;
  for (std::uint32_t store = 0; store < storeCount; ++store) {
    id += 1 + random() % 50;
    ids.push_back(id);
  }
  return {std::move(items), MakeLotTable(rows, ids), k};
}

std::shared_ptr<const ConsolidatedLotData> MakeLotTable(
    const std::vector<std::vector<std::vector<TableLot>>>& rows,
    const std::vector<std::uint32_t>& storeIds) {
  std::vector<Corvalle::BrickLink::StoreInformation> stores;
  for (const std::uint32_t id : storeIds) {
    stores.emplace_back(id);
  }
  ConsolidatedLotData::Builder builder(static_cast<std::uint32_t>(rows.size()), std::move(stores));
  for (std::uint32_t item = 0; item < rows.size(); ++item) {
    for (std::uint32_t store = 0; store < storeIds.size(); ++store) {
      builder.SetLots(item, store, rows[item].at(store));
    }
  }
  return builder.Build();
}

std::string DescribeTable(const std::vector<Item>& items, const ConsolidatedLotData& table,
                          std::uint32_t k) {
  std::ostringstream text;
  text << "k " << k << ", " << table.StoreCount() << " stores; per item: wanted "
       << "(N new, A any condition), then each store's lots (quantity@price, u used, '-' none)";
  for (std::uint32_t item = 0; item < items.size(); ++item) {
    text << "\n " << items[item].Quantity()
         << (items[item].GetCondition() == Condition::New ? 'N' : 'A') << ':';
    for (std::uint32_t store = 0; store < table.StoreCount(); ++store) {
      const auto lots = table.GetLots(item, store);
      text << ' ';
      if (lots.empty()) {
        text << '-';
      }
      for (std::size_t lot = 0; lot < lots.size(); ++lot) {
        text << (lot == 0 ? "" : "+") << lots[lot].quantity << '@' << lots[lot].price
             << (lots[lot].condition == Condition::Used ? "u" : "");
      }
    }
  }
  return text.str();
}

}  // namespace Testing
