// A search runs in nine stages, each announced as "i of 10" so that the tenth step, the
// search's success, fills the bar; the colours come first and unnumbered (their failure is no
// reason to stop):
//   1 the wanted list          4 store metadata          7 the combination search
//   2 price guides             5 pruning                 8 costs
//   3 the item-by-store table  6 the fewest stores       9 the plans of the cheapest
// Pruning goes by region, then drops stores that another store makes redundant, with a count
// of the possible combinations after each cut. Whenever a table shrinks, the stores per
// combination are lowered to its store count. Stores to avoid leave the table before stage 4;
// stores to keep are checked against the table after each of its cuts.

#include "Source/Base/CostFinder.h"

#include <boost/log/trivial.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <map>
#include <sstream>
#include <stdexcept>

#include "Source/Base/BrickLink/ColorInformationCache.h"
#include "Source/Base/BrickLink/ColorInformationParser.h"
#include "Source/Base/BrickLink/ColorInformationRetriever.h"
#include "Source/Base/BrickLink/Countries.h"
#include "Source/Base/BrickLink/Currencies.h"
#include "Source/Base/BrickLink/LotDataConsolidator.h"
#include "Source/Base/BrickLink/MinimumCostFinder.h"
#include "Source/Base/BrickLink/PlanRules.h"
#include "Source/Base/BrickLink/PriceGuideCache.h"
#include "Source/Base/BrickLink/PriceGuideParser.h"
#include "Source/Base/BrickLink/PriceGuideRetriever.h"
#include "Source/Base/BrickLink/StoreCombinationValidator.h"
#include "Source/Base/BrickLink/StoreInformationParser.h"
#include "Source/Base/BrickLink/StoreInformationRetriever.h"
#include "Source/Base/BrickLink/StoreMetadataCache.h"
#include "Source/Base/BrickLink/StoreMetadataPopulator.h"
#include "Source/Base/BrickLink/StorePruner.h"
#include "Source/Base/BrickStore/XmlParser.h"
#include "Source/Base/FileDownloader/FileDownloader.h"
#include "Source/Base/Formatting.h"
#include "Source/Base/PriceFormatting.h"
#include "Source/Base/WantedList.h"

namespace Corvalle {

namespace {

using Utilities::FormatCount;
using Utilities::StatusState;
using Utilities::StatusUpdate;

// The numbered stages of the comment above, each announced as i of kStageCount + 1: the step
// after the last is the search's success, which fills the bar.
constexpr std::uint32_t kStageCount = 9;
constexpr std::uint32_t kMaximumResults = 25;

class CostFinder final : public ICostFinder {
 public:
  CostFinder(std::string wantedListPath_, std::uint32_t storesPerCombination_,
             const std::string& countryId, std::uint32_t currencyId,
             std::vector<std::string> regions_, CostFinderCallbacks callbacks,
             SearchOptions options_);

  void FindMinimumCostCombinations(std::uint32_t threadCount) override;
  const std::vector<std::unique_ptr<BrickLink::ICombinationData>>& GetCombinationData()
      const override;
  const std::vector<StoreCountCost>& GetStoreCountCosts() const override {
    return storeCountCosts;
  }
  const std::vector<std::unique_ptr<BrickLink::ICombinationData>>& GetStoreCountPlans(
      std::uint32_t stores) const override;
  const std::vector<LeftOutItem>& GetUnavailableItems() const override {
    return unavailableItems;
  }
  SearchProof Proof() const override { return proof; }
  void Stop() override { stopRequested.store(true); }
  const std::vector<BrickStore::SkippedLine>& SkippedLines() const override;
  const std::vector<RefusedSetting>& RefusedSettings() const override;

