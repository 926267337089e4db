#include "BoundedSearchWorker.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <limits>

#include "BoundedSearchTuning.h"
#include "StoreCombination.h"

namespace Corvalle::BrickLink::BoundedSearch {

using Tuning::kCoverVisits;
using Tuning::kGreedySwapRounds;
using Tuning::kLeastStoresToShare;
using Tuning::kNodeCoverIterations;
using Tuning::kNodeIterations;
using Tuning::kNodesPerProgressCheck;
using Tuning::kRootCoverIterations;
using Tuning::kRootIterations;

Level::Level(const SearchTable& table, std::uint32_t k)
    : cells(table.CellBegin(table.itemCount)),
      cellCount(table.itemCount, 0),
      missing(table.itemCount, 0),
      fill(table.itemCount, 0),
      fillTaken(table.itemCount, 0),
      itemCost(table.itemCount, 0.0),
      candidates(table.storeCount),
      values(table.storeCount),
      savings(table.storeCount),
      order(table.storeCount),
      dropped(table.storeCount, 0),
      multipliers(table.itemCount, 0.0),
      coverWeights(table.itemCount, 1.0),
      bestValues(table.storeCount),
      byValue(table.storeCount),
      childBounds(table.storeCount) {
  chosen.reserve(k);
}

Worker::Worker(const Shared& shared_)
    : shared(shared_),
      table(shared_.table),
      k(shared_.k),
      shipping(table.storeCount, 0.0),
      required(table.storeCount, 0),
      marks(table.storeCount, 0),
      selectedValues(kMaximumStores + 1),
      selectedPositions(kMaximumStores + 1),
      gradient(table.itemCount, 0.0),
      shares(table.itemCount, 0.0),
      storeShares(table.storeCount, 0.0),
      touchedAt(table.storeCount, 0) {
  for (std::uint32_t store = 0; store < table.storeCount; ++store) {
    shipping[store] = shared.rules.Shipping(store);
  }
  for (const std::uint32_t store : shared.rules.required) {
    required[store] = 1;
  }
  missingList.reserve(table.itemCount);
  // A Polyak step scaled per item by its wanted quantity: an item's price moves by its shortage
  // in units per unit wanted, so that a line of 300 does not swamp the lines of 1.
  scale.resize(table.itemCount);
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    scale[item] = std::max(1.0, static_cast<double>(table.wanted[item]));
  }
  touched.reserve(table.storeCount);
  for (std::uint32_t depth = 0; depth <= k; ++depth) {
    levels.emplace_back(table, k);
  }
}

Task Worker::RootTask() const {
  Task root;
  root.multipliers.assign(table.itemCount, 0.0);
  std::vector<Lot> lots;
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    lots.clear();
    for (const Offer& offer : table.OffersOfItem(item)) {
      const std::span<const Lot> offerLots = table.LotsOf(offer);
      lots.insert(lots.end(), offerLots.begin(), offerLots.end());
    }
    std::sort(lots.begin(), lots.end(),
              [](const Lot& first, const Lot& second) { return first.price < second.price; });
    std::uint64_t supplied = 0;  // capped lots of up to 2^32 - 1 units each
    for (const Lot& lot : lots) {
      supplied += lot.quantity;
      root.multipliers[item] = lot.price;
      if (supplied >= table.wanted[item]) {
        break;
      }
    }
  }
  root.chosen = shared.rules.required;
  for (std::uint32_t store = 0; store < table.storeCount; ++store) {
    if (required[store] == 0) {
      root.candidates.push_back(store);
    }
  }
  const auto chosen = static_cast<std::uint32_t>(root.chosen.size());
  root.combinations = shared.binomials(table.storeCount - chosen, k - chosen);
  root.root = true;
  return root;
}

void Worker::ExpandTask(const Task& task, std::vector<Task>& children) {
  splitDepth = static_cast<std::uint32_t>(task.chosen.size()) + 1;
  tasks = &children;
  ExploreTask(task);
  tasks = nullptr;
}

void Worker::ExploreTask(const Task& task) {
  const auto depth = static_cast<std::uint32_t>(task.chosen.size());
  Load(levels[depth], task.chosen);
  std::copy(task.candidates.begin(), task.candidates.end(), levels[depth].candidates.begin());
  levels[depth].candidateCount = static_cast<std::uint32_t>(task.candidates.size());
  std::copy(task.multipliers.begin(), task.multipliers.end(),
            levels[depth].multipliers.begin());
  std::fill(levels[depth].coverWeights.begin(), levels[depth].coverWeights.end(), 1.0);
  levels[depth].bound = task.bound;
  exploringRoot = task.root;
  Explore(depth, task.combinations);
}

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

void Worker::Load(Level& level, const std::vector<std::uint32_t>& stores) {
  level.chosen.clear();
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
  AddStore(child, store);
}

