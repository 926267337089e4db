// The bounded search over every family of generated worlds (WorldGenerator.h): the 25 cheapest
// plans of k stores for k from 3 to 11, on one and two workers, each table built on first use
// for the family's buyer and terms (the shipping family charges 4.00 per store in the USA and
// 9.00 elsewhere). Some families take the search minutes or longer at some k, so every run
// stops at a deadline, CORVALLE_SWEEP_SECONDS seconds after it starts (default 60): `proven`
// says whether it settled every combination before, `lowerBound` under what no plan can cost.
// CORVALLE_SWEEP_SEED draws other worlds of the families than their usual ones.
// Counters also give the tree's nodes, the cheapest plan's cost, the table's stores and the
// stores left to the buyer before the redundant ones go (inRegions).
// Names read BM_FamilySweep/FAMILY/k:K/workers:W, so one family is run with
// --benchmark_filter=BM_FamilySweep/dense/.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "Source/Base/BrickLink/BoundedCombinationSearch.h"
#include "Benchmarks/MarketplaceTable.h"

namespace {

using Corvalle::Marketplace::WorldFamily;

std::chrono::duration<double> SweepLimit() {
  const char* text = std::getenv("CORVALLE_SWEEP_SECONDS");
  const double seconds = text == nullptr ? 0.0 : std::atof(text);
  return std::chrono::duration<double>(seconds > 0.0 ? seconds : 60.0);
}

void RunFamilySweep(benchmark::State& state, WorldFamily family, std::uint32_t k,
                    std::uint32_t workers) {
  const auto& market = Benchmarks::SharedFamilyTable(family);
  const auto limit = std::chrono::duration_cast<std::chrono::steady_clock::duration>(SweepLimit());
  const auto search = Corvalle::BrickLink::CreateBoundedCombinationSearch(market.items);
  std::vector<Corvalle::BrickLink::StoreCombination> plans;
  for (auto _ : state) {
    search->SetDeadline(std::chrono::steady_clock::now() + limit);
    plans = search->FindCheapestCombinations(*market.table, k, 25, nullptr, workers, market.rules);
    benchmark::DoNotOptimize(plans.data());
  }
  const auto statistics = search->Statistics();
  state.counters["nodes"] = static_cast<double>(statistics.nodes);
  state.counters["cheapest"] = plans.empty() ? 0.0 : plans.front().Cost();
  state.counters["stores"] = market.table->StoreCount();
  state.counters["inRegions"] = market.inRegions->StoreCount();
  state.counters["proven"] = statistics.proven ? 1.0 : 0.0;
  state.counters["lowerBound"] = statistics.lowerBound;
}

// Registered by name rather than by arguments, so that a filter can pick a family.
const bool registered = [] {
  for (const WorldFamily family : Corvalle::Marketplace::AllFamilies()) {
    for (const std::uint32_t k : {3u, 4u, 5u, 6u, 8u, 11u}) {
      for (const std::uint32_t workers : {1u, 2u}) {
        const std::string name = std::string("BM_FamilySweep/") +
                                 Corvalle::Marketplace::FamilyName(family) +
                                 "/k:" + std::to_string(k) + "/workers:" + std::to_string(workers);
        // A run that outlasts the minimum time is not repeated, so a slow case costs one run.
        benchmark::RegisterBenchmark(name.c_str(), RunFamilySweep, family, k, workers)
            ->UseRealTime()
            ->MeasureProcessCPUTime()
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
  return true;
}();

}  // namespace
