#include "SqliteWrapper.h"

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <utility>

#include "Assert.h"

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
    throw std::runtime_error(sqlite3_errmsg(handle.get()));
  }
  // The Database owns the handle from here on, also when its constructor throws.
  return std::make_shared<Database>(handle.release());
}

namespace {

std::mutex noticeMutex;
std::string pendingNotice;

bool IsDamagedDatabase(const std::runtime_error& error) {
  const std::string_view text = error.what();
  return text == "file is not a database" || text == "database disk image is malformed";
}

std::string NowForFileName() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts);
  return text;
}

}  // namespace

std::shared_ptr<IMutableDatabase> OpenCacheDatabase() {
  const std::string path = GetDatabasePath();
  try {
    return OpenMutableDatabase(path.c_str());
  } catch (const std::runtime_error& error) {
    if (!IsDamagedDatabase(error)) {
      throw;
    }
    // Serialised, and tried again first: another connection of this process may have made a
    // fresh file already.
    std::lock_guard lock(noticeMutex);
    try {
      return OpenMutableDatabase(path.c_str());
    } catch (const std::runtime_error& again) {
      if (!IsDamagedDatabase(again)) {
        throw;
      }
    }
    const std::string aside = path + ".damaged-" + NowForFileName();
    std::error_code failure;
    std::filesystem::rename(path, aside, failure);
    if (failure) {
      throw std::runtime_error("The cache " + path + " is damaged (" + error.what() +
                               ") and cannot be moved aside: " + failure.message());
    }
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
      std::filesystem::rename(path + suffix, aside + suffix, failure);  // absent is fine
    }
    pendingNotice = "The cache " + path + " was damaged (" + error.what() + "). It was moved to " +
                    aside + " and a fresh one was made.";
    return OpenMutableDatabase(path.c_str());
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
    throw std::runtime_error(message);
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
    throw std::runtime_error(GetErrorMessage());
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
    throw std::runtime_error(message);
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
    throw std::runtime_error(database->GetErrorMessage());
  }
}

void Statement::BindInteger(int position, std::int32_t value) {
  Check(sqlite3_bind_int(handle, position + 1, value), SQLITE_OK);
}

void Statement::BindInteger64(int position, std::int64_t value) {
  Check(sqlite3_bind_int64(handle, position + 1, value), SQLITE_OK);
}

void Statement::BindText(int position, const char* value) {
  // SQLITE_TRANSIENT: SQLite copies the text, so a temporary string is safe to bind.
  Check(sqlite3_bind_text(handle, position + 1, value, -1, SQLITE_TRANSIENT), SQLITE_OK);
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
  throw std::runtime_error(message);
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
    throw std::runtime_error(message);
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