bool Worker::StoreBuys(const Level& level, std::uint32_t store) const {
  for (const Offer& offer : table.OffersOfStore(store)) {
    if (Buys(level, CellsOf(level, offer.other), offer.other, offer.price, store)) {
      return true;
    }
  }
  return false;
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

double Worker::StoreValue(const std::vector<double>& multipliers, std::uint32_t store) const {
  double value = 0.0;
  for (const Offer& offer : table.OffersOfStore(store)) {
    const double price = multipliers[offer.other];
    for (const Lot& lot : table.LotsOf(offer)) {
      if (!(lot.price < price)) {
        break;
      }
      value += static_cast<double>(lot.quantity) * (lot.price - price);
    }
  }
  return value;
}

void Worker::AddToStore(std::uint32_t store, double value) {
  if (touchedAt[store] != touchStamp) {
    touchedAt[store] = touchStamp;
    storeShares[store] = value;
    touched.push_back(store);
  } else {
    storeShares[store] += value;
  }
}

template <typename Accept, typename Better>
std::uint32_t Worker::SelectTouched(std::uint32_t r, Accept accept, Better better) {
  std::uint32_t selected = 0;
  for (const std::uint32_t store : touched) {
    const double value = storeShares[store];
    if (accept(value) && r > 0 && (selected < r || better(value, selectedValues[selected - 1]))) {
      std::uint32_t at = selected < r ? selected++ : r - 1;
      while (at > 0 && better(value, selectedValues[at - 1])) {
        selectedValues[at] = selectedValues[at - 1];
        selectedPositions[at] = selectedPositions[at - 1];
        --at;
      }
      selectedValues[at] = value;
      selectedPositions[at] = store;
    }
  }
  return selected;
}

double Worker::LagrangianBound(Level& level, std::uint32_t r, int iterations,
                               double& selectedWorst) {
  std::vector<double>& u = level.multipliers;
  double best = -Infinity();
  double step = 1.0;
  int sinceImprovement = 0;
  ++stamp;
  for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
    marks[level.candidates[position]] = stamp;
  }
  for (int iteration = 0; iteration < iterations; ++iteration) {
    double bound = 0.0;
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      bound += u[item] * static_cast<double>(table.wanted[item]);
    }
    for (const std::uint32_t store : level.chosen) {
      bound += StoreValue(u, store) + shipping[store];
    }
    // Only offers below the item price count, and the items' offers come cheapest first: the
    // candidates' values are gathered from the head of each item's offers.
    ++touchStamp;
    touched.clear();
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      const double price = u[item];
      for (const Offer& offer : table.OffersOfItem(item)) {
        if (!(offer.price < price)) {
          break;
        }
        if (marks[offer.other] != stamp) {
          continue;
        }
        double value = 0.0;
        for (const Lot& lot : table.LotsOf(offer)) {
          if (!(lot.price < price)) {
            break;
          }
          value += static_cast<double>(lot.quantity) * (lot.price - price);
        }
        AddToStore(offer.other, value);
      }
    }
    if (shared.rules.ChargesShipping()) {
      for (const std::uint32_t store : touched) {
        storeShares[store] += shipping[store];
      }
    }
    // The r most negative candidate values.
    const std::uint32_t selected = SelectTouched(
        r, [](double value) { return value < 0.0; },
        [](double value, double other) { return value < other; });
    const double base = bound;
    for (std::uint32_t index = 0; index < selected; ++index) {
      bound += selectedValues[index];
    }
    if (bound > best) {
      best = bound;
      level.base = base;
      sinceImprovement = 0;
      for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
        const std::uint32_t store = level.candidates[position];
        level.bestValues[position] =
            touchedAt[store] == touchStamp ? storeShares[store] : shipping[store];
      }
      std::copy(u.begin(), u.end(), bestMultipliers.begin());
      selectedWorst = selected == r ? selectedValues[r - 1] : 0.0;
    } else if (++sinceImprovement >= 5) {
      step /= 2.0;
      sinceImprovement = 0;
    }
    const double threshold = shared.plans.Threshold();
    if (Exceeds(best, threshold) || iteration + 1 == iterations) {
      break;
    }
    // The subgradient: wanted units less those that the chosen and selected stores would
    // supply below the item prices.
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      gradient[item] = static_cast<double>(table.wanted[item]);
    }
    const auto subtract = [&](std::uint32_t store) {
      for (const Offer& offer : table.OffersOfStore(store)) {
        for (const Lot& lot : table.LotsOf(offer)) {
          if (!(lot.price < u[offer.other])) {
            break;
          }
          gradient[offer.other] -= static_cast<double>(lot.quantity);
        }
      }
    };
    for (const std::uint32_t store : level.chosen) {
      subtract(store);
    }
    for (std::uint32_t index = 0; index < selected; ++index) {
      subtract(selectedPositions[index]);
    }
    double norm = 0.0;
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      norm += gradient[item] * gradient[item] / scale[item];
    }
    if (norm == 0.0) {
      break;  // the prices are optimal
    }
    const double target = std::isinf(threshold)
                              ? bound + std::max(1.0, std::abs(bound) * 0.05)
                              : threshold;
    const double length =
        step * std::max(target - bound, 1e-9 * std::max(1.0, std::abs(bound))) / norm;
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      u[item] = std::max(0.0, u[item] + length * gradient[item] / scale[item]);
    }
  }
  std::copy(bestMultipliers.begin(), bestMultipliers.end(), u.begin());
  return best;
}

