#include "Source/Base/Corvalle.h"

#include <boost/log/trivial.hpp>
#include <stdexcept>
#include <utility>

#include "Source/Base/Assert.h"

namespace Corvalle {

Item::Item(ItemType type_, std::string id_, std::string name_, std::uint32_t colorId,
           Condition condition_, std::uint32_t quantity_, std::uint32_t quantityFilled_,
           double maximumPrice_)
    : type(type_),
      id(std::move(id_)),
      name(std::move(name_)),
      color(colorId),
      condition(condition_),
      quantity(quantity_),
      quantityFilled(quantityFilled_),
      maximumPrice(maximumPrice_),
      priceGuideNew(std::make_unique<BrickLink::PriceGuide>()),
      priceGuideUsed(std::make_unique<BrickLink::PriceGuide>()) {}

Item::~Item() = default;

const BrickLink::PriceGuide& Item::PriceGuideNew() const {
  CORVALLE_ASSERT(priceGuideNew);
  return *priceGuideNew;
}

const BrickLink::PriceGuide& Item::PriceGuideUsed() const {
  CORVALLE_ASSERT(priceGuideUsed);
  return *priceGuideUsed;
}

void Item::SetPriceGuideNew(std::unique_ptr<BrickLink::PriceGuide> guide) {
  priceGuideNew = std::move(guide);
}

void Item::SetPriceGuideUsed(std::unique_ptr<BrickLink::PriceGuide> guide) {
  priceGuideUsed = std::move(guide);
}

bool operator==(const Item& first, const Item& second) {
  return first.type == second.type && first.id == second.id && first.color == second.color &&
         first.condition == second.condition && first.quantity == second.quantity &&
         first.quantityFilled == second.quantityFilled &&
         first.maximumPrice == second.maximumPrice && first.name == second.name;
}

char ToCharacter(ItemType type) {
  const auto index = static_cast<std::uint32_t>(type);
  CORVALLE_ASSERT(index < sizeof(kItemTypeLetters) - 1);
  return kItemTypeLetters[index];
}

ItemType ToItemType(char letter) {
  for (std::uint32_t index = 0; index < sizeof(kItemTypeLetters) - 1; ++index) {
    if (kItemTypeLetters[index] == letter) {
      return static_cast<ItemType>(index);
    }
  }
  throw std::invalid_argument(std::string("Unknown item type: ") + letter);
}

std::string ToString(Condition condition) { return condition == Condition::New ? "New" : "Used"; }

std::string DescribeItem(const Item& item) {
  std::string letter;
  if (item.Type() == ItemType::Invalid) {
    BOOST_LOG_TRIVIAL(error) << "Unknown item type";
    letter = "Invalid";
  } else {
    letter = ToCharacter(item.Type());
  }
  return "ItemType: " + letter + ", Item ID: " + item.Id();
}

}  // namespace Corvalle
