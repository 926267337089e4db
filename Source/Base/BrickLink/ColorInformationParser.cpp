#include "Source/Base/BrickLink/ColorInformationParser.h"

#include <boost/log/trivial.hpp>
#include <boost/regex.hpp>
#include <stdexcept>

#include "Source/Base/BrickLink/PageText.h"

namespace Corvalle::BrickLink {

namespace {

// Colour id, then the RGB value of the next quoted attribute (with or without "#"), then the
// name in the next cell whose attribute is "2", up to the first "&". The RGB value ends at its
// closing quote, whatever attributes follow it in the tag: it is read whole, not as far as it
// looks like a number.
const boost::regex& ColorExpression() {
  static const boost::regex expression(
      ">([0-9]+)&nbsp;</TD>.*?=\"#?([^\"\\r\\n]*)\"[^>\\r\\n]*>.*?\"2\">(.*?)&",
      boost::regex::ECMAScript);
  return expression;
}

class ColorInformationParser final : public IColorInformationParser {
 public:
  std::optional<ColorList> ParseColorInformation(
      const std::string& rawColorInformation) const override {
    if (rawColorInformation.empty()) {
      BOOST_LOG_TRIVIAL(error) << "Unable to parse color information! The page is empty.";
      return std::nullopt;
    }
    if (!EndsAsWholePage(rawColorInformation)) {
      BOOST_LOG_TRIVIAL(error) << "Unable to parse color information! The page is cut short.";
      return std::nullopt;
    }
    try {
      ColorList colors;
      for (boost::sregex_iterator
               match(rawColorInformation.begin(), rawColorInformation.end(), ColorExpression(),
                     boost::match_default | boost::match_not_dot_newline),
           last;
           match != last; ++match) {
        ParseColor(*match, colors);
      }
      return colors;
    } catch (const std::exception& error) {
      BOOST_LOG_TRIVIAL(error) << "Unable to parse color information! " << error.what();
      return std::nullopt;
    }
  }

 private:
  static void ParseColor(const boost::smatch& match, ColorList& colors) {
    if (match.size() != 4) {
      BOOST_LOG_TRIVIAL(error) << "Unexpected color match count!";
      return;
    }
    BOOST_LOG_TRIVIAL(trace) << "Color matches:";
    for (const auto& subMatch : match) {
      BOOST_LOG_TRIVIAL(trace) << "Match: " << subMatch.str();
    }
    const std::uint32_t id = ParseIdentifier(match[1].str());
    const std::string rgbText = match[2].str();
    const std::uint32_t rgb = rgbText.empty() ? 0 : ParseHexadecimal(rgbText);
    if (rgb > 0xFFFFFF) {
      throw std::out_of_range("Not an RGB value: \"" + rgbText + "\"");
    }
    colors.emplace_back(id, ColorData{match[3].str(), rgb});
  }
};

}  // namespace

std::unique_ptr<IColorInformationParser> CreateColorInformationParser() {
  return std::make_unique<ColorInformationParser>();
}

}  // namespace Corvalle::BrickLink
