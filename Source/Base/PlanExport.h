#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "BrickLink/CombinationData.h"

namespace Corvalle {

// Writes one wanted-list file per store of the plan into directory, named
// "plan-RANK-store-ID.xml", creating the directory when missing. Returns the paths written;
// throws std::runtime_error when a file cannot be written, and std::filesystem::filesystem_error
// when the directory cannot be made.
std::vector<std::string> ExportWantedLists(const BrickLink::ICombinationData& plan,
                                           std::uint32_t rank, const std::string& directory,
                                           std::uint32_t wantedListId);

}  // namespace Corvalle