 private:
  // False when the search ended early; the failure has then been reported. Runs the stages
  // below in order; each that returns false or nothing has reported why the search ends.
  bool RunSearch(std::uint32_t threadCount);
  void ForgetLastSearch();
  bool CheckSearchOptions();
  void RetrieveColors();
  bool ReadWantedList();              // stage 1
  bool RetrievePriceGuides();         // stage 2
  bool BuildTable();                  // stage 3, the stores to avoid left out
  bool RetrieveStoreMetadata();       // stage 4
  bool PruneStores();                 // stage 5
  std::optional<std::uint32_t> FindMinimumStores();  // stage 6
  // Stage 7; stages 8 and 9 follow in SearchPlans.
  void SearchCombinations(std::uint32_t minimumStores, std::uint32_t threadCount);
  // Lowers k to the table's store count and makes a minimum cost finder for the table.
  void UseTable(std::shared_ptr<const BrickLink::ConsolidatedLotData> table);
  // The failure text of options that cannot make a plan before anything is read, or empty.
  // Names the settings at fault in refusedSettings.
  std::string CheckOptions();
  // Takes the stores to avoid out of the table.
  std::shared_ptr<const BrickLink::ConsolidatedLotData> WithoutExcludedStores(
      const BrickLink::ConsolidatedLotData& consolidated);
  // The failure text naming the first store to keep that the table lacks, or empty; why it
  // lacks it is reason(store id).
  // Names the stores to keep in refusedSettings when one is missing.
  std::string MissingRequiredStore(const std::function<std::string(std::uint32_t)>& reason);
  // Why the store is not in the table of every region, from the wanted list's guides.
  std::string WhyNotInTable(std::uint32_t store) const;
  void ReportOptions() const;
  // The statistics line of a count of possible combinations; false when the count overflows.
  bool ReportPossibleCombinations(const std::string& label, const char* overflowText);
  // The last count of possible combinations, or what is known of it beyond 64 bits.
  std::string PossibleCombinationsText() const;
  // Names the items that the accepted regions cannot supply, from the table of every region
  // (everywhere) and the current one. Leaves them out when the options say so, else fails;
  // false when the search ends.
  bool HandleUnavailableItems(const BrickLink::ConsolidatedLotData& everywhere);
  // Why the accepted regions cannot supply the item, or empty when they can.
  std::string WhyUnavailable(std::uint32_t row,
                             const BrickLink::ConsolidatedLotData& everywhere) const;
  // The search of the cheapest plans on the current table with the given finder, and their
  // distinct plans, at most kMaximumResults. The main search announces its stages and
  // statistics; the sweep's searches do it once for all.
  // Returns what is proven of them.
  SearchProof SearchPlans(BrickLink::IMinimumCostFinder& finder, std::uint32_t threadCount,
                          const BrickLink::CombinationProgress& progress, bool announce,
                          std::vector<std::unique_ptr<BrickLink::ICombinationData>>& plans);
  // The cheapest plan of every number of stores from minimumStores to k but k, whose plans
  // the main search finds.
  void SweepStoreCounts(std::uint32_t minimumStores, std::uint32_t threadCount);
  // When the bounded searches of this search stop, if they are to.
  std::optional<std::chrono::steady_clock::time_point> deadline;
  std::chrono::steady_clock::time_point searchStart;
  SearchProof proof;
  // Set by Stop from any thread; every bounded search of this search watches it.
  std::atomic<bool> stopRequested{false};
  // What the bounded searches report while they run, in the search currency.
  void ReportBounds(bool searching, double cheapest, double lowerBound) const;

  void High(std::uint32_t stage, const std::string& text) const;
  void Fail(const std::string& text) const;
  // A failed stage: the failure text, and the low-level line back to idle.
  void Abort(const std::string& text) const;
  void Low(const StatusUpdate& update) const;
  void Statistic(const std::string& text) const;

  void HandleRetrieverStatus(const RetrieverStatus& status) const;
  // Names a page that is slow to come in the low-level status, on the search thread.
  BrickLink::SlowPageNotice SlowPage() const;
  void HandleProgress(double progress) const;
  void HandleCombinationProgress(double progress, unsigned long long secondsRemaining) const;

  const std::string wantedListPath;
  std::uint32_t storesPerCombination;
  const SearchOptions options;
  const BrickLink::PurchaseTerms terms;
  const std::uint32_t searchCurrencyId;
  const std::vector<std::string> regions;
  const Utilities::StatusCallback highLevelStatusCallback;
  const Utilities::StatusCallback lowLevelStatusCallback;
  const Utilities::StatisticsCallback statisticsCallback;
  const std::function<void(const LiveBounds&)> boundsCallback;

  std::unique_ptr<FileDownloader::IFileDownloader> fileDownloader;
  std::unique_ptr<BrickLink::IColorInformationCache> colorInformationCache;
  std::unique_ptr<BrickLink::IColorInformationParser> colorInformationParser;
  std::unique_ptr<BrickLink::IColorInformationRetriever> colorInformationRetriever;
  std::unique_ptr<BrickLink::IPriceGuideCache> priceGuideCache;
  std::unique_ptr<BrickLink::IPriceGuideParser> priceGuideParser;
  std::unique_ptr<BrickLink::IPriceGuideRetriever> priceGuideRetriever;
  std::unique_ptr<BrickStore::IXmlParser> xmlParser;
  std::unique_ptr<WantedList> wantedList;
  std::unique_ptr<BrickLink::IStoreMetadataCache> storeMetadataCache;
  std::unique_ptr<BrickLink::IStoreInformationParser> storeInformationParser;
  std::unique_ptr<BrickLink::IStoreInformationRetriever> storeInformationRetriever;
  std::unique_ptr<BrickLink::IStoreMetadataPopulator> storeMetadataPopulator;
  std::unique_ptr<BrickLink::ILotDataConsolidator> lotDataConsolidator;
  std::unique_ptr<BrickLink::IStorePruner> storePruner;
  std::vector<std::unique_ptr<BrickLink::ICombinationData>> combinationData;
  std::vector<StoreCountCost> storeCountCosts;
  std::map<std::uint32_t, std::vector<std::unique_ptr<BrickLink::ICombinationData>>>
      storeCountPlans;
  std::vector<LeftOutItem> unavailableItems;
  std::vector<RefusedSetting> refusedSettings;
  const std::uint32_t requestedStores;

