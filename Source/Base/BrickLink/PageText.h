#pragma once

// Conversions of text read from the marketplace's pages. They never depend on the process's
// locale (the desktop sets the user's), and they throw std::invalid_argument or
// std::out_of_range on text that is not the number they expect.

#include <cstdint>
#include <string>

namespace Corvalle::BrickLink {

// A whole number as the pages write it: decimal digits, ungrouped ("1000") or in groups of
// three after the first ("1,000"), with blanks around. Nothing else is read as a number, so
// that no text is taken for another number than it says: "1,00", "1.5", "1e3", "-1", "+1",
// "0x10", "007" and "30 10" throw std::invalid_argument; a value beyond 32 bits throws
// std::out_of_range.
std::uint32_t ParseUnsigned(const std::string& text);

// Store and colour ids as the pages' addresses write them (digits only, never grouped) and as
// the database keeps them: below 2^31 - 1. A page that names a larger one is unreadable
// (std::out_of_range), never a broken invariant further on.
std::uint32_t ParseIdentifier(const std::string& text);

// An RGB value: hexadecimal digits only, blanks around allowed.
std::uint32_t ParseHexadecimal(const std::string& text);

// An amount as the pages write it: a whole number as ParseUnsigned reads it, of any size, then
// optionally "." and at least one digit: "0.0512", "1,234.5678". No sign, no exponent, no
// decimal comma: anything else throws std::invalid_argument, a value beyond a double
// std::out_of_range.
double ParseAmount(const std::string& text);

// Whether the page ends as every whole page of the marketplace does: with its closing "</HTML>"
// tag (in any case), nothing but blanks after it. Under HTTP/1.0 a connection closed early
// leaves a page that the download cannot tell from a whole one; its reader must, so that
// nothing partial is taken, and kept, for the whole.
bool EndsAsWholePage(const std::string& page);

// Replaces HTML character references (named ones such as &amp; &lt; &gt; &quot; &apos; &nbsp;
// and numeric ones, decimal or hexadecimal) by the characters they stand for, in UTF-8.
// Unknown or malformed references are left as they are.
std::string DecodeHtmlEntities(const std::string& text);

}  // namespace Corvalle::BrickLink
