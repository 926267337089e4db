#pragma once

// The search's depth-first walk over store sets, as one worker does it; the bounds it cuts the
// tree by are explained at the top of BoundedCombinationSearch.cpp. Internal to
// BoundedCombinationSearch.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <limits>
#include <optional>
#include <span>
#include <cstdint>
#include <utility>
#include <vector>

#include "Source/Base/BrickLink/BoundedCombinationSearch.h"
#include "Source/Base/BrickLink/BoundedSearchBinomials.h"
#include "Source/Base/BrickLink/BoundedSearchProgress.h"
#include "Source/Base/BrickLink/BoundedSearchTable.h"
#include "Source/Base/BrickLink/BoundedSearchTasks.h"
#include "Source/Base/BrickLink/CheapestPlans.h"
#include "Source/Base/BrickLink/ConsolidatedLotData.h"
#include "Source/Base/Corvalle.h"
#include "Source/Base/BrickLink/PlanRules.h"
#include "Source/Base/SearchDefaults.h"

namespace Corvalle::BrickLink::BoundedSearch {

// The largest k the search takes; a worker sizes its small per-node arrays by it.
inline constexpr std::uint32_t kMaximumStores = kMaximumStoresPerCombination;

// One of the chosen stores' lots of an item.
struct ChosenCell {
  double price;
  std::uint32_t store;
  std::uint32_t quantity;
};

// An offer as the Lagrangian bound's steps read it, in 16 bytes where the table's take 24: the
// price of its cheapest lot, its store's place among the candidates it was sifted for, and its
// units when it is one lot; an offer of several lots has kSeveralLots set in position and its
// place among the table's offers of items in units. By place, a step sums the candidates'
// values in a dense array, with no check of which were touched.
struct SiftedOffer {
  double price;
  std::uint32_t position;
  std::uint32_t units;
};
inline constexpr std::uint32_t kSeveralLots = std::uint32_t{1} << 31;

// What the search knows at one depth: the chosen stores' offers of each item in purchase
// order and what they buy, and the node's candidates. Sized once; nothing is allocated per
// node.
struct Level {
  Level(const SearchTable& table, std::uint32_t k);

  // [table.CellBegin(item) + position]: the chosen stores' lots of each item, in purchase order.
  std::vector<ChosenCell> cells;
  std::vector<std::uint32_t> cellCount;
  std::vector<std::uint32_t> missing;  // units the chosen stores cannot supply
  // For an item supplied in full: the position of the last cell bought from, and how much of
  // it is bought.
  std::vector<std::uint32_t> fill;
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
  std::vector<std::uint32_t> byValue;  // candidate positions, most negative value first
  // Per candidate position: no plan below the node that holds it costs less.
  std::vector<double> childBounds;
  // The Lagrangian bound at the best item prices without the candidates' values.
  double base = 0.0;
  double bound = 0.0;  // no plan below the node costs less
  // The candidates' offers of each item, in the item's order, as the Lagrangian bound read them
  // last: [candidateOfferBegin[item], candidateOfferBegin[item + 1]). A child's candidates are
  // some of its parent's, so it sifts its own from its parent's when it was made from them
  // (madeFromParent) and they are the parent node's (offersSifted).
  std::vector<SiftedOffer> candidateOffers;
  std::vector<std::uint32_t> candidateOfferBegin;
  // The candidates the offers were sifted for, by the positions the offers hold (the candidates
  // themselves are thinned out afterwards), and their shipping.
  std::vector<std::uint32_t> siftedStores;
  std::vector<double> siftedShipping;
  bool madeFromParent = false;
  bool offersSifted = false;
};

// What every worker of one search reads, and the kept plans and progress they all add to.
struct Shared {
  const std::vector<Item>& items;
  const ConsolidatedLotData& consolidatedLotData;
  const SearchTable& table;
  const Binomials& binomials;
  std::uint32_t k;
  const PlanRules& rules;
  CheapestPlans& plans;
  ProgressMeter& progress;
  // When to stop exploring (none: never), by the clock or by the nodes visited, and whether
  // some worker has seen it come.
  std::optional<Clock::time_point> deadline;
  std::optional<std::uint64_t> nodeLimit;
  // Set from outside the search to stop it as the deadline does.
  const std::atomic<bool>* stopRequest;
  std::atomic<bool>& stopped;
  std::atomic<std::uint64_t>& nodesVisited;
  // Where workers share subtrees; none while the shallow levels are being split.
  TaskPool* pool = nullptr;
};

// Explores subtrees of the search, one at a time, on one thread; several workers share the
// plans and the progress of one search.
class Worker {
 public:
  explicit Worker(const Shared& shared_);

