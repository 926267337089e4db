#include "Source/Base/BrickLink/StoreInformation.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <stdexcept>

#include "Source/Base/BrickLink/Countries.h"
#include "Source/Base/Formatting.h"
#include "Source/Base/BrickLink/MarketplaceHost.h"

namespace Corvalle::BrickLink {

std::optional<std::uint32_t> ParseStoreNumber(std::string_view text) {
  const std::optional<std::uint32_t> store = Utilities::ParseDecimalNumber(text);
  if (store == 0u) {
    return std::nullopt;
  }
  return store;
}

std::optional<std::uint32_t> ParseStoreNumberOrPage(std::string_view text) {
  constexpr std::string_view kMarker = "sid=";
  const auto found = std::search(
      text.begin(), text.end(), kMarker.begin(), kMarker.end(), [](char first, char second) {
        return std::tolower(static_cast<unsigned char>(first)) == second;
      });
  if (found == text.end()) {
    return ParseStoreNumber(text);
  }
  std::string_view digits = text.substr(static_cast<std::size_t>(found - text.begin()) +
                                        kMarker.size());
  std::size_t end = 0;
  while (end < digits.size() && digits[end] >= '0' && digits[end] <= '9') {
    ++end;
  }
  if (end < digits.size() && digits[end] != '&' && digits[end] != '#') {
    return std::nullopt;
  }
  return ParseStoreNumber(digits.substr(0, end));
}

namespace {

// The store metadata table and the lock that guards it.
struct StoreMetadataTable {
  std::shared_mutex mutex;
  std::map<std::uint32_t, StoreMetadata> entries;  // guarded by mutex
};

StoreMetadataTable& TheStoreMetadataTable() {
  static StoreMetadataTable table;
  return table;
}

// A copy of the store's entry, or nothing for a store without one.
std::optional<StoreMetadata> FindStoreMetadata(std::uint32_t id) {
  StoreMetadataTable& table = TheStoreMetadataTable();
  std::shared_lock lock(table.mutex);
  const auto entry = table.entries.find(id);
  if (entry == table.entries.end()) {
    return std::nullopt;
  }
  return entry->second;
}

}  // namespace

std::string StoreInformation::Name() const {
  const std::optional<StoreMetadata> metadata = FindStoreMetadata(id);
  return metadata ? metadata->name : std::string(kUnknownStoreName);
}

std::string StoreInformation::StoreUrl(const std::string& marketplaceHost) const {
  return "http://" + marketplaceHost + "/store.asp?sID=" + std::to_string(id);
}

const Country& StoreInformation::GetCountry() const {
  const std::optional<StoreMetadata> metadata = FindStoreMetadata(id);
  if (!metadata) {
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
  const std::optional<StoreMetadata> metadata = FindStoreMetadata(id);
  return metadata ? FindCountryByID(metadata->countryId) : nullptr;
}

std::string StoreInformation::CountryId() const {
  const std::optional<StoreMetadata> metadata = FindStoreMetadata(id);
  return metadata ? metadata->countryId : std::string();
}

void StoreInformation::SetStoreMetadata(std::uint32_t id, const StoreMetadata& metadata) {
  StoreMetadataTable& table = TheStoreMetadataTable();
  std::unique_lock lock(table.mutex);
  table.entries.insert_or_assign(id, metadata);
}

}  // namespace Corvalle::BrickLink