double Worker::LevelCost(const Level& level) const {
  double cost = 0.0;
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    cost += level.itemCost[item];
  }
  return cost + ChosenShipping(level);
}

double Worker::ChosenShipping(const Level& level) const {
  double total = 0.0;
  for (const std::uint32_t store : level.chosen) {
    total += shipping[store];
  }
  return total;
}

void Worker::OfferLevel(const Level& level, double approximateCost) {
  if (Exceeds(approximateCost, shared.plans.Threshold())) {
    return;
  }
  const auto size = static_cast<std::uint32_t>(level.chosen.size());
  if (size < k && !shared.rules.ChargesShipping()) {
    std::uint32_t idle = 0;
    for (std::uint32_t store = 0; store < table.storeCount && idle < k - size; ++store) {
      if (std::find(level.chosen.begin(), level.chosen.end(), store) == level.chosen.end() &&
          !StoreBuys(level, store)) {
        ++idle;
      }
    }
    if (idle < k - size) {
      return;
    }
  }
  std::vector<std::uint32_t> columns(level.chosen);
  std::sort(columns.begin(), columns.end());
  StoreCombination combination(std::move(columns));
  combination.CalculateMinimumCost(shared.items, shared.consolidatedLotData, shared.rules);
  const double cost = combination.Cost();
  std::vector<std::uint32_t> indices = combination.StoreIndices();
  shared.plans.Offer(std::move(indices), cost);
}

void Worker::OfferSet(const std::vector<std::uint32_t>& stores) {
  Level& work = levels[0];
  Load(work, stores);
  if (work.missingItems != 0) {
    return;
  }
  std::vector<std::uint32_t> buying;
  for (const std::uint32_t store : stores) {
    if (required[store] != 0 || StoreBuys(work, store)) {
      buying.push_back(store);
    }
  }
  if (buying.size() != stores.size()) {
    Load(work, buying);
  }
  OfferLevel(work, LevelCost(work));
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

void Worker::Settle(double combinations) {
  pendingSettled += combinations;
  if (++nodesSinceReport >= kNodesPerProgressCheck) {
    Flush();
  }
}

void Worker::Flush() {
  shared.progress.Add(pendingSettled);
  pendingSettled = 0.0;
  nodesSinceReport = 0;
  shared.progress.Report(false);
}

void Worker::Explore(std::uint32_t depth, double combinations) {
  Level& level = levels[depth];
  // A node is a few microseconds of work at least: the clock can be asked at every one.
  if (!exploringRoot &&
      ((shared.deadline && Clock::now() >= *shared.deadline) ||
       (shared.nodeLimit &&
        shared.nodesVisited.fetch_add(1, std::memory_order_relaxed) >= *shared.nodeLimit) ||
       (shared.stopRequest != nullptr && shared.stopRequest->load(std::memory_order_relaxed)))) {
    shared.stopped.store(true, std::memory_order_relaxed);
  }
  if (!exploringRoot && shared.stopped.load(std::memory_order_relaxed)) {
    // Past the deadline: the subtree stays unsettled, and only its bound is known of it.
    unsettledBound = std::min(unsettledBound, level.bound);
    return;
  }
  exploringRoot = false;
  ++statistics.nodes;
  const std::uint32_t r = k - depth;
  double handedOn = 0.0;
  ExploreNode(depth, level, r, handedOn);
  Settle(combinations - handedOn);
}

void Worker::ExploreNode(std::uint32_t depth, Level& level, std::uint32_t r, double& handedOn) {
  for (const std::uint32_t store : level.chosen) {
    if (required[store] == 0 && !StoreBuys(level, store)) {
      return; //  its plans are those of the sets without it
    }
  }
  const bool supplied = level.missingItems == 0;
  double cost = Infinity();
  if (supplied) {
    ++statistics.combinationsPriced;
    cost = LevelCost(level);
    OfferLevel(level, cost);
    if (r == 0) {
      pricedLeaves += 1.0;
    }
  }
  if (r == 0) {
    return;
  }

  if (!supplied && r == 1) {
    CompleteWithOneStore(depth, level, handedOn);
    return;
  }

  // Candidates that would buy nothing next to the chosen stores never will below them. Their
  // savings tell it for free once everything is supplied; before, the bounds below drop them
  // as well, and looking for them would cost more than it cuts.
  // So do candidates that would leave a chosen store buying nothing: purchases only move back.
  MarkIdlingCandidates(level);
  std::uint32_t kept = 0;
  for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
    const std::uint32_t store = level.candidates[position];
    if (marks[store] == stamp) {
      continue;
    }
    bool buys = true;
    double saving = 0.0;
    if (supplied) {
      saving = Saving(level, store, buys);
    }
    if (buys) {
      level.candidates[kept] = store;
      level.savings[kept] = saving - shipping[store];
      ++kept;
    }
  }
  level.candidateCount = kept;
  if (kept == 0) {
    return;
  }

  double threshold = shared.plans.Threshold();
  if (supplied) {
    // No plan below costs less than cost minus the r largest single savings.
    std::copy_n(level.savings.begin(), kept, level.values.begin());
    const std::uint32_t top = std::min(r, kept);
    std::nth_element(level.values.begin(), level.values.begin() + (top - 1),
                     level.values.begin() + kept, std::greater<>());
    double largest = 0.0;
    for (std::uint32_t index = 0; index < top; ++index) {
      largest += std::max(0.0, level.values[index]);
    }
    if (Exceeds(cost - largest, threshold)) {
      return;
    }
    level.bound = std::max(level.bound, cost - largest);
  } else if (!Coverable(level, r) ||
             !FractionallyCoverable(level, r, depth == 0 ? kRootCoverIterations
                                                         : kNodeCoverIterations * r)) {
    return;
  }

  double selectedWorst = 0.0;
  const double bound =
      LagrangianBound(level, r, depth == 0 ? kRootIterations : kNodeIterations, selectedWorst);
  threshold = shared.plans.Threshold();
  if (Exceeds(bound, threshold)) {
    return;
  }
  level.bound = std::max(level.bound, bound);
  // A candidate whose inclusion alone lifts the bound above the threshold is dropped.
  kept = 0;
  for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
    if (!Exceeds(bound + level.bestValues[position] - selectedWorst, threshold)) {
      level.candidates[kept] = level.candidates[position];
      level.savings[kept] = level.savings[position];
      level.bestValues[kept] = level.bestValues[position];
      ++kept;
    }
  }
  level.candidateCount = kept;
  if (kept == 0) {
    return;
  }

  if (supplied) {
    BranchOnSavings(depth, level, r, cost, handedOn);
  } else {
    BranchOnMissingItem(depth, level, r, handedOn);
  }
}

