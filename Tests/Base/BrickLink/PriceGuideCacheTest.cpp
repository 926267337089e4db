#include "Source/Base/BrickLink/PriceGuideCache.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Tests/Base/BrickLink/CacheTestDatabase.h"
#include "Source/Base/Corvalle.h"
#include "Tests/Support/LogCapture.h"

namespace Corvalle::BrickLink {
namespace {

using Testing::RuntimeErrorOf;

const PriceGuideRequest kUsDollar{"US", 1};
const PriceGuideRequest kEuro{"US", 2};
const PriceGuideRequest kUsDollarInGermany{"DE", 1};

std::unique_ptr<PriceGuide> Guide(PriceGuide::Lots lots) {
  // Statistics are not stored; non-zero ones show that a guide read back does not carry them.
  const PriceGuideStatistics statistics{3, 40, 0.01, 0.02, 0.03, 0.04};
  return std::make_unique<PriceGuide>(std::move(lots), statistics, statistics);
}

Item MakeItem(const std::string& id, PriceGuide::Lots newLots, PriceGuide::Lots usedLots,
              ItemType type = ItemType::Part, std::uint32_t color = 11) {
  Item item(type, id, "Brick " + id, color, Condition::New, 5);
  item.SetPriceGuideNew(Guide(std::move(newLots)));
  item.SetPriceGuideUsed(Guide(std::move(usedLots)));
  return item;
}

Item Blank(const std::string& id, ItemType type = ItemType::Part, std::uint32_t color = 11) {
  return Item(type, id, "Brick " + id, color, Condition::New, 5);
}

const PriceGuide::Lots kNewLots = {{2001, 10, 0.12345}, {1001, 3, 0.00004}, {3001, 500, 12.5}};
const PriceGuide::Lots kUsedLots = {{4001, 1, 0.07}, {1001, 2, 1234.56789}};

class PriceGuideCacheTest : public ::testing::Test {
 protected:
  std::int64_t Entries() { return database.Count("SELECT COUNT(*) FROM PriceGuideItems"); }
  std::int64_t Lots() { return database.Count("SELECT COUNT(*) FROM PriceGuideData"); }

