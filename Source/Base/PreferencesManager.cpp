#include "PreferencesManager.h"

#include <algorithm>
#include <boost/algorithm/string/split.hpp>
#include <boost/log/trivial.hpp>
#include <charconv>
#include <stdexcept>
#include <utility>

#include "Assert.h"
#include "BrickLink/Countries.h"
#include "BrickLink/Currencies.h"
#include "SqliteWrapper.h"

namespace Corvalle {

namespace {

constexpr std::uint32_t kMostStoresPerCombination = 11;

// Warns that a stored value is replaced; the caller has checked that it cannot be used.
void WarnReplaced(const char* setting, const std::string& stored, const std::string& replacement) {
  BOOST_LOG_TRIVIAL(warning) << "The saved " << setting << " \"" << stored
                             << "\" cannot be used; using " << replacement << " instead";
}

bool IsKnownCountry(const std::string& name) {
  try {
    BrickLink::GetCountryByName(name);
    return true;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

bool IsKnownCurrency(const std::string& name) {
  try {
    BrickLink::GetCurrencyByName(name);
    return true;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

}  // namespace

Preferences FirstStartPreferences() { return Preferences{3, "USA", "US Dollar", {"North America"}}; }

PreferencesManager::PreferencesManager(std::shared_ptr<Sqlite::IMutableDatabase> database_)
    : database(std::move(database_)) {
  database->Execute(
      "CREATE TABLE IF NOT EXISTS Preferences (Key TEXT PRIMARY KEY NOT NULL, Value TEXT NOT "
      "NULL)");
  const Preferences firstStart = FirstStartPreferences();
  if (database->GetRowCount("Preferences") == 0) {
    SetPreferences(firstStart);
    return;
  }
  // The file is the user's to edit or damage: every value is checked before a search uses it.
  const std::string count = ReadValue("StoresPerCombination");
  std::uint32_t stores = 0;
  const auto [end, error] = std::from_chars(count.data(), count.data() + count.size(), stores);
  if (error == std::errc() && end == count.data() + count.size() && stores >= 1 &&
      stores <= kMostStoresPerCombination) {
    current.storesPerCombination = stores;
  } else {
    WarnReplaced("stores per combination", count, std::to_string(firstStart.storesPerCombination));
    current.storesPerCombination = firstStart.storesPerCombination;
  }
  current.country = ReadValue("Country");
  if (!IsKnownCountry(current.country)) {
    WarnReplaced("country", current.country, firstStart.country);
    current.country = firstStart.country;
  }
  current.currency = ReadValue("Currency");
  if (!IsKnownCurrency(current.currency)) {
    WarnReplaced("currency", current.currency, firstStart.currency);
    current.currency = firstStart.currency;
  }
  const std::string regions = ReadValue("Regions");
  // Adjacent commas yield empty names; they are not merged, and make the list unusable.
  boost::algorithm::split(current.regions, regions, [](char c) { return c == ','; });
  if (std::any_of(current.regions.begin(), current.regions.end(), [](const std::string& name) {
        return BrickLink::GetRegionByName(name) == BrickLink::Region::None;
      })) {
    WarnReplaced("regions", regions, firstStart.regions.front());
    current.regions = firstStart.regions;
  }
}

std::string PreferencesManager::ReadValue(const std::string& key) const {
  // Keys are constants of this file; no user text reaches the query. A table that holds a key
  // twice (the file is not only ours) answers the row written last.
  try {
    return database->ReadSingleString(
        ("SELECT Value FROM Preferences WHERE Key = '" + key + "' ORDER BY rowid DESC LIMIT 1")
            .c_str());
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
      Sqlite::OpenCacheDatabase());
}

}  // namespace Corvalle
