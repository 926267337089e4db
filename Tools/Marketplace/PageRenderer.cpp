#include "Tools/Marketplace/PageRenderer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "Source/Base/BrickLink/Countries.h"
#include "Source/Base/BrickLink/Currencies.h"

namespace Corvalle::Marketplace {

namespace {

constexpr const char* kFont = "<FONT FACE=\"Tahoma,Arial\" SIZE=\"2\">";

struct Statistics {
  std::size_t count = 0;
  std::uint64_t totalQuantity = 0;
  double minPrice = 0.0;
  double averagePrice = 0.0;
  double quantityAveragePrice = 0.0;
  double maxPrice = 0.0;
};

template <typename Entry>
std::optional<Statistics> ComputeStatistics(const std::vector<Entry>& entries) {
  if (entries.empty()) {
    return std::nullopt;
  }
  Statistics statistics;
  statistics.count = entries.size();
  statistics.minPrice = entries.front().price;
  statistics.maxPrice = entries.front().price;
  double priceSum = 0.0;
  double weightedSum = 0.0;
  for (const Entry& entry : entries) {
    statistics.totalQuantity += entry.quantity;
    statistics.minPrice = std::min(statistics.minPrice, entry.price);
    statistics.maxPrice = std::max(statistics.maxPrice, entry.price);
    priceSum += entry.price;
    weightedSum += entry.price * entry.quantity;
  }
  statistics.averagePrice = priceSum / static_cast<double>(entries.size());
  statistics.quantityAveragePrice =
      statistics.totalQuantity == 0 ? statistics.averagePrice
                                    : weightedSum / static_cast<double>(statistics.totalQuantity);
  return statistics;
}

const char* TypeName(char type) {
  switch (type) {
    case 'S':
      return "Set";
    case 'P':
      return "Part";
    case 'M':
      return "Minifigure";
    case 'B':
      return "Book";
    case 'G':
      return "Gear";
    case 'C':
      return "Catalog";
    case 'I':
      return "Instruction";
    case 'O':
      return "Original Box";
    default:
      return "Item";
  }
}

std::string Head(const std::string& title) {
  return "<HTML>\n<HEAD>\n<TITLE>" + title +
         "</TITLE>\n<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
         "</HEAD>\n<BODY BGCOLOR=\"#FFFFFF\" TEXT=\"#000000\">\n<CENTER>\n";
}

constexpr const char* kFoot = "</CENTER>\n</BODY>\n</HTML>\n";

// One statistics box on one line, or "(Unavailable)".
void AppendBox(std::string& page, const char* label, const std::optional<Statistics>& statistics,
               const DisplayCurrency& currency) {
  page += "<TD WIDTH=\"25%\" VALIGN=\"TOP\">";
  if (!statistics) {
    page += kFont;
    page += "(Unavailable)</FONT></TD>\n";
    return;
  }
  // Statistics are computed in dollars, so any other currency shows converted amounts.
  const bool converted = currency.id != 1;
  auto row = [&page](const char* name, const std::string& value) {
    page += "<TR><TD>";
    page += kFont;
    page += name;
    page += "</FONT></TD><TD>";
    page += kFont;
    page += "<B>" + value + "</B></FONT></TD></TR>";
  };
  page += "<TABLE BORDER=\"0\" CELLPADDING=\"0\" CELLSPACING=\"2\">";
  row((std::string(label) + ":").c_str(), std::to_string(statistics->count));
  row("Total Qty:", std::to_string(statistics->totalQuantity));
  row("Min Price:", FormatAmount(statistics->minPrice, currency, converted));
  row("Avg Price:", FormatAmount(statistics->averagePrice, currency, converted));
  row("Qty Avg Price:", FormatAmount(statistics->quantityAveragePrice, currency, converted));
  row("Max Price:", FormatAmount(statistics->maxPrice, currency, converted));
  page += "</TABLE></TD>\n";
}

// The "Currently Available" section of one condition; nothing when it has no lots.
void AppendLots(std::string& page, const World& world, const WorldPriceGuide& guide,
                const std::vector<WorldLot>& lots, const std::string& buyerCountry,
                const DisplayCurrency& currency) {
  page += "<TD WIDTH=\"25%\" VALIGN=\"TOP\">";
  if (lots.empty()) {
    page += "&nbsp;</TD>\n";
    return;
  }
  const std::vector<const WorldLot*> sorted = LotsInPageOrder(lots);
  const std::string itemNumber = std::to_string(world.CatalogNumber(guide));
  page += "\n<TABLE BORDER=\"0\" CELLPADDING=\"1\" CELLSPACING=\"0\" WIDTH=\"100%\">\n";
  page += "<TR BGCOLOR=\"#C0C0C0\"><TD COLSPAN=\"3\" ALIGN=\"CENTER\">";
  page += kFont;
  page += "<B>Currently Available</B></FONT></TD></TR>\n";
  page += "<TR ALIGN=\"RIGHT\"><TD NOWRAP>";
  page += kFont;
  page += "<B>&nbsp;</B></FONT></TD><TD NOWRAP>";
  page += kFont;
  page += "<B>Qty</B></FONT></TD><TD NOWRAP>";
  page += kFont;
  page += "<B>Each</B></FONT></TD></TR>\n";
  for (const WorldLot* lot : sorted) {
    const WorldStore& store = *world.FindStore(lot->storeId);
    const std::string storeTitle = "Store: " + EscapeHtml(store.name);
    page += "<TR ALIGN=\"RIGHT\"><TD NOWRAP>&nbsp;<A HREF=\"/store.asp?sID=";
    page += std::to_string(store.id);
    page += "&itemID=";
    page += itemNumber;
    page += "\"><IMG SRC=\"/images/box16";
    page += ShipsTo(store, buyerCountry) ? 'Y' : 'N';
    page += ".png\" WIDTH=\"16\" HEIGHT=\"16\" ALT=\"" + storeTitle + "\" TITLE=\"" + storeTitle +
            "\" ALIGN=\"ABSMIDDLE\" BORDER=\"0\"></A>&nbsp;</TD><TD>";
    page += std::to_string(lot->quantity);
    page += "</TD><TD NOWRAP>&nbsp;";
    page += FormatAmount(lot->price, currency, store.currencyId != currency.id);
    page += "&nbsp;</TD></TR>\n";
  }
  page += "</TABLE></TD>\n";
}

std::string IsoCountryCode(const std::string& countryId) {
  return countryId == "UK" ? "GB" : countryId;
}

}  // namespace

std::optional<DisplayCurrency> FindDisplayCurrency(const World& world, std::uint32_t currencyId) {
  if (currencyId == 1) {
    return DisplayCurrency{};
  }
  const auto rate = world.Rates().find(currencyId);
  if (rate == world.Rates().end()) {
    return std::nullopt;
  }
  const BrickLink::Currency* currency = BrickLink::FindCurrencyByID(currencyId);
  if (currency == nullptr) {
    return std::nullopt;
  }
  return DisplayCurrency{currencyId, std::string(currency->code) + "&nbsp;", rate->second};
}

std::string FormatDecimal(double value) {
  // Rounds the shortest decimal text that reads back as the value, so that 0.12345, whose
  // binary form lies just below the half, rounds up as its decimal text says.
  char text[400];
  const auto [end, error] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  std::string digits(text, error == std::errc() ? end : text);
  const bool negative = !digits.empty() && digits.front() == '-';
  if (negative) {
    digits.erase(0, 1);
  }
  const std::size_t point = digits.find('.');
  std::string whole = digits.substr(0, point);
  std::string fraction = point == std::string::npos ? "" : digits.substr(point + 1);
  if (whole.empty()) {
    whole = "0";
  }
  fraction.resize(std::max<std::size_t>(fraction.size(), 5), '0');
  const bool roundUp = fraction[4] >= '5';
  std::string units = whole + fraction.substr(0, 4);
  if (roundUp) {
    std::size_t index = units.size();
    while (index > 0 && units[index - 1] == '9') {
      units[--index] = '0';
    }
    if (index == 0) {
      units.insert(units.begin(), '1');
    } else {
      ++units[index - 1];
    }
  }
  whole = units.substr(0, units.size() - 4);
  fraction = units.substr(units.size() - 4);
  std::string grouped;
  for (std::size_t index = 0; index < whole.size(); ++index) {
    if (index != 0 && (whole.size() - index) % 3 == 0) {
      grouped += ',';
    }
    grouped += whole[index];
  }
  const bool zero = units.find_first_not_of('0') == std::string::npos;
  return (negative && !zero ? "-" : "") + grouped + "." + fraction;
}

std::string FormatAmount(double dollars, const DisplayCurrency& currency, bool converted) {
  return (converted ? "~" : "") + currency.prefix + FormatDecimal(dollars * currency.rate);
}

std::string EscapeHtml(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char character : text) {
    switch (character) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        if (static_cast<unsigned char>(character) < 0x20 || character == 0x7F) {
          escaped += ' ';
        } else {
          escaped += character;
        }
    }
  }
  return escaped;
}

