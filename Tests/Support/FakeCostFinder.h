#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/ColorInformation.h"
#include "Source/Base/BrickLink/CombinationData.h"
#include "Source/Base/BrickLink/StoreInformation.h"
#include "Source/Base/CostFinder.h"
#include "Source/Base/StatusUpdate.h"

namespace Testing {

// The stores and items that canned plans are made of. The stores' names and countries, and the
// red colour, are entered into the process's tables when plans are made of them.
inline constexpr std::uint32_t kHomeStore = 1001;    // "Brick Palace", in the USA
inline constexpr std::uint32_t kAbroadStore = 2002;  // "Steine Kontor", in Germany
// 0: 3001 "Brick 2 x 4" in red, wanted new; 1: 3622 "Brick 1 x 3" without colour, any condition.
inline const Corvalle::Item& FakeItem(std::size_t index) {
  using Corvalle::Condition;
  using Corvalle::ItemType;
  static const Corvalle::Item items[] = {
      {ItemType::Part, "3001", "Brick 2 x 4", 5, Condition::New, 10},
      {ItemType::Part, "3622", "Brick 1 x 3", 0, Condition::Used, 4}};
  return items[index];
}

// One line of a canned plan: quantity units of FakeItem(item) from the store at price each.
struct FakeLine {
  std::size_t item;
  std::uint32_t store;
  std::uint32_t quantity;
  double price;
  Corvalle::Condition condition = Corvalle::Condition::New;
};

// A canned plan: its stores are those of its lines, in order; with shipping (one amount per
// store), it charges shipping and costs its lines plus the shipping.
struct FakePlan {
  std::vector<FakeLine> lines;
  std::vector<double> shipping{};
};

// The plans the sketches stand for, as a search makes them.
inline std::vector<std::unique_ptr<Corvalle::BrickLink::ICombinationData>> MakePlans(
    const std::vector<FakePlan>& sketches) {
  using Corvalle::BrickLink::StoreInformation;
  StoreInformation::SetStoreMetadata(kHomeStore, {"Brick Palace", "US"});
  StoreInformation::SetStoreMetadata(kAbroadStore, {"Steine Kontor", "DE"});
  Corvalle::BrickLink::ColorInformation::SetColorData(5, "Red", 0xC91A09);
  std::vector<std::unique_ptr<Corvalle::BrickLink::ICombinationData>> made;
  for (const FakePlan& sketch : sketches) {
    auto lines = std::make_unique<Corvalle::BrickLink::ICombinationData::LotsData>();
    std::vector<StoreInformation> stores;
    Corvalle::BrickLink::PlanCharges charges;
    for (const FakeLine& line : sketch.lines) {
      lines->emplace_back(FakeItem(line.item), StoreInformation(line.store),
                          Corvalle::BrickLink::LotData{line.quantity, line.price}, line.condition);
      charges.subtotal += line.quantity * line.price;
      if (std::none_of(stores.begin(), stores.end(),
                       [&](const StoreInformation& store) { return store.Id() == line.store; })) {
        stores.emplace_back(line.store);
      }
    }
    const double cost =
        std::accumulate(sketch.shipping.begin(), sketch.shipping.end(), charges.subtotal);
    charges.shipping = sketch.shipping;
    made.push_back(Corvalle::BrickLink::CreateCombinationData(stores, cost, std::move(lines),
                                                              std::move(charges)));
  }
  return made;
}

// $5.00: eight red bricks at home, four grey ones abroad; then $5.80, all at home.
inline const std::vector<FakePlan> kTwoPlans = {
    {{{0, kHomeStore, 8, 0.5}, {1, kAbroadStore, 4, 0.25}}},
    {{{0, kHomeStore, 8, 0.6}, {1, kHomeStore, 4, 0.25}}}};

// What a front end asked of its cost finder: the arguments it was created with, and the threads
// its search was run on.
struct CostFinderRequest {
  std::string wantedListPath;
  std::uint32_t storesPerCombination = 0;
  std::string countryId;
  std::uint32_t currencyId = 0;
  std::vector<std::string> regions;
  Corvalle::SearchOptions options;
  std::uint32_t threadCount = 0;
};

// How a fake search goes and what it ends with.
struct CannedSearch {
  // Thrown by the factory, as CreateCostFinder throws when the caches cannot be opened.
  std::string creationError{};
  // When not empty, the search fails with it, as its last high-level update, and has no plans.
  std::string failure{};
  std::vector<std::string> statistics{};
  std::vector<FakePlan> plans = kTwoPlans;  // the plans of the k stores asked for
  // The rows of the cost by number of stores; the row of k has the plans above, other rows
  // those of plansByStores.
  std::vector<Corvalle::StoreCountCost> byStores{};
  std::map<std::uint32_t, std::vector<FakePlan>> plansByStores{};
  // Each item that cannot be had, with the quantity wanted and why (see LeftOutItem).
  std::vector<std::pair<std::size_t, std::string>> unavailable{};
  Corvalle::SearchProof proof{};
  std::vector<Corvalle::BrickStore::SkippedLine> skippedLines{};
  std::vector<Corvalle::RefusedSetting> refused{};
  // Reported once the search of plans starts; with untilStopped, the search then waits for
  // Stop() and ends with the plans and proof above.
  Corvalle::LiveBounds bounds{true, 12.5, 11.0, "cheapest $12.50, none below $11.00"};
  bool untilStopped = false;
};

// What the fakes of one test share: the search that each new one runs, and what each was asked.
// The requests are written on the search's thread; a test reads them once the search has ended.
struct FakeSearches {
  CannedSearch next;
  std::vector<CostFinderRequest> requests;
  int stops = 0;  // calls of Stop(), from any thread: read once the search has ended
};

// A cost finder that runs a canned search: it reports the stages, statistics and bounds through
// the callbacks as a real search does, and ends as its CannedSearch says, without reading a
// file or asking a marketplace anything.
class FakeCostFinder : public Corvalle::ICostFinder {
 public:
  using Plans = std::vector<std::unique_ptr<Corvalle::BrickLink::ICombinationData>>;

