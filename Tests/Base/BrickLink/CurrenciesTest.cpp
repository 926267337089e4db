#include "BrickLink/Currencies.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

namespace Corvalle::BrickLink {
namespace {

TEST(CurrencyTest, TableHoldsFortyUniqueCurrencies) {
  const auto& currencies = GetCurrencies();
  ASSERT_EQ(currencies.size(), 40u);
  std::set<std::string> names;
  std::set<std::uint32_t> ids;
  std::set<std::string> codes;
  for (const Currency& currency : currencies) {
    names.insert(currency.name);
    ids.insert(currency.id);
    codes.insert(currency.code);
    EXPECT_EQ(std::string(currency.code).size(), 3u) << currency.name;
    EXPECT_TRUE(currency.symbolAfterAmount == 0 || currency.symbolAfterAmount == 1);
  }
  EXPECT_EQ(names.size(), 40u);
  EXPECT_EQ(ids.size(), 40u);
  EXPECT_EQ(codes.size(), 40u);
  EXPECT_STREQ(currencies.front().name, "Argentine Peso");
  EXPECT_STREQ(currencies.back().name, "US Dollar");
}

TEST(CurrencyTest, LookupByName) {
  const Currency& dollar = GetCurrencyByName("US Dollar");
  EXPECT_EQ(dollar.id, 1u);
  EXPECT_STREQ(dollar.code, "USD");
  EXPECT_EQ(GetCurrencyByName("Euro").id, 2u);
  EXPECT_STREQ(GetCurrencyByName("Romanian New Lei").code, "ROL");
  try {
    GetCurrencyByName("Dollar");
    ADD_FAILURE() << "no exception";
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "Unknown currency name");
  }
  EXPECT_THROW(GetCurrencyByName("us dollar"), std::invalid_argument);
  EXPECT_EQ(FindCurrencyByName("Euro"), &GetCurrencyByName("Euro"));
  EXPECT_EQ(FindCurrencyByName("Dollar"), nullptr);
}

}  // namespace
}  // namespace Corvalle::BrickLink
