#pragma once

// The client's way of reading the marketplace's pages, restated in the tests: the same markers,
// the same search order and the same regular expressions (standard library, ECMAScript, "."
// stops at line ends). A page that these functions read correctly is read correctly by the
// client; the server's tests apply them to every page type.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Testing {

struct ReadLot {
  std::uint32_t store = 0;
  std::string marker;  // the character after "box16", possibly none
  std::uint32_t quantity = 0;
  double price = 0.0;
};

struct ReadStatistics {
  bool available = false;
  std::uint32_t lotCount = 0;
  std::uint32_t totalQuantity = 0;
  double minPrice = 0.0;
  double averagePrice = 0.0;
  double quantityAveragePrice = 0.0;
  double maxPrice = 0.0;
};

struct ReadPriceGuide {
  // sold-New, sold-Used, current-New, current-Used
  ReadStatistics blocks[4];
  std::vector<ReadLot> newLots;
  std::vector<ReadLot> usedLots;
};

// Empty when the page is unreadable (a statistics box without its values, a search that runs
// off the page, a lot section missing).
std::optional<ReadPriceGuide> ReadPriceGuidePage(const std::string& page);

struct ReadColor {
  std::uint32_t id = 0;
  std::uint32_t rgb = 0;
  std::string name;
};
std::vector<ReadColor> ReadColorPage(const std::string& page);

struct ReadStore {
  std::string name;
  std::string countryId;
};
// Empty when the store expression does not match.
std::optional<ReadStore> ReadStorePage(const std::string& page, const std::string& siteName);

}  // namespace Testing
