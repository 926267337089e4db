#include "Source/Base/SQLite/SqliteWrapper.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Tests/Support/ExceptionMessage.h"
#include "Tests/Support/ScopedEnvironment.h"
#include "Tests/Support/TemporaryDirectory.h"

namespace Sqlite {
namespace {

using ::testing::HasSubstr;
using Testing::RuntimeErrorOf;

class SqliteWrapperTest : public ::testing::Test {
 protected:
  SqliteWrapperTest() : path((directory.Path() / "test.sqlite").string()) {
    database = OpenMutableDatabase(path.c_str());
    database->Execute("CREATE TABLE Numbers (Value INTEGER NOT NULL UNIQUE, Name TEXT)");
  }

  void Insert(std::int32_t value, const char* name) {
    const auto statement = database->CreateWriteStatement("INSERT INTO Numbers VALUES (?, ?)");
    statement->BindInteger(0, value);
    if (name == nullptr) {
      statement->BindNull(1);
    } else {
      statement->BindText(1, name);
    }
    statement->Execute();
  }

  std::vector<std::int32_t> Values() {
    std::vector<std::int32_t> values;
    const auto statement = database->CreateReadStatement("SELECT Value FROM Numbers ORDER BY 1");
    while (const IRow* row = statement->AdvanceRow()) {
      values.push_back(row->GetInteger(0));
    }
    return values;
  }

