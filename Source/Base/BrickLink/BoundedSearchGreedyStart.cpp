// The quick good plans that the search starts from, so that its threshold is tight early.

#include "Source/Base/BrickLink/BoundedSearchWorker.h"

#include <algorithm>
#include <vector>

#include "Source/Base/BrickLink/BoundedSearchTuning.h"

namespace Corvalle::BrickLink::BoundedSearch {

using Tuning::kGreedySwapRounds;

void Worker::OfferHeuristicPlans(std::uint32_t neighbours) {
  if (k == 0) {
    return;
  }
  penalties.assign(table.itemCount, 0.0);
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    double dearest = 0.0;
    for (const Offer& offer : table.OffersOfItem(item)) {
      dearest = std::max(dearest, table.LotsOf(offer).back().price);
    }
    penalties[item] = 4.0 * dearest + 1.0;
  }
  std::vector<std::uint32_t> chosen(shared.rules.required);
  Level& work = levels[0];
  while (chosen.size() < k) {
    Load(work, chosen);
    const double current = PenalizedCost(work);
    double bestCost = current;
    std::uint32_t best = table.storeCount;
    for (std::uint32_t store = 0; store < table.storeCount; ++store) {
      if (std::find(chosen.begin(), chosen.end(), store) != chosen.end()) {
        continue;
      }
      const double cost = current + PenalizedChange(work, store) + shipping[store];
      if (cost < bestCost) {
        bestCost = cost;
        best = store;
      }
    }
    if (best == table.storeCount) {
      break;
    }
    chosen.push_back(best);
  }
  struct Swap {
    double cost;
    std::uint32_t out;
    std::uint32_t in;
  };
  std::vector<Swap> swaps;
  for (int round = 0; round < kGreedySwapRounds && !chosen.empty(); ++round) {
    swaps.clear();
    Load(work, chosen);
    const double current = PenalizedCost(work);
    std::vector<std::uint32_t> without;
    for (std::uint32_t out = 0; out < chosen.size(); ++out) {
      if (required[chosen[out]] != 0) {
        continue;
      }
      without = chosen;
      without.erase(without.begin() + out);
      Load(work, without);
      const double base = PenalizedCost(work);
      for (std::uint32_t store = 0; store < table.storeCount; ++store) {
        if (std::find(chosen.begin(), chosen.end(), store) != chosen.end()) {
          continue;
        }
        swaps.push_back({base + PenalizedChange(work, store) + shipping[store], out, store});
      }
    }
    const auto best = std::min_element(
        swaps.begin(), swaps.end(), [](const Swap& a, const Swap& b) { return a.cost < b.cost; });
    if (best == swaps.end() || !(best->cost < current - 1e-12 * std::max(1.0, current))) {
      break;
    }
    chosen[best->out] = best->in;
  }
  OfferSet(chosen);
  const std::size_t count = std::min<std::size_t>(swaps.size(), neighbours);
  std::partial_sort(swaps.begin(), swaps.begin() + static_cast<std::ptrdiff_t>(count),
                    swaps.end(), [](const Swap& a, const Swap& b) { return a.cost < b.cost; });
  std::vector<std::uint32_t> neighbour;
  for (std::size_t index = 0; index < count; ++index) {
    neighbour = chosen;
    neighbour[swaps[index].out] = swaps[index].in;
    OfferSet(neighbour);
  }
  for (std::uint32_t out = 0; out < chosen.size(); ++out) {
    if (required[chosen[out]] != 0) {
      continue;
    }
    neighbour = chosen;
    neighbour.erase(neighbour.begin() + out);
    OfferSet(neighbour);
  }
}

double Worker::PenalizedCost(const Level& level) const {
  double cost = ChosenShipping(level);
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    cost += ItemPenalizedCost(level, item, nullptr, 0, penalties[item]);
  }
  return cost;
}

double Worker::PenalizedChange(const Level& level, std::uint32_t store) const {
  double change = 0.0;
  for (const Offer& offer : table.OffersOfStore(store)) {
    change += ItemPenalizedCost(level, offer.other, &offer, store, penalties[offer.other]) -
              ItemPenalizedCost(level, offer.other, nullptr, 0, penalties[offer.other]);
  }
  return change;
}

double Worker::ItemPenalizedCost(const Level& level, std::uint32_t item, const Offer* extra,
                                 std::uint32_t extraStore, double penalty) const {
  const ChosenCell* cells = CellsOf(level, item);
  std::uint32_t remaining = table.wanted[item];
  double cost = 0.0;
  const auto take = [&](std::uint32_t quantity, double price) {
    const std::uint32_t taken = std::min(quantity, remaining);
    cost += static_cast<double>(taken) * price;
    remaining -= taken;
  };
  const std::span<const Lot> extraLots =
      extra == nullptr ? std::span<const Lot>() : table.LotsOf(*extra);
  std::size_t nextExtra = 0;
  for (std::uint32_t position = 0; position < level.cellCount[item] && remaining != 0;
       ++position) {
    while (nextExtra < extraLots.size() && remaining != 0 &&
           Before(extraLots[nextExtra].price, extraStore, cells[position].price,
                  cells[position].store)) {
      take(extraLots[nextExtra].quantity, extraLots[nextExtra].price);
      ++nextExtra;
    }
    take(cells[position].quantity, cells[position].price);
  }
  for (; nextExtra < extraLots.size() && remaining != 0; ++nextExtra) {
    take(extraLots[nextExtra].quantity, extraLots[nextExtra].price);
  }
  return remaining == 0 ? cost : cost + static_cast<double>(remaining) * penalty;
}

}  // namespace Corvalle::BrickLink::BoundedSearch
