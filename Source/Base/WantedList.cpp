#include "Source/Base/WantedList.h"

#include <algorithm>
#include <boost/log/trivial.hpp>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>

#include "Source/Base/BrickLink/PriceGuideRetriever.h"

namespace Corvalle {

namespace {

// What makes lines one item to buy.
using Key = std::tuple<ItemType, std::string, std::uint32_t, Condition>;

Key KeyOf(const Item& item) {
  return Key{item.Type(), item.Id(), item.Color().Id(), item.GetCondition()};
}

// Whether a line or a merged item is had in full. A line that wants 0 has nothing filled to
// tell of: a BrickStore Qty 0 stays as that format keeps it.
bool IsFilled(std::uint64_t wanted, std::uint64_t filled) { return filled > 0 && filled >= wanted; }

// What the repeated lines of one item add up to.
struct MergedLine {
  std::uint64_t wanted = 0;
  std::uint64_t filled = 0;
  double maximumPrice = 0.0;  // 0 or below: none of the lines has a limit
  bool repeated = false;
};

// The lines are bought as one quantity from the same lots, so a single limit must hold for all
// their units. The strictest never pays for a unit more than the buyer allowed on any of the
// lines, where a looser one would buy the units of the stricter line at a price the buyer
// refused; at worst fewer lots qualify, and the list limits can still be ignored.
double StricterLimit(double first, double second) {
  if (!(first > 0.0)) {
    return second > 0.0 ? second : 0.0;
  }
  return second > 0.0 ? std::min(first, second) : first;
}

// The items the search buys, all with nothing filled. A line the buyer already has in full is
// left out, as the reader leaves out a marketplace line wanting 0; a BrickStore line of Qty 0,
// which has nothing filled, stays as that format keeps it.
std::vector<Item> ToItemsToBuy(const std::vector<Item>& items, ListLimits limits) {
  std::vector<Item> toBuy;
  toBuy.reserve(items.size());
  for (const Item& item : items) {
    std::uint32_t quantity = item.Quantity();
    double maximumPrice = 0.0;
    if (limits == ListLimits::Apply) {
      if (IsFilled(quantity, item.QuantityFilled())) {
        continue;
      }
      quantity -= item.QuantityFilled();
      maximumPrice = item.HasMaximumPrice() ? item.MaximumPrice() : 0.0;
    }
    toBuy.emplace_back(item.Type(), item.Id(), item.Name(), item.Color().Id(), item.GetCondition(),
                       quantity, 0, maximumPrice);
  }
  return toBuy;
}

}  // namespace

std::vector<BrickStore::SkippedLine> WithFilledLines(const std::vector<Item>& items,
                                                     std::vector<BrickStore::SkippedLine> skipped) {
  std::map<Key, std::pair<std::uint64_t, std::uint64_t>> totals;  // wanted, filled
  for (const Item& item : items) {
    auto& [wanted, filled] = totals[KeyOf(item)];
    wanted += item.Quantity();
    filled += item.QuantityFilled();
  }
  // Every line of the file is either an item, in order, or a line the parser skipped: an item's
  // line is the next one that was not skipped.
  std::vector<BrickStore::SkippedLine> filledLines;
  std::size_t line = 0;
  auto next = skipped.begin();
  for (const Item& item : items) {
    ++line;
    while (next != skipped.end() && next->line == line) {
      ++line;
      ++next;
    }
    const auto& [wanted, filled] = totals[KeyOf(item)];
    if (IsFilled(item.Quantity(), item.QuantityFilled())) {
      filledLines.push_back({line, item.Id(),
                             "already filled (QTYFILLED " + std::to_string(item.QuantityFilled()) +
                                 " of MINQTY " + std::to_string(item.Quantity()) + ")"});
    } else if (IsFilled(wanted, filled)) {
      filledLines.push_back(
          {line, item.Id(), "already filled by the QTYFILLED to spare of the item's other lines"});
    }
  }
  skipped.insert(skipped.end(), filledLines.begin(), filledLines.end());
  std::stable_sort(skipped.begin(), skipped.end(),
                   [](const BrickStore::SkippedLine& first, const BrickStore::SkippedLine& second) {
                     return first.line < second.line;
                   });
  return skipped;
}

std::vector<Item> MergeRepeatedItems(std::vector<Item> items) {
  std::map<Key, std::size_t> positions;
  std::vector<Item> merged;
  std::vector<MergedLine> lines;
  for (Item& item : items) {
    const auto [position, first] = positions.try_emplace(KeyOf(item), merged.size());
    if (first) {
      lines.push_back({item.Quantity(), item.QuantityFilled(), item.MaximumPrice(), false});
      merged.push_back(std::move(item));
      continue;
    }
    MergedLine& line = lines[position->second];
    line.repeated = true;
    line.filled += item.QuantityFilled();
    line.maximumPrice = StricterLimit(line.maximumPrice, item.MaximumPrice());
    line.wanted += item.Quantity();
    if (line.wanted > std::numeric_limits<std::uint32_t>::max()) {
      throw std::out_of_range("Item " + item.Id() + " (colour " +
                              std::to_string(item.Color().Id()) + ", " +
                              ToString(item.GetCondition()) + ") is wanted more than " +
                              std::to_string(std::numeric_limits<std::uint32_t>::max()) +
                              " times in all");
    }
  }
  for (std::size_t index = 0; index < merged.size(); ++index) {
    const Item& item = merged[index];
    const MergedLine& line = lines[index];
    if (line.repeated) {
      // Only ever taken from a wanted quantity of 32 bits: a larger sum covers it all the same.
      const auto filled = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(line.filled, std::numeric_limits<std::uint32_t>::max()));
      merged[index] =
          Item(item.Type(), item.Id(), item.Name(), item.Color().Id(), item.GetCondition(),
               static_cast<std::uint32_t>(line.wanted), filled, line.maximumPrice);
    }
  }
  return merged;
}

WantedList::WantedList(const BrickStore::IXmlParser& xmlParser_,
                       BrickLink::IPriceGuideRetriever& priceGuideRetriever_, ListLimits limits_)
    : xmlParser(xmlParser_), priceGuideRetriever(priceGuideRetriever_), limits(limits_) {}

bool WantedList::ReadItems(const char* path) {
  readFailure.clear();
  skippedLines.clear();
  std::vector<Item> read;
  std::vector<BrickStore::SkippedLine> skipped;
  try {
    std::unique_ptr<std::vector<Item>> parsed = xmlParser.ParseItems(path, skipped);
    if (!parsed) {
      return false;
    }
    if (limits == ListLimits::Apply) {
      skipped = WithFilledLines(*parsed, std::move(skipped));
    }
    read = ToItemsToBuy(MergeRepeatedItems(std::move(*parsed)), limits);
  } catch (const std::exception& error) {
    BOOST_LOG_TRIVIAL(error) << "Unable to read the wanted list " << path << ": " << error.what();
    readFailure = error.what();
    return false;
  }
  // Moved into the vector we own, so that its address stays the same for the search.
  items = std::move(read);
  skippedLines = std::move(skipped);
  return true;
}

const std::string& WantedList::ReadFailure() const { return readFailure; }

const std::vector<BrickStore::SkippedLine>& WantedList::SkippedLines() const {
  return skippedLines;
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
