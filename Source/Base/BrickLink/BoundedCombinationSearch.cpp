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
// being exactly the first ones by RanksBefore (cost in millionths, then columns), whatever the
// worker count and whatever order the workers happen to visit things in.
//
// Ties: a subtree whose bound reaches the last kept plan's cost holds no cheaper plan, and its
// plans can only come first by their columns. The earliest columns below a node are its chosen
// stores with the r smallest candidates below the largest of them; when even those come no
// earlier than the last kept plan's, the subtree is cut. There, children come by column, so
// that the earliest tied plans are found first. Where many store sets cost exactly the same,
// this settles them instead of visiting each.
//
// - Supermodularity: for each item the cost of the cheapest wanted units among a store set's
//   lots falls by no more when a store joins a larger set. So below a supplying C nothing costs
//   less than cost(C) minus the r largest savings of single candidates next to C; and as
//   children come in order of falling savings, once one child's bound exceeds the threshold so
//   do all later ones.
//   With shipping, a candidate's saving is net of its shipping and only positive ones count, as
//   a plan below C need not fill its r places.
// - A Lagrangian bound: for item prices u, no plan below the node buys more than the wanted
//   quantity of an item, so it costs at least sum(u x wanted) + the shipping of its stores +
//   the least sum of quantity x (price - u) over at most the wanted units of each item from
//   their lots. For C that sum is taken exactly: C's lots below u, cheapest first, up to the
//   wanted quantity. A candidate's value is its shipping + what its lots below u would add to
//   C's: its units fill the room C leaves at (price - u), and beyond it each takes the place of
//   a dearer unit of C. What several candidates add together is no more than the sum of what
//   each adds alone next to C (the cheapest units of a union save at most the sum of the
//   savings), so the bound adds the r most negative values. A chosen store that is not
//   required sells at least one unit in every plan below: when none of its lots is below u, one
//   unit of its lot nearest above is added. A few subgradient steps per node improve u,
//   starting from the parent's. A candidate whose forced inclusion already lifts the bound
//   above the threshold is dropped for the whole subtree.
// - Coverage: every missing item must be completed by the r candidates offering most of it.
//   With three or fewer stores to go, the node first asks whether any r candidates can supply
//   every missing item together, units counted, by a small search through the offerers of the
//   item still short with the fewest; where covering binds, most such nodes have no such set.
//   With two to go, a candidate in no pair that supplies everything is dropped (unless some
//   candidate supplies it alone).
// - Per child of a missing item: the Lagrangian bound with that candidate in, plus what the
//   items it leaves missing still cost: some other candidate must offer each of them, and with
//   two stores to go a single one must complete them all. With three or more to go, the others
//   must together finish every such item: one of them with all its missing units, or two that
//   offer it (one where the candidate has some of its units). A small search over the offerers
//   of the rarest one, best value first, finds the least their values can add, and that no such
//   set exists at all (an infinite bound) cuts even while no plan is kept. A candidate whose
//   bound passes the threshold is dropped from every child, and children come by value, best
//   first.
// - Purchases only move back as stores join: a store that buys nothing next to C buys nothing
//   next to any larger set. Such a candidate is dropped, and a node where a chosen store buys
//   nothing is cut, as its plans are those of sets without that store; so is a candidate that
//   would leave a chosen store buying nothing (a store buys an item while fewer units than
//   wanted come before its cheapest lot). Required stores are chosen at the root and exempt.
//
// Before the tree, a greedy choice improved by swapping stores gives the threshold a tight
// start. A worker that waits is handed the later half of a busy worker's remaining children.
// Progress counts k-store combinations: a node stands for C(|candidates|, r) of them, and
// whatever it cuts or drops is settled at once.

#include "Source/Base/BrickLink/BoundedCombinationSearch.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <optional>
#include <thread>
#include <utility>