bool ShipsTo(const WorldStore& store, const std::string& countryId) {
  return countryId.empty() || !store.shipsTo || store.shipsTo->count(countryId) != 0;
}

std::string RenderColorGuidePage(const World& world) {
  std::string page = Head("BrickLink Color Guide - " + EscapeHtml(world.SiteName()));
  page += kFont;
  page += "<B>Color Guide</B></FONT><BR><BR>\n";
  page += "<TABLE BORDER=\"0\" CELLPADDING=\"2\" CELLSPACING=\"1\">\n";
  std::string currentType;
  bool firstRow = true;
  for (const WorldColor& color : world.Colors()) {
    if (firstRow || color.type != currentType) {
      currentType = color.type;
      firstRow = false;
      page += "<TR BGCOLOR=\"#5E5A80\"><TD COLSPAN=\"3\">";
      page += kFont;
      page += "<FONT COLOR=\"#FFFFFF\"><B>" + EscapeHtml(currentType) +
              " Colors</B></FONT></FONT></TD></TR>\n";
      page += "<TR BGCOLOR=\"#C0C0C0\"><TD>";
      page += kFont;
      page += "<B>ID</B></FONT></TD><TD>";
      page += kFont;
      page += "<B>Color</B></FONT></TD><TD>";
      page += kFont;
      page += "<B>Name</B></FONT></TD></TR>\n";
    }
    page += "<TR><TD ALIGN=\"RIGHT\">" + std::to_string(color.id) + "&nbsp;</TD><TD BGCOLOR=\"#" +
            EscapeHtml(color.rgb) + "\" WIDTH=\"30\">&nbsp;</TD><TD>" + kFont +
            EscapeHtml(color.name) + "&nbsp;</FONT></TD></TR>\n";
  }
  page += "</TABLE>\n";
  page += kFoot;
  return page;
}

