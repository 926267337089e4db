#include "Source/Base/BrickLink/StoreMetadataCache.h"

#include <gtest/gtest.h>

#include "Tests/Base/BrickLink/CacheTestDatabase.h"

namespace Corvalle::BrickLink {
namespace {

class StoreMetadataCacheTest : public ::testing::Test {
 protected:
  std::int64_t Rows() { return database.Count("SELECT COUNT(*) FROM StoreInformation"); }

  Testing::CacheTestDatabase database;
};

TEST_F(StoreMetadataCacheTest, RoundTripAndMiss) {
  StoreMetadataCache cache;
  StoreMetadata metadata{"untouched", "XX"};
  EXPECT_FALSE(cache.TryRetrieveStoreMetadata(12345, metadata));
  EXPECT_EQ(metadata, (StoreMetadata{"untouched", "XX"}));

  cache.InsertStoreMetadata(12345, {"Bricks 'n' More", "DE"});
  cache.InsertStoreMetadata(777, {"x'); DELETE FROM StoreInformation; --", "US"});
  // A NUL in a name from a page is kept with the rest; the front ends filter it where shown.
  const std::string withNul("Bricks\0 and more", 16);
  cache.InsertStoreMetadata(778, {withNul, "US"});
  EXPECT_TRUE(cache.TryRetrieveStoreMetadata(12345, metadata));
  EXPECT_EQ(metadata, (StoreMetadata{"Bricks 'n' More", "DE"}));
  EXPECT_TRUE(cache.TryRetrieveStoreMetadata(777, metadata));
  EXPECT_EQ(metadata, (StoreMetadata{"x'); DELETE FROM StoreInformation; --", "US"}));
  EXPECT_TRUE(cache.TryRetrieveStoreMetadata(778, metadata));
  EXPECT_EQ(metadata, (StoreMetadata{withNul, "US"}));
  EXPECT_EQ(Rows(), 3);
}

TEST_F(StoreMetadataCacheTest, RowsExpireAfterOneMonth) {
  {
    StoreMetadataCache cache;
    cache.InsertStoreMetadata(1, {"Old", "DE"});
    cache.InsertStoreMetadata(2, {"Recent", "FR"});
  }
  database.BackDate("StoreInformation", "-32 days", "StoreID = 1");
  database.BackDate("StoreInformation", "-27 days", "StoreID = 2");

  StoreMetadataCache cache;
  StoreMetadata metadata;
  EXPECT_FALSE(cache.TryRetrieveStoreMetadata(1, metadata));
  EXPECT_TRUE(cache.TryRetrieveStoreMetadata(2, metadata));
  EXPECT_EQ(metadata.name, "Recent");
  EXPECT_EQ(Rows(), 1);
}

TEST_F(StoreMetadataCacheTest, TableOfTheEarlierLayoutIsDropped) {
  database.Sql().Execute(
      "CREATE TABLE StoreInformation (StoreID INTEGER PRIMARY KEY NOT NULL, Name TEXT NOT NULL, "
      "Country TEXT NOT NULL, Timestamp INTEGER NOT NULL)");
  database.Sql().Execute(
      "INSERT INTO StoreInformation VALUES (12345, 'Old', 'Germany', strftime('%s', 'now'))");

  // A later cache on the current layout keeps its rows: RowsExpireAfterOneMonth.
  StoreMetadataCache cache;
  EXPECT_EQ(Rows(), 0);
  cache.InsertStoreMetadata(12345, {"New", "DE"});
  StoreMetadata metadata;
  EXPECT_TRUE(cache.TryRetrieveStoreMetadata(12345, metadata));
  EXPECT_EQ(metadata, (StoreMetadata{"New", "DE"}));
}

TEST_F(StoreMetadataCacheTest, AStoreStoredMeanwhileByAnotherSearchIsNoError) {
  // Two searches on one cache, each with its own connection, store the same store.
  StoreMetadataCache first;
  StoreMetadataCache second;
  first.InsertStoreMetadata(42, {"First", "DE"});
  EXPECT_NO_THROW(second.InsertStoreMetadata(42, {"Second", "FR"}));
  StoreMetadata metadata;
  EXPECT_TRUE(first.TryRetrieveStoreMetadata(42, metadata));
  EXPECT_EQ(metadata, (StoreMetadata{"Second", "FR"}));
  EXPECT_EQ(database.Count("SELECT COUNT(*) FROM StoreInformation WHERE StoreID = 42"), 1);
}

}  // namespace
}  // namespace Corvalle::BrickLink