  Testing::TemporaryDirectory directory;
  std::string path;
  std::shared_ptr<IMutableDatabase> database;
};

TEST_F(SqliteWrapperTest, OpenFailuresCarrySqlitesText) {
  const std::string missingDirectory = (directory.Path() / "missing" / "x.sqlite").string();
  EXPECT_EQ(RuntimeErrorOf([&] { OpenMutableDatabase(missingDirectory.c_str()); }),
            "unable to open database file");

  // A truncated database fails at open, not later, as a file of another kind does (WindowTest's
  // cache mended for "file is not a database").
  Insert(1, "one");
  database.reset();
  std::filesystem::resize_file(path, 100);  // the header survives, the pages do not
  EXPECT_EQ(RuntimeErrorOf([&] { OpenMutableDatabase(path.c_str()); }),
            "database disk image is malformed");
}

TEST_F(SqliteWrapperTest, PrepareBindAndStepFailuresCarrySqlitesText) {
  EXPECT_THAT(RuntimeErrorOf([&] { database->CreateReadStatement("SELECT FROM Numbers"); }),
              HasSubstr("syntax error"));
  EXPECT_EQ(RuntimeErrorOf([&] { database->CreateWriteStatement("DELETE FROM Missing"); }),
            "no such table: Missing");

  const auto statement = database->CreateWriteStatement("INSERT INTO Numbers VALUES (?, ?)");
  EXPECT_EQ(RuntimeErrorOf([&] { statement->BindInteger(2, 1); }), "column index out of range");
  EXPECT_EQ(RuntimeErrorOf([&] { statement->BindInteger64(-1, 1); }), "column index out of range");
  EXPECT_EQ(RuntimeErrorOf([&] { statement->BindText(5, "x"); }), "column index out of range");

  statement->BindInteger(0, 7);
  statement->BindText(1, "seven");
  statement->Execute();
  // The same value again violates the constraint; the statement can be rebound and reused.
  EXPECT_EQ(RuntimeErrorOf([&] { statement->Execute(); }),
            "UNIQUE constraint failed: Numbers.Value");
  statement->BindInteger(0, 8);
  statement->Execute();
  EXPECT_EQ(Values(), (std::vector<std::int32_t>{7, 8}));

  // A write statement that yields a row is not completed.
  const auto returning = database->CreateWriteStatement("PRAGMA user_version");
  EXPECT_NE(RuntimeErrorOf([&] { returning->Execute(); }), "no exception");

  const auto failingRead =
      database->CreateReadStatement("SELECT abs(-9223372036854775807 - 1) FROM Numbers");
  EXPECT_EQ(RuntimeErrorOf([&] { failingRead->AdvanceRow(); }), "integer overflow");

  EXPECT_EQ(RuntimeErrorOf([&] { database->Execute("INSERT INTO Missing VALUES (1)"); }),
            "no such table: Missing");
  EXPECT_FALSE(database->TryExecute("INSERT INTO Missing VALUES (1)"));
  EXPECT_TRUE(database->TryExecute("INSERT INTO Numbers VALUES (9, NULL)"));
}

// A missing table counts no rows; one that is there but cannot be read has no row count: taking
// the failure for 0 rows made a locked or damaged file look fresh.
TEST_F(SqliteWrapperTest, RowCounts) {
  EXPECT_EQ(database->GetRowCount("Missing"), 0);
  Insert(1, "one");
  Insert(2, nullptr);
  EXPECT_EQ(database->GetRowCount("Numbers"), 2);
  database->Execute(
      "CREATE TABLE Gone (Value); CREATE VIEW Broken AS SELECT Value FROM Gone; "
      "DROP TABLE Gone");
  EXPECT_EQ(RuntimeErrorOf([&] { database->GetRowCount("Broken"); }), "no such table: main.Gone");
}

TEST_F(SqliteWrapperTest, SingleValueQueries) {
  Insert(5000000, "large");
  EXPECT_EQ(database->ReadSingleInteger("SELECT Value * 1000000 FROM Numbers"), 5000000000000);
  EXPECT_EQ(database->ReadSingleString("SELECT Name FROM Numbers"), "large");
  // No row is an error, not a zero.
  EXPECT_NE(RuntimeErrorOf([&] { database->ReadSingleInteger("SELECT 1 FROM Numbers WHERE 0"); }),
            "no exception");
}

TEST_F(SqliteWrapperTest, RowsColumnsAndRestartAfterTheEnd) {
  Insert(-3, "minus three");
  Insert(4, nullptr);
  database->Execute("CREATE TABLE Big (Value INTEGER)");
  database->Execute("INSERT INTO Big VALUES (9007199254740993)");

  const auto statement =
      database->CreateReadStatement("SELECT Value, Name FROM Numbers ORDER BY Value");
  for (int pass = 0; pass < 2; ++pass) {
    const IRow* row = statement->AdvanceRow();
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->GetInteger(0), -3);
    EXPECT_EQ(row->GetText(1), "minus three");
    row = statement->AdvanceRow();
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->GetInteger(0), 4);
    EXPECT_EQ(row->GetText(1), "");  // NULL
    EXPECT_EQ(statement->AdvanceRow(), nullptr);
    // The next pass starts the query again from the top.
  }

  const auto big = database->CreateReadStatement("SELECT Value FROM Big");
  const IRow* row = big->AdvanceRow();
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->GetInteger64(0), 9007199254740993);
}

TEST_F(SqliteWrapperTest, BindingsSurviveExecutionAndTextIsCopied) {
  const auto statement = database->CreateWriteStatement("INSERT INTO Numbers VALUES (?, ?)");
  {
    // A NUL inside the text is kept with what follows it, as a store's name from a page may
    // hold one.
    std::string name = std::string("it's\0; DROP TABLE Numbers; --", 29);
    statement->BindText(1, name);
    name.assign(name.size(), '?');  // the caller's buffer changes after the bind
  }
  statement->BindInteger(0, 1);
  statement->Execute();
  statement->BindInteger(0, 2);  // only the changed position is rebound
  statement->Execute();

  const auto read = database->CreateReadStatement("SELECT Name FROM Numbers WHERE Value = ?");
  for (std::int32_t value : {1, 2}) {
    read->BindInteger(0, value);
    const IRow* row = read->AdvanceRow();
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->GetText(0), std::string("it's\0; DROP TABLE Numbers; --", 29));
    EXPECT_EQ(read->AdvanceRow(), nullptr);
  }
}