#include "Source/Base/Assert.h"
#include "Source/Base/BrickLink/BoundedSearchBinomials.h"
#include "Source/Base/BrickLink/BoundedSearchProgress.h"
#include "Source/Base/BrickLink/BoundedSearchTable.h"
#include "Source/Base/BrickLink/BoundedSearchTasks.h"
#include "Source/Base/BrickLink/BoundedSearchTuning.h"
#include "Source/Base/BrickLink/BoundedSearchWorker.h"
#include "Source/Base/BrickLink/CheapestPlans.h"

namespace Corvalle::BrickLink {

namespace {

using BoundedSearch::Binomials;
using BoundedSearch::Infinity;
using BoundedSearch::CheapestPlans;
using BoundedSearch::kMaximumStores;
using BoundedSearch::ProgressMeter;
using BoundedSearch::SearchTable;
using BoundedSearch::Shared;
using BoundedSearch::Task;
using BoundedSearch::TaskPool;
using BoundedSearch::Worker;

using BoundedSearch::Tuning::kNeighboursPerPlan;
using BoundedSearch::Tuning::kTasksPerWorker;

class BoundedCombinationSearch final : public IBoundedCombinationSearch {
 public:
  explicit BoundedCombinationSearch(const std::vector<Item>& items_) : items(items_) {}

  std::vector<StoreCombination> FindCheapestCombinations(
      const ConsolidatedLotData& consolidatedLotData, std::uint32_t storesPerCombination,
      std::size_t maximumPlans, const CombinationProgress& progress, std::uint32_t threadCount,
      const PlanRules& rules) override;

  BoundedSearchStatistics Statistics() const override { return statistics; }
  void SetDeadline(std::chrono::steady_clock::time_point deadline_) override {
    deadline = deadline_;
  }
  void SetNodeLimit(std::uint64_t nodes) override { nodeLimit = nodes; }
  void SetStopFlag(const std::atomic<bool>& stop) override { stopRequest = &stop; }
  void SetBoundsCallback(SearchBoundsCallback callback) override {
    boundsCallback = std::move(callback);
  }

