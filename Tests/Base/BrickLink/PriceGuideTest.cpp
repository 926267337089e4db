#include "Source/Base/BrickLink/PriceGuide.h"

#include <gtest/gtest.h>


namespace Corvalle::BrickLink {
namespace {

// Which prices can be stored is met by PriceGuideCacheTest, which refuses the others, and by
// PriceGuideParserTest, whose pages with them are unreadable.
TEST(StoredPriceTest, RoundsToTenThousandthsHalfUp) {
  EXPECT_EQ(ToStoredPrice(1.23456), 12346);
  EXPECT_DOUBLE_EQ(FromStoredPrice(ToStoredPrice(1.23456)), 1.2346);
  EXPECT_EQ(ToStoredPrice(0.00004), 0);
  EXPECT_EQ(ToStoredPrice(0.00005), 1);
  EXPECT_EQ(ToStoredPrice(0.0512), 512);
  EXPECT_EQ(ToStoredPrice(1234.5678), 12345678);
  // Every price with four decimals survives the round trip.
  for (std::int64_t stored = 0; stored < 200000; stored += 7) {
    ASSERT_EQ(ToStoredPrice(FromStoredPrice(stored)), stored);
  }
  // Large prices below the limit keep their whole part.
  EXPECT_EQ(ToStoredPrice(9.0e11), 9000000000000000);
  EXPECT_EQ(ToStoredPrice(922337203685477.0), 9223372036854769664);
}

}  // namespace
}  // namespace Corvalle::BrickLink
