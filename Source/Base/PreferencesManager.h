#pragma once

// The user's search settings, kept as key-value rows (table Preferences) in the database file.
// The main window reads them to preset its controls, each search writes the settings it starts
// with, and the price formatting reads the chosen currency. Every user creates its own manager
// (and with it its own connection) for as long as it needs it; the last SetPreferences wins for
// every manager created later.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Sqlite {
class IMutableDatabase;
}

namespace Corvalle {

struct Preferences {
  std::uint32_t storesPerCombination = 0;  // k, the stores in each combination searched
  std::string country;                     // a country name of the country table
  std::string currency;                    // a currency name of the currency table
  std::vector<std::string> regions;        // region display names, in the order chosen; never
                                           // empty when written
  double shippingDomestic = 0.0;           // per store, in the currency; 0 to ignore shipping
  double shippingInternational = 0.0;
  std::vector<std::uint32_t> excludedStores{};  // store ids never bought from
  std::vector<std::uint32_t> requiredStores{};  // store ids in every plan
};

// The most a shipping amount may be; anything above is a typing slip.
inline constexpr double kMostShipping = 1000000.0;

// A shipping amount as typed or stored: a plain decimal number ("4", "4.50") from 0 to
// kMostShipping, with a point or with the given decimal separator (a currency that writes
// "6,01" lets the user type "4,50"); nothing for any other text ("4,50" in a currency that
// writes a point, "1.004,50" anywhere). A minus zero reads as 0.
std::optional<double> ParseShippingAmount(const std::string& text, char decimalSeparator = '.');

// What a first start shows and saves, and what replaces a stored value that cannot be used:
// 3 stores, "USA", "US Dollar" and the single region "North America", no shipping and no store
// to avoid or keep.
Preferences FirstStartPreferences();

// Used by the thread that created it.
class IPreferencesManager {
 public:
  IPreferencesManager() = default;
  IPreferencesManager(const IPreferencesManager&) = delete;
  IPreferencesManager& operator=(const IPreferencesManager&) = delete;
  virtual ~IPreferencesManager() = default;

  // Those read at construction, or those last set. Valid while the manager lives.
  virtual const Preferences& GetPreferences() const = 0;
  // Makes the record the current one, a region named twice kept once, then writes all eight
  // rows in one transaction. On a database failure the rows are rolled back (the current record
  // already holds the new values) and std::runtime_error with SQLite's text is thrown. Empty
  // regions are a broken invariant.
  virtual void SetPreferences(const Preferences& preferences) = 0;
};

class PreferencesManager : public IPreferencesManager {
 public:
  // Creates the table when missing and reads the rows; on a database without any row it writes
  // the first-start values. A stored value that cannot be used (a count that is not a number
  // from 1 to 11, a country or currency the tables do not know, a region list with an empty or
  // unknown name, a shipping amount that is not a number from 0 to kMostShipping, a store list
  // that is not comma-separated store numbers) is replaced by its first-start value, with a
  // warning; the next SetPreferences writes it over. A missing row reads the first-start value
  // without a warning: a file need not hold every setting, and one missing is no damage. A read
  // that fails (a lock held past the busy timeout, a damaged file) throws std::runtime_error with
  // SQLite's text and writes nothing: it is never taken for a fresh database or a missing row.
  explicit PreferencesManager(std::shared_ptr<Sqlite::IMutableDatabase> database_);

  const Preferences& GetPreferences() const override;
  void SetPreferences(const Preferences& preferences) override;

 private:
  // Fills the current record from the rows, checking every value.
  void ReadRows();
  // The stored value of the key, or the empty string when there is none.
  std::string ReadValue(const std::string& key) const;
  // The stored value of the key, or nothing when the table has no such row. A failed read
  // throws.
  std::optional<std::string> ReadOptionalValue(const std::string& key) const;
  // Writes the eight rows in one transaction with the given statement verb ("INSERT OR
  // REPLACE", or "INSERT OR IGNORE" to keep rows already there).
  void WriteRows(const Preferences& preferences, const char* insert);

  std::shared_ptr<Sqlite::IMutableDatabase> database;
  Preferences current;
};

// Opens the database file (Sqlite::GetDatabasePath()) and returns a manager on it. Throws
// std::runtime_error with SQLite's text when the database cannot be opened.
std::unique_ptr<IPreferencesManager> CreatePreferencesManager();

// Reads the saved preferences, lets change edit them and saves them, on a manager of its own:
// a change of one setting, such as a store list, then keeps every other setting as saved
// rather than as a window shows it. Throws as CreatePreferencesManager and SetPreferences do.
void ChangeSavedPreferences(const std::function<void(Preferences&)>& change);

}  // namespace Corvalle
