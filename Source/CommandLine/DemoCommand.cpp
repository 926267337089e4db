#include "DemoCommand.h"

#include <cstdlib>
#include <filesystem>
#include <ostream>

#include "MarketplaceServer.h"
#include "SQLite/SqliteWrapper.h"

namespace Corvalle::CommandLine {

int RunDemo(const std::string& worldPath, FindOptions options, std::ostream& output,
            std::ostream& errors, bool terminal) {
  std::unique_ptr<Marketplace::MarketplaceServer> server;
  try {
    server =
        std::make_unique<Marketplace::MarketplaceServer>(Marketplace::World::FromFile(worldPath));
    server->Start();
    const std::string demoDirectory = Sqlite::GetDefaultDataDirectory() + "demo/";
    std::filesystem::create_directories(demoDirectory);
    Sqlite::SetDataDirectory(demoDirectory.c_str());
  } catch (const std::exception& error) {
    errors << "Unable to start the demonstration: " << error.what() << '\n';
    return kNoPlans;
  }
  setenv("CORVALLE_MARKETPLACE_HOST", server->HostAndPort().c_str(), 1);
  errors << "Marketplace of " << worldPath << " on " << server->HostAndPort() << '\n'
         << "Searching for " << options.wantedListPath << '\n';
  return RunFind(options, output, errors, terminal);
}

}  // namespace Corvalle::CommandLine
