#pragma once

#include <string>

#include "MarketplaceServer.h"
#include "SQLite/SqliteWrapper.h"
#include "ScopedEnvironment.h"
#include "TemporaryDirectory.h"

namespace Testing {

// A local marketplace serving a world on a free loopback port, the client pointed at it, and a
// fresh data directory for the caches and preferences. Only one per test process: the host and
// the data directory are process-wide.
class LiveMarketplace {
 public:
  explicit LiveMarketplace(const std::string& worldJson)
      : server(Corvalle::Marketplace::World::FromJson(worldJson)),
        host("CORVALLE_MARKETPLACE_HOST", Started(server).c_str()) {
    Sqlite::SetDataDirectory(dataDirectory.Path().c_str());
  }

  Corvalle::Marketplace::MarketplaceServer& Server() { return server; }
  const TemporaryDirectory& Directory() const { return dataDirectory; }

 private:
  static std::string Started(Corvalle::Marketplace::MarketplaceServer& marketplace) {
    marketplace.Start();
    return marketplace.HostAndPort();
  }

  TemporaryDirectory dataDirectory;
  Corvalle::Marketplace::MarketplaceServer server;
  ScopedEnvironment host;
};

}  // namespace Testing
