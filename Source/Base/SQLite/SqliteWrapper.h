#pragma once

// A thin object layer over the SQLite 3 C interface: one connection object behind a read-only
// and a mutable interface, prepared statements for reading and for writing, a row view and a
// scoped transaction. Every component that keeps data opens its own connection to the one
// database file and uses it from one thread; connections to the same file are serialised by
// SQLite's file locking, and each waits up to kBusyTimeoutMilliseconds for another's lock.
//
// Error policy: whatever SQLite reports as a failure (open, prepare, bind, step, reset, exec)
// becomes a std::runtime_error carrying SQLite's own error text for the connection; when the
// failure says that the file is damaged, it is the DamagedDatabase kind of it. Misuse of
// the interface is std::invalid_argument with a fixed text. Broken invariants that guard the
// data (foreign keys off, a rollback that fails) end the program through CORVALLE_ASSERT, in
// release builds too. Nothing is retried.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace Sqlite {

// How long a connection waits for another connection's lock before failing with
// "database is locked".
inline constexpr int kBusyTimeoutMilliseconds = 5000;

// The name of the application's database file inside the data directory.
inline constexpr const char* kDatabaseFileName = "Corvalle.sqlite";

// The failure of a file that is damaged: SQLite found that it is not a database or that it is
// malformed, or its integrity or the layout of its tables is not what the program made. Any
// operation of the wrapper may throw it instead of a plain std::runtime_error; the text is
// SQLite's, or says what is wrong with the layout.
class DamagedDatabase : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A table as a component of the program makes it: its name and its columns, in order.
struct TableLayout {
  const char* name;
  std::vector<const char*> columns;
};

// One row of a read statement's result. Column indices are 0-based. A row is valid until the
// next AdvanceRow of its statement or the statement's destruction.
class IRow {
 public:
  IRow() = default;
  IRow(const IRow&) = delete;
  IRow& operator=(const IRow&) = delete;
  virtual ~IRow() = default;

  virtual std::int32_t GetInteger(int column) const = 0;
  virtual std::int64_t GetInteger64(int column) const = 0;
  // A copy of the column's text; the empty string for NULL.
  virtual std::string GetText(int column) const = 0;
};

// Bind positions are 0-based here (SQLite's parameters are 1-based). Bindings survive the
// reset that follows every completed execution, so a statement run in a loop only needs its
// changed positions rebound. Each bind throws std::runtime_error with SQLite's text on failure
// (a position out of range, for example).
class IStatement {
 public:
  IStatement() = default;
  IStatement(const IStatement&) = delete;
  IStatement& operator=(const IStatement&) = delete;
  virtual ~IStatement() = default;

  virtual void BindInteger(int position, std::int32_t value) = 0;
  virtual void BindInteger64(int position, std::int64_t value) = 0;
  // SQLite takes its own copy of the text, so the caller's string may go right after the call.
  // The text is bound with its length, so that a NUL inside it (a store's name from a page)
  // is kept with everything after it instead of cutting the text there.
  virtual void BindText(int position, std::string_view value) = 0;
  virtual void BindNull(int position) = 0;
};

class IReadStatement : public virtual IStatement {
 public:
  // Steps the query. Returns the next row (owned by the statement) or, once the result is
  // exhausted, resets the statement and returns null, so that the next call starts the query
  // again from the top. Throws std::runtime_error with SQLite's text on any failure.
  virtual const IRow* AdvanceRow() = 0;
};

class IWriteStatement : public virtual IStatement {
 public:
  // Steps the statement once and resets it for the next execution. Anything but completion
  // (a constraint violation, a row) throws std::runtime_error with SQLite's text.
  virtual void Execute() = 0;
};

// A transaction that rolls back when it goes out of scope uncommitted. It must not outlive the
// database that began it.
class ITransaction {
 public:
  ITransaction() = default;
  ITransaction(const ITransaction&) = delete;
  ITransaction& operator=(const ITransaction&) = delete;
  virtual ~ITransaction() = default;

  // Executes "COMMIT" (throws on failure; the destructor then rolls back). A second call does
  // nothing.
  virtual void Commit() = 0;
};

