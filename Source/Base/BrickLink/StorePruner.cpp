// Redundant stores are found over all pairs of columns (a, b), a < b, visited in lexicographic
// order by the combination generator on one worker, with SubsetFinder as the collector: a is
// removed when b dominates it, else b when a dominates it, and pairs with a removed store are
// skipped. The order makes the outcome depend on the table alone.
//
// The dominance test runs on a per-call digest of the table: for every store, one bit set of
// the items it offers and one of the items it alone can supply in full, then, in store-major
// order, its cheapest unit price of each item and the price of its dearest unit among the
// cheapest wanted ones. x can only be dominated by y when x's offered set lies inside y's
// full-supply set (a few word operations), and only then are the prices compared.
//
// x makes way for y only when, for every item x offers, y's cheapest wanted units each cost no
// more than x's cheapest unit: then x never buys next to y (or buys at the same price), and in
// any plan y can take x's place at no greater cost.

#include "Source/Base/BrickLink/StorePruner.h"

#include <algorithm>
#include <bit>
#include <boost/log/trivial.hpp>
#include <cstdint>
#include <limits>
#include <span>
#include <stdexcept>

#include "Source/Base/Assert.h"
#include "Source/Base/Combinations/CombinationGenerator.h"

namespace Corvalle::BrickLink {

namespace {

class StorePruner;

// The table reorganised for the pairwise dominance test; built once per call.
class DominanceDigest {
 public:
  DominanceDigest(const ConsolidatedLotData& table, const std::vector<Item>& items)
      : itemCount(table.ItemCount()),
        wordCount((itemCount + 63) / 64),
        offered(static_cast<std::size_t>(table.StoreCount()) * wordCount, 0),
        suppliesAll(static_cast<std::size_t>(table.StoreCount()) * wordCount, 0),
        cheapest(static_cast<std::size_t>(table.StoreCount()) * itemCount),
        covering(static_cast<std::size_t>(table.StoreCount()) * itemCount) {
    for (std::uint32_t item = 0; item < itemCount; ++item) {
      const TableCell* row = table.GetItemCells(item);
      const std::uint32_t wanted = items[item].Quantity();
      const std::uint64_t bit = std::uint64_t{1} << (item % 64);
      for (std::uint32_t store = 0; store < table.StoreCount(); ++store) {
        const TableCell& cell = row[store];
        const std::size_t word = static_cast<std::size_t>(store) * wordCount + item / 64;
        const std::size_t at = static_cast<std::size_t>(store) * itemCount + item;
        const std::span<const TableLot> lots = table.LotsOf(cell);
        if (cell.quantity != 0) {
          offered[word] |= bit;
          cheapest[at] = lots.front().price;
        }
        if (cell.quantity >= wanted) {
          suppliesAll[word] |= bit;
          // The lot in which the wanted-th cheapest unit lies; an item wanted zero times asks
          // nothing of y.
          covering[at] = -std::numeric_limits<double>::infinity();
          std::uint64_t held = 0;
          for (std::size_t lot = 0; lot < lots.size() && held < wanted; ++lot) {
            covering[at] = lots[lot].price;
            held += lots[lot].quantity;
          }
        }
      }
    }
  }

  // For every item that x offers, y can supply the whole wanted quantity alone, every unit of
  // it no dearer than x's cheapest.
  bool IsDominatedBy(std::uint32_t x, std::uint32_t y) const {
    const std::uint64_t* xOffered = offered.data() + static_cast<std::size_t>(x) * wordCount;
    const std::uint64_t* ySupplies = suppliesAll.data() + static_cast<std::size_t>(y) * wordCount;
    for (std::uint32_t word = 0; word < wordCount; ++word) {
      if ((xOffered[word] & ~ySupplies[word]) != 0) {
        return false;
      }
    }
    const double* xPrices = cheapest.data() + static_cast<std::size_t>(x) * itemCount;
    const double* yPrices = covering.data() + static_cast<std::size_t>(y) * itemCount;
    for (std::uint32_t word = 0; word < wordCount; ++word) {
      for (std::uint64_t bits = xOffered[word]; bits != 0; bits &= bits - 1) {
        const std::uint32_t item = word * 64 + static_cast<std::uint32_t>(std::countr_zero(bits));
        if (!(yPrices[item] <= xPrices[item])) {
          return false;
        }
      }
    }
    return true;
  }