const Offer* Worker::FindOffer(std::uint32_t store, std::uint32_t item) const {
  const std::span<const Offer> offers = table.OffersOfStore(store);
  const auto found = std::lower_bound(
      offers.begin(), offers.end(), item,
      [](const Offer& offer, std::uint32_t wanted) { return offer.other < wanted; });
  return found == offers.end() || found->other != item ? nullptr : &*found;
}

std::uint32_t Worker::UnitsBefore(const Offer& offer, std::uint32_t offerStore, double price,
                                  std::uint32_t store) const {
  std::uint32_t units = 0;
  for (const Lot& lot : table.LotsOf(offer)) {
    if (!Before(lot.price, offerStore, price, store)) {
      break;
    }
    units += lot.quantity;
  }
  return units;
}

void Worker::MarkIdlingCandidates(Level& level) {
  ++stamp;
  const std::uint32_t candidateStamp = stamp;
  for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
    marks[level.candidates[position]] = candidateStamp;
  }
  ++stamp;  // idling candidates get this one
  for (const std::uint32_t chosen : level.chosen) {
    if (required[chosen] != 0) {
      continue;
    }
    // A store buys an item as long as fewer units than wanted come before its cheapest lot.
    // The items it buys, with the units before it there now.
    buyingOffers.clear();
    for (const Offer& offer : table.OffersOfStore(chosen)) {
      const ChosenCell* cells = CellsOf(level, offer.other);
      std::uint64_t ahead = 0;
      for (std::uint32_t position = 0; cells[position].store != chosen; ++position) {
        ahead += cells[position].quantity;
      }
      if (ahead < table.wanted[offer.other]) {
        buyingOffers.push_back({&offer, static_cast<std::uint32_t>(ahead)});
      }
    }
    if (buyingOffers.empty()) {
      continue;
    }
    // Only a candidate with a lot before the store's in each of those items can idle it; the
    // item's offers come in the order of their cheapest lots.
    const Offer& first = *buyingOffers.front().offer;
    for (const Offer& offer : table.OffersOfItem(first.other)) {
      if (!Before(offer.price, offer.other, first.price, chosen)) {
        break;
      }
      const std::uint32_t candidate = offer.other;
      if (marks[candidate] != candidateStamp) {
        continue;
      }
      bool idles = true;
      for (const BuyingOffer& own : buyingOffers) {
        const Offer* extra = own.offer == &first ? &offer : FindOffer(candidate, own.offer->other);
        if (extra == nullptr ||
            own.ahead + static_cast<std::uint64_t>(UnitsBefore(*extra, candidate, own.offer->price, chosen)) <
                table.wanted[own.offer->other]) {
          idles = false;
          break;
        }
      }
      if (idles) {
        marks[candidate] = stamp;
      }
    }
  }
}

bool Worker::Coverable(Level& level, std::uint32_t r) {
  ++stamp;
  for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
    marks[level.candidates[position]] = stamp;
  }
  std::uint32_t fewest = std::numeric_limits<std::uint32_t>::max();
  std::uint32_t largest[kMaximumStores];
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    if (level.missing[item] == 0) {
      continue;
    }
    std::uint32_t count = 0;
    std::uint32_t held = 0;
    for (const Offer& offer : table.OffersOfItem(item)) {
      if (marks[offer.other] != stamp) {
        continue;
      }
      ++count;
      // The r largest quantities, sorted descending.
      if (held < r || offer.quantity > largest[held - 1]) {
        std::uint32_t at = held < r ? held++ : r - 1;
        while (at > 0 && offer.quantity > largest[at - 1]) {
          largest[at] = largest[at - 1];
          --at;
        }
        largest[at] = offer.quantity;
      }
    }
    std::uint64_t most = 0;
    for (std::uint32_t index = 0; index < held; ++index) {
      most += largest[index];
    }
    if (most < level.missing[item]) {
      return false;
    }
    if (count < fewest) {
      fewest = count;
      branchItem = item;
    }
  }
  return true;
}

