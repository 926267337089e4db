#include "Source/Base/PreferencesManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "Source/Base/SQLite/SqliteWrapper.h"
#include "Tests/Base/BrickLink/CacheTestDatabase.h"
#include "Tests/Support/ExceptionMessage.h"
#include "Tests/Support/LogCapture.h"

namespace Corvalle {
namespace {

using Strings = std::vector<std::string>;

// A connection whose reads of one kind fail as they do when another connection holds its lock
// past the busy timeout; everything else goes to the real connection.
class FailingReads final : public Sqlite::IMutableDatabase {
 public:
  FailingReads(std::shared_ptr<Sqlite::IMutableDatabase> real_, std::string failing_)
      : real(std::move(real_)), failing(std::move(failing_)) {}

  std::string GetErrorMessage() const override { return real->GetErrorMessage(); }
  std::int64_t GetRowCount(const char* table) const override {
    Check(std::string("SELECT COUNT(*) FROM ") + table);
    return real->GetRowCount(table);
  }
  bool ColumnHasValues(const char* table, const char* column) const override {
    return real->ColumnHasValues(table, column);
  }
  std::int64_t ReadSingleInteger(const char* sql) const override {
    Check(sql);
    return real->ReadSingleInteger(sql);
  }
  std::string ReadSingleString(const char* sql) const override {
    Check(sql);
    return real->ReadSingleString(sql);
  }
  std::unique_ptr<Sqlite::IReadStatement> CreateReadStatement(const char* sql) const override {
    Check(sql);
    return real->CreateReadStatement(sql);
  }
  void Execute(const char* sql) override { real->Execute(sql); }
  bool TryExecute(const char* sql) override { return real->TryExecute(sql); }
  void DropTable(const char* table) override { real->DropTable(table); }
  std::unique_ptr<Sqlite::ITransaction> BeginTransaction() override {
    return real->BeginTransaction();
  }
  std::unique_ptr<Sqlite::IWriteStatement> CreateWriteStatement(const char* sql) override {
    return real->CreateWriteStatement(sql);
  }

 private:
  void Check(const std::string& sql) const {
    if (sql.find(failing) != std::string::npos) {
      throw std::runtime_error("database is locked");
    }
  }

  std::shared_ptr<Sqlite::IMutableDatabase> real;
  std::string failing;
};

class PreferencesManagerTest : public ::testing::Test {
 protected:
  Sqlite::IMutableDatabase& Sql() { return database.Sql(); }

  std::string Row(const std::string& key) {
    return Sql().ReadSingleString(
        ("SELECT Value FROM Preferences WHERE Key = '" + key + "'").c_str());
  }

  // A table holding exactly the given rows, as an earlier run could have left it.
  void WriteRows(const std::vector<std::pair<std::string, std::string>>& rows) {
    Sql().Execute(
        "CREATE TABLE IF NOT EXISTS Preferences (Key TEXT PRIMARY KEY NOT NULL, Value TEXT NOT "
        "NULL); DELETE FROM Preferences");
    const auto statement = Sql().CreateWriteStatement("INSERT INTO Preferences VALUES (?, ?)");
    for (const auto& [key, value] : rows) {
      statement->BindText(0, key);
      statement->BindText(1, value);
      statement->Execute();
    }
  }

