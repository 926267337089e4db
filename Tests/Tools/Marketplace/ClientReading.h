#pragma once

// The server's pages as the client reads them: through the client's own parsers, so that a page
// these read correctly is one the searches read correctly.

#include <optional>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/ColorInformation.h"
#include "Source/Base/BrickLink/PriceGuide.h"
#include "Source/Base/BrickLink/StoreInformation.h"

namespace Testing {

struct ReadPriceGuide {
  Corvalle::BrickLink::PriceGuide newGuide;  // every lot, those marked "N" too
  Corvalle::BrickLink::PriceGuide usedGuide;
  // The stores of the new lots marked "N", which do not ship to the buyer.
  std::vector<std::uint32_t> newNotShipping;
};

// Empty when the client finds the page unreadable.
std::optional<ReadPriceGuide> ReadPriceGuidePage(const std::string& page);
std::optional<Corvalle::BrickLink::ColorList> ReadColorPage(const std::string& page);
std::optional<Corvalle::BrickLink::StoreMetadata> ReadStorePage(const std::string& page);

}  // namespace Testing
