// A depth-first branch and bound over sets of chosen stores.
//
// A node is a set C of chosen stores and a list of candidates that its subtree may still add,
// at most r = k - |C| of them. While C cannot supply every item, the node branches on the
// missing item with the fewest candidates: child b takes that item's b-th candidate and drops
// the ones before it, so each store set is reached once. Once C supplies everything, C itself is
// a candidate plan, and the node branches on the candidates in order of what each saves next to
// C: child j takes the j-th and drops the ones before it.
//
// Every rule that cuts the tree is a lower bound on the cost of each plan below a node, compared
// with the cost of the current last kept plan (shared by all workers); only a subtree whose
// bound exceeds it, with a margin far above rounding error, is cut. So the kept plans end up
// being exactly the cheapest ones, in (cost, columns) order, whatever the worker count and
// whatever order the workers happen to visit things in.
//
// - Supermodularity: for each item the cost of the cheapest wanted units of a store set falls
//   by no more when a store joins a larger set. So below a supplying C nothing costs less than
//   cost(C) minus the r largest savings of single candidates next to C; and as children come in
//   order of falling savings, once one child's bound exceeds the threshold so do all later ones.
// - A Lagrangian bound: for item prices u, a store's value v(u) = sum over its offers of
//   min(offered, wanted) x min(0, price - u), and any plan below the node costs at least
//   sum(u x wanted) + the values of C + the r most negative values of the candidates. A few
//   subgradient steps per node improve u, starting from the parent's. A candidate whose forced
//   inclusion already lifts the bound above the threshold is dropped for the whole subtree.
// - Coverage: every missing item must be completed by the r candidates offering most of it.
// - Purchases only move back as stores join: a store that buys nothing next to C buys nothing
//   next to any larger set. Such a candidate is dropped, and a node where a chosen store buys
//   nothing is cut, as its plans are those of sets without that store.
//
// Before the tree, a greedy choice improved by swapping stores gives the threshold a tight
// start. Progress counts k-store combinations: a node stands for C(|candidates|, r) of them,
// and whatever it cuts or drops is settled at once.

#include "BoundedCombinationSearch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <span>
#include <thread>

#include "Assert.h"

namespace Corvalle::BrickLink {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kMaximumStores = 11;
// Costs within this share of each other count as equal for cutting the tree: far above the
// rounding error of any bound, far below a hundredth of a cent.
constexpr double kRelativeTolerance = 1e-9;
// Subgradient steps at the root and at every other node.
constexpr int kRootIterations = 250;
constexpr int kNodeIterations = 32;
// Steps of the fractional coverage bound at the root, and per store still to choose elsewhere.
constexpr int kRootCoverIterations = 40;
constexpr int kNodeCoverIterations = 4;
// Nodes a worker visits between two looks at the clock for progress.
constexpr std::uint32_t kNodesPerProgressCheck = 256;
constexpr double kSecondsBetweenReports = 0.2;
// The workers share the tree as subtrees cut at a depth that gives each about this many.
constexpr std::size_t kTasksPerWorker = 16;

double Infinity() { return std::numeric_limits<double>::infinity(); }

// Whether a lower bound proves a subtree dearer than the threshold.
bool Exceeds(double bound, double threshold) {
  return bound > threshold + kRelativeTolerance * std::max(1.0, std::abs(threshold));
}

// One offer of the table: a price, the item (in a store's list) or the store (in an item's
// list), and the quantity, capped at the wanted quantity (more is never bought).
struct Offer {
  double price;
  std::uint32_t other;
  std::uint32_t quantity;
};

// Purchase order: by price, equal prices by column.
bool Before(double price, std::uint32_t store, double otherPrice, std::uint32_t otherStore) {
  return price < otherPrice || (price == otherPrice && store < otherStore);
}

// The table as the search reads it: only the items wanted at least once, only the cells that
// offer something, by store and by item.
class SearchTable {
 public:
  SearchTable(const std::vector<Item>& items, const ConsolidatedLotData& table)
      : storeCount(table.StoreCount()) {
    std::vector<std::uint32_t> rows;
    for (std::uint32_t row = 0; row < items.size(); ++row) {
      if (items[row].Quantity() != 0) {
        rows.push_back(row);
        wanted.push_back(items[row].Quantity());
      }
    }
    itemCount = static_cast<std::uint32_t>(rows.size());
    storeBegin.assign(storeCount + 1, 0);
    itemBegin.assign(itemCount + 1, 0);
    for (std::uint32_t item = 0; item < itemCount; ++item) {
      const LotData* cells = table.GetItemLotDataBegin(rows[item]);
      for (std::uint32_t store = 0; store < storeCount; ++store) {
        if (cells[store].quantity != 0) {
          ++storeBegin[store + 1];
          ++itemBegin[item + 1];
        }
      }
    }
    for (std::uint32_t store = 0; store < storeCount; ++store) {
      storeBegin[store + 1] += storeBegin[store];
    }
    for (std::uint32_t item = 0; item < itemCount; ++item) {
      itemBegin[item + 1] += itemBegin[item];
    }
    storeOffers.resize(storeBegin[storeCount]);
    itemOffers.resize(itemBegin[itemCount]);
    std::vector<std::uint32_t> storeFill(storeBegin.begin(), storeBegin.end() - 1);
    for (std::uint32_t item = 0; item < itemCount; ++item) {
      const LotData* cells = table.GetItemLotDataBegin(rows[item]);
      std::uint32_t at = itemBegin[item];
      for (std::uint32_t store = 0; store < storeCount; ++store) {
        if (cells[store].quantity != 0) {
          const std::uint32_t quantity = std::min(cells[store].quantity, wanted[item]);
          storeOffers[storeFill[store]++] = Offer{cells[store].price, item, quantity};
          itemOffers[at++] = Offer{cells[store].price, store, quantity};
        }
      }
      std::sort(itemOffers.begin() + itemBegin[item], itemOffers.begin() + itemBegin[item + 1],
                [](const Offer& first, const Offer& second) {
                  return Before(first.price, first.other, second.price, second.other);
                });
    }
  }

