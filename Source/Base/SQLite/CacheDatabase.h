#pragma once

#include <memory>
#include <string>

#include "Source/Base/SQLite/SqliteWrapper.h"

namespace Sqlite {

// A component's connection to the cache database that mends damage instead of failing on it.
// The file is only a cache: when an operation meets a damaged file (SQLite reports it malformed
// or not a database), the file is moved aside with a notice, unless another connection did so
// already, a fresh one is opened and prepared as at construction, and the operation runs once
// more on it. Used by one thread, as a connection is.
class CacheDatabase {
 public:
  // Opens and prepares the cache as OpenCacheDatabase does; throws as it does.
  explicit CacheDatabase(PrepareCache prepare_);
  CacheDatabase(const CacheDatabase&) = delete;
  CacheDatabase& operator=(const CacheDatabase&) = delete;

  // The connection of the moment, shared: a later Run may replace it.
  std::shared_ptr<IMutableDatabase> Connection() const { return connection; }

  // Runs operation(IMutableDatabase&) and returns what it returns. On DamagedDatabase it runs
  // again on a fresh file; a second failure, and any other exception, leaves the call. The
  // operation must leave nothing behind on the connection (its transaction and statements end
  // with it), since the connection may be replaced between the two runs.
  template <typename Operation>
  decltype(auto) Run(Operation&& operation) {
    if (!connection) {
      Open();  // a replacement that failed before
    }
    try {
      return operation(*connection);
    } catch (const DamagedDatabase& damage) {
      Replace(damage.what());
    }
    return operation(*connection);
  }

 private:
  void Open();
  // Moves the damaged file aside (unless that happened already) and opens a fresh one.
  void Replace(const std::string& reason);

  PrepareCache prepare;
  std::shared_ptr<IMutableDatabase> connection;
  FileIdentity identity;  // of the file the connection opened
};

}  // namespace Sqlite