  // The root: no store chosen, every store a candidate, item prices where the cheapest
  // wanted units of all stores end.
  Task RootTask() const;
  // Explores a task's node only, handing its children over as tasks.
  void ExpandTask(const Task& task, std::vector<Task>& children);
  void ExploreTask(const Task& task);
  // A quick good set of stores: added greedily, then improved by swapping stores while that
  // helps. It and its neighbours are offered as plans, so that the threshold is tight from the
  // start.
  void OfferHeuristicPlans(std::uint32_t neighbours);
  void Flush();

  BoundedSearchStatistics statistics;
  double pricedLeaves = 0.0;
  // The least bound of the subtrees left unexplored since the deadline; infinite when none.
  double unsettledBound = Infinity();

 private:
  // Each job of the walk has its own source file, named below. The few small helpers that
  // several of them call in their inner loops are defined inline after the class.

  // The walk (BoundedSearchWorker.cpp).
  // Counts a node's settled combinations, and now and then reports progress.
  void Settle(double combinations);
  // Explores the node at depth whose level is loaded; it stands for `combinations` k-store
  // combinations. Whatever it does not hand to a child it settles.
  void Explore(std::uint32_t depth, double combinations);
  void ExploreNode(std::uint32_t depth, Level& level, std::uint32_t r, double& handedOn);
  // With one store to go, only a candidate that completes every missing item alone can make a
  // plan: each such one is a leaf, found among the offers of the item with the fewest.
  void CompleteWithOneStore(std::uint32_t depth, Level& level, double& handedOn);
  // Children while an item is missing: each takes one of the item's candidates, dropping the
  // ones before it; the best by Lagrangian value first.
  void BranchOnMissingItem(std::uint32_t depth, Level& level, std::uint32_t r, double& handedOn);
  // Children once everything is supplied: by falling savings, each taking one candidate and
  // dropping the ones before it. Stops at the first child whose savings bound exceeds the
  // threshold: the bounds of later ones are higher still.
  void BranchOnSavings(std::uint32_t depth, Level& level, std::uint32_t r, double cost,
                       double& handedOn);
  void Descend(std::uint32_t depth, double combinations);
  // Whether a node whose bound only ties the threshold holds no plan whose columns come before
  // the last kept plan's: the earliest columns below it are the chosen stores with the r
  // smallest candidates below the largest of them. Where many store sets cost the same, the
  // ties are settled by columns instead of being explored one by one.
  // With a store added to the chosen ones, the node's dropped candidates are skipped: that
  // child's columns are asked before it is made.
  bool SettledByColumns(const Level& level, std::uint32_t r, double bound,
                        std::uint32_t added = kNoStore, bool skipDropped = false);
  static constexpr std::uint32_t kNoStore = std::numeric_limits<std::uint32_t>::max();
  // Whether a worker waits for work while this one still has siblings to explore at a depth
  // where they are worth a task: then the later half of them goes to the pool.
  bool ShouldShare(std::uint32_t r, std::uint32_t siblingsLeft) const;
  void Share(const Level& level, std::vector<std::uint32_t>&& candidates, double combinations);

  // What the chosen stores buy (BoundedSearchPurchases.cpp).
  // Fills a level from scratch with the offers of the given stores.
  void Load(Level& level, const std::vector<std::uint32_t>& stores);
  // Adds a store's lots to the level's items and works out their purchases again.
  void AddStore(Level& level, std::uint32_t store);
  // The purchase rule for one item over the chosen stores' lots.
  void Purchase(Level& level, std::uint32_t item) const;
  // Makes the child level: the parent's purchases with one more store.
  void MakeChild(std::uint32_t depth, std::uint32_t store);
  // What a store would save next to a level that supplies everything: the units it would
  // take over, each at the price difference to the dearest units bought now. Also tells
  // whether it would buy anything at all.
  double Saving(const Level& level, std::uint32_t store, bool& buys) const;

