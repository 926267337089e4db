#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Source/Base/BrickLink/ColorInformation.h"
#include "Source/Base/BrickLink/PriceGuide.h"

namespace Corvalle {

// The marketplace's catalogue item types; the letters are those of wanted lists and addresses.
enum class ItemType : std::uint32_t {
  Set = 0,          // S
  Part = 1,         // P
  Minifigure = 2,   // M
  Book = 3,         // B
  Gear = 4,         // G
  Catalog = 5,      // C
  Instruction = 6,  // I
  Box = 7,          // O
  Invalid = 8,      // the file gave no type letter; has no letter
};

enum class Condition : std::uint32_t { New = 0, Used = 1 };

// One line of the wanted list. It always owns two price guides, empty until the price guide
// stage attaches the item's own. Movable, not copyable: the search keeps its items in one
// vector and everything else refers to them.
//
// As read from a file, Quantity() is what the line asks for in all, QuantityFilled() how many
// of those the buyer already has, and MaximumPrice() the most the buyer pays per unit, in the
// currency of the search, where a value of 0 or below sets no limit (the marketplace writes -1).
// The search buys Quantity() of every item: the wanted list hands it items with nothing filled.
class Item {
 public:
  Item(ItemType type, std::string id, std::string name, std::uint32_t colorId, Condition condition,
       std::uint32_t quantity, std::uint32_t quantityFilled = 0, double maximumPrice = 0.0);
  Item(Item&&) noexcept = default;
  Item& operator=(Item&&) noexcept = default;
  Item(const Item&) = delete;
  Item& operator=(const Item&) = delete;
  ~Item();

  ItemType Type() const { return type; }
  const std::string& Id() const { return id; }
  const std::string& Name() const { return name; }
  const BrickLink::ColorInformation& Color() const { return color; }
  Condition GetCondition() const { return condition; }
  std::uint32_t Quantity() const { return quantity; }
  std::uint32_t QuantityFilled() const { return quantityFilled; }
  double MaximumPrice() const { return maximumPrice; }
  bool HasMaximumPrice() const { return maximumPrice > 0.0; }

  const BrickLink::PriceGuide& PriceGuideNew() const;
  const BrickLink::PriceGuide& PriceGuideUsed() const;
  // Take over the guide, destroying the one held before.
  void SetPriceGuideNew(std::unique_ptr<BrickLink::PriceGuide> guide);
  void SetPriceGuideUsed(std::unique_ptr<BrickLink::PriceGuide> guide);

  // Type, id, colour, condition, the quantities, the price limit and name; the price guides are
  // not compared. Lines with other limits are bought differently, so they are not the same line.
  friend bool operator==(const Item& first, const Item& second);

 private:
  ItemType type;
  std::string id;
  std::string name;
  BrickLink::ColorInformation color;
  Condition condition;
  std::uint32_t quantity;
  std::uint32_t quantityFilled;
  double maximumPrice;
  std::unique_ptr<BrickLink::PriceGuide> priceGuideNew;
  std::unique_ptr<BrickLink::PriceGuide> priceGuideUsed;
};

// The letter of one of the eight real types; any other value is a broken invariant.
char ToCharacter(ItemType type);
// The letters of the item types, in the order of ItemType: the marketplace's names for them.
inline constexpr char kItemTypeLetters[] = "SPMBGCIO";
// The type of an upper-case letter; throws std::invalid_argument "Unknown item type: X".
ItemType ToItemType(char letter);
// "New" for New, "Used" for anything else.
std::string ToString(Condition condition);
// "ItemType: P, Item ID: 3001", for log records; "Invalid" stands for the letter of Invalid.
std::string DescribeItem(const Item& item);

}  // namespace Corvalle
