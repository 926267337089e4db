// A whole search as a user runs it, on a generated world of 2000 stores served by the local
// marketplace: a 60-lot wanted list, k = 3, North America and Europe. The first search fetches
// everything; the second, within the hour, reads price guides and stores from the caches. Each
// stage's wall-clock time is reported as a counter (seconds).

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "CostFinder.h"
#include "MarketplaceServer.h"
#include "SQLite/SqliteWrapper.h"
#include "WorldGenerator.h"

namespace {

using Clock = std::chrono::steady_clock;

struct StageTimes {
  std::vector<std::pair<std::string, double>> stages;  // short name, seconds
  std::size_t plans = 0;
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

StageTimes TimedSearch(const std::string& wantedList) {
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
      wantedList, 3, "US", 1, {"North America", "Europe"},
      {[&](const Utilities::IStatusUpdate& update) {
         if (update.IsFinished()) {
           close("");
         } else {
           close(ShortName(update.Message()));
         }
       },
       [](const Utilities::IStatusUpdate&) {}, [](const std::string&) {}});
  costFinder->FindMinimumCostCombinations(2);
  close("");
  times.plans = costFinder->GetCombinationData().size();
  return times;
}

void BM_WholeSearch(benchmark::State& state) {
  Corvalle::Marketplace::GeneratorOptions options;
  options.seed = 7;
  options.stores = 2000;
  options.items = 150;
  static const std::uint32_t colors[] = {11, 86, 85, 5, 1, 7, 3, 2};
  std::string wanted = "<INVENTORY>";
  for (std::uint32_t index = 0; index < 60; ++index) {
    const std::string id = std::to_string(3001 + index * 7);
    const std::uint32_t color = colors[index % 8];
    const std::uint32_t quantity = 1 + index % 12;
    options.include.push_back({'P', id, color, quantity, ""});
    wanted += "<ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>" + id + "</ITEMID><COLOR>" +
              std::to_string(color) + "</COLOR><MINQTY>" + std::to_string(quantity) +
              "</MINQTY><CONDITION>" + (index % 3 == 0 ? "U" : "N") + "</CONDITION></ITEM>";
  }
  wanted += "</INVENTORY>";

  const auto directory = std::filesystem::temp_directory_path() /
                         ("corvalle-bench-" + std::to_string(std::random_device()()));
  std::filesystem::create_directories(directory);
  const std::string wantedPath = (directory / "wanted.xml").string();
  std::ofstream(wantedPath) << wanted;
  Sqlite::SetDataDirectory(directory.string().c_str());

  Corvalle::Marketplace::MarketplaceServer server(Corvalle::Marketplace::GenerateWorld(options));
  server.Start();
  setenv("CORVALLE_MARKETPLACE_HOST", server.HostAndPort().c_str(), 1);

  for (auto _ : state) {
    const StageTimes cold = TimedSearch(wantedPath);
    const StageTimes warm = TimedSearch(wantedPath);
    double coldTotal = 0.0;
    double warmTotal = 0.0;
    for (const auto& [name, seconds] : cold.stages) {
      state.counters["cold_" + name] = seconds;
      coldTotal += seconds;
    }
    for (const auto& [name, seconds] : warm.stages) {
      state.counters["warm_" + name] = seconds;
      warmTotal += seconds;
    }
    state.counters["cold_total"] = coldTotal;
    state.counters["warm_total"] = warmTotal;
    state.counters["plans"] = static_cast<double>(warm.plans);
    state.counters["requests"] = static_cast<double>(server.RequestCount());
  }
  server.Stop();
  std::filesystem::remove_all(directory);
}
BENCHMARK(BM_WholeSearch)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
