#pragma once

#include <iosfwd>
#include <string>

namespace Corvalle::CommandLine {

// Prints the items of a wanted list, one line each, as the file has them (neither merged nor
// with the filled quantity taken off): the quantity, the quantity already filled, the price
// limit ("-" for none), type, condition, id, colour and name; then a total of the lines and of
// their quantities. Returns the exit status: 0 when the list was read, 1 when it is unreadable
// (the reason goes to errors).
int ListWantedList(const std::string& path, std::ostream& output, std::ostream& errors);

}  // namespace Corvalle::CommandLine