  std::span<const Offer> OffersOfStore(std::uint32_t store) const {
    return {storeOffers.data() + storeBegin[store], storeOffers.data() + storeBegin[store + 1]};
  }
  std::span<const Offer> OffersOfItem(std::uint32_t item) const {
    return {itemOffers.data() + itemBegin[item], itemOffers.data() + itemBegin[item + 1]};
  }

  std::uint32_t itemCount = 0;
  std::uint32_t storeCount = 0;
  std::vector<std::uint32_t> wanted;

 private:
  std::vector<std::uint32_t> storeBegin;
  std::vector<Offer> storeOffers;  // by store, items ascending
  std::vector<std::uint32_t> itemBegin;
  std::vector<Offer> itemOffers;  // by item, in purchase order
};

// C(a, b) for a up to the store count and b up to k, in floating point: beyond 64 bits the
// counts only drive progress and statistics.
class Binomials {
 public:
  Binomials(std::uint32_t n, std::uint32_t k) : width(k + 1), values((n + 1) * (k + 1), 0.0) {
    for (std::uint32_t a = 0; a <= n; ++a) {
      At(a, 0) = 1.0;
      for (std::uint32_t b = 1; b <= std::min(a, k); ++b) {
        At(a, b) = At(a - 1, b - 1) + (b <= a - 1 ? At(a - 1, b) : 0.0);
      }
    }
  }
  double operator()(std::uint32_t a, std::uint32_t b) const {
    return b < width ? values[static_cast<std::size_t>(a) * width + b] : 0.0;
  }

 private:
  double& At(std::uint32_t a, std::uint32_t b) { return values[static_cast<std::size_t>(a) * width + b]; }

  std::size_t width;
  std::vector<double> values;
};

// The kept plans of all workers: the cheapest by (cost, columns), at most a capacity of them.
class CheapestPlans {
 public:
  explicit CheapestPlans(std::size_t capacity_) : capacity(capacity_) {}

  // The cost of the last kept plan once the capacity is reached; infinite before.
  double Threshold() const { return threshold.load(std::memory_order_relaxed); }

  void Offer(std::vector<std::uint32_t>&& columns, double cost) {
    std::lock_guard<std::mutex> lock(mutex);
    const auto before = [](const StoreCombination& first, const StoreCombination& second) {
      return first.Cost() != second.Cost() ? first.Cost() < second.Cost()
                                           : first.StoreIndices() < second.StoreIndices();
    };
    StoreCombination combination(std::move(columns), cost);
    if (plans.size() == capacity && !before(combination, plans.back())) {
      return;
    }
    for (const StoreCombination& kept : plans) {
      if (kept.StoreIndices() == combination.StoreIndices()) {
        return;
      }
    }
    plans.insert(std::upper_bound(plans.begin(), plans.end(), combination, before),
                 std::move(combination));
    if (plans.size() > capacity) {
      plans.pop_back();
    }
    if (plans.size() == capacity) {
      threshold.store(plans.back().Cost(), std::memory_order_relaxed);
    }
  }

  std::vector<StoreCombination> Take() {
    std::lock_guard<std::mutex> lock(mutex);
    return std::move(plans);
  }

 private:
  const std::size_t capacity;
  std::mutex mutex;
  std::vector<StoreCombination> plans;  // by (cost, columns)
  std::atomic<double> threshold{Infinity()};
};

// Progress as the share of the k-store combinations settled, reported now and then by
// whichever worker looks at the clock.
class ProgressMeter {
 public:
  ProgressMeter(const CombinationProgress& callback_, double total_)
      : callback(callback_), total(total_), start(Clock::now()), lastReport(start) {}

  void Add(double settledCombinations) {
    settled.fetch_add(settledCombinations, std::memory_order_relaxed);
  }

