#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/CombinationData.h"
#include "Source/Base/BrickLink/MarketplaceHost.h"
#include "Source/Base/FileDownloader/FileDownloader.h"
#include "Source/Base/PreferencesManager.h"
#include "Source/Base/StatusUpdate.h"
#include "Source/Base/WantedList.h"

namespace Corvalle::BrickLink {
struct Currency;
}

namespace Corvalle {

// Runs one search, from the wanted-list file to the cheapest purchase plans, and keeps the
// plans. Every outcome is reported through the callbacks: one high-level update per stage (a
// failed one carries the text to show the user), low-level updates inside a stage and
// statistics lines. Used by one thread at a time; the callbacks run on that thread, except the
// combination stage's progress, which comes from its worker threads.
// The cheapest plan of one number of stores: of exactly that many, or with shipping charged of
// at most that many.
struct StoreCountCost {
  std::uint32_t stores = 0;
  double cost = 0.0;      // lots plus shipping
  double subtotal = 0.0;  // the lots
  double shipping = 0.0;
  bool proven = true;  // no plan of that many stores costs less
  // False when a stop or the time limit ended that search before it found any plan: then the
  // amounts are 0 and nothing is known of that many stores, which must not read as "none".
  bool found = true;
};

// What a search proved of its plans: that they are the cheapest, or, when its time limit or a
// stop ended it first, a lower bound under which no plan exists.
struct SearchProof {
  bool proven = true;
  double lowerBound = 0.0;  // the cheapest plan's cost when proven
  double seconds = 0.0;     // how long the search of plans took
};

// The words every front end shows for a search that ended before it proved its plans, such as
// "Stopped after 3 s: not proven. The cheapest plan found costs $26.26; no plan costs less than
// $24.28 ($26.26 is at most 8.2 % above the best possible)." cheapest is the cheapest plan's
// cost; amounts are in the currency given. Empty for a proven search.
std::string DescribeProof(const SearchProof& proof, double cheapest,
                          const BrickLink::Currency& currency);

// What the bounded search of plans knows while it runs, for a front end to show, and to offer
// stopping it (see ICostFinder::Stop) while searching is true.
struct LiveBounds {
  // False once the search of plans has ended: stopping then changes nothing.
  bool searching = false;
  double cheapest = std::numeric_limits<double>::infinity();  // infinite before the first plan
  double lowerBound = 0.0;  // no plan costs less; 0 before a bound is known
  // The two in the search's currency, as "cheapest $12.34, none below $11.90" or "no plan found
  // yet"; empty once the search of plans has ended.
  std::string text;
};

// The bounds in words, in the currency given (see LiveBounds::text).
std::string DescribeLiveBounds(double cheapest, double lowerBound,
                               const BrickLink::Currency& currency);

// An item that the accepted regions cannot supply, and why, in words for the buyer.
struct LeftOutItem {
  const Item* item = nullptr;  // the wanted list's item, valid as long as the cost finder
  std::uint32_t wanted = 0;    // the quantity the list wanted
  std::string reason;
};

// A setting that a search refused, as the cause of its failure.
enum class RefusedSetting { Shipping, ExcludedStores, RequiredStores };

class ICostFinder {
 public:
  virtual ~ICostFinder() = default;
  ICostFinder(const ICostFinder&) = delete;
  ICostFinder& operator=(const ICostFinder&) = delete;

  // Runs the whole search once with threadCount worker threads for the combination stage.
  // A std::exception raised inside the search ends it as a failed high-level update instead of
  // leaving the call; any other exception, and one thrown by a callback while that failure is
  // reported, does leave it.
  virtual void FindMinimumCostCombinations(std::uint32_t threadCount) = 0;
  // The plans, cheapest first, at most 25, all different; empty when the search failed or
  // found nothing. Valid until the cost finder is destroyed.
  virtual const std::vector<std::unique_ptr<BrickLink::ICombinationData>>& GetCombinationData()
      const = 0;
  // With SearchOptions::byStores: the cheapest plan for each number of stores from the fewest
  // that can supply the list to k, ascending; otherwise empty.
  virtual const std::vector<StoreCountCost>& GetStoreCountCosts() const = 0;
  // With SearchOptions::byStores: the plans of one number of stores of the sweep, as
  // GetCombinationData gives those of k; empty for any other number.
  virtual const std::vector<std::unique_ptr<BrickLink::ICombinationData>>& GetStoreCountPlans(
      std::uint32_t stores) const = 0;
  // The items that the accepted regions cannot supply, in list order: left out of the search
  // with SearchOptions::skipUnavailable, else the reason it failed.
  virtual const std::vector<LeftOutItem>& GetUnavailableItems() const = 0;
  // Whether the plans are proven the cheapest, or the time limit or Stop ended the search first.
  virtual SearchProof Proof() const = 0;
  // Any thread, while FindMinimumCostCombinations runs on another: ends the bounded search of
  // plans as the time limit does, keeping the cheapest plans found so far (Proof() tells how far
  // from the best they can be). With SearchOptions::byStores, every number of stores still to be
  // searched is stopped too, as soon as its search starts. Called before the search
  // of plans, it stops that search as soon as it starts; a new FindMinimumCostCombinations
  // forgets it. The exhaustive search does not stop.
  virtual void Stop() = 0;
  // The wanted list's lines that the reader left out on purpose (no MINQTY, MINQTY 0), for the
  // front ends to name; empty until the list was read. Valid until the cost finder is destroyed.
  virtual const std::vector<BrickStore::SkippedLine>& SkippedLines() const = 0;
  // The settings that made the search fail because no plan can be made with them (shipping or
  // stores to keep with the exhaustive search, stores to keep that are too many, avoided too,
  // or not to be had), in the order named; empty when the search did not fail on its settings.
  // A front end saves none of a refused search's settings and says how to clear a saved one.
  virtual const std::vector<RefusedSetting>& RefusedSettings() const = 0;

