// A whole search as a user runs it, on the generated world of MarketplaceTable.h (1500 stores)
// served by the local marketplace: its 60-lot wanted list, k = 3, 4 and 5, North America and
// Europe. The first search fetches everything; the second, within the hour, reads price guides
// and stores from the caches. Each stage's wall-clock time is reported as a counter (seconds),
// with the plans found and the cheapest one's cost.

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "Source/Base/CostFinder.h"
#include "Tools/Marketplace/MarketplaceServer.h"
#include "Benchmarks/MarketplaceTable.h"
#include "Source/Base/SQLite/SqliteWrapper.h"

namespace {

using Clock = std::chrono::steady_clock;

struct StageTimes {
  std::vector<std::pair<std::string, double>> stages;  // short name, seconds
  std::size_t plans = 0;
  double cheapest = 0.0;  // 0 without plans
};

std::string ShortName(const std::string& text) {
  static const std::pair<const char*, const char*> names[] = {{"Retrieving color", "colors"},
                                                              {"Parsing wanted", "wanted_list"},
                                                              {"Retrieving price", "price_guides"},
                                                              {"Consolidating", "consolidation"},
                                                              {"Retrieving metadata", "stores"},
                                                              {"Pruning", "pruning"},
                                                              {"Finding minimum", "minimum"},
                                                              {"Finding valid", "combinations"},
                                                              {"Calculating", "costs"},
                                                              {"Creating combination", "plans"}};
  for (const auto& [prefix, name] : names) {
    if (text.rfind(prefix, 0) == 0) {
      return name;
    }
  }
  return "other";
}

StageTimes TimedSearch(const std::string& wantedList, std::uint32_t k,
                       const std::string& marketplaceHost) {
  StageTimes times;
  std::string current;
  Clock::time_point started = Clock::now();
  const auto close = [&](const std::string& next) {
    const auto now = Clock::now();
    if (!current.empty()) {
      times.stages.emplace_back(current, std::chrono::duration<double>(now - started).count());
    }
    current = next;
    started = now;
  };
  auto costFinder = Corvalle::CreateCostFinder(
      wantedList, k, Benchmarks::kBuyerCountry, 1, Benchmarks::MarketplaceRegions(),
      {[&](const Utilities::IStatusUpdate& update) {
         if (update.IsFinished()) {
           close("");
         } else {
           close(ShortName(update.Message()));
         }
       },
       [](const Utilities::IStatusUpdate&) {}, [](const std::string&) {}},
      Corvalle::SearchOptions{.marketplaceHost = marketplaceHost});
  costFinder->FindMinimumCostCombinations(2);
  close("");
  const auto& plans = costFinder->GetCombinationData();
  times.plans = plans.size();
  times.cheapest = plans.empty() ? 0.0 : plans.front()->Cost();
  return times;
}

void BM_WholeSearch(benchmark::State& state) {
  const auto k = static_cast<std::uint32_t>(state.range(0));
  const auto directory = std::filesystem::temp_directory_path() /
                         ("corvalle-bench-" + std::to_string(std::random_device()()));
  std::filesystem::create_directories(directory);
  const std::string wantedPath = (directory / "wanted.xml").string();
  std::ofstream(wantedPath) << Benchmarks::MarketplaceWantedListXml();
  Sqlite::SetDataDirectory(directory.string().c_str());

  Corvalle::Marketplace::MarketplaceServer server(
      Corvalle::Marketplace::GenerateWorld(Benchmarks::MarketplaceWorldOptions()));
  server.Start();

  for (auto _ : state) {
    const StageTimes cold = TimedSearch(wantedPath, k, server.HostAndPort());
    const StageTimes warm = TimedSearch(wantedPath, k, server.HostAndPort());
    // Stages that share a short name add up; so do the ones that ShortName does not know.
    double coldTotal = 0.0;
    double warmTotal = 0.0;
    for (const auto& [name, seconds] : cold.stages) {
      state.counters["cold_" + name].value += seconds;
      coldTotal += seconds;
    }
    for (const auto& [name, seconds] : warm.stages) {
      state.counters["warm_" + name].value += seconds;
      warmTotal += seconds;
    }
    state.counters["cold_total"] = coldTotal;
    state.counters["warm_total"] = warmTotal;
    state.counters["plans"] = static_cast<double>(warm.plans);
    state.counters["cheapest"] = warm.cheapest;
    state.counters["requests"] = static_cast<double>(server.RequestCount());
  }
  server.Stop();
  std::filesystem::remove_all(directory);
}
BENCHMARK(BM_WholeSearch)
    ->ArgName("k")
    ->Arg(3)
    ->Arg(4)
    ->Arg(5)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
