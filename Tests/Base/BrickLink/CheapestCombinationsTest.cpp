#include "Source/Base/BrickLink/CheapestCombinations.h"

#include <gtest/gtest.h>

#include <iterator>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Tests/Support/SearchOracle.h"

namespace Corvalle::BrickLink {
namespace {

using Indices = std::vector<std::uint32_t>;

// Against the rule written plainly with a std::multimap, which keeps equal costs in the order
// inserted. With few capacities and costs, the offers fill the heap, tie with the dearest up to
// twice the capacity and replace the dearest of equal ones visited last; the validator's own
// table is checked by hand in its test.
TEST(CheapestCombinationsTest, FollowsTheKeepTheCheapestRuleOnRandomOffers) {
  std::mt19937 random(515);
  for (int round = 0; round < 300; ++round) {
    const std::uint32_t k = 1 + random() % 4;
    const std::size_t capacity = 1 + random() % 12;
    SCOPED_TRACE("round " + std::to_string(round) + ", capacity " + std::to_string(capacity));
    CheapestCombinations kept(k, capacity);
    std::multimap<double, Indices> model;
    const int offers = static_cast<int>(random() % 200);
    for (int offer = 0; offer < offers; ++offer) {
      // Few distinct costs, so that ties are common.
      const double cost = static_cast<double>(random() % 8) * 0.25;
      Indices columns(k);
      for (std::uint32_t& column : columns) {
        column = static_cast<std::uint32_t>(random() % 1000);
      }
      const double dearest = model.empty() ? 0.0 : std::prev(model.end())->first;
      if (model.size() < capacity) {
        ASSERT_EQ(kept.DropThreshold(), std::numeric_limits<double>::infinity());
      } else {
        // Nothing that ties the dearest is dropped, everything a cent dearer is.
        ASSERT_GE(kept.DropThreshold(), dearest);
        ASSERT_LT(kept.DropThreshold(), dearest + 0.01);
      }
      if (model.size() < capacity || (dearest == cost && model.size() < 2 * capacity)) {
        model.emplace(cost, columns);
      } else if (dearest > cost) {
        model.emplace(cost, columns);
        model.erase(std::prev(model.end()));
      }
      kept.Offer(cost, columns.data());
    }
    std::vector<StoreCombination> expected;
    for (const auto& [cost, columns] : model) {
      expected.emplace_back(Indices(columns), cost);
    }
    EXPECT_EQ(kept.Drain(), expected);
    // Draining empties it.
    EXPECT_TRUE(kept.Drain().empty());
    EXPECT_EQ(kept.DropThreshold(), std::numeric_limits<double>::infinity());
  }
}

}  // namespace
}  // namespace Corvalle::BrickLink
