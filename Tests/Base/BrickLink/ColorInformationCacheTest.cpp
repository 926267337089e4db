#include "Source/Base/BrickLink/ColorInformationCache.h"

#include <gtest/gtest.h>

#include "Tests/Base/BrickLink/CacheTestDatabase.h"

namespace Corvalle::BrickLink {
namespace {

// Colour ids of their own, so that entries left in the process-wide table by other tests do not
// make a check pass.
const ColorList kColors = {
    {70011, {"Black", 0x05131D}},
    {70005, {"Red", 0xC91A09}},
    {70099, {"Trans-Clear 'Glitter'", 0xFCFCFC}},
};

class ColorInformationCacheTest : public ::testing::Test {
 protected:
  std::int64_t ColorRows() { return database.Count("SELECT COUNT(*) FROM ColorInformation"); }
  std::int64_t TimestampRows() {
    return database.Count("SELECT COUNT(*) FROM ColorInformationTimestamp");
  }

  Testing::CacheTestDatabase database;
};

TEST_F(ColorInformationCacheTest, StoredListFillsTheColorTableOfALaterCache) {
  {
    ColorInformationCache cache;
    EXPECT_FALSE(cache.TryRetrieveColorInformation());
    cache.InsertColorData(kColors);
    EXPECT_EQ(ColorInformation(70099).Name(), "Trans-Clear 'Glitter'");
  }
  EXPECT_EQ(ColorRows(), 3);
  EXPECT_EQ(TimestampRows(), 1);

  // Change the stored rows so that only a read from the database can produce these values.
  database.Sql().Execute(
      "UPDATE ColorInformation SET Name = Name || ' (stored)', RgbValue = RgbValue + 1");
  ColorInformationCache later;
  EXPECT_TRUE(later.TryRetrieveColorInformation());
  EXPECT_EQ(ColorInformation(70011).Name(), "Black (stored)");
  EXPECT_EQ(ColorInformation(70011).Rgb(), 0x05131Eu);
  EXPECT_EQ(ColorInformation(70005).Name(), "Red (stored)");
  EXPECT_EQ(ColorInformation(70099).Name(), "Trans-Clear 'Glitter' (stored)");
  EXPECT_EQ(ColorInformation(70099).Rgb(), 0xFCFCFDu);
}

TEST_F(ColorInformationCacheTest, ListExpiresAfterOneMonthOrWithoutATimestamp) {
  ColorInformationCache{}.InsertColorData(kColors);

  database.BackDate("ColorInformationTimestamp", "-27 days");
  EXPECT_TRUE(ColorInformationCache{}.TryRetrieveColorInformation());
  EXPECT_EQ(ColorRows(), 3);
  EXPECT_EQ(TimestampRows(), 1);

  database.BackDate("ColorInformationTimestamp", "-32 days");
  ColorInformationCache expired;
  EXPECT_EQ(ColorRows(), 0);
  EXPECT_EQ(TimestampRows(), 0);
  EXPECT_FALSE(expired.TryRetrieveColorInformation());

  // Colours without a timestamp are as old.
  ColorInformationCache{}.InsertColorData(kColors);
  database.Sql().Execute("DELETE FROM ColorInformationTimestamp");
  EXPECT_FALSE(ColorInformationCache{}.TryRetrieveColorInformation());
  EXPECT_EQ(ColorRows(), 0);
}

TEST_F(ColorInformationCacheTest, EmptyListStoresATimestampOnly) {
  ColorInformationCache cache;
  cache.InsertColorData({});
  EXPECT_EQ(TimestampRows(), 1);
  EXPECT_EQ(ColorRows(), 0);
  EXPECT_FALSE(cache.TryRetrieveColorInformation());
}

TEST_F(ColorInformationCacheTest, ColorsStoredMeanwhileByAnotherSearchAreNoError) {
  // Two searches on one cache, each with its own connection, both fetch the colour list.
  ColorInformationCache first;
  ColorInformationCache second;
  first.InsertColorData({{70011, {"Black", 0x05131D}}});
  EXPECT_NO_THROW(
      second.InsertColorData({{70300, {"Green", 0x237841}}, {70011, {"Black", 0x05131D}}}));
  EXPECT_EQ(ColorRows(), 2);
  EXPECT_EQ(TimestampRows(), 2);
  EXPECT_EQ(database.Count("SELECT COUNT(*) FROM ColorInformation WHERE ColorID = 70011"), 1);
}

}  // namespace
}  // namespace Corvalle::BrickLink
