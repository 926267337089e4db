#include "Source/Base/BrickLink/StoreInformation.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "Source/Base/BrickLink/Countries.h"
#include "Source/Base/BrickLink/MarketplaceHost.h"
#include "Tests/Support/ExceptionMessage.h"
#include "Tests/Support/ScopedEnvironment.h"
#include "Tests/Support/WriteWhileReading.h"

namespace Corvalle::BrickLink {
namespace {

TEST(StoreInformationTest, StoreWithoutEntry) {
  const StoreInformation store(900001);
  EXPECT_EQ(store.Name(), "[Error retrieving store name]");
  EXPECT_FALSE(store.CountryIsValid());
  EXPECT_EQ(store.FindCountry(), nullptr);
  EXPECT_EQ(Testing::RuntimeErrorOf([&] { store.GetCountry(); }), "Unknown country!");
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

// A search fills the table while the window still shows the plans of the one before.
TEST(StoreInformationTest, LookupsWhileASearchWritesTheTableAreWhole) {
  const StoreMetadata even{"A store whose name is longer than any short string", "DE"};
  const StoreMetadata odd{"Another store, with a name just as long as the first", "US"};
  for (std::uint32_t id = 800; id < 816; ++id) {
    StoreInformation::SetStoreMetadata(id, even);
  }
  const auto failures = Testing::WriteWhileReading(
      20000,
      [&](std::size_t n) {
        StoreInformation::SetStoreMetadata(static_cast<std::uint32_t>(800 + n % 16),
                                           n % 2 == 0 ? even : odd);
        StoreInformation::SetStoreMetadata(static_cast<std::uint32_t>(20000 + n), even);
      },
      [&](std::size_t n) {
        const StoreInformation store(static_cast<std::uint32_t>(800 + n % 16));
        const std::string name = store.Name();
        const std::string country = store.CountryId();
        // Each store has an entry all along: no name or country may read as unknown or torn.
        return (name == even.name || name == odd.name) && (country == "DE" || country == "US");
      });
  EXPECT_EQ(failures, 0u);
}

TEST(StoreInformationTest, TheProgramsEdgeReadsTheHostFromTheEnvironment) {
  // Unset and empty both mean the public marketplace.
  for (const char* value : {"127.0.0.1:8123", static_cast<const char*>(nullptr), ""}) {
    Testing::ScopedEnvironment host("CORVALLE_MARKETPLACE_HOST", value);
    EXPECT_EQ(GetMarketplaceHost(), value && *value ? value : kPublicMarketplaceHost);
  }
}

}  // namespace
}  // namespace Corvalle::BrickLink