 private:
  std::uint32_t itemCount;
  std::uint32_t wordCount;
  std::vector<std::uint64_t> offered;
  std::vector<std::uint64_t> suppliesAll;
  std::vector<double> cheapest;  // [store * itemCount + item]
  std::vector<double> covering;  // [store * itemCount + item], where suppliesAll
};

class StorePruner final : public IStorePruner, public Combinations::ICombinationCollectorFactory {
 public:
  std::shared_ptr<const ConsolidatedLotData> PruneExtraneousStores(
      const ConsolidatedLotData& consolidatedLotData_, const std::vector<Item>& items_,
      const PlanRules& rules_) override;
  std::shared_ptr<const ConsolidatedLotData> PruneStoresByCountry(const ConsolidatedLotData& table,
                                                                  const Country& country) override;
  std::shared_ptr<const ConsolidatedLotData> PruneStoresByRegions(
      const ConsolidatedLotData& table, const std::vector<std::string>& regionNames) override;

  std::unique_ptr<Combinations::IValidCombinationCollector> CreateCollector() override;

  // Called by the collector's Finish: the columns that survive, ascending.
  void SetKeptStores(std::vector<std::uint32_t>&& keptStores_) {
    keptStores = std::move(keptStores_);
  }

 private:
  const ConsolidatedLotData* consolidatedLotData = nullptr;
  const std::vector<Item>* items = nullptr;
  const PlanRules* rules = nullptr;
  std::vector<std::uint32_t> keptStores;
};

// The collector of the pair enumeration; runs on the pruner's own thread.
class SubsetFinder final : public Combinations::IValidCombinationCollector {
 public:
  SubsetFinder(StorePruner& storePruner_, const ConsolidatedLotData& consolidatedLotData_,
               const std::vector<Item>& items, const PlanRules& rules_)
      : storePruner(storePruner_),
        consolidatedLotData(consolidatedLotData_),
        rules(rules_),
        digest(consolidatedLotData_, items),
        isExtraneous(consolidatedLotData_.StoreCount(), false) {}

  void HandleCombination(const Iterator& begin, const Iterator& end) override {
    CORVALLE_ASSERT(end - begin == 2);
    const std::uint32_t a = begin[0];
    const std::uint32_t b = begin[1];
    if (isExtraneous[a] || isExtraneous[b]) {
      return;
    }
    if (MayGo(a, b) && digest.IsDominatedBy(a, b)) {
      MarkExtraneous(a);
    } else if (MayGo(b, a) && digest.IsDominatedBy(b, a)) {
      MarkExtraneous(b);
    }
  }

  void Finish() override {
    std::vector<std::uint32_t> kept;
    for (std::uint32_t store = 0; store < consolidatedLotData.StoreCount(); ++store) {
      if (!isExtraneous[store]) {
        kept.push_back(store);
      }
    }
    storePruner.SetKeptStores(std::move(kept));
  }

 private:
  // Whether the rules let x make way for y.
  bool MayGo(std::uint32_t x, std::uint32_t y) const {
    return !rules.IsRequired(x) && rules.Shipping(y) <= rules.Shipping(x);
  }

  void MarkExtraneous(std::uint32_t store) { isExtraneous[store] = true; }

