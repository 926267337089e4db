#pragma once

// The purchase rule, shared by StoreCombination and the validator's fast path so that both
// compute the very same cost, bit for bit: the lots of an item's cells are taken store by store
// in combination order (each store's in its own purchase order), sorted by unit price with ties
// kept in that order, and bought from greedily, the cheapest units first.
// Internal to the search classes.

#include <algorithm>
#include <cstdint>

namespace Corvalle::BrickLink::Pricing {

struct Cell {
  std::uint32_t quantity;
  double price;
};

// Sorts the cells stably by price: insertion sort, as they are usually few (the lots of at
// most 11 stores that could ever be bought).
inline void SortByPrice(Cell* cells, std::uint32_t count) {
  if (count > 32) {
    std::stable_sort(cells, cells + count,
                     [](const Cell& first, const Cell& second) { return first.price < second.price; });
    return;
  }
  for (std::uint32_t i = 1; i < count; ++i) {
    const Cell cell = cells[i];
    std::uint32_t j = i;
    while (j > 0 && cell.price < cells[j - 1].price) {
      cells[j] = cells[j - 1];
      --j;
    }
    cells[j] = cell;
  }
}

// Buys the wanted quantity from the cells in purchase order: by unit price, equal prices in
// the given order, taking from each the smaller of its quantity and what is still missing.
// Adds units x price of every purchase to cost, in purchase order; cells that give nothing add
// nothing. Returns the quantity bought, which is the wanted quantity unless the cells together
// offer less. May reorder the cells.
inline std::uint32_t BuyItem(Cell* cells, std::uint32_t count, std::uint32_t wanted, double& cost) {
  if (wanted == 0) {
    return 0;
  }
  // The common case first: the first cell that gives anything (the cheapest non-empty one,
  // the earliest of equal ones) covers the item alone. Any price that is not a number takes
  // the general path, whose order such a price would disturb.
  std::uint32_t first = count;
  bool ordered = true;
  for (std::uint32_t i = 0; i < count; ++i) {
    ordered = ordered && cells[i].price == cells[i].price;
    if (cells[i].quantity != 0 && (first == count || cells[i].price < cells[first].price)) {
      first = i;
    }
  }
  if (ordered && first != count && cells[first].quantity >= wanted) {
    cost += static_cast<double>(wanted) * cells[first].price;
    return wanted;
  }
  SortByPrice(cells, count);
  std::uint32_t missing = wanted;
  for (std::uint32_t i = 0; i < count && missing != 0; ++i) {
    const std::uint32_t taken = cells[i].quantity < missing ? cells[i].quantity : missing;
    if (taken != 0) {
      cost += static_cast<double>(taken) * cells[i].price;
      missing -= taken;
    }
  }
  return wanted - missing;
}

}  // namespace Corvalle::BrickLink::Pricing
