#include "StoreInformation.h"

#include <map>
#include <stdexcept>

#include "Countries.h"
#include "MarketplaceHost.h"

namespace Corvalle::BrickLink {

namespace {

std::map<std::uint32_t, StoreMetadata>& StoreMetadataTable() {
  static std::map<std::uint32_t, StoreMetadata> table;
  return table;
}

const StoreMetadata* FindStoreMetadata(std::uint32_t id) {
  const auto& table = StoreMetadataTable();
  const auto entry = table.find(id);
  return entry == table.end() ? nullptr : &entry->second;
}

}  // namespace

const std::string& StoreInformation::Name() const {
  static const std::string unknownName = kUnknownStoreName;
  const StoreMetadata* metadata = FindStoreMetadata(id);
  return metadata == nullptr ? unknownName : metadata->name;
}

std::string StoreInformation::StoreUrl(const std::string& marketplaceHost) const {
  return "http://" + marketplaceHost + "/store.asp?sID=" + std::to_string(id);
}

const Country& StoreInformation::GetCountry() const {
  const StoreMetadata* metadata = FindStoreMetadata(id);
  if (metadata == nullptr) {
    throw std::runtime_error("Unknown country!");
  }
  return GetCountryByID(metadata->countryId);
}

bool StoreInformation::CountryIsValid() const {
  try {
    GetCountry();
    return true;
  } catch (const std::runtime_error&) {
    return false;
  }
}

const Country* StoreInformation::FindCountry() const {
  const StoreMetadata* metadata = FindStoreMetadata(id);
  return metadata == nullptr ? nullptr : FindCountryByID(metadata->countryId);
}

const std::string& StoreInformation::CountryId() const {
  static const std::string noCountryId;
  const StoreMetadata* metadata = FindStoreMetadata(id);
  return metadata == nullptr ? noCountryId : metadata->countryId;
}

void StoreInformation::SetStoreMetadata(std::uint32_t id, const StoreMetadata& metadata) {
  StoreMetadataTable().insert_or_assign(id, metadata);
}

}  // namespace Corvalle::BrickLink