bool Worker::FractionallyCoverable(Level& level, std::uint32_t r, int iterations) {
  std::vector<double>& weights = level.coverWeights;
  missingList.clear();
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    if (level.missing[item] != 0) {
      missingList.push_back(item);
      shares[item] = 1.0 / level.missing[item];
      weights[item] = std::max(weights[item], 1e-6);
    }
  }
  // Only the candidates offering a missing item count, found through the items' offers.
  ++stamp;
  for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
    marks[level.candidates[position]] = stamp;
  }
  for (int iteration = 0; iteration < iterations; ++iteration) {
    double total = 0.0;
    ++touchStamp;
    touched.clear();
    for (const std::uint32_t item : missingList) {
      total += weights[item];
      for (const Offer& offer : table.OffersOfItem(item)) {
        if (marks[offer.other] != stamp) {
          continue;
        }
        AddToStore(offer.other, weights[item] * std::min(1.0, static_cast<double>(offer.quantity) *
                                                                  shares[item]));
      }
    }
    // The r largest weighted shares.
    const std::uint32_t selected = SelectTouched(
        r, [](double) { return true; }, [](double value, double other) { return value > other; });
    double most = 0.0;
    for (std::uint32_t index = 0; index < selected; ++index) {
      most += selectedValues[index];
    }
    if (most < total * (1.0 - kRelativeTolerance)) {
      return false;
    }
    if (iteration + 1 == iterations) {
      break;
    }
    // Weigh up the items that the best r leave short, down the ones they cover over.
    for (const std::uint32_t item : missingList) {
      gradient[item] = 0.0;
    }
    for (std::uint32_t index = 0; index < selected; ++index) {
      for (const Offer& offer : table.OffersOfStore(selectedPositions[index])) {
        if (level.missing[offer.other] != 0) {
          gradient[offer.other] +=
              std::min(1.0, static_cast<double>(offer.quantity) * shares[offer.other]);
        }
      }
    }
    double sum = 0.0;
    for (const std::uint32_t item : missingList) {
      weights[item] *= std::exp(0.7 * (1.0 - std::min(gradient[item], 2.0)));
      sum += weights[item];
    }
    for (const std::uint32_t item : missingList) {
      weights[item] *= static_cast<double>(missingList.size()) / sum;
    }
  }
  return true;
}

void Worker::CompleteWithOneStore(std::uint32_t depth, Level& level, double& handedOn) {
  std::uint32_t rarest = table.itemCount;
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    if (level.missing[item] != 0 &&
        (rarest == table.itemCount ||
         table.OffersOfItem(item).size() < table.OffersOfItem(rarest).size())) {
      rarest = item;
    }
  }
  ++stamp;
  for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
    marks[level.candidates[position]] = stamp;
  }
  // The units bought so far, with the chosen stores' shipping.
  const double levelCost = LevelCost(level);
  for (const Offer& offer : table.OffersOfItem(rarest)) {
    if (marks[offer.other] != stamp || offer.quantity < level.missing[rarest]) {
      continue;
    }
    std::uint32_t completed = 0;
    for (const Offer& other : table.OffersOfStore(offer.other)) {
      completed += level.missing[other.other] != 0 &&
                           other.quantity >= level.missing[other.other]
                       ? 1
                       : 0;
    }
    if (completed != level.missingItems) {
      continue;
    }
    // The leaf's cost is known here: most completions are dearer than the kept plans, and
    // pricing them here spares making them.
    double cost = levelCost + shipping[offer.other];
    for (const Offer& other : table.OffersOfStore(offer.other)) {
      cost += ItemPenalizedCost(level, other.other, &other, offer.other, 0.0) -
              level.itemCost[other.other];
    }
    if (Exceeds(cost, shared.plans.Threshold())) {
      continue;
    }
    MakeChild(depth, offer.other);
    levels[depth + 1].candidateCount = 0;
    handedOn += 1.0;
    Descend(depth + 1, 1.0);
  }
}

