#include "PlanExport.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace Corvalle {

std::vector<std::string> ExportWantedLists(const BrickLink::ICombinationData& plan,
                                           std::uint32_t rank, const std::string& directory,
                                           std::uint32_t wantedListId) {
  std::filesystem::create_directories(directory);
  std::vector<std::string> written;
  for (const BrickLink::StoreInformation& store : plan.Stores()) {
    const auto path =
        std::filesystem::path(directory) /
        ("plan-" + std::to_string(rank) + "-store-" + std::to_string(store.Id()) + ".xml");
    std::ofstream file(path, std::ios::binary);
    file << plan.CreateWantedListXml(store.Id(), wantedListId);
    file.close();
    if (!file) {
      throw std::runtime_error("Unable to write " + path.string());
    }
    written.push_back(path.string());
  }
  return written;
}

}  // namespace Corvalle