  void Report(bool final) {
    if (!callback) {
      return;
    }
    std::lock_guard<std::mutex> lock(mutex);
    const auto now = Clock::now();
    if (!final && std::chrono::duration<double>(now - lastReport).count() < kSecondsBetweenReports) {
      return;
    }
    lastReport = now;
    const double elapsed = std::chrono::duration<double>(now - start).count();
    double fraction = final ? 1.0 : std::min(1.0, settled.load() / total);
    fraction = std::max(fraction, lastFraction);
    lastFraction = fraction;
    unsigned long long estimate = 0;
    if (!final && fraction > 0.0 && elapsed >= 2.0) {
      estimate = static_cast<unsigned long long>(elapsed / fraction - elapsed);
    }
    callback(fraction, estimate);
  }

 private:
  const CombinationProgress& callback;
  const double total;
  const Clock::time_point start;
  std::mutex mutex;
  Clock::time_point lastReport;
  double lastFraction = 0.0;
  std::atomic<double> settled{0.0};
};

// A subtree handed to a worker: its chosen stores, its candidates, the item prices to start
// the Lagrangian bound from, and the combinations it stands for.
struct Task {
  std::vector<std::uint32_t> chosen;
  std::vector<std::uint32_t> candidates;
  std::vector<double> multipliers;
  double combinations = 0.0;
};

// One of the chosen stores' offers of an item.
struct ChosenCell {
  double price;
  std::uint32_t store;
  std::uint32_t quantity;
};

// What the search knows at one depth: the chosen stores' offers of each item in purchase
// order and what they buy, and the node's candidates. Sized once; nothing is allocated per
// node.
struct Level {
  Level(std::uint32_t itemCount, std::uint32_t storeCount, std::uint32_t k)
      : cells(static_cast<std::size_t>(itemCount) * std::max(k, 1u)),
        cellCount(itemCount, 0),
        missing(itemCount, 0),
        fill(itemCount, 0),
        fillTaken(itemCount, 0),
        itemCost(itemCount, 0.0),
        candidates(storeCount),
        values(storeCount),
        savings(storeCount),
        order(storeCount),
        dropped(storeCount, 0),
        multipliers(itemCount, 0.0),
        coverWeights(itemCount, 1.0),
        bestValues(storeCount) {
    chosen.reserve(k);
  }

  std::vector<ChosenCell> cells;  // [item * k + position], in purchase order
  std::vector<std::uint8_t> cellCount;
  std::vector<std::uint32_t> missing;  // units the chosen stores cannot supply
  // For an item supplied in full: the position of the last cell bought from, and how much of
  // it is bought.
  std::vector<std::uint8_t> fill;
  std::vector<std::uint32_t> fillTaken;
  std::vector<double> itemCost;  // of the units bought
  std::uint32_t missingItems = 0;
  std::vector<std::uint32_t> chosen;

  std::vector<std::uint32_t> candidates;
  std::uint32_t candidateCount = 0;
  std::vector<double> values;   // Lagrangian value per candidate position
  std::vector<double> savings;  // per candidate position
  std::vector<std::uint32_t> order;
  std::vector<std::uint8_t> dropped;  // per candidate position, while branching
  std::vector<double> multipliers;
  std::vector<double> coverWeights;  // per item, for the fractional coverage bound
  std::vector<double> bestValues;
};

struct Shared {
  const std::vector<Item>& items;
  const ConsolidatedLotData& consolidatedLotData;
  const SearchTable& table;
  const Binomials& binomials;
  std::uint32_t k;
  CheapestPlans& plans;
  ProgressMeter& progress;
};

class Worker {
 public:
  explicit Worker(const Shared& shared_)
      : shared(shared_),
        table(shared_.table),
        k(shared_.k),
        stride(std::max(shared_.k, 1u)),
        marks(table.storeCount, 0),
        selectedValues(kMaximumStores + 1),
        selectedPositions(kMaximumStores + 1),
        gradient(table.itemCount, 0.0),
        shares(table.itemCount, 0.0),
        storeShares(table.storeCount, 0.0),
        touchedAt(table.storeCount, 0) {
    missingList.reserve(table.itemCount);
    touched.reserve(table.storeCount);
    for (std::uint32_t depth = 0; depth <= k; ++depth) {
      levels.emplace_back(table.itemCount, table.storeCount, k);
    }
  }

  // The root: no store chosen, every store a candidate, item prices where the cheapest
  // wanted units of all stores end.
  Task RootTask() const {
    Task root;
    root.multipliers.assign(table.itemCount, 0.0);
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      std::uint64_t supplied = 0;  // capped offers of up to 2^32 - 1 units each
      for (const Offer& offer : table.OffersOfItem(item)) {
        supplied += offer.quantity;
        root.multipliers[item] = offer.price;
        if (supplied >= table.wanted[item]) {
          break;
        }
      }
    }
    root.candidates.resize(table.storeCount);
    for (std::uint32_t store = 0; store < table.storeCount; ++store) {
      root.candidates[store] = store;
    }
    root.combinations = shared.binomials(table.storeCount, k);
    return root;
  }

  // Explores a task's node only, handing its children over as tasks.
  void ExpandTask(const Task& task, std::vector<Task>& children) {
    splitDepth = static_cast<std::uint32_t>(task.chosen.size()) + 1;
    tasks = &children;
    ExploreTask(task);
    tasks = nullptr;
  }