  // The search's working state.
  std::shared_ptr<const BrickLink::ConsolidatedLotData> table;
  std::unique_ptr<BrickLink::IStoreCombinationValidator> validator;
  std::unique_ptr<BrickLink::IMinimumCostFinder> minimumCostFinder;
  std::uint64_t possibleCombinations = 0;
  bool possibleCombinationsOverflow = false;
};

CostFinder::CostFinder(std::string wantedListPath_, std::uint32_t storesPerCombination_,
                       const std::string& countryId, std::uint32_t currencyId,
                       std::vector<std::string> regions_, CostFinderCallbacks callbacks,
                       SearchOptions options_)
    : wantedListPath(std::move(wantedListPath_)),
      storesPerCombination(storesPerCombination_),
      options(std::move(options_)),
      terms{options.domesticShipping, options.internationalShipping, countryId,
            options.requiredStores},
      searchCurrencyId(currencyId),
      regions(std::move(regions_)),
      highLevelStatusCallback(std::move(callbacks.highLevelStatus)),
      lowLevelStatusCallback(std::move(callbacks.lowLevelStatus)),
      statisticsCallback(std::move(callbacks.statistics)),
      boundsCallback(std::move(callbacks.bounds)),
      fileDownloader(FileDownloader::CreateFileDownloader(options.downloadTimeouts)),
      colorInformationCache(std::make_unique<BrickLink::ColorInformationCache>()),
      colorInformationParser(BrickLink::CreateColorInformationParser()),
      colorInformationRetriever(BrickLink::CreateColorInformationRetriever(
          *fileDownloader, *colorInformationCache, *colorInformationParser, options.marketplaceHost,
          SlowPage())),
      priceGuideCache(std::make_unique<BrickLink::PriceGuideCache>()),
      priceGuideParser(BrickLink::CreatePriceGuideParser()),
      priceGuideRetriever(BrickLink::CreatePriceGuideRetriever(
          *fileDownloader, *priceGuideCache, *priceGuideParser, countryId, currencyId,
          options.marketplaceHost, SlowPage())),
      xmlParser(BrickStore::CreateXmlParser()),
      wantedList(
          std::make_unique<WantedList>(*xmlParser, *priceGuideRetriever, options.listLimits)),
      storeMetadataCache(std::make_unique<BrickLink::StoreMetadataCache>()),
      storeInformationParser(BrickLink::CreateStoreInformationParser()),
      storeInformationRetriever(BrickLink::CreateStoreInformationRetriever(
          *fileDownloader, *storeMetadataCache, *storeInformationParser, options.marketplaceHost,
          SlowPage())),
      storeMetadataPopulator(BrickLink::CreateStoreMetadataPopulator(*storeInformationRetriever)),
      lotDataConsolidator(BrickLink::CreateLotDataConsolidator()),
      storePruner(BrickLink::CreateStorePruner()),
      requestedStores(storesPerCombination_) {}

BrickLink::SlowPageNotice CostFinder::SlowPage() const {
  return {[this](const std::string& page) {
            Low(StatusUpdate(StatusState::InProgress, "Waiting for a slow page: " + page + "..."));
          },
          options.slowPageAfter};
}

void CostFinder::FindMinimumCostCombinations(std::uint32_t threadCount) {
  try {
    if (RunSearch(threadCount)) {
      BOOST_LOG_TRIVIAL(info) << "Done!";
      highLevelStatusCallback(StatusUpdate(StatusState::Succeeded));
      Low(StatusUpdate(StatusState::Idle));
    }
  } catch (const std::exception& error) {
    // An item without type, a failing database, a store in a country outside the table: none
    // of them may take the program down, and no half-made plan may be shown.
    BOOST_LOG_TRIVIAL(error) << "The search failed: " << error.what();
    combinationData.clear();
    Abort(error.what());
  }
  BOOST_LOG_TRIVIAL(info) << "Bye!";
}

bool CostFinder::RunSearch(std::uint32_t threadCount) {
  ForgetLastSearch();
  if (!CheckSearchOptions()) {
    return false;
  }
  RetrieveColors();
  if (!ReadWantedList() || !RetrievePriceGuides() || !BuildTable() || !RetrieveStoreMetadata() ||
      !PruneStores()) {
    return false;
  }
  const std::optional<std::uint32_t> minimumStores = FindMinimumStores();
  if (!minimumStores) {
    return false;
  }
  SearchCombinations(*minimumStores, threadCount);
  return true;
}

void CostFinder::ForgetLastSearch() {
  combinationData.clear();
  storeCountCosts.clear();
  storeCountPlans.clear();
  unavailableItems.clear();
  proof = {};
  stopRequested.store(false);
  refusedSettings.clear();
}

bool CostFinder::CheckSearchOptions() {
  if (const std::string problem = CheckOptions(); !problem.empty()) {
    highLevelStatusCallback(StatusUpdate(StatusState::Idle, "Checking the search options..."));
    Abort(problem);
    return false;
  }
  return true;
}

void CostFinder::RetrieveColors() {
  // Without colours names read "[Error retrieving color name]", which is no reason to stop.
  highLevelStatusCallback(StatusUpdate(StatusState::Idle, "Retrieving color data..."));
  Low(StatusUpdate(StatusState::InProgress));
  try {
    colorInformationRetriever->TryPopulateColorInformation();
  } catch (const std::exception& error) {
    BOOST_LOG_TRIVIAL(error) << "Ignoring the failed colour retrieval: " << error.what();
  }
}

bool CostFinder::ReadWantedList() {
  High(1, "Parsing wanted list \"" + wantedListPath + "\"...");
  if (!wantedList->ReadItems(wantedListPath.c_str())) {
    // The reason on a line of its own: the user has to find the line to mend in the file.
    const std::string& reason = wantedList->ReadFailure();
    Fail("Unable to read items from file :(" + (reason.empty() ? std::string() : "\n" + reason));
    return false;
  }
  // Known here, not later: with nothing to buy the search would only end at "No possible
  // combinations", blaming the parts and regions instead of the list.
  if (wantedList->TotalQuantity() == 0) {
    Abort("The wanted list \"" + wantedListPath +
          "\" has nothing to buy: no item with a quantity above 0" +
          (options.listLimits == ListLimits::Apply ? " still to fill." : "."));
    return false;
  }
  // A list of two pieces never needs three stores, unless stores to keep take the places.
  storesPerCombination =
      std::max(std::min(storesPerCombination, wantedList->TotalQuantity()),
               static_cast<std::uint32_t>(options.requiredStores.size()));
  return true;
}

bool CostFinder::RetrievePriceGuides() {
  High(2, "Retrieving price guide data...");
  if (!wantedList->RetrievePriceGuides(
          [this](RetrieverStatus status) { HandleRetrieverStatus(status); })) {
    // The page that failed, and why: a slow one is named with its deadline.
    const std::string reason = priceGuideRetriever->LastFailure();
    Abort("Unable to retrieve price guide data for all items!  Aborting." +
          (reason.empty() ? std::string() : "\n" + reason));
    return false;
  }
  Low(StatusUpdate(StatusState::Succeeded));
  return true;
}

bool CostFinder::BuildTable() {
  High(3, "Consolidating lot data...");
  Low(StatusUpdate(StatusState::InProgress));
  std::shared_ptr<const BrickLink::ConsolidatedLotData> consolidated =
      lotDataConsolidator->ConsolidateLotData(wantedList->Items());
  if (!options.excludedStores.empty()) {
    consolidated = WithoutExcludedStores(*consolidated);
  }
  table = consolidated;
  // The table holds only lots that ship to the buyer, within the list's limits: the guides
  // tell why a store is missing from it.
  if (const std::string missing =
          MissingRequiredStore([this](std::uint32_t store) { return WhyNotInTable(store); });
      !missing.empty()) {
    Abort(missing);
    return false;
  }
  return true;
}

bool CostFinder::RetrieveStoreMetadata() {
  High(4, "Retrieving metadata for " + FormatCount(table->StoreCount()) + " stores...");
  try {
    storeMetadataPopulator->PopulateStoreMetadata(
        *table, [this](double progress) { HandleProgress(progress); });
  } catch (const std::runtime_error& error) {
    BOOST_LOG_TRIVIAL(error) << error.what();
    // The populator names the store and why its page failed.
    Abort(std::string(error.what()) + "\nPlease try again.");
    return false;
  }
  return true;
}

bool CostFinder::PruneStores() {
  High(5, "Pruning stores...");
  ReportOptions();
  // The table of every region, against which the pruned one tells which items the accepted
  // regions cannot supply.
  const std::shared_ptr<const BrickLink::ConsolidatedLotData> everywhere = table;
  const std::vector<Item>& items = wantedList->Items();
  validator = BrickLink::CreateStoreCombinationValidator(items);
  UseTable(everywhere);
  ReportPossibleCombinations("Maximum possible combinations: ", "Possibly too many combinations!");

  Low(StatusUpdate(StatusState::InProgress,
                   "Filtering stores to those in the selected regions only..."));
  UseTable(storePruner->PruneStoresByRegions(*table, regions));
  ReportPossibleCombinations("Maximum possible combinations after filtering by region: ",
                             "Possibly too many combinations!");
  if (const std::string missing = MissingRequiredStore(
          [](std::uint32_t) { return std::string("lies outside the accepted regions"); });
      !missing.empty()) {
    Abort(missing);
    return false;
  }

  if (!HandleUnavailableItems(*everywhere)) {
    return false;
  }

  Low(StatusUpdate(StatusState::InProgress, "Pruning extraneous subsets of stores..."));
  UseTable(storePruner->PruneExtraneousStores(*table, items, MakePlanRules(terms, *table)));
  // Only the enumeration needs the count to fit: the bounded search never visits them all.
  if (!ReportPossibleCombinations("Maximum possible combinations after pruning extraneous stores: ",
                                  "Too many combinations!") &&
      options.method == SearchMethod::Exhaustive) {
    Abort(
        "Too many possible combinations to process.\nTry reducing the number of stores per "
        "combination.");
    return false;
  }
  return true;
}

std::optional<std::uint32_t> CostFinder::FindMinimumStores() {
  High(6, "Finding minimum stores required...");
  Low(StatusUpdate(StatusState::InProgress));
  const std::uint32_t minimumStores = minimumCostFinder->FindMinimumStoresRequired();
  Statistic("Minimum required stores: " + FormatCount(minimumStores));
  if (minimumStores == 0) {
    Abort(
        "No possible combinations.\nTry removing rare parts from the wanted list or selecting "
        "more regions to ship from.");
    return std::nullopt;
  }
  if (minimumStores > storesPerCombination) {
    const std::uint32_t more = minimumStores - requestedStores;
    Abort("No possible combinations.\nThe list needs at least " + FormatCount(minimumStores) +
          " stores: " + FormatCount(more) + " more than the " + FormatCount(requestedStores) +
          " allowed.\nAllow more stores per combination, or "
          "select more regions to ship from.");
    return std::nullopt;
  }
  return minimumStores;
}

void CostFinder::SearchCombinations(std::uint32_t minimumStores, std::uint32_t threadCount) {
  Low(StatusUpdate(StatusState::InProgress));
  High(7, "Finding valid combinations of " + std::to_string(storesPerCombination) + " out of " +
              std::to_string(table->StoreCount()) + " stores (" + PossibleCombinationsText() +
              " possible combinations)...");
  const BrickLink::CombinationProgress progress = [this](double fraction,
                                                         unsigned long long secondsRemaining) {
    HandleCombinationProgress(fraction, secondsRemaining);
  };
  searchStart = std::chrono::steady_clock::now();
  deadline.reset();
  if (options.timeLimitSeconds > 0.0) {
    deadline = searchStart + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(options.timeLimitSeconds));
  }
  if (options.method == SearchMethod::Bounded) {
    ReportBounds(true, std::numeric_limits<double>::infinity(), 0.0);
  }
  if (options.byStores) {
    SweepStoreCounts(minimumStores, threadCount);
  }
  proof = SearchPlans(*minimumCostFinder, threadCount, progress, true, combinationData);
  if (options.byStores && !combinationData.empty()) {
    const BrickLink::ICombinationData& cheapest = *combinationData.front();
    storeCountCosts.push_back({storesPerCombination, cheapest.Cost(), cheapest.Subtotal(),
                               cheapest.Shipping(), proof.proven});
  }
  if (!proof.proven) {
    Statistic("Search stopped after " + FormatCount(static_cast<std::uint64_t>(proof.seconds)) +
              " s, not proven; lower bound: " + std::to_string(proof.lowerBound));
  }
}

SearchProof CostFinder::SearchPlans(
    BrickLink::IMinimumCostFinder& finder, std::uint32_t threadCount,
    const BrickLink::CombinationProgress& progress, bool announce,
    std::vector<std::unique_ptr<BrickLink::ICombinationData>>& plans) {
  SearchProof searchProof;
  if (options.method == SearchMethod::Exhaustive) {
    const std::uint64_t validCombinations = finder.CollectValidCombinations(progress, threadCount);
    if (announce) {
      Low(StatusUpdate(StatusState::Succeeded));
      Statistic("Valid combinations: " + FormatCount(validCombinations));
    }
  } else {
    BrickLink::SearchBoundsCallback bounds;
    if (boundsCallback) {
      bounds = [this](double cheapest, double lowerBound) {
        ReportBounds(true, cheapest, lowerBound);
      };
    }
    const BrickLink::BoundedSearchStatistics searched = finder.CollectCheapestCombinations(
        progress, threadCount, kMaximumResults,
        BrickLink::SearchLimits{deadline, &stopRequested, std::move(bounds)});
    searchProof.proven = searched.proven;
    searchProof.lowerBound = searched.lowerBound;
    searchProof.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                                        searchStart)
                              .count();
    if (announce) {
      ReportBounds(false, std::numeric_limits<double>::infinity(), 0.0);
      Low(StatusUpdate(StatusState::Succeeded));
      Statistic("Search nodes: " + FormatCount(searched.nodes));
      Statistic("Combinations priced: " + FormatCount(searched.combinationsPriced));
      Statistic("Combinations ruled out by bounds: " +
                Utilities::FormatApproximateCount(searched.combinationsRuledOut));
    }
  }

