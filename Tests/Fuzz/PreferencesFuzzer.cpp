// Stored preferences as a damaged or hand-edited database may hold them. The input's lines are
// the values of StoresPerCombination, Country, Currency and Regions in that order; a row whose
// line is missing is not written (an empty input is a first start; "3\n" stores an empty
// country). Whatever was stored, the manager must come up with preferences a search can use,
// and write them back so that the next manager reads the same.

#include <algorithm>
#include <cstdlib>

#include "Source/Base/BrickLink/Countries.h"
#include "Source/Base/BrickLink/Currencies.h"
#include "Tests/Fuzz/FuzzSupport.h"
#include "Source/Base/PreferencesManager.h"
#include "Source/Base/SQLite/SqliteWrapper.h"

namespace {

bool Usable(const Corvalle::Preferences& preferences) {
  if (preferences.storesPerCombination < 1 || preferences.storesPerCombination > 11 ||
      preferences.regions.empty()) {
    return false;
  }
  for (const std::string& region : preferences.regions) {
    if (Corvalle::BrickLink::GetRegionByName(region) == Corvalle::BrickLink::Region::None) {
      return false;
    }
  }
  return Corvalle::BrickLink::FindCountryByName(preferences.country) != nullptr &&
         Corvalle::BrickLink::FindCurrencyByName(preferences.currency) != nullptr;
}

bool Same(const Corvalle::Preferences& a, const Corvalle::Preferences& b) {
  return a.storesPerCombination == b.storesPerCombination && a.country == b.country &&
         a.currency == b.currency && a.regions == b.regions;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Corvalle::Fuzz::SilenceLogging();
  const std::string text = Corvalle::Fuzz::AsText(data, size);
  // In memory: a fresh database per input is then cheap, and it goes through the same SQLite
  // code as the file.
  const auto database = Sqlite::OpenMutableDatabase(":memory:");
  database->Execute(
      "CREATE TABLE Preferences (Key TEXT PRIMARY KEY NOT NULL, Value TEXT NOT NULL)");
  const auto statement = database->CreateWriteStatement("INSERT INTO Preferences VALUES (?, ?)");
  const char* const keys[] = {"StoresPerCombination", "Country", "Currency", "Regions"};
  if (!text.empty()) {
    std::size_t start = 0;
    for (const char* key : keys) {
      const std::size_t end = std::min(text.find('\n', start), text.size());
      statement->BindText(0, key);
      statement->BindText(1, text.substr(start, end - start));
      statement->Execute();
      if (end == text.size()) {
        break;
      }
      start = end + 1;
    }
  }

  Corvalle::PreferencesManager manager(database);
  const Corvalle::Preferences read = manager.GetPreferences();
  if (!Usable(read)) {
    std::abort();
  }
  manager.SetPreferences(read);
  const Corvalle::PreferencesManager again(database);
  if (!Same(read, again.GetPreferences())) {
    std::abort();
  }
  return 0;
}
