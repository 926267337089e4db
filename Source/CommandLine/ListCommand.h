#pragma once

#include <iosfwd>
#include <string>

namespace Corvalle::CommandLine {

// Prints the items of a wanted list, one line each, and a total. Returns the exit status:
// 0 when the list was read, 1 when it is unreadable (the reason goes to errors).
int ListWantedList(const std::string& path, std::ostream& output, std::ostream& errors);

}  // namespace Corvalle::CommandLine
