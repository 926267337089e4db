#include "BrickLink/StoreInformation.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "BrickLink/Countries.h"
#include "BrickLink/MarketplaceHost.h"
#include "ScopedEnvironment.h"

namespace Corvalle::BrickLink {
namespace {

TEST(StoreInformationTest, StoreWithoutEntry) {
  const StoreInformation store(900001);
  EXPECT_EQ(store.Name(), "[Error retrieving store name]");
  EXPECT_FALSE(store.CountryIsValid());
  EXPECT_EQ(store.FindCountry(), nullptr);
  try {
    store.GetCountry();
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Unknown country!");
  }
}

TEST(StoreInformationTest, StoreWithEntry) {
  StoreInformation::SetStoreMetadata(1001, {"Bricks & More", "DE"});
  const StoreInformation store(1001);
  EXPECT_EQ(store.Name(), "Bricks & More");
  EXPECT_TRUE(store.CountryIsValid());
  EXPECT_STREQ(store.GetCountry().name, "Germany");
  EXPECT_EQ(store.FindCountry(), &store.GetCountry());

  // A later entry replaces the earlier one.
  StoreInformation::SetStoreMetadata(1001, {"Bricks and More", "UK"});
  EXPECT_EQ(store.Name(), "Bricks and More");
  EXPECT_STREQ(store.GetCountry().name, "United Kingdom");

  // An identifier outside the country table passes its error on, from both lookups.
  StoreInformation::SetStoreMetadata(1002, {"Far Away", "GB"});
  EXPECT_THROW(StoreInformation(1002).GetCountry(), std::invalid_argument);
  EXPECT_THROW(StoreInformation(1002).CountryIsValid(), std::invalid_argument);
}

TEST(StoreInformationTest, StoreUrlUsesTheMarketplaceHostGiven) {
  EXPECT_EQ(StoreInformation(123).StoreUrl("127.0.0.1:8123"),
            "http://127.0.0.1:8123/store.asp?sID=123");
  EXPECT_EQ(StoreInformation(4294967295u).StoreUrl(kPublicMarketplaceHost),
            std::string("http://") + kPublicMarketplaceHost + "/store.asp?sID=4294967295");
}

TEST(StoreInformationTest, TheProgramsEdgeReadsTheHostFromTheEnvironment) {
  {
    Testing::ScopedEnvironment host("CORVALLE_MARKETPLACE_HOST", "127.0.0.1:8123");
    EXPECT_EQ(GetMarketplaceHost(), "127.0.0.1:8123");
  }
  {
    Testing::ScopedEnvironment host("CORVALLE_MARKETPLACE_HOST", nullptr);
    EXPECT_EQ(GetMarketplaceHost(), kPublicMarketplaceHost);
  }
  {
    Testing::ScopedEnvironment host("CORVALLE_MARKETPLACE_HOST", "");
    EXPECT_EQ(GetMarketplaceHost(), kPublicMarketplaceHost);
  }
}

}  // namespace
}  // namespace Corvalle::BrickLink
