#include "Source/Base/BrickStore/XmlParser.h"

#include <boost/log/trivial.hpp>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <pugixml.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Corvalle::BrickStore {

namespace {

// How a line is named to the user: its position among the items of the file and its id.
std::string DescribeLine(std::size_t line, const std::string& id) {
  return "Line " + std::to_string(line) + (id.empty() ? " (no item id)" : " (item " + id + ")");
}

bool IsBlank(char character) {
  return character == ' ' || character == '\t' || character == '\n' || character == '\r';
}

// The text without the XML white space around it: a pretty-printed file puts line breaks and
// indentation inside elements, which are no part of a value.
std::string Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsBlank(text.back())) {
    text.remove_suffix(1);
  }
  return std::string(text);
}

// The text of an item's only element of the name, empty when there is none. All of its text
// counts, as an XML reader gives it: "30<!-- x -->10" is 3010, not the 30 before the comment.
// A second element of the name, or an element inside it, refuses the list: which of two
// quantities the buyer meant cannot be told.
std::string FieldText(const pugi::xml_node& item, const char* name, const std::string& line) {
  const pugi::xml_node field = item.child(name);
  if (!field) {
    return {};
  }
  if (field.next_sibling(name)) {
    throw std::invalid_argument(line + ": " + name + " is given twice");
  }
  std::string text;
  for (const pugi::xml_node& part : field.children()) {
    if (part.type() == pugi::node_pcdata || part.type() == pugi::node_cdata) {
      text += part.value();
    } else if (part.type() == pugi::node_element) {
      throw std::invalid_argument(line + ": " + name + " holds the element <" + part.name() + ">");
    }
  }
  return text;
}

// A whole decimal number of 32 bits, blanks around it aside. Anything else is refused rather
// than read as far as it goes, which would make "2.5" a 2, "1e3" a 1 and "0x10" a 0 (and so a
// line skipped). The exception names the line and the field.
std::uint32_t ToUInt32(const std::string& text, const std::string& line, const char* field) {
  const std::string quoted = std::string(field) + " \"" + text + "\"";
  const std::string digits = Trim(text);
  const bool negative = digits.size() > 1 && digits.front() == '-';
  const std::string_view magnitude = std::string_view(digits).substr(negative ? 1 : 0);
  if (magnitude.empty() || magnitude.find_first_not_of("0123456789") != std::string_view::npos) {
    throw std::invalid_argument(line + ": " + quoted + " is not a whole number");
  }
  if (negative && magnitude.find_first_not_of('0') != std::string_view::npos) {
    throw std::out_of_range(line + ": " + quoted + " is below 0");
  }
  std::uint32_t value = 0;
  const auto [end, error] =
      std::from_chars(magnitude.data(), magnitude.data() + magnitude.size(), value);
  if (error != std::errc() || end != magnitude.data() + magnitude.size()) {
    throw std::out_of_range(line + ": " + quoted + " does not fit 32 bits");
  }
  return value;
}

bool IsEmpty(const std::string& text) { return Trim(text).empty(); }

// A price limit as the marketplace writes it ("0.0500", "-1.0000"). Unlike the whole numbers,
// the text must be a number throughout, blanks around it aside: reading "0,05" or "1.50 EUR" as
// far as it goes would search with a limit the buyer never set. Infinite or NaN values are not
// numbers either. Empty text is no limit, as an absent element is.
double ToPrice(const std::string& text, const std::string& line, const char* field) {
  const std::string quoted = std::string(field) + " \"" + text + "\"";
  const std::string digits = Trim(text);
  if (digits.empty()) {
    return 0.0;
  }
  double value = 0.0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error == std::errc::result_out_of_range) {
    throw std::out_of_range(line + ": " + quoted + " is out of range");
  }
  if (error != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value)) {
    throw std::invalid_argument(line + ": " + quoted + " is not a number");
  }
  return value;
}

