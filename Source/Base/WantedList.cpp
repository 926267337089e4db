#include "WantedList.h"

#include <boost/log/trivial.hpp>
#include <limits>

#include "BrickLink/PriceGuideRetriever.h"
#include "BrickStore/XmlParser.h"

namespace Corvalle {

WantedList::WantedList(const BrickStore::IXmlParser& xmlParser_,
                       BrickLink::IPriceGuideRetriever& priceGuideRetriever_)
    : xmlParser(xmlParser_), priceGuideRetriever(priceGuideRetriever_) {}

bool WantedList::ReadItems(const char* path) {
  std::unique_ptr<std::vector<Item>> read;
  try {
    read = xmlParser.ParseItems(path);
  } catch (const std::exception& error) {
    BOOST_LOG_TRIVIAL(error) << "Unable to read the wanted list " << path << ": " << error.what();
    return false;
  }
  if (!read) {
    return false;
  }
  // Moved into the vector we own, so that its address stays the same for the search.
  items = std::move(*read);
  return true;
}

std::vector<Item>& WantedList::Items() { return items; }

std::uint32_t WantedList::TotalQuantity() const {
  std::uint64_t total = 0;
  for (const Item& item : items) {
    total += item.Quantity();
  }
  // Only compared with the stores per combination; a larger sum means "plenty".
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(total, std::numeric_limits<std::uint32_t>::max()));
}

bool WantedList::RetrievePriceGuides(const RetrieverStatusCallback& statusCallback) {
  const auto total = static_cast<std::uint32_t>(items.size());
  for (std::uint32_t index = 0; index < total; ++index) {
    Item& item = items[index];
    const std::string& colorName = item.Color().Name();
    statusCallback(
        {index, total, item.Name(),
         colorName == BrickLink::ColorInformation::kNoColorName ? std::string() : colorName});
    if (!priceGuideRetriever.TryPopulatePriceGuides(item)) {
      BOOST_LOG_TRIVIAL(error) << "Failed to retrieve data for " << item.Name();
      return false;
    }
  }
  if (total > 0) {
    statusCallback({total, total, "Done!", ""});
  }
  return true;
}

}  // namespace Corvalle