void Worker::BranchOnMissingItem(std::uint32_t depth, Level& level, std::uint32_t r,
                                 double& handedOn) {
  const std::uint32_t item = branchItem;
  ChildBounds(level, r);
  // Positions of the candidates offering the item whose subtrees may still hold a plan.
  ++stamp;
  for (const Offer& offer : table.OffersOfItem(item)) {
    marks[offer.other] = stamp;
  }
  std::fill_n(level.dropped.begin(), level.candidateCount, 0);
  std::uint32_t remaining = level.candidateCount;
  double threshold = shared.plans.Threshold();
  std::uint32_t count = 0;
  for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
    if (Exceeds(level.childBounds[position], threshold)) {
      // No plan below holds it, whichever child it would go to.
      level.dropped[position] = 1;
      --remaining;
    } else if (marks[level.candidates[position]] == stamp) {
      level.order[count++] = position;
    }
  }
  // The most promising first, by value: their plans make the threshold tight for the others.
  // (By the children's bounds instead, the one-item table took three times the nodes.)
  std::sort(level.order.begin(), level.order.begin() + count,
            [&](std::uint32_t first, std::uint32_t second) {
              return level.bestValues[first] != level.bestValues[second]
                         ? level.bestValues[first] < level.bestValues[second]
                         : first < second;
            });
  std::uint32_t end = count;
  for (std::uint32_t child = 0; child < end; ++child) {
    if (ShouldShare(r, end - child)) {
      // The later half of the children is the node without the candidates dropped before it.
      // Handing on only half keeps the two workers from passing the node back and forth, each
      // time working out its bounds again for one child.
      const std::uint32_t split = child + (end - child) / 2;
      ++stamp;
      for (std::uint32_t index = child; index < split; ++index) {
        marks[level.candidates[level.order[index]]] = stamp;
      }
      std::vector<std::uint32_t> rest;
      for (std::uint32_t other = 0; other < level.candidateCount; ++other) {
        if (level.dropped[other] == 0 && marks[level.candidates[other]] != stamp) {
          rest.push_back(level.candidates[other]);
        }
      }
      const double combinations = shared.binomials(static_cast<std::uint32_t>(rest.size()), r);
      Share(level, std::move(rest), combinations);
      handedOn += combinations;
      end = split;
    }
    const std::uint32_t position = level.order[child];
    const std::uint32_t store = level.candidates[position];
    level.dropped[position] = 1;
    --remaining;
    const double combinations = shared.binomials(remaining, r - 1);
    threshold = shared.plans.Threshold();
    if (Exceeds(level.childBounds[position], threshold)) {
      continue;  // settled with the node
    }
    MakeChild(depth, store);
    Level& next = levels[depth + 1];
    next.bound = std::max(next.bound, level.childBounds[position]);
    std::uint32_t nextCount = 0;
    for (std::uint32_t other = 0; other < level.candidateCount; ++other) {
      if (level.dropped[other] == 0) {
        next.candidates[nextCount++] = level.candidates[other];
      }
    }
    next.candidateCount = nextCount;
    handedOn += combinations;
    Descend(depth + 1, combinations);
  }
}

