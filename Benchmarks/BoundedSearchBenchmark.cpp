// The bounded combination search on the table of a marketplace like the real one (see
// MarketplaceTable.h): the 25 cheapest plans of k stores, on one and two workers. Enumerating
// every combination is out of reach on such a table from k = 4 on, so these figures are the
// search as users meet it. Counters: the search tree's nodes, the store sets priced, the k-store
// combinations settled without pricing, the cheapest plan's cost, the table's stores, and the
// heap allocations per node and peak heap growth of one search (its memory must not grow with
// the tree). The CPU column is the whole process's (all workers). BM_BoundedSearchWithShipping
// ranks plans by lots plus 4.00 per store in the buyer's country and 9.00 per store elsewhere,
// over every set of at most k stores, on the same marketplace pruned as a search with that
// shipping prunes it.

#include <benchmark/benchmark.h>

#include <algorithm>

#include "Benchmarks/AllocationCounter.h"
#include "Source/Base/BrickLink/BoundedCombinationSearch.h"
#include "Source/Base/BrickLink/MinimumCostFinder.h"
#include "Source/Base/BrickLink/PlanRules.h"
#include "Benchmarks/MarketplaceTable.h"

namespace {

// Built from the world again rather than from the shared table's regions: the store metadata
// that the shipping rules read may meanwhile hold another family's stores of the same ids.
const Benchmarks::MarketplaceTable& SharedShippingTable() {
  static const Benchmarks::MarketplaceTable shipping = [] {
    const auto options = Benchmarks::MarketplaceWorldOptions();
    return Corvalle::Marketplace::BuildWorldTable(Corvalle::Marketplace::GenerateWorld(options),
                                                  Corvalle::Marketplace::FamilyWantedList(options),
                                                  Benchmarks::MarketplaceRegions(),
                                                  {4.0, 9.0, Benchmarks::kBuyerCountry, {}});
  }();
  return shipping;
}

void RunBoundedSearch(benchmark::State& state, bool withShipping) {
  const auto& market = Benchmarks::SharedMarketplaceTable();
  const auto& table = withShipping ? *SharedShippingTable().table : *market.table;
  const Corvalle::BrickLink::PlanRules noRules;
  const auto& rules = withShipping ? SharedShippingTable().rules : noRules;
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
    plans = search->FindCheapestCombinations(table, k, 25, nullptr, workers, rules);
    allocations = Benchmarks::TakeAllocationSnapshot().allocations - before.allocations;
    peakGrowth = std::max(peakGrowth, Benchmarks::PeakBytes() - before.liveBytes);
    benchmark::DoNotOptimize(plans.data());
  }
  const auto statistics = search->Statistics();
  state.counters["allocs_per_node"] =
      static_cast<double>(allocations) /
      static_cast<double>(std::max<std::uint64_t>(1, statistics.nodes));
  state.counters["peak_MB"] = static_cast<double>(peakGrowth) / (1024.0 * 1024.0);
  state.counters["nodes"] = static_cast<double>(statistics.nodes);
  state.counters["priced"] = static_cast<double>(statistics.combinationsPriced);
  state.counters["ruled_out"] = statistics.combinationsRuledOut;
  state.counters["cheapest"] = plans.empty() ? 0.0 : plans.front().Cost();
  state.counters["plans"] = static_cast<double>(plans.size());
  state.counters["stores"] = table.StoreCount();
  if (withShipping && !plans.empty()) {
    state.counters["cheapest_stores"] = static_cast<double>(plans.front().StoreIndices().size());
  }
}

void BM_BoundedSearch(benchmark::State& state) { RunBoundedSearch(state, false); }

// The cost by number of stores as find --by-stores gets it: the 25 cheapest plans of every
// number of stores from the fewest that can supply the list up to k, one search per number on
// the same table. Compare with BM_BoundedSearch at the same k and workers.
void BM_StoreCountSweep(benchmark::State& state) {
  const auto& market = Benchmarks::SharedMarketplaceTable();
  const auto k = static_cast<std::uint32_t>(state.range(0));
  const auto workers = static_cast<std::uint32_t>(state.range(1));
  const auto validator = Corvalle::BrickLink::CreateStoreCombinationValidator(market.items);
  const std::uint32_t fewest =
      Corvalle::BrickLink::CreateMinimumCostFinder(market.table, *validator, market.items, k)
          ->FindMinimumStoresRequired();
  double cheapest = 0.0;
  for (auto _ : state) {
    for (std::uint32_t stores = std::max(1u, fewest); stores <= k; ++stores) {
      const auto finder = Corvalle::BrickLink::CreateMinimumCostFinder(market.table, *validator,
                                                                       market.items, stores);
      finder->CollectCheapestCombinations(nullptr, workers, 25);
      finder->CalculateCosts();
      const auto plan = finder->CreateCombinationData(1);
      cheapest = plan == nullptr ? 0.0 : plan->Cost();
    }
  }
  state.counters["fewest"] = fewest;
  state.counters["cheapest_at_k"] = cheapest;
}
void BM_BoundedSearchWithShipping(benchmark::State& state) { RunBoundedSearch(state, true); }

// A run that outlasts the minimum time is not repeated, so a slow k costs one run of itself.
BENCHMARK(BM_BoundedSearch)
    ->ArgNames({"k", "workers"})
    ->ArgsProduct({{3, 4, 5, 6, 8}, {1, 2}})
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreCountSweep)
    ->ArgNames({"k", "workers"})
    ->ArgsProduct({{1, 2, 3, 4, 5, 6, 8}, {2}})
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoundedSearchWithShipping)
    ->ArgNames({"k", "workers"})
    ->ArgsProduct({{3, 5, 8}, {1, 2}})
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
