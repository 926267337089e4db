// The page is read with substring searches for its markers and two kinds of regular
// expressions: one per statistics box and one per lot. The markers must come in this order:
// "C0C0C0"; the sales boxes (new, used: "Times Sold" or "Unavailable"); the current boxes (new,
// used: "Total Lots" or "Unavailable"); then one "Currently Available" section per condition
// that has lots, new before used, each lot on one line.
//
// The expressions run on Boost.Regex, whose matcher does not recurse: the standard library's
// exhausts the stack on the long lines of a page with thousands of lots. With
// match_not_dot_newline, "." stays off line breaks as it does in ECMAScript.

#include "Source/Base/BrickLink/PriceGuideParser.h"

#include <boost/log/trivial.hpp>
#include <boost/regex.hpp>
#include <limits>
#include <stdexcept>
#include <vector>

#include "Source/Base/BrickLink/PageText.h"

namespace Corvalle::BrickLink {

namespace {

constexpr const char* kSalesLabel = "Times Sold";
constexpr const char* kLotsLabel = "Total Lots";
constexpr const char* kListMarker = "Currently Available";
const auto kMatchFlags = boost::match_default | boost::match_not_dot_newline;

// An amount is the text after the currency's code and its "&nbsp;" (a symbol such as "$" in
// the first group, which holds no digit, sign or separator) up to the end of its cell, all of
// it in the second group: a sign or an exponent around the digits must not be left out of the
// number and the number read as another.
constexpr const char* kAmount = "(?>([^&<\\d+\\-.,\\r\\n]*))(?>([^&<\\r\\n]*))";

// Every run up to a marker is an independent sub-expression "(?>...)": once the first marker
// is found the match never comes back to try a later one, so a block costs one pass. A lazy run
// that could be taken back would let a page that almost matches cost the matcher billions of
// steps, past its own complexity bound. A real page matches on the first marker of each run
// anyway.
const std::string& StatisticsPattern() {
  static const std::string price = std::string("(?>.*?<B>)(?>(.*?)&)(?>.*?;)") + kAmount;
  static const std::string pattern =
      ":(?>.*?<B>)(?>(.*?)</B>)(?>.*?Total Qty:)(?>.*?<B>)(?>(.*?)</B>)(?>.*?Min Price:)" + price +
      "(?>.*?Avg Price:)" + price + "(?>.*?Qty Avg Price:)" + price + "(?>.*?Max Price:)" + price;
  return pattern;
}

const boost::regex& SalesExpression() {
  static const boost::regex expression(kSalesLabel + StatisticsPattern(), boost::regex::ECMAScript);
  return expression;
}

const boost::regex& LotsExpression() {
  static const boost::regex expression(kLotsLabel + StatisticsPattern(), boost::regex::ECMAScript);
  return expression;
}

// Runs are independent sub-expressions for the reason told at StatisticsPattern. The rest of
// the image tag after the marker may cross line breaks: its attributes repeat the store's
// name, which may hold any character, and a store so named must not lose its lots.
const boost::regex& LotExpression() {
  static const boost::regex expression(
      std::string("/store\\.asp\\?sID=(?>(.*?)&)(?>.*?box16)(.?)(?>[^>]*>)(?>.*?<TD>)"
                  "(?>(.*?)</TD>)(?>.*?;)(?>(.*?)&)(?>.*?;)") +
          kAmount,
      boost::regex::ECMAScript);
  return expression;
}

// Says what is wrong with the page; the record that reports it says which text it was.
class UnreadablePage : public std::runtime_error {
 public:
  UnreadablePage() : std::runtime_error("Its markers are missing or out of place.") {}
};

using Iterator = std::string::const_iterator;

PriceGuideStatistics ParseStatistics(const boost::match_results<Iterator>& match) {
  if (match.size() != 15) {
    BOOST_LOG_TRIVIAL(error) << "Unexpected statistics entry match count!";
    return {};
  }
  BOOST_LOG_TRIVIAL(trace) << "Statistics matches:";
  for (const auto& subMatch : match) {
    BOOST_LOG_TRIVIAL(trace) << "Match: " << subMatch.str();
  }
  PriceGuideStatistics statistics;
  statistics.lotCount = ParseUnsigned(match[1].str());
  statistics.totalQuantity = ParseUnsigned(match[2].str());
  statistics.minPrice = ParseAmount(match[5].str());
  statistics.averagePrice = ParseAmount(match[8].str());
  statistics.quantityAveragePrice = ParseAmount(match[11].str());
  statistics.maxPrice = ParseAmount(match[14].str());
  return statistics;
}

// notShipping: where the stores of the lots left out as marked "N" go.
void ParsePrices(PriceGuide::Lots& lots, std::vector<std::uint32_t>& notShipping,
                 const std::string& page, std::size_t startPosition, std::size_t endPosition,
                 bool skipLotsMarkedN) {
  if (startPosition == std::string::npos || startPosition > endPosition ||
      endPosition > page.size()) {
    throw UnreadablePage();
  }
  const Iterator begin = page.begin() + static_cast<std::ptrdiff_t>(startPosition);
  const Iterator end = page.begin() + static_cast<std::ptrdiff_t>(endPosition);
  for (boost::sregex_iterator match(begin, end, LotExpression(), kMatchFlags), last; match != last;
       ++match) {
    if (match->size() != 7) {
      BOOST_LOG_TRIVIAL(error) << "Unexpected price list entry match count!";
      throw UnreadablePage();
    }
    BOOST_LOG_TRIVIAL(trace) << "Price list matches:";
    for (const auto& subMatch : *match) {
      BOOST_LOG_TRIVIAL(trace) << "Match: " << subMatch.str();
    }
    const auto& marker = (*match)[2];
    if (skipLotsMarkedN && marker.length() > 0 && *marker.first == 'N') {
      // Kept to tell a store that does not ship from one that sells nothing. Nothing else of
      // the lot is read, and a store id that does not read is passed over: the lot is not
      // bought either way, and such an id names no store to keep.
      try {
        notShipping.push_back(ParseIdentifier((*match)[1].str()));
      } catch (const std::exception&) {
      }
      continue;
    }
    const std::string priceText = (*match)[6].str();
    const double price = ParseAmount(priceText);
    // Every lot read here goes to the cache, which keeps prices as fixed-point integers and
    // quantities as signed 32-bit ones: a guide that cannot be kept whole is no guide, and the
    // search must stop rather than plan with a lot that was quietly dropped or changed.
    if (!IsStorablePrice(price)) {
      throw std::out_of_range("Lot price out of range: \"" + priceText + "\"");
    }
    const std::string quantityText = (*match)[3].str();
    const std::uint32_t quantity = ParseUnsigned(quantityText);
    if (quantity > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
      throw std::out_of_range("Lot quantity out of range: \"" + quantityText + "\"");
    }
    lots.emplace_back(ParseIdentifier((*match)[1].str()), quantity, price);
  }
}

class PriceGuideParser final : public IPriceGuideParser {
 public:
  PriceGuidePair ParsePriceGuide(const std::string& rawPriceGuide,
                                 bool skipLotsMarkedN) const override;

