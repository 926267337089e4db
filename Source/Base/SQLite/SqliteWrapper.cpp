#include "Source/Base/SQLite/SqliteWrapper.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <tuple>
#include <utility>

#include "Source/Base/Assert.h"

namespace Sqlite {

namespace {

// Guards dataDirectory and dataDirectoryIsSet.
std::mutex dataDirectoryMutex;
std::string dataDirectory;
bool dataDirectoryIsSet = false;

bool StartsWithSelect(const char* sql) { return std::strncmp(sql, "SELECT", 6) == 0; }

// The row callback of "PRAGMA foreign_keys;": sets the flag when the single value is "1".
int VerifyForeignKeyConstraintsEnabled(void* result, int columnCount, char** values,
                                       char** /*columnNames*/) {
  CORVALLE_ASSERT(columnCount == 1);
  if (values[0] != nullptr && std::strcmp(values[0], "1") == 0) {
    *static_cast<bool*>(result) = true;
  }
  return SQLITE_OK;
}

// SQLite's failure as the wrapper throws it: a file that is not a database or is malformed is
// damage, which the cache can repair by starting afresh; anything else is a plain failure.
[[noreturn]] void ThrowFailure(int result, const std::string& message) {
  const int primary = result & 0xff;
  if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) {
    throw DamagedDatabase(message);
  }
  throw std::runtime_error(message);
}

// A failed open may still hand out a handle that carries the error text; it must be closed.
struct HandleCloser {
  void operator()(sqlite3* handle) const { sqlite3_close(handle); }
};

}  // namespace

std::shared_ptr<IMutableDatabase> OpenMutableDatabase(const char* path) {
  sqlite3* rawHandle = nullptr;
  const int result =
      sqlite3_open_v2(path, &rawHandle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::unique_ptr<sqlite3, HandleCloser> handle(rawHandle);
  if (!handle) {
    throw std::runtime_error("Unable to open SQLite database!");
  }
  if (result != SQLITE_OK) {
    ThrowFailure(result, sqlite3_errmsg(handle.get()));
  }
  // The Database owns the handle from here on, also when its constructor throws.
  return std::make_shared<Database>(handle.release());
}

namespace {

// Guards pendingNotice, checkedFiles and the moving aside of damaged files.
std::mutex noticeMutex;
std::string pendingNotice;
// The files checked, each as it was when checked: device, inode and change time in seconds and
// nanoseconds.
std::set<std::tuple<std::uint64_t, std::uint64_t, std::int64_t, std::int64_t>> checkedFiles;

std::string NowForFileName() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts);
  return text;
}

// Renames without ever replacing a file at the target: false when the target exists. Not every
// file system knows RENAME_NOREPLACE; a hard link followed by removing the old name is as safe.
bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) {
    if (link(from.c_str(), to.c_str()) == 0) {
      unlink(from.c_str());
      return true;
    }
  }
  if (errno == EEXIST) {
    return false;
  }
  throw std::system_error(errno, std::generic_category());
}

// SQLite's quick integrity check (every page of every table and index read once), once per file
// and change of it in this process: a search opens several connections, and the price
// formatting one per price shown. Damage after the check is met by the reads.
void CheckIntegrityOnce(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    return;  // not there to check: SQLite made it, or it went meanwhile
  }
  const auto key = std::make_tuple(static_cast<std::uint64_t>(status.st_dev),
                                   static_cast<std::uint64_t>(status.st_ino),
                                   static_cast<std::int64_t>(status.st_ctim.tv_sec),
                                   static_cast<std::int64_t>(status.st_ctim.tv_nsec));
  {
    std::lock_guard lock(noticeMutex);
    if (checkedFiles.count(key) != 0) {
      return;
    }
  }
  // On a connection of its own: the pages it reads must not stay cached in the caller's, where
  // they would hide damage done to the file later from the reads.
  const std::shared_ptr<IMutableDatabase> checker = OpenMutableDatabase(path.c_str());
  const auto statement = checker->CreateReadStatement("SELECT * FROM pragma_quick_check");
  const IRow* row = statement->AdvanceRow();
  std::string verdict = row == nullptr ? std::string("no answer") : row->GetText(0);
  if (verdict != "ok") {
    std::replace(verdict.begin(), verdict.end(), '\n', ' ');
    throw DamagedDatabase("integrity check: " + verdict);
  }
  std::lock_guard lock(noticeMutex);
  checkedFiles.insert(key);
}

