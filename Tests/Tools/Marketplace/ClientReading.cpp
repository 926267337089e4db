#include "Tests/Tools/Marketplace/ClientReading.h"

#include <algorithm>

#include "Source/Base/BrickLink/ColorInformationParser.h"
#include "Source/Base/BrickLink/PriceGuideParser.h"
#include "Source/Base/BrickLink/StoreInformationParser.h"

namespace Testing {

namespace {

using namespace Corvalle::BrickLink;

// The parser leaves the lots marked "N" out only when asked to, naming their stores instead.
std::string Markers(const PriceGuide& every, const PriceGuide& shipping) {
  const std::vector<std::uint32_t> notShipping = shipping.StoresNotShipping().value_or(
      std::vector<std::uint32_t>());
  std::string markers;
  for (const PriceGuideDatum& lot : every) {
    const bool marked = std::find(notShipping.begin(), notShipping.end(), lot.store.Id()) !=
                        notShipping.end();
    markers += marked ? 'N' : 'Y';
  }
  return markers;
}

}  // namespace

std::optional<ReadPriceGuide> ReadPriceGuidePage(const std::string& page) {
  const auto parser = CreatePriceGuideParser();
  auto [newGuide, usedGuide] = parser->ParsePriceGuide(page, false);
  const auto [newShipping, usedShipping] = parser->ParsePriceGuide(page, true);
  if (!newGuide || !usedGuide || !newShipping || !usedShipping) {
    return std::nullopt;
  }
  return ReadPriceGuide{*newGuide, *usedGuide, Markers(*newGuide, *newShipping)};
}

std::optional<ColorList> ReadColorPage(const std::string& page) {
  return CreateColorInformationParser()->ParseColorInformation(page);
}

std::optional<StoreMetadata> ReadStorePage(const std::string& page) {
  return CreateStoreInformationParser()->ParseStoreInformation(page);
}

}  // namespace Testing
