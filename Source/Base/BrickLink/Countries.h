#pragma once

#include <string>
#include <vector>

namespace Corvalle::BrickLink {

// The marketplace's shipping regions. None is what a lookup of an unknown name yields and what
// a country without a second region carries; it is never displayed.
enum class Region {
  None = 0,
  Africa = 1,
  Asia = 2,
  AustraliaAndOceania = 3,
  Europe = 4,
  EuropeanUnion = 5,
  MiddleEast = 6,
  NorthAmerica = 7,
  SouthAmerica = 8,
};

struct Country {
  const char* name;        // English display name, unique
  const char* id;          // the marketplace's two-letter identifier, unique ("UK", not GB)
  Region region;           // never None
  Region secondaryRegion;  // EuropeanUnion for members of the European Union, else None
};

// The reference tables are immutable and may be read from any thread without locking.

// The region whose display name equals name exactly, or Region::None. Never throws.
Region GetRegionByName(const std::string& name);
// The display name of a region; empty for Region::None.
const char* GetRegionName(Region region);
// The eight region display names in the order of the enumeration.
const std::vector<std::string>& GetRegionNames();

// The 68 countries, region by region.
const std::vector<Country>& GetCountries();
// Throws std::invalid_argument "Unknown country name" when no country has that name.
const Country& GetCountryByName(const std::string& name);
// The same, or null when no country has that name.
const Country* FindCountryByName(const std::string& name);
// Throws std::invalid_argument "Unknown country ID" when no country has that identifier.
const Country& GetCountryByID(const std::string& id);
// The same, or null when no country has that identifier.
const Country* FindCountryByID(const std::string& id);
// Byte-wise order of the names: "USA" sorts before "Ukraine".
bool CompareCountriesByName(const Country& first, const Country& second);
// The country lies in region through its region or its secondary region; no country lies in
// Region::None.
bool CountryIsInRegion(const Country& country, Region region);

}  // namespace Corvalle::BrickLink
