#pragma once

// The generated worlds that the search benchmarks share and the item-by-store tables that a
// search builds from them (see WorldTable.h), with US dollar prices, a buyer in the USA and the
// regions North America and Europe. The lognormal family is shaped like the real marketplace
// (about 1500 stores of very different sizes, a 60-lot list of common parts that a few hundred
// stores offer each); the other families are hard for the search in other ways.

#include <string>
#include <vector>

#include "Tools/Marketplace/WorldGenerator.h"
#include "Tools/Marketplace/WorldTable.h"

namespace Benchmarks {

using MarketplaceTable = Corvalle::Marketplace::WorldTable;

// Seed 7, 1500 stores with sizes, 150 price guides with the wanted list's parts among them. The
// table keeps about 630 stores, 200 of them per lot at the median, and the list needs 3 stores.
Corvalle::Marketplace::GeneratorOptions MarketplaceWorldOptions();
// Its list of 60 parts, colours cycling through the eight most offered ones, quantities 1 to
// 12, every third lot wanted Used, as a wanted-list file's text.
std::string MarketplaceWantedListXml();

// The buyer's country and regions of every marketplace benchmark.
inline constexpr const char* kBuyerCountry = Corvalle::Marketplace::kFamilyBuyerCountry;
const std::vector<std::string>& MarketplaceRegions();

// The family's table at its usual sizes, for the family's buyer and terms. Built on first use
// and kept for the rest of the process, so that a benchmark's timed loop never pays for it and
// a filtered run builds only the families it times. Not for concurrent first uses. The world's
// seed is the family's usual one unless CORVALLE_SWEEP_SEED gives another.
const MarketplaceTable& SharedFamilyTable(Corvalle::Marketplace::WorldFamily family);
// The lognormal family's.
const MarketplaceTable& SharedMarketplaceTable();

}  // namespace Benchmarks