  StorePruner& storePruner;
  const ConsolidatedLotData& consolidatedLotData;
  const PlanRules& rules;
  DominanceDigest digest;
  std::vector<bool> isExtraneous;  // the columns found redundant
};

// The store's country, or null when the country table does not know its identifier; such a
// store lies in no region.
const Country* FindCountry(const ConsolidatedLotData& consolidatedLotData,
                           std::uint32_t storeIndex) {
  const StoreInformation& store = consolidatedLotData.GetStore(storeIndex);
  const Country* country = store.FindCountry();
  if (country == nullptr) {
    BOOST_LOG_TRIVIAL(warning) << "Store " << store.Id() << " (" << store.Name()
                               << ") has the unknown country ID \"" << store.CountryId()
                               << "\"; it lies in no region and is filtered out";
  }
  return country;
}

std::vector<Region> RegionNamesToRegions(const std::vector<std::string>& regionNames) {
  std::vector<Region> regions;
  for (const std::string& name : regionNames) {
    const Region region = GetRegionByName(name);
    CORVALLE_ASSERT(region != Region::None);
    regions.push_back(region);
  }
  return regions;
}

std::shared_ptr<const ConsolidatedLotData> StorePruner::PruneExtraneousStores(
    const ConsolidatedLotData& consolidatedLotData_, const std::vector<Item>& items_,
    const PlanRules& rules_) {
  CORVALLE_ASSERT(consolidatedLotData_.ItemCount() == items_.size());
  const std::uint32_t storeCount = consolidatedLotData_.StoreCount();
  if (storeCount == 0) {
    return CreatePrunedLotData({}, consolidatedLotData_);
  }
  if (storeCount == 1) {
    return CreatePrunedLotData({0}, consolidatedLotData_);
  }
  consolidatedLotData = &consolidatedLotData_;
  items = &items_;
  rules = &rules_;
  keptStores.clear();
  const auto generator = Combinations::CreateCombinationGenerator();
  generator->TryGenerateCombinations(storeCount, 2, *this);
  return CreatePrunedLotData(keptStores, consolidatedLotData_);
}

std::shared_ptr<const ConsolidatedLotData> StorePruner::PruneStoresByCountry(
    const ConsolidatedLotData& table, const Country& country) {
  std::vector<std::uint32_t> kept;
  for (std::uint32_t storeIndex = 0; storeIndex < table.StoreCount(); ++storeIndex) {
    if (FindCountry(table, storeIndex) == &country) {
      kept.push_back(storeIndex);
    }
  }
  return CreatePrunedLotData(kept, table);
}

std::shared_ptr<const ConsolidatedLotData> StorePruner::PruneStoresByRegions(
    const ConsolidatedLotData& table, const std::vector<std::string>& regionNames) {
  const std::vector<Region> regions = RegionNamesToRegions(regionNames);
  std::vector<std::uint32_t> kept;
  for (std::uint32_t storeIndex = 0; storeIndex < table.StoreCount(); ++storeIndex) {
    const Country* country = FindCountry(table, storeIndex);
    if (country == nullptr) {
      continue;
    }
    const bool inChosenRegion = std::any_of(regions.begin(), regions.end(), [&](Region region) {
      return country->region == region || country->secondaryRegion == region;
    });
    if (inChosenRegion) {
      kept.push_back(storeIndex);
    }
  }
  return CreatePrunedLotData(kept, table);
}

std::unique_ptr<Combinations::IValidCombinationCollector> StorePruner::CreateCollector() {
  CORVALLE_ASSERT(consolidatedLotData != nullptr);
  CORVALLE_ASSERT(items != nullptr);
  CORVALLE_ASSERT(rules != nullptr);
  return std::make_unique<SubsetFinder>(*this, *consolidatedLotData, *items, *rules);
}

}  // namespace

std::unique_ptr<IStorePruner> CreateStorePruner() { return std::make_unique<StorePruner>(); }

std::shared_ptr<const ConsolidatedLotData> CreatePrunedLotData(
    const std::vector<std::uint32_t>& keptStores, const ConsolidatedLotData& consolidatedLotData) {
  const std::uint32_t itemCount = consolidatedLotData.ItemCount();
  std::vector<StoreInformation> stores;
  stores.reserve(keptStores.size());
  for (const std::uint32_t storeIndex : keptStores) {
    stores.push_back(consolidatedLotData.GetStore(storeIndex));
  }
  ConsolidatedLotData::Builder builder(itemCount, std::move(stores));
  for (std::uint32_t item = 0; item < itemCount; ++item) {
    for (std::size_t column = 0; column < keptStores.size(); ++column) {
      builder.SetLots(item, static_cast<std::uint32_t>(column),
                      consolidatedLotData.GetLots(item, keptStores[column]));
    }
  }
  return builder.Build();
}

}  // namespace Corvalle::BrickLink
