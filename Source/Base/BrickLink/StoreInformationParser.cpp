#include "Source/Base/BrickLink/StoreInformationParser.h"

#include <boost/log/trivial.hpp>
#include <boost/regex.hpp>

#include "Source/Base/BrickLink/MarketplaceHost.h"
#include "Source/Base/BrickLink/PageText.h"

namespace Corvalle::BrickLink {

namespace {

// The title and the store link need not share a line. The name is whatever the title holds
// before " - " and the site name, control characters and line breaks included: a store may
// name itself so, and its page must still be read (the name is filtered where it is shown).
// It never runs past the title's end. Between title and link anything may stand, form feeds
// too (the page repeats the name), which "." with its line breaks would not cross.
const boost::regex& StoreExpression() {
  static const boost::regex expression(std::string("<TITLE>((?:(?!</TITLE>)[\\s\\S])*?) - ") +
                                           kMarketplaceSiteName +
                                           "[\\s\\S]*?uID=(.*?)&.*?&c=(.*?)&.*?&cn=(.*?)&",
                                       boost::regex::ECMAScript);
  return expression;
}

class StoreInformationParser final : public IStoreInformationParser {
 public:
  std::optional<StoreMetadata> ParseStoreInformation(
      const std::string& rawStoreInformation) const override {
    if (rawStoreInformation.empty()) {
      BOOST_LOG_TRIVIAL(error) << "Unable to parse store information! The page is empty.";
      return std::nullopt;
    }
    if (!EndsAsWholePage(rawStoreInformation)) {
      BOOST_LOG_TRIVIAL(error) << "Unable to parse store information! The page is cut short.";
      return std::nullopt;
    }
    boost::smatch match;
    try {
      if (!boost::regex_search(rawStoreInformation, match, StoreExpression(),
                               boost::match_default | boost::match_not_dot_newline)) {
        BOOST_LOG_TRIVIAL(error) << "Unable to parse store information! No title and store link.";
        return std::nullopt;
      }
    } catch (const std::exception& error) {
      BOOST_LOG_TRIVIAL(error) << "Unable to parse store information! " << error.what();
      return std::nullopt;
    }
    BOOST_LOG_TRIVIAL(trace) << "Match count: " << match.size();
    for (const auto& subMatch : match) {
      BOOST_LOG_TRIVIAL(trace) << "Match: \"" << subMatch.str() << "\"";
    }
    if (match.size() != 5) {
      return StoreMetadata{};
    }
    return StoreMetadata{DecodeHtmlEntities(match[1].str()), match[4].str()};
  }
};

}  // namespace

std::unique_ptr<IStoreInformationParser> CreateStoreInformationParser() {
  return std::make_unique<StoreInformationParser>();
}

}  // namespace Corvalle::BrickLink