TEST_F(SqliteWrapperTest, TransactionsCommitRollBackAndDoNotNest) {
  {
    const auto transaction = database->BeginTransaction();
    Insert(1, "kept");
    EXPECT_EQ(RuntimeErrorOf([&] { database->BeginTransaction(); }), "Transaction already open!");
    transaction->Commit();
    transaction->Commit();  // a second commit does nothing
  }
  {
    const auto transaction = database->BeginTransaction();
    Insert(2, "discarded");
    Insert(3, "discarded");
    EXPECT_EQ(Values(), (std::vector<std::int32_t>{1, 2, 3}));
  }
  EXPECT_EQ(Values(), (std::vector<std::int32_t>{1}));

  // An exception between begin and commit leaves the database as it was.
  EXPECT_THROW(
      {
        const auto transaction = database->BeginTransaction();
        Insert(4, "discarded");
        Insert(1, "duplicate");
        transaction->Commit();
      },
      std::runtime_error);
  EXPECT_EQ(Values(), (std::vector<std::int32_t>{1}));

  // A transaction that SQLite has already ended is not rolled back twice.
  {
    const auto transaction = database->BeginTransaction();
    Insert(5, "discarded");
    database->Execute("ROLLBACK");
  }
  EXPECT_EQ(Values(), (std::vector<std::int32_t>{1}));
  EXPECT_NO_THROW(database->BeginTransaction()->Commit());
}

TEST_F(SqliteWrapperTest, StatementsKeepTheirConnectionOpen) {
  Insert(1, "one");
  const auto statement = database->CreateReadStatement("SELECT Name FROM Numbers");
  database.reset();
  const IRow* row = statement->AdvanceRow();
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->GetText(0), "one");
}

TEST_F(SqliteWrapperTest, ASecondWriterWaitsForTheFirstInsteadOfFailing) {
  const auto holder = OpenMutableDatabase(path.c_str());
  auto transaction = holder->BeginTransaction();
  holder->Execute("INSERT INTO Numbers VALUES (1, 'first')");

  std::atomic<bool> started = false;
  std::string failure;
  std::thread writer([&] {
    const auto other = OpenMutableDatabase(path.c_str());
    started = true;
    failure = RuntimeErrorOf([&] { other->Execute("INSERT INTO Numbers VALUES (2, 'second')"); });
  });
  while (!started) {
    std::this_thread::yield();
  }
  // Hold the lock for a moment well below the busy timeout, then let the writer in.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  transaction->Commit();
  transaction.reset();
  writer.join();

  EXPECT_EQ(failure, "no exception");
  EXPECT_EQ(Values(), (std::vector<std::int32_t>{1, 2}));
}

TEST(DataDirectoryTest, SetAppendsASlashAndTheDefaultFollowsXdgCacheHome) {
  Testing::TemporaryDirectory directory;
  const std::string base = directory.Path().string();

  SetDataDirectory(base.c_str());
  EXPECT_EQ(GetDataDirectory(), base + "/");
  EXPECT_EQ(GetDatabasePath(), base + "/Corvalle.sqlite");
  SetDataDirectory((base + "/").c_str());
  EXPECT_EQ(GetDataDirectory(), base + "/");

  {
    Testing::ScopedEnvironment cacheHome("XDG_CACHE_HOME", (base + "/xdg").c_str());
    EXPECT_EQ(GetDefaultDataDirectory(), base + "/xdg/corvalle/");
    EXPECT_TRUE(std::filesystem::is_directory(base + "/xdg/corvalle"));
  }
  {
    Testing::ScopedEnvironment cacheHome("XDG_CACHE_HOME", "");
    Testing::ScopedEnvironment home("HOME", (base + "/home").c_str());
    EXPECT_EQ(GetDefaultDataDirectory(), base + "/home/.cache/corvalle/");
    EXPECT_TRUE(std::filesystem::is_directory(base + "/home/.cache/corvalle"));
  }
  // A cache home that cannot hold a directory is WindowTest's, whose alert names it.
}

}  // namespace
}  // namespace Sqlite