  void ExploreTask(const Task& task) {
    const auto depth = static_cast<std::uint32_t>(task.chosen.size());
    Load(levels[depth], task.chosen);
    std::copy(task.candidates.begin(), task.candidates.end(), levels[depth].candidates.begin());
    levels[depth].candidateCount = static_cast<std::uint32_t>(task.candidates.size());
    std::copy(task.multipliers.begin(), task.multipliers.end(),
              levels[depth].multipliers.begin());
    std::fill(levels[depth].coverWeights.begin(), levels[depth].coverWeights.end(), 1.0);
    Explore(depth, task.combinations);
  }

  // A quick good set of stores: added greedily, then improved by swapping stores while that
  // helps. It and its neighbours are offered as plans, so that the threshold is tight from the
  // start.
  void OfferHeuristicPlans(std::uint32_t neighbours) {
    if (k == 0) {
      return;
    }
    penalties.assign(table.itemCount, 0.0);
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      double dearest = 0.0;
      for (const Offer& offer : table.OffersOfItem(item)) {
        dearest = std::max(dearest, offer.price);
      }
      penalties[item] = 4.0 * dearest + 1.0;
    }
    std::vector<std::uint32_t> chosen;
    Level& work = levels[0];
    for (std::uint32_t step = 0; step < k; ++step) {
      Load(work, chosen);
      const double current = PenalizedCost(work);
      double bestCost = current;
      std::uint32_t best = table.storeCount;
      for (std::uint32_t store = 0; store < table.storeCount; ++store) {
        if (std::find(chosen.begin(), chosen.end(), store) != chosen.end()) {
          continue;
        }
        const double cost = current + PenalizedChange(work, store);
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
    for (int round = 0; round < 50 && !chosen.empty(); ++round) {
      swaps.clear();
      Load(work, chosen);
      const double current = PenalizedCost(work);
      std::vector<std::uint32_t> without;
      for (std::uint32_t out = 0; out < chosen.size(); ++out) {
        without = chosen;
        without.erase(without.begin() + out);
        Load(work, without);
        const double base = PenalizedCost(work);
        for (std::uint32_t store = 0; store < table.storeCount; ++store) {
          if (std::find(chosen.begin(), chosen.end(), store) != chosen.end()) {
            continue;
          }
          swaps.push_back({base + PenalizedChange(work, store), out, store});
        }
      }
      const auto best = std::min_element(swaps.begin(), swaps.end(), [](const Swap& a, const Swap& b) {
        return a.cost < b.cost;
      });
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
      neighbour = chosen;
      neighbour.erase(neighbour.begin() + out);
      OfferSet(neighbour);
    }
  }

  BoundedSearchStatistics statistics;
  double pricedLeaves = 0.0;

 private:
  // Fills a level from scratch with the offers of the given stores.
  void Load(Level& level, const std::vector<std::uint32_t>& stores) {
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

  // Adds a store's offers to the level's items and works out their purchases again.
  void AddStore(Level& level, std::uint32_t store) {
    level.chosen.push_back(store);
    for (const Offer& offer : table.OffersOfStore(store)) {
      const std::uint32_t item = offer.other;
      ChosenCell* cells = level.cells.data() + static_cast<std::size_t>(item) * stride;
      std::uint32_t position = level.cellCount[item];
      while (position > 0 && Before(offer.price, store, cells[position - 1].price,
                                    cells[position - 1].store)) {
        cells[position] = cells[position - 1];
        --position;
      }
      cells[position] = ChosenCell{offer.price, store, offer.quantity};
      ++level.cellCount[item];
      const bool wasMissing = level.missing[item] != 0;
      Purchase(level, item);
      if (wasMissing && level.missing[item] == 0) {
        --level.missingItems;
      }
    }
  }

  // The purchase rule for one item over the chosen stores' offers.
  void Purchase(Level& level, std::uint32_t item) const {
    const ChosenCell* cells = level.cells.data() + static_cast<std::size_t>(item) * stride;
    std::uint32_t remaining = table.wanted[item];
    double cost = 0.0;
    for (std::uint32_t position = 0; position < level.cellCount[item]; ++position) {
      const std::uint32_t taken = std::min(cells[position].quantity, remaining);
      cost += static_cast<double>(taken) * cells[position].price;
      remaining -= taken;
      if (remaining == 0) {
        level.fill[item] = static_cast<std::uint8_t>(position);
        level.fillTaken[item] = taken;
        break;
      }
    }
    level.missing[item] = remaining;
    level.itemCost[item] = cost;
  }

  // Makes the child level: the parent's purchases with one more store.
  void MakeChild(std::uint32_t depth, std::uint32_t store) {
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
    AddStore(child, store);
  }

  // Whether an offer would come before the last unit bought of its item (or the item still
  // misses units): then the store buys something there.
  static bool Buys(const Level& level, const ChosenCell* cells, std::uint32_t item, double price,
                   std::uint32_t store) {
    if (level.missing[item] != 0) {
      return true;
    }
    const ChosenCell& last = cells[level.fill[item]];
    return Before(price, store, last.price, last.store) ||
           (price == last.price && store == last.store);
  }

  bool StoreBuys(const Level& level, std::uint32_t store) const {
    for (const Offer& offer : table.OffersOfStore(store)) {
      const ChosenCell* cells = level.cells.data() + static_cast<std::size_t>(offer.other) * stride;
      if (Buys(level, cells, offer.other, offer.price, store)) {
        return true;
      }
    }
    return false;
  }

  // What a store would save next to a level that supplies everything: the units it would
  // take over, each at the price difference to the dearest units bought now. Also tells
  // whether it would buy anything at all.
  double Saving(const Level& level, std::uint32_t store, bool& buys) const {
    double saving = 0.0;
    buys = false;
    for (const Offer& offer : table.OffersOfStore(store)) {
      const std::uint32_t item = offer.other;
      const ChosenCell* cells = level.cells.data() + static_cast<std::size_t>(item) * stride;
      std::uint32_t position = level.fill[item];
      if (!Before(offer.price, store, cells[position].price, cells[position].store)) {
        continue;
      }
      buys = true;
      std::uint32_t remaining = offer.quantity;
      std::uint32_t available = level.fillTaken[item];
      for (;;) {
        const std::uint32_t moved = std::min(remaining, available);
        saving += static_cast<double>(moved) * (cells[position].price - offer.price);
        remaining -= moved;
        if (remaining == 0 || position == 0) {
          break;
        }
        --position;
        if (!Before(offer.price, store, cells[position].price, cells[position].store)) {
          break;
        }
        available = cells[position].quantity;
      }
    }
    return saving;
  }

  double StoreValue(const std::vector<double>& multipliers, std::uint32_t store) const {
    double value = 0.0;
    for (const Offer& offer : table.OffersOfStore(store)) {
      value += static_cast<double>(offer.quantity) *
               std::min(0.0, offer.price - multipliers[offer.other]);
    }
    return value;
  }

  // Improves the level's item prices by a few subgradient steps and returns the best bound
  // found; the candidates' values at the best prices are in bestValues, and selectedWorst is
  // the r-th most negative of them (0 when fewer are negative).
  double LagrangianBound(Level& level, std::uint32_t r, int iterations, double& selectedWorst) {
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
        bound += StoreValue(u, store);
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
          const double value = static_cast<double>(offer.quantity) * (offer.price - price);
          if (touchedAt[offer.other] != touchStamp) {
            touchedAt[offer.other] = touchStamp;
            storeShares[offer.other] = value;
            touched.push_back(offer.other);
          } else {
            storeShares[offer.other] += value;
          }
        }
      }
      // The r most negative candidate values, kept sorted in a small array.
      std::uint32_t selected = 0;
      for (const std::uint32_t store : touched) {
        const double value = storeShares[store];
        if (value < 0.0 && r > 0 && (selected < r || value < selectedValues[selected - 1])) {
          std::uint32_t at = selected < r ? selected++ : r - 1;
          while (at > 0 && value < selectedValues[at - 1]) {
            selectedValues[at] = selectedValues[at - 1];
            selectedPositions[at] = selectedPositions[at - 1];
            --at;
          }
          selectedValues[at] = value;
          selectedPositions[at] = store;
        }
      }
      for (std::uint32_t index = 0; index < selected; ++index) {
        bound += selectedValues[index];
      }
      if (bound > best) {
        best = bound;
        sinceImprovement = 0;
        for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
          const std::uint32_t store = level.candidates[position];
          level.bestValues[position] = touchedAt[store] == touchStamp ? storeShares[store] : 0.0;
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
          if (offer.price < u[offer.other]) {
            gradient[offer.other] -= static_cast<double>(offer.quantity);
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
        norm += gradient[item] * gradient[item];
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
        u[item] = std::max(0.0, u[item] + length * gradient[item]);
      }
    }
    std::copy(bestMultipliers.begin(), bestMultipliers.end(), u.begin());
    return best;
  }

