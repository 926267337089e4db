#include "Source/Base/BrickLink/PriceGuide.h"

#include <gtest/gtest.h>

#include <limits>

namespace Corvalle::BrickLink {
namespace {

// Which prices can be stored is met by PriceGuideCacheTest, which refuses the others, and by
// PriceGuideParserTest, whose pages with them are unreadable.
TEST(StoredPriceTest, RoundsToTenThousandthsHalfUp) {
  EXPECT_EQ(ToStoredPrice(1.23456), 12346);
  EXPECT_DOUBLE_EQ(FromStoredPrice(ToStoredPrice(1.23456)), 1.2346);
  EXPECT_EQ(ToStoredPrice(0.00004), 0);
  EXPECT_EQ(ToStoredPrice(0.00005), 1);
  EXPECT_EQ(ToStoredPrice(0.0), 0);
  EXPECT_EQ(ToStoredPrice(0.0512), 512);
  EXPECT_EQ(ToStoredPrice(1234.5678), 12345678);
  EXPECT_DOUBLE_EQ(FromStoredPrice(12345678), 1234.5678);
  // Every price with four decimals survives the round trip.
  for (std::int64_t stored = 0; stored < 200000; stored += 7) {
    ASSERT_EQ(ToStoredPrice(FromStoredPrice(stored)), stored);
  }
  // Large prices below the limit keep their whole part.
  EXPECT_EQ(ToStoredPrice(9.0e11), 9000000000000000);
  EXPECT_EQ(ToStoredPrice(922337203685477.0), 9223372036854769664);
}

TEST(PriceGuideRecordsTest, EqualityComparesEveryField) {
  EXPECT_EQ(LotData{}, (LotData{0, 0.0}));
  EXPECT_NE((LotData{1, 0.5}), (LotData{1, 0.50001}));
  EXPECT_NE((LotData{2, 0.5}), (LotData{1, 0.5}));

  EXPECT_EQ(PriceGuideDatum(1001, 3, 0.25), PriceGuideDatum(1001, 3, 0.25));
  EXPECT_NE(PriceGuideDatum(1001, 3, 0.25), PriceGuideDatum(1002, 3, 0.25));
  EXPECT_NE(PriceGuideDatum(1001, 3, 0.25), PriceGuideDatum(1001, 4, 0.25));
  EXPECT_NE(PriceGuideDatum(1001, 3, 0.25), PriceGuideDatum(1001, 3, 0.26));

  const PriceGuideStatistics statistics{5, 20, 0.1, 0.2, 0.15, 0.4};
  EXPECT_EQ(statistics, (PriceGuideStatistics{5, 20, 0.1, 0.2, 0.15, 0.4}));
  EXPECT_NE(statistics, (PriceGuideStatistics{5, 21, 0.1, 0.2, 0.15, 0.4}));
  EXPECT_NE(statistics, (PriceGuideStatistics{5, 20, 0.1, 0.2, 0.15, 0.41}));
  EXPECT_EQ(PriceGuideStatistics{}, (PriceGuideStatistics{0, 0, 0.0, 0.0, 0.0, 0.0}));
}

}  // namespace
}  // namespace Corvalle::BrickLink
