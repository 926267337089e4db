#include "Source/Base/PreferencesManager.h"

#include <algorithm>
#include <boost/algorithm/string/split.hpp>
#include <boost/log/trivial.hpp>
#include <charconv>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <utility>

#include "Source/Base/Assert.h"
#include "Source/Base/BrickLink/Countries.h"
#include "Source/Base/BrickLink/Currencies.h"
#include "Source/Base/SQLite/CacheDatabase.h"
#include "Source/Base/Formatting.h"
#include "Source/Base/SearchDefaults.h"
#include "Source/Base/SQLite/SqliteWrapper.h"

namespace Corvalle {

namespace {

// Warns that a stored value is replaced; the caller has checked that it cannot be used. A
// program makes several managers in one run (to read, to save, to format prices), and each
// reads the same rows: the warning is given once per process for each setting and value.
void WarnReplaced(const char* setting, const std::string& stored, const std::string& replacement) {
  static std::mutex mutex;  // guards warned
  static std::set<std::pair<std::string, std::string>> warned;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    if (!warned.emplace(setting, stored).second) {
      return;
    }
  }
  BOOST_LOG_TRIVIAL(warning) << "The saved " << setting << " \"" << stored
                             << "\" cannot be used; using " << replacement << " instead";
}

// The names in their first order, each once.
std::vector<std::string> WithoutRepeats(const std::vector<std::string>& names) {
  std::vector<std::string> once;
  for (const std::string& name : names) {
    if (std::find(once.begin(), once.end(), name) == once.end()) {
      once.push_back(name);
    }
  }
  return once;
}

// A stored store list: store numbers separated by commas, or nothing.
std::optional<std::vector<std::uint32_t>> ParseStores(const std::string& text) {
  const std::optional<std::vector<std::uint32_t>> listed = Utilities::ParseNumberList(text);
  if (!listed) {
    return std::nullopt;
  }
  std::vector<std::uint32_t> stores;
  for (const std::uint32_t id : *listed) {
    if (std::find(stores.begin(), stores.end(), id) == stores.end()) {
      stores.push_back(id);
    }
  }
  return stores;
}

std::string FormatShipping(double value) {
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  CORVALLE_ASSERT(error == std::errc());
  return std::string(buffer, end);
}

std::string FormatStores(const std::vector<std::uint32_t>& stores) {
  std::string text;
  for (const std::uint32_t id : stores) {
    if (!text.empty()) {
      text += ',';
    }
    text += std::to_string(id);
  }
  return text;
}

}  // namespace

std::optional<double> ParseShippingAmount(const std::string& text, char decimalSeparator) {
  std::string number = text;
  // The point is always read, as scripts write it; the currency's own separator besides. A
  // text with both holds a thousands separator, which an amount never has.
  if (decimalSeparator != '.' && number.find(decimalSeparator) != std::string::npos) {
    if (number.find('.') != std::string::npos) {
      return std::nullopt;
    }
    std::replace(number.begin(), number.end(), decimalSeparator, '.');
  }
  double value = 0.0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value,
                                            std::chars_format::fixed);
  if (number.empty() || error != std::errc() || end != number.data() + number.size() ||
      !(value >= 0.0) || !(value <= kMostShipping)) {
    return std::nullopt;
  }
  // "-0" is no shipping, and is kept as 0, never as a minus zero.
  return value + 0.0;
}

Preferences FirstStartPreferences() {
  Preferences preferences;
  preferences.storesPerCombination = 3;
  preferences.country = "USA";
  preferences.currency = "US Dollar";
  preferences.regions = {"North America"};
  return preferences;
}

PreferencesManager::PreferencesManager(std::shared_ptr<Sqlite::IMutableDatabase> database_)
    : database(std::move(database_)) {
  database->Execute(
      "CREATE TABLE IF NOT EXISTS Preferences (Key TEXT PRIMARY KEY NOT NULL, Value TEXT NOT "
      "NULL)");
  // A count that cannot be read throws: only a table truly without rows is a first start. The
  // first-start rows never replace a row that another process wrote meanwhile.
  if (database->GetRowCount("Preferences") == 0) {
    WriteRows(FirstStartPreferences(), "INSERT OR IGNORE");
  }
  ReadRows();
}

