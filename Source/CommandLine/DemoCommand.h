#pragma once

#include <iosfwd>
#include <string>

#include "FindCommand.h"

namespace Corvalle::CommandLine {

// A real search against a marketplace played on this machine: starts the local marketplace
// server in-process on a free loopback port with the world file, points the search at it and
// runs it in a data directory of its own (beside the user's, never in it), so that nothing of
// the sample world reaches the caches of a real search. Returns an exit status.
int RunDemo(const std::string& worldPath, FindOptions options, std::ostream& output,
            std::ostream& errors, bool terminal);

}  // namespace Corvalle::CommandLine