// Opens, checks and prepares the cache file; the identity is that of the file opened.
std::shared_ptr<IMutableDatabase> OpenCheckedCache(const std::string& path,
                                                   const PrepareCache& prepare,
                                                   FileIdentity& identity) {
  identity = IdentifyFile(path);
  std::shared_ptr<IMutableDatabase> database = OpenMutableDatabase(path.c_str());
  identity = IdentifyFile(path);
  CheckIntegrityOnce(path);
  if (prepare) {
    prepare(*database);
  }
  return database;
}

}  // namespace

FileIdentity IdentifyFile(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    return {};
  }
  return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

void MoveDamagedCacheAside(const FileIdentity& damaged, const std::string& reason) {
  const std::string path = GetDatabasePath();
  std::lock_guard lock(noticeMutex);
  // Moved already by another connection, of this process or another: the file there now is a
  // fresh one, not to be moved.
  if (damaged == FileIdentity{} || IdentifyFile(path) != damaged) {
    return;
  }
  // Two files damaged within one second must not share a name: the second would replace the
  // first, which the notice told the user to find.
  const std::string stem = path + ".damaged-" + NowForFileName();
  std::string aside;
  try {
    for (int attempt = 1;; ++attempt) {
      aside = attempt == 1 ? stem : stem + "-" + std::to_string(attempt);
      if (RenameWithoutReplacing(path, aside)) {
        break;
      }
    }
  } catch (const std::system_error& failure) {
    throw std::runtime_error("The cache " + path + " is damaged (" + reason +
                             ") and cannot be moved aside: " + failure.code().message());
  }
  // A journal left next to the fresh file would be played back into it.
  for (const char* suffix : {"-wal", "-shm", "-journal"}) {
    const std::string companion = path + suffix;
    bool moved = false;
    try {
      moved = RenameWithoutReplacing(companion, aside + suffix);
    } catch (const std::system_error&) {
    }
    if (!moved) {
      std::error_code ignored;
      std::filesystem::remove(companion, ignored);  // absent is fine
    }
  }
  pendingNotice = "The cache " + path + " was damaged (" + reason + "). It was moved to " + aside +
                  " and a fresh one was made.";
}

std::shared_ptr<IMutableDatabase> OpenCacheDatabase(const PrepareCache& prepare) {
  const std::string path = GetDatabasePath();
  FileIdentity identity;
  try {
    return OpenCheckedCache(path, prepare, identity);
  } catch (const DamagedDatabase& damage) {
    MoveDamagedCacheAside(identity, damage.what());
  }
  // A fresh file, or the one another connection made meanwhile; damage now is not ours to mend.
  return OpenCheckedCache(path, prepare, identity);
}

void CheckTables(const IDatabase& database, const std::vector<TableLayout>& tables) {
  std::vector<const char*> present;
  std::vector<const char*> missing;
  for (const TableLayout& table : tables) {
    const auto kind = database.CreateReadStatement(
        "SELECT type FROM sqlite_master WHERE name = ? COLLATE NOCASE");
    kind->BindText(0, table.name);
    const IRow* row = kind->AdvanceRow();
    if (row == nullptr) {
      missing.push_back(table.name);
      continue;
    }
    present.push_back(table.name);
    if (row->GetText(0) != "table") {
      throw DamagedDatabase(std::string(table.name) + " is a " + row->GetText(0) + ", not a table");
    }
    std::vector<std::string> columns;
    const auto info = database.CreateReadStatement("SELECT name FROM pragma_table_info(?)");
    info->BindText(0, table.name);
    while (const IRow* column = info->AdvanceRow()) {
      columns.push_back(column->GetText(0));
    }
    if (columns != std::vector<std::string>(table.columns.begin(), table.columns.end())) {
      std::string layout;
      for (const std::string& column : columns) {
        layout += (layout.empty() ? "" : ", ") + column;
      }
      throw DamagedDatabase("the table " + std::string(table.name) + " has the columns (" + layout +
                            ")");
    }
  }
  if (!present.empty() && !missing.empty()) {
    throw DamagedDatabase("the table " + std::string(missing.front()) + " is missing beside " +
                          present.front());
  }
}