  // The cost of a level that supplies everything, as the purchase rule adds it up.
  double LevelCost(const Level& level) const {
    double cost = 0.0;
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      cost += level.itemCost[item];
    }
    return cost;
  }

  // Offers the chosen stores as a plan when the rules allow: all of them buy (checked by the
  // caller), and with fewer than k of them, at least k - |C| other stores of the table would
  // buy nothing next to them.
  void OfferLevel(const Level& level, double approximateCost) {
    if (Exceeds(approximateCost, shared.plans.Threshold())) {
      return;
    }
    const auto size = static_cast<std::uint32_t>(level.chosen.size());
    if (size < k) {
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
    combination.CalculateMinimumCost(shared.items, shared.consolidatedLotData);
    const double cost = combination.Cost();
    std::vector<std::uint32_t> indices = combination.StoreIndices();
    shared.plans.Offer(std::move(indices), cost);
  }

  // Offers the plan of a store set (of its buying stores), if it supplies everything.
  void OfferSet(const std::vector<std::uint32_t>& stores) {
    Level& work = levels[0];
    Load(work, stores);
    if (work.missingItems != 0) {
      return;
    }
    std::vector<std::uint32_t> buying;
    for (const std::uint32_t store : stores) {
      if (StoreBuys(work, store)) {
        buying.push_back(store);
      }
    }
    if (buying.size() != stores.size()) {
      Load(work, buying);
    }
    OfferLevel(work, LevelCost(work));
  }

  // Cost of the level with unsupplied units at a penalty.
  double PenalizedCost(const Level& level) const {
    double cost = 0.0;
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      cost += ItemPenalizedCost(level, item, nullptr, 0);
    }
    return cost;
  }

  double PenalizedChange(const Level& level, std::uint32_t store) const {
    double change = 0.0;
    for (const Offer& offer : table.OffersOfStore(store)) {
      change += ItemPenalizedCost(level, offer.other, &offer, store) -
                ItemPenalizedCost(level, offer.other, nullptr, 0);
    }
    return change;
  }

  // One item's purchases over the level's offers and, if given, one more offer.
  double ItemPenalizedCost(const Level& level, std::uint32_t item, const Offer* extra,
                           std::uint32_t extraStore) const {
    const ChosenCell* cells = level.cells.data() + static_cast<std::size_t>(item) * stride;
    std::uint32_t remaining = table.wanted[item];
    double cost = 0.0;
    bool extraUsed = extra == nullptr;
    const auto take = [&](std::uint32_t quantity, double price) {
      const std::uint32_t taken = std::min(quantity, remaining);
      cost += static_cast<double>(taken) * price;
      remaining -= taken;
    };
    for (std::uint32_t position = 0; position < level.cellCount[item] && remaining != 0;
         ++position) {
      if (!extraUsed &&
          Before(extra->price, extraStore, cells[position].price, cells[position].store)) {
        take(extra->quantity, extra->price);
        extraUsed = true;
        if (remaining == 0) {
          break;
        }
      }
      take(cells[position].quantity, cells[position].price);
    }
    if (!extraUsed && remaining != 0) {
      take(extra->quantity, extra->price);
    }
    return cost + static_cast<double>(remaining) * penalties[item];
  }

  // Counts a node's settled combinations, and now and then reports progress.
  void Settle(double combinations) {
    pendingSettled += combinations;
    if (++nodesSinceReport >= kNodesPerProgressCheck) {
      Flush();
    }
  }

 public:
  void Flush() {
    shared.progress.Add(pendingSettled);
    pendingSettled = 0.0;
    nodesSinceReport = 0;
    shared.progress.Report(false);
  }

 private:
  // Explores the node at depth whose level is loaded; it stands for `combinations` k-store
  // combinations. Whatever it does not hand to a child it settles.
  void Explore(std::uint32_t depth, double combinations) {
    ++statistics.nodes;
    Level& level = levels[depth];
    const std::uint32_t r = k - depth;
    double handedOn = 0.0;
    ExploreNode(depth, level, r, handedOn);
    Settle(combinations - handedOn);
  }

  void ExploreNode(std::uint32_t depth, Level& level, std::uint32_t r, double& handedOn) {
    for (const std::uint32_t store : level.chosen) {
      if (!StoreBuys(level, store)) {
        return;  // its plans are those of the sets without it
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
    std::uint32_t kept = 0;
    for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
      const std::uint32_t store = level.candidates[position];
      bool buys = true;
      double saving = 0.0;
      if (supplied) {
        saving = Saving(level, store, buys);
      }
      if (buys) {
        level.candidates[kept] = store;
        level.savings[kept] = saving;
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
        largest += level.values[index];
      }
      if (Exceeds(cost - largest, threshold)) {
        return;
      }
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

  // Whether the r candidates offering most of each missing item can complete it; picks the
  // missing item with the fewest candidates for branching.
  bool Coverable(Level& level, std::uint32_t r) {
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

  // A bound on covering the missing items with r candidates, for item weights w: a store
  // completes the share min(1, offered / missing) of each missing item, and r stores that
  // complete every item together complete at least sum(w) of weighted shares. So when the r
  // candidates with the largest weighted shares fall short of sum(w), no r of them can do it.
  // The weights move towards the items that the best r leave short.
  bool FractionallyCoverable(Level& level, std::uint32_t r, int iterations) {
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
          const double share = weights[item] *
                               std::min(1.0, static_cast<double>(offer.quantity) * shares[item]);
          if (touchedAt[offer.other] != touchStamp) {
            touchedAt[offer.other] = touchStamp;
            storeShares[offer.other] = share;
            touched.push_back(offer.other);
          } else {
            storeShares[offer.other] += share;
          }
        }
      }
      std::uint32_t selected = 0;
      for (const std::uint32_t store : touched) {
        const double value = storeShares[store];
        if (selected < r || value > selectedValues[selected - 1]) {
          std::uint32_t at = selected < r ? selected++ : r - 1;
          while (at > 0 && value > selectedValues[at - 1]) {
            selectedValues[at] = selectedValues[at - 1];
            selectedPositions[at] = selectedPositions[at - 1];
            --at;
          }
          selectedValues[at] = value;
          selectedPositions[at] = store;
        }
      }
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

  // With one store to go, only a candidate that completes every missing item alone can make a
  // plan: each such one is a leaf, found among the offers of the item with the fewest.
  void CompleteWithOneStore(std::uint32_t depth, Level& level, double& handedOn) {
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
      MakeChild(depth, offer.other);
      levels[depth + 1].candidateCount = 0;
      handedOn += 1.0;
      Descend(depth + 1, 1.0);
    }
  }

  // Children while an item is missing: each takes one of the item's candidates, dropping the
  // ones before it; the best by Lagrangian value first.
  void BranchOnMissingItem(std::uint32_t depth, Level& level, std::uint32_t r, double& handedOn) {
    const std::uint32_t item = branchItem;
    // Positions of the candidates offering the item.
    ++stamp;
    for (const Offer& offer : table.OffersOfItem(item)) {
      marks[offer.other] = stamp;
    }
    std::uint32_t count = 0;
    for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
      if (marks[level.candidates[position]] == stamp) {
        level.order[count++] = position;
      }
    }
    std::sort(level.order.begin(), level.order.begin() + count,
              [&](std::uint32_t first, std::uint32_t second) {
                return level.bestValues[first] != level.bestValues[second]
                           ? level.bestValues[first] < level.bestValues[second]
                           : first < second;
              });
    // The children below overwrite the marks, so the level keeps its own.
    std::fill_n(level.dropped.begin(), level.candidateCount, 0);
    std::uint32_t remaining = level.candidateCount;
    for (std::uint32_t child = 0; child < count; ++child) {
      const std::uint32_t store = level.candidates[level.order[child]];
      level.dropped[level.order[child]] = 1;
      --remaining;
      const double combinations = shared.binomials(remaining, r - 1);
      MakeChild(depth, store);
      Level& next = levels[depth + 1];
      std::uint32_t nextCount = 0;
      for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
        if (level.dropped[position] == 0) {
          next.candidates[nextCount++] = level.candidates[position];
        }
      }
      next.candidateCount = nextCount;
      handedOn += combinations;
      Descend(depth + 1, combinations);
    }
  }

  // Children once everything is supplied: by falling savings, each taking one candidate and
  // dropping the ones before it. Stops at the first child whose savings bound exceeds the
  // threshold: the bounds of later ones are higher still.
  void BranchOnSavings(std::uint32_t depth, Level& level, std::uint32_t r, double cost,
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
    // window = the savings of children j ... j + r - 1.
    double window = 0.0;
    for (std::uint32_t index = 0; index < std::min(r, count); ++index) {
      window += level.savings[level.order[index]];
    }
    for (std::uint32_t child = 0; child < count; ++child) {
      if (Exceeds(cost - window, shared.plans.Threshold())) {
        return;
      }
      const std::uint32_t store = level.candidates[level.order[child]];
      const std::uint32_t remaining = count - child - 1;
      const double combinations = shared.binomials(remaining, r - 1);
      MakeChild(depth, store);
      Level& next = levels[depth + 1];
      for (std::uint32_t index = 0; index < remaining; ++index) {
        next.candidates[index] = level.candidates[level.order[child + 1 + index]];
      }
      next.candidateCount = remaining;
      handedOn += combinations;
      Descend(depth + 1, combinations);
      window -= level.savings[level.order[child]];
      if (child + r < count) {
        window += level.savings[level.order[child + r]];
      }
    }
  }

  void Descend(std::uint32_t depth, double combinations) {
    if (depth == splitDepth && tasks != nullptr) {
      const Level& level = levels[depth];
      tasks->push_back(Task{level.chosen,
                            std::vector<std::uint32_t>(level.candidates.begin(),
                                                       level.candidates.begin() + level.candidateCount),
                            level.multipliers, combinations});
      return;
    }
    Explore(depth, combinations);
  }

  const Shared& shared;
  const SearchTable& table;
  const std::uint32_t k;
  const std::uint32_t stride;
  std::vector<Level> levels;
  std::vector<std::uint32_t> marks;
  std::uint32_t stamp = 0;
  std::uint32_t branchItem = 0;
  std::vector<double> selectedValues;
  std::vector<std::uint32_t> selectedPositions;
  std::vector<double> gradient;
  std::vector<double> shares;  // per missing item, 1 / missing units
  std::vector<std::uint32_t> missingList;
  std::vector<double> storeShares;  // per store, its weighted shares of the missing items
  std::vector<std::uint32_t> touchedAt;
  std::uint32_t touchStamp = 1;
  std::vector<std::uint32_t> touched;
  std::vector<double> bestMultipliers = std::vector<double>(table.itemCount, 0.0);
  std::vector<double> penalties;
  std::uint32_t splitDepth = 0;
  std::vector<Task>* tasks = nullptr;
  double pendingSettled = 0.0;
  std::uint32_t nodesSinceReport = 0;
};

