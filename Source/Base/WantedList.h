#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Corvalle.h"
#include "RetrieverStatus.h"

namespace Corvalle {

namespace BrickStore {
class IXmlParser;
}
namespace BrickLink {
class IPriceGuideRetriever;
}

// The lines of the same type, id, colour and condition made one, in the place of the first and
// with its name, their quantities added up. Each line is compared with a store's whole stock, so
// two lines of one part would otherwise both be bought from the same lot. Throws
// std::out_of_range, naming the item, when a sum does not fit the 32 bits of a quantity.
std::vector<Item> MergeRepeatedItems(std::vector<Item> items);

// The items of one search: read from the wanted-list file, then given their price guides.
// Used by the search thread only.
class WantedList {
 public:
  WantedList(const BrickStore::IXmlParser& xmlParser_,
             BrickLink::IPriceGuideRetriever& priceGuideRetriever_);
  WantedList(const WantedList&) = delete;
  WantedList& operator=(const WantedList&) = delete;

  // Replaces the items with the file's, lines of one part merged (MergeRepeatedItems); an empty
  // list counts as read. On an unreadable file (null result or any exception) returns false and
  // keeps what it held; ReadFailure then tells why, or is empty when the parser gave no reason.
  bool ReadItems(const char* path);
  const std::string& ReadFailure() const;
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
  const BrickStore::IXmlParser& xmlParser;
  BrickLink::IPriceGuideRetriever& priceGuideRetriever;
};

}  // namespace Corvalle