  Testing::CacheTestDatabase database;
};

TEST_F(PriceGuideCacheTest, RoundTripKeepsOrderAndRoundsToFourDecimals) {
  PriceGuideCache cache;
  cache.InsertPriceGuide(MakeItem("3001", kNewLots, kUsedLots), kUsDollar);
  Item item = Blank("3001");
  ASSERT_TRUE(cache.TryRetrievePriceGuide(item, kUsDollar));
  EXPECT_EQ(item.PriceGuideNew().GetLots(),
            (PriceGuide::Lots{{2001, 10, 0.1235}, {1001, 3, 0.0}, {3001, 500, 12.5}}));
  EXPECT_EQ(item.PriceGuideUsed().GetLots(),
            (PriceGuide::Lots{{4001, 1, 0.07}, {1001, 2, 1234.5679}}));
  for (const PriceGuide* guide : {&item.PriceGuideNew(), &item.PriceGuideUsed()}) {
    EXPECT_EQ(guide->CurrentStatistics(), PriceGuideStatistics{});
    EXPECT_EQ(guide->SalesStatistics(), PriceGuideStatistics{});
  }
}

TEST_F(PriceGuideCacheTest, AnEntryIsAHitEvenWithConditionsWithoutLots) {
  PriceGuideCache cache;
  cache.InsertPriceGuide(MakeItem("3001", kNewLots, {}), kUsDollar);
  cache.InsertPriceGuide(MakeItem("3002", {}, kUsedLots), kUsDollar);
  cache.InsertPriceGuide(MakeItem("3003", {}, {}), kUsDollar);
  EXPECT_EQ(Entries(), 3);
  EXPECT_EQ(Lots(), 5);

  Item newOnly = Blank("3001");
  ASSERT_TRUE(cache.TryRetrievePriceGuide(newOnly, kUsDollar));
  EXPECT_EQ(newOnly.PriceGuideNew().GetLots().size(), 3u);
  EXPECT_TRUE(newOnly.PriceGuideUsed().IsEmpty());

  Item neither = Blank("3003");
  ASSERT_TRUE(cache.TryRetrievePriceGuide(neither, kUsDollar));
  EXPECT_TRUE(neither.PriceGuideNew().IsEmpty());
  EXPECT_TRUE(neither.PriceGuideUsed().IsEmpty());

  // A hit replaces guides that the item held before.
  Item stale = MakeItem("3001", kUsedLots, kUsedLots);
  ASSERT_TRUE(cache.TryRetrievePriceGuide(stale, kUsDollar));
  EXPECT_EQ(stale.PriceGuideNew().GetLots().size(), 3u);
  EXPECT_TRUE(stale.PriceGuideUsed().IsEmpty());

  // Without an entry it is a miss, and the item keeps what it held.
  Testing::LogCapture log;
  Item missing = MakeItem("3004", kUsedLots, {});
  EXPECT_FALSE(cache.TryRetrievePriceGuide(missing, kUsDollar));
  EXPECT_EQ(log.Records(),
            (std::vector<std::string>{"info: Item 3004 with color: 11 not found in database"}));
  EXPECT_EQ(missing.PriceGuideNew().GetLots().size(), 2u);
  EXPECT_TRUE(missing.PriceGuideUsed().IsEmpty());
}

// The stores whose lots did not ship come back with the guide; an entry that an earlier
// program stored, before they were kept, stays a hit that does not know them.
TEST_F(PriceGuideCacheTest, StoresNotShippingAreKeptAndEarlierEntriesStayWithoutThem) {
  using Stores = std::optional<std::vector<std::uint32_t>>;
  {
    PriceGuideCache cache;
    Item item = MakeItem("3001", kNewLots, kUsedLots);
    auto notShipping = Guide(kNewLots);
    notShipping->SetStoresNotShipping(std::vector<std::uint32_t>{9, 5});
    item.SetPriceGuideNew(std::move(notShipping));
    cache.InsertPriceGuide(item, kUsDollar);
    Item read = Blank("3001");
    ASSERT_TRUE(cache.TryRetrievePriceGuide(read, kUsDollar));
    EXPECT_EQ(read.PriceGuideNew().StoresNotShipping(), Stores(std::vector<std::uint32_t>{5, 9}));
    EXPECT_EQ(read.PriceGuideUsed().StoresNotShipping(), Stores(std::vector<std::uint32_t>{}));
  }
  // The earlier program's file: its tables without the one of the stores not shipping.
  database.Sql().Execute("DROP TABLE PriceGuideNotShipping");
  PriceGuideCache later;
  Item read = Blank("3001");
  ASSERT_TRUE(later.TryRetrievePriceGuide(read, kUsDollar));
  EXPECT_EQ(read.PriceGuideNew().GetLots().size(), 3u);
  EXPECT_EQ(read.PriceGuideNew().StoresNotShipping(), std::nullopt);
  EXPECT_EQ(read.PriceGuideUsed().StoresNotShipping(), std::nullopt);
  // An entry read from a page again tells them, and its row goes with the entry.
  later.InsertPriceGuide(MakeItem("3001", kNewLots, {}), kUsDollar);
  ASSERT_TRUE(later.TryRetrievePriceGuide(read, kUsDollar));
  EXPECT_EQ(read.PriceGuideNew().StoresNotShipping(), Stores(std::vector<std::uint32_t>{}));
  database.Sql().Execute("DELETE FROM PriceGuideItems");
  EXPECT_EQ(database.Count("SELECT COUNT(*) FROM PriceGuideNotShipping"), 0);
}

TEST_F(PriceGuideCacheTest, APriceBeyondTheStoredRangeIsRefusedBeforeAnythingIsWritten) {
  PriceGuideCache cache;
  cache.InsertPriceGuide(MakeItem("3001", kNewLots, kUsedLots), kUsDollar);

  const double largest = 922337203685477.0;
  for (const double price : {922337203685478.0, 1.0e15, std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(), -1.0}) {
    const PriceGuide::Lots lots = {{9001, 1, 1.0}, {9002, 1, price}};
    EXPECT_THROW(cache.InsertPriceGuide(MakeItem("3001", kNewLots, lots), kUsDollar),
                 std::invalid_argument)
        << price;
    EXPECT_THROW(cache.InsertPriceGuide(MakeItem("3002", lots, {}), kUsDollar),
                 std::invalid_argument)
        << price;
  }
  // The earlier entry's lots are all still there.
  EXPECT_EQ(Entries(), 1);
  EXPECT_EQ(Lots(), 5);

  // The largest whole price that fits: its units, rounded to a double, read back as the price.
  cache.InsertPriceGuide(MakeItem("3002", {{9001, 1, largest}}, {}), kUsDollar);
  EXPECT_EQ(database.Count("SELECT Price FROM PriceGuideData WHERE StoreID = 9001"),
            9223372036854769664);
  Item large = Blank("3002");
  ASSERT_TRUE(cache.TryRetrievePriceGuide(large, kUsDollar));
  EXPECT_EQ(large.PriceGuideNew().GetLots(), (PriceGuide::Lots{{9001, 1, largest}}));
}

TEST_F(PriceGuideCacheTest, InsertingAgainReplacesLotsAndTimestamp) {
  PriceGuideCache cache;
  cache.InsertPriceGuide(MakeItem("3001", kNewLots, kUsedLots), kUsDollar);
  database.BackDate("PriceGuideItems", "-30 minutes");
  const PriceGuide::Lots second = {{9001, 7, 0.5}};
  cache.InsertPriceGuide(MakeItem("3001", second, second), kUsDollar);

  EXPECT_EQ(Entries(), 1);
  EXPECT_EQ(Lots(), 2);
  EXPECT_GE(database.Count("SELECT Timestamp FROM PriceGuideItems"),
            database.Count("SELECT strftime('%s', 'now', '-1 minute')"));
  Item item = Blank("3001");
  ASSERT_TRUE(cache.TryRetrievePriceGuide(item, kUsDollar));
  EXPECT_EQ(item.PriceGuideNew().GetLots(), second);
  EXPECT_EQ(item.PriceGuideUsed().GetLots(), second);
}

// One-sided and empty entries like the others.
TEST_F(PriceGuideCacheTest, EntriesExpireAfterOneHourWithTheirLots) {
  {
    PriceGuideCache cache;
    cache.InsertPriceGuide(MakeItem("old", kNewLots, kUsedLots), kUsDollar);
    cache.InsertPriceGuide(MakeItem("oldNew", kNewLots, {}), kUsDollar);
    cache.InsertPriceGuide(MakeItem("oldEmpty", {}, {}), kUsDollar);
    cache.InsertPriceGuide(MakeItem("recent", kNewLots, kUsedLots), kUsDollar);
    cache.InsertPriceGuide(MakeItem("recentUsed", {}, kUsedLots), kUsDollar);
  }
  database.BackDate("PriceGuideItems", "-61 minutes", "ItemID LIKE 'old%'");
  database.BackDate("PriceGuideItems", "-59 minutes", "ItemID LIKE 'recent%'");

  PriceGuideCache cache;
  EXPECT_EQ(Entries(), 2);
  EXPECT_EQ(Lots(), 7);
  EXPECT_EQ(database.Count("SELECT COUNT(*) FROM PriceGuideData WHERE ItemID LIKE 'old%'"), 0);
  for (const char* id : {"old", "oldNew", "oldEmpty"}) {
    Item item = Blank(id);
    EXPECT_FALSE(cache.TryRetrievePriceGuide(item, kUsDollar)) << id;
  }
  Item recent = Blank("recent");
  EXPECT_TRUE(cache.TryRetrievePriceGuide(recent, kUsDollar));
  Item recentUsed = Blank("recentUsed");
  EXPECT_TRUE(cache.TryRetrievePriceGuide(recentUsed, kUsDollar));
  EXPECT_EQ(recentUsed.PriceGuideUsed().GetLots().size(), 2u);
}

// After a currency switch the guide in the old currency is not served; after a country switch
// neither, as which stores ship there decides the lots. A set and a part of the same number, and
// the part in another colour, are other entries.
TEST_F(PriceGuideCacheTest, CountryCurrencyTypeAndColorEachKeepTheirOwnEntry) {
  struct Entry {
    ItemType type;
    std::uint32_t color;
    PriceGuideRequest request;
  };
  const Entry entries[] = {{ItemType::Part, 11, kUsDollar},
                           {ItemType::Part, 11, kEuro},
                           {ItemType::Part, 11, kUsDollarInGermany},
                           {ItemType::Set, 0, kUsDollar},
                           {ItemType::Part, 5, kUsDollar}};
  const auto lots = [](std::uint32_t entry) { return PriceGuide::Lots{{1001 + entry, 1, 0.5}}; };
  PriceGuideCache cache;
  for (std::uint32_t entry = 0; entry < std::size(entries); ++entry) {
    const auto& [type, color, request] = entries[entry];
    Item item = Blank("3001", type, color);
    EXPECT_FALSE(cache.TryRetrievePriceGuide(item, request)) << entry;
    cache.InsertPriceGuide(MakeItem("3001", lots(entry), lots(entry), type, color), request);
  }
  for (std::uint32_t entry = 0; entry < std::size(entries); ++entry) {
    const auto& [type, color, request] = entries[entry];
    Item item = Blank("3001", type, color);
    ASSERT_TRUE(cache.TryRetrievePriceGuide(item, request)) << entry;
    EXPECT_EQ(item.PriceGuideNew().GetLots(), lots(entry)) << entry;
    EXPECT_EQ(item.PriceGuideUsed().GetLots(), lots(entry)) << entry;
  }
  EXPECT_EQ(Entries(), 5);
}

TEST_F(PriceGuideCacheTest, ItemNumbersWithQuotesAndSqlStayData) {
  PriceGuideCache cache;
  const std::vector<std::string> ids = {"973pb0123c01'", "x' OR '1'='1",
                                        "3001'; DROP TABLE PriceGuideItems; --"};
  std::uint32_t store = 100;
  for (const std::string& id : ids) {
    const PriceGuide::Lots lots = {{++store, 1, 0.25}};
    cache.InsertPriceGuide(MakeItem(id, lots, lots), kUsDollar);
  }
  cache.InsertPriceGuide(MakeItem("3001", kNewLots, kUsedLots), kUsDollar);

  EXPECT_EQ(Entries(), 4);
  store = 100;
  for (const std::string& id : ids) {
    Item item = Blank(id);
    ASSERT_TRUE(cache.TryRetrievePriceGuide(item, kUsDollar)) << id;
    EXPECT_EQ(item.PriceGuideNew().GetLots(), (PriceGuide::Lots{{++store, 1, 0.25}})) << id;
  }
  // Re-inserting the crafted numbers deletes their own entries and nothing else.
  for (const std::string& id : ids) {
    const PriceGuide::Lots lots = {{7, 7, 7.0}};
    cache.InsertPriceGuide(MakeItem(id, lots, lots), kUsDollar);
  }
  Item plain = Blank("3001");
  ASSERT_TRUE(cache.TryRetrievePriceGuide(plain, kUsDollar));
  EXPECT_EQ(plain.PriceGuideNew().GetLots().size(), 3u);
  EXPECT_EQ(Entries(), 4);
}

TEST_F(PriceGuideCacheTest, AFailedInsertKeepsTheEarlierEntry) {
  PriceGuideCache cache;
  cache.InsertPriceGuide(MakeItem("3001", kNewLots, kUsedLots), kUsDollar);
  database.Sql().Execute(
      "CREATE TRIGGER Refuse BEFORE INSERT ON PriceGuideData WHEN NEW.StoreID = 666 BEGIN "
      "SELECT RAISE(ABORT, 'refused'); END");

  const PriceGuide::Lots failing = {{1, 1, 1.0}, {666, 1, 1.0}};
  EXPECT_EQ(RuntimeErrorOf(
                [&] { cache.InsertPriceGuide(MakeItem("3001", failing, failing), kUsDollar); }),
            "refused");
  Item item = Blank("3001");
  ASSERT_TRUE(cache.TryRetrievePriceGuide(item, kUsDollar));
  EXPECT_EQ(item.PriceGuideNew().GetLots().size(), 3u);
  EXPECT_EQ(Lots(), 5);
}

TEST_F(PriceGuideCacheTest, TablesOfEarlierLayoutsAreReplaced) {
  // The layout before this one, keyed without the buyer's country, whose entries would serve
  // another country's lots. (Earlier layouts lack more columns and meet the same check, which
  // reads the columns, not the rows.)
  database.Sql().Execute(
      "CREATE TABLE PriceGuideItems (ItemType INTEGER NOT NULL, ItemID TEXT NOT NULL, Color "
      "INTEGER NOT NULL, Currency INTEGER NOT NULL, Timestamp INTEGER NOT NULL, PRIMARY KEY "
      "(ItemType, ItemID, Color, Currency)); CREATE TABLE PriceGuideData (ItemType INTEGER "
      "NOT NULL, ItemID TEXT NOT NULL, Color INTEGER NOT NULL, Currency INTEGER NOT NULL, "
      "Condition INTEGER NOT NULL, StoreID INTEGER NOT NULL, Quantity INTEGER NOT NULL, Price "
      "INTEGER NOT NULL); INSERT INTO PriceGuideItems VALUES (1, '3001', 11, 1, strftime('%s', "
      "'now')); INSERT INTO PriceGuideData VALUES (1, '3001', 11, 1, 0, 1001, 1, 10000)");
  PriceGuideCache cache;
  EXPECT_EQ(Entries(), 0);
  EXPECT_EQ(Lots(), 0);
  Item item = Blank("3001");
  EXPECT_FALSE(cache.TryRetrievePriceGuide(item, kUsDollar));
  cache.InsertPriceGuide(MakeItem("3001", kNewLots, kUsedLots), kUsDollar);
  EXPECT_TRUE(cache.TryRetrievePriceGuide(item, kUsDollar));
}

}  // namespace
}  // namespace Corvalle::BrickLink
