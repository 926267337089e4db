#include "Tools/Marketplace/WorldTable.h"

#include <stdexcept>

#include "Source/Base/BrickLink/LotDataConsolidator.h"
#include "Source/Base/BrickLink/PriceGuide.h"
#include "Source/Base/BrickLink/StoreInformation.h"
#include "Source/Base/BrickLink/StorePruner.h"

namespace Corvalle::Marketplace {

namespace {

// The lots of one condition as the price guide page lists them to the buyer and the parser
// keeps them: cheapest first (equal prices in the world's order), without the lots of stores
// that do not ship to the buyer's country, which the page marks and the parser skips.
BrickLink::PriceGuide::Lots PageLots(const World& world, const std::vector<WorldLot>& lots,
                                     const std::string& buyerCountry) {
  BrickLink::PriceGuide::Lots kept;
  for (const WorldLot* lot : LotsInPageOrder(lots)) {
    const auto& shipsTo = world.FindStore(lot->storeId)->shipsTo;
    if (!shipsTo || shipsTo->count(buyerCountry) != 0) {
      kept.emplace_back(lot->storeId, lot->quantity, lot->price);
    }
  }
  return kept;
}

}  // namespace

WorldTable BuildWorldTable(const World& world, const std::vector<IncludedItem>& wanted,
                           const std::vector<std::string>& regions,
                           const BrickLink::PurchaseTerms& terms) {
  using namespace BrickLink;
  WorldTable result;
  for (const IncludedItem& line : wanted) {
    const std::uint32_t color = line.type == 'P' ? line.color : 0;
    const WorldPriceGuide* guide = world.FindPriceGuide(line.type, line.id, color);
    if (guide == nullptr) {
      throw std::invalid_argument("The world lacks the wanted item " + line.id);
    }
    Item item(ToItemType(line.type), line.id, guide->name, color,
              line.condition == 'U' ? Condition::Used : Condition::New, line.quantity);
    item.SetPriceGuideNew(
        std::make_unique<PriceGuide>(PageLots(world, guide->newLots, terms.buyerCountryId),
                                     PriceGuideStatistics{}, PriceGuideStatistics{}));
    item.SetPriceGuideUsed(
        std::make_unique<PriceGuide>(PageLots(world, guide->usedLots, terms.buyerCountryId),
                                     PriceGuideStatistics{}, PriceGuideStatistics{}));
    result.items.push_back(std::move(item));
  }

  result.consolidated = CreateLotDataConsolidator()->ConsolidateLotData(result.items);
  for (const WorldStore& store : world.Stores()) {
    StoreInformation::SetStoreMetadata(store.id, {store.name, store.countryId});
  }
  const auto pruner = CreateStorePruner();
  result.inRegions = pruner->PruneStoresByRegions(*result.consolidated, regions);
  if (terms.ChargesShipping() || !terms.requiredStores.empty()) {
    // A store that sells cheaper but ships dearer may still make the cheaper plan: prune under
    // the rules, then state them on the columns that are left.
    result.table = pruner->PruneExtraneousStores(*result.inRegions, result.items,
                                                 MakePlanRules(terms, *result.inRegions));
    result.rules = MakePlanRules(terms, *result.table);
  } else {
    result.table = pruner->PruneExtraneousStores(*result.inRegions, result.items);
  }
  return result;
}

const std::vector<std::string>& FamilyRegions() {
  static const std::vector<std::string> regions = {"North America", "Europe"};
  return regions;
}

BrickLink::PurchaseTerms FamilyTerms(WorldFamily family) {
  if (family == WorldFamily::Shipping) {
    return {4.0, 9.0, kFamilyBuyerCountry, {}};
  }
  return {0.0, 0.0, kFamilyBuyerCountry, {}};
}

WorldTable BuildFamilyTable(const GeneratorOptions& options) {
  if (!options.family) {
    throw std::invalid_argument("A family table needs a family");
  }
  return BuildWorldTable(GenerateWorld(options), FamilyWantedList(options), FamilyRegions(),
                         FamilyTerms(*options.family));
}

}  // namespace Corvalle::Marketplace