// For the fields a line cannot do without: an absent one is named as absent, not as the empty
// text that is "not a whole number".
std::uint32_t ToRequiredUInt32(const std::string& text, const std::string& line,
                               const char* field) {
  if (IsEmpty(text)) {
    throw std::invalid_argument(line + ": no " + field);
  }
  return ToUInt32(text, line, field);
}

// A condition, trimmed and in either case: N is new; U, X (any) or none is any condition. Any
// other text refuses the list: taking " N" or "n" for any condition would buy used parts for a
// new line.
Condition ToCondition(const std::string& text, const std::string& line, const char* field) {
  const std::string letter = Trim(text);
  if (letter.empty()) {
    return Condition::Used;
  }
  if (letter.size() == 1) {
    switch (letter.front()) {
      case 'N':
      case 'n':
        return Condition::New;
      case 'U':
      case 'u':
      case 'X':
      case 'x':
        return Condition::Used;
      default:
        break;
    }
  }
  throw std::invalid_argument(line + ": " + field + " \"" + text +
                              "\" is not N (new), U (used) or X (any)");
}

// The type of an item element. No letter, or one outside the table, refuses the whole list:
// searching the rest of it would buy an incomplete set, and an item without type would only be
// found out at the price guides, with nothing to tell which line it came from.
ItemType ReadItemType(const std::string& text, const std::string& line, const char* field) {
  const std::string letters = Trim(text);
  if (letters.empty()) {
    throw std::invalid_argument(line + ": no item type (" + field + ")");
  }
  try {
    return ToItemType(letters.front());
  } catch (const std::invalid_argument&) {
    throw std::invalid_argument(line + ": unknown item type \"" + text + "\"");
  }
}

// An id the price guides can be asked for: without one the line could only fail later, at the
// marketplace, with nothing to tell which line it was.
std::string ReadItemId(const std::string& text, const std::string& line, const char* field) {
  std::string id = Trim(text);
  if (id.empty()) {
    throw std::invalid_argument(line + ": no item id (" + field + ")");
  }
  return id;
}

// The element children of a list, each one line: an element of another name (a lower-case
// <item>, a nested list) is refused with its position instead of passed over.
std::vector<pugi::xml_node> Lines(const pugi::xml_node& list, const char* lineName,
                                  const char* idName) {
  std::vector<pugi::xml_node> lines;
  for (const pugi::xml_node& child : list.children()) {
    if (child.type() != pugi::node_element) {
      continue;
    }
    if (std::string_view(child.name()) != lineName) {
      throw std::invalid_argument(DescribeLine(lines.size() + 1, Trim(child.child_value(idName))) +
                                  ": <" + child.name() + "> is not a <" + lineName + "> element");
    }
    lines.push_back(child);
  }
  return lines;
}

// A wanted list is one list: a second top-level element (a second <INVENTORY> pasted after the
// first) would otherwise be passed over with its items.
void RefuseSecondList(const pugi::xml_document& document) {
  pugi::xml_node first;
  for (const pugi::xml_node& child : document.children()) {
    if (child.type() != pugi::node_element) {
      continue;
    }
    if (first) {
      throw std::invalid_argument(std::string("The file holds more than one list: <") +
                                  child.name() + "> follows <" + first.name() + ">");
    }
    first = child;
  }
}

// pugixml gives no reason of its own for these: a directory reads as "Could not allocate
// memory" and a file without read permission as "File was not found", both of which send the
// user looking in the wrong place. A missing file is left to pugixml, whose text is right.
void RefuseUnopenableFile(const char* path) {
  const std::string quoted = std::string("\"") + path + "\"";
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    throw std::runtime_error(quoted + " is a directory, not a file");
  }
  std::FILE* file = std::fopen(path, "rb");
  if (file != nullptr) {
    std::fclose(file);
    return;
  }
  if (errno == EACCES || errno == EPERM) {
    throw std::runtime_error(quoted + " cannot be read: permission denied");
  }
}

