#include "Source/Base/BrickLink/Countries.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace Corvalle::BrickLink {

namespace {

constexpr Region kNone = Region::None;
constexpr Region kEU = Region::EuropeanUnion;

const std::map<std::string, Region>& RegionTable() {
  static const std::map<std::string, Region> table = {
      {"Africa", Region::Africa},
      {"Asia", Region::Asia},
      {"Australia & Oceania", Region::AustraliaAndOceania},
      {"Europe", Region::Europe},
      {"European Union", Region::EuropeanUnion},
      {"Middle East", Region::MiddleEast},
      {"North America", Region::NorthAmerica},
      {"South America", Region::SouthAmerica},
  };
  return table;
}

}  // namespace

Region GetRegionByName(const std::string& name) {
  const auto& table = RegionTable();
  const auto entry = table.find(name);
  return entry == table.end() ? Region::None : entry->second;
}

const char* GetRegionName(Region region) {
  switch (region) {
    case Region::Africa:
      return "Africa";
    case Region::Asia:
      return "Asia";
    case Region::AustraliaAndOceania:
      return "Australia & Oceania";
    case Region::Europe:
      return "Europe";
    case Region::EuropeanUnion:
      return "European Union";
    case Region::MiddleEast:
      return "Middle East";
    case Region::NorthAmerica:
      return "North America";
    case Region::SouthAmerica:
      return "South America";
    case Region::None:
      break;
  }
  return "";
}

const std::vector<std::string>& GetRegionNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> result;
    for (int value = static_cast<int>(Region::Africa);
         value <= static_cast<int>(Region::SouthAmerica); ++value) {
      result.emplace_back(GetRegionName(static_cast<Region>(value)));
    }
    return result;
  }();
  return names;
}

const std::vector<Country>& GetCountries() {
  static const std::vector<Country> countries = {
      {"South Africa", "ZA", Region::Africa, kNone},

      {"China", "CN", Region::Asia, kNone},
      {"Hong Kong", "HK", Region::Asia, kNone},
      {"India", "IN", Region::Asia, kNone},
      {"Indonesia", "ID", Region::Asia, kNone},
      {"Japan", "JP", Region::Asia, kNone},
      {"Kazakhstan", "KZ", Region::Asia, kNone},
      {"Macau", "MO", Region::Asia, kNone},
      {"Malaysia", "MY", Region::Asia, kNone},
      {"Pakistan", "PK", Region::Asia, kNone},
      {"Philippines", "PH", Region::Asia, kNone},
      {"Singapore", "SG", Region::Asia, kNone},
      {"South Korea", "KR", Region::Asia, kNone},
      {"Taiwan", "TW", Region::Asia, kNone},
      {"Thailand", "TH", Region::Asia, kNone},

      {"Australia", "AU", Region::AustraliaAndOceania, kNone},
      {"New Zealand", "NZ", Region::AustraliaAndOceania, kNone},

      {"Austria", "AT", Region::Europe, kEU},
      {"Belarus", "BY", Region::Europe, kNone},
      {"Belgium", "BE", Region::Europe, kEU},
      {"Bosnia and Herzegovina", "BA", Region::Europe, kNone},
      {"Bulgaria", "BG", Region::Europe, kEU},
      {"Croatia", "HR", Region::Europe, kEU},
      {"Czech Republic", "CZ", Region::Europe, kEU},
      {"Denmark", "DK", Region::Europe, kEU},
      {"Estonia", "EE", Region::Europe, kEU},
      {"Finland", "FI", Region::Europe, kEU},
      {"France", "FR", Region::Europe, kEU},
      {"Germany", "DE", Region::Europe, kEU},
      {"Greece", "GR", Region::Europe, kEU},
      {"Hungary", "HU", Region::Europe, kEU},
      {"Ireland", "IE", Region::Europe, kEU},
      {"Italy", "IT", Region::Europe, kEU},
      {"Latvia", "LV", Region::Europe, kEU},
      {"Lithuania", "LT", Region::Europe, kEU},
      {"Luxembourg", "LU", Region::Europe, kEU},
      {"Monaco", "MC", Region::Europe, kNone},
      {"Netherlands", "NL", Region::Europe, kEU},
      {"Norway", "NO", Region::Europe, kNone},
      {"Poland", "PL", Region::Europe, kEU},
      {"Portugal", "PT", Region::Europe, kEU},
      {"Romania", "RO", Region::Europe, kEU},
      {"Russia", "RU", Region::Europe, kNone},
      {"San Marino", "SM", Region::Europe, kNone},
      {"Serbia", "RS", Region::Europe, kNone},
      {"Slovakia", "SK", Region::Europe, kEU},
      {"Slovenia", "SI", Region::Europe, kEU},
      {"Spain", "ES", Region::Europe, kEU},
      {"Sweden", "SE", Region::Europe, kEU},
      {"Switzerland", "CH", Region::Europe, kNone},
      {"Ukraine", "UA", Region::Europe, kNone},
      {"United Kingdom", "UK", Region::Europe, kEU},

      {"Israel", "IL", Region::MiddleEast, kNone},
      {"Lebanon", "LB", Region::MiddleEast, kNone},
      {"Oman", "OM", Region::MiddleEast, kNone},
      {"Syria", "SY", Region::MiddleEast, kNone},
      {"Turkey", "TR", Region::MiddleEast, kNone},

      {"Canada", "CA", Region::NorthAmerica, kNone},
      {"Costa Rica", "CR", Region::NorthAmerica, kNone},
      {"El Salvador", "SV", Region::NorthAmerica, kNone},
      {"Mexico", "MX", Region::NorthAmerica, kNone},
      {"USA", "US", Region::NorthAmerica, kNone},

      {"Argentina", "AR", Region::SouthAmerica, kNone},
      {"Brazil", "BR", Region::SouthAmerica, kNone},
      {"Chile", "CL", Region::SouthAmerica, kNone},
      {"Ecuador", "EC", Region::SouthAmerica, kNone},
      {"Peru", "PE", Region::SouthAmerica, kNone},
      {"Venezuela", "VE", Region::SouthAmerica, kNone},
  };
  return countries;
}

const Country& GetCountryByName(const std::string& name) {
  if (const Country* country = FindCountryByName(name)) {
    return *country;
  }
  throw std::invalid_argument("Unknown country name");
}

const Country* FindCountryByName(const std::string& name) {
  const auto& countries = GetCountries();
  const auto found = std::find_if(countries.begin(), countries.end(),
                                  [&](const Country& country) { return name == country.name; });
  return found == countries.end() ? nullptr : &*found;
}

const Country& GetCountryByID(const std::string& id) {
  if (const Country* country = FindCountryByID(id)) {
    return *country;
  }
  throw std::invalid_argument("Unknown country ID");
}

const Country* FindCountryByID(const std::string& id) {
  for (const Country& country : GetCountries()) {
    if (id == country.id) {
      return &country;
    }
  }
  return nullptr;
}

bool CompareCountriesByName(const Country& first, const Country& second) {
  // std::string compares through char_traits<char>, which compares as unsigned char.
  return std::string(first.name) < std::string(second.name);
}

bool CountryIsInRegion(const Country& country, Region region) {
  // A secondary region of None means "no second region", not membership of None.
  return region != Region::None && (country.region == region || country.secondaryRegion == region);
}

}  // namespace Corvalle::BrickLink