  // Creates the fakes that a front end is handed instead of the marketplace's cost finders.
  static Corvalle::CostFinderFactory Factory(FakeSearches& searches) {
    return [&searches](const std::string& wantedListPath, std::uint32_t storesPerCombination,
                       const std::string& countryId, std::uint32_t currencyId,
                       const std::vector<std::string>& regions,
                       Corvalle::CostFinderCallbacks callbacks,
                       Corvalle::SearchOptions options) -> std::unique_ptr<ICostFinder> {
      if (!searches.next.creationError.empty()) {
        throw std::runtime_error(searches.next.creationError);
      }
      searches.requests.push_back({wantedListPath, storesPerCombination, countryId, currencyId,
                                   regions, std::move(options)});
      return std::make_unique<FakeCostFinder>(searches, std::move(callbacks));
    };
  }

  FakeCostFinder(FakeSearches& searches_, Corvalle::CostFinderCallbacks callbacks_)
      : searches(searches_),
        canned(searches_.next),
        callbacks(std::move(callbacks_)),
        k(searches_.requests.back().storesPerCombination) {
    for (const auto& [item, reason] : canned.unavailable) {
      unavailable.push_back({&FakeItem(item), FakeItem(item).Quantity(), reason});
    }
  }

  void FindMinimumCostCombinations(std::uint32_t threadCount) override {
    using Utilities::StatusState;
    using Utilities::StatusUpdate;
    searches.requests.back().threadCount = threadCount;
    callbacks.highLevelStatus(StatusUpdate(1, 7, "Retrieving color data..."));
    callbacks.lowLevelStatus(StatusUpdate(StatusState::InProgress, "Requesting color data..."));
    for (const std::string& line : canned.statistics) {
      callbacks.statistics(line);
    }
    if (!canned.failure.empty()) {
      callbacks.highLevelStatus(StatusUpdate(StatusState::Failed, canned.failure));
      return;
    }
    callbacks.highLevelStatus(StatusUpdate(7, 7, "Searching for the cheapest plans..."));
    if (callbacks.bounds) {
      callbacks.bounds(canned.bounds);
    }
    if (canned.untilStopped) {
      std::unique_lock<std::mutex> lock(mutex);
      stopped.wait(lock, [this] { return stopRequested; });
    }
    plans = MakePlans(canned.plans);
    for (const auto& [stores, sketches] : canned.plansByStores) {
      plansByStores[stores] = MakePlans(sketches);
    }
    if (callbacks.bounds) {
      callbacks.bounds({});
    }
    callbacks.highLevelStatus(StatusUpdate(StatusState::Succeeded));
  }

  const Plans& GetCombinationData() const override { return plans; }
  const std::vector<Corvalle::StoreCountCost>& GetStoreCountCosts() const override {
    return canned.byStores;
  }
  const Plans& GetStoreCountPlans(std::uint32_t stores) const override {
    static const Plans kNone;
    const auto found = plansByStores.find(stores);
    return stores == k ? plans : found == plansByStores.end() ? kNone : found->second;
  }
  const std::vector<Corvalle::LeftOutItem>& GetUnavailableItems() const override {
    return unavailable;
  }
  Corvalle::SearchProof Proof() const override { return canned.proof; }
  void Stop() override {
    std::lock_guard<std::mutex> lock(mutex);
    ++searches.stops;
    stopRequested = true;
    stopped.notify_all();
  }
  const std::vector<Corvalle::BrickStore::SkippedLine>& SkippedLines() const override {
    return canned.skippedLines;
  }
  const std::vector<Corvalle::RefusedSetting>& RefusedSettings() const override {
    return canned.refused;
  }

 private:
  FakeSearches& searches;
  const CannedSearch canned;
  const Corvalle::CostFinderCallbacks callbacks;
  const std::uint32_t k;
  Plans plans;
  std::map<std::uint32_t, Plans> plansByStores;
  std::vector<Corvalle::LeftOutItem> unavailable;
  std::mutex mutex;
  std::condition_variable stopped;
  bool stopRequested = false;  // guarded by the mutex
};

}  // namespace Testing
