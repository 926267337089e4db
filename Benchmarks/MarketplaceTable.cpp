#include "Benchmarks/MarketplaceTable.h"

#include <cstdlib>
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
    Corvalle::Marketplace::GeneratorOptions options = Corvalle::Marketplace::FamilyOptions(family);
    // Another world of the same family, so that what is tuned on one is checked on others.
    if (const char* seed = std::getenv("CORVALLE_SWEEP_SEED"); seed != nullptr && *seed != '\0') {
      options.seed = std::strtoull(seed, nullptr, 10);
    }
    table = std::make_unique<const MarketplaceTable>(
        Corvalle::Marketplace::BuildFamilyTable(options));
  }
  return *table;
}

const MarketplaceTable& SharedMarketplaceTable() {
  return SharedFamilyTable(WorldFamily::Lognormal);
}

}  // namespace Benchmarks
