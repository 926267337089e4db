#pragma once

#include <string>

#include "Tools/Marketplace/MarketplaceServer.h"
#include "Source/Base/SQLite/SqliteWrapper.h"
#include "Tests/Support/ScopedEnvironment.h"
#include "Tests/Support/TemporaryDirectory.h"

namespace Testing {

// A local marketplace serving a world on a free loopback port, and a fresh data directory for
// the caches and preferences. In-process code is handed Host(); programs the test starts find
// it in CORVALLE_MARKETPLACE_HOST, as their users' programs would. Only one per test process:
// the variable and the data directory are process-wide.
class LiveMarketplace {
 public:
  explicit LiveMarketplace(const std::string& worldJson)
      : server(Corvalle::Marketplace::World::FromJson(worldJson)),
        hostAndPort(Started(server)),
        host("CORVALLE_MARKETPLACE_HOST", hostAndPort.c_str()) {
    Sqlite::SetDataDirectory(dataDirectory.Path().c_str());
  }

  Corvalle::Marketplace::MarketplaceServer& Server() { return server; }
  const std::string& Host() const { return hostAndPort; }
  const TemporaryDirectory& Directory() const { return dataDirectory; }

 private:
  static std::string Started(Corvalle::Marketplace::MarketplaceServer& marketplace) {
    marketplace.Start();
    return marketplace.HostAndPort();
  }

  TemporaryDirectory dataDirectory;
  Corvalle::Marketplace::MarketplaceServer server;
  const std::string hostAndPort;
  ScopedEnvironment host;
};

}  // namespace Testing
