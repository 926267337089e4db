// Every cache mends a damaged file by moving it aside and starting afresh: a search must not
// fail ("Unable to start the search: ...") until the user deletes the file by hand. One damage
// for each cache; which layouts are damage is CacheDatabaseTest's.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/ColorInformationCache.h"
#include "Source/Base/BrickLink/PriceGuideCache.h"
#include "Source/Base/BrickLink/StoreMetadataCache.h"
#include "Tests/Base/BrickLink/CacheTestDatabase.h"
#include "Source/Base/Corvalle.h"

namespace Corvalle::BrickLink {
namespace {

const PriceGuideRequest kRequest{"US", 1};

Item PricedItem() {
  Item item(ItemType::Part, "3001", "3001", 11, Condition::New, 5);
  item.SetPriceGuideNew(std::make_unique<PriceGuide>(
      PriceGuide::Lots{{1085, 10, 0.05}}, PriceGuideStatistics{}, PriceGuideStatistics{}));
  item.SetPriceGuideUsed(std::make_unique<PriceGuide>());
  return item;
}

// Writes random bytes over every page but the first, which holds the layout. The connection that
// wrote the pages holds no transaction: nothing of its own is written back over them.
void ScrambleThePages(const std::string& path) {
  const auto size = std::filesystem::file_size(path);
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  std::mt19937 random(21);
  file.seekp(4096);
  for (auto offset = 4096u; offset < size; ++offset) {
    file.put(static_cast<char>(random()));
  }
}

struct Damage {
  const char* what;
  std::function<void(Sqlite::IMutableDatabase&)> make;
  // Uses the cache on the damaged file and checks that it works as on a fresh one.
  std::function<void()> use;
};

void StoresWork() {
  StoreMetadataCache cache;
  cache.InsertStoreMetadata(7, {"Fresh", "NL"});
  StoreMetadata metadata;
  EXPECT_TRUE(cache.TryRetrieveStoreMetadata(7, metadata));
}

void PriceGuidesWork() {
  PriceGuideCache cache;
  Item item = PricedItem();
  // An entry of the damaged file is not served, least of all as a page without lots.
  EXPECT_FALSE(cache.TryRetrievePriceGuide(item, kRequest));
  cache.InsertPriceGuide(PricedItem(), kRequest);
  EXPECT_TRUE(cache.TryRetrievePriceGuide(item, kRequest));
  EXPECT_EQ(std::distance(item.PriceGuideNew().begin(), item.PriceGuideNew().end()), 1);
}

void ColorsWork() {
  ColorInformationCache cache;
  EXPECT_FALSE(cache.TryRetrieveColorInformation());
  cache.InsertColorData({{11, {"Black", 0x212121}}});
  EXPECT_TRUE(cache.TryRetrieveColorInformation());
}

TEST(CacheDamageTest, ADamagedCacheIsMovedAsideAndTheCacheWorksOnAFreshFile) {
  const std::vector<Damage> damages{
      {"random bytes over its pages",
       [](Sqlite::IMutableDatabase& database) {
         database.Execute(
             "CREATE TABLE StoreInformation (StoreID INTEGER PRIMARY KEY NOT NULL, Name TEXT NOT "
             "NULL, CountryID TEXT NOT NULL, Timestamp INTEGER NOT NULL); WITH RECURSIVE n(i) AS "
             "(SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 500) INSERT INTO StoreInformation "
             "SELECT i, printf('Store %.60d', i), 'DE', strftime('%s', 'now') FROM n");
         ScrambleThePages(Sqlite::GetDatabasePath());
       },
       StoresWork},
      {"a price guide table that lacks a column",
       [](Sqlite::IMutableDatabase& database) {
         PriceGuideCache().InsertPriceGuide(PricedItem(), kRequest);
         database.Execute("ALTER TABLE PriceGuideItems DROP COLUMN Timestamp");
       },
       PriceGuidesWork},
      {"a view in place of the colour table",
       [](Sqlite::IMutableDatabase& database) {
         database.Execute(
             "CREATE VIEW ColorInformation AS SELECT 1 AS ColorID, 'x' AS Name, 0 AS RgbValue; "
             "CREATE TABLE ColorInformationTimestamp (Timestamp INTEGER NOT NULL)");
       },
       ColorsWork},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    const Testing::CacheTestDatabase directory;
    const std::string path = Sqlite::GetDatabasePath();
    damage.make(*Sqlite::OpenMutableDatabase(path.c_str()));
    const auto damagedSize = std::filesystem::file_size(path);
    Sqlite::TakeDatabaseNotice();

    damage.use();

    const std::string notice = Sqlite::TakeDatabaseNotice();
    EXPECT_EQ(notice.rfind("The cache " + path + " was damaged (", 0), 0u) << notice;
    const auto start = notice.find("moved to ") + 9;
    const std::string aside = notice.substr(start, notice.find(" and a fresh") - start);
    ASSERT_TRUE(std::filesystem::exists(aside)) << aside;
    EXPECT_EQ(std::filesystem::file_size(aside), damagedSize);
  }
}

}  // namespace
}  // namespace Corvalle::BrickLink
