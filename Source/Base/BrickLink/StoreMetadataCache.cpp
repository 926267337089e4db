#include "Source/Base/BrickLink/StoreMetadataCache.h"

#include <cstdint>
#include <limits>

#include "Source/Base/Assert.h"
#include "Source/Base/SQLite/CacheDatabase.h"
#include "Source/Base/SQLite/SqliteWrapper.h"

namespace Corvalle::BrickLink {

namespace {

void PrepareStoreInformation(Sqlite::IMutableDatabase& database) {
  // A table of the earlier layout, recognised by its Country column, holds nothing to keep.
  if (database.ReadSingleInteger("SELECT COUNT(*) FROM pragma_table_info('StoreInformation') "
                                 "WHERE name = 'Country'") > 0) {
    database.DropTable("StoreInformation");
  }
  Sqlite::CheckTables(database,
                      {{"StoreInformation", {"StoreID", "Name", "CountryID", "Timestamp"}}});
  database.Execute(
      "CREATE TABLE IF NOT EXISTS StoreInformation (StoreID INTEGER PRIMARY KEY NOT NULL, Name "
      "TEXT NOT NULL, CountryID TEXT NOT NULL, Timestamp INTEGER NOT NULL)");
  database.Execute(
      "DELETE FROM StoreInformation WHERE Timestamp < strftime('%s', 'now', '-1 month')");
}

}  // namespace

StoreMetadataCache::StoreMetadataCache()
    : database(std::make_unique<Sqlite::CacheDatabase>(PrepareStoreInformation)) {}

StoreMetadataCache::~StoreMetadataCache() = default;

bool StoreMetadataCache::TryRetrieveStoreMetadata(std::uint32_t id, StoreMetadata& metadata) {
  return database->Run([&](Sqlite::IMutableDatabase& connection) {
    // A search looks up every store of its table: the statement is made once per connection.
    // (It keeps its connection alive, so a replacement is never taken for it.)
    if (readConnection != &connection) {
      readStatement.reset();
      readStatement =
          connection.CreateReadStatement("SELECT * FROM StoreInformation WHERE StoreID = ?");
      readConnection = &connection;
    }
    try {
      readStatement->BindInteger64(0, static_cast<std::int64_t>(id));
      const Sqlite::IRow* row = readStatement->AdvanceRow();
      if (row == nullptr) {
        return false;
      }
      metadata.name = row->GetText(1);
      metadata.countryId = row->GetText(2);
      // Run to its end, which resets it: a statement left on a row would hold the file's read
      // lock until the next lookup.
      CORVALLE_ASSERT(readStatement->AdvanceRow() == nullptr);
      return true;
    } catch (...) {
      // Left on a row by a failure: made afresh next time.
      readStatement.reset();
      readConnection = nullptr;
      throw;
    }
  });
}

void StoreMetadataCache::InsertStoreMetadata(std::uint32_t id, const StoreMetadata& metadata) {
  CORVALLE_ASSERT(id < static_cast<unsigned>(std::numeric_limits<int>::max()));
  database->Run([&](Sqlite::IMutableDatabase& connection) {
    // Another search on the same cache (a second process, the window and the command line) may
    // have stored the store meanwhile: the newer row is as good, not an error.
    const auto statement = connection.CreateWriteStatement(
        "INSERT OR REPLACE INTO StoreInformation VALUES (?, ?, ?, ?)");
    statement->BindInteger(0, static_cast<std::int32_t>(id));
    statement->BindText(1, metadata.name);
    statement->BindText(2, metadata.countryId);
    statement->BindInteger64(3, connection.ReadSingleInteger("SELECT strftime('%s', 'now')"));
    statement->Execute();
  });
}

}  // namespace Corvalle::BrickLink
