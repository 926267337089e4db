#include "Tests/Tools/Marketplace/ClientReading.h"

#include "Source/Base/BrickLink/ColorInformationParser.h"
#include "Source/Base/BrickLink/PriceGuideParser.h"
#include "Source/Base/BrickLink/StoreInformationParser.h"

namespace Testing {

using namespace Corvalle::BrickLink;

std::optional<ReadPriceGuide> ReadPriceGuidePage(const std::string& page) {
  const auto parser = CreatePriceGuideParser();
  auto [newGuide, usedGuide] = parser->ParsePriceGuide(page, false);
  const auto [newShipping, usedShipping] = parser->ParsePriceGuide(page, true);
  if (!newGuide || !usedGuide || !newShipping || !usedShipping) {
    return std::nullopt;
  }
  return ReadPriceGuide{*newGuide, *usedGuide,
                        newShipping->StoresNotShipping().value_or(std::vector<std::uint32_t>())};
}

std::optional<ColorList> ReadColorPage(const std::string& page) {
  return CreateColorInformationParser()->ParseColorInformation(page);
}

std::optional<StoreMetadata> ReadStorePage(const std::string& page) {
  return CreateStoreInformationParser()->ParseStoreInformation(page);
}

}  // namespace Testing