void Worker::ChildBounds(Level& level, std::uint32_t r) {
  const std::uint32_t count = level.candidateCount;
  // Candidates by value, most negative first, and where each store stands.
  for (std::uint32_t position = 0; position < count; ++position) {
    level.byValue[position] = position;
    positionOf[level.candidates[position]] = position;
  }
  std::sort(level.byValue.begin(), level.byValue.begin() + count,
            [&](std::uint32_t first, std::uint32_t second) {
              return level.bestValues[first] < level.bestValues[second];
            });
  // The two best values among the candidates offering each missing item.
  missingList.clear();
  ++stamp;
  for (std::uint32_t position = 0; position < count; ++position) {
    marks[level.candidates[position]] = stamp;
  }
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    if (level.missing[item] == 0) {
      continue;
    }
    missingList.push_back(item);
    BestOfferers& best = offerers[item];
    best = {Infinity(), Infinity(), count};
    for (const Offer& offer : table.OffersOfItem(item)) {
      if (marks[offer.other] != stamp) {
        continue;
      }
      const std::uint32_t position = positionOf[offer.other];
      const double value = level.bestValues[position];
      if (value < best.first) {
        best.second = best.first;
        best.first = value;
        best.firstPosition = position;
      } else if (value < best.second) {
        best.second = value;
      }
    }
  }
  const bool searchCovers = r >= 3 && !missingList.empty() && missingList.size() <= 64;
  if (r == 2 || searchCovers) {
    // Per candidate, the missing items it offers, as bits.
    maskWords = static_cast<std::uint32_t>((missingList.size() + 63) / 64);
    offeredMasks.assign(std::size_t{count} * maskWords, 0);
    neededMask.assign(maskWords, 0);
    for (std::uint32_t index = 0; index < missingList.size(); ++index) {
      const std::uint32_t item = missingList[index];
      missingIndex[item] = index;
      for (const Offer& offer : table.OffersOfItem(item)) {
        if (marks[offer.other] == stamp) {
          offeredMasks[std::size_t{positionOf[offer.other]} * maskWords + index / 64] |=
              std::uint64_t{1} << (index % 64);
        }
      }
    }
  }
  if (searchCovers) {
    PrepareCoverSearch(level);
  }
  // Sums of the most negative values but one candidate's: of the best m, or of the best m + 1
  // when the candidate is among them.
  double prefix[kMaximumStores + 2] = {0.0};
  const std::uint32_t depthOfPrefix = std::min(r, count);
  for (std::uint32_t index = 0; index < depthOfPrefix; ++index) {
    prefix[index + 1] = prefix[index] + std::min(0.0, level.bestValues[level.byValue[index]]);
  }
  const auto othersBest = [&](std::uint32_t m, std::uint32_t position) {
    double sum = prefix[std::min(m, depthOfPrefix)];
    for (std::uint32_t index = 0; index < std::min(m, depthOfPrefix); ++index) {
      if (level.byValue[index] == position) {
        sum -= std::min(0.0, level.bestValues[position]);
        if (m < depthOfPrefix) {
          sum += std::min(0.0, level.bestValues[level.byValue[m]]);
        }
        break;
      }
    }
    return sum;
  };
  const double threshold = shared.plans.Threshold();
  for (std::uint32_t position = 0; position < count; ++position) {
    const std::uint32_t store = level.candidates[position];
    double bound = level.base + level.bestValues[position];
    // What is still missing with the candidate: every completion must offer it.
    ++broughtStamp;
    for (const Offer& offer : table.OffersOfStore(store)) {
      broughtAt[offer.other] = broughtStamp;
      brought[offer.other] = offer.quantity;
    }
    needs.clear();
    for (const std::uint32_t item : missingList) {
      const std::uint32_t units = broughtAt[item] == broughtStamp ? brought[item] : 0;
      if (units < level.missing[item]) {
        needs.push_back({item, level.missing[item] - units});
      }
    }
    if (needs.empty()) {
      level.childBounds[position] = bound + othersBest(r - 1, position);
      continue;
    }
    // Some store of the others must offer each item still missing.
    double others = othersBest(r - 1, position);
    const double withoutOne = othersBest(r - 2, position);
    for (const Need& need : needs) {
      const BestOfferers& best = offerers[need.item];
      const double offerer = best.firstPosition == position ? best.second : best.first;
      others = std::max(others, offerer + withoutOne);
    }
    if (r == 2) {
      // One more store must complete the rest alone: the best by value of those that offer
      // every item still missing and can complete it.
      std::uint64_t* needed = neededMask.data();
      std::fill_n(needed, maskWords, 0);
      for (const Need& need : needs) {
        needed[missingIndex[need.item] / 64] |= std::uint64_t{1} << (missingIndex[need.item] % 64);
      }
      double completing = Infinity();
      for (std::uint32_t index = 0; index < count; ++index) {
        const std::uint32_t other = level.byValue[index];
        if (other == position) {
          continue;
        }
        if (Exceeds(bound + level.bestValues[other], threshold)) {
          completing = level.bestValues[other];
          break;
        }
        const std::uint64_t* offered = offeredMasks.data() + std::size_t{other} * maskWords;
        bool offersAll = true;
        for (std::uint32_t word = 0; word < maskWords; ++word) {
          if ((needed[word] & ~offered[word]) != 0) {
            offersAll = false;
            break;
          }
        }
        if (!offersAll) {
          continue;
        }
        bool completes = true;
        for (const Need& need : needs) {
          if (FindOffer(level.candidates[other], need.item)->quantity < need.units) {
            completes = false;
            break;
          }
        }
        if (completes) {
          completing = level.bestValues[other];
          break;
        }
      }
      others = std::max(others, completing);
    } else if (searchCovers && !Exceeds(bound + others, threshold) &&
               FindOffer(store, branchItem) != nullptr) {
      // Only for the children: the other candidates' bounds cut less than the search costs.
      std::uint64_t needed = 0;
      for (const Need& need : needs) {
        needed |= std::uint64_t{1} << missingIndex[need.item];
      }
      coverVisits = 0;
      others = std::max(others, LeastCover(needed, r - 1, 0.0, threshold - bound));
    }
    level.childBounds[position] = bound + others;
  }
}

void Worker::PrepareCoverSearch(const Level& level) {
  const auto items = static_cast<std::uint32_t>(missingList.size());
  coverBegin.assign(items + 1, 0);
  for (std::uint32_t index = 0; index < level.candidateCount; ++index) {
    for (std::uint64_t mask = offeredMasks[index]; mask != 0; mask &= mask - 1) {
      ++coverBegin[static_cast<std::uint32_t>(std::countr_zero(mask)) + 1];
    }
  }
  for (std::uint32_t index = 0; index < items; ++index) {
    coverBegin[index + 1] += coverBegin[index];
  }
  coverOfferers.resize(coverBegin[items]);
  coverFill.assign(coverBegin.begin(), coverBegin.end() - 1);
  // Through the candidates by value, so that each item's offerers come best first.
  for (std::uint32_t index = 0; index < level.candidateCount; ++index) {
    const std::uint32_t position = level.byValue[index];
    for (std::uint64_t mask = offeredMasks[position]; mask != 0; mask &= mask - 1) {
      coverOfferers[coverFill[static_cast<std::uint32_t>(std::countr_zero(mask))]++] = position;
    }
  }
  coverValues = level.bestValues.data();
  coverPrefix[0] = 0.0;
  for (std::uint32_t index = 0; index < kMaximumStores; ++index) {
    coverPrefix[index + 1] =
        coverPrefix[index] +
        (index < level.candidateCount ? std::min(0.0, level.bestValues[level.byValue[index]])
                                      : 0.0);
  }
}