  Testing::CacheTestDatabase database;
};

// A fresh database's first-start rows are those that AFailedSaveRollsBackEveryRow finds, and its
// values those that unusable saved ones fall back to below.
TEST_F(PreferencesManagerTest, SavedPreferencesReachTheNextManager) {
  Preferences saved{2, "Germany", "Euro", {"Europe", "European Union"}};
  saved.shippingDomestic = 4.5;
  saved.shippingInternational = 0.1;
  saved.excludedStores = {17, 4000000000u};
  saved.requiredStores = {5};
  CreatePreferencesManager()->SetPreferences(saved);
  EXPECT_EQ(Row("Regions"), "Europe,European Union");
  EXPECT_EQ(Row("StoresPerCombination"), "2");
  EXPECT_EQ(Row("ExcludedStores"), "17,4000000000");

  const auto manager = CreatePreferencesManager();
  const Preferences& preferences = manager->GetPreferences();
  EXPECT_EQ(preferences.storesPerCombination, 2u);
  EXPECT_EQ(preferences.country, "Germany");
  EXPECT_EQ(preferences.currency, "Euro");
  EXPECT_EQ(preferences.regions, (Strings{"Europe", "European Union"}));
  // Amounts come back to the bit: a search with the saved settings ranks as the last one did.
  EXPECT_EQ(preferences.shippingDomestic, 4.5);
  EXPECT_EQ(preferences.shippingInternational, 0.1);
  EXPECT_EQ(preferences.excludedStores, (std::vector<std::uint32_t>{17, 4000000000u}));
  EXPECT_EQ(preferences.requiredStores, std::vector<std::uint32_t>{5});

  // The order chosen is kept, and the last writer wins.
  manager->SetPreferences({11, "Switzerland", "Swiss Franc", {"European Union", "Asia", "Europe"}});
  EXPECT_EQ(manager->GetPreferences().regions, (Strings{"European Union", "Asia", "Europe"}));
  EXPECT_EQ(CreatePreferencesManager()->GetPreferences().regions,
            (Strings{"European Union", "Asia", "Europe"}));
  EXPECT_EQ(CreatePreferencesManager()->GetPreferences().storesPerCombination, 11u);
  EXPECT_EQ(Sql().GetRowCount("Preferences"), 8);
}

// Unusable values fall back one by one; usable neighbours stay.
TEST_F(PreferencesManagerTest, ShippingAndStoreListsAreCheckedLikeTheOthers) {
  for (const char* amount : {"-1", "nan", "inf", "1e3", "4,50", "", "2000000", "0x10"}) {
    for (const char* stores : {"1,,2", "a", "-3", "1;2", "99999999999", ","}) {
      SCOPED_TRACE(std::string(amount) + " / " + stores);
      WriteRows({{"StoresPerCombination", "4"},
                 {"Country", "Japan"},
                 {"Currency", "Japanese Yen"},
                 {"Regions", "Asia"},
                 {"ShippingDomestic", amount},
                 {"ShippingInternational", "7.25"},
                 {"ExcludedStores", stores},
                 {"RequiredStores", "8,9"}});
      const Preferences read = CreatePreferencesManager()->GetPreferences();
      EXPECT_EQ(read.shippingDomestic, 0.0);
      EXPECT_EQ(read.shippingInternational, 7.25);
      EXPECT_TRUE(read.excludedStores.empty());
      EXPECT_EQ(read.requiredStores, (std::vector<std::uint32_t>{8, 9}));
    }
  }
}

TEST_F(PreferencesManagerTest, StoredValuesThatCannotBeUsedFallBackToTheFirstStart) {
  WriteRows({{"StoresPerCombination", "4"},
             {"Country", "Japan"},
             {"Currency", "Japanese Yen"},
             {"Regions", "Asia,Europe"}});
  {
    const Preferences preferences = CreatePreferencesManager()->GetPreferences();
    EXPECT_EQ(preferences.storesPerCombination, 4u);
    EXPECT_EQ(preferences.country, "Japan");
    EXPECT_EQ(preferences.currency, "Japanese Yen");
    EXPECT_EQ(preferences.regions, (Strings{"Asia", "Europe"}));
    // Written before the shipping and the store lists were kept: their first-start values.
    EXPECT_EQ(preferences.shippingDomestic, 0.0);
    EXPECT_TRUE(preferences.excludedStores.empty());
  }

  // Each unusable value is replaced on its own, and only in memory until the next save.
  for (const char* count : {"many", "0", "12", "-1", "3x", ""}) {
    WriteRows({{"StoresPerCombination", count},
               {"Country", "Narnia"},
               {"Currency", "Japanese Yen"},
               {"Regions", "Asia,,Europe"}});
    const auto manager = CreatePreferencesManager();
    const Preferences& preferences = manager->GetPreferences();
    EXPECT_EQ(preferences.storesPerCombination, 3u) << count;
    EXPECT_EQ(preferences.country, "USA");
    EXPECT_EQ(preferences.currency, "Japanese Yen");
    EXPECT_EQ(preferences.regions, Strings{"North America"});
    EXPECT_EQ(Row("Country"), "Narnia");
  }
  WriteRows({{"StoresPerCombination", "11"}, {"Currency", "Gold"}, {"Regions", "Narnia"}});
  {
    const auto manager = CreatePreferencesManager();
    EXPECT_EQ(manager->GetPreferences().storesPerCombination, 11u);
    EXPECT_EQ(manager->GetPreferences().country, "USA");
    EXPECT_EQ(manager->GetPreferences().currency, "US Dollar");
    EXPECT_EQ(manager->GetPreferences().regions, Strings{"North America"});
    // The next save writes every row over.
    manager->SetPreferences(manager->GetPreferences());
    EXPECT_EQ(Row("Currency"), "US Dollar");
    EXPECT_EQ(Row("Regions"), "North America");
  }

  // A table that is not ours may hold a key twice: the row written last counts.
  Sql().Execute(
      "DROP TABLE Preferences; CREATE TABLE Preferences (Key TEXT NOT NULL, Value TEXT NOT NULL);"
      "INSERT INTO Preferences VALUES ('StoresPerCombination', '2'), ('Country', 'Japan'),"
      "('StoresPerCombination', '5')");
  const Preferences preferences = CreatePreferencesManager()->GetPreferences();
  EXPECT_EQ(preferences.storesPerCombination, 5u);
  EXPECT_EQ(preferences.country, "Japan");
}

// Saved values that cannot be used are warned about once, however many managers read them; a
// region given twice is kept once; a minus zero of shipping is 0.
TEST_F(PreferencesManagerTest, SmallThingsOfSavedValues) {
  WriteRows({{"StoresPerCombination", "3"},
             {"Country", "Atlantis-once"},
             {"Currency", "US Dollar"},
             {"Regions", "Europe,Asia,Europe"}});
  {
    const Testing::LogCapture log;
    for (int manager = 0; manager < 3; ++manager) {
      EXPECT_EQ(CreatePreferencesManager()->GetPreferences().regions, (Strings{"Europe", "Asia"}));
    }
    const std::vector<std::string> records = log.Records();
    EXPECT_EQ(std::count_if(records.begin(), records.end(),
                            [](const std::string& record) {
                              return record.find("Atlantis-once") != std::string::npos;
                            }),
              1)
        << records.size();
  }

  Preferences preferences = FirstStartPreferences();
  preferences.regions = {"Europe", "North America", "Europe", "North America"};
  preferences.shippingDomestic = *ParseShippingAmount("-0");
  preferences.shippingInternational = *ParseShippingAmount("-0.00", ',');
  CreatePreferencesManager()->SetPreferences(preferences);
  EXPECT_EQ(Row("Regions"), "Europe,North America");
  EXPECT_EQ(Row("ShippingDomestic"), "0");
  EXPECT_EQ(Row("ShippingInternational"), "0");

  // A currency that writes a decimal comma lets the amount be typed with it.
  const std::tuple<const char*, char, std::optional<double>> amounts[] = {
      {"4,50", ',', 4.5},
      {"4.50", ',', 4.5},
      {"4,50", '.', std::nullopt},
      {"1.004,50", ',', std::nullopt},
      {" 1", '.', std::nullopt},
      {"4,5,0", ',', std::nullopt},
      {",5", ',', 0.5},
      {"-0", '.', 0.0},
      {"-0,01", ',', std::nullopt},
  };
  for (const auto& [text, separator, expected] : amounts) {
    EXPECT_EQ(ParseShippingAmount(text, separator), expected) << text << " " << separator;
  }
}

TEST_F(PreferencesManagerTest, AFailedSaveRollsBackEveryRow) {
  const auto manager = CreatePreferencesManager();
  Sql().Execute(
      "CREATE TRIGGER Refuse BEFORE INSERT ON Preferences WHEN NEW.Key = 'Regions' BEGIN SELECT "
      "RAISE(ABORT, 'refused'); END");
  EXPECT_EQ(Testing::RuntimeErrorOf([&] {
              manager->SetPreferences({2, "Germany", "Euro", {"Europe"}});
            }),
            "refused");
  // The record in memory holds the new values; the rows do not.
  EXPECT_EQ(manager->GetPreferences().country, "Germany");
  EXPECT_EQ(Row("Country"), "USA");
  EXPECT_EQ(Row("StoresPerCombination"), "3");
}

// A failed read taken for "no rows" or "no value" would replace the user's settings with the
// first-start values.
TEST_F(PreferencesManagerTest, AReadThatFailsIsAnErrorAndKeepsTheSettings) {
  CreatePreferencesManager()->SetPreferences({5, "Germany", "Euro", {"Europe"}});
  for (const char* failing : {"SELECT COUNT(*) FROM Preferences", "WHERE Key"}) {
    SCOPED_TRACE(failing);
    const auto reads = std::make_shared<FailingReads>(
        Sqlite::OpenMutableDatabase(Sqlite::GetDatabasePath().c_str()), failing);
    EXPECT_EQ(Testing::RuntimeErrorOf([&] { PreferencesManager manager(reads); }),
              "database is locked");
    EXPECT_EQ(Row("Country"), "Germany");
    EXPECT_EQ(Row("StoresPerCombination"), "5");
    EXPECT_EQ(CreatePreferencesManager()->GetPreferences().currency, "Euro");
  }
}

// A view under the table's name reads as settings but fails every save, and with it every
// search, until the user deletes the file by hand.
TEST_F(PreferencesManagerTest, AViewInPlaceOfTheTableIsMovedAsideWithItsFile) {
  Sqlite::OpenMutableDatabase(Sqlite::GetDatabasePath().c_str())
      ->Execute("CREATE VIEW Preferences AS SELECT 'Country' AS Key, 'Germany' AS Value");
  Sqlite::TakeDatabaseNotice();
  EXPECT_EQ(CreatePreferencesManager()->GetPreferences().country, "USA");
  const std::string notice = Sqlite::TakeDatabaseNotice();
  EXPECT_NE(notice.find("was damaged (Preferences is a view, not a table)"), std::string::npos)
      << notice;
  CreatePreferencesManager()->SetPreferences({2, "Germany", "Euro", {"Europe"}});
  EXPECT_EQ(CreatePreferencesManager()->GetPreferences().currency, "Euro");
}

TEST_F(PreferencesManagerTest, SavingWhileASearchWritesItsCacheDoesNotFail) {
  // The desktop saves preferences on its own connection while a search's cache writes on
  // another. The cache's write transaction is open before the save starts and stays open until
  // the save is under way, so the save always meets it and must wait for it, not fail.
  const auto manager = CreatePreferencesManager();
  const auto cache = Sqlite::OpenMutableDatabase(Sqlite::GetDatabasePath().c_str());
  cache->Execute(
      "CREATE TABLE IF NOT EXISTS Written (Value INTEGER); BEGIN IMMEDIATE; "
      "INSERT INTO Written VALUES (1)");
  std::atomic<bool> committed{false};
  std::thread search([&] {
    // Time for the save to reach the lock; a save that came later would find it free, which
    // the order checked below would not tell apart, but the lock is what it must not fail on.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    committed = true;
    cache->Execute("COMMIT");
  });
  Preferences preferences = FirstStartPreferences();
  preferences.storesPerCombination = 7;
  EXPECT_EQ(Testing::RuntimeErrorOf([&] { manager->SetPreferences(preferences); }), "no exception");
  // Could the save have written while the cache held the lock, this would be false.
  EXPECT_TRUE(committed);
  search.join();
  EXPECT_EQ(Row("StoresPerCombination"), "7");
  EXPECT_EQ(Sql().GetRowCount("Written"), 1);
}

}  // namespace
}  // namespace Corvalle
