#include "Tests/Support/SearchOracle.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <numeric>
#include <sstream>

namespace Testing {

using Corvalle::Condition;
using Corvalle::Item;
using Corvalle::BrickLink::ConsolidatedLotData;
using Corvalle::BrickLink::LotData;
using Corvalle::BrickLink::PlanRules;
using Corvalle::BrickLink::StoreCombination;
using Corvalle::BrickLink::TableLot;

std::vector<Columns> AllCombinations(std::uint32_t n, std::uint32_t k) {
  std::vector<Columns> all;
  Columns current;
  const auto extend = [&](const auto& self, std::uint32_t from) -> void {
    if (current.size() == k) {
      all.push_back(current);
      return;
    }
    for (std::uint32_t column = from; column < n; ++column) {
      current.push_back(column);
      self(self, column + 1);
      current.pop_back();
    }
  };
  extend(extend, 0);
  return all;
}

double Choose(std::uint32_t n, std::uint32_t k) {
  long double result = 1.0L;
  for (std::uint32_t i = 0; i < k; ++i) {
    result = result * static_cast<long double>(n - i) / static_cast<long double>(i + 1);
  }
  return static_cast<double>(result);
}

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
  // The rules read directly, not through their own helpers, which are part of what is checked.
  const auto required = [&](std::uint32_t store) {
    return std::find(rules.required.begin(), rules.required.end(), store) != rules.required.end();
  };
  const std::uint32_t n = table.StoreCount();
  std::vector<OraclePlan> plans;
  for (std::uint32_t size = 0; size <= std::min(k, n); ++size) {
    for (const Columns& stores : AllCombinations(n, size)) {
      if (!std::includes(stores.begin(), stores.end(), rules.required.begin(),
                         rules.required.end())) {
        continue;
      }
      const OraclePurchase purchase = OracleBuy(items, table, stores);
      bool plan = purchase.supplies;
      for (std::size_t position = 0; position < stores.size(); ++position) {
        plan = plan && (purchase.buys[position] || required(stores[position]));
      }
      if (plan && rules.shipping.empty() && size < k) {
        std::uint32_t idle = 0;
        for (std::uint32_t other = 0; other < n; ++other) {
          if (std::binary_search(stores.begin(), stores.end(), other)) {
            continue;
          }
          Columns with = stores;
          const auto at = with.insert(std::upper_bound(with.begin(), with.end(), other), other);
          idle += OracleBuy(items, table, with).buys[at - with.begin()] ? 0 : 1;
        }
        plan = idle >= k - size;
      }
      if (plan) {
        double shipping = 0.0;
        for (const std::uint32_t store : stores) {
          shipping += rules.shipping.empty() ? 0.0 : rules.shipping[store];
        }
        plans.push_back({stores, purchase.lots + shipping});
      }
    }
  }
  std::sort(plans.begin(), plans.end(), [](const OraclePlan& a, const OraclePlan& b) {
    const double first = Corvalle::BrickLink::RankingCost(a.cost);
    const double second = Corvalle::BrickLink::RankingCost(b.cost);
    return first != second ? first < second : a.stores < b.stores;
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

std::shared_ptr<const ConsolidatedLotData> MakeTable(const std::vector<std::vector<LotData>>& rows,
                                                     const std::vector<std::uint32_t>& storeIds) {
  std::vector<std::vector<std::vector<TableLot>>> lotRows;
  for (const auto& row : rows) {
    auto& lotRow = lotRows.emplace_back();
    for (std::size_t store = 0; store < storeIds.size(); ++store) {
      auto& lots = lotRow.emplace_back();
      if (row.at(store).quantity != 0) {
        lots.push_back({row[store].quantity, row[store].price, Condition::New});
      }
    }
  }
  return MakeLotTable(lotRows, storeIds);
}

std::vector<Item> MakeItems(const std::vector<std::uint32_t>& quantities, Condition condition) {
  std::vector<Item> items;
  for (std::size_t index = 0; index < quantities.size(); ++index) {
    items.emplace_back(Corvalle::ItemType::Part, "item" + std::to_string(index),
                       "Item " + std::to_string(index), 1, condition, quantities[index]);
  }
  return items;
}

std::vector<std::uint32_t> ConsecutiveIds(std::uint32_t first, std::uint32_t count) {
  std::vector<std::uint32_t> ids(count);
  std::iota(ids.begin(), ids.end(), first);
  return ids;
}

bool SameCost(double first, double second) {
  return first == second ||
         std::abs(first - second) <= 1e-9 * std::max(std::abs(first), std::abs(second));
}

SearchCase MakeRandomSearch(std::mt19937& random, const RandomSearchShape& shape) {
  SearchCase search;
  search.k = 1 + random() % shape.maximumK;
  const std::uint32_t k = search.k;
  std::uint32_t mostStores = std::max(k, shape.maximumStores);
  while (shape.maximumCombinations > 0.0 && mostStores > k &&
         Choose(mostStores, k) > shape.maximumCombinations) {
    --mostStores;
  }
  const std::uint32_t storeCount = random() % 2 == 0
                                       ? k + random() % std::min(4u, mostStores - k + 1)
                                       : k + random() % (mostStores - k + 1);
  const std::uint32_t itemCount = 1 + random() % shape.maximumItems;

  static constexpr double kPrices[] = {0.0, 0.05, 0.1, 0.25, 0.3, 1.0, 1.1, 2.5};
  std::vector<double> prices(1 + random() % 6);
  for (double& price : prices) {
    price = kPrices[random() % 8];
  }
  const std::uint32_t mostWanted = 1 + 2 * std::min(k, 4u);
  for (std::uint32_t item = 0; item < itemCount; ++item) {
    const Condition condition = random() % 2 == 0 ? Condition::New : Condition::Used;
    const std::uint32_t quantity = random() % 8 == 0 ? 0 : 1 + random() % mostWanted;
    search.items.emplace_back(Corvalle::ItemType::Part, "item" + std::to_string(item),
                              "Item " + std::to_string(item), 1, condition, quantity);
  }

  const std::uint32_t density = 1 + random() % 4;  // of 4 cells offered
  using Cell = std::vector<TableLot>;
  std::vector<std::vector<Cell>> rows(itemCount, std::vector<Cell>(storeCount));
  for (std::uint32_t store = 0; store < storeCount; ++store) {
    const std::uint32_t kind = random() % 16;
    if (kind == 0) {
      continue;  // offers nothing
    }
    const std::uint32_t copied = kind <= 3 && store > 0 ? random() % store : store;
    for (std::uint32_t item = 0; item < itemCount; ++item) {
      Cell& cell = rows[item][store];
      if (copied != store) {
        cell = rows[item][copied];
        continue;
      }
      if (random() % 4 >= density) {
        continue;
      }
      // Half the cells hold one lot, the others up to four with overlapping prices.
      const std::uint32_t lots = random() % 2 == 0 ? 1 : 2 + random() % 3;
      for (std::uint32_t lot = 0; lot < lots; ++lot) {
        const bool used = search.items[item].GetCondition() == Condition::Used && random() % 2 == 0;
        cell.push_back({1 + static_cast<std::uint32_t>(random() % 5),
                        kind == 4 ? 5.0 + random() % 3 : prices[random() % prices.size()],
                        used ? Condition::Used : Condition::New});
      }
      std::stable_sort(cell.begin(), cell.end(), Corvalle::BrickLink::CheaperLot);
    }
  }
  // Ids in ascending column order, with gaps.
  std::vector<std::uint32_t> ids;
  std::uint32_t id = 1000;
  for (std::uint32_t store = 0; store < storeCount; ++store) {
    id += 1 + random() % 40;
    ids.push_back(id);
  }
  search.table = MakeLotTable(rows, ids);
  search.maximumPlans = random() % 4 == 0 ? 1 + random() % 5 : 25;

  if (shape.shipping) {
    static constexpr double kShipping[] = {0.0, 0.25, 0.5, 1.0, 2.5, 4.0};
    const double domestic = kShipping[random() % 6];
    const double international = kShipping[random() % 6];
    for (std::uint32_t store = 0; store < storeCount; ++store) {
      search.rules.shipping.push_back(random() % 2 == 0 ? domestic : international);
    }
  }
  if (shape.required) {
    Columns columns = ConsecutiveIds(0, storeCount);
    std::shuffle(columns.begin(), columns.end(), random);
    columns.resize(1 + random() % std::min(k, 3u));
    std::sort(columns.begin(), columns.end());
    search.rules.required = columns;
  }
  return search;
}

std::string PlansMismatch(const SearchCase& search, const std::vector<StoreCombination>& found,
                          const std::vector<OraclePlan>& expected, bool complete) {
  std::ostringstream problems;
  problems.precision(17);
  const std::size_t count = std::min(search.maximumPlans, expected.size());
  if (complete ? found.size() != count : found.size() > search.maximumPlans) {
    problems << count << " plans expected, " << found.size() << " found";
    return problems.str();
  }
  for (std::size_t place = 0; place < found.size(); ++place) {
    const Columns& stores = found[place].StoreIndices();
    const double cost = found[place].Cost();
    std::ostringstream wrong;
    wrong.precision(17);
    const auto match = std::find_if(expected.begin(), expected.end(),
                                    [&](const OraclePlan& plan) { return plan.stores == stores; });
    if (match == expected.end()) {
      wrong << " not a plan;";
    } else {
      StoreCombination repriced{Columns(stores)};
      repriced.CalculateMinimumCost(search.items, *search.table, search.rules);
      if (repriced.Cost() != cost || !SameCost(match->cost, cost)) {
        wrong << " the purchase rule gives " << repriced.Cost() << ", the model " << match->cost
              << ';';
      }
    }
    if (complete && !SameCost(cost, expected[place].cost)) {
      wrong << " the " << place + 1 << ". cheapest plan costs " << expected[place].cost << ';';
    }
    if (place > 0 && !Corvalle::BrickLink::RanksBefore(found[place - 1], found[place])) {
      wrong << " not after the place before by cost, then columns;";
    }
    if (!wrong.str().empty()) {
      problems << "place " << place << " {";
      for (const std::uint32_t store : stores) {
        problems << ' ' << store;
      }
      problems << " } at " << cost << ':' << wrong.str() << '\n';
    }
  }
  return problems.str();
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

std::string DescribeSearch(const SearchCase& search) {
  std::ostringstream text;
  text << "at most " << search.maximumPlans << " plans; required columns";
  for (const std::uint32_t column : search.rules.required) {
    text << ' ' << column;
  }
  text << "; shipping";
  for (const double amount : search.rules.shipping) {
    text << ' ' << amount;
  }
  return text.str() + "\n" + DescribeTable(search.items, *search.table, search.k);
}

}  // namespace Testing

void Corvalle::BrickLink::PrintTo(const StoreCombination& combination, std::ostream* out) {
  *out << '{';
  for (const std::uint32_t column : combination.StoreIndices()) {
    *out << ' ' << column;
  }
  *out << " } at " << std::setprecision(17) << combination.Cost();
}