void PreferencesManager::ReadRows() {
  const Preferences firstStart = FirstStartPreferences();
  // The file is the user's to edit or damage: every value is checked before a search uses it.
  const std::string count = ReadValue("StoresPerCombination");
  std::uint32_t stores = 0;
  const auto [end, error] = std::from_chars(count.data(), count.data() + count.size(), stores);
  if (error == std::errc() && end == count.data() + count.size() && stores >= 1 &&
      stores <= kMaximumStoresPerCombination) {
    current.storesPerCombination = stores;
  } else {
    WarnReplaced("stores per combination", count, std::to_string(firstStart.storesPerCombination));
    current.storesPerCombination = firstStart.storesPerCombination;
  }
  current.country = ReadValue("Country");
  if (BrickLink::FindCountryByName(current.country) == nullptr) {
    WarnReplaced("country", current.country, firstStart.country);
    current.country = firstStart.country;
  }
  current.currency = ReadValue("Currency");
  if (BrickLink::FindCurrencyByName(current.currency) == nullptr) {
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
  current.regions = WithoutRepeats(current.regions);
  const auto readShipping = [&](const char* key, const char* setting, double& value) {
    if (const auto text = ReadOptionalValue(key)) {
      if (const auto amount = ParseShippingAmount(*text)) {
        value = *amount;
      } else {
        WarnReplaced(setting, *text, "0");
      }
    }
  };
  readShipping("ShippingDomestic", "domestic shipping", current.shippingDomestic);
  readShipping("ShippingInternational", "international shipping", current.shippingInternational);
  const auto readStores = [&](const char* key, const char* setting,
                              std::vector<std::uint32_t>& list) {
    if (const auto text = ReadOptionalValue(key)) {
      if (auto parsed = ParseStores(*text)) {
        list = std::move(*parsed);
      } else {
        WarnReplaced(setting, *text, "no store");
      }
    }
  };
  readStores("ExcludedStores", "stores to avoid", current.excludedStores);
  readStores("RequiredStores", "stores to keep", current.requiredStores);
}

std::string PreferencesManager::ReadValue(const std::string& key) const {
  return ReadOptionalValue(key).value_or(std::string());
}

std::optional<std::string> PreferencesManager::ReadOptionalValue(const std::string& key) const {
  // Keys are constants of this file; no user text reaches the query. A table that holds a key
  // twice (the file is not only ours) answers the row written last. Only a missing row is "no
  // value": a read that fails throws, since a value taken for missing would be replaced.
  const auto statement = database->CreateReadStatement(
      "SELECT Value FROM Preferences WHERE Key = ? ORDER BY rowid DESC LIMIT 1");
  statement->BindText(0, key);
  const Sqlite::IRow* row = statement->AdvanceRow();
  if (row == nullptr) {
    return std::nullopt;
  }
  return row->GetText(0);
}

const Preferences& PreferencesManager::GetPreferences() const { return current; }

void PreferencesManager::SetPreferences(const Preferences& preferences) {
  CORVALLE_ASSERT(!preferences.regions.empty());
  current = preferences;
  // A region given twice is accepted once.
  current.regions = WithoutRepeats(preferences.regions);
  WriteRows(current, "INSERT OR REPLACE");
}

void PreferencesManager::WriteRows(const Preferences& preferences, const char* insert) {
  std::string regions;
  for (const std::string& region : preferences.regions) {
    regions += region + ",";
  }
  regions.pop_back();

  const auto transaction = database->BeginTransaction();
  const auto statement = database->CreateWriteStatement(
      (std::string(insert) + " INTO Preferences VALUES (?, ?)").c_str());
  const std::pair<const char*, std::string> rows[] = {
      {"StoresPerCombination", std::to_string(preferences.storesPerCombination)},
      {"Country", preferences.country},
      {"Currency", preferences.currency},
      {"Regions", regions},
      {"ShippingDomestic", FormatShipping(preferences.shippingDomestic)},
      {"ShippingInternational", FormatShipping(preferences.shippingInternational)},
      {"ExcludedStores", FormatStores(preferences.excludedStores)},
      {"RequiredStores", FormatStores(preferences.requiredStores)},
  };
  for (const auto& [key, value] : rows) {
    statement->BindText(0, key);
    statement->BindText(1, value);
    statement->Execute();
  }
  transaction->Commit();
}

std::unique_ptr<IPreferencesManager> CreatePreferencesManager() {
  // The settings live in the cache file: a file damaged, or holding something else than the
  // table under its name, is moved aside like any damaged cache, and the first-start values
  // are used until the user sets others.
  Sqlite::CacheDatabase cache([](Sqlite::IMutableDatabase& database) {
    Sqlite::CheckTables(database, {{"Preferences", {"Key", "Value"}}});
  });
  return cache.Run([&cache](Sqlite::IMutableDatabase&) -> std::unique_ptr<IPreferencesManager> {
    return std::make_unique<PreferencesManager>(cache.Connection());
  });
}

void ChangeSavedPreferences(const std::function<void(Preferences&)>& change) {
  const auto manager = CreatePreferencesManager();
  Preferences preferences = manager->GetPreferences();
  change(preferences);
  manager->SetPreferences(preferences);
}

}  // namespace Corvalle