  // Stage 8: costs.
  if (announce) {
    High(8, "Calculating valid combinations costs...");
    Low(StatusUpdate(StatusState::InProgress));
  }
  finder.CalculateCosts();

  // Stage 9: the plans of the cheapest distinct combinations.
  if (announce) {
    High(9, "Creating combination data for " + std::to_string(kMaximumResults) +
                " combinations...");
  }
  for (std::uint32_t rank = 1; plans.size() < kMaximumResults; ++rank) {
    auto data = finder.CreateCombinationData(rank);
    if (!data) {
      break;
    }
    bool seen = false;
    for (const auto& kept : plans) {
      if (*kept == *data) {
        seen = true;
        break;
      }
    }
    if (!seen) {
      plans.push_back(std::move(data));
    }
  }
  return searchProof;
}

void CostFinder::SweepStoreCounts(std::uint32_t minimumStores, std::uint32_t threadCount) {
  // The table and the validator serve every number of stores; only the finder is per number.
  const std::vector<Item>& items = wantedList->Items();
  for (std::uint32_t stores = minimumStores; stores < storesPerCombination; ++stores) {
    Low(StatusUpdate(StatusState::InProgress,
                     "Searching the cheapest plans of " + std::to_string(stores) + " stores..."));
    const auto finder = BrickLink::CreateMinimumCostFinder(table, *validator, items, stores,
                                                           MakePlanRules(terms, *table));
    auto& plans = storeCountPlans[stores];
    const SearchProof swept = SearchPlans(*finder, threadCount, nullptr, false, plans);
    if (plans.empty() && !swept.proven) {
      storeCountCosts.push_back({stores, 0.0, 0.0, 0.0, false, false});
    } else if (!plans.empty()) {
      storeCountCosts.push_back({stores, plans.front()->Cost(), plans.front()->Subtotal(),
                                 plans.front()->Shipping(), swept.proven});
      Statistic("Cheapest plan of " + FormatCount(stores) + " stores: " +
                Utilities::FormatPrice(plans.front()->Cost(), 2));
    }
  }
  Low(StatusUpdate(StatusState::InProgress));
}

