#include <benchmark/benchmark.h>

#include <string>

#include "Source/Base/BrickStore/XmlParser.h"

namespace {

// Reading a real 160-lot BrickStock export: the first thing every search does.
void BM_ParseWantedList(benchmark::State& state) {
  const std::string path =
      std::string(CORVALLE_BENCHMARK_DATA_DIR) + "/real/bsx_7288_mobile_police_unit.bsx";
  const auto parser = Corvalle::BrickStore::CreateXmlParser();
  std::size_t items = 0;
  for (auto _ : state) {
    const auto parsed = parser->ParseItems(path.c_str());
    items += parsed->size();
    benchmark::DoNotOptimize(parsed.get());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(items));
}
BENCHMARK(BM_ParseWantedList);

}  // namespace
