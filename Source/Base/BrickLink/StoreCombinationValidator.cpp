// Validation runs one ValidCombinationCollector per worker of the combination generator.
//
// Speed comes from the generator's visit order: consecutive combinations share every store but
// the last one for long runs. Each collector therefore caches, for the current prefix (the
// first k - 1 stores), what the prefix leaves missing of each item, and, once a combination
// with that prefix proves valid, the prefix's lots of each item sorted by price. A new last
// store is then checked against the missing quantities only, and priced by merging its lots
// into each item's sorted prefix. The arithmetic is the purchase rule's, in the same
// order, so the cost is bit for bit the one that StoreCombination::CalculateMinimumCost
// computes.
//
// The search works on a digest of the table built once per call (CombinationDigest.h).
//
// Each collector keeps its cheapest combinations in a max-heap ordered by (cost, visit
// number), whose top is the entry that the keep-the-cheapest rule replaces. Once the heap is
// full, pricing stops as soon as the running cost exceeds the top's (with prices that are not
// negative a running cost only grows), so most dropped combinations are never fully priced.
// At the end each collector hands its entries over as one block, in (cost, visit) order.
//
// Progress is counted per collector and added to the shared counter in batches, so the
// workers do not fight over one cache line; every multiple of the reporting interval that a
// batch crosses is reported with exactly the figures it would have had otherwise.

#include "Source/Base/BrickLink/StoreCombinationValidator.h"

#include <algorithm>
#include <atomic>
#include <boost/log/trivial.hpp>
#include <chrono>
#include <cmath>
#include <iterator>
#include <limits>
#include <mutex>

#include "Source/Base/Assert.h"
#include "Source/Base/BrickLink/CheapestCombinations.h"
#include "Source/Base/BrickLink/CombinationDigest.h"
#include "Source/Base/Combinations/CombinationGenerator.h"
#include "Source/Base/BrickLink/CombinationPricing.h"
#include "Source/Base/Formatting.h"

namespace Corvalle::BrickLink {

namespace {

constexpr std::uint64_t kProgressInterval = 5000000;
// Combinations a collector counts before it adds them to the shared counter.
constexpr std::uint64_t kProgressBatch = 1 << 16;
constexpr double kMinimumFractionForEstimate = 0.0001;

class ICombinationAggregator {
 public:
  virtual void AggregateCombination(const StoreCombination& combination) = 0;
  // Appends a whole block, in order and without interruption by other workers' entries.
  virtual void AggregateCombinations(std::vector<StoreCombination>&& block) = 0;

 protected:
  ~ICombinationAggregator() = default;
};

class IProgressUpdater {
 public:
  // Counts processed more combinations as handled.
  virtual void UpdateProgress(std::uint64_t processed) = 0;

