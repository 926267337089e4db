// Truncated and mutated pages of every kind: a parser may find them unreadable, never crash.

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "BrickLink/ColorInformationParser.h"
#include "BrickLink/PriceGuideParser.h"
#include "BrickLink/StoreInformationParser.h"
#include "LogCapture.h"

namespace Corvalle::BrickLink {
namespace {

std::string PriceGuidePage() {
  std::ifstream file(std::string(CORVALLE_TEST_DATA_DIR) +
                     "/Marketplace/price-guide-3001-black.html");
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
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

std::string Mutate(const std::string& page, std::mt19937& random, int round) {
  std::string mutated = page;
  switch (round % 4) {
    case 0:
      mutated.resize(random() % page.size());
      break;
    case 1:
      for (int flips = 0; flips < 1 + static_cast<int>(random() % 12); ++flips) {
        mutated[random() % mutated.size()] = static_cast<char>(random() % 256);
      }
      break;
    case 2:
      mutated.erase(random() % mutated.size(), random() % 300);
      break;
    default: {
      // A piece of the page repeated elsewhere: markers out of order, sections doubled.
      const std::size_t start = random() % page.size();
      const std::string piece = page.substr(start, random() % 400);
      mutated.insert(random() % mutated.size(), piece);
      break;
    }
  }
  return mutated;
}

TEST(ParserFuzzTest, PagesCutShortAreUnreadableForEveryKind) {
  // A connection closed early under HTTP/1.0 delivers a page that looks downloaded; a colour
  // page cut at a tenth once gave 13 colours of 154, cached for a month.
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

TEST(ParserFuzzTest, MutatedPagesOfEveryKindNeverCrash) {
  Testing::LogCapture quiet;
  const auto priceGuideParser = CreatePriceGuideParser();
  const auto colorParser = CreateColorInformationParser();
  const auto storeParser = CreateStoreInformationParser();
  const std::string pages[] = {PriceGuidePage(), ColorPage(), StorePage()};
  ASSERT_GT(pages[0].size(), 1000u);
  std::mt19937 random(424242);
  int readable[3] = {0, 0, 0};
  constexpr int kRounds = 2000;
  for (int round = 0; round < kRounds; ++round) {
    for (int kind = 0; kind < 3; ++kind) {
      const std::string page = Mutate(pages[kind], random, round);
      switch (kind) {
        case 0: {
          const auto guides = priceGuideParser->ParsePriceGuide(page, round % 2 == 0);
          ASSERT_EQ(static_cast<bool>(guides.first), static_cast<bool>(guides.second));
          readable[0] += guides.first ? 1 : 0;
          break;
        }
        case 1:
          readable[1] += colorParser->ParseColorInformation(page) ? 1 : 0;
          break;
        default:
          readable[2] += storeParser->ParseStoreInformation(page) ? 1 : 0;
          break;
      }
    }
  }
  // The mutations must exercise both outcomes of each parser.
  for (int kind = 0; kind < 3; ++kind) {
    EXPECT_GT(readable[kind], 0) << kind;
    EXPECT_LT(readable[kind], kRounds) << kind;
  }
}

}  // namespace
}  // namespace Corvalle::BrickLink
