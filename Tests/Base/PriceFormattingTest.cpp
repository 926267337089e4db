#include "Source/Base/PriceFormatting.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Source/Base/BrickLink/Currencies.h"
#include "Source/Base/PreferencesManager.h"
#include "Tests/Support/ScopedEnvironment.h"
#include "Source/Base/SQLite/SqliteWrapper.h"
#include "Tests/Support/TemporaryDirectory.h"

namespace Utilities {
namespace {

class FormatPriceTest : public ::testing::Test {
 protected:
  FormatPriceTest() { Sqlite::SetDataDirectory(directory.Path().string().c_str()); }

  void SaveCurrency(const std::string& currency) {
    Corvalle::CreatePreferencesManager()->SetPreferences({3, "USA", currency, {"North America"}});
  }

  Testing::TemporaryDirectory directory;
  // An environment that groups digits by threes.
  Testing::ScopedEnvironment locale{"LC_ALL", "en_US.UTF-8"};
};

TEST_F(FormatPriceTest, EachCurrencyWritesItsOwnSeparatorsAndSymbol) {
  // A fresh database formats in the default currency.
  EXPECT_EQ(FormatPrice(1234.5), "$1,234.50");
  EXPECT_EQ(FormatPrice(0.005), "$0.01");  // two decimals after rounding, never more
  EXPECT_EQ(FormatPrice(0.0), "$0.00");

  SaveCurrency("Euro");
  EXPECT_EQ(FormatPrice(1234.5), "\u20AC1.234,50");
  EXPECT_EQ(FormatPrice(1234567.891), "\u20AC1.234.567,89");
  EXPECT_EQ(FormatPrice(0.005), "\u20AC0,01");

  EXPECT_EQ(FormatPrice(0.0041, 4), "\u20AC0,0041");
  EXPECT_EQ(FormatPrice(1234.56789, 4), "\u20AC1.234,5679");

  SaveCurrency("Swiss Franc");  // after the amount, one blank between
  EXPECT_EQ(FormatPrice(1234.5), "1'234.50 Fr.");
  EXPECT_EQ(FormatPrice(12.3), "12.30 Fr.");

  SaveCurrency("Danish Krone");  // the symbol's own blank separates it
  EXPECT_EQ(FormatPrice(1234.5), "kr 1.234,50");

  SaveCurrency("Polish Zloty");
  EXPECT_EQ(FormatPrice(1234.5), "1 234,50 z\u0142");

  SaveCurrency("US Dollar");
  EXPECT_EQ(FormatPrice(999.999), "$1,000.00");
}

// Each part rounded on its own gave "$27.14 (lots $24.77 + shipping $2.38)".
TEST_F(FormatPriceTest, PartsShownAddUpToTheTotalShown) {
  const auto& dollar = Corvalle::BrickLink::GetCurrencyByName("US Dollar");
  const auto& euro = Corvalle::BrickLink::GetCurrencyByName("Euro");
  struct Case {
    double lots;
    double shipping;
    const Corvalle::BrickLink::Currency& currency;
    const char* total;
    const char* lotsShown;
    const char* shippingShown;
  };
  const Case cases[] = {
      {24.765, 2.375, dollar, "$27.14", "$24.76", "$2.38"},
      {0.004, 0.004, dollar, "$0.01", "$0.01", "$0.00"},
      {1000.0051, 4.5, euro, "\u20AC1.004,51", "\u20AC1.000,01", "\u20AC4,50"},
      {0.0, 0.0, dollar, "$0.00", "$0.00", "$0.00"},
  };
  for (const Case& example : cases) {
    const PriceParts parts =
        FormatPriceParts(example.lots + example.shipping, example.shipping, example.currency);
    EXPECT_EQ(parts.total, example.total);
    EXPECT_EQ(parts.lots, example.lotsShown);
    EXPECT_EQ(parts.shipping, example.shippingShown);
  }
  // What one more store saves is the difference of the totals shown.
  EXPECT_EQ(FormatPriceDifference(10.0051, 7.004, dollar), "$3.01");
  EXPECT_EQ(FormatPriceDifference(1.0, 1.0001, dollar), "$0.00");
}

TEST_F(FormatPriceTest, GroupingFollowsTheEnvironment) {
  SaveCurrency("Euro");
  Testing::ScopedEnvironment plain("LC_ALL", "C");
  EXPECT_EQ(FormatPrice(1234.5), "\u20AC1234,50");
}

}  // namespace
}  // namespace Utilities
