#include "XmlParser.h"

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

namespace Corvalle::BrickStore {

namespace {

// How a line is named to the user: its position among the items of the file and its id.
std::string DescribeLine(std::size_t line, const std::string& id) {
  return "Line " + std::to_string(line) + (id.empty() ? " (no item id)" : " (item " + id + ")");
}

// std::stoul semantics (leading blanks skipped, digits up to the first other character, at
// least one digit), but a value that does not fit the 32 bits of a quantity or colour id is
// out of range instead of being cut to another number. The exception names the line and the
// field, since std::stoul's own text ("stoul") would tell the user nothing.
std::uint32_t ToUInt32(const char* text, const std::string& line, const char* field) {
  const std::string quoted = std::string(field) + " \"" + text + "\"";
  unsigned long value = 0;
  try {
    value = std::stoul(text, nullptr, 10);
  } catch (const std::invalid_argument&) {
    throw std::invalid_argument(line + ": " + quoted + " is not a number");
  } catch (const std::out_of_range&) {
    value = std::numeric_limits<unsigned long>::max();
  }
  if (value > std::numeric_limits<std::uint32_t>::max()) {
    throw std::out_of_range(line + ": " + quoted + " does not fit 32 bits");
  }
  return static_cast<std::uint32_t>(value);
}

bool IsEmpty(const char* text) { return *text == '\0'; }

// A price limit as the marketplace writes it ("0.0500", "-1.0000"). Unlike the whole numbers,
// the text must be a number throughout, blanks around it aside: reading "0,05" or "1.50 EUR" as
// far as it goes would search with a limit the buyer never set. Infinite or NaN values are not
// numbers either. Empty text is no limit, as an absent element is.
double ToPrice(const char* text, const std::string& line, const char* field) {
  const std::string quoted = std::string(field) + " \"" + text + "\"";
  std::string_view digits(text);
  const auto blank = [](char character) {
    return character == ' ' || character == '\t' || character == '\n' || character == '\r';
  };
  while (!digits.empty() && blank(digits.front())) {
    digits.remove_prefix(1);
  }
  while (!digits.empty() && blank(digits.back())) {
    digits.remove_suffix(1);
  }
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
// text that is "not a number".
std::uint32_t ToRequiredUInt32(const char* text, const std::string& line, const char* field) {
  if (IsEmpty(text)) {
    throw std::invalid_argument(line + ": no " + field);
  }
  return ToUInt32(text, line, field);
}

Condition ToCondition(const char* text) { return *text == 'N' ? Condition::New : Condition::Used; }

// The type of an item element. No letter, or one outside the table, refuses the whole list:
// searching the rest of it would buy an incomplete set, and an item without type would only be
// found out at the price guides, with nothing to tell which line it came from.
ItemType ReadItemType(const char* text, const std::string& line, const char* field) {
  if (IsEmpty(text)) {
    throw std::invalid_argument(line + ": no item type (" + field + ")");
  }
  try {
    return ToItemType(*text);
  } catch (const std::invalid_argument&) {
    throw std::invalid_argument(line + ": unknown item type \"" + text + "\"");
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
  std::unique_ptr<std::vector<Item>> ParseItems(const char* path) const override;

 private:
  static std::unique_ptr<std::vector<Item>> ParseBrickStoreItems(const pugi::xml_node& root);
  static void PopulateAndAddBrickStoreItem(const pugi::xml_node& itemNode, std::size_t line,
                                           std::vector<Item>& items);
  static std::unique_ptr<std::vector<Item>> ParseMarketplaceItems(const pugi::xml_node& root);
  static void PopulateAndAddMarketplaceItem(const pugi::xml_node& itemNode, std::size_t line,
                                            std::vector<Item>& items);
};

std::unique_ptr<std::vector<Item>> XmlParser::ParseItems(const char* path) const {
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
    return ParseBrickStoreItems(root);
  }

  root = document.child("INVENTORY");
  if (!root) {
    BOOST_LOG_TRIVIAL(error) << "Not an understood XML file!";
    return nullptr;
  }
  return ParseMarketplaceItems(root);
}

std::unique_ptr<std::vector<Item>> XmlParser::ParseBrickStoreItems(const pugi::xml_node& root) {
  const pugi::xml_node inventory = root.child("Inventory");
  if (!inventory) {
    BOOST_LOG_TRIVIAL(error) << "Can't find inventory";
  }
  const auto itemNodes = inventory.children("Item");
  if (itemNodes.begin() == itemNodes.end()) {
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
  std::string id = itemNode.child_value("ItemID");
  const std::string where = DescribeLine(line, id);
  const ItemType type = ReadItemType(itemNode.child_value("ItemTypeID"), where, "ItemTypeID");
  std::string name = itemNode.child_value("ItemName");
  const std::uint32_t colorId = ToRequiredUInt32(itemNode.child_value("ColorID"), where, "ColorID");

  // Buying the rest of a list with an item silently dropped would be worse than refusing it.
  const char* conditionText = itemNode.child_value("Condition");
  if (IsEmpty(conditionText)) {
    throw std::invalid_argument(where + ": no condition");
  }
  const Condition condition = ToCondition(conditionText);
  const std::uint32_t quantity = ToRequiredUInt32(itemNode.child_value("Qty"), where, "Qty");

  AddItem(items, Item(type, std::move(id), std::move(name), colorId, condition, quantity));
}

std::unique_ptr<std::vector<Item>> XmlParser::ParseMarketplaceItems(const pugi::xml_node& root) {
  const auto itemNodes = root.children("ITEM");
  if (itemNodes.begin() == itemNodes.end()) {
    BOOST_LOG_TRIVIAL(warning) << "No items found";
  }
  auto items = std::make_unique<std::vector<Item>>();
  std::size_t line = 0;
  for (const pugi::xml_node& itemNode : itemNodes) {
    PopulateAndAddMarketplaceItem(itemNode, ++line, *items);
  }
  return items;
}

void XmlParser::PopulateAndAddMarketplaceItem(const pugi::xml_node& itemNode, std::size_t line,
                                              std::vector<Item>& items) {
  std::string id = itemNode.child_value("ITEMID");
  const std::string where = DescribeLine(line, id);
  const ItemType type = ReadItemType(itemNode.child_value("ITEMTYPE"), where, "ITEMTYPE");
  if (id.empty()) {
    BOOST_LOG_TRIVIAL(info) << "ITEMID not populated!";
    return;
  }
  std::string name = id;
  const char* remarks = itemNode.child_value("REMARKS");
  if (!IsEmpty(remarks)) {
    name += " (";
    name += remarks;
    name += ")";
  }
  const char* colorText = itemNode.child_value("COLOR");
  const std::uint32_t colorId = IsEmpty(colorText) ? 0 : ToUInt32(colorText, where, "COLOR");
  const Condition condition = ToCondition(itemNode.child_value("CONDITION"));
  // Read, and refused when they do not read, even on a line skipped for its quantity below, as
  // the colour is: a list with a broken line is not the list the buyer meant.
  const char* filledText = itemNode.child_value("QTYFILLED");
  const std::uint32_t filled = IsEmpty(filledText) ? 0 : ToUInt32(filledText, where, "QTYFILLED");
  const double maximumPrice = ToPrice(itemNode.child_value("MAXPRICE"), where, "MAXPRICE");

  const char* quantityText = itemNode.child_value("MINQTY");
  if (IsEmpty(quantityText)) {
    return;
  }
  const std::uint32_t quantity = ToUInt32(quantityText, where, "MINQTY");
  if (quantity == 0) {
    return;
  }
  AddItem(items, Item(type, std::move(id), std::move(name), colorId, condition, quantity, filled,
                      maximumPrice));
}

}  // namespace

std::unique_ptr<IXmlParser> CreateXmlParser() { return std::make_unique<XmlParser>(); }

}  // namespace Corvalle::BrickStore