class BoundedCombinationSearch final : public IBoundedCombinationSearch {
 public:
  explicit BoundedCombinationSearch(const std::vector<Item>& items_) : items(items_) {}

  std::vector<StoreCombination> FindCheapestCombinations(
      const ConsolidatedLotData& consolidatedLotData, std::uint32_t storesPerCombination,
      std::size_t maximumPlans, const CombinationProgress& progress,
      std::uint32_t threadCount) override;

  BoundedSearchStatistics Statistics() const override { return statistics; }

 private:
  const std::vector<Item>& items;
  BoundedSearchStatistics statistics;
};

std::vector<StoreCombination> BoundedCombinationSearch::FindCheapestCombinations(
    const ConsolidatedLotData& consolidatedLotData, std::uint32_t k, std::size_t maximumPlans,
    const CombinationProgress& progress, std::uint32_t threadCount) {
  CORVALLE_ASSERT(consolidatedLotData.ItemCount() == items.size());
  CORVALLE_ASSERT(consolidatedLotData.StoreCount() >= k);
  CORVALLE_ASSERT(k <= kMaximumStores);
  CORVALLE_ASSERT(maximumPlans >= 1);
  CORVALLE_ASSERT(BoundedSearchAccepts(consolidatedLotData));
  statistics = {};

  const SearchTable table(items, consolidatedLotData);
  const Binomials binomials(table.storeCount, k);
  const double total = binomials(table.storeCount, k);
  CheapestPlans plans(maximumPlans);
  ProgressMeter meter(progress, total);
  const Shared shared{items, consolidatedLotData, table, binomials, k, plans, meter};

  if (table.itemCount == 0) {
    // Nothing is wanted: every combination buys nothing, one empty plan.
    plans.Offer({}, 0.0);
    statistics.combinationsPriced = 1;
    statistics.combinationsRuledOut = total;
    meter.Report(true);
    return plans.Take();
  }

  Worker main(shared);
  main.OfferHeuristicPlans(static_cast<std::uint32_t>(4 * maximumPlans));
  const Task root = main.RootTask();

  const std::uint32_t workerCount = std::max(
      1u, std::min(threadCount, std::max(1u, std::thread::hardware_concurrency())));
  double pricedLeaves = 0.0;
  if (workerCount == 1) {
    main.ExploreTask(root);
    main.Flush();
    pricedLeaves = main.pricedLeaves;
    statistics = main.statistics;
  } else {
    // The shallowest nodes are explored here, level by level, until there are subtrees enough
    // for every worker to take its share as they come.
    std::vector<Task> tasks{root};
    for (std::uint32_t depth = 0;
         depth < k && !tasks.empty() && tasks.size() < kTasksPerWorker * workerCount; ++depth) {
      std::vector<Task> deeper;
      for (Task& task : tasks) {
        if (task.chosen.size() == depth) {
          main.ExpandTask(task, deeper);
        } else {
          deeper.push_back(std::move(task));
        }
      }
      tasks = std::move(deeper);
    }
    main.Flush();
    statistics = main.statistics;
    pricedLeaves = main.pricedLeaves;

    std::atomic<std::size_t> next{0};
    std::vector<std::unique_ptr<Worker>> workers;
    std::vector<std::exception_ptr> failures(workerCount);
    for (std::uint32_t index = 0; index < workerCount; ++index) {
      workers.push_back(std::make_unique<Worker>(shared));
    }
    std::vector<std::thread> threads;
    for (std::uint32_t index = 0; index < workerCount; ++index) {
      threads.emplace_back([&, index] {
        try {
          for (std::size_t task = next++; task < tasks.size(); task = next++) {
            workers[index]->ExploreTask(tasks[task]);
          }
          workers[index]->Flush();
        } catch (...) {
          failures[index] = std::current_exception();
          next = tasks.size();
        }
      });
    }
    for (std::thread& thread : threads) {
      thread.join();
    }
    for (const std::exception_ptr& failure : failures) {
      if (failure) {
        std::rethrow_exception(failure);
      }
    }
    for (const auto& worker : workers) {
      statistics.nodes += worker->statistics.nodes;
      statistics.combinationsPriced += worker->statistics.combinationsPriced;
      pricedLeaves += worker->pricedLeaves;
    }
  }
  statistics.combinationsRuledOut = std::max(0.0, total - pricedLeaves);
  meter.Report(true);
  return plans.Take();
}

}  // namespace

bool BoundedSearchAccepts(const ConsolidatedLotData& consolidatedLotData) {
  for (std::uint32_t item = 0; item < consolidatedLotData.ItemCount(); ++item) {
    const LotData* cells = consolidatedLotData.GetItemLotDataBegin(item);
    for (std::uint32_t store = 0; store < consolidatedLotData.StoreCount(); ++store) {
      if (cells[store].quantity != 0 && !(std::isfinite(cells[store].price) && cells[store].price >= 0.0)) {
        return false;
      }
    }
  }
  return true;
}

std::unique_ptr<IBoundedCombinationSearch> CreateBoundedCombinationSearch(
    const std::vector<Item>& items) {
  return std::make_unique<BoundedCombinationSearch>(items);
}

}  // namespace Corvalle::BrickLink
