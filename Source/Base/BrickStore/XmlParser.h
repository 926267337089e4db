#pragma once

#include <memory>
#include <vector>

#include "Corvalle.h"

namespace Corvalle::BrickStore {

// Reads a wanted list: the marketplace's wanted-list XML (root "INVENTORY") or the export of
// the BrickStore and BrickStock programs (root "BrickStoreXML" or "BrickStockXML").
class IXmlParser {
 public:
  virtual ~IXmlParser() = default;
  IXmlParser(const IXmlParser&) = delete;
  IXmlParser& operator=(const IXmlParser&) = delete;

  // The items of the file in document order, never merged. A marketplace line keeps its
  // QTYFILLED and MAXPRICE as written (0 when absent), neither subtracted nor applied: the
  // wanted list decides that. Null when the file is missing, not well-formed XML or in neither
  // format; an empty vector when the format was recognised but holds no item. A path that is a
  // directory or a file without read permission throws std::runtime_error naming the path, as
  // in "\"/tmp/list\" is a directory, not a file". A number that does not parse or does not fit
  // 32 bits throws std::invalid_argument or std::out_of_range, as does a price limit that is not
  // a finite number throughout, a line without type letter or with one outside the table, or a
  // BrickStore item without ColorID, Qty or Condition: the list is then unreadable as a whole
  // and nothing is returned. The exception's text names the item's position in the file (from
  // 1) and its id, as in "Line 3 (item 3001): unknown item type \"Q\"".
  virtual std::unique_ptr<std::vector<Item>> ParseItems(const char* path) const = 0;

 protected:
  IXmlParser() = default;
};

std::unique_ptr<IXmlParser> CreateXmlParser();

}  // namespace Corvalle::BrickStore
