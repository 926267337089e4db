#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>

#include "Source/CommandLine/FindCommand.h"

namespace Corvalle::CommandLine {

// A real search against a marketplace played on this machine: starts the local marketplace
// server in-process on a free loopback port with the world file, points the search at it and
// runs it in a data directory of its own (beside the user's, never in it), so that nothing of
// the sample world reaches the caches of a real search. Returns an exit status.
// The directory of the sample world and wanted lists that ship with the program: the running
// executable's directory joined with relativeToExecutable, so that an installed tree works
// wherever it is unpacked and no build machine's path lives on in the program. Without /proc,
// the unresolved path through /proc/self/exe, which still says in errors where it looked.
std::filesystem::path ShippedSamplesDirectory(const std::filesystem::path& relativeToExecutable);

int RunDemo(const std::string& worldPath, FindOptions options, std::ostream& output,
            std::ostream& errors, bool terminal);

}  // namespace Corvalle::CommandLine
