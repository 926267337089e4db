#include "Source/Base/BrickLink/CheapestCombinations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace Corvalle::BrickLink {
namespace {

using Indices = std::vector<std::uint32_t>;

TEST(CheapestCombinationsTest, KeepsTheCheapestAndCombinationsTiedWithTheDearestKept) {
  CheapestCombinations kept(2, 3);
  EXPECT_EQ(kept.DropThreshold(), std::numeric_limits<double>::infinity());
  const std::uint32_t a[] = {0, 1};
  const std::uint32_t b[] = {0, 2};
  const std::uint32_t c[] = {1, 2};
  const std::uint32_t d[] = {1, 3};
  const std::uint32_t e[] = {2, 3};
  kept.Offer(5.0, a);
  kept.Offer(3.0, b);
  kept.Offer(5.0, c);
  EXPECT_EQ(kept.DropThreshold(), 5.0);
  // Full: a tie with the dearest is kept too, a dearer one is not.
  kept.Offer(5.0, d);
  kept.Offer(6.0, e);
  // A cheaper one replaces the dearest offered last of the tied ones: d.
  kept.Offer(4.0, e);
  const std::vector<StoreCombination> drained = kept.Drain();
  EXPECT_EQ(drained, (std::vector<StoreCombination>{StoreCombination({0, 2}, 3.0),
                                                      StoreCombination({2, 3}, 4.0),
                                                      StoreCombination({0, 1}, 5.0),
                                                      StoreCombination({1, 2}, 5.0)}));
  // Draining empties it.
  EXPECT_TRUE(kept.Drain().empty());
  EXPECT_EQ(kept.DropThreshold(), std::numeric_limits<double>::infinity());
}

// A plan with stores beside it that buy nothing ties with itself once per choice of them: the
// ties kept stop at twice the bound, the first ones visited.
TEST(CheapestCombinationsTest, TiesWithTheDearestKeptStopAtTwiceTheBound) {
  CheapestCombinations kept(3, 5);
  for (std::uint32_t idle = 0; idle < 100000; ++idle) {
    const std::uint32_t columns[] = {0, 1, 2 + idle};
    kept.Offer(7.5, columns);
  }
  const std::vector<StoreCombination> drained = kept.Drain();
  ASSERT_EQ(drained.size(), 10u);
  for (std::uint32_t place = 0; place < drained.size(); ++place) {
    EXPECT_EQ(drained[place], StoreCombination({0, 1, 2 + place}, 7.5));
  }
}

// The rule written plainly: a list searched from end to end.
struct Entry {
  double cost;
  std::uint64_t visit;
  Indices columns;
};

TEST(CheapestCombinationsTest, FollowsTheKeepTheCheapestRuleOnRandomOffers) {
  std::mt19937 random(515);
  for (int round = 0; round < 300; ++round) {
    const std::uint32_t k = 1 + random() % 4;
    const std::size_t capacity = 1 + random() % 12;
    SCOPED_TRACE("round " + std::to_string(round) + ", capacity " + std::to_string(capacity));
    CheapestCombinations kept(k, capacity);
    std::vector<Entry> model;
    std::uint64_t visit = 0;
    const int offers = static_cast<int>(random() % 200);
    for (int offer = 0; offer < offers; ++offer) {
      // Few distinct costs, so that ties are common.
      const double cost = static_cast<double>(random() % 8) * 0.25;
      Indices columns(k);
      for (std::uint32_t& column : columns) {
        column = static_cast<std::uint32_t>(random() % 1000);
      }
      const auto dearest =
          std::max_element(model.begin(), model.end(), [](const auto& a, const auto& b) {
            return std::tie(a.cost, a.visit) < std::tie(b.cost, b.visit);
          });
      const double threshold = model.size() < capacity
                                   ? std::numeric_limits<double>::infinity()
                                   : dearest->cost;
      ASSERT_EQ(kept.DropThreshold(), threshold);
      if (model.size() < capacity || (dearest->cost == cost && model.size() < 2 * capacity)) {
        model.push_back({cost, visit++, columns});
      } else if (dearest->cost > cost) {
        *dearest = {cost, visit++, columns};
      }
      kept.Offer(cost, columns.data());
    }
    std::sort(model.begin(), model.end(), [](const auto& a, const auto& b) {
      return std::tie(a.cost, a.visit) < std::tie(b.cost, b.visit);
    });
    const std::vector<StoreCombination> drained = kept.Drain();
    ASSERT_EQ(drained.size(), model.size());
    for (std::size_t place = 0; place < model.size(); ++place) {
      EXPECT_EQ(drained[place].Cost(), model[place].cost) << "place " << place;
      EXPECT_EQ(drained[place].StoreIndices(), model[place].columns) << "place " << place;
    }
  }
}

}  // namespace
}  // namespace Corvalle::BrickLink
