#pragma once

#include <cstdint>
#include <list>
#include <optional>
#include <vector>

#include "Source/Base/BrickLink/StoreInformation.h"

namespace Corvalle::BrickLink {

// What one store can supply of one item. Quantity 0 means nothing is offered.
struct LotData {
  std::uint32_t quantity = 0;
  double price = 0.0;  // unit price in the currency of the search

  friend bool operator==(const LotData&, const LotData&) = default;
};

// One lot of a price guide.
struct PriceGuideDatum {
  PriceGuideDatum(std::uint32_t storeId, std::uint32_t quantity, double price)
      : store(storeId), lotData{quantity, price} {}

  StoreInformation store;
  LotData lotData;

  friend bool operator==(const PriceGuideDatum&, const PriceGuideDatum&) = default;
};

// One block of summary figures of a price guide page.
struct PriceGuideStatistics {
  std::uint32_t lotCount = 0;  // "Total Lots" for current lots, "Times Sold" for past sales
  std::uint32_t totalQuantity = 0;
  double minPrice = 0.0;
  double averagePrice = 0.0;
  double quantityAveragePrice = 0.0;
  double maxPrice = 0.0;

  friend bool operator==(const PriceGuideStatistics&, const PriceGuideStatistics&) = default;
};

// The price guide of one item in one condition: the lots stores offer now, in page order, and
// the statistics of those lots and of past sales. A guide read from the cache has zero
// statistics: the cache keeps only the lots.
class PriceGuide {
 public:
  using Lots = std::list<PriceGuideDatum>;

  PriceGuide() = default;
  PriceGuide(Lots lots, const PriceGuideStatistics& currentStatistics,
             const PriceGuideStatistics& salesStatistics);

  bool IsEmpty() const { return lots.empty(); }
  Lots::const_iterator begin() const { return lots.begin(); }
  Lots::const_iterator end() const { return lots.end(); }
  const Lots& GetLots() const { return lots; }
  const PriceGuideStatistics& CurrentStatistics() const { return currentStatistics; }
  const PriceGuideStatistics& SalesStatistics() const { return salesStatistics; }

  // The stores whose lots the page marked as not shipping to the buyer, which are not among the
  // lots: ascending, without repeats; none unless set. Without it, a store missing from the
  // lots could sell the item and not ship it as well as sell none. Unknown (no value) for a
  // guide cached by a program that did not keep them.
  const std::optional<std::vector<std::uint32_t>>& StoresNotShipping() const {
    return storesNotShipping;
  }
  void SetStoresNotShipping(std::optional<std::vector<std::uint32_t>> stores);

 private:
  Lots lots;
  PriceGuideStatistics currentStatistics;
  PriceGuideStatistics salesStatistics;
  std::optional<std::vector<std::uint32_t>> storesNotShipping{std::vector<std::uint32_t>()};
};

// Prices are stored as signed 64-bit integers in units of 1/PriceMultiplier.
inline constexpr std::int64_t PriceMultiplier = 10000;

// Whether ToStoredPrice can convert the price: finite, not negative, and small enough that its
// count of 1/PriceMultiplier stays below 2^63 after rounding, that is, below about 9.2e14.
bool IsStorablePrice(double price);

// Rounds half up to the nearest 1/10000. The price must be storable (broken invariant otherwise):
// the conversion of a larger one would overflow.
std::int64_t ToStoredPrice(double price);
double FromStoredPrice(std::int64_t storedPrice);

}  // namespace Corvalle::BrickLink
