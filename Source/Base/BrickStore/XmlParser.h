#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "Source/Base/Corvalle.h"

namespace Corvalle::BrickStore {

// A line of a wanted list left out on purpose: a marketplace line without MINQTY, or with
// MINQTY 0, and (named by the wanted list, see WithFilledLines) one already filled. The front
// ends name each one, so that no line goes missing without a word.
struct SkippedLine {
  std::size_t line;    // its position among the lines of the file, from 1
  std::string id;      // its item id
  std::string reason;  // "no MINQTY", "MINQTY is 0" or "already filled ..."

  friend bool operator==(const SkippedLine&, const SkippedLine&) = default;
};

// "Line 4 (item 3001) skipped: MINQTY is 0".
std::string DescribeSkippedLine(const SkippedLine& skipped);

// Reads a wanted list: the marketplace's wanted-list XML (root "INVENTORY") or the export of
// the BrickStore and BrickStock programs (root "BrickStoreXML" or "BrickStockXML").
class IXmlParser {
 public:
  virtual ~IXmlParser() = default;
  IXmlParser(const IXmlParser&) = delete;
  IXmlParser& operator=(const IXmlParser&) = delete;

  // The items of the file in document order, never merged, and in skippedLines (replaced) the
  // lines left out on purpose, in order: every line of the file is one or the other. A
  // marketplace line keeps its QTYFILLED and MAXPRICE as written (0 when absent), neither
  // subtracted nor applied: the wanted list decides that. Null when the file is missing, not
  // well-formed XML or in neither format; an empty vector when the format was recognised but
  // holds no item. A path that is a directory or a file without read permission throws
  // std::runtime_error naming the path, as in "\"/tmp/list\" is a directory, not a file". A
  // line that cannot be used throws std::invalid_argument or std::out_of_range and nothing is
  // returned: a number that is not a whole decimal number of 32 bits, a price limit that is not
  // a finite number throughout, a condition other than N, U or X (trimmed, in either case; none
  // is any condition), a line without item id or type letter or with one outside the table, a
  // field given twice, a BrickStore item without ColorID, Qty or Condition, an element among
  // the lines that is not one, or a second list in the file. The exception's text names the
  // line's position in the file (from 1) and its id, as in "Line 3 (item 3001): unknown item
  // type \"Q\"".
  virtual std::unique_ptr<std::vector<Item>> ParseItems(
      const char* path, std::vector<SkippedLine>& skippedLines) const = 0;
  // The same, for a caller that does not name the skipped lines.
  std::unique_ptr<std::vector<Item>> ParseItems(const char* path) const;

 protected:
  IXmlParser() = default;
};

std::unique_ptr<IXmlParser> CreateXmlParser();

}  // namespace Corvalle::BrickStore
