#pragma once

// The lots of the price guides fetched in the last hour, in the database file.
//
// Key: an entry is one item type, item number, colour and currency, the currency being the
// marketplace's number of the currency that the guides were requested in (the retriever's
// "viewCurrencyID"). A guide fetched in one currency is never served for another, and items of
// different types that share a number keep separate entries. Tables of the earlier layout,
// keyed by item number and colour only, are dropped at construction: a one-hour cache loses
// nothing of value.
//
// Expiry: entries older than one hour by SQLite's clock are deleted only when a cache object
// is constructed, that is, once when a search is set up; an entry stays valid for the rest of
// a search however long it lasts.
//
// A hit needs at least one lot in each condition. Prices are stored in units of
// 1/PriceMultiplier; statistics are not stored, so a guide read back has zero statistics.

#include <cstdint>
#include <memory>

namespace Sqlite {
class IMutableDatabase;
}

namespace Corvalle {
class Item;
}

namespace Corvalle::BrickLink {

// Used by the search thread only (one connection per cache object). Every operation takes the
// currency id under which the caller requests price guides from the marketplace.
class IPriceGuideCache {
 public:
  IPriceGuideCache() = default;
  IPriceGuideCache(const IPriceGuideCache&) = delete;
  IPriceGuideCache& operator=(const IPriceGuideCache&) = delete;
  virtual ~IPriceGuideCache() = default;

  // When lots of both conditions are stored for the item's type, number and colour in that
  // currency, sets both guides on the item (new first, lots in insertion order, zero
  // statistics) and returns true. Otherwise returns false after an informational log record
  // naming the first condition that was missing; the new guide stays set on the item when only
  // the used one was missing. Database failures throw std::runtime_error with SQLite's text.
  virtual bool TryRetrievePriceGuide(Item& item, std::uint32_t currencyId) = 0;
  // Replaces the entry of the item's type, number, colour and currency with the lots of both of
  // the item's guides, in one transaction; on a database failure nothing changes and
  // std::runtime_error with SQLite's text is thrown. Prices must be below
  // (int64 max / PriceMultiplier) + 1 (broken invariant otherwise).
  virtual void InsertPriceGuide(const Item& item, std::uint32_t currencyId) = 0;
};

class PriceGuideCache : public IPriceGuideCache {
 public:
  // Opens GetDatabasePath(), replaces tables of the earlier layout, creates missing tables and
  // deletes the entries older than one hour. Throws std::runtime_error with SQLite's text.
  PriceGuideCache();

  bool TryRetrievePriceGuide(Item& item, std::uint32_t currencyId) override;
  void InsertPriceGuide(const Item& item, std::uint32_t currencyId) override;

 private:
  std::shared_ptr<Sqlite::IMutableDatabase> database;
};

}  // namespace Corvalle::BrickLink
