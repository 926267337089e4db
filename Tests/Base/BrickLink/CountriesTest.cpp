#include "Source/Base/BrickLink/Countries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>

#include "Tests/Support/ExceptionMessage.h"

namespace Corvalle::BrickLink {
namespace {

template <typename Lookup>
std::string MessageOf(Lookup lookup) {
  return Testing::MessageOf<std::invalid_argument>(lookup);
}

TEST(RegionTest, LookupIsExactAndMissesYieldNone) {
  EXPECT_EQ(GetRegionByName("Europe"), Region::Europe);
  EXPECT_EQ(GetRegionByName("Australia & Oceania"), Region::AustraliaAndOceania);
  EXPECT_EQ(GetRegionByName("European Union"), Region::EuropeanUnion);
  EXPECT_EQ(GetRegionByName("europe"), Region::None);
  EXPECT_EQ(GetRegionByName("None"), Region::None);
  EXPECT_EQ(GetRegionByName(""), Region::None);
  EXPECT_EQ(GetRegionByName("Europe "), Region::None);

  for (const std::string& name : GetRegionNames()) {
    EXPECT_EQ(GetRegionName(GetRegionByName(name)), name);
  }
}

// What the lookups and the region lists rely on; the entries themselves are data.
TEST(CountryTest, TableHoldsUniqueCountriesInRegionOrder) {
  const auto& countries = GetCountries();
  std::set<std::string> names;
  std::set<std::string> ids;
  for (const Country& country : countries) {
    EXPECT_TRUE(names.insert(country.name).second) << country.name;
    EXPECT_TRUE(ids.insert(country.id).second) << country.name;
    EXPECT_EQ(std::string(country.id).size(), 2u) << country.name;
    EXPECT_NE(country.region, Region::None) << country.name;
    EXPECT_NE(country.region, Region::EuropeanUnion) << country.name;
  }
  EXPECT_TRUE(
      std::is_sorted(countries.begin(), countries.end(),
                     [](const Country& a, const Country& b) { return a.region < b.region; }));
}

TEST(CountryTest, LookupsByIdAndName) {
  EXPECT_STREQ(GetCountryByID("UK").name, "United Kingdom");
  EXPECT_STREQ(GetCountryByID("US").name, "USA");
  EXPECT_STREQ(GetCountryByID("MO").name, "Macau");
  // Invalid arguments, which callers that catch runtime errors must not swallow.
  EXPECT_EQ(MessageOf([] { GetCountryByID("GB"); }), "Unknown country ID");
  EXPECT_EQ(MessageOf([] { GetCountryByID("us"); }), "Unknown country ID");
  EXPECT_EQ(MessageOf([] { GetCountryByID(""); }), "Unknown country ID");

  EXPECT_STREQ(GetCountryByName("USA").id, "US");
  EXPECT_STREQ(GetCountryByName("Czech Republic").id, "CZ");
  EXPECT_EQ(MessageOf([] { GetCountryByName("United States"); }), "Unknown country name");
  EXPECT_EQ(MessageOf([] { GetCountryByName("usa"); }), "Unknown country name");
  EXPECT_EQ(FindCountryByName("Czech Republic"), &GetCountryByName("Czech Republic"));
  EXPECT_EQ(FindCountryByName("usa"), nullptr);
  EXPECT_EQ(FindCountryByID("MO"), &GetCountryByID("MO"));
  EXPECT_EQ(FindCountryByID("GB"), nullptr);
}

// A country is in its region and its secondary one; which countries those are is data.
TEST(CountryTest, RegionMembership) {
  const Country& germany = GetCountryByName("Germany");
  EXPECT_TRUE(CountryIsInRegion(germany, Region::Europe));
  EXPECT_TRUE(CountryIsInRegion(germany, Region::EuropeanUnion));
  EXPECT_FALSE(CountryIsInRegion(germany, Region::NorthAmerica));
  const Country& switzerland = GetCountryByName("Switzerland");
  EXPECT_TRUE(CountryIsInRegion(switzerland, Region::Europe));
  EXPECT_FALSE(CountryIsInRegion(switzerland, Region::EuropeanUnion));
  for (const Country& country : GetCountries()) {
    EXPECT_FALSE(CountryIsInRegion(country, Region::None)) << country.name;
    if (country.secondaryRegion == Region::EuropeanUnion) {
      EXPECT_EQ(country.region, Region::Europe) << country.name;
    }
  }
}

}  // namespace
}  // namespace Corvalle::BrickLink
