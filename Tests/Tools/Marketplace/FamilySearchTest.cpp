// The bounded search on small tables of every world family, built by the converter that the
// benchmarks use, against the brute-force oracle: each family stresses the search differently
// (one item and many partial lots, wants that only several lots fill, exact ties, shipping), and
// the small tables keep those shapes while every plan can still be enumerated.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/BoundedCombinationSearch.h"
#include "Tests/Support/LogCapture.h"
#include "Tests/Support/SearchOracle.h"
#include "Tools/Marketplace/WorldTable.h"

namespace {

using namespace Corvalle::Marketplace;

bool SameCost(double first, double second) {
  return first == second ||
         std::abs(first - second) <= 1e-9 * std::max(std::abs(first), std::abs(second));
}

class FamilySearchTest : public testing::TestWithParam<WorldFamily> {};

TEST_P(FamilySearchTest, BoundedSearchFindsTheOraclesCostsRankByRank) {
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
    const WorldTable world =
        BuildWorldTable(GenerateWorld(options), list, FamilyRegions(), FamilyTerms(GetParam()));
    const auto& table = *world.table;
    const std::uint32_t largestK = std::min<std::uint32_t>(5, table.StoreCount());
    for (std::uint32_t k = 1; k <= largestK; ++k) {
      const auto expected = Testing::OraclePlans(world.items, table, k, world.rules);
      for (const std::uint32_t workers : {1u, 2u}) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(workers) +
                     " workers\n" + Testing::DescribeTable(world.items, table, k));
        const auto found =
            Corvalle::BrickLink::CreateBoundedCombinationSearch(world.items)
                ->FindCheapestCombinations(table, k, 25, nullptr, workers, world.rules);
        ASSERT_EQ(found.size(), std::min<std::size_t>(25, expected.size()));
        for (std::size_t rank = 0; rank < found.size(); ++rank) {
          ASSERT_TRUE(SameCost(found[rank].Cost(), expected[rank].cost))
              << "rank " << rank + 1 << ": " << found[rank].Cost() << ", oracle "
              << expected[rank].cost;
        }
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
