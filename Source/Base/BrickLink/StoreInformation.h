#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Corvalle::BrickLink {

struct Country;

// A store number as the user types it: ASCII digits only. Store numbers start at 1, so 0 names
// no store, nor does a number beyond 32 bits or any other text.
std::optional<std::uint32_t> ParseStoreNumber(std::string_view text);

// The same, or the address of the store's page, whose "store.asp?sID=NUMBER" carries the number
// (copied from the browser, the address is the easiest way to name a store). Another parameter
// may follow the number after "&", or a fragment after "#", but nothing may stick to it.
std::optional<std::uint32_t> ParseStoreNumberOrPage(std::string_view text);

// What is known of a store beyond its id.
struct StoreMetadata {
  std::string name;       // as the store page's title shows it
  std::string countryId;  // the marketplace's two-letter country identifier

  friend bool operator==(const StoreMetadata&, const StoreMetadata&) = default;
};

// The handle of a store: its marketplace number. Everything else is looked up by id in one
// process-wide table, never cleared, written by a search's thread while a window may still show
// the plans of the search before. The table takes a lock, and the lookups answer copies, never
// references into it, so an entry replaced meanwhile cannot change under a reader. Any thread.
class StoreInformation {
 public:
  static constexpr const char* kUnknownStoreName = "[Error retrieving store name]";

  explicit StoreInformation(std::uint32_t id_) : id(id_) {}

  std::uint32_t Id() const { return id; }

  // The table's name, or "[Error retrieving store name]" for a store without entry.
  std::string Name() const;
  // "http://" + the marketplace host (as given, ":port" included) + "/store.asp?sID=" + the id.
  std::string StoreUrl(const std::string& marketplaceHost) const;
  // Throws std::runtime_error "Unknown country!" for a store without entry, and
  // std::invalid_argument "Unknown country ID" when its identifier is not in the country table.
  const Country& GetCountry() const;
  // False for a store without entry; "Unknown country ID" still passes to the caller.
  bool CountryIsValid() const;
  // The store's country, or null for a store without entry or with an identifier that the
  // country table does not know (the marketplace has far more countries than the table).
  const Country* FindCountry() const;
  // The country identifier as the store's page gave it (which the country table need not
  // know), or an empty text for a store without entry.
  std::string CountryId() const;

  // Sets the table entry of the id, replacing an earlier one.
  static void SetStoreMetadata(std::uint32_t id, const StoreMetadata& metadata);

  friend bool operator==(const StoreInformation&, const StoreInformation&) = default;
  friend auto operator<=>(const StoreInformation&, const StoreInformation&) = default;

 private:
  std::uint32_t id;
};

}  // namespace Corvalle::BrickLink
