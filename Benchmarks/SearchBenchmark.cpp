// The combination search on deterministic synthetic tables (seeded), one and two workers.
// Each benchmark reports combinations (stores, for pruning) through SetItemsProcessed, so that
// items_per_second is the wall-clock throughput; per_worker divides it by the worker count, and
// the validation benchmarks add the peak heap growth of one run and the allocations per
// combination. The CPU column is the whole process's CPU time (all workers), so that
// iterations x combinations / CPU time is the throughput per busy core even on a machine whose
// other core is taken by something else.

#include <benchmark/benchmark.h>

#include <atomic>
#include <random>
#include <span>
#include <thread>

#include "Benchmarks/AllocationCounter.h"
#include "Source/Base/BrickLink/LotDataConsolidator.h"
#include "Source/Base/BrickLink/MinimumCostFinder.h"
#include "Source/Base/BrickLink/StorePruner.h"
#include "Source/Base/Combinations/CombinationGenerator.h"

namespace {

using Corvalle::Item;
using Corvalle::BrickLink::ConsolidatedLotData;
using Corvalle::BrickLink::TableLot;
using Corvalle::BrickLink::StoreInformation;

std::uint32_t Workers(std::uint32_t n, std::uint32_t k, std::uint32_t requested) {
  return std::max(1u, std::min({n - k, std::thread::hardware_concurrency(), requested}));
}

// A table in which every store offers each item with the given probability, in quantities of
// 1 to maxQuantity at prices of 0.01 to 5.00; items are wanted 1 to maxWanted times.
struct SyntheticSearch {
  SyntheticSearch(std::uint32_t itemCount, std::uint32_t storeCount, double offerProbability,
                  std::uint32_t maxWanted, std::uint32_t maxQuantity, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    for (std::uint32_t item = 0; item < itemCount; ++item) {
      items.emplace_back(Corvalle::ItemType::Part, "part" + std::to_string(item), "Part", 1,
                         Corvalle::Condition::New,
                         1 + static_cast<std::uint32_t>(random() % maxWanted));
    }
    std::vector<StoreInformation> stores;
    for (std::uint32_t store = 0; store < storeCount; ++store) {
      stores.emplace_back(10000 + store * 7);
    }
    ConsolidatedLotData::Builder builder(itemCount, std::move(stores));
    for (std::uint32_t item = 0; item < itemCount; ++item) {
      for (std::uint32_t store = 0; store < storeCount; ++store) {
        if (chance(random) < offerProbability) {
          const TableLot lot{1 + static_cast<std::uint32_t>(random() % maxQuantity),
                             0.01 * static_cast<double>(1 + random() % 500)};
          builder.SetLots(item, store, std::span<const TableLot>(&lot, 1));
        }
      }
    }
    table = builder.Build();
  }

  std::vector<Item> items;
  std::shared_ptr<const ConsolidatedLotData> table;
};

class CountingFactory final : public Combinations::ICombinationCollectorFactory {
 public:
  std::unique_ptr<Combinations::IValidCombinationCollector> CreateCollector() override {
    // Aligned to a cache line, so that two workers' counters never share one.
    class alignas(64) Collector final : public Combinations::IValidCombinationCollector {
     public:
      explicit Collector(std::atomic<std::uint64_t>& total_) : total(total_) {}
      void HandleCombination(const Iterator&, const Iterator&) override { ++count; }
      void Finish() override { total += count; }

     private:
      std::atomic<std::uint64_t>& total;
      std::uint64_t count = 0;
    };
    return std::make_unique<Collector>(total);
  }

