#include "XmlParser.h"

#include <boost/log/trivial.hpp>
#include <cstdint>
#include <limits>
#include <pugixml.hpp>
#include <stdexcept>
#include <string>

namespace Corvalle::BrickStore {

namespace {

// std::stoul semantics (leading blanks skipped, digits up to the first other character, at
// least one digit), but a value that does not fit the 32 bits of a quantity or colour id is
// out of range instead of being cut to another number.
std::uint32_t ToUInt32(const char* text) {
  const unsigned long value = std::stoul(text, nullptr, 10);
  if (value > std::numeric_limits<std::uint32_t>::max()) {
    throw std::out_of_range(std::string("Number does not fit 32 bits: ") + text);
  }
  return static_cast<std::uint32_t>(value);
}

bool IsEmpty(const char* text) { return *text == '\0'; }

Condition ToCondition(const char* text) { return *text == 'N' ? Condition::New : Condition::Used; }

// Reads the type letter of an item element. Returns false (after an error record) when the
// letter is not one of the table, so that the caller skips the item.
bool TryReadItemType(const char* text, ItemType& type) {
  if (IsEmpty(text)) {
    type = ItemType::Invalid;
    return true;
  }
  try {
    type = ToItemType(*text);
    return true;
  } catch (const std::invalid_argument& error) {
    BOOST_LOG_TRIVIAL(error) << error.what();
    return false;
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
  static void PopulateAndAddBrickStoreItem(const pugi::xml_node& itemNode,
                                           std::vector<Item>& items);
  static std::unique_ptr<std::vector<Item>> ParseMarketplaceItems(const pugi::xml_node& root);
  static void PopulateAndAddMarketplaceItem(const pugi::xml_node& itemNode,
                                            std::vector<Item>& items);
};

std::unique_ptr<std::vector<Item>> XmlParser::ParseItems(const char* path) const {
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
  for (const pugi::xml_node& itemNode : itemNodes) {
    PopulateAndAddBrickStoreItem(itemNode, *items);
  }
  return items;
}

void XmlParser::PopulateAndAddBrickStoreItem(const pugi::xml_node& itemNode,
                                             std::vector<Item>& items) {
  ItemType type;
  if (!TryReadItemType(itemNode.child_value("ItemTypeID"), type)) {
    return;
  }
  std::string id = itemNode.child_value("ItemID");
  std::string name = itemNode.child_value("ItemName");
  const std::uint32_t colorId = ToUInt32(itemNode.child_value("ColorID"));

  // Buying the rest of a list with an item silently dropped would be worse than refusing it.
  const char* conditionText = itemNode.child_value("Condition");
  if (IsEmpty(conditionText)) {
    throw std::invalid_argument("Item " + id + " has no condition");
  }
  const Condition condition = ToCondition(conditionText);
  const std::uint32_t quantity = ToUInt32(itemNode.child_value("Qty"));

  AddItem(items, Item(type, std::move(id), std::move(name), colorId, condition, quantity));
}

std::unique_ptr<std::vector<Item>> XmlParser::ParseMarketplaceItems(const pugi::xml_node& root) {
  const auto itemNodes = root.children("ITEM");
  if (itemNodes.begin() == itemNodes.end()) {
    BOOST_LOG_TRIVIAL(warning) << "No items found";
  }
  auto items = std::make_unique<std::vector<Item>>();
  for (const pugi::xml_node& itemNode : itemNodes) {
    PopulateAndAddMarketplaceItem(itemNode, *items);
  }
  return items;
}

void XmlParser::PopulateAndAddMarketplaceItem(const pugi::xml_node& itemNode,
                                              std::vector<Item>& items) {
  ItemType type;
  if (!TryReadItemType(itemNode.child_value("ITEMTYPE"), type)) {
    return;
  }
  std::string id = itemNode.child_value("ITEMID");
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
  const std::uint32_t colorId = IsEmpty(colorText) ? 0 : ToUInt32(colorText);
  const Condition condition = ToCondition(itemNode.child_value("CONDITION"));

  const char* quantityText = itemNode.child_value("MINQTY");
  if (IsEmpty(quantityText)) {
    return;
  }
  const std::uint32_t quantity = ToUInt32(quantityText);
  if (quantity == 0) {
    return;
  }
  AddItem(items, Item(type, std::move(id), std::move(name), colorId, condition, quantity));
}

}  // namespace

std::unique_ptr<IXmlParser> CreateXmlParser() { return std::make_unique<XmlParser>(); }

}  // namespace Corvalle::BrickStore
