#pragma once

// Conversions of text read from the marketplace's pages. They never depend on the process's
// locale (the desktop sets the user's), and they throw std::invalid_argument or
// std::out_of_range on text that is not the number they expect.

#include <cstdint>
#include <string>

namespace Corvalle::BrickLink {

// Leading blanks skipped, then at least one decimal digit, up to the first other character;
// the value must fit 32 bits.
std::uint32_t ParseUnsigned(const std::string& text);

// Store and colour ids as the database keeps them: below 2^31 - 1. A page that names a larger
// one is unreadable (std::out_of_range), never a broken invariant further on.
std::uint32_t ParseIdentifier(const std::string& text);

// The same in base 16, for RGB values.
std::uint32_t ParseHexadecimal(const std::string& text);

// The longest leading text that forms a decimal number: "1,234" gives 1, "0.0512" 0.0512.
double ParseLeadingDecimal(const std::string& text);

// Replaces HTML character references (named ones such as &amp; &lt; &gt; &quot; &apos; &nbsp;
// and numeric ones, decimal or hexadecimal) by the characters they stand for, in UTF-8.
// Unknown or malformed references are left as they are.
std::string DecodeHtmlEntities(const std::string& text);

}  // namespace Corvalle::BrickLink