void AddItem(std::vector<Item>& items, Item item) {
  items.push_back(std::move(item));
  BOOST_LOG_TRIVIAL(trace) << DescribeItem(items.back());
}

class XmlParser final : public IXmlParser {
 public:
  std::unique_ptr<std::vector<Item>> ParseItems(
      const char* path, std::vector<SkippedLine>& skippedLines) const override;

 private:
  static std::unique_ptr<std::vector<Item>> ParseBrickStoreItems(const pugi::xml_node& root);
  static void PopulateAndAddBrickStoreItem(const pugi::xml_node& itemNode, std::size_t line,
                                           std::vector<Item>& items);
  static std::unique_ptr<std::vector<Item>> ParseMarketplaceItems(
      const pugi::xml_node& root, std::vector<SkippedLine>& skippedLines);
  static void PopulateAndAddMarketplaceItem(const pugi::xml_node& itemNode, std::size_t line,
                                            std::vector<Item>& items,
                                            std::vector<SkippedLine>& skippedLines);
};

std::unique_ptr<std::vector<Item>> XmlParser::ParseItems(
    const char* path, std::vector<SkippedLine>& skippedLines) const {
  skippedLines.clear();
  RefuseUnopenableFile(path);
  pugi::xml_document document;
  const pugi::xml_parse_result result = document.load_file(path);
  if (!result) {
    BOOST_LOG_TRIVIAL(error) << "Error parsing XML: " << result.description();
    return nullptr;
  }

  pugi::xml_node root = document.child("BrickStoreXML");
  if (!root) {
    root = document.child("BrickStockXML");
  }
  if (root) {
    RefuseSecondList(document);
    return ParseBrickStoreItems(root);
  }

  root = document.child("INVENTORY");
  if (!root) {
    BOOST_LOG_TRIVIAL(error) << "Not an understood XML file!";
    return nullptr;
  }
  RefuseSecondList(document);
  std::vector<SkippedLine> skipped;
  auto items = ParseMarketplaceItems(root, skipped);
  // Handed out only with a list that was read: a refused one has no lines to tell of.
  skippedLines = std::move(skipped);
  return items;
}

std::unique_ptr<std::vector<Item>> XmlParser::ParseBrickStoreItems(const pugi::xml_node& root) {
  const pugi::xml_node inventory = root.child("Inventory");
  if (!inventory) {
    BOOST_LOG_TRIVIAL(error) << "Can't find inventory";
  } else if (inventory.next_sibling("Inventory")) {
    throw std::invalid_argument("The file holds more than one list: a second <Inventory>");
  }
  const std::vector<pugi::xml_node> itemNodes = Lines(inventory, "Item", "ItemID");
  if (itemNodes.empty()) {
    BOOST_LOG_TRIVIAL(warning) << "No items found";
  }
  auto items = std::make_unique<std::vector<Item>>();
  std::size_t line = 0;
  for (const pugi::xml_node& itemNode : itemNodes) {
    PopulateAndAddBrickStoreItem(itemNode, ++line, *items);
  }
  return items;
}

void XmlParser::PopulateAndAddBrickStoreItem(const pugi::xml_node& itemNode, std::size_t line,
                                             std::vector<Item>& items) {
  const std::string idText = FieldText(itemNode, "ItemID", DescribeLine(line, ""));
  const std::string where = DescribeLine(line, Trim(idText));
  const ItemType type = ReadItemType(FieldText(itemNode, "ItemTypeID", where), where, "ItemTypeID");
  std::string id = ReadItemId(idText, where, "ItemID");
  std::string name = FieldText(itemNode, "ItemName", where);
  const std::uint32_t colorId =
      ToRequiredUInt32(FieldText(itemNode, "ColorID", where), where, "ColorID");

  // Buying the rest of a list with an item silently dropped would be worse than refusing it.
  const std::string conditionText = FieldText(itemNode, "Condition", where);
  if (IsEmpty(conditionText)) {
    throw std::invalid_argument(where + ": no condition");
  }
  const Condition condition = ToCondition(conditionText, where, "Condition");
  const std::uint32_t quantity = ToRequiredUInt32(FieldText(itemNode, "Qty", where), where, "Qty");

  AddItem(items, Item(type, std::move(id), std::move(name), colorId, condition, quantity));
}

