// What the chosen stores of a node buy under the purchase rule, kept up to date as stores join.

#include "Source/Base/BrickLink/BoundedSearchWorker.h"

#include <algorithm>
#include <vector>

namespace Corvalle::BrickLink::BoundedSearch {

void Worker::Load(Level& level, const std::vector<std::uint32_t>& stores) {
  level.chosen.clear();
  level.madeFromParent = false;
  std::fill(level.cellCount.begin(), level.cellCount.end(), 0);
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    level.missing[item] = table.wanted[item];
    level.itemCost[item] = 0.0;
  }
  level.missingItems = table.itemCount;
  for (const std::uint32_t store : stores) {
    AddStore(level, store);
  }
}

void Worker::AddStore(Level& level, std::uint32_t store) {
  level.chosen.push_back(store);
  for (const Offer& offer : table.OffersOfStore(store)) {
    const std::uint32_t item = offer.other;
    ChosenCell* cells = CellsOf(level, item);
    // The store's lots in its own order: each goes after its equals, the earlier lots of the
    // same store among them.
    for (const Lot& lot : table.LotsOf(offer)) {
      std::uint32_t position = level.cellCount[item];
      while (position > 0 &&
             Before(lot.price, store, cells[position - 1].price, cells[position - 1].store)) {
        cells[position] = cells[position - 1];
        --position;
      }
      cells[position] = ChosenCell{lot.price, store, lot.quantity};
      ++level.cellCount[item];
    }
    const bool wasMissing = level.missing[item] != 0;
    Purchase(level, item);
    if (wasMissing && level.missing[item] == 0) {
      --level.missingItems;
    }
  }
}

void Worker::Purchase(Level& level, std::uint32_t item) const {
  const ChosenCell* cells = CellsOf(level, item);
  std::uint32_t remaining = table.wanted[item];
  double cost = 0.0;
  for (std::uint32_t position = 0; position < level.cellCount[item]; ++position) {
    const std::uint32_t taken = std::min(cells[position].quantity, remaining);
    cost += static_cast<double>(taken) * cells[position].price;
    remaining -= taken;
    if (remaining == 0) {
      level.fill[item] = position;
      level.fillTaken[item] = taken;
      break;
    }
  }
  level.missing[item] = remaining;
  level.itemCost[item] = cost;
}

void Worker::MakeChild(std::uint32_t depth, std::uint32_t store) {
  const Level& parent = levels[depth];
  Level& child = levels[depth + 1];
  child.cells = parent.cells;  // same size: copies without allocating
  child.cellCount = parent.cellCount;
  child.missing = parent.missing;
  child.fill = parent.fill;
  child.fillTaken = parent.fillTaken;
  child.itemCost = parent.itemCost;
  child.missingItems = parent.missingItems;
  child.chosen = parent.chosen;
  child.multipliers = parent.multipliers;
  child.coverWeights = parent.coverWeights;
  child.bound = parent.bound;
  child.madeFromParent = true;
  AddStore(child, store);
}

double Worker::Saving(const Level& level, std::uint32_t store, bool& buys) const {
  // The store's lots, cheapest first, take over the units bought now, dearest first, for as
  // long as they come before them in purchase order.
  double saving = 0.0;
  buys = false;
  for (const Offer& offer : table.OffersOfStore(store)) {
    const std::uint32_t item = offer.other;
    const ChosenCell* cells = CellsOf(level, item);
    std::uint32_t position = level.fill[item];
    if (!Before(offer.price, store, cells[position].price, cells[position].store)) {
      continue;
    }
    buys = true;
    std::uint32_t available = level.fillTaken[item];
    bool replacing = true;
    for (const Lot& lot : table.LotsOf(offer)) {
      std::uint32_t remaining = lot.quantity;
      while (remaining != 0 &&
             (replacing = Before(lot.price, store, cells[position].price, cells[position].store))) {
        const std::uint32_t moved = std::min(remaining, available);
        saving += static_cast<double>(moved) * (cells[position].price - lot.price);
        remaining -= moved;
        available -= moved;
        if (available == 0) {
          if (position == 0) {
            replacing = false;
            break;
          }
          --position;
          available = cells[position].quantity;
        }
      }
      if (!replacing) {
        break;
      }
    }
  }
  return saving;
}

}  // namespace Corvalle::BrickLink::BoundedSearch
