#pragma once

// A generated world and wanted list turned into the item-by-store table that the combination
// search ranks, as a search builds it from the marketplace's pages but without a server: each
// price guide as the buyer's page lists it, consolidated, the stores outside the accepted
// regions removed, then the stores that another store makes redundant. The benchmarks search
// these tables, and the tests check the search on small ones of the same families.

#include <memory>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/ConsolidatedLotData.h"
#include "Source/Base/BrickLink/PlanRules.h"
#include "Source/Base/Corvalle.h"
#include "Tools/Marketplace/World.h"
#include "Tools/Marketplace/WorldGenerator.h"

namespace Corvalle::Marketplace {

struct WorldTable {
  // The wanted list's items with their price guides; the rows of every table below.
  std::vector<Item> items;
  // After consolidation, after pruning by region, and after pruning the stores that another
  // store makes redundant under the rules: the table that the combination search ranks.
  std::shared_ptr<const BrickLink::ConsolidatedLotData> consolidated;
  std::shared_ptr<const BrickLink::ConsolidatedLotData> inRegions;
  std::shared_ptr<const BrickLink::ConsolidatedLotData> table;
  // The terms on the columns of table; no shipping and no required stores unless the terms
  // asked for them.
  BrickLink::PlanRules rules;
};

// The buyer lives in terms.buyerCountryId and accepts the regions (display names of the region
// table); the lots of stores that do not ship there are left out, as the buyer's page leaves
// them out. Guides carry no statistics, as guides read back from the cache do. Writes the
// world's stores into the process-wide store metadata, which the region filter and the rules
// read while the table is built; a later call for another world may replace the entries of
// equal store ids, which the returned table and rules no longer depend on. Throws
// std::invalid_argument when the world has no price guide for a wanted item.
WorldTable BuildWorldTable(const World& world, const std::vector<IncludedItem>& wanted,
                           const std::vector<std::string>& regions,
                           const BrickLink::PurchaseTerms& terms);

// The families' buyer: in the USA, accepting North America and Europe.
inline constexpr const char* kFamilyBuyerCountry = "US";
const std::vector<std::string>& FamilyRegions();
// What the family's buyer pays beyond the lots: 4.00 per store in the USA and 9.00 per store
// elsewhere for the shipping family, nothing for the others.
BrickLink::PurchaseTerms FamilyTerms(WorldFamily family);
// The table of the options' family world and wanted list for the family's buyer and terms.
WorldTable BuildFamilyTable(const GeneratorOptions& options);

}  // namespace Corvalle::Marketplace