 private:
  const std::vector<Item>& items;
  BoundedSearchStatistics statistics;
  std::optional<std::chrono::steady_clock::time_point> deadline;
  std::optional<std::uint64_t> nodeLimit;
  const std::atomic<bool>* stopRequest = nullptr;
  SearchBoundsCallback boundsCallback;
};

std::vector<StoreCombination> BoundedCombinationSearch::FindCheapestCombinations(
    const ConsolidatedLotData& consolidatedLotData, std::uint32_t k, std::size_t maximumPlans,
    const CombinationProgress& progress, std::uint32_t threadCount, const PlanRules& rules) {
  CORVALLE_ASSERT(consolidatedLotData.ItemCount() == items.size());
  CORVALLE_ASSERT(consolidatedLotData.StoreCount() >= k);
  CORVALLE_ASSERT(k <= kMaximumStores);
  CORVALLE_ASSERT(maximumPlans >= 1);
  CORVALLE_ASSERT(BoundedSearchAccepts(consolidatedLotData, rules));
  CORVALLE_ASSERT(rules.required.size() <= k);
  CORVALLE_ASSERT(!rules.ChargesShipping() ||
                  rules.shipping.size() == consolidatedLotData.StoreCount());
  statistics = {};

  const SearchTable table(items, consolidatedLotData, k);
  const Binomials binomials(table.storeCount, k);
  const auto required = static_cast<std::uint32_t>(rules.required.size());
  const double total = binomials(table.storeCount - required, k - required);
  CheapestPlans plans(maximumPlans);
  ProgressMeter meter(progress, boundsCallback, plans, total);
  std::atomic<bool> stopped{false};
  std::atomic<std::uint64_t> nodesVisited{0};
  Shared shared{items, consolidatedLotData, table,    binomials, k,         rules,
                plans, meter,               deadline, nodeLimit, stopRequest, stopped, nodesVisited};

  if (table.itemCount == 0) {
    // Nothing is wanted: every combination buys nothing, one plan of the required stores.
    StoreCombination only(std::vector<std::uint32_t>(rules.required));
    only.CalculateMinimumCost(items, consolidatedLotData, rules);
    plans.Offer(std::vector<std::uint32_t>(rules.required), only.Cost());
    statistics.combinationsPriced = 1;
    statistics.combinationsRuledOut = total;
    meter.Report(true);
    return plans.Take();
  }

  Worker main(shared);
  main.OfferHeuristicPlans(static_cast<std::uint32_t>(kNeighboursPerPlan * maximumPlans));

  const std::uint32_t workerCount = std::max(
      1u, std::min(threadCount, std::max(1u, std::thread::hardware_concurrency())));
  // The shallowest nodes are explored here, level by level, until there are subtrees enough
  // for every worker to take its share as they come. One worker takes them as well: the bounds
  // of the subtrees not yet explored are what the search can tell of its plans while it runs.
  std::vector<Task> tasks{main.RootTask()};
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
  TaskPool pool;
  for (Task& task : tasks) {
    pool.Push(std::move(task));
  }
  meter.Watch(&pool);
  shared.pool = &pool;

  std::vector<std::unique_ptr<Worker>> workers;
  std::vector<std::exception_ptr> failures(workerCount);
  for (std::uint32_t index = 0; index < workerCount; ++index) {
    workers.push_back(std::make_unique<Worker>(shared));
  }
  const auto work = [&](std::uint32_t index) {
    try {
      Task task;
      std::size_t identity = 0;
      while (pool.Pop(task, identity)) {
        workers[index]->ExploreTask(task);
        pool.Finish(identity);
      }
      workers[index]->Flush();
    } catch (...) {
      failures[index] = std::current_exception();
      pool.Abandon();
    }
  };
  if (workerCount == 1) {
    work(0);
  } else {
    std::vector<std::thread> threads;
    for (std::uint32_t index = 0; index < workerCount; ++index) {
      threads.emplace_back(work, index);
    }
    for (std::thread& thread : threads) {
      thread.join();
    }
  }
  meter.Watch(nullptr);
  for (const std::exception_ptr& failure : failures) {
    if (failure) {
      std::rethrow_exception(failure);
    }
  }
  statistics = main.statistics;
  double pricedLeaves = main.pricedLeaves;
  double unsettledBound = main.unsettledBound;
  for (const auto& worker : workers) {
    statistics.nodes += worker->statistics.nodes;
    statistics.combinationsPriced += worker->statistics.combinationsPriced;
    pricedLeaves += worker->pricedLeaves;
    unsettledBound = std::min(unsettledBound, worker->unsettledBound);
  }
  statistics.combinationsRuledOut = std::max(0.0, total - pricedLeaves);
  meter.Report(true);
  std::vector<StoreCombination> found = plans.Take();
  const double cheapest = found.empty() ? Infinity() : found.front().Cost();
  statistics.proven = unsettledBound == Infinity();
  statistics.lowerBound = std::min(cheapest, unsettledBound);
  if (statistics.lowerBound == Infinity()) {
    statistics.lowerBound = 0.0;
  }
  return found;
}

}  // namespace

bool BoundedSearchAccepts(const ConsolidatedLotData& consolidatedLotData, const PlanRules& rules) {
  for (const double amount : rules.shipping) {
    if (!(std::isfinite(amount) && amount >= 0.0)) {
      return false;
    }
  }
  for (std::uint32_t item = 0; item < consolidatedLotData.ItemCount(); ++item) {
    const TableCell* cells = consolidatedLotData.GetItemCells(item);
    for (std::uint32_t store = 0; store < consolidatedLotData.StoreCount(); ++store) {
      for (const TableLot& lot : consolidatedLotData.LotsOf(cells[store])) {
        if (!(std::isfinite(lot.price) && lot.price >= 0.0)) {
          return false;
        }
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