std::unique_ptr<std::vector<Item>> XmlParser::ParseMarketplaceItems(
    const pugi::xml_node& root, std::vector<SkippedLine>& skippedLines) {
  const std::vector<pugi::xml_node> itemNodes = Lines(root, "ITEM", "ITEMID");
  if (itemNodes.empty()) {
    BOOST_LOG_TRIVIAL(warning) << "No items found";
  }
  auto items = std::make_unique<std::vector<Item>>();
  std::size_t line = 0;
  for (const pugi::xml_node& itemNode : itemNodes) {
    PopulateAndAddMarketplaceItem(itemNode, ++line, *items, skippedLines);
  }
  return items;
}

void XmlParser::PopulateAndAddMarketplaceItem(const pugi::xml_node& itemNode, std::size_t line,
                                              std::vector<Item>& items,
                                              std::vector<SkippedLine>& skippedLines) {
  const std::string idText = FieldText(itemNode, "ITEMID", DescribeLine(line, ""));
  const std::string where = DescribeLine(line, Trim(idText));
  const ItemType type = ReadItemType(FieldText(itemNode, "ITEMTYPE", where), where, "ITEMTYPE");
  std::string id = ReadItemId(idText, where, "ITEMID");
  std::string name = id;
  const std::string remarks = FieldText(itemNode, "REMARKS", where);
  if (!remarks.empty()) {
    name += " (";
    name += remarks;
    name += ")";
  }
  const std::string colorText = FieldText(itemNode, "COLOR", where);
  const std::uint32_t colorId = IsEmpty(colorText) ? 0 : ToUInt32(colorText, where, "COLOR");
  const Condition condition =
      ToCondition(FieldText(itemNode, "CONDITION", where), where, "CONDITION");
  // Read, and refused when they do not read, even on a line skipped for its quantity below, as
  // the colour is: a list with a broken line is not the list the buyer meant.
  const std::string filledText = FieldText(itemNode, "QTYFILLED", where);
  const std::uint32_t filled = IsEmpty(filledText) ? 0 : ToUInt32(filledText, where, "QTYFILLED");
  const double maximumPrice = ToPrice(FieldText(itemNode, "MAXPRICE", where), where, "MAXPRICE");

  // A line without quantity, or wanting none, is left out on purpose; the front ends name it.
  const std::string quantityText = FieldText(itemNode, "MINQTY", where);
  const std::uint32_t quantity =
      IsEmpty(quantityText) ? 0 : ToUInt32(quantityText, where, "MINQTY");
  if (quantity == 0) {
    skippedLines.push_back({line, id, IsEmpty(quantityText) ? "no MINQTY" : "MINQTY is 0"});
    BOOST_LOG_TRIVIAL(info) << DescribeSkippedLine(skippedLines.back());
    return;
  }
  AddItem(items, Item(type, std::move(id), std::move(name), colorId, condition, quantity, filled,
                      maximumPrice));
}

}  // namespace

std::string DescribeSkippedLine(const SkippedLine& skipped) {
  return DescribeLine(skipped.line, skipped.id) + " skipped: " + skipped.reason;
}

std::unique_ptr<std::vector<Item>> IXmlParser::ParseItems(const char* path) const {
  std::vector<SkippedLine> skippedLines;
  return ParseItems(path, skippedLines);
}

std::unique_ptr<IXmlParser> CreateXmlParser() { return std::make_unique<XmlParser>(); }

}  // namespace Corvalle::BrickStore
