#include "PriceGuide.h"

#include <utility>

namespace Corvalle::BrickLink {

PriceGuide::PriceGuide(Lots lots_, const PriceGuideStatistics& currentStatistics_,
                       const PriceGuideStatistics& salesStatistics_)
    : lots(std::move(lots_)),
      currentStatistics(currentStatistics_),
      salesStatistics(salesStatistics_) {}

std::int64_t ToStoredPrice(double price) {
  return static_cast<std::int64_t>(price * static_cast<double>(PriceMultiplier) + 0.5);
}

double FromStoredPrice(std::int64_t storedPrice) {
  return static_cast<double>(storedPrice) / static_cast<double>(PriceMultiplier);
}

}  // namespace Corvalle::BrickLink
