// Every stored fuzz input (the seed corpora and the inputs that once failed) run through the
// same entry points as under libFuzzer, so that a fixed failure stays fixed in the plain build.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

// The entry points, each compiled under its own name (see CMakeLists.txt): one binary holds
// them all.
extern "C" int CorvalleFuzzWantedList(const std::uint8_t* data, std::size_t size);
extern "C" int CorvalleFuzzPriceGuide(const std::uint8_t* data, std::size_t size);
extern "C" int CorvalleFuzzStoreInformation(const std::uint8_t* data, std::size_t size);
extern "C" int CorvalleFuzzColorInformation(const std::uint8_t* data, std::size_t size);
extern "C" int CorvalleFuzzHttpMessage(const std::uint8_t* data, std::size_t size);
extern "C" int CorvalleFuzzPreferences(const std::uint8_t* data, std::size_t size);

namespace {

struct FuzzTarget {
  const char* testName;
  const char* directory;
  int (*entry)(const std::uint8_t*, std::size_t);
};

// Names the target in ctest's list instead of gtest's dump of the struct's bytes.
void PrintTo(const FuzzTarget& target, std::ostream* out) { *out << target.directory; }

std::vector<std::filesystem::path> StoredInputs(const std::filesystem::path& directory) {
  std::vector<std::filesystem::path> inputs;
  if (!std::filesystem::is_directory(directory)) {
    return inputs;
  }
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    if (entry.is_regular_file()) {
      inputs.push_back(entry.path());
    }
  }
  // Directory order differs between file systems; a failure should name the same input first.
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class StoredFuzzInputs : public testing::TestWithParam<FuzzTarget> {};

TEST_P(StoredFuzzInputs, RunThroughTheEntryPoint) {
  const std::filesystem::path root =
      std::filesystem::path(CORVALLE_FUZZ_DIR) / GetParam().directory;
  const auto seeds = StoredInputs(root / "corpus");
  // A renamed directory would otherwise leave the test passing on nothing.
  ASSERT_FALSE(seeds.empty()) << "no seed inputs in " << (root / "corpus");
  auto inputs = seeds;
  const auto regressions = StoredInputs(root / "regressions");
  inputs.insert(inputs.end(), regressions.begin(), regressions.end());
  for (const auto& path : inputs) {
    SCOPED_TRACE(path.string());
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    EXPECT_EQ(GetParam().entry(bytes.data(), bytes.size()), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fuzz, StoredFuzzInputs,
    testing::Values(
        FuzzTarget{"WantedList", "wanted-list", CorvalleFuzzWantedList},
        FuzzTarget{"PriceGuide", "price-guide", CorvalleFuzzPriceGuide},
        FuzzTarget{"StoreInformation", "store-information", CorvalleFuzzStoreInformation},
        FuzzTarget{"ColorInformation", "color-information", CorvalleFuzzColorInformation},
        FuzzTarget{"HttpMessage", "http-message", CorvalleFuzzHttpMessage},
        FuzzTarget{"Preferences", "preferences", CorvalleFuzzPreferences}),
    [](const testing::TestParamInfo<FuzzTarget>& target) { return target.param.testName; });

}  // namespace