const std::vector<std::unique_ptr<BrickLink::ICombinationData>>& CostFinder::GetStoreCountPlans(
    std::uint32_t stores) const {
  if (stores == storesPerCombination && !storeCountCosts.empty()) {
    return combinationData;
  }
  static const std::vector<std::unique_ptr<BrickLink::ICombinationData>> kNone;
  const auto found = storeCountPlans.find(stores);
  return found == storeCountPlans.end() ? kNone : found->second;
}

bool CostFinder::HandleUnavailableItems(const BrickLink::ConsolidatedLotData& everywhere) {
  std::vector<Item>& items = wantedList->Items();
  std::string lines;
  std::vector<LeftOutItem> unavailable;
  for (std::uint32_t row = 0; row < items.size(); ++row) {
    const std::string reason = WhyUnavailable(row, everywhere);
    if (reason.empty()) {
      continue;
    }
    const Item& item = items[row];
    unavailable.push_back({&item, item.Quantity(), reason});
    lines += "\n" + item.Id() + " " + item.Name() + " (" + item.Color().Name() + ", " +
             (item.GetCondition() == Condition::New ? "new" : "any condition") + ", " +
             FormatCount(item.Quantity()) + " wanted): " + reason;
  }
  if (unavailable.empty()) {
    return true;
  }
  unavailableItems = unavailable;
  if (!options.skipUnavailable) {
    Abort("No possible combinations." + lines +
          "\nTry removing rare parts from the wanted list or selecting more regions to ship "
          "from.");
    return false;
  }
  const bool nothingLeft = std::all_of(items.begin(), items.end(), [&](const Item& item) {
    return item.Quantity() == 0 ||
           std::any_of(unavailable.begin(), unavailable.end(),
                       [&](const LeftOutItem& left) { return left.item == &item; });
  });
  if (nothingLeft) {
    Abort("Nothing on the wanted list can be bought in the accepted regions." + lines +
          "\nSelect more regions to ship from.");
    return false;
  }
  // Left out by wanting none of them: the table keeps its rows, and an item wanted zero
  // times neither restricts nor costs anything.
  for (LeftOutItem& left : unavailable) {
    Item& item = items[static_cast<std::size_t>(left.item - items.data())];
    Item none(item.Type(), item.Id(), item.Name(), item.Color().Id(), item.GetCondition(), 0, 0,
              item.MaximumPrice());
    none.SetPriceGuideNew(std::make_unique<BrickLink::PriceGuide>(item.PriceGuideNew()));
    none.SetPriceGuideUsed(std::make_unique<BrickLink::PriceGuide>(item.PriceGuideUsed()));
    item = std::move(none);
    BOOST_LOG_TRIVIAL(info) << "Leaving out " << DescribeItem(item) << ": " << left.reason;
  }
  Statistic("Items left out: " + FormatCount(unavailable.size()));
  return true;
}