  std::atomic<std::uint64_t> total{0};
};

// Enumeration alone: the generator with a collector that only counts.
void BM_Enumerate(benchmark::State& state) {
  const std::uint32_t n = 160;
  const std::uint32_t k = 4;
  const auto threads = static_cast<std::uint32_t>(state.range(0));
  const auto generator = Combinations::CreateCombinationGenerator();
  std::uint64_t combinations = 0;
  for (auto _ : state) {
    CountingFactory factory;
    generator->TryGenerateCombinations(n, k, factory, threads);
    combinations += factory.total;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(combinations));
  state.counters["per_worker"] = benchmark::Counter(
      static_cast<double>(combinations) / Workers(n, k, threads), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Enumerate)
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

// FindValidCombinations (through CollectValidCombinations) and CalculateCosts on one table.
void RunValidation(benchmark::State& state, const SyntheticSearch& search, std::uint32_t k) {
  const auto threads = static_cast<std::uint32_t>(state.range(0));
  const std::uint32_t n = search.table->StoreCount();
  std::uint64_t combinations = 0;
  std::uint64_t allocations = 0;
  std::uint64_t kept = 0;
  std::int64_t peakGrowth = 0;
  for (auto _ : state) {
    const auto before = Benchmarks::TakeAllocationSnapshot();
    Benchmarks::ResetPeakBytes();
    {
      const auto validator = Corvalle::BrickLink::CreateStoreCombinationValidator(search.items);
      const auto finder =
          Corvalle::BrickLink::CreateMinimumCostFinder(search.table, *validator, search.items, k);
      kept += finder->CollectValidCombinations(nullptr, threads);
      finder->CalculateCosts();
      combinations += finder->CountPossibleCombinations();
    }
    allocations += Benchmarks::TakeAllocationSnapshot().allocations - before.allocations;
    peakGrowth = std::max(peakGrowth, Benchmarks::PeakBytes() - before.liveBytes);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(combinations));
  state.counters["per_worker"] = benchmark::Counter(
      static_cast<double>(combinations) / Workers(n, k, threads), benchmark::Counter::kIsRate);
  state.counters["kept"] = static_cast<double>(kept) / static_cast<double>(state.iterations());
  state.counters["peak_MB"] = static_cast<double>(peakGrowth) / (1024.0 * 1024.0);
  state.counters["allocs_per_combination"] =
      static_cast<double>(allocations) / static_cast<double>(combinations);
}

// 60 items, 120 stores, k = 3: nearly every combination lacks some item.
void BM_ValidateInvalidHeavy(benchmark::State& state) {
  static const SyntheticSearch search(60, 120, 0.5, 3, 10, 11);
  RunValidation(state, search, 3);
}
BENCHMARK(BM_ValidateInvalidHeavy)
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

// 20 items, 80 stores, k = 4: nearly every combination is valid and must be priced.
void BM_ValidateValidHeavy(benchmark::State& state) {
  static const SyntheticSearch search(20, 80, 0.8, 3, 20, 12);
  RunValidation(state, search, 4);
  // Valid combinations of the table, counted once by the plain rule.
  static const std::uint64_t valid = [] {
    std::uint64_t count = 0;
    const auto& table = *search.table;
    const std::uint32_t n = table.StoreCount();
    for (std::uint32_t a = 0; a < n; ++a) {
      for (std::uint32_t b = a + 1; b < n; ++b) {
        for (std::uint32_t c = b + 1; c < n; ++c) {
          for (std::uint32_t d = c + 1; d < n; ++d) {
            bool ok = true;
            for (std::uint32_t item = 0; ok && item < table.ItemCount(); ++item) {
              const std::uint64_t sum = std::uint64_t{table.OfferedQuantity(item, a)} +
                                        table.OfferedQuantity(item, b) +
                                        table.OfferedQuantity(item, c) +
                                        table.OfferedQuantity(item, d);
              ok = sum >= search.items[item].Quantity();
            }
            count += ok ? 1 : 0;
          }
        }
      }
    }
    return count;
  }();
  state.counters["valid_per_worker"] =
      benchmark::Counter(static_cast<double>(valid) * static_cast<double>(state.iterations()) /
                             Workers(80, 4, static_cast<std::uint32_t>(state.range(0))),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ValidateValidHeavy)
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

// PruneExtraneousStores on 2000 stores x 100 items; the pair enumeration runs on one worker by
// design, so the only argument is 1.
void BM_PruneExtraneous(benchmark::State& state) {
  static const SyntheticSearch search(100, 2000, 0.1, 5, 20, 13);
  const auto pruner = Corvalle::BrickLink::CreateStorePruner();
  std::uint64_t stores = 0;
  std::uint32_t kept = 0;
  for (auto _ : state) {
    kept = pruner->PruneExtraneousStores(*search.table, search.items)->StoreCount();
    stores += search.table->StoreCount();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(stores));
  state.counters["kept_stores"] = kept;
}
BENCHMARK(BM_PruneExtraneous)
    ->Arg(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

// ConsolidateLotData on one item wanted 1000 times in any condition whose price guides hold
// the argument's number of lots, half new and half used, over range(1) stores: one store
// listing every lot is the case that used to fold the store's lots again for each one.
void BM_Consolidate(benchmark::State& state) {
  const auto lotCount = static_cast<std::uint32_t>(state.range(0));
  const auto storeCount = static_cast<std::uint32_t>(state.range(1));
  std::mt19937 random(17);
  Corvalle::BrickLink::PriceGuide::Lots newLots;
  Corvalle::BrickLink::PriceGuide::Lots usedLots;
  for (std::uint32_t lot = 0; lot < lotCount; ++lot) {
    (lot % 2 == 0 ? newLots : usedLots)
        .emplace_back(1 + random() % storeCount, 1 + static_cast<std::uint32_t>(random() % 50),
                      0.0001 * static_cast<double>(1 + random() % 20000));
  }
  std::vector<Item> items;
  items.emplace_back(Corvalle::ItemType::Part, "3001", "Brick 2 x 4", 5, Corvalle::Condition::Used,
                     1000);
  items.back().SetPriceGuideNew(std::make_unique<Corvalle::BrickLink::PriceGuide>(
      std::move(newLots), Corvalle::BrickLink::PriceGuideStatistics{},
      Corvalle::BrickLink::PriceGuideStatistics{}));
  items.back().SetPriceGuideUsed(std::make_unique<Corvalle::BrickLink::PriceGuide>(
      std::move(usedLots), Corvalle::BrickLink::PriceGuideStatistics{},
      Corvalle::BrickLink::PriceGuideStatistics{}));
  const auto consolidator = Corvalle::BrickLink::CreateLotDataConsolidator();
  std::uint32_t stores = 0;
  for (auto _ : state) {
    stores = consolidator->ConsolidateLotData(items)->StoreCount();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * lotCount);
  state.counters["stores"] = stores;
}
BENCHMARK(BM_Consolidate)
    ->Args({200000, 1})
    ->Args({200000, 2000})
    ->Args({20000, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
