// The bounded search on small tables of every world family, built by the converter that the
// benchmarks use, against the brute-force oracle: each family stresses the search differently
// (one item and many partial lots, wants that only several lots fill, exact ties, shipping), and
// the small tables keep those shapes while every plan can still be enumerated.

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/BoundedCombinationSearch.h"
#include "Tests/Support/LogCapture.h"
#include "Tests/Support/SearchOracle.h"
#include "Tools/Marketplace/WorldTable.h"

namespace Corvalle::Marketplace {

// So that the test's parameter reads as its family, not as bytes.
void PrintTo(WorldFamily family, std::ostream* out) { *out << FamilyName(family); }

}  // namespace Corvalle::Marketplace

namespace {

using namespace Corvalle::Marketplace;

class FamilySearchTest : public testing::TestWithParam<WorldFamily> {};

TEST_P(FamilySearchTest, BoundedSearchFindsTheOraclesPlans) {
  const Testing::LogCapture quiet;  // the consolidator and the search log every step
  int searchesWithPlans = 0;
  for (std::uint64_t seed = 1; seed <= 12; ++seed) {
    GeneratorOptions options = FamilyOptions(GetParam());
    options.seed = seed;
    // The region filter keeps about two thirds of the stores: 12 to 21 in the world leave 8 to
    // 14 in the table at most, few enough for the oracle's every subset. The one-item family's
    // stores are all kept.
    options.stores = GetParam() == WorldFamily::OneItem ? 8 + seed % 7 : 12 + seed % 10;
    options.wantedLots = 3 + seed % 6;
    options.items = options.wantedLots + 4;
    const std::vector<IncludedItem> list = FamilyWantedList(options);
    WorldTable world =
        BuildWorldTable(GenerateWorld(options), list, FamilyRegions(), FamilyTerms(GetParam()));
    Testing::SearchCase search{std::move(world.items), world.table, 1, world.rules, 25};
    for (; search.k <= std::min<std::uint32_t>(5, search.table->StoreCount()); ++search.k) {
      const auto expected =
          Testing::OraclePlans(search.items, *search.table, search.k, search.rules);
      for (const std::uint32_t workers : {1u, 2u}) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(workers) +
                     " workers\n" + Testing::DescribeSearch(search));
        const auto found = Corvalle::BrickLink::CreateBoundedCombinationSearch(search.items)
                               ->FindCheapestCombinations(*search.table, search.k, 25, nullptr,
                                                          workers, search.rules);
        ASSERT_EQ(Testing::PlansMismatch(search, found, expected), "");
        searchesWithPlans += found.empty() ? 0 : 1;
      }
    }
  }
  // The small worlds must still be buyable, or the comparison says little.
  EXPECT_GT(searchesWithPlans, 30);
}

INSTANTIATE_TEST_SUITE_P(Families, FamilySearchTest, testing::ValuesIn(AllFamilies()),
                         [](const testing::TestParamInfo<WorldFamily>& family) {
                           std::string name = FamilyName(family.param);
                           name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                           return name;
                         });

}  // namespace
