#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/CombinationData.h"

namespace Corvalle {

// Writes one wanted-list file per store of the plan into directory, named
// "plan-RANK-store-ID.xml" and ended by a line feed, creating the directory when missing. Each
// file is written under a temporary name in the directory and renamed over its target, so a
// symbolic link at the target is replaced, never written through. Returns the paths written;
// throws std::runtime_error when the directory names something that is not a folder or a file
// cannot be written, and std::filesystem::filesystem_error when the directory cannot be made.
std::vector<std::string> ExportWantedLists(const BrickLink::ICombinationData& plan,
                                           std::uint32_t rank, const std::string& directory,
                                           std::uint32_t wantedListId);

}  // namespace Corvalle
