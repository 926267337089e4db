#include "Source/Base/SQLite/CacheDatabase.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>

#include "Tests/Support/TemporaryDirectory.h"

namespace Sqlite {
namespace {

class CacheDatabaseTest : public ::testing::Test {
 protected:
  CacheDatabaseTest() : previous(GetDataDirectory()) {
    SetDataDirectory(data.Path().string().c_str());
    TakeDatabaseNotice();
  }
  ~CacheDatabaseTest() override { SetDataDirectory(previous.c_str()); }

  // Where the last notice says the damaged file went; empty without a notice.
  static std::string MovedTo() {
    const std::string notice = TakeDatabaseNotice();
    const auto start = notice.find("moved to ");
    if (start == std::string::npos) {
      return {};
    }
    return notice.substr(start + 9, notice.find(" and a fresh") - start - 9);
  }

  const std::string previous;
  const Testing::TemporaryDirectory data;
};

void PrepareNumbers(IMutableDatabase& database) {
  CheckTables(database, {{"Numbers", {"Value", "Name"}}});
  database.Execute("CREATE TABLE IF NOT EXISTS Numbers (Value INTEGER, Name TEXT)");
}

std::int64_t CountNumbers(IMutableDatabase& database) {
  return database.ReadSingleInteger("SELECT COUNT(*) FROM Numbers");
}

// A name of seconds alone would let a second damaged file within the same second replace the
// first one, which the notice has told the user to find.
TEST_F(CacheDatabaseTest, FilesMovedAsideWithinOneSecondKeepNamesOfTheirOwn) {
  std::set<std::string> asides;
  for (std::size_t size = 4096; size < 4099; ++size) {
    data.WriteFile(kDatabaseFileName, std::string(size, 'x'));
    OpenCacheDatabase(PrepareNumbers);
    const std::string aside = MovedTo();
    EXPECT_EQ(aside.rfind(GetDatabasePath() + ".damaged-", 0), 0u) << aside;
    ASSERT_TRUE(std::filesystem::exists(aside)) << aside;
    EXPECT_EQ(std::filesystem::file_size(aside), size);
    asides.insert(aside);
  }
  EXPECT_EQ(asides.size(), 3u);
}

// Damage met by a read after the file was opened and checked: the operation runs again on a
// fresh file instead of failing every search until the file is deleted by hand.
TEST_F(CacheDatabaseTest, AnOperationThatMeetsDamageRunsAgainOnAFreshFile) {
  std::int64_t rootPage = 0;
  std::int64_t pageSize = 0;
  {
    CacheDatabase cache(PrepareNumbers);
    cache.Run([](IMutableDatabase& database) {
      database.Execute(
          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
          "INSERT INTO Numbers SELECT i, printf('%.100d', i) FROM n");
    });
    rootPage = cache.Connection()->ReadSingleInteger(
        "SELECT rootpage FROM sqlite_master WHERE name = 'Numbers'");
    pageSize = cache.Connection()->ReadSingleInteger("SELECT page_size FROM pragma_page_size");
  }
  EXPECT_TRUE(TakeDatabaseNotice().empty());
  CacheDatabase cache(PrepareNumbers);
  {
    std::fstream file(GetDatabasePath(), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp((rootPage - 1) * pageSize);
    file << std::string(static_cast<std::size_t>(pageSize), '\xa5');
  }
  EXPECT_EQ(cache.Run(CountNumbers), 0);
  const std::string aside = MovedTo();
  EXPECT_FALSE(aside.empty());
  EXPECT_TRUE(std::filesystem::exists(aside)) << aside;
  // The fresh file serves the next operations, and the next connection finds it sound.
  cache.Run([](IMutableDatabase& database) {
    database.Execute("INSERT INTO Numbers VALUES (1, 'one')");
  });
  EXPECT_EQ(CacheDatabase(PrepareNumbers).Run(CountNumbers), 1);
  EXPECT_TRUE(TakeDatabaseNotice().empty());
  // A file that cannot be opened at all is not taken for damage.
  SetDataDirectory((data.Path() / "missing").string().c_str());
  EXPECT_THROW(OpenCacheDatabase(), std::runtime_error);
  EXPECT_TRUE(TakeDatabaseNotice().empty());
}

// A table the program did not make, under a name it uses, is damage like a malformed file.
TEST_F(CacheDatabaseTest, TablesOfAnotherLayoutAreDamage) {
  const std::vector<std::pair<const char*, std::string>> layouts{
      {"CREATE TABLE Numbers (Value INTEGER)", "the table Numbers has the columns (Value)"},
      {"CREATE TABLE Numbers (Value, Name, Extra)",
       "the table Numbers has the columns (Value, Name, Extra)"},
      {"CREATE VIEW Numbers AS SELECT 1 AS Value, 'one' AS Name", "Numbers is a view, not a table"},
  };
  for (const auto& [sql, reason] : layouts) {
    SCOPED_TRACE(sql);
    std::filesystem::remove(GetDatabasePath());
    OpenMutableDatabase(GetDatabasePath().c_str())->Execute(sql);
    CacheDatabase cache(PrepareNumbers);
    EXPECT_EQ(cache.Run(CountNumbers), 0);
    const std::string notice = TakeDatabaseNotice();
    EXPECT_NE(notice.find("was damaged (" + reason + ")"), std::string::npos) << notice;
  }
  // Tables that belong together: one without the other is damage too.
  std::filesystem::remove(GetDatabasePath());
  const auto database = OpenMutableDatabase(GetDatabasePath().c_str());
  EXPECT_NO_THROW(CheckTables(*database, {{"Numbers", {"Value", "Name"}}, {"Words", {"Text"}}}));
  database->Execute("CREATE TABLE Words (Text)");
  EXPECT_THROW(CheckTables(*database, {{"Numbers", {"Value", "Name"}}, {"Words", {"Text"}}}),
               DamagedDatabase);
}

}  // namespace
}  // namespace Sqlite