// The reading half of a connection. SQL text, table and column names are C strings.
class IDatabase {
 public:
  IDatabase() = default;
  IDatabase(const IDatabase&) = delete;
  IDatabase& operator=(const IDatabase&) = delete;
  virtual ~IDatabase() = default;

  // The connection's current error text (SQLite's "not an error" when there is none).
  virtual std::string GetErrorMessage() const = 0;
  // The number of rows of the table; 0 also when the table does not exist. Any other failure
  // throws std::runtime_error with SQLite's text, never reads as 0.
  virtual std::int64_t GetRowCount(const char* table) const = 0;
  // Whether the column of the table holds at least one row; false for an empty table and for a
  // missing table or column. Used to recognise tables of an earlier layout. Any other failure
  // throws std::runtime_error with SQLite's text.
  virtual bool ColumnHasValues(const char* table, const char* column) const = 0;
  // Column 0 of the query's only row. A query without a row throws std::runtime_error with the
  // connection's current error text; a second row is a broken invariant.
  virtual std::int64_t ReadSingleInteger(const char* sql) const = 0;
  virtual std::string ReadSingleString(const char* sql) const = 0;
  // The text must begin with "SELECT" at its first character, else std::invalid_argument
  // "SQLite read statement is invalid!". The statement keeps the connection open while it lives.
  virtual std::unique_ptr<IReadStatement> CreateReadStatement(const char* sql) const = 0;
};

class IMutableDatabase : public IDatabase {
 public:
  // Runs the SQL text (several statements allowed); throws std::runtime_error on failure.
  virtual void Execute(const char* sql) = 0;
  // The same without throwing: true on success.
  virtual bool TryExecute(const char* sql) = 0;
  // Executes "DROP TABLE IF EXISTS " + table.
  virtual void DropTable(const char* table) = 0;
  // Executes "BEGIN TRANSACTION" and returns the scope guard. Transactions do not nest: while one
  // is open on this connection, throws std::runtime_error "Transaction already open!".
  virtual std::unique_ptr<ITransaction> BeginTransaction() = 0;
  // The text must not begin with "SELECT", else std::invalid_argument
  // "SQLite write statement is invalid!".
  virtual std::unique_ptr<IWriteStatement> CreateWriteStatement(const char* sql) = 0;
};

// Opens (creating when missing) the database file read-write. Throws std::runtime_error with
// SQLite's text when the file cannot be opened or is not a database; a failed open leaves no
// connection behind. Foreign keys are enforced and a busy timeout is set on every connection.
std::shared_ptr<IMutableDatabase> OpenMutableDatabase(const char* path);

// How a component makes its tables ready on a fresh connection to the cache database: layout
// checks (CheckTables), tables of an earlier layout dropped, tables created, old rows expired.
using PrepareCache = std::function<void(IMutableDatabase&)>;

// Opens the cache database, GetDatabasePath(), and prepares it. The file is only a cache: when
// it is damaged (not a database, malformed, failing SQLite's quick integrity check, which runs
// once per file and process, or refused by prepare with DamagedDatabase), it is moved aside
// (MoveDamagedCacheAside), a fresh one is made and prepared, and a notice naming both paths
// waits for TakeDatabaseNotice. Other failures throw as OpenMutableDatabase does.
std::shared_ptr<IMutableDatabase> OpenCacheDatabase(const PrepareCache& prepare = {});
// The notice of a damaged cache moved aside since the last call, once; empty otherwise. Any
// thread may call it.
std::string TakeDatabaseNotice();

// Which file a path names (device and inode), to tell whether the cache file is still the one
// a connection opened; all zero when there is no file.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;

  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
FileIdentity IdentifyFile(const std::string& path);

// Moves the cache file, with its journal files, aside as "Corvalle.sqlite.damaged-YYYYMMDD-
// HHMMSS", with "-2", "-3" and so on after it when that name is taken (an existing file is never
// replaced), and leaves the notice. Does nothing when the file at the path is no longer the one
// named by damaged: another connection moved it already. Throws std::runtime_error when it
// cannot be moved. Any thread.
void MoveDamagedCacheAside(const FileIdentity& damaged, const std::string& reason);

