#include "Source/Base/BrickLink/StoreInformationParser.h"

#include <gtest/gtest.h>

#include "Source/Base/BrickLink/MarketplaceHost.h"

namespace Corvalle::BrickLink {
namespace {

std::string StorePage(const std::string& title, const std::string& between,
                      const std::string& countryId) {
  return "<HTML>\n<HEAD>\n<TITLE>" + title + " - " + kMarketplaceSiteName +
         "</TITLE>\n</HEAD>\n<BODY>" + between +
         "<A HREF=\"/feedback.asp?uID=4711&x=1&c=2&y=3&cn=" + countryId +
         "&z=4\">Feedback</A>\n</BODY>\n</HTML>\n";
}

TEST(StoreInformationParserTest, NameFromTitleAndCountryFromLink) {
  const auto parser = CreateStoreInformationParser();
  const auto store = parser->ParseStoreInformation(StorePage("Bricks &amp; More", "", "DE"));
  ASSERT_TRUE(store);
  EXPECT_EQ(*store, (StoreMetadata{"Bricks & More", "DE"}));

  // The link may lie lines below the title.
  const auto distant = parser->ParseStoreInformation(
      StorePage("Joe&#39;s &lt;Bricks&gt; &#x4E2D;", "\n<P>Welcome!\r\n<TABLE>\n</TABLE>\n", "US"));
  ASSERT_TRUE(distant);
  EXPECT_EQ(*distant, (StoreMetadata{"Joe's <Bricks> \xE4\xB8\xAD", "US"}));

  // Raw in the title and in a heading that repeats it: line breaks, a form feed, a bell, an
  // escape sequence, a right-to-left override. The name is kept as it is named.
  const std::string name = "Bricks\r\n\f\a\x1B[31m\xE2\x80\xAE More\x7F";
  EXPECT_EQ(parser->ParseStoreInformation(StorePage(name, "<H1>" + name + "</H1>\n", "DE")),
            (StoreMetadata{name, "DE"}));
}

TEST(StoreInformationParserTest, LargePagesBetweenTitleAndLink) {
  // Half a megabyte of store front between title and link, once on one line and once on many.
  const auto parser = CreateStoreInformationParser();
  std::string lines;
  for (int line = 0; line < 5000; ++line) {
    lines += "<TR><TD>Lot " + std::to_string(line) + " of this store's front page</TD></TR>\n";
  }
  for (const std::string& between : {std::string(500000, 'x'), lines}) {
    SCOPED_TRACE(between.front() == 'x' ? "one long line" : "many lines");
    const auto store = parser->ParseStoreInformation(StorePage("Big Store", between, "CA"));
    ASSERT_TRUE(store);
    EXPECT_EQ(*store, (StoreMetadata{"Big Store", "CA"}));
  }
}

TEST(StoreInformationParserTest, PagesThatAreNotStorePages) {
  const auto parser = CreateStoreInformationParser();
  EXPECT_FALSE(parser->ParseStoreInformation(""));
  EXPECT_FALSE(parser->ParseStoreInformation("<HTML><TITLE>Store not found</TITLE></HTML>"));
  // The title must end with " - " and the site name.
  EXPECT_FALSE(parser->ParseStoreInformation(
      "<TITLE>Bricks -\n BrickLink Reference Catalog</TITLE> uID=1&a&c=2&b&cn=DE&</HTML>"));
  // A store link without country.
  EXPECT_FALSE(parser->ParseStoreInformation(
      "<TITLE>Bricks - BrickLink Reference Catalog</TITLE><A HREF=\"x?uID=1&c=2\"></HTML>"));
}

}  // namespace
}  // namespace Corvalle::BrickLink