  ChosenCell* CellsOf(Level& level, std::uint32_t item) const {
    return level.cells.data() + table.CellBegin(item);
  }
  const ChosenCell* CellsOf(const Level& level, std::uint32_t item) const {
    return level.cells.data() + table.CellBegin(item);
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
  inline bool StoreBuys(const Level& level, std::uint32_t store) const;
  // A store's offer of an item, or null.
  inline const Offer* FindOffer(std::uint32_t store, std::uint32_t item) const;
  // The units of an offer's lots that come before a lot of another store at that price.
  inline std::uint32_t UnitsBefore(const Offer& offer, std::uint32_t offerStore, double price,
                                   std::uint32_t store) const;
  // The cost of a level that supplies everything, as the purchase rule adds it up, with the
  // chosen stores' shipping.
  inline double LevelCost(const Level& level) const;
  inline double ChosenShipping(const Level& level) const;

  // The Lagrangian bound (BoundedSearchLagrangian.cpp).
  // What a chosen store adds to the bound when nothing of it is below the item prices: the unit
  // it is held to sell, of item leastItem (itemCount, and 0, when something is).
  double ChosenLeast(const std::vector<double>& multipliers, std::uint32_t store,
                     std::uint32_t& leastItem) const;
  // Adds the chosen stores to a step's bound: their shipping, their least units, and their lots
  // below the item prices up to the wanted quantities together; sets room and takenUnits.
  void TakeChosenUnits(const Level& level, const std::vector<double>& multipliers,
                       double& bound);
  // A candidate's value in one item next to the chosen stores: what its lots below the price
  // add to theirs, up to the wanted quantity (not the sum of all its lots there). Worked out
  // each next to the chosen stores alone, the values of several candidates add up to no more
  // than they add together (what the cheapest units save is submodular), so the bound holds.
  double Marginal(std::uint32_t item, double price, std::span<const Lot> lots) const;
  // Improves the level's item prices by a few subgradient steps, the first firstStep times the
  // Polyak step, and returns the best bound found; the candidates' values at the best prices are
  // in bestValues, the bound without them in level.base, and selectedWorst is the r-th most
  // negative of them (0 when fewer are negative).
  double LagrangianBound(Level& level, std::uint32_t r, int iterations, double firstStep,
                         double& selectedWorst);
  // Fills the level's candidateOffers, once per node: of its parent's when it can, else of the
  // table's.
  void SiftCandidateOffers(Level& level);
  // Keeps of a node's sifted offers those of the given stores, once its bounds have dropped most
  // of its candidates: its children then sift theirs from the few. The bound of the node is not
  // asked again (its shipping per position is left as it was).
  void ThinSiftedOffers(Level& level, std::span<const std::uint32_t> stores);
  // Marks the stores (stamp) with their places among them (siftPosition).
  void MarkPositions(std::span<const std::uint32_t> stores);
  // Marks them, and maps the positions of source's sifted candidates to theirs (fromParent).
  void MapSiftedPositions(const Level& source, std::span<const std::uint32_t> stores);
  // Notes the candidates the level's offers are now sifted for.
  void KeepSiftedCandidates(Level& level) const;
  // Sums per store of one pass over the offers, each store listed in touched on its first
  // value. The arrays are held through local pointers: in an inner loop the compiler would
  // otherwise load the worker's arrays again after every store.
  struct StoreSums {
    std::uint32_t* stamps;
    double* values;
    std::uint32_t* stores;
    std::uint32_t stamp;
    std::uint32_t count = 0;
    void Add(std::uint32_t store, double value) {
      if (stamps[store] != stamp) {
        stamps[store] = stamp;
        values[store] = value;
        stores[count++] = store;
      } else {
        values[store] += value;
      }
    }
  };
  // A new pass (touchStamp); the sums are the touched stores' storeShares once it ends.
  StoreSums BeginStoreSums() {
    return {touchedAt.data(), storeShares.data(), touched.data(), ++touchStamp};
  }
  void EndStoreSums(const StoreSums& sums) { touchedCount = sums.count; }
  // The r best of count values that accept takes, best first by better, into selectedValues and
  // selectedPositions (the store ids that entry(index) gives with each value); returns how many.
  template <typename Entry, typename Accept, typename Better>
  inline std::uint32_t SelectBest(std::uint32_t count, Entry entry, std::uint32_t r,
                                  Accept accept, Better better);
  // The same over the touched stores' sums.
  template <typename Accept, typename Better>
  inline std::uint32_t SelectTouched(std::uint32_t r, Accept accept, Better better);

  // The bounds on covering what is missing (BoundedSearchCoverBounds.cpp).
  // Marks with a new stamp the candidates that would leave some chosen store buying nothing:
  // they are in no plan below the node.
  void MarkIdlingCandidates(Level& level);
  // Whether the r candidates offering most of each missing item can complete it; picks the
  // missing item with the fewest candidates for branching, and tells needsSeveral.
  bool Coverable(Level& level, std::uint32_t r);
  // Whether some r candidates can supply every missing item together, units counted: a small
  // search through the offerers of the item still short with the fewest offerers.
  bool Completable(const Level& level, std::uint32_t r);
  // With two stores to go, after Completable: drops the candidates that are in no pair that
  // supplies what is missing, unless one supplies it alone.
  void KeepCompletingPairs(Level& level);
  // The same for the units still short at a slot (none of them beyond what the `slots` largest
  // lots of their offerers hold), with `slots` stores left to add; rarest is the item still short
  // with the fewest offerers.
  bool CompletableFrom(std::uint32_t slot, std::uint32_t slots, std::uint32_t rarest);
  // Works out the next slot's units and items still short once the candidate at a position
  // joins a slot's; false when some item is beyond what the largest lots of its offerers can
  // finish with the stores left. nextRarest: the item then short with the fewest offerers
  // (missingList.size() when none is short).
  bool ShortAfter(std::uint32_t position, std::uint32_t slot, std::uint32_t slots,
                  std::uint32_t& nextRarest);
  // Marks in completeAcceptable the candidates not excluded that offer every item short at a
  // slot (first among them, as it has few offerers); whether there are any.
  bool OfferAllShort(std::uint32_t slot, std::uint32_t first);
  // Whether the candidate at a position has every unit still short at a slot.
  bool FinishesAlone(std::uint32_t position, std::uint32_t slot) const;
  // A bound on covering the missing items with r candidates, for item weights w: a store
  // completes the share min(1, offered / missing) of each missing item, and r stores that
  // complete every item together complete at least sum(w) of weighted shares. So when the r
  // candidates with the largest weighted shares fall short of sum(w), no r of them can do it.
  // The weights move towards the items that the best r leave short.
  bool FractionallyCoverable(Level& level, std::uint32_t r, int iterations);
  // For each candidate, a bound on the plans below the node that hold it: the Lagrangian bound
  // with the candidate in, and with the fewest other stores the items it leaves missing need.
  void ChildBounds(Level& level, std::uint32_t r);
  // With three or more stores to go and at most 64 items missing, the stores completing a
  // candidate must together finish every item it leaves missing: the least sum of their values
  // is found by a small search over the offerers of the rarest item first.
  void PrepareCoverSearch(const Level& level);
  // A lower bound on the values of at most `slots` candidates that finish the items still
  // missing (bits of missingList), beyond `spent`; it is above `cut` only when every such set
  // is. An item is finished by a store with all its missing units, or by two that offer it:
  // `needed` are the items none of the stores so far offers, `half` those only stores with
  // too few units do. The cut is the limit WithTolerance: the search compares against it at
  // every step.
  double LeastCover(std::uint64_t needed, std::uint64_t half, std::uint32_t slots, double spent,
                    double cut);

  // The greedy start (BoundedSearchGreedyStart.cpp).
  // Cost of the level with unsupplied units at a penalty.
  double PenalizedCost(const Level& level) const;
  double PenalizedChange(const Level& level, std::uint32_t store) const;
  // One item's purchases over the level's lots and, if given, the lots of one more offer, with
  // each unit still missing at the penalty.
  double ItemPenalizedCost(const Level& level, std::uint32_t item, const Offer* extra,
                           std::uint32_t extraStore, double penalty) const;

  // Plans (BoundedSearchPlanOffers.cpp).
  // Offers the chosen stores as a plan when the rules allow: all of them buy (checked by the
  // caller), and with fewer than k of them and no shipping charged, at least k - |C| other
  // stores of the table would buy nothing next to them.
  void OfferLevel(const Level& level, double approximateCost);
  // Offers the plan of a store set (of its buying stores), if it supplies everything.
  void OfferSet(const std::vector<std::uint32_t>& stores);

  const Shared& shared;
  const SearchTable& table;
  const std::uint32_t k;
  // Per column: its shipping (0 when none is charged), and whether every plan holds it.
  std::vector<double> shipping;
  std::vector<std::uint8_t> required;
  std::vector<Level> levels;
  std::vector<std::uint32_t> marks;
  std::uint32_t stamp = 0;
  std::uint32_t branchItem = 0;
  // Set by Coverable: some missing item needs the units of more than one candidate.
  bool needsSeveral = false;
  std::vector<double> selectedValues;
  std::vector<std::uint32_t> selectedPositions;
  std::vector<double> gradient;
  std::vector<double> direction = std::vector<double>(table.itemCount, 0.0);  // of the last step
  std::vector<double> scale;  // per item, what its subgradient step is divided by
  std::vector<double> shares;  // per missing item, 1 / missing units
  std::vector<std::uint32_t> missingList;
  std::vector<std::uint32_t> leastColumns;
  std::vector<std::uint32_t> chosenUnits;  // items of the chosen stores' single units
  // Per item at the step's prices: the units the chosen stores leave of the wanted quantity, and
  // from takenBegin[item] to takenBegin[item + 1] the units they supply, dearest first.
  std::vector<std::uint32_t> room = std::vector<std::uint32_t>(table.itemCount, 0);
  struct TakenUnits {
    double price;
    std::uint32_t units;
  };
  std::vector<TakenUnits> takenUnits;
  std::vector<std::uint32_t> takenBegin = std::vector<std::uint32_t>(table.itemCount + 1, 0);
  struct BuyingOffer {
    const Offer* offer;
    std::uint32_t ahead;  // units of the other chosen stores before its cheapest lot
  };
  std::vector<BuyingOffer> buyingOffers;
  struct Need {
    std::uint32_t item;
    std::uint32_t units;
  };
  std::vector<Need> needs;
  // Per item, what the candidate looked at brings (valid where broughtAt is broughtStamp).
  std::vector<std::uint32_t> brought = std::vector<std::uint32_t>(table.itemCount);
  std::vector<std::uint32_t> broughtAt = std::vector<std::uint32_t>(table.itemCount, 0);
  std::uint32_t broughtStamp = 0;
  // Per missing item, the two best values of the candidates offering it.
  struct BestOfferers {
    double first;
    double second;
    std::uint32_t firstPosition;
  };
  std::vector<BestOfferers> offerers = std::vector<BestOfferers>(table.itemCount);
  std::vector<std::uint32_t> positionOf = std::vector<std::uint32_t>(table.storeCount);
  // With two stores to go: per candidate position, the missing items it offers as bits, each
  // item at its place in missingList.
  std::vector<std::uint64_t> offeredMasks;
  std::vector<std::uint64_t> neededMask;
  std::vector<std::uint32_t> missingIndex = std::vector<std::uint32_t>(table.itemCount, 0);
  std::uint32_t maskWords = 0;
  // The cover search's offerers per missing item, best value first, and its value sums.
  std::vector<std::uint32_t> coverBegin;
  std::vector<std::uint32_t> coverOfferers;
  std::vector<std::uint32_t> coverFill;
  // Per candidate position, the missing items it has all the missing units of.
  std::vector<std::uint64_t> fullMasks;
  // The same by item, as bits of the candidates ranked by value, best first: the last store of
  // a cover is the first bit of its items' rows together.
  std::vector<std::uint64_t> offeredByRank;
  std::vector<std::uint64_t> fullByRank;
  std::vector<std::uint64_t> rankTogether;
  std::uint32_t rankWords = 0;
  const std::uint32_t* coverByValue = nullptr;
  // The completion search's offerers per missing item (as positions and as bits), the units of
  // each candidate position per missing item, the units still short per slot, and the
  // positions out of its current branch.
  std::vector<std::uint32_t> completeOfferBegin;
  std::vector<std::uint32_t> completeOfferers;
  std::vector<std::uint64_t> completeBits;
  std::vector<std::uint32_t> completeUnits;
  std::vector<std::uint32_t> completeResidual;
  std::vector<std::uint32_t> completeShort;  // per slot, the items still short
  std::uint32_t completeShortCount[kMaximumStores + 1] = {0};
  std::vector<std::uint64_t> completeMasks;    // per candidate position, with 64 items at most
  std::vector<std::uint32_t> completeCounts;   // the bits of each mask
  std::vector<std::uint32_t> completeByCount;  // positions, most bits first
  // Per missing item, the units of its m largest offers for m from 0 to r.
  std::vector<std::uint32_t> completeLargest;
  std::vector<std::uint64_t> completeExcluded;
  std::vector<std::uint64_t> completeAcceptable =
      std::vector<std::uint64_t>((table.storeCount + 63) / 64);
  std::uint32_t completeWords = 0;
  std::uint32_t completeRarest = 0;  // the missing item with the fewest candidate offerers
  const double* coverValues = nullptr;
  double coverPrefix[kMaximumStores + 1] = {0.0};
  std::uint32_t coverVisits = 0;
  // Per sifted position, the candidate's value at a step's prices.
  std::vector<double> positionValues;
  // Where the candidates of the level being sifted stand, per store, and per position of its
  // parent's sifted candidates (kNoStore where one is not a candidate any more).
  std::vector<std::uint32_t> siftPosition = std::vector<std::uint32_t>(table.storeCount, 0);
  std::vector<std::uint32_t> fromParent;
  std::vector<std::uint32_t> thinStores;
  std::vector<double> storeShares;  // per store, its weighted shares of the missing items
  std::vector<std::uint32_t> touchedAt;
  std::uint32_t touchStamp = 1;
  std::vector<std::uint32_t> touched;  // the first touchedCount of them
  std::uint32_t touchedCount = 0;
  std::vector<double> bestMultipliers = std::vector<double>(table.itemCount, 0.0);
  std::vector<double> penalties;
  std::uint32_t splitDepth = 0;
  std::vector<Task>* tasks = nullptr;
  double pendingSettled = 0.0;
  std::uint32_t nodesSinceReport = 0;
  bool exploringRoot = false;  // the next node explored is the root
};

inline bool Worker::StoreBuys(const Level& level, std::uint32_t store) const {
  for (const Offer& offer : table.OffersOfStore(store)) {
    if (Buys(level, CellsOf(level, offer.other), offer.other, offer.price, store)) {
      return true;
    }
  }
  return false;
}

inline double Worker::LevelCost(const Level& level) const {
  double cost = 0.0;
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    cost += level.itemCost[item];
  }
  return cost + ChosenShipping(level);
}

inline double Worker::ChosenShipping(const Level& level) const {
  double total = 0.0;
  for (const std::uint32_t store : level.chosen) {
    total += shipping[store];
  }
  return total;
}

inline const Offer* Worker::FindOffer(std::uint32_t store, std::uint32_t item) const {
  const std::span<const Offer> offers = table.OffersOfStore(store);
  const auto found = std::lower_bound(
      offers.begin(), offers.end(), item,
      [](const Offer& offer, std::uint32_t wanted) { return offer.other < wanted; });
  return found == offers.end() || found->other != item ? nullptr : &*found;
}

inline std::uint32_t Worker::UnitsBefore(const Offer& offer, std::uint32_t offerStore, double price,
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

template <typename Entry, typename Accept, typename Better>
inline std::uint32_t Worker::SelectBest(std::uint32_t count, Entry entry, std::uint32_t r,
                                        Accept accept, Better better) {
  std::uint32_t selected = 0;
  for (std::uint32_t index = 0; index < count; ++index) {
    const auto [store, value] = entry(index);
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

template <typename Accept, typename Better>
inline std::uint32_t Worker::SelectTouched(std::uint32_t r, Accept accept, Better better) {
  return SelectBest(
      touchedCount,
      [&](std::uint32_t index) {
        return std::pair{touched[index], storeShares[touched[index]]};
      },
      r, accept, better);
}

}  // namespace Corvalle::BrickLink::BoundedSearch