std::string TakeDatabaseNotice() {
  std::lock_guard lock(noticeMutex);
  return std::exchange(pendingNotice, std::string());
}

void SetDataDirectory(const char* directory) {
  std::lock_guard lock(dataDirectoryMutex);
  dataDirectory = directory;
  if (dataDirectory.empty() || dataDirectory.back() != '/') {
    dataDirectory += '/';
  }
  dataDirectoryIsSet = true;
}

const std::string& GetDataDirectory() {
  std::lock_guard lock(dataDirectoryMutex);
  if (!dataDirectoryIsSet) {
    dataDirectory = GetDefaultDataDirectory();
    dataDirectoryIsSet = true;
  }
  return dataDirectory;
}

std::string GetDefaultDataDirectory() {
  std::filesystem::path base;
  const char* cacheHome = std::getenv("XDG_CACHE_HOME");
  if (cacheHome != nullptr && *cacheHome != '\0') {
    base = cacheHome;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
      throw std::runtime_error("Unable to find the cache directory: HOME is not set");
    }
    base = std::filesystem::path(home) / ".cache";
  }
  const std::filesystem::path directory = base / "corvalle";
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) {
    throw std::runtime_error("Unable to create " + directory.string() + ": " + error.message());
  }
  return directory.string() + "/";
}

std::string GetDatabasePath() { return GetDataDirectory() + kDatabaseFileName; }

// --- Database ---

Database::Database(sqlite3* handle_) : handle(handle_) {
  try {
    const int sqliteResult = sqlite3_extended_result_codes(handle, 1);
    CORVALLE_ASSERT(sqliteResult == SQLITE_OK);
    // Another connection may hold a lock for a moment (the preferences while a search writes
    // its caches); wait for it instead of failing at once.
    sqlite3_busy_timeout(handle, kBusyTimeoutMilliseconds);
    TryEnableForeignKeyConstraints();
  } catch (...) {
    sqlite3_close(handle);
    throw;
  }
}

Database::~Database() { sqlite3_close(handle); }

void Database::TryEnableForeignKeyConstraints() {
  // Reading the schema makes a file that is not a database (garbage, truncated, written by
  // something else) fail at open with SQLite's text, a condition the user can meet, instead of
  // at some later statement. The pragmas below do not touch the file.
  Execute("SELECT COUNT(*) FROM sqlite_master;");
  Execute("PRAGMA foreign_keys = ON;");
  bool result = false;
  char* errorText = nullptr;
  const int sqliteResult = sqlite3_exec(handle, "PRAGMA foreign_keys;",
                                        VerifyForeignKeyConstraintsEnabled, &result, &errorText);
  if (sqliteResult != SQLITE_OK) {
    const std::string message = errorText != nullptr ? errorText : sqlite3_errmsg(handle);
    sqlite3_free(errorText);
    ThrowFailure(sqliteResult, message);
  }
  // The price guide cache relies on cascading deletes; without them its data would rot.
  CORVALLE_ASSERT(result);
}

std::string Database::GetErrorMessage() const { return sqlite3_errmsg(handle); }

bool Database::HasTable(const char* table) const {
  const auto statement = CreateReadStatement(
      "SELECT COUNT(*) FROM sqlite_master WHERE type IN ('table', 'view') AND name = ? COLLATE "
      "NOCASE");
  statement->BindText(0, table);
  const IRow* row = statement->AdvanceRow();
  return row != nullptr && row->GetInteger64(0) > 0;
}