std::string RenderPriceGuidePage(const World& world, const WorldPriceGuide& guide,
                                 const std::string& buyerCountry, const DisplayCurrency& currency) {
  std::string itemText = std::string(TypeName(guide.type)) + " " + EscapeHtml(guide.id);
  if (!guide.name.empty()) {
    itemText += " : " + EscapeHtml(guide.name);
  }
  std::string colorText;
  if (guide.type == 'P') {
    colorText = std::to_string(guide.color);
    for (const WorldColor& color : world.Colors()) {
      if (color.id == guide.color) {
        colorText = EscapeHtml(color.name);
        break;
      }
    }
  }
  std::string page =
      Head("BrickLink Price Guide - " + itemText + " - " + EscapeHtml(world.SiteName()));
  page += kFont;
  page += "<B>Price Guide</B> for " + itemText;
  if (!colorText.empty()) {
    page += " in <B>" + colorText + "</B>";
  }
  page += "</FONT><BR><BR>\n";
  page += "<TABLE BORDER=\"0\" CELLPADDING=\"2\" CELLSPACING=\"1\" WIDTH=\"100%\">\n";
  page += "<TR BGCOLOR=\"#C0C0C0\"><TD COLSPAN=\"2\" ALIGN=\"CENTER\">";
  page += kFont;
  page += "<B>Past 6 Months Sales</B></FONT></TD><TD COLSPAN=\"2\" ALIGN=\"CENTER\">";
  page += kFont;
  page += "<B>Current Items for Sale</B></FONT></TD></TR>\n";
  page += "<TR BGCOLOR=\"#DDDDDD\" ALIGN=\"CENTER\">";
  for (const char* condition : {"New", "Used", "New", "Used"}) {
    page += "<TD>";
    page += kFont;
    page += "<B>";
    page += condition;
    page += "</B></FONT></TD>";
  }
  page += "</TR>\n<TR>\n";
  AppendBox(page, "Times Sold", ComputeStatistics(guide.soldNew), currency);
  AppendBox(page, "Times Sold", ComputeStatistics(guide.soldUsed), currency);
  AppendBox(page, "Total Lots", ComputeStatistics(guide.newLots), currency);
  AppendBox(page, "Total Lots", ComputeStatistics(guide.usedLots), currency);
  page += "</TR>\n<TR>\n<TD>&nbsp;</TD>\n<TD>&nbsp;</TD>\n";
  AppendLots(page, world, guide, guide.newLots, buyerCountry, currency);
  AppendLots(page, world, guide, guide.usedLots, buyerCountry, currency);
  page += "</TR>\n</TABLE>\n";
  page += kFoot;
  return page;
}