 protected:
  ~IProgressUpdater() = default;
};

// Aligned to a cache line: collectors of different workers are allocated one after the other
// and must not share a line that one of them writes for every combination.
class alignas(64) ValidCombinationCollector final
    : public Combinations::IValidCombinationCollector {
 public:
  ValidCombinationCollector(ICombinationAggregator& aggregator_, IProgressUpdater& progressUpdater_,
                            const Pricing::CombinationDigest& digest_, std::uint32_t k_,
                            std::size_t keptPerWorker)
      : aggregator(aggregator_),
        progressUpdater(progressUpdater_),
        digest(digest_),
        k(k_),
        prefixLength(k_ == 0 ? 0 : k_ - 1),
        best(k_, keptPerWorker),
        prefix(prefixLength, std::numeric_limits<std::uint32_t>::max()),
        deficientItems(digest_.itemCount),
        deficientNeeds(digest_.itemCount),
        levelHeld(static_cast<std::size_t>(digest_.itemCount) * prefixLength),
        prefixBegin(digest_.itemCount + 1, 0),
        heads(digest_.itemCount) {}

  void HandleCombination(const Iterator& begin, const Iterator& end) override {
    CORVALLE_ASSERT(static_cast<std::uint32_t>(end - begin) == k);
    if (++pendingProgress == kProgressBatch) {
      progressUpdater.UpdateProgress(pendingProgress);
      pendingProgress = 0;
    }
    if (k == 0) {
      // The one empty combination: valid when nothing is wanted, and then free.
      if (digest.itemCount == 0) {
        static constexpr std::uint32_t kNoStores[1] = {0};
        best.Offer(0.0, kNoStores);
      }
      return;
    }
    const std::uint32_t* combination = &*begin;
    if (!prefixLoaded || !SamePrefix(combination)) {
      LoadPrefix(combination);
    }
    const std::uint32_t last = combination[prefixLength];
    const std::uint32_t* lastQuantities =
        digest.quantities.data() + static_cast<std::size_t>(last) * digest.itemCount;
    for (std::uint32_t d = 0; d < deficientCount; ++d) {
      if (lastQuantities[deficientItems[d]] < deficientNeeds[d]) {
        return;
      }
    }
    if (!pricingPrepared) {
      PreparePricing();
    }
    double cost = 0.0;
    if (PriceWithLast(last, best.DropThreshold(), cost)) {
      best.Offer(cost, combination);
    }
  }

  void Finish() override {
    if (pendingProgress != 0) {
      progressUpdater.UpdateProgress(pendingProgress);
      pendingProgress = 0;
    }
    aggregator.AggregateCombinations(best.Drain());
  }

 private:
  // Whether the combination starts with the cached prefix; a plain loop, as k - 1 is at most 10.
  bool SamePrefix(const std::uint32_t* combination) const {
    for (std::uint32_t position = prefixLength; position-- > 0;) {
      if (prefix[position] != combination[position]) {
        return false;
      }
    }
    return true;
  }

  // Caches what the first k - 1 stores of the combination leave missing of each item. Their
  // sorted cells are prepared only when a combination with this prefix proves valid: on
  // tables where most combinations are invalid, most prefixes never need them.
  void LoadPrefix(const std::uint32_t* combination) {
    // Only the positions from the first one that changed are summed again: usually just the
    // last position of the prefix moves on.
    std::uint32_t changed = 0;
    if (prefixLoaded) {
      while (changed < prefixLength && prefix[changed] == combination[changed]) {
        ++changed;
      }
    }
    std::copy_n(combination, prefixLength, prefix.begin());
    prefixLoaded = true;
    pricingPrepared = false;
    const std::size_t itemCount = digest.itemCount;
    for (std::uint32_t position = changed; position < prefixLength; ++position) {
      std::uint64_t* held = levelHeld.data() + position * itemCount;
      const std::uint32_t* quantities =
          digest.quantities.data() + static_cast<std::size_t>(prefix[position]) * itemCount;
      if (position == 0) {
        for (std::size_t item = 0; item < itemCount; ++item) {
          held[item] = quantities[item];
        }
      } else {
        const std::uint64_t* before = held - itemCount;
        for (std::size_t item = 0; item < itemCount; ++item) {
          held[item] = before[item] + quantities[item];
        }
      }
    }
    // What the whole prefix holds; nothing at all without a prefix (k = 1).
    const std::uint64_t* held =
        prefixLength == 0 ? nullptr : levelHeld.data() + (prefixLength - 1) * itemCount;
    deficientCount = 0;
    for (std::uint32_t item = 0; item < itemCount; ++item) {
      const std::uint64_t have = held == nullptr ? 0 : held[item];
      const std::uint32_t wanted = digest.wanted[item];
      // Written without a branch: whether an item is short is a coin toss for the predictor.
      deficientItems[deficientCount] = item;
      deficientNeeds[deficientCount] =
          wanted - static_cast<std::uint32_t>(std::min<std::uint64_t>(have, wanted));
      deficientCount += have < wanted ? 1 : 0;
    }
  }

  // The prefix's lots of each item, sorted by price with ties in column order (then each
  // store's own order), and the first of them.
  void PreparePricing() {
    pricingPrepared = true;
    prefixCells.clear();
    for (std::uint32_t item = 0; item < digest.itemCount; ++item) {
      prefixBegin[item] = static_cast<std::uint32_t>(prefixCells.size());
      for (std::uint32_t position = 0; position < prefixLength; ++position) {
        const std::size_t at = static_cast<std::size_t>(prefix[position]) * digest.itemCount + item;
        const Pricing::Cell* lots = digest.lots.data() + digest.firstLots[at];
        prefixCells.insert(prefixCells.end(), lots, lots + digest.lotCounts[at]);
      }
      const auto count = static_cast<std::uint32_t>(prefixCells.size()) - prefixBegin[item];
      Pricing::SortByPrice(prefixCells.data() + prefixBegin[item], count);
      // Capped quantities equal the wanted quantity exactly when they cover it.
      heads[item] = count == 0 ? Head{std::numeric_limits<double>::infinity(), false}
                               : Head{prefixCells[prefixBegin[item]].price,
                                      prefixCells[prefixBegin[item]].quantity ==
                                          digest.wanted[item]};
    }
    prefixBegin[digest.itemCount] = static_cast<std::uint32_t>(prefixCells.size());
  }

  // The purchase rule over the cached prefix and the last store's lots, item by item, adding
  // to cost in purchase order. Returns false, with cost incomplete, once the running cost
  // exceeds threshold and can no longer come back (prices not negative).
  bool PriceWithLast(std::uint32_t last, double threshold, double& cost) const {
    const bool canStopEarly = digest.pricesNeverNegative;
    const bool canTakeShortcut = digest.pricesAreNumbers;
    const std::size_t lastAt = static_cast<std::size_t>(last) * digest.itemCount;
    for (std::uint32_t item = 0; item < digest.itemCount; ++item) {
      const Pricing::Cell* cells = prefixCells.data() + prefixBegin[item];
      const std::uint32_t cellCount = prefixBegin[item + 1] - prefixBegin[item];
      const std::uint32_t lastCount = digest.lotCounts[lastAt + item];
      const Pricing::Cell* lastLots = digest.lots.data() + digest.firstLots[lastAt + item];
      const double lastPrice = digest.prices[lastAt + item];
      const std::uint32_t wanted = digest.wanted[item];
      // The common case: whichever lot comes first covers the item alone (the last store's
      // cheapest is first only when it is strictly cheaper than the prefix's). A selection,
      // not a branch: which one comes first is a coin toss for the predictor.
      const bool lastFirst = lastCount != 0 && lastPrice < heads[item].price;
      if (canTakeShortcut &&
          (lastFirst ? lastLots[0].quantity == wanted : heads[item].coversAll)) {
        cost += static_cast<double>(wanted) * (lastFirst ? lastPrice : heads[item].price);
        if (canStopEarly && cost > threshold) {
          return false;
        }
        continue;
      }
      std::uint32_t missing = wanted;
      std::uint32_t position = 0;
      for (std::uint32_t lot = 0; lot < lastCount && missing != 0; ++lot) {
        // The prefix lots that come before this one of the last store: those not dearer.
        for (; position < cellCount && missing != 0 && !(lastLots[lot].price < cells[position].price);
             ++position) {
          Buy(cells[position].quantity, cells[position].price, missing, cost);
        }
        Buy(lastLots[lot].quantity, lastLots[lot].price, missing, cost);
      }
      for (; position < cellCount && missing != 0; ++position) {
        Buy(cells[position].quantity, cells[position].price, missing, cost);
      }
      if (canStopEarly && cost > threshold) {
        return false;
      }
    }
    return true;
  }

  static void Buy(std::uint32_t quantity, double price, std::uint32_t& missing, double& cost) {
    const std::uint32_t taken = quantity < missing ? quantity : missing;
    if (taken != 0) {
      cost += static_cast<double>(taken) * price;
      missing -= taken;
    }
  }

  ICombinationAggregator& aggregator;
  IProgressUpdater& progressUpdater;
  const Pricing::CombinationDigest& digest;
  const std::uint32_t k;
  const std::uint32_t prefixLength;
  CheapestCombinations best;
  std::uint64_t pendingProgress = 0;

  // The cached prefix and what it leaves to the last store.
  bool prefixLoaded = false;
  bool pricingPrepared = false;
  std::vector<std::uint32_t> prefix;
  std::uint32_t deficientCount = 0;
  std::vector<std::uint32_t> deficientItems;
  std::vector<std::uint32_t> deficientNeeds;
  // [position * itemCount + item]: what prefix positions 0 ... position hold of the item.
  std::vector<std::uint64_t> levelHeld;
  // The prefix's lots of each item, by price: item i's from prefixBegin[i] to prefixBegin[i + 1].
  std::vector<Pricing::Cell> prefixCells;
  std::vector<std::uint32_t> prefixBegin;
  // Per item, the prefix's cheapest cell: its price and whether it alone covers the item.
  struct Head {
    double price;
    bool coversAll;
  };
  std::vector<Head> heads;
};

class StoreCombinationValidator final : public IStoreCombinationValidator,
                                        public Combinations::ICombinationCollectorFactory,
                                        public ICombinationAggregator,
                                        public IProgressUpdater {
 public:
  StoreCombinationValidator(const std::vector<Item>& items_, std::size_t keptPerWorker_)
      : items(&items_),
        keptPerWorker(keptPerWorker_),
        combinations(std::make_unique<std::vector<StoreCombination>>()) {
    CORVALLE_ASSERT(keptPerWorker >= 1);
  }

  std::unique_ptr<std::vector<StoreCombination>> FindValidCombinations(
      const ConsolidatedLotData& consolidatedLotData, std::uint32_t storesPerCombination,
      const CombinationProgress& progress, std::uint32_t threadCount) override;

  std::unique_ptr<Combinations::IValidCombinationCollector> CreateCollector() override;
  void AggregateCombination(const StoreCombination& combination) override;
  void AggregateCombinations(std::vector<StoreCombination>&& block) override;
  void UpdateProgress(std::uint64_t processed) override;

 private:
  const std::vector<Item>* items;
  const std::size_t keptPerWorker;
  std::uint32_t storesPerCombination = 0;
  std::unique_ptr<Pricing::CombinationDigest> digest;
  std::mutex aggregationMutex;  // guards combinations
  std::mutex progressMutex;     // serialises the calls of progressCallback
  CombinationProgress progressCallback;
  std::uint64_t totalCount = 0;
  std::atomic<std::uint64_t> processedCount{0};
  // Steady, so that a change of the wall clock cannot bend the estimate.
  std::chrono::steady_clock::time_point startTime;
  std::unique_ptr<std::vector<StoreCombination>> combinations;
};

std::unique_ptr<std::vector<StoreCombination>> StoreCombinationValidator::FindValidCombinations(
    const ConsolidatedLotData& consolidatedLotData, std::uint32_t storesPerCombination_,
    const CombinationProgress& progress, std::uint32_t threadCount) {
  progressCallback = progress;
  // Nothing of an earlier call, not even of one that ended in an exception, carries over.
  combinations = std::make_unique<std::vector<StoreCombination>>();
  storesPerCombination = storesPerCombination_;
  CORVALLE_ASSERT(consolidatedLotData.StoreCount() >= storesPerCombination_);
  totalCount =
      Combinations::CountCombinations(consolidatedLotData.StoreCount(), storesPerCombination_);
  processedCount = 0;
  startTime = std::chrono::steady_clock::now();
  digest = std::make_unique<Pricing::CombinationDigest>(*items, consolidatedLotData);

  const auto generator = Combinations::CreateCombinationGenerator();
  generator->TryGenerateCombinations(consolidatedLotData.StoreCount(), storesPerCombination_,
                                     *this, threadCount);

  BOOST_LOG_TRIVIAL(debug) << "Combination count: " << combinations->size();
  digest.reset();
  return std::move(combinations);
}

std::unique_ptr<Combinations::IValidCombinationCollector>
StoreCombinationValidator::CreateCollector() {
  CORVALLE_ASSERT(digest != nullptr);
  return std::make_unique<ValidCombinationCollector>(*this, *this, *digest, storesPerCombination,
                                                     keptPerWorker);
}

void StoreCombinationValidator::AggregateCombination(const StoreCombination& combination) {
  std::lock_guard<std::mutex> lock(aggregationMutex);
  combinations->push_back(combination);
}

void StoreCombinationValidator::AggregateCombinations(std::vector<StoreCombination>&& block) {
  std::lock_guard<std::mutex> lock(aggregationMutex);
  if (combinations->empty()) {
    *combinations = std::move(block);
  } else {
    combinations->insert(combinations->end(), std::make_move_iterator(block.begin()),
                         std::make_move_iterator(block.end()));
  }
}

void StoreCombinationValidator::UpdateProgress(std::uint64_t processed) {
  const std::uint64_t before = processedCount.fetch_add(processed);
  const std::uint64_t after = before + processed;
  for (std::uint64_t reached = (before / kProgressInterval + 1) * kProgressInterval;
       reached <= after; reached += kProgressInterval) {
    std::lock_guard<std::mutex> lock(progressMutex);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::steady_clock::now() - startTime)
                             .count();
    const double fraction = static_cast<double>(reached) / static_cast<double>(totalCount);
    const std::uint64_t estimate =
        fraction >= kMinimumFractionForEstimate
            ? Utilities::EstimateSecondsRemaining(static_cast<double>(seconds), fraction)
            : 0;
    if (progressCallback) {
      progressCallback(fraction, estimate);
    }
  }
}

}  // namespace

std::unique_ptr<IStoreCombinationValidator> CreateStoreCombinationValidator(
    const std::vector<Item>& items, std::size_t keptPerWorker) {
  return std::make_unique<StoreCombinationValidator>(items, keptPerWorker);
}

}  // namespace Corvalle::BrickLink
