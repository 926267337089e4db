#include "Source/Base/BrickLink/PriceGuide.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "Source/Base/Assert.h"

namespace Corvalle::BrickLink {

PriceGuide::PriceGuide(Lots lots_, const PriceGuideStatistics& currentStatistics_,
                       const PriceGuideStatistics& salesStatistics_)
    : lots(std::move(lots_)),
      currentStatistics(currentStatistics_),
      salesStatistics(salesStatistics_) {}

void PriceGuide::SetStoresNotShipping(std::optional<std::vector<std::uint32_t>> stores) {
  if (stores) {
    std::sort(stores->begin(), stores->end());
    stores->erase(std::unique(stores->begin(), stores->end()), stores->end());
  }
  storesNotShipping = std::move(stores);
}

namespace {

double Scaled(double price) { return price * static_cast<double>(PriceMultiplier) + 0.5; }

}  // namespace

bool IsStorablePrice(double price) {
  // 2^63 is exact as a double, and every double below it converts to int64 without overflow.
  // The check runs on the very expression that ToStoredPrice converts, so that no rounding of the
  // multiplication can slip a price past it.
  constexpr double kFirstUnstorable = 9223372036854775808.0;
  return std::isfinite(price) && price >= 0.0 && Scaled(price) < kFirstUnstorable;
}

std::int64_t ToStoredPrice(double price) {
  CORVALLE_ASSERT(IsStorablePrice(price));
  return static_cast<std::int64_t>(Scaled(price));
}

double FromStoredPrice(std::int64_t storedPrice) {
  return static_cast<double>(storedPrice) / static_cast<double>(PriceMultiplier);
}

}  // namespace Corvalle::BrickLink