std::string RenderStorePage(const World& world, const WorldStore& store) {
  const std::string name = EscapeHtml(store.name);
  std::string countryName = store.countryId;
  for (const BrickLink::Country& country : BrickLink::GetCountries()) {
    if (store.countryId == country.id) {
      countryName = country.name;
      break;
    }
  }
  std::string page = Head(name + " - " + EscapeHtml(world.SiteName()));
  page += "<TABLE BORDER=\"0\" CELLPADDING=\"4\" CELLSPACING=\"0\" WIDTH=\"100%\">\n";
  page += "<TR BGCOLOR=\"#5E5A80\"><TD>";
  page += kFont;
  page += "<FONT COLOR=\"#FFFFFF\"><B>" + name + "</B></FONT></FONT></TD></TR>\n";
  page += "<TR><TD>";
  page += kFont;
  page += "Store located in: <B>" + EscapeHtml(countryName) + "</B></FONT></TD></TR>\n";
  page += "<TR><TD>";
  page += kFont;
  page += "Ships to: <B>";
  if (!store.shipsTo) {
    page += "All countries";
  } else {
    bool first = true;
    for (const std::string& country : *store.shipsTo) {
      page += (first ? "" : ", ") + EscapeHtml(country);
      first = false;
    }
  }
  page += "</B></FONT></TD></TR>\n";
  page += "<TR><TD>";
  page += kFont;
  page += "<A HREF=\"/contact.asp?uID=" + std::to_string(100000 + store.id) +
          "&t=s&c=" + EscapeHtml(IsoCountryCode(store.countryId)) +
          "&r=1&cn=" + EscapeHtml(store.countryId) + "&x=0\">Contact the store</A>";
  page += "</FONT></TD></TR>\n</TABLE>\n";
  page += kFoot;
  return page;
}

std::string RenderErrorPage(const World& world, unsigned statusCode, const std::string& reason) {
  std::string page = Head(std::to_string(statusCode) + " " + EscapeHtml(reason) + " - " +
                          EscapeHtml(world.SiteName()));
  page += kFont;
  page += "<B>" + std::to_string(statusCode) + " " + EscapeHtml(reason) + "</B></FONT>\n";
  page += kFoot;
  return page;
}

}  // namespace Corvalle::Marketplace
