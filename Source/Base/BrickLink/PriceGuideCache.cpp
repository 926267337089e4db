#include "Source/Base/BrickLink/PriceGuideCache.h"

#include <algorithm>
#include <boost/log/trivial.hpp>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Source/Base/SQLite/CacheDatabase.h"
#include "Source/Base/Corvalle.h"
#include "Source/Base/Formatting.h"
#include "Source/Base/SQLite/SqliteWrapper.h"

namespace Corvalle::BrickLink {

namespace {

// Every statement that carries an item number binds it: a number with an apostrophe, or SQL
// text in it, stays data.
constexpr const char* kSelectLots =
    "SELECT StoreID, Quantity, Price FROM PriceGuideData WHERE ItemType = ? AND ItemID = ? AND "
    "Color = ? AND Country = ? AND Currency = ? AND Condition = ? ORDER BY rowid";
constexpr const char* kSelectItem =
    "SELECT COUNT(*) FROM PriceGuideItems WHERE ItemType = ? AND ItemID = ? AND Color = ? AND "
    "Country = ? AND Currency = ?";
constexpr const char* kSelectNotShipping =
    "SELECT NewStores, UsedStores FROM PriceGuideNotShipping WHERE ItemType = ? AND ItemID = ? "
    "AND Color = ? AND Country = ? AND Currency = ?";
constexpr const char* kDeleteItem =
    "DELETE FROM PriceGuideItems WHERE ItemType = ? AND ItemID = ? AND Color = ? AND "
    "Country = ? AND Currency = ?";

// Whether the table exists without the given column, that is, in an earlier layout.
bool TableLacksColumn(const Sqlite::IDatabase& database, const std::string& table,
                      const std::string& column) {
  const std::int64_t columns = database.ReadSingleInteger(
      ("SELECT COUNT(*) FROM pragma_table_info('" + table + "')").c_str());
  const std::int64_t matching = database.ReadSingleInteger(
      ("SELECT COUNT(*) FROM pragma_table_info('" + table + "') WHERE name = '" + column + "'")
          .c_str());
  return columns > 0 && matching == 0;
}

// Binds the key of an entry at positions 0 to 4.
void BindKey(Sqlite::IStatement& statement, const Item& item, const PriceGuideRequest& request) {
  statement.BindInteger(0, static_cast<std::int32_t>(item.Type()));
  statement.BindText(1, item.Id());
  statement.BindInteger(2, static_cast<std::int32_t>(item.Color().Id()));
  statement.BindText(3, request.countryId);
  statement.BindInteger(4, static_cast<std::int32_t>(request.currencyId));
}

bool HasEntry(const Sqlite::IDatabase& database, const Item& item,
              const PriceGuideRequest& request) {
  const auto statement = database.CreateReadStatement(kSelectItem);
  BindKey(*statement, item, request);
  const Sqlite::IRow* row = statement->AdvanceRow();
  return row != nullptr && row->GetInteger(0) > 0;
}

std::unique_ptr<PriceGuide> ReadPriceGuide(const Sqlite::IDatabase& database, const Item& item,
                                           const PriceGuideRequest& request, Condition condition) {
  const auto statement = database.CreateReadStatement(kSelectLots);
  BindKey(*statement, item, request);
  statement->BindInteger(5, static_cast<std::int32_t>(condition));
  PriceGuide::Lots lots;
  while (const Sqlite::IRow* row = statement->AdvanceRow()) {
    lots.emplace_back(static_cast<std::uint32_t>(row->GetInteger(0)),
                      static_cast<std::uint32_t>(row->GetInteger(1)),
                      FromStoredPrice(row->GetInteger64(2)));
  }
  return std::make_unique<PriceGuide>(std::move(lots), PriceGuideStatistics{},
                                      PriceGuideStatistics{});
}

// A guide's stores not shipping, which must be known, as a cell keeps them: decimal ids
// separated by commas.
std::string FormatStores(const PriceGuide& guide) {
  std::string text;
  for (const std::uint32_t store : *guide.StoresNotShipping()) {
    if (!text.empty()) {
      text += ',';
    }
    text += std::to_string(store);
  }
  return text;
}

// The stores of a cell, or unknown when it holds anything else than FormatStores writes: the
// file is not only ours, and a list misread would blame the wrong store.
std::optional<std::vector<std::uint32_t>> ParseStores(const std::string& text) {
  return Utilities::ParseNumberList(text);
}

// The stores not shipping of both guides of an entry; unknown for an entry that a program
// before them stored.
std::pair<std::optional<std::vector<std::uint32_t>>, std::optional<std::vector<std::uint32_t>>>
ReadStoresNotShipping(const Sqlite::IDatabase& database, const Item& item,
                      const PriceGuideRequest& request) {
  const auto statement = database.CreateReadStatement(kSelectNotShipping);
  BindKey(*statement, item, request);
  const Sqlite::IRow* row = statement->AdvanceRow();
  if (row == nullptr) {
    return {};
  }
  return {ParseStores(row->GetText(0)), ParseStores(row->GetText(1))};
}

void CheckStorable(const PriceGuide& guide) {
  for (const PriceGuideDatum& datum : guide) {
    if (!IsStorablePrice(datum.lotData.price)) {
      throw std::invalid_argument("Price of store " + std::to_string(datum.store.Id()) +
                                  " cannot be stored: " + std::to_string(datum.lotData.price));
    }
  }
}

void BindRow(Sqlite::IWriteStatement& statement, Condition condition,
             const PriceGuideDatum& datum) {
  statement.BindInteger(5, static_cast<std::int32_t>(condition));
  statement.BindInteger(6, static_cast<std::int32_t>(datum.store.Id()));
  statement.BindInteger(7, static_cast<std::int32_t>(datum.lotData.quantity));
  statement.BindInteger64(8, ToStoredPrice(datum.lotData.price));
}

void PreparePriceGuides(Sqlite::IMutableDatabase& database) {
  if (TableLacksColumn(database, "PriceGuideItems", "Country") ||
      TableLacksColumn(database, "PriceGuideData", "Country")) {
    BOOST_LOG_TRIVIAL(info) << "Replacing the price guide tables of an earlier layout";
    database.DropTable("PriceGuideData");
    database.DropTable("PriceGuideItems");
  }
  // The entries say which pages were read, the lots what they held: one without the other would
  // serve every entry as a page without lots.
  Sqlite::CheckTables(
      database,
      {{"PriceGuideItems", {"ItemType", "ItemID", "Color", "Country", "Currency", "Timestamp"}},
       {"PriceGuideData",
        {"ItemType", "ItemID", "Color", "Country", "Currency", "Condition", "StoreID", "Quantity",
         "Price"}}});
  // Checked by itself: a cache made before it lacks only this table, and keeps its entries,
  // which then tell nothing of the stores that do not ship (an hour at most, as they expire).
  Sqlite::CheckTables(
      database,
      {{"PriceGuideNotShipping",
        {"ItemType", "ItemID", "Color", "Country", "Currency", "NewStores", "UsedStores"}}});
  database.Execute(
      "CREATE TABLE IF NOT EXISTS PriceGuideItems (ItemType INTEGER NOT NULL, ItemID TEXT NOT "
      "NULL, Color INTEGER NOT NULL, Country TEXT NOT NULL, Currency INTEGER NOT NULL, Timestamp "
      "INTEGER NOT NULL, PRIMARY KEY (ItemType, ItemID, Color, Country, Currency))");
  database.Execute(
      "CREATE TABLE IF NOT EXISTS PriceGuideData (ItemType INTEGER NOT NULL, ItemID TEXT NOT "
      "NULL, Color INTEGER NOT NULL, Country TEXT NOT NULL, Currency INTEGER NOT NULL, Condition "
      "INTEGER NOT NULL, StoreID INTEGER NOT NULL, Quantity INTEGER NOT NULL, Price INTEGER NOT "
      "NULL, FOREIGN KEY (ItemType, ItemID, Color, Country, Currency) REFERENCES "
      "PriceGuideItems(ItemType, ItemID, Color, Country, Currency) ON DELETE CASCADE)");
  // One row per entry read from a page, its rows going with it.
  database.Execute(
      "CREATE TABLE IF NOT EXISTS PriceGuideNotShipping (ItemType INTEGER NOT NULL, ItemID TEXT "
      "NOT NULL, Color INTEGER NOT NULL, Country TEXT NOT NULL, Currency INTEGER NOT NULL, "
      "NewStores TEXT NOT NULL, UsedStores TEXT NOT NULL, PRIMARY KEY (ItemType, ItemID, Color, "
      "Country, Currency), FOREIGN KEY (ItemType, ItemID, Color, Country, Currency) REFERENCES "
      "PriceGuideItems(ItemType, ItemID, Color, Country, Currency) ON DELETE CASCADE)");
  // Serves both the lookups of one condition and the cascade, which would otherwise scan every
  // stored lot for each deleted entry.
  database.Execute(
      "CREATE INDEX IF NOT EXISTS PriceGuideDataByEntry ON PriceGuideData (ItemType, ItemID, "
      "Color, Country, Currency, Condition)");
  database.Execute(
      "DELETE FROM PriceGuideItems WHERE Timestamp < strftime('%s', 'now', '-1 hour')");
}

}  // namespace

PriceGuideCache::PriceGuideCache()
    : database(std::make_unique<Sqlite::CacheDatabase>(PreparePriceGuides)) {}

PriceGuideCache::~PriceGuideCache() = default;

bool PriceGuideCache::TryRetrievePriceGuide(Item& item, const PriceGuideRequest& request) {
  // Both guides are read before either is set, so that a read that meets damage, and runs again
  // on a fresh file, leaves the item as it was.
  std::unique_ptr<PriceGuide> newGuide;
  std::unique_ptr<PriceGuide> usedGuide;
  const bool found = database->Run([&](Sqlite::IMutableDatabase& connection) {
    // The entry, not its lots, says whether the page was read: a part sold only new has no used
    // lots to store, and asking the marketplace again would only bring the same empty section.
    if (!HasEntry(connection, item, request)) {
      return false;
    }
    newGuide = ReadPriceGuide(connection, item, request, Condition::New);
    usedGuide = ReadPriceGuide(connection, item, request, Condition::Used);
    auto [newStores, usedStores] = ReadStoresNotShipping(connection, item, request);
    newGuide->SetStoresNotShipping(std::move(newStores));
    usedGuide->SetStoresNotShipping(std::move(usedStores));
    return true;
  });
  if (!found) {
    BOOST_LOG_TRIVIAL(info) << "Item " << item.Id() << " with color: " << item.Color().Id()
                            << " not found in database";
    return false;
  }
  item.SetPriceGuideNew(std::move(newGuide));
  item.SetPriceGuideUsed(std::move(usedGuide));
  return true;
}

void PriceGuideCache::InsertPriceGuide(const Item& item, const PriceGuideRequest& request) {
  // Checked before the transaction begins, so that the entry stored earlier stays as it was.
  CheckStorable(item.PriceGuideNew());
  CheckStorable(item.PriceGuideUsed());
  database->Run([&](Sqlite::IMutableDatabase& connection) {
    const auto transaction = connection.BeginTransaction();

    const auto deleteStatement = connection.CreateWriteStatement(kDeleteItem);
    BindKey(*deleteStatement, item, request);
    deleteStatement->Execute();

    const auto itemStatement =
        connection.CreateWriteStatement("INSERT INTO PriceGuideItems VALUES (?, ?, ?, ?, ?, ?)");
    BindKey(*itemStatement, item, request);
    itemStatement->BindInteger64(5, connection.ReadSingleInteger("SELECT strftime('%s', 'now')"));
    itemStatement->Execute();

    const auto dataStatement = connection.CreateWriteStatement(
        "INSERT INTO PriceGuideData VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    BindKey(*dataStatement, item, request);
    for (const PriceGuideDatum& datum : item.PriceGuideNew()) {
      BindRow(*dataStatement, Condition::New, datum);
      dataStatement->Execute();
    }
    for (const PriceGuideDatum& datum : item.PriceGuideUsed()) {
      BindRow(*dataStatement, Condition::Used, datum);
      dataStatement->Execute();
    }

    // A guide that does not know them (read back from an older entry) stores none: the entry
    // stays one that does not tell.
    if (item.PriceGuideNew().StoresNotShipping() && item.PriceGuideUsed().StoresNotShipping()) {
      const auto storesStatement = connection.CreateWriteStatement(
          "INSERT INTO PriceGuideNotShipping VALUES (?, ?, ?, ?, ?, ?, ?)");
      BindKey(*storesStatement, item, request);
      storesStatement->BindText(5, FormatStores(item.PriceGuideNew()));
      storesStatement->BindText(6, FormatStores(item.PriceGuideUsed()));
      storesStatement->Execute();
    }

    transaction->Commit();
  });
}

}  // namespace Corvalle::BrickLink
