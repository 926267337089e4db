#pragma once

// The purchase rule, shared by StoreCombination and the validator's fast path so that both
// compute the very same cost, bit for bit: the k cells of an item are taken in combination
// order, sorted by unit price with ties kept in that order, and bought from greedily.
// Internal to the search classes.

#include <cstdint>

namespace Corvalle::BrickLink::Pricing {

struct Cell {
  std::uint32_t quantity;
  double price;
};

// Sorts the cells stably by price (insertion sort: k is at most 11), then buys the wanted
// quantity from the cheapest cells first, adding units x price of every purchase to cost in
// purchase order. Cells that give nothing add nothing. Returns the quantity bought, which is
// the wanted quantity unless the cells together offer less.
inline std::uint32_t BuyItem(Cell* cells, std::uint32_t count, std::uint32_t wanted, double& cost) {
  for (std::uint32_t i = 1; i < count; ++i) {
    const Cell cell = cells[i];
    std::uint32_t j = i;
    while (j > 0 && cell.price < cells[j - 1].price) {
      cells[j] = cells[j - 1];
      --j;
    }
    cells[j] = cell;
  }
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
