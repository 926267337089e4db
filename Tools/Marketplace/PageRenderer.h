#pragma once

// The marketplace's pages as its web site of about 2015 wrote them: upper-case HTML tags, one
// line per colour, per statistics box and per lot, amounts written as the currency's code,
// "&nbsp;" and the number ("US&nbsp;$0.0512"). Clients read these pages with substring searches
// and line-bound regular expressions, so the order of the markers and the line breaks are part
// of the contract:
//   colour guide: one row per colour, ">ID&nbsp;</TD>" then a cell whose first attribute is
//     BGCOLOR="#RRGGBB", then the name after SIZE="2">, ended by "&nbsp;";
//   price guide: "C0C0C0" before the four statistics boxes, in the order sold-New, sold-Used,
//     current-New, current-Used; each box on one line, either "Times Sold:"/"Total Lots:" with
//     Total Qty, Min Price, Avg Price, Qty Avg Price, Max Price, or "(Unavailable)"; then one
//     "Currently Available" section per condition that has lots, new before used, one lot per
//     line, cheapest first: store link "/store.asp?sID=N&itemID=M", image box16Y or box16N,
//     the quantity in a bare <TD>, then the price cell "&nbsp;[~]CODE&nbsp;AMOUNT&nbsp;";
//   store page: "<TITLE>NAME - SITENAME</TITLE>", later one line with a link carrying
//     "uID=", "&c=" (ISO country code) and "&cn=" (the marketplace's country id).
// Every function here is pure and thread-safe.

#include <cstdint>
#include <optional>
#include <string>

#include "Tools/Marketplace/World.h"

namespace Corvalle::Marketplace {

// The currency in which a page shows its amounts.
struct DisplayCurrency {
  std::uint32_t id = 1;
  std::string prefix = "US&nbsp;$";  // code and "&nbsp;"; never holds a digit or a "."
  double rate = 1.0;                 // units per US dollar
};

// The display currency for a currency id: known to the currency table and given a rate by the
// world (US dollars always are). Empty otherwise.
std::optional<DisplayCurrency> FindDisplayCurrency(const World& world, std::uint32_t currencyId);

// value rounded to 4 decimal places, half away from zero, "," between groups of thousands and
// "." before the 4 decimals: 1234.56785 -> "1,234.5679", -0.00004 -> "0.0000".
std::string FormatDecimal(double value);
// A US dollar amount shown in the currency: "~" when converted, the prefix, FormatDecimal.
std::string FormatAmount(double dollars, const DisplayCurrency& currency, bool converted);
// &, <, >, " as entities; control characters as blanks, so that a text keeps to its line.
std::string EscapeHtml(const std::string& text);

std::string RenderColorGuidePage(const World& world);
// buyerCountry: the buyer's country id; empty when unknown, which marks every lot "Y".
std::string RenderPriceGuidePage(const World& world, const WorldPriceGuide& guide,
                                 const std::string& buyerCountry, const DisplayCurrency& currency);
std::string RenderStorePage(const World& world, const WorldStore& store);
// A short page for answers other than 200.
std::string RenderErrorPage(const World& world, unsigned statusCode, const std::string& reason);

// Whether the store ships to the country: always when it gives no list or the country is
// unknown (empty).
bool ShipsTo(const WorldStore& store, const std::string& countryId);

}  // namespace Corvalle::Marketplace