std::string CostFinder::WhyUnavailable(std::uint32_t row,
                                       const BrickLink::ConsolidatedLotData& everywhere) const {
  const Item& item = wantedList->Items()[row];
  if (item.Quantity() == 0) {
    return {};
  }
  std::uint64_t offered = 0;
  for (std::uint32_t column = 0; column < table->StoreCount(); ++column) {
    offered += table->OfferedQuantity(row, column);
  }
  if (offered >= item.Quantity()) {
    return {};
  }
  // Where else it is offered: the regions of the stores outside the accepted ones that sell it.
  std::vector<std::string> elsewhere;
  std::uint64_t offeredEverywhere = 0;
  for (std::uint32_t column = 0; column < everywhere.StoreCount(); ++column) {
    const std::uint32_t quantity = everywhere.OfferedQuantity(row, column);
    offeredEverywhere += quantity;
    const BrickLink::Country* country = everywhere.GetStore(column).FindCountry();
    if (quantity == 0 || country == nullptr) {
      continue;
    }
    const std::string region = BrickLink::GetRegionName(country->region);
    if (std::find(regions.begin(), regions.end(), region) == regions.end() &&
        std::find(elsewhere.begin(), elsewhere.end(), region) == elsewhere.end()) {
      elsewhere.push_back(region);
    }
  }
  std::string suggestion;
  for (std::size_t index = 0; index < elsewhere.size(); ++index) {
    suggestion += (index == 0 ? "; offered in " : index + 1 == elsewhere.size() ? " and " : ", ") +
                  elsewhere[index];
  }
  if (offered != 0) {
    return "the accepted regions offer only " + FormatCount(offered) + " of the " +
           FormatCount(item.Quantity()) + " wanted" + suggestion;
  }
  if (offeredEverywhere != 0) {
    return "no store in the accepted regions offers it" + suggestion;
  }
  // Nothing counted anywhere: either nobody sells it, or every lot is above its limit.
  const bool anyLot = !item.PriceGuideNew().IsEmpty() ||
                      (item.GetCondition() == Condition::Used && !item.PriceGuideUsed().IsEmpty());
  if (anyLot && item.HasMaximumPrice()) {
    const BrickLink::Currency* currency = BrickLink::FindCurrencyByID(searchCurrencyId);
    return "every lot costs more than its limit of " +
           (currency == nullptr ? Utilities::FormatPrice(item.MaximumPrice(), 4)
                                : Utilities::FormatPrice(item.MaximumPrice(), 4, *currency));
  }
  return "no store offers it";
}

