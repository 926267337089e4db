#include "Source/Base/SQLite/CacheDatabase.h"

#include <utility>

namespace Sqlite {

CacheDatabase::CacheDatabase(PrepareCache prepare_) : prepare(std::move(prepare_)) { Open(); }

void CacheDatabase::Open() {
  connection = OpenCacheDatabase(prepare);
  identity = IdentifyFile(GetDatabasePath());
}

void CacheDatabase::Replace(const std::string& reason) {
  // Closed first: the damaged file keeps no connection of ours once it is moved.
  connection.reset();
  MoveDamagedCacheAside(identity, reason);
  Open();
}

}  // namespace Sqlite
