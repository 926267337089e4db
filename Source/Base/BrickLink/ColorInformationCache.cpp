#include "Source/Base/BrickLink/ColorInformationCache.h"

#include <cstdint>
#include <limits>

#include "Source/Base/Assert.h"
#include "Source/Base/SQLite/CacheDatabase.h"
#include "Source/Base/SQLite/SqliteWrapper.h"

namespace Corvalle::BrickLink {

namespace {

void PrepareColorInformation(Sqlite::IMutableDatabase& database) {
  Sqlite::CheckTables(database, {{"ColorInformation", {"ColorID", "Name", "RgbValue"}},
                                 {"ColorInformationTimestamp", {"Timestamp"}}});
  database.Execute(
      "CREATE TABLE IF NOT EXISTS ColorInformation (ColorID INTEGER PRIMARY KEY NOT NULL, Name "
      "TEXT NOT NULL, RgbValue INTEGER NOT NULL)");
  database.Execute(
      "CREATE TABLE IF NOT EXISTS ColorInformationTimestamp (Timestamp INTEGER NOT NULL)");
  database.Execute(
      "DELETE FROM ColorInformationTimestamp WHERE Timestamp < strftime('%s', 'now', '-1 "
      "month')");
  if (database.GetRowCount("ColorInformationTimestamp") == 0) {
    database.Execute("DELETE FROM ColorInformation");
  }
}

}  // namespace

ColorInformationCache::ColorInformationCache()
    : database(std::make_unique<Sqlite::CacheDatabase>(PrepareColorInformation)) {}

ColorInformationCache::~ColorInformationCache() = default;

bool ColorInformationCache::TryRetrieveColorInformation() {
  return database->Run([](Sqlite::IMutableDatabase& connection) {
    const auto statement = connection.CreateReadStatement("SELECT * FROM ColorInformation");
    bool found = false;
    while (const Sqlite::IRow* row = statement->AdvanceRow()) {
      ColorInformation::SetColorData(static_cast<std::uint32_t>(row->GetInteger(0)),
                                     row->GetText(1),
                                     static_cast<std::uint32_t>(row->GetInteger(2)));
      found = true;
    }
    return found;
  });
}

void ColorInformationCache::InsertColorData(const ColorList& colors) {
  database->Run([&](Sqlite::IMutableDatabase& connection) {
    const auto transaction = connection.BeginTransaction();

    const std::int64_t now = connection.ReadSingleInteger("SELECT strftime('%s', 'now')");
    const auto timestampStatement =
        connection.CreateWriteStatement("INSERT INTO ColorInformationTimestamp VALUES (?)");
    timestampStatement->BindInteger64(0, now);
    timestampStatement->Execute();

    // Another search on the same cache may have stored the colours meanwhile: its rows are
    // replaced, not an error.
    const auto colorStatement =
        connection.CreateWriteStatement("INSERT OR REPLACE INTO ColorInformation VALUES (?, ?, ?)");
    for (const auto& [id, data] : colors) {
      const std::uint32_t rgbValue = data.rgb;
      CORVALLE_ASSERT(id < static_cast<unsigned>(std::numeric_limits<int32_t>::max()));
      CORVALLE_ASSERT(rgbValue < static_cast<unsigned>(std::numeric_limits<int32_t>::max()));
      ColorInformation::SetColorData(id, data.name, rgbValue);
      colorStatement->BindInteger(0, static_cast<std::int32_t>(id));
      colorStatement->BindText(1, data.name);
      colorStatement->BindInteger(2, static_cast<std::int32_t>(rgbValue));
      colorStatement->Execute();
    }

    transaction->Commit();
  });
}

}  // namespace Corvalle::BrickLink
