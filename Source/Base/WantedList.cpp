#include "WantedList.h"

#include <boost/log/trivial.hpp>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>

#include "BrickLink/PriceGuideRetriever.h"
#include "BrickStore/XmlParser.h"

namespace Corvalle {

std::vector<Item> MergeRepeatedItems(std::vector<Item> items) {
  using Key = std::tuple<ItemType, std::string, std::uint32_t, Condition>;
  std::map<Key, std::size_t> positions;
  std::vector<Item> merged;
  std::vector<std::uint64_t> totals;
  for (Item& item : items) {
    const auto [position, first] = positions.try_emplace(
        Key{item.Type(), item.Id(), item.Color().Id(), item.GetCondition()}, merged.size());
    if (first) {
      totals.push_back(item.Quantity());
      merged.push_back(std::move(item));
      continue;
    }
    std::uint64_t& total = totals[position->second];
    total += item.Quantity();
    if (total > std::numeric_limits<std::uint32_t>::max()) {
      throw std::out_of_range("Item " + item.Id() + " (colour " +
                              std::to_string(item.Color().Id()) + ", " +
                              ToString(item.GetCondition()) + ") is wanted more than " +
                              std::to_string(std::numeric_limits<std::uint32_t>::max()) +
                              " times in all");
    }
  }
  for (std::size_t index = 0; index < merged.size(); ++index) {
    const Item& item = merged[index];
    if (totals[index] != item.Quantity()) {
      merged[index] = Item(item.Type(), item.Id(), item.Name(), item.Color().Id(),
                           item.GetCondition(), static_cast<std::uint32_t>(totals[index]));
    }
  }
  return merged;
}

WantedList::WantedList(const BrickStore::IXmlParser& xmlParser_,
                       BrickLink::IPriceGuideRetriever& priceGuideRetriever_)
    : xmlParser(xmlParser_), priceGuideRetriever(priceGuideRetriever_) {}

bool WantedList::ReadItems(const char* path) {
  readFailure.clear();
  std::vector<Item> read;
  try {
    std::unique_ptr<std::vector<Item>> parsed = xmlParser.ParseItems(path);
    if (!parsed) {
      return false;
    }
    read = MergeRepeatedItems(std::move(*parsed));
  } catch (const std::exception& error) {
    BOOST_LOG_TRIVIAL(error) << "Unable to read the wanted list " << path << ": " << error.what();
    readFailure = error.what();
    return false;
  }
  // Moved into the vector we own, so that its address stays the same for the search.
  items = std::move(read);
  return true;
}

const std::string& WantedList::ReadFailure() const { return readFailure; }

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