// Only a table that is not there reads as empty. Any other failure (a lock held past the busy
// timeout, a damaged file) is no answer at all: a caller that took it for "no rows" would act
// on a table it never read, as writing first-start values over the user's settings.
std::int64_t Database::GetRowCount(const char* table) const {
  if (!HasTable(table)) {
    return 0;
  }
  return ReadSingleInteger((std::string("SELECT COUNT(*) FROM ") + table).c_str());
}

bool Database::ColumnHasValues(const char* table, const char* column) const {
  if (!HasTable(table)) {
    return false;
  }
  const auto columns = CreateReadStatement(
      "SELECT COUNT(*) FROM pragma_table_info(?) WHERE name = ? COLLATE NOCASE");
  columns->BindText(0, table);
  columns->BindText(1, column);
  const IRow* found = columns->AdvanceRow();
  if (found == nullptr || found->GetInteger64(0) == 0) {
    return false;
  }
  const auto statement =
      CreateReadStatement((std::string("SELECT ") + column + " FROM " + table).c_str());
  return statement->AdvanceRow() != nullptr;
}

std::int64_t Database::ReadSingleInteger(const char* sql) const {
  const auto statement = CreateReadStatement(sql);
  const IRow* row = statement->AdvanceRow();
  if (row == nullptr) {
    throw std::runtime_error(GetErrorMessage());
  }
  const std::int64_t value = row->GetInteger64(0);
  CORVALLE_ASSERT(statement->AdvanceRow() == nullptr);
  return value;
}

std::string Database::ReadSingleString(const char* sql) const {
  const auto statement = CreateReadStatement(sql);
  const IRow* row = statement->AdvanceRow();
  if (row == nullptr) {
    throw std::runtime_error(GetErrorMessage());
  }
  std::string value = row->GetText(0);
  CORVALLE_ASSERT(statement->AdvanceRow() == nullptr);
  return value;
}

sqlite3_stmt* Database::Prepare(const char* sql) const {
  sqlite3_stmt* statement = nullptr;
  const int result = sqlite3_prepare_v2(handle, sql, -1, &statement, nullptr);
  if (result != SQLITE_OK) {
    sqlite3_finalize(statement);
    ThrowFailure(result, GetErrorMessage());
  }
  if (statement == nullptr) {
    // Only comments or white space: SQLite prepares nothing and reports no error.
    throw std::runtime_error("SQLite statement is empty!");
  }
  return statement;
}

std::unique_ptr<IReadStatement> Database::CreateReadStatement(const char* sql) const {
  if (!StartsWithSelect(sql)) {
    throw std::invalid_argument("SQLite read statement is invalid!");
  }
  sqlite3_stmt* statement = Prepare(sql);
  try {
    return std::make_unique<ReadStatement>(statement, shared_from_this());
  } catch (...) {
    sqlite3_finalize(statement);
    throw;
  }
}

void Database::Execute(const char* sql) {
  char* errorText = nullptr;
  const int result = sqlite3_exec(handle, sql, nullptr, nullptr, &errorText);
  if (result != SQLITE_OK) {
    const std::string message = errorText != nullptr ? errorText : sqlite3_errmsg(handle);
    sqlite3_free(errorText);
    ThrowFailure(result, message);
  }
}

