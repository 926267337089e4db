#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "Tests/Support/ExceptionMessage.h"
#include "Source/Base/SQLite/SqliteWrapper.h"
#include "Tests/Support/TemporaryDirectory.h"

namespace Testing {

// Points the data directory at a fresh temporary directory for the life of the object, so that
// the caches under test never see the user's database, and offers a connection of its own to
// the same file for inspecting and back-dating rows through SQL.
class CacheTestDatabase {
 public:
  CacheTestDatabase() { Sqlite::SetDataDirectory(directory.Path().string().c_str()); }

  // A connection opened on first use, after the cache under test has created its tables.
  Sqlite::IMutableDatabase& Sql() {
    if (!connection) {
      connection = Sqlite::OpenMutableDatabase(Sqlite::GetDatabasePath().c_str());
    }
    return *connection;
  }

  std::int64_t Count(const std::string& sql) { return Sql().ReadSingleInteger(sql.c_str()); }

  // Rewrites the timestamps that the statement's WHERE clause selects (all rows without one)
  // to the given SQLite modifier relative to now, for example "-61 minutes".
  void BackDate(const std::string& table, const std::string& modifier,
                const std::string& where = "") {
    Sql().Execute(("UPDATE " + table + " SET Timestamp = strftime('%s', 'now', '" + modifier +
                   "')" + (where.empty() ? "" : " WHERE " + where))
                      .c_str());
  }

 private:
  TemporaryDirectory directory;
  std::shared_ptr<Sqlite::IMutableDatabase> connection;
};

}  // namespace Testing
