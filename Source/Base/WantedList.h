#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Source/Base/BrickStore/XmlParser.h"
#include "Source/Base/Corvalle.h"
#include "Source/Base/RetrieverStatus.h"

namespace Corvalle {

namespace BrickLink {
class IPriceGuideRetriever;
}

// Whether the search heeds what a marketplace wanted list says beyond the quantity: how many of
// a line the buyer already has (QTYFILLED) and the most the buyer pays per unit (MAXPRICE).
// Ignore reads the list as before those existed: MINQTY is bought in full, at any price.
enum class ListLimits { Apply, Ignore };

// The lines of the same type, id, colour and condition made one, in the place of the first and
// with its name, their quantities added up. Each line is compared with a store's whole stock, so
// two lines of one part would otherwise both be bought from the same lot. The filled quantities
// are added up as the wanted ones are (the parts are alike, so an extra one had for one line
// serves another); a sum of them beyond 32 bits is kept as the largest quantity, which covers
// any wanted one. The price limit is the strictest positive one among the lines, or none (0)
// when none has one. Throws std::out_of_range, naming the item, when a sum of wanted quantities
// does not fit the 32 bits of a quantity.
std::vector<Item> MergeRepeatedItems(std::vector<Item> items);

// The skipped lines of a list as the parser read it (its items in file order, never merged, and
// the lines it skipped), with the lines added, in file order, that a search applying the list's
// limits buys nothing of: a line whose QTYFILLED covers its MINQTY, and a line of an item
// whose repeated lines are covered all together by the QTYFILLED another of them has to spare.
// Their reasons begin "already filled".
std::vector<BrickStore::SkippedLine> WithFilledLines(const std::vector<Item>& items,
                                                     std::vector<BrickStore::SkippedLine> skipped);

// The items of one search: read from the wanted-list file, then given their price guides.
// Used by the search thread only.
class WantedList {
 public:
  WantedList(const BrickStore::IXmlParser& xmlParser_,
             BrickLink::IPriceGuideRetriever& priceGuideRetriever_,
             ListLimits limits_ = ListLimits::Apply);
  WantedList(const WantedList&) = delete;
  WantedList& operator=(const WantedList&) = delete;

  // Replaces the items with the file's, lines of one part merged (MergeRepeatedItems); an empty
  // list counts as read. With the limits applied, each item is what is still to buy, its filled
  // quantity taken from the wanted one, and an item already complete is left out as a line
  // wanting 0 is; it keeps a positive price limit. With them ignored, each item is its wanted
  // quantity without limit. Either way the items have a filled quantity of 0. On an unreadable
  // file (null result or any exception) returns false and keeps what it held; ReadFailure then
  // tells why, or is empty when the parser gave no reason.
  bool ReadItems(const char* path);
  const std::string& ReadFailure() const;
  // The lines of the file last read that the reader left out on purpose and, with the limits
  // applied, those already filled (WithFilledLines); empty before a read and after one that
  // failed.
  const std::vector<BrickStore::SkippedLine>& SkippedLines() const;
  // The items; the vector's address stays valid for the life of the wanted list.
  std::vector<Item>& Items();
  std::uint32_t TotalQuantity() const;
  // Gets every item's price guides, in list order, reporting each item before it is requested
  // and a closing "Done!". Stops at the first item that cannot be had (false); an item without
  // type letter throws std::logic_error.
  bool RetrievePriceGuides(const RetrieverStatusCallback& statusCallback);

 private:
  std::vector<Item> items;
  std::string readFailure;
  std::vector<BrickStore::SkippedLine> skippedLines;
  const BrickStore::IXmlParser& xmlParser;
  BrickLink::IPriceGuideRetriever& priceGuideRetriever;
  ListLimits limits;
};

}  // namespace Corvalle
