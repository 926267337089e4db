#pragma once

// The names and countries of stores, kept in the database file for one calendar month.
//
// Expiry: a store's row is deleted when a cache object is constructed more than one month
// (SQLite's "-1 month") after the row was written; the store page is then fetched again the
// next time a search needs it. A table of the earlier layout (with a column named Country that
// holds rows) is dropped at construction.

#include <cstdint>
#include <memory>

#include "Source/Base/BrickLink/StoreInformation.h"

namespace Sqlite {
class CacheDatabase;
class IMutableDatabase;
class IReadStatement;
}

namespace Corvalle::BrickLink {

// Used by the search thread only (one connection per cache object).
class IStoreMetadataCache {
 public:
  IStoreMetadataCache() = default;
  IStoreMetadataCache(const IStoreMetadataCache&) = delete;
  IStoreMetadataCache& operator=(const IStoreMetadataCache&) = delete;
  virtual ~IStoreMetadataCache() = default;

  // When the store is stored, sets the record's name and country identifier and returns true;
  // otherwise leaves the record untouched and returns false (a miss is not an error).
  virtual bool TryRetrieveStoreMetadata(std::uint32_t id, StoreMetadata& metadata) = 0;
  // Stores the record with the current time. Called after a miss only: a stored id violates
  // the primary key and SQLite's constraint error is thrown, keeping the first row. Ids must be
  // below 2147483647 (broken invariant otherwise).
  virtual void InsertStoreMetadata(std::uint32_t id, const StoreMetadata& metadata) = 0;
};

class StoreMetadataCache : public IStoreMetadataCache {
 public:
  // Opens GetDatabasePath(), replaces a table of the earlier layout, creates the table when
  // missing and expires old rows. A damaged file, or a table of another layout, is moved aside
  // for a fresh one, at construction and when an operation meets it (Sqlite::CacheDatabase).
  // Throws std::runtime_error with SQLite's text.
  StoreMetadataCache();
  ~StoreMetadataCache() override;

  bool TryRetrieveStoreMetadata(std::uint32_t id, StoreMetadata& metadata) override;
  void InsertStoreMetadata(std::uint32_t id, const StoreMetadata& metadata) override;

 private:
  std::unique_ptr<Sqlite::CacheDatabase> database;
  std::unique_ptr<Sqlite::IReadStatement> readStatement;
  const Sqlite::IMutableDatabase* readConnection = nullptr;
};

}  // namespace Corvalle::BrickLink
