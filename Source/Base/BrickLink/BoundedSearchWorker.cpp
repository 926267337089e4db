#include "Source/Base/BrickLink/BoundedSearchWorker.h"

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "Source/Base/Assert.h"
#include "Source/Base/BrickLink/BoundedSearchTuning.h"

namespace Corvalle::BrickLink::BoundedSearch {

using Tuning::kFirstLevelStep;
using Tuning::kMostStoresForNearStep;
using Tuning::kNearStep;
using Tuning::kLeastStoresToShare;
using Tuning::kMostStoresToComplete;
using Tuning::kNodeCoverIterations;
using Tuning::kNodeIterations;
using Tuning::kNodeStep;
using Tuning::kNodesPerProgressCheck;
using Tuning::kRootCoverIterations;
using Tuning::kRootIterations;
using Tuning::kThinnedShare;
using Tuning::kThreeToGoIterations;

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
      childBounds(table.storeCount),
      candidateOfferBegin(table.itemCount + 1, 0) {
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
      positionValues(table.storeCount, 0.0),
      storeShares(table.storeCount, 0.0),
      touchedAt(table.storeCount, 0) {
  // The sifted offers keep a flag in the store's top bit; a table that wide could not be held.
  CORVALLE_ASSERT(table.storeCount < kSeveralLots);
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
  touched.resize(table.storeCount);
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
  level.offersSifted = false;
  for (const std::uint32_t store : level.chosen) {
    if (required[store] == 0 && !StoreBuys(level, store)) {
      return; //  its plans are those of the sets without it
    }
  }
  if (SettledByColumns(level, r, level.bound)) {
    return;
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

  if (SettledByColumns(level, r, level.bound)) {
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
    if (Exceeds(cost - largest, threshold) || SettledByColumns(level, r, cost - largest)) {
      return;
    }
    level.bound = std::max(level.bound, cost - largest);
  } else if (r <= kMostStoresToComplete) {
    // The exact answer: the coverage bounds below could only agree with it. Coverable still
    // picks the item to branch on.
    if (!Completable(level, r)) {
      return;
    }
    if (r == 2) {
      KeepCompletingPairs(level);
    }
    if (!Coverable(level, r)) {
      return;
    }
  } else if (!Coverable(level, r) ||
             // Where one candidate's units can finish each missing item, the fractional cover is
             // a set cover, which the Lagrangian bound's steps with the cover bound better: on
             // the uniform, log-normal and tied worlds it cut no node that they did not, and took
             // up to a fifth of the time.
             (needsSeveral && !FractionallyCoverable(level, r,
                                                     depth == 0 ? kRootCoverIterations
                                                                : kNodeCoverIterations * r))) {
    return;
  }

  double selectedWorst = 0.0;
  // The root starts from its own prices; one store below it (the root holds the required
  // stores), the nodes take longer first steps.
  const double firstStep = depth == 0                                     ? 1.0
                           : depth == shared.rules.required.size() + 1 ? kFirstLevelStep
                           : r <= kMostStoresForNearStep                ? kNearStep
                                                                           : kNodeStep;
  const int iterations = depth == 0 ? kRootIterations
                         : r == 3   ? kThreeToGoIterations
                                    : kNodeIterations;
  double bound = LagrangianBound(level, r, iterations, firstStep, selectedWorst);
  threshold = shared.plans.Threshold();
  if (Exceeds(bound, threshold) || SettledByColumns(level, r, bound)) {
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
    if (SettledByColumns(level, 0, cost, offer.other)) {
      continue;  // a tie whose columns come no earlier than the last kept plan's
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
  // The children's candidates are among those left: they sift their offers from these alone.
  if (static_cast<double>(remaining) <
      kThinnedShare * static_cast<double>(level.siftedStores.size())) {
    thinStores.clear();
    for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
      if (level.dropped[position] == 0) {
        thinStores.push_back(level.candidates[position]);
      }
    }
    ThinSiftedOffers(level, thinStores);
  }
  // The most promising first, by value: their plans make the threshold tight for the others.
  // (By the children's bounds instead, the one-item table took three times the nodes.)
  if (Reaches(level.bound, shared.plans.TieFloor())) {
    // Below, plans can only tie the last kept one, and the earliest columns win: the smallest
    // stores first.
    std::sort(level.order.begin(), level.order.begin() + count,
              [&](std::uint32_t first, std::uint32_t second) {
                return level.candidates[first] < level.candidates[second];
              });
  } else {
    std::sort(level.order.begin(), level.order.begin() + count,
              [&](std::uint32_t first, std::uint32_t second) {
                return level.bestValues[first] != level.bestValues[second]
                           ? level.bestValues[first] < level.bestValues[second]
                           : first < second;
              });
  }
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
    if (Exceeds(level.childBounds[position], threshold) ||
        SettledByColumns(level, r - 1, std::max(level.bound, level.childBounds[position]), store,
                         true)) {
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

bool Worker::SettledByColumns(const Level& level, std::uint32_t r, double bound,
                              std::uint32_t added, bool skipDropped) {
  if ((level.chosen.empty() && added == kNoStore) || !Reaches(bound, shared.plans.TieFloor())) {
    return false;
  }
  std::uint32_t largest = added == kNoStore ? 0 : added;
  for (const std::uint32_t store : level.chosen) {
    largest = std::max(largest, store);
  }
  std::uint32_t smallest[kMaximumStores];
  std::uint32_t held = 0;
  for (std::uint32_t position = 0; r > 0 && position < level.candidateCount; ++position) {
    const std::uint32_t store = level.candidates[position];
    if (store < largest && (held < r || store < smallest[held - 1]) &&
        !(skipDropped && level.dropped[position] != 0)) {
      std::uint32_t at = held < r ? held++ : r - 1;
      while (at > 0 && store < smallest[at - 1]) {
        smallest[at] = smallest[at - 1];
        --at;
      }
      smallest[at] = store;
    }
  }
  leastColumns.assign(level.chosen.begin(), level.chosen.end());
  if (added != kNoStore) {
    leastColumns.push_back(added);
  }
  leastColumns.insert(leastColumns.end(), smallest, smallest + held);
  std::sort(leastColumns.begin(), leastColumns.end());
  return shared.plans.Outlasts(bound, leastColumns);
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