 private:
  static PriceGuidePair Parse(const std::string& page, bool skipLotsMarkedN);
};

PriceGuidePair PriceGuideParser::ParsePriceGuide(const std::string& rawPriceGuide,
                                                 bool skipLotsMarkedN) const {
  if (rawPriceGuide.empty()) {
    BOOST_LOG_TRIVIAL(error) << "Unable to parse price guide! The page is empty.";
    return {};
  }
  if (!EndsAsWholePage(rawPriceGuide)) {
    BOOST_LOG_TRIVIAL(error) << "Unable to parse price guide! The page is cut short.";
    return {};
  }
  try {
    return Parse(rawPriceGuide, skipLotsMarkedN);
  } catch (const std::exception& error) {
    // Regular expression failures, markers out of place and numbers that do not convert all
    // mean the same to the caller: this page cannot be read.
    BOOST_LOG_TRIVIAL(error) << "Unable to parse price guide! " << error.what();
    return {};
  }
}

PriceGuidePair PriceGuideParser::Parse(const std::string& page, bool skipLotsMarkedN) {
  const std::size_t firstList = page.find(kListMarker);
  const std::size_t listStart = firstList == std::string::npos ? page.size() : firstList;

  std::size_t position = page.find("C0C0C0");
  if (position == std::string::npos) {
    throw UnreadablePage();
  }

  struct Block {
    const char* label;
    const boost::regex& expression;
  };
  const Block blocks[] = {{kSalesLabel, SalesExpression()},
                          {kSalesLabel, SalesExpression()},
                          {kLotsLabel, LotsExpression()},
                          {kLotsLabel, LotsExpression()}};
  PriceGuideStatistics statistics[4];
  for (int index = 0; index < 4; ++index) {
    const std::size_t unavailable = page.find("Unavailable", position);
    const std::size_t label = page.find(blocks[index].label, position);
    if (unavailable < label) {
      position = unavailable + 1;
      continue;
    }
    if (label == std::string::npos || label >= listStart) {
      throw UnreadablePage();
    }
    boost::match_results<Iterator> match;
    if (!boost::regex_search(page.begin() + static_cast<std::ptrdiff_t>(label),
                             page.begin() + static_cast<std::ptrdiff_t>(listStart), match,
                             blocks[index].expression, kMatchFlags)) {
      throw UnreadablePage();
    }
    statistics[index] = ParseStatistics(match);
    position = label + 1;
  }

  const bool newHasLots = statistics[2].lotCount != 0;
  const bool usedHasLots = statistics[3].lotCount != 0;
  PriceGuide::Lots newLots;
  PriceGuide::Lots usedLots;
  std::vector<std::uint32_t> newNotShipping;
  std::vector<std::uint32_t> usedNotShipping;
  if (newHasLots && usedHasLots) {
    const std::size_t secondList =
        firstList == std::string::npos ? std::string::npos : page.find(kListMarker, firstList + 1);
    ParsePrices(newLots, newNotShipping, page, firstList, secondList, skipLotsMarkedN);
    ParsePrices(usedLots, usedNotShipping, page, secondList, page.size(), skipLotsMarkedN);
  } else if (usedHasLots) {
    ParsePrices(usedLots, usedNotShipping, page, firstList, page.size(), skipLotsMarkedN);
  } else if (newHasLots) {
    ParsePrices(newLots, newNotShipping, page, firstList, page.size(), skipLotsMarkedN);
  }

  auto newGuide = std::make_unique<PriceGuide>(std::move(newLots), statistics[2], statistics[0]);
  auto usedGuide = std::make_unique<PriceGuide>(std::move(usedLots), statistics[3], statistics[1]);
  newGuide->SetStoresNotShipping(std::move(newNotShipping));
  usedGuide->SetStoresNotShipping(std::move(usedNotShipping));
  return {std::move(newGuide), std::move(usedGuide)};
}

}  // namespace

std::unique_ptr<IPriceGuideParser> CreatePriceGuideParser() {
  return std::make_unique<PriceGuideParser>();
}

}  // namespace Corvalle::BrickLink
