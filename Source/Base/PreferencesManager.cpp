#include "PreferencesManager.h"

#include <boost/algorithm/string/split.hpp>
#include <stdexcept>
#include <utility>

#include "Assert.h"
#include "SqliteWrapper.h"

namespace Corvalle {

namespace {

constexpr const char* kDefaultRegion = "North America";

}  // namespace

PreferencesManager::PreferencesManager(std::shared_ptr<Sqlite::IMutableDatabase> database_)
    : database(std::move(database_)) {
  database->Execute(
      "CREATE TABLE IF NOT EXISTS Preferences (Key TEXT PRIMARY KEY NOT NULL, Value TEXT NOT "
      "NULL)");
  if (database->GetRowCount("Preferences") != 0) {
    current.storesPerCombination =
        static_cast<std::uint32_t>(std::stoul(ReadValue("StoresPerCombination"), nullptr, 10));
    current.country = ReadValue("Country");
    current.currency = ReadValue("Currency");
    const std::string regions = ReadValue("Regions");
    if (!regions.empty()) {
      // Adjacent commas yield empty names; they are not merged.
      boost::algorithm::split(current.regions, regions, [](char c) { return c == ','; });
    } else {
      current.regions = {kDefaultRegion};
    }
  } else {
    SetPreferences(Preferences{3, "USA", "US Dollar", {kDefaultRegion}});
  }
}

std::string PreferencesManager::ReadValue(const std::string& key) const {
  // Keys are constants of this file; no user text reaches the query.
  try {
    return database->ReadSingleString(
        ("SELECT Value FROM Preferences WHERE Key = '" + key + "'").c_str());
  } catch (const std::runtime_error&) {
    return {};
  }
}

const Preferences& PreferencesManager::GetPreferences() const { return current; }

void PreferencesManager::SetPreferences(const Preferences& preferences) {
  CORVALLE_ASSERT(!preferences.regions.empty());
  current = preferences;

  std::string regions;
  for (const std::string& region : preferences.regions) {
    regions += region + ",";
  }
  regions.pop_back();

  const auto transaction = database->BeginTransaction();
  const auto statement =
      database->CreateWriteStatement("INSERT OR REPLACE INTO Preferences VALUES (?, ?)");
  const std::pair<const char*, std::string> rows[] = {
      {"StoresPerCombination", std::to_string(preferences.storesPerCombination)},
      {"Country", preferences.country},
      {"Currency", preferences.currency},
      {"Regions", regions},
  };
  for (const auto& [key, value] : rows) {
    statement->BindText(0, key);
    statement->BindText(1, value.c_str());
    statement->Execute();
  }
  transaction->Commit();
}

std::unique_ptr<IPreferencesManager> CreatePreferencesManager() {
  return std::make_unique<PreferencesManager>(
      Sqlite::OpenMutableDatabase(Sqlite::GetDatabasePath().c_str()));
}

}  // namespace Corvalle
