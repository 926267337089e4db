#include "Source/Base/BrickLink/Currencies.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

#include "Tests/Support/ExceptionMessage.h"

namespace Corvalle::BrickLink {
namespace {

// What the lookups rely on; the entries themselves are data.
TEST(CurrencyTest, TableHoldsUniqueCurrencies) {
  std::set<std::string> names;
  std::set<std::uint32_t> ids;
  std::set<std::string> codes;
  for (const Currency& currency : GetCurrencies()) {
    EXPECT_TRUE(names.insert(currency.name).second) << currency.name;
    EXPECT_TRUE(ids.insert(currency.id).second) << currency.name;
    EXPECT_TRUE(codes.insert(currency.code).second) << currency.name;
    EXPECT_EQ(std::string(currency.code).size(), 3u) << currency.name;
    EXPECT_TRUE(currency.symbolAfterAmount == 0 || currency.symbolAfterAmount == 1);
  }
}

TEST(CurrencyTest, LookupByName) {
  const Currency& dollar = GetCurrencyByName("US Dollar");
  EXPECT_EQ(dollar.id, 1u);
  EXPECT_STREQ(dollar.code, "USD");
  EXPECT_EQ(GetCurrencyByName("Euro").id, 2u);
  EXPECT_EQ(Testing::MessageOf<std::invalid_argument>([] { GetCurrencyByName("Dollar"); }),
            "Unknown currency name");
  EXPECT_THROW(GetCurrencyByName("us dollar"), std::invalid_argument);
  EXPECT_EQ(FindCurrencyByName("Euro"), &GetCurrencyByName("Euro"));
  EXPECT_EQ(FindCurrencyByName("Dollar"), nullptr);
}

}  // namespace
}  // namespace Corvalle::BrickLink
