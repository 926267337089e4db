#pragma once

// The marketplace's colour list, kept in the database file for one calendar month.
//
// Expiry: a stored list carries one timestamp row per InsertColorData. At construction the
// timestamps older than one month (SQLite's "-1 month") are deleted, and when none is left the
// colours go too; a list is thus discarded once its newest timestamp is more than a month old.

#include <cstdint>
#include <memory>
#include <tuple>
#include <vector>

#include "Source/Base/BrickLink/ColorInformation.h"

namespace Sqlite {
class CacheDatabase;
}

namespace Corvalle::BrickLink {

// A colour list as the colour page's parser produces it: (colour id, name and RGB value).

// Used by the search thread only (one connection per cache object).
class IColorInformationCache {
 public:
  IColorInformationCache() = default;
  IColorInformationCache(const IColorInformationCache&) = delete;
  IColorInformationCache& operator=(const IColorInformationCache&) = delete;
  virtual ~IColorInformationCache() = default;

  // Fills the process-wide colour table from the database. Returns whether at least one colour
  // was stored; an empty list is a miss, not an error. Database failures throw
  // std::runtime_error with SQLite's text.
  virtual bool TryRetrieveColorInformation() = 0;
  // Stores the list with a fresh timestamp, in one transaction, and puts every colour into the
  // colour table. Called after a miss only: an id that is already stored, or that occurs twice
  // in the list, violates the primary key; then nothing of the list is stored and SQLite's
  // constraint error is thrown (the colour table keeps the entries set before the failure).
  // Ids and RGB values must be below 2147483647 (broken invariant otherwise).
  virtual void InsertColorData(const ColorList& colors) = 0;
};

class ColorInformationCache : public IColorInformationCache {
 public:
  // Opens GetDatabasePath(), creates the tables when missing and expires an old list. A damaged
  // file, or tables of another layout, is moved aside for a fresh one, at construction and when
  // an operation meets it (Sqlite::CacheDatabase). Throws std::runtime_error with SQLite's text
  // when the database cannot be opened or prepared.
  ColorInformationCache();
  ~ColorInformationCache() override;

  bool TryRetrieveColorInformation() override;
  void InsertColorData(const ColorList& colors) override;

 private:
  std::unique_ptr<Sqlite::CacheDatabase> database;
};

}  // namespace Corvalle::BrickLink
