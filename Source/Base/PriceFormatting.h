#pragma once

#include <string>

namespace Corvalle::BrickLink {
struct Currency;
}

namespace Utilities {

// The price with two decimals, written the way the currency that the user last saved in the
// preferences is written: its decimal and thousands separators, the digit grouping of the
// user's environment locale, and its symbol before the amount (symbols ending in a blank stand
// apart by themselves) or after it, separated by one blank. Reads the preferences afresh on
// every call and shares nothing, so any thread may call it. Throws std::invalid_argument
// "Unknown currency name" when the saved currency is not in the currency table, and
// std::runtime_error with SQLite's text when the preferences cannot be read.
std::string FormatPrice(double price);
// The same with as many decimals as asked for: unit prices of a few hundredths of a cent need
// four to be told apart.
std::string FormatPrice(double price, int decimals);
// The same in the given currency, for callers that write many prices of one search and have
// read the saved currency once.
std::string FormatPrice(double price, int decimals, const Corvalle::BrickLink::Currency& currency);

// A total of lots and shipping as shown, with two decimals, in the given currency: the total
// rounded to the cent, the shipping rounded to the cent, and the lots as the difference, so
// that the parts shown always add up to the total shown.
struct PriceParts {
  std::string total;
  std::string lots;
  std::string shipping;
};
PriceParts FormatPriceParts(double total, double shipping,
                            const Corvalle::BrickLink::Currency& currency);
// The difference of two totals as they are shown, rounded each to the cent first.
std::string FormatPriceDifference(double minuend, double subtrahend,
                                  const Corvalle::BrickLink::Currency& currency);

}  // namespace Utilities
