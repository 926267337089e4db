#include "Benchmarks/MarketplaceTable.h"

#include <map>
#include <memory>

namespace Benchmarks {

using Corvalle::Marketplace::WorldFamily;

Corvalle::Marketplace::GeneratorOptions MarketplaceWorldOptions() {
  return Corvalle::Marketplace::FamilyOptions(WorldFamily::Lognormal);
}

std::string MarketplaceWantedListXml() {
  return Corvalle::Marketplace::WantedListXml(
      Corvalle::Marketplace::FamilyWantedList(MarketplaceWorldOptions()));
}

const std::vector<std::string>& MarketplaceRegions() {
  return Corvalle::Marketplace::FamilyRegions();
}

const MarketplaceTable& SharedFamilyTable(WorldFamily family) {
  static std::map<WorldFamily, std::unique_ptr<const MarketplaceTable>> tables;
  auto& table = tables[family];
  if (!table) {
    table = std::make_unique<const MarketplaceTable>(
        Corvalle::Marketplace::BuildFamilyTable(Corvalle::Marketplace::FamilyOptions(family)));
  }
  return *table;
}

const MarketplaceTable& SharedMarketplaceTable() {
  return SharedFamilyTable(WorldFamily::Lognormal);
}

}  // namespace Benchmarks