bool Database::TryExecute(const char* sql) {
  return sqlite3_exec(handle, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void Database::DropTable(const char* table) {
  Execute((std::string("DROP TABLE IF EXISTS ") + table).c_str());
}

std::unique_ptr<ITransaction> Database::BeginTransaction() {
  if (InTransaction()) {
    throw std::runtime_error("Transaction already open!");
  }
  Execute("BEGIN TRANSACTION");
  return std::make_unique<Transaction>(this);
}

std::unique_ptr<IWriteStatement> Database::CreateWriteStatement(const char* sql) {
  if (StartsWithSelect(sql)) {
    throw std::invalid_argument("SQLite write statement is invalid!");
  }
  sqlite3_stmt* statement = Prepare(sql);
  try {
    return std::make_unique<WriteStatement>(statement, shared_from_this());
  } catch (...) {
    sqlite3_finalize(statement);
    throw;
  }
}

bool Database::InTransaction() const { return sqlite3_get_autocommit(handle) == 0; }

// --- Statements ---

Statement::Statement(sqlite3_stmt* handle_, std::shared_ptr<const Database> database_)
    : handle(handle_), database(std::move(database_)) {}

Statement::~Statement() { sqlite3_finalize(handle); }

void Statement::Check(int result, int expected) const {
  if (result != expected) {
    ThrowFailure(result, database->GetErrorMessage());
  }
}

void Statement::BindInteger(int position, std::int32_t value) {
  Check(sqlite3_bind_int(handle, position + 1, value), SQLITE_OK);
}

void Statement::BindInteger64(int position, std::int64_t value) {
  Check(sqlite3_bind_int64(handle, position + 1, value), SQLITE_OK);
}

void Statement::BindText(int position, std::string_view value) {
  // SQLITE_TRANSIENT: SQLite copies the text, so a temporary string is safe to bind. SQLite
  // reads an empty view's pointer as NULL when it is null: an empty text stays text.
  const char* text = value.data() == nullptr ? "" : value.data();
  Check(
      sqlite3_bind_text64(handle, position + 1, text, value.size(), SQLITE_TRANSIENT, SQLITE_UTF8),
      SQLITE_OK);
}

void Statement::BindNull(int position) {
  Check(sqlite3_bind_null(handle, position + 1), SQLITE_OK);
}

ReadStatement::ReadStatement(sqlite3_stmt* handle_, std::shared_ptr<const Database> database_)
    : Statement(handle_, std::move(database_)) {}

const IRow* ReadStatement::AdvanceRow() {
  const int result = sqlite3_step(handle);
  if (result == SQLITE_ROW) {
    return this;
  }
  if (result == SQLITE_DONE) {
    Check(sqlite3_reset(handle), SQLITE_OK);
    return nullptr;
  }
  // Take the text before the reset; the reset lets the statement be rebound and started over.
  const std::string message = database->GetErrorMessage();
  sqlite3_reset(handle);
  ThrowFailure(result, message);
}

std::int32_t ReadStatement::GetInteger(int column) const {
  return sqlite3_column_int(handle, column);
}

std::int64_t ReadStatement::GetInteger64(int column) const {
  return sqlite3_column_int64(handle, column);
}

std::string ReadStatement::GetText(int column) const {
  const unsigned char* text = sqlite3_column_text(handle, column);
  if (text == nullptr) {
    return {};
  }
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<std::size_t>(sqlite3_column_bytes(handle, column)));
}

WriteStatement::WriteStatement(sqlite3_stmt* handle_, std::shared_ptr<const Database> database_)
    : Statement(handle_, std::move(database_)) {}

void WriteStatement::Execute() {
  const int result = sqlite3_step(handle);
  if (result != SQLITE_DONE) {
    // Reset after taking the text, so that the statement can be rebound and executed again:
    // SQLite refuses bindings on a statement that stopped on an error and was not reset.
    const std::string message = database->GetErrorMessage();
    sqlite3_reset(handle);
    ThrowFailure(result, message);
  }
  Check(sqlite3_reset(handle), SQLITE_OK);
}

// --- Transaction ---

Transaction::Transaction(Database* database_) : database(database_) {}

Transaction::~Transaction() {
  if (committed) {
    return;
  }
  // SQLite rolls a transaction back by itself after some failures (a full disk, an I/O error);
  // a "ROLLBACK" would then fail with nothing left to undo, which is no broken invariant.
  if (!database->InTransaction()) {
    return;
  }
  const bool succeeded = database->TryExecute("ROLLBACK");
  CORVALLE_ASSERT(succeeded);
}

void Transaction::Commit() {
  if (committed) {
    return;
  }
  database->Execute("COMMIT");
  committed = true;
}

}  // namespace Sqlite