void CostFinder::UseTable(std::shared_ptr<const BrickLink::ConsolidatedLotData> table_) {
  table = std::move(table_);
  storesPerCombination = std::min(storesPerCombination, table->StoreCount());
  minimumCostFinder =
      BrickLink::CreateMinimumCostFinder(table, *validator, wantedList->Items(),
                                         storesPerCombination, MakePlanRules(terms, *table));
}

std::string CostFinder::CheckOptions() {
  const std::vector<std::uint32_t>& required = options.requiredStores;
  if (options.method == SearchMethod::Exhaustive &&
      (terms.ChargesShipping() || !required.empty())) {
    if (terms.ChargesShipping()) {
      refusedSettings.push_back(RefusedSetting::Shipping);
    }
    if (!required.empty()) {
      refusedSettings.push_back(RefusedSetting::RequiredStores);
    }
    return "The exhaustive search takes neither shipping nor stores to keep.\nUse the bounded "
           "search, or leave shipping at 0 and keep no store.";
  }
  if (required.size() > storesPerCombination) {
    refusedSettings.push_back(RefusedSetting::RequiredStores);
    return FormatCount(required.size()) + " stores are to be kept in every plan, but a plan " +
           "has at most " + FormatCount(storesPerCombination) +
           (storesPerCombination == 1 ? " store" : " stores") +
           ".\nKeep fewer stores or allow more stores per combination.";
  }
  for (const std::uint32_t store : required) {
    if (std::find(options.excludedStores.begin(), options.excludedStores.end(), store) !=
        options.excludedStores.end()) {
      refusedSettings = {RefusedSetting::ExcludedStores, RefusedSetting::RequiredStores};
      return "Store " + std::to_string(store) +
             " is both a store to avoid and a store to keep.\nTake it off one of the two lists.";
    }
  }
  return {};
}

std::shared_ptr<const BrickLink::ConsolidatedLotData> CostFinder::WithoutExcludedStores(
    const BrickLink::ConsolidatedLotData& consolidated) {
  std::vector<std::uint32_t> kept;
  for (std::uint32_t column = 0; column < consolidated.StoreCount(); ++column) {
    const std::uint32_t id = consolidated.GetStore(column).Id();
    if (std::find(options.excludedStores.begin(), options.excludedStores.end(), id) ==
        options.excludedStores.end()) {
      kept.push_back(column);
    }
  }
  return BrickLink::CreatePrunedLotData(kept, consolidated);
}

std::string CostFinder::WhyNotInTable(std::uint32_t store) const {
  const BrickLink::Country* buyer = BrickLink::FindCountryByID(terms.buyerCountryId);
  const std::string country = buyer == nullptr ? "your country" : buyer->name;
  bool notShipping = false;
  bool dearer = false;   // a lot that ships, left out for the list's price limit
  bool unknown = false;  // a guide cached without the stores that do not ship
  for (const Item& item : wantedList->Items()) {
    const auto look = [&](const BrickLink::PriceGuide& guide) {
      for (const BrickLink::PriceGuideDatum& datum : guide) {
        dearer = dearer || datum.store.Id() == store;
      }
      const auto& stores = guide.StoresNotShipping();
      unknown = unknown || !stores;
      notShipping =
          notShipping || (stores && std::binary_search(stores->begin(), stores->end(), store));
    };
    look(item.PriceGuideNew());
    if (item.GetCondition() == Condition::Used) {
      look(item.PriceGuideUsed());
    }
  }
  if (notShipping) {
    return "does not ship to " + country +
           (dearer ? ", and its other lots of the wanted list cost more than the list allows"
                   : ": its lots of the wanted list are marked as not shipping there");
  }
  if (dearer) {
    return "offers the wanted list only at prices above the list's limits";
  }
  if (unknown) {
    return "offers no lot of the wanted list that ships to " + country +
           ": it sells none of the items, or does not ship them to " + country;
  }
  return "sells nothing on the wanted list";
}

std::string CostFinder::MissingRequiredStore(
    const std::function<std::string(std::uint32_t)>& reason) {
  for (const std::uint32_t id : options.requiredStores) {
    bool found = false;
    for (std::uint32_t column = 0; column < table->StoreCount() && !found; ++column) {
      found = table->GetStore(column).Id() == id;
    }
    if (!found) {
      const BrickLink::StoreInformation store(id);
      const std::string name = store.Name() == BrickLink::StoreInformation::kUnknownStoreName
                                   ? std::string()
                                   : " (" + store.Name() + ")";
      refusedSettings.push_back(RefusedSetting::RequiredStores);
      return "Store " + std::to_string(id) + name + ", which is to be kept in every plan, " +
             reason(id) + ".\nTake it off the stores to keep.";
    }
  }
  return {};
}

void CostFinder::ReportOptions() const {
  if (terms.ChargesShipping()) {
    const BrickLink::Currency* currency = BrickLink::FindCurrencyByID(searchCurrencyId);
    const auto amount = [&](double value) {
      return currency == nullptr ? Utilities::FormatPrice(value, 2)
                                 : Utilities::FormatPrice(value, 2, *currency);
    };
    Statistic("Shipping per store: " + amount(terms.domesticShipping) + " domestic, " +
              amount(terms.internationalShipping) + " international");
  }
  if (!options.excludedStores.empty()) {
    Statistic("Stores to avoid: " + FormatCount(options.excludedStores.size()));
  }
  if (!options.requiredStores.empty()) {
    std::string ids;
    for (const std::uint32_t id : options.requiredStores) {
      if (!ids.empty()) {
        ids += ", ";
      }
      ids += std::to_string(id);
    }
    Statistic("Stores kept in every plan: " + ids);
  }
}

