#include "PriceFormatting.h"

#include <ios>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "BrickLink/Currencies.h"
#include "Formatting.h"
#include "PreferencesManager.h"

namespace Utilities {

namespace {

// The separators of a currency with the digit grouping of the user's locale.
class CurrencyNumpunct : public std::numpunct<char> {
 public:
  CurrencyNumpunct(char decimalPoint_, char thousandsSeparator_, std::string grouping_)
      : decimalPoint(decimalPoint_),
        thousandsSeparator(thousandsSeparator_),
        grouping(std::move(grouping_)) {}

 protected:
  char do_decimal_point() const override { return decimalPoint; }
  char do_thousands_sep() const override { return thousandsSeparator; }
  std::string do_grouping() const override { return grouping; }

 private:
  char decimalPoint;
  char thousandsSeparator;
  std::string grouping;
};

}  // namespace

std::string FormatPrice(double price) { return FormatPrice(price, 2); }

std::string FormatPrice(double price, int decimals) {
  const std::string currencyName = Corvalle::CreatePreferencesManager()->GetPreferences().currency;
  return FormatPrice(price, decimals, Corvalle::BrickLink::GetCurrencyByName(currencyName));
}

std::string FormatPrice(double price, int decimals, const Corvalle::BrickLink::Currency& currency) {
  // A locale that is not installed leaves the plain C locale, which groups nothing.
  const std::locale environment = EnvironmentLocale();
  const std::string grouping = std::use_facet<std::numpunct<char>>(environment).grouping();
  std::ostringstream amount;
  amount.imbue(std::locale(
      environment,
      new CurrencyNumpunct(currency.decimalSeparator, currency.thousandsSeparator, grouping)));
  amount << std::fixed;
  amount.precision(decimals);
  amount << price;

  if (currency.symbolAfterAmount != 0) {
    return amount.str() + " " + currency.symbol;
  }
  return currency.symbol + amount.str();
}

}  // namespace Utilities
