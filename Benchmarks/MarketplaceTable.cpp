#include "MarketplaceTable.h"

#include <algorithm>
#include <stdexcept>

#include "BrickLink/LotDataConsolidator.h"
#include "BrickLink/PriceGuide.h"
#include "BrickLink/StoreInformation.h"
#include "BrickLink/StorePruner.h"

namespace Benchmarks {

namespace {

using Corvalle::BrickLink::PriceGuide;
using Corvalle::Marketplace::World;
using Corvalle::Marketplace::WorldLot;

// The lots of one condition as the price guide page lists them to the buyer and the parser
// keeps them: cheapest first (equal prices in the world's order), without the lots of stores
// that do not ship to the buyer's country, which the page marks and the parser skips.
PriceGuide::Lots PageLots(const World& world, const std::vector<WorldLot>& lots) {
  PriceGuide::Lots kept;
  for (const WorldLot* lot : Corvalle::Marketplace::LotsInPageOrder(lots)) {
    const auto& shipsTo = world.FindStore(lot->storeId)->shipsTo;
    if (!shipsTo || shipsTo->count(kBuyerCountry) != 0) {
      kept.emplace_back(lot->storeId, lot->quantity, lot->price);
    }
  }
  return kept;
}

MarketplaceTable BuildMarketplaceTable() {
  using namespace Corvalle::BrickLink;
  const World world = Corvalle::Marketplace::GenerateWorld(MarketplaceWorldOptions());

  MarketplaceTable result;
  for (const WantedLot& lot : MarketplaceWantedList()) {
    const auto* guide = world.FindPriceGuide('P', lot.id, lot.color);
    if (guide == nullptr) {
      throw std::logic_error("The world lacks the wanted part " + lot.id);
    }
    Corvalle::Item item(Corvalle::ItemType::Part, lot.id, guide->name, lot.color, lot.condition,
                        lot.quantity);
    // A guide read back from the cache has no statistics either.
    item.SetPriceGuideNew(std::make_unique<PriceGuide>(
        PageLots(world, guide->newLots), PriceGuideStatistics{}, PriceGuideStatistics{}));
    item.SetPriceGuideUsed(std::make_unique<PriceGuide>(
        PageLots(world, guide->usedLots), PriceGuideStatistics{}, PriceGuideStatistics{}));
    result.items.push_back(std::move(item));
  }

  result.consolidated = CreateLotDataConsolidator()->ConsolidateLotData(result.items);
  for (const auto& store : world.Stores()) {
    StoreInformation::SetStoreMetadata(store.id, {store.name, store.countryId});
  }
  const auto pruner = CreateStorePruner();
  result.inRegions = pruner->PruneStoresByRegions(*result.consolidated, MarketplaceRegions());
  result.table = pruner->PruneExtraneousStores(*result.inRegions, result.items);
  return result;
}

}  // namespace

const std::vector<WantedLot>& MarketplaceWantedList() {
  static const std::vector<WantedLot> list = [] {
    static const std::uint32_t colors[] = {11, 86, 85, 5, 1, 7, 3, 2};
    std::vector<WantedLot> lots;
    for (std::uint32_t index = 0; index < 60; ++index) {
      lots.push_back({std::to_string(3001 + index * 7), colors[index % 8], 1 + index % 12,
                      index % 3 == 0 ? Corvalle::Condition::Used : Corvalle::Condition::New});
    }
    return lots;
  }();
  return list;
}

std::string MarketplaceWantedListXml() {
  std::string xml = "<INVENTORY>";
  for (const WantedLot& lot : MarketplaceWantedList()) {
    xml += "<ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>" + lot.id + "</ITEMID><COLOR>" +
           std::to_string(lot.color) + "</COLOR><MINQTY>" + std::to_string(lot.quantity) +
           "</MINQTY><CONDITION>" + (lot.condition == Corvalle::Condition::Used ? "U" : "N") +
           "</CONDITION></ITEM>";
  }
  return xml + "</INVENTORY>";
}

Corvalle::Marketplace::GeneratorOptions MarketplaceWorldOptions() {
  Corvalle::Marketplace::GeneratorOptions options;
  options.seed = 7;
  options.stores = 1500;
  options.items = 150;
  options.storeSizes = true;
  for (const WantedLot& lot : MarketplaceWantedList()) {
    options.include.push_back({'P', lot.id, lot.color, lot.quantity, ""});
  }
  return options;
}

const std::vector<std::string>& MarketplaceRegions() {
  static const std::vector<std::string> regions = {"North America", "Europe"};
  return regions;
}

const MarketplaceTable& SharedMarketplaceTable() {
  static const MarketplaceTable table = BuildMarketplaceTable();
  return table;
}

}  // namespace Benchmarks
