#pragma once

// The wanted list and the generated world that the search benchmarks share, shaped like the real
// marketplace (about 1500 stores of very different sizes, a 60-lot list of common parts that a
// few hundred stores offer each), and the item-by-store table that a search builds from them: the
// table the combination search sees after fetching the pages, with US dollar prices, a buyer in
// the USA and the regions North America and Europe.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "BrickLink/ConsolidatedLotData.h"
#include "Corvalle.h"
#include "WorldGenerator.h"

namespace Benchmarks {

// One line of the wanted list; every line is a part.
struct WantedLot {
  std::string id;
  std::uint32_t color = 0;
  std::uint32_t quantity = 1;
  Corvalle::Condition condition = Corvalle::Condition::New;
};

// 60 parts, colours cycling through the eight most offered ones, quantities 1 to 12, every third
// lot wanted Used.
const std::vector<WantedLot>& MarketplaceWantedList();
// The list as a wanted-list file's text.
std::string MarketplaceWantedListXml();

// Seed 7, 1500 stores with sizes, 150 price guides with the wanted list's parts among them. The
// table keeps about 630 stores, 200 of them per lot at the median, and the list needs 3 stores.
Corvalle::Marketplace::GeneratorOptions MarketplaceWorldOptions();

// The buyer's country and regions of every marketplace benchmark.
inline constexpr const char* kBuyerCountry = "US";
const std::vector<std::string>& MarketplaceRegions();

struct MarketplaceTable {
  // The wanted list's items with their price guides; the rows of every table below.
  std::vector<Corvalle::Item> items;
  // After consolidation, after pruning by region, and after pruning the stores that another
  // store makes redundant: the table that the combination search ranks.
  std::shared_ptr<const Corvalle::BrickLink::ConsolidatedLotData> consolidated;
  std::shared_ptr<const Corvalle::BrickLink::ConsolidatedLotData> inRegions;
  std::shared_ptr<const Corvalle::BrickLink::ConsolidatedLotData> table;
};

// Built on first use and kept for the rest of the process, so that a benchmark's timed loop
// never pays for it. Also writes the world's stores into the process-wide store metadata.
const MarketplaceTable& SharedMarketplaceTable();

}  // namespace Benchmarks
