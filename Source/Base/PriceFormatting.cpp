#include "Source/Base/PriceFormatting.h"

#include <cmath>
#include <ios>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "Source/Base/BrickLink/Currencies.h"
#include "Source/Base/Formatting.h"
#include "Source/Base/PreferencesManager.h"

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

// The amount in whole cents, as two decimals show it.
double Cents(double amount) { return std::round(amount * 100.0); }

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

PriceParts FormatPriceParts(double total, double shipping,
                            const Corvalle::BrickLink::Currency& currency) {
  const double totalCents = Cents(total);
  const double shippingCents = Cents(shipping);
  // + 0.0 keeps a lots part of no cents from showing as "-0.00".
  return {FormatPrice(totalCents / 100.0, 2, currency),
          FormatPrice((totalCents - shippingCents) / 100.0 + 0.0, 2, currency),
          FormatPrice(shippingCents / 100.0, 2, currency)};
}

std::string FormatPriceDifference(double minuend, double subtrahend,
                                  const Corvalle::BrickLink::Currency& currency) {
  return FormatPrice((Cents(minuend) - Cents(subtrahend)) / 100.0 + 0.0, 2, currency);
}

}  // namespace Utilities