 protected:
  ICostFinder() = default;
};

// How the cheapest plans are found: by a bounded search that proves which combinations cannot
// be among them without visiting them (the default), or by enumerating and pricing every
// combination of k stores, which is refused beyond 64 bits of combinations.
enum class SearchMethod { Bounded, Exhaustive };

// What a search takes beyond the wanted list, k, country, currency and regions. The defaults
// search as plain k-store combinations priced by their lots.
struct SearchOptions {
  SearchMethod method = SearchMethod::Bounded;
  // Per store that buys something, in the search currency; either above 0 ranks plans by lots
  // plus shipping, over every set of at most k stores. Only the bounded search takes them.
  double domesticShipping = 0.0;
  double internationalShipping = 0.0;
  // Store ids: taken out of the table before pruning.
  std::vector<std::uint32_t> excludedStores{};
  // Store ids: in every plan, each taking one of the k places. Only the bounded search takes
  // them.
  std::vector<std::uint32_t> requiredStores{};
  // Whether the wanted list's filled quantities and price limits count.
  ListLimits listLimits = ListLimits::Apply;
  // The marketplace's host, with ":port" when needed; the front end decides it.
  std::string marketplaceHost = BrickLink::kPublicMarketplaceHost;
  // Whether to search every number of stores from the fewest possible to k as well, for the
  // cost by number of stores.
  bool byStores = false;
  // Whether to search the rest of the list when some items cannot be bought in the accepted
  // regions, instead of failing with their names.
  bool skipUnavailable = false;
  // How long a page may take, and after how long a page still coming is named in the low-level
  // status; tests set them lower.
  FileDownloader::DownloadTimeouts downloadTimeouts{};
  std::chrono::milliseconds slowPageAfter{std::chrono::seconds(5)};
  // When above 0, how many seconds the bounded search of plans may take: then it keeps the
  // cheapest plans found, with a lower bound on all (see ICostFinder::Proof).
  double timeLimitSeconds = 0.0;
};

struct CostFinderCallbacks {
  Utilities::StatusCallback highLevelStatus;
  Utilities::StatusCallback lowLevelStatus;
  Utilities::StatisticsCallback statistics;
  // May be empty. With the bounded search: once when the search of plans starts (in stage 7,
  // before the searches of each number of stores with byStores), about every 0.2 s from its
  // worker threads while one of its searches runs, and once, with searching false, when the
  // search of k stores has ended.
  std::function<void(const LiveBounds&)> bounds{};
};

// Creates the components of a search and nothing else: no file is read and nothing is
// downloaded before FindMinimumCostCombinations. countryId is a country table identifier (the
// buyer's, which also tells domestic from international shipping), currencyId a currency table
// number, regions region display names. The caches open the database in the data directory
// that the front end has set.
std::unique_ptr<ICostFinder> CreateCostFinder(const std::string& wantedListPath,
                                              std::uint32_t storesPerCombination,
                                              const std::string& countryId,
                                              std::uint32_t currencyId,
                                              const std::vector<std::string>& regions,
                                              CostFinderCallbacks callbacks,
                                              SearchOptions options = {});

// How a front end creates the cost finder of each search, with CreateCostFinder's arguments
// above: that function itself, or a stand-in that the front end's tests hand in.
using CostFinderFactory = std::function<std::unique_ptr<ICostFinder>(
    const std::string& wantedListPath, std::uint32_t storesPerCombination,
    const std::string& countryId, std::uint32_t currencyId, const std::vector<std::string>& regions,
    CostFinderCallbacks callbacks, SearchOptions options)>;

}  // namespace Corvalle
