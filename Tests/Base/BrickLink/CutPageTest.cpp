// Pages of every kind cut short are unreadable. That no page crashes a parser is the fuzz
// programs' part, and their stored inputs replay with every test run.

#include <gtest/gtest.h>

#include <string>

#include "Source/Base/BrickLink/ColorInformationParser.h"
#include "Source/Base/BrickLink/PriceGuideParser.h"
#include "Source/Base/BrickLink/StoreInformationParser.h"
#include "Tests/Support/LogCapture.h"
#include "Tests/Support/ReadFile.h"

namespace Corvalle::BrickLink {
namespace {

std::string PriceGuidePage() {
  return Testing::ReadFile(CORVALLE_TEST_DATA_DIR "/Marketplace/price-guide-3001-black.html");
}

std::string ColorPage() {
  std::string page = "<HTML><BODY><TABLE>\n";
  const char* const rows[][3] = {
      {"11", "212121", "Black"}, {"7", "#0057a6", "Blue"}, {"86", "AfB5C7", "Light Bluish Gray"}};
  for (const auto& row : rows) {
    page += std::string("<TR><TD ALIGN=\"RIGHT\">") + row[0] + "&nbsp;</TD><TD BGCOLOR=\"" +
            row[1] + "\">&nbsp;</TD><TD><FONT SIZE=\"2\">" + row[2] + "&nbsp;</FONT></TD></TR>\n";
  }
  return page + "</TABLE></BODY></HTML>\n";
}

std::string StorePage() {
  return "<HTML>\n<HEAD>\n<TITLE>Bricks &amp; More - BrickLink Reference Catalog</TITLE>\n"
         "</HEAD>\n<BODY><P>Welcome\n<A HREF=\"/contact.asp?uID=4711&t=s&c=DE&r=1&cn=DE&x=0\">"
         "Contact</A>\n</BODY>\n</HTML>\n";
}

TEST(CutPageTest, PagesCutShortAreUnreadableForEveryKind) {
  // A connection closed early under HTTP/1.0 delivers a page that looks downloaded; a colour
  // page cut at a tenth must not give 13 colours of 154, to be cached for a month.
  Testing::LogCapture quiet;
  const auto priceGuideParser = CreatePriceGuideParser();
  const auto colorParser = CreateColorInformationParser();
  const auto storeParser = CreateStoreInformationParser();
  const auto readable = [&](int kind, const std::string& page) {
    switch (kind) {
      case 0:
        return static_cast<bool>(priceGuideParser->ParsePriceGuide(page, true).first);
      case 1:
        return static_cast<bool>(colorParser->ParseColorInformation(page));
      default:
        return static_cast<bool>(storeParser->ParseStoreInformation(page));
    }
  };
  const std::string pages[] = {PriceGuidePage(), ColorPage(), StorePage()};
  for (int kind = 0; kind < 3; ++kind) {
    const std::string& page = pages[kind];
    EXPECT_TRUE(readable(kind, page)) << kind;
    EXPECT_TRUE(readable(kind, page + "\r\n\n")) << kind;
    const std::size_t closing = page.rfind("</HTML>");
    ASSERT_NE(closing, std::string::npos);
    for (const std::size_t cut : {page.size() / 10, page.size() / 2, closing, closing + 6}) {
      EXPECT_FALSE(readable(kind, page.substr(0, cut))) << kind << " cut at " << cut;
    }
  }
}

}  // namespace
}  // namespace Corvalle::BrickLink
