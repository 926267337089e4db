#include "Source/CommandLine/DemoCommand.h"

#include <filesystem>
#include <ostream>

#include "Tools/Marketplace/MarketplaceServer.h"
#include "Source/Base/SQLite/SqliteWrapper.h"

namespace Corvalle::CommandLine {

std::filesystem::path ShippedSamplesDirectory(const std::filesystem::path& relativeToExecutable) {
  const std::filesystem::path self = "/proc/self/exe";
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink(self, error);
  if (error) {
    return self / ".." / relativeToExecutable;
  }
  return (executable.parent_path() / relativeToExecutable).lexically_normal();
}

int RunDemo(const std::string& worldPath, FindOptions options, std::ostream& output,
            std::ostream& errors, bool terminal) {
  // Said before anything starts, so that a missing sample names the place it was looked for
  // rather than surfacing as a parse or network failure.
  for (const std::string& sample : {worldPath, options.wantedListPath}) {
    if (!std::filesystem::is_regular_file(sample)) {
      errors << "Unable to start the demonstration: " << sample
             << " does not exist (are the program's samples installed?)\n";
      return kNoPlans;
    }
  }
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
  options.marketplaceHost = server->HostAndPort();
  errors << "Marketplace of " << worldPath << " on " << server->HostAndPort() << '\n'
         << "Searching for " << options.wantedListPath << '\n';
  return RunFind(options, output, errors, terminal);
}

}  // namespace Corvalle::CommandLine