// Throws DamagedDatabase, naming the table, when a table of the list exists but is not a table
// or lacks or adds a column, or when some tables of the list exist and others do not: the
// tables of one list are made together, and a part of them is a damaged cache. Tables that are
// all missing are fine; the component creates them.
void CheckTables(const IDatabase& database, const std::vector<TableLayout>& tables);

// The directory that holds the database file, always ending in "/". SetDataDirectory appends
// the "/" when missing. Until it is called, GetDataDirectory answers the platform's default,
// $XDG_CACHE_HOME/corvalle/ (~/.cache/corvalle/ when XDG_CACHE_HOME is unset or empty), and
// creates that directory when it is missing. The front ends set the directory once at start,
// before any other thread reads it; the returned reference stays valid until the next
// SetDataDirectory.
void SetDataDirectory(const char* directory);
const std::string& GetDataDirectory();
// The platform's default data directory (see above), created when missing; throws
// std::runtime_error when it cannot be created.
std::string GetDefaultDataDirectory();
// GetDataDirectory() + "Corvalle.sqlite".
std::string GetDatabasePath();

// The connection. Created only by OpenMutableDatabase (through std::make_shared), so that
// statements can share its ownership: the connection closes after its last statement is gone.
class Database : public IMutableDatabase, public std::enable_shared_from_this<Database> {
 public:
  // Takes ownership of an open handle; closes it if construction fails.
  explicit Database(sqlite3* handle_);
  ~Database() override;

  std::string GetErrorMessage() const override;
  std::int64_t GetRowCount(const char* table) const override;
  bool ColumnHasValues(const char* table, const char* column) const override;
  std::int64_t ReadSingleInteger(const char* sql) const override;
  std::string ReadSingleString(const char* sql) const override;
  std::unique_ptr<IReadStatement> CreateReadStatement(const char* sql) const override;

  void Execute(const char* sql) override;
  bool TryExecute(const char* sql) override;
  void DropTable(const char* table) override;
  std::unique_ptr<ITransaction> BeginTransaction() override;
  std::unique_ptr<IWriteStatement> CreateWriteStatement(const char* sql) override;

  // Whether a transaction is open on the connection (it is not in autocommit mode).
  bool InTransaction() const;
  // Whether a table or view of the name (in any case) exists; throws when that cannot be read.
  bool HasTable(const char* table) const;

 private:
  sqlite3_stmt* Prepare(const char* sql) const;
  void TryEnableForeignKeyConstraints();

  sqlite3* handle;
};

class Statement : public virtual IStatement {
 public:
  // Takes ownership of the prepared handle; the database stays open while the statement lives.
  Statement(sqlite3_stmt* handle_, std::shared_ptr<const Database> database_);
  ~Statement() override;

  void BindInteger(int position, std::int32_t value) override;
  void BindInteger64(int position, std::int64_t value) override;
  void BindText(int position, std::string_view value) override;
  void BindNull(int position) override;

 protected:
  // Throws std::runtime_error with the connection's error text unless result is expected.
  void Check(int result, int expected) const;

  sqlite3_stmt* handle;
  std::shared_ptr<const Database> database;
};

class ReadStatement : public IReadStatement, public IRow, public Statement {
 public:
  ReadStatement(sqlite3_stmt* handle_, std::shared_ptr<const Database> database_);

  const IRow* AdvanceRow() override;

  std::int32_t GetInteger(int column) const override;
  std::int64_t GetInteger64(int column) const override;
  std::string GetText(int column) const override;
};

class WriteStatement : public IWriteStatement, public Statement {
 public:
  WriteStatement(sqlite3_stmt* handle_, std::shared_ptr<const Database> database_);

  void Execute() override;
};

class Transaction : public ITransaction {
 public:
  // The database must outlive the transaction.
  explicit Transaction(Database* database_);
  // Rolls back unless committed. Never throws; a rollback that fails is a broken invariant.
  ~Transaction() override;

  void Commit() override;

 private:
  Database* database;
  bool committed = false;
};

}  // namespace Sqlite