double Worker::LeastCover(std::uint64_t needed, std::uint32_t slots, double spent,
                          double limit) {
  if (needed == 0) {
    return spent + coverPrefix[slots];
  }
  if (slots == 0) {
    return Infinity();
  }
  // The item with the fewest offerers: its offerers are the branches.
  std::uint32_t item = 0;
  std::uint32_t fewest = std::numeric_limits<std::uint32_t>::max();
  double worstBest = -Infinity();
  for (std::uint64_t mask = needed; mask != 0; mask &= mask - 1) {
    const auto index = static_cast<std::uint32_t>(std::countr_zero(mask));
    const std::uint32_t count = coverBegin[index + 1] - coverBegin[index];
    if (count == 0) {
      return Infinity();
    }
    worstBest = std::max(worstBest, coverValues[coverOfferers[coverBegin[index]]]);
    if (count < fewest) {
      fewest = count;
      item = index;
    }
  }
  const double rest = coverPrefix[slots - 1];
  const double relaxed = spent + std::max(coverPrefix[slots], worstBest + rest);
  if (Exceeds(relaxed, limit) || ++coverVisits > kCoverVisits) {
    return relaxed;
  }
  double least = Infinity();
  if (slots == 1) {
    // The best offerer of the rarest item that offers every other needed item too.
    for (std::uint32_t at = coverBegin[item]; at < coverBegin[item + 1]; ++at) {
      const std::uint32_t position = coverOfferers[at];
      if ((needed & ~offeredMasks[position]) == 0) {
        return spent + coverValues[position];
      }
    }
    return Infinity();
  }
  for (std::uint32_t at = coverBegin[item]; at < coverBegin[item + 1]; ++at) {
    const std::uint32_t position = coverOfferers[at];
    const double value = coverValues[position];
    const double branch = spent + value + rest;
    if (Exceeds(branch, limit) || coverVisits > kCoverVisits) {
      // The later offerers' values are no smaller.
      return std::min(least, branch);
    }
    least = std::min(least, LeastCover(needed & ~offeredMasks[position], slots - 1,
                                       spent + value, limit));
    if (!std::isinf(least) && !Exceeds(least, limit)) {
      return relaxed;  // some cover fits: only the relaxed bound is known
    }
  }
  return least;
}

void Worker::BranchOnSavings(std::uint32_t depth, Level& level, std::uint32_t r, double cost,
                             double& handedOn) {
  const std::uint32_t count = level.candidateCount;
  for (std::uint32_t position = 0; position < count; ++position) {
    level.order[position] = position;
  }
  std::sort(level.order.begin(), level.order.begin() + count,
            [&](std::uint32_t first, std::uint32_t second) {
              return level.savings[first] != level.savings[second]
                         ? level.savings[first] > level.savings[second]
                         : first < second;
            });
  // The most child j's plans can save: its own saving and the positive ones of the r - 1
  // children after it. (Savings are net of shipping, so later ones may be negative; the sum
  // still falls from child to child.)
  const auto window = [&](std::uint32_t child) {
    double most = level.savings[level.order[child]];
    for (std::uint32_t index = child + 1; index < std::min(child + r, count); ++index) {
      most += std::max(0.0, level.savings[level.order[index]]);
    }
    return most;
  };
  std::uint32_t end = count;
  for (std::uint32_t child = 0; child < end; ++child) {
    if (Exceeds(cost - window(child), shared.plans.Threshold())) {
      return;
    }
    if (ShouldShare(r, end - child)) {
      // The later half, as while items are missing.
      const std::uint32_t split = child + (end - child) / 2;
      std::vector<std::uint32_t> rest;
      for (std::uint32_t index = split; index < count; ++index) {
        rest.push_back(level.candidates[level.order[index]]);
      }
      const double combinations = shared.binomials(count - split, r);
      Share(level, std::move(rest), combinations);
      handedOn += combinations;
      end = split;
    }
    const std::uint32_t store = level.candidates[level.order[child]];
    const std::uint32_t remaining = count - child - 1;
    const double combinations = shared.binomials(remaining, r - 1);
    MakeChild(depth, store);
    Level& next = levels[depth + 1];
    next.bound = std::max(next.bound, cost - window(child));
    for (std::uint32_t index = 0; index < remaining; ++index) {
      next.candidates[index] = level.candidates[level.order[child + 1 + index]];
    }
    next.candidateCount = remaining;
    handedOn += combinations;
    Descend(depth + 1, combinations);
  }
}

bool Worker::ShouldShare(std::uint32_t r, std::uint32_t siblingsLeft) const {
  return shared.pool != nullptr && r >= kLeastStoresToShare && siblingsLeft >= 2 &&
         shared.pool->Hungry();
}

void Worker::Share(const Level& level, std::vector<std::uint32_t>&& candidates,
                   double combinations) {
  shared.pool->Push(
      Task{level.chosen, std::move(candidates), level.multipliers, combinations, level.bound});
}

void Worker::Descend(std::uint32_t depth, double combinations) {
  if (depth == splitDepth && tasks != nullptr) {
    const Level& level = levels[depth];
    tasks->push_back(
        Task{level.chosen,
             std::vector<std::uint32_t>(level.candidates.begin(),
                                        level.candidates.begin() + level.candidateCount),
             level.multipliers, combinations, level.bound});
    return;
  }
  Explore(depth, combinations);
}

}  // namespace Corvalle::BrickLink::BoundedSearch
