#include "Source/CommandLine/ListCommand.h"

#include <cstdint>
#include <iomanip>
#include <locale>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "Source/Base/BrickStore/XmlParser.h"
#include "Source/Base/Formatting.h"
#include "Source/Base/WantedList.h"

namespace Corvalle::CommandLine {

namespace {

std::string TypeText(ItemType type) {
  return type == ItemType::Invalid ? std::string("?") : std::string(1, ToCharacter(type));
}

// Four decimals, as the marketplace writes the limit, and in no currency: the limit is in that
// of the search, which the list does not know. A limit of a billion or more is no limit a buyer
// means to set; it is written short, in powers of ten, instead of in hundreds of digits.
std::string MaximumPriceText(const Item& item) {
  if (!item.HasMaximumPrice()) {
    return "-";
  }
  constexpr double kLongest = 1e9;
  std::ostringstream text;
  text.imbue(std::locale::classic());
  if (item.MaximumPrice() < kLongest) {
    text << std::fixed << std::setprecision(4) << item.MaximumPrice();
  } else {
    text << std::setprecision(3) << item.MaximumPrice();
  }
  return text.str();
}

}  // namespace

int ListWantedList(const std::string& path, std::ostream& output, std::ostream& errors) {
  std::unique_ptr<std::vector<Item>> items;
  std::vector<BrickStore::SkippedLine> skippedLines;
  try {
    items = BrickStore::CreateXmlParser()->ParseItems(path.c_str(), skippedLines);
  } catch (const std::exception& error) {
    errors << "Unable to read the wanted list " << Utilities::ShowControlCharacters(path) << ": "
           << Utilities::ShowControlCharacters(error.what()) << '\n';
    return 1;
  }
  if (!items) {
    errors << "Unable to read the wanted list " << Utilities::ShowControlCharacters(path) << '\n';
    return 1;
  }

  std::uint64_t pieces = 0;
  for (const Item& item : *items) {
    output << std::right << std::setw(6) << item.Quantity() << " filled " << std::setw(6)
           << item.QuantityFilled() << " max " << std::setw(9) << MaximumPriceText(item) << "  "
           << TypeText(item.Type()) << "  " << std::left << std::setw(5)
           << ToString(item.GetCondition()) << std::setw(12)
           << Utilities::ShowControlCharacters(item.Id()) << " colour " << std::setw(4)
           << item.Color().Id() << ' ' << Utilities::ShowControlCharacters(item.Name()) << '\n';
    pieces += item.Quantity();
  }
  // The lines a search leaves out, those already filled too: the rows above show the file as it
  // is, and a filled line among them is no line a search buys.
  const std::size_t skippedCount = skippedLines.size();
  const std::vector<BrickStore::SkippedLine> named = WithFilledLines(*items, skippedLines);
  for (const BrickStore::SkippedLine& skipped : named) {
    output << Utilities::ShowControlCharacters(BrickStore::DescribeSkippedLine(skipped)) << '\n';
  }
  output << items->size() << " lots, " << Utilities::FormatCount(pieces) << " pieces";
  if (skippedCount != 0) {
    output << ", " << skippedCount << (skippedCount == 1 ? " line skipped" : " lines skipped");
  }
  if (named.size() != skippedCount) {
    output << ", " << named.size() - skippedCount << " already filled";
  }
  output << '\n';
  return 0;
}

}  // namespace Corvalle::CommandLine
