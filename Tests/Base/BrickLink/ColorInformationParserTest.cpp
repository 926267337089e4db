#include "Source/Base/BrickLink/ColorInformationParser.h"

#include <gtest/gtest.h>

namespace Corvalle::BrickLink {
namespace {

std::string Row(const std::string& id, const std::string& rgbAttribute, const std::string& name) {
  return "<TR><TD ALIGN=\"RIGHT\">" + id + "&nbsp;</TD><TD BGCOLOR=\"" + rgbAttribute +
         "\">&nbsp;</TD><TD><FONT FACE=\"Tahoma,Arial\" SIZE=\"2\">" + name +
         "&nbsp;</FONT></TD><TD>Solid</TD></TR>\n";
}

std::vector<std::tuple<std::uint32_t, std::string, std::uint32_t>> Flatten(const ColorList& list) {
  std::vector<std::tuple<std::uint32_t, std::string, std::uint32_t>> flat;
  for (const auto& [id, data] : list) {
    flat.emplace_back(id, data.name, data.rgb);
  }
  return flat;
}

TEST(ColorInformationParserTest, ReadsIdsRgbValuesAndNamesInPageOrder) {
  const auto parser = CreateColorInformationParser();
  const std::string page =
      "<HTML><BODY><TABLE>\n" + Row("11", "#212121", "Black") + Row("7", "0057a6", "Blue") +
      Row("0", "", "(Not Applicable)") + Row("86", "#AfB5C7", "Light Bluish Gray") +
      Row("152", "#FFF", "Trans-Light Blue &amp; Sparkle") + "</TABLE></BODY></HTML>";
  const auto colors = parser->ParseColorInformation(page);
  ASSERT_TRUE(colors);
  using Entry = std::tuple<std::uint32_t, std::string, std::uint32_t>;
  EXPECT_EQ(Flatten(*colors), (std::vector<Entry>{{11, "Black", 0x212121},
                                                  {7, "Blue", 0x0057A6},
                                                  {0, "(Not Applicable)", 0},
                                                  {86, "Light Bluish Gray", 0xAFB5C7},
                                                  {152, "Trans-Light Blue ", 0xFFF}}));
}

TEST(ColorInformationParserTest, PagesWithoutColoursAndUnreadablePages) {
  const auto parser = CreateColorInformationParser();
  const auto none = parser->ParseColorInformation("<HTML><BODY>Maintenance</BODY></HTML>");
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
  EXPECT_FALSE(parser->ParseColorInformation(""));
  const auto page = [](const std::string& row) { return "<HTML>" + row + "</HTML>"; };
  EXPECT_TRUE(parser->ParseColorInformation(page(Row("11", "#212121", "Black"))));
  EXPECT_FALSE(parser->ParseColorInformation(page(Row("11", "#zzzzzz", "Black"))));
  EXPECT_FALSE(parser->ParseColorInformation(page(Row("2147483647", "#212121", "Black"))));
  EXPECT_FALSE(parser->ParseColorInformation(page(Row("11", "#FFFFFFFF", "Black"))));
}

}  // namespace
}  // namespace Corvalle::BrickLink