bool CostFinder::ReportPossibleCombinations(const std::string& label, const char* overflowText) {
  const std::string stores = " (" + FormatCount(table->StoreCount()) + " stores)";
  possibleCombinationsOverflow = false;
  try {
    possibleCombinations = minimumCostFinder->CountPossibleCombinations();
  } catch (const std::overflow_error&) {
    possibleCombinationsOverflow = true;
    // The bounded search goes on past any count, so it tells the count as it is.
    Statistic((options.method == SearchMethod::Bounded ? label + PossibleCombinationsText()
                                                      : std::string(overflowText)) +
              stores);
    return false;
  }
  Statistic(label + FormatCount(possibleCombinations) + stores);
  return true;
}

std::string CostFinder::PossibleCombinationsText() const {
  return possibleCombinationsOverflow
             ? "more than " + FormatCount(std::numeric_limits<std::uint64_t>::max())
             : FormatCount(possibleCombinations);
}

void CostFinder::High(std::uint32_t stage, const std::string& text) const {
  highLevelStatusCallback(StatusUpdate(stage, kStageCount + 1, text));
}

void CostFinder::Fail(const std::string& text) const {
  highLevelStatusCallback(StatusUpdate(StatusState::Failed, text));
}

void CostFinder::Abort(const std::string& text) const {
  Fail(text);
  Low(StatusUpdate(StatusState::Idle));
}

void CostFinder::Low(const StatusUpdate& update) const { lowLevelStatusCallback(update); }

void CostFinder::Statistic(const std::string& text) const { statisticsCallback(text); }

void CostFinder::HandleRetrieverStatus(const RetrieverStatus& status) const {
  if (status.current == status.total) {
    return;
  }
  Low(StatusUpdate(status.current, status.total,
                   "Requesting data for: " + status.colorName + " " + status.name + "..."));
}

void CostFinder::ReportBounds(bool searching, double cheapest, double lowerBound) const {
  if (!boundsCallback) {
    return;
  }
  std::string text;
  if (searching) {
    if (const BrickLink::Currency* currency = BrickLink::FindCurrencyByID(searchCurrencyId)) {
      text = DescribeLiveBounds(cheapest, lowerBound, *currency);
    }
  }
  boundsCallback(LiveBounds{searching, cheapest, lowerBound, std::move(text)});
}

void CostFinder::HandleProgress(double progress) const { Low(StatusUpdate(progress)); }

void CostFinder::HandleCombinationProgress(double progress,
                                           unsigned long long secondsRemaining) const {
  Low(StatusUpdate(Utilities::FormatTimeRemaining(secondsRemaining), progress));
}

const std::vector<RefusedSetting>& CostFinder::RefusedSettings() const { return refusedSettings; }

const std::vector<BrickStore::SkippedLine>& CostFinder::SkippedLines() const {
  return wantedList->SkippedLines();
}

const std::vector<std::unique_ptr<BrickLink::ICombinationData>>& CostFinder::GetCombinationData()
    const {
  BOOST_LOG_TRIVIAL(info) << "Retrieving!";
  return combinationData;
}

}  // namespace

std::string DescribeProof(const SearchProof& proof, double cheapest,
                          const BrickLink::Currency& currency) {
  if (proof.proven) {
    return {};
  }
  std::ostringstream text;
  text << "Stopped after " << static_cast<std::uint64_t>(proof.seconds)
       << " s: not proven. The cheapest plan found costs "
       << Utilities::FormatPrice(cheapest, 2, currency) << "; no plan costs less than "
       << Utilities::FormatPrice(proof.lowerBound, 2, currency);
  if (proof.lowerBound > 0.0) {
    // Rounded up, so that the promise holds.
    const double percent = std::ceil((cheapest / proof.lowerBound - 1.0) * 1000.0) / 10.0;
    text << " (" << Utilities::FormatPrice(cheapest, 2, currency) << " is at most " << percent
         << " % above the best possible)";
  }
  text << '.';
  return text.str();
}

std::string DescribeLiveBounds(double cheapest, double lowerBound,
                               const BrickLink::Currency& currency) {
  std::string text = std::isfinite(cheapest)
                         ? "cheapest " + Utilities::FormatPrice(cheapest, 2, currency)
                         : std::string("no plan found yet");
  if (lowerBound > 0.0) {
    text += ", none below " + Utilities::FormatPrice(lowerBound, 2, currency);
  }
  return text;
}

std::unique_ptr<ICostFinder> CreateCostFinder(const std::string& wantedListPath,
                                              std::uint32_t storesPerCombination,
                                              const std::string& countryId,
                                              std::uint32_t currencyId,
                                              const std::vector<std::string>& regions,
                                              CostFinderCallbacks callbacks,
                                              SearchOptions options) {
  return std::make_unique<CostFinder>(wantedListPath, storesPerCombination, countryId, currencyId,
                                      regions, std::move(callbacks), std::move(options));
}

}  // namespace Corvalle
