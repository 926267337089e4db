#pragma once

// The lots of the price guides fetched in the last hour, in the database file.
//
// Key: an entry is one item type, item number, colour, buyer's country and currency: the
// country and currency under which the guides were requested from the marketplace (the
// retriever's "isCountryID" and "viewCurrencyID"). The country decides which lots count (stores
// that do not ship there are left out) and the currency the prices, so a guide fetched for one
// is never served for another; items of different types that share a number keep separate
// entries too. Tables of an earlier layout, keyed without country or currency, are dropped at
// construction: a one-hour cache loses nothing of value.
//
// Expiry: entries older than one hour by SQLite's clock are deleted only when a cache object
// is constructed, that is, once when a search is set up; an entry stays valid for the rest of
// a search however long it lasts.
//
// A hit needs the entry only: a guide read from a page is stored even when a condition, or both,
// has no lots, and is served as it was read, with the stores whose lots the page marked as not
// shipping to the buyer. Prices are stored in units of 1/PriceMultiplier; statistics are not
// stored, so a guide read back has zero statistics. An entry stored before the stores not
// shipping were kept (a cache file of an earlier program, whose entries stay) reads back with
// them unknown.

#include <cstdint>
#include <memory>
#include <string>

namespace Sqlite {
class CacheDatabase;
}

namespace Corvalle {
class Item;
}

namespace Corvalle::BrickLink {

// What a price guide page depends on besides the item.
struct PriceGuideRequest {
  std::string countryId;     // the buyer's two-letter country identifier
  std::uint32_t currencyId;  // the marketplace's number of the display currency
};

// Used by the search thread only (one connection per cache object). Every operation takes the
// country and currency under which the caller requests price guides from the marketplace.
class IPriceGuideCache {
 public:
  IPriceGuideCache() = default;
  IPriceGuideCache(const IPriceGuideCache&) = delete;
  IPriceGuideCache& operator=(const IPriceGuideCache&) = delete;
  virtual ~IPriceGuideCache() = default;

  // When an entry is stored for the item's type, number and colour under that country and
  // currency, sets both guides on the item (lots in insertion order, possibly none, zero
  // statistics, the stores not shipping as stored) and returns true. Otherwise returns false after
  // an informational log record and leaves the item as it was. Database failures throw
  // std::runtime_error with SQLite's text.
  virtual bool TryRetrievePriceGuide(Item& item, const PriceGuideRequest& request) = 0;
  // Replaces the entry of the item's type, number, colour, country and currency with the lots of
  // both of the item's guides and their stores not shipping (none stored when either guide does
  // not know them), in one transaction; on a database failure nothing changes and
  // std::runtime_error with SQLite's text is thrown. A price that IsStorablePrice refuses throws
  // std::invalid_argument before anything is written.
  virtual void InsertPriceGuide(const Item& item, const PriceGuideRequest& request) = 0;
};

class PriceGuideCache : public IPriceGuideCache {
 public:
  // Opens GetDatabasePath(), replaces tables of the earlier layout, creates missing tables (the
  // table of the stores not shipping beside the entries of an earlier program, which stay) and
  // deletes the entries older than one hour. A damaged file, tables of another layout or one of
  // the two tables without the other, is moved aside for a fresh one, at construction and when
  // an operation meets it (Sqlite::CacheDatabase). Throws std::runtime_error with SQLite's text.
  PriceGuideCache();
  ~PriceGuideCache() override;

  bool TryRetrievePriceGuide(Item& item, const PriceGuideRequest& request) override;
  void InsertPriceGuide(const Item& item, const PriceGuideRequest& request) override;

 private:
  std::unique_ptr<Sqlite::CacheDatabase> database;
};

}  // namespace Corvalle::BrickLink
