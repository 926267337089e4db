// The bounded combination search on the table of a marketplace like the real one (see
// MarketplaceTable.h): the 25 cheapest plans of k stores, on one and two workers. Enumerating
// every combination is out of reach on such a table from k = 4 on, so these figures are the
// search as users meet it. Counters: the search tree's nodes, the store sets priced, the k-store
// combinations settled without pricing, the cheapest plan's cost, the table's stores, and the
// heap allocations per node and peak heap growth of one search (its memory must not grow with
// the tree). The CPU column is the whole process's (all workers).

#include <benchmark/benchmark.h>

#include <algorithm>

#include "AllocationCounter.h"
#include "BrickLink/BoundedCombinationSearch.h"
#include "MarketplaceTable.h"

namespace {

void BM_BoundedSearch(benchmark::State& state) {
  const auto& market = Benchmarks::SharedMarketplaceTable();
  const auto k = static_cast<std::uint32_t>(state.range(0));
  const auto workers = static_cast<std::uint32_t>(state.range(1));
  const auto search = Corvalle::BrickLink::CreateBoundedCombinationSearch(market.items);
  std::vector<Corvalle::BrickLink::StoreCombination> plans;
  std::uint64_t allocations = 0;
  std::int64_t peakGrowth = 0;
  for (auto _ : state) {
    plans.clear();
    const auto before = Benchmarks::TakeAllocationSnapshot();
    Benchmarks::ResetPeakBytes();
    plans = search->FindCheapestCombinations(*market.table, k, 25, nullptr, workers);
    allocations = Benchmarks::TakeAllocationSnapshot().allocations - before.allocations;
    peakGrowth = std::max(peakGrowth, Benchmarks::PeakBytes() - before.liveBytes);
    benchmark::DoNotOptimize(plans.data());
  }
  const auto statistics = search->Statistics();
  state.counters["allocs_per_node"] =
      static_cast<double>(allocations) / static_cast<double>(std::max<std::uint64_t>(1, statistics.nodes));
  state.counters["peak_MB"] = static_cast<double>(peakGrowth) / (1024.0 * 1024.0);
  state.counters["nodes"] = static_cast<double>(statistics.nodes);
  state.counters["priced"] = static_cast<double>(statistics.combinationsPriced);
  state.counters["ruled_out"] = statistics.combinationsRuledOut;
  state.counters["cheapest"] = plans.empty() ? 0.0 : plans.front().Cost();
  state.counters["plans"] = static_cast<double>(plans.size());
  state.counters["stores"] = market.table->StoreCount();
}

// A run that outlasts the minimum time is not repeated, so a slow k costs one run of itself.
BENCHMARK(BM_BoundedSearch)
    ->ArgNames({"k", "workers"})
    ->ArgsProduct({{3, 4, 5, 6, 8}, {1, 2}})
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
