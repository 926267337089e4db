#include "Tools/Marketplace/World.h"

#include <gtest/gtest.h>

#include "Tests/Support/ExceptionMessage.h"
#include "Tools/Marketplace/PageRenderer.h"
#include "Tools/Marketplace/SiteRouter.h"

namespace {

using namespace Corvalle::Marketplace;

// What a world holds, its stores, guides, rates and colours, is read off the pages it serves by
// MarketplaceServerTest, RetrieverTest and CommandLineTest. The catalogue number is on the pages
// too, where no client reads it.
TEST(WorldTest, AnItemsColoursShareItsCatalogueNumber) {
  const World world = World::FromJson(R"({"stores": [], "priceGuides": [
      {"type": "P", "id": "3001", "color": 11}, {"type": "S", "id": "6842-1"},
      {"type": "P", "id": "3001", "color": 5}]})");
  const WorldPriceGuide* black = world.FindPriceGuide('P', "3001", 11);
  ASSERT_NE(black, nullptr);
  EXPECT_EQ(world.CatalogNumber(*black),
            world.CatalogNumber(*world.FindPriceGuide('P', "3001", 5)));
  EXPECT_NE(world.CatalogNumber(*black),
            world.CatalogNumber(*world.FindPriceGuide('S', "6842-1", 0)));
}

// A world file that is missing is CommandLineTest's, whose serve refuses it.
TEST(WorldTest, RejectsBrokenWorldsWithAReason) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"{", "not JSON"},
      {"[]", "top level"},
      {R"({"priceGuides": []})", "\"stores\""},
      {R"({"stores": []})", "\"priceGuides\""},
      {R"({"stores": [{"id": 1, "name": "A", "countryId": "US"},
                      {"id": 1, "name": "B", "countryId": "DE"}], "priceGuides": []})",
       "appears twice"},
      {R"({"stores": [{"id": 1, "name": "A"}], "priceGuides": []})", "countryId"},
      {R"({"stores": [{"id": -1, "name": "A", "countryId": "US"}], "priceGuides": []})",
       "unsigned"},
      {R"({"stores": [], "priceGuides": [{"type": "X", "id": "1"}]})", "item type"},
      {R"({"stores": [], "priceGuides": [{"type": "P", "id": ""}]})", "empty item id"},
      {R"({"stores": [], "priceGuides": [{"type": "P", "id": "1", "new": [{"store": 5,
          "quantity": 1, "price": 1}]}]})",
       "unknown store 5"},
      {R"({"stores": [{"id": 5, "name": "A", "countryId": "US"}], "priceGuides": [{"type": "P",
          "id": "1", "new": [{"store": 5, "quantity": 1, "price": -1}]}]})",
       "price"},
      {R"({"stores": [], "priceGuides": [{"type": "P", "id": "1"}, {"type": "P", "id": "1"}]})",
       "appears twice"},
      {R"({"rates": {"EUR": 0.9}, "stores": [], "priceGuides": []})", "currency id"},
      {R"({"rates": {"2": 0}, "stores": [], "priceGuides": []})", "not positive"},
  };
  for (const auto& [text, reason] : cases) {
    const std::string message = Testing::RuntimeErrorOf([&] { World::FromJson(text); });
    EXPECT_NE(message.find(reason), std::string::npos) << message << " for " << text;
  }
}

TEST(WorldTest, JsonRoundTripKeepsEverything) {
  const World world = World::FromJson(R"({
    "siteName": "Test Site", "rates": {"2": 0.9},
    "colors": [{"id": 11, "name": "Black", "rgb": "212121", "type": "Solid"}],
    "stores": [{"id": 9, "name": "Bäcker & \"Söhne\"", "countryId": "DE", "currencyId": 2,
                "shipsTo": ["DE", "AT"]}],
    "priceGuides": [{"type": "M", "id": "cas001", "name": "Knight",
                     "used": [{"store": 9, "quantity": 2, "price": 3.25}],
                     "soldUsed": [{"quantity": 1, "price": 2.5}]}]})");
  const World copy = World::FromJson(world.ToJson());
  EXPECT_EQ(copy.ToJson(), world.ToJson());
  EXPECT_EQ(copy.SiteName(), "Test Site");
  EXPECT_EQ(copy.Rates().at(2), 0.9);
  EXPECT_EQ(copy.Colors().size(), 1U);
  EXPECT_EQ(copy.Stores().at(0).name, "Bäcker & \"Söhne\"");
  EXPECT_EQ(*copy.Stores().at(0).shipsTo, (std::set<std::string>{"AT", "DE"}));
  const WorldPriceGuide& guide = copy.PriceGuides().at(0);
  EXPECT_EQ(guide.name, "Knight");
  EXPECT_EQ(guide.usedLots.at(0).quantity, 2U);
  EXPECT_EQ(guide.usedLots.at(0).price, 3.25);
  EXPECT_EQ(guide.soldUsed.at(0).price, 2.5);
  EXPECT_TRUE(guide.newLots.empty());
}

// The prices on MarketplaceServerTest's pages round and group the same way; here, the edges.
TEST(PageRendererTest, FormatsDecimalsRoundedHalfAwayFromZeroWithGrouping) {
  EXPECT_EQ(FormatDecimal(0.0), "0.0000");
  EXPECT_EQ(FormatDecimal(0.12344), "0.1234");
  EXPECT_EQ(FormatDecimal(0.00005), "0.0001");
  EXPECT_EQ(FormatDecimal(0.00004), "0.0000");
  EXPECT_EQ(FormatDecimal(-0.12345), "-0.1235");
  EXPECT_EQ(FormatDecimal(999.99995), "1,000.0000");
  EXPECT_EQ(FormatDecimal(100000.0), "100,000.0000");
  EXPECT_EQ(FormatDecimal(12345678901.23456), "12,345,678,901.2346");
  EXPECT_EQ(FormatDecimal(-0.00004), "0.0000");
  EXPECT_EQ(FormatDecimal(0.1 + 0.2), "0.3000");
  DisplayCurrency euro{2, "EUR&nbsp;", 0.9};
  EXPECT_EQ(FormatAmount(2.0, euro, true), "~EUR&nbsp;1.8000");
  EXPECT_EQ(FormatAmount(2.0, DisplayCurrency{}, false), "US&nbsp;$2.0000");
}

TEST(PageRendererTest, EscapedTextsStayOnTheirLine) {
  EXPECT_EQ(EscapeHtml("A & B <C> \"D\" O'Neil"), "A &amp; B &lt;C&gt; &quot;D&quot; O'Neil");
  EXPECT_EQ(EscapeHtml("two\nlines\r\ttab"), "two lines  tab");
  EXPECT_EQ(EscapeHtml("Zoé"), "Zoé");
}

TEST(SiteRouterTest, ParsesTargetsAndCookiesLikeTheClientSendsThem) {
  const RequestTarget target = ParseTarget("/catalogPG.asp?itemType=P&itemNo=3062b&x=%41+b&&y");
  EXPECT_EQ(target.path, "/catalogPG.asp");
  EXPECT_EQ(target.query.at("itemNo"), "3062b");
  EXPECT_EQ(target.query.at("x"), "A b");
  EXPECT_EQ(target.query.at("y"), "");
  EXPECT_EQ(target.query.size(), 4U);
  EXPECT_EQ(ParseTarget("/store.asp").query.size(), 0U);
  EXPECT_EQ(ParseTarget("/a?b=%4").query.at("b"), "%4");

  const auto cookies = ParseCookies("isCountryID=US;viewCurrencyID=1;");
  ASSERT_EQ(cookies.size(), 2U);
  EXPECT_EQ(cookies[0], (std::pair<std::string, std::string>{"isCountryID", "US"}));
  EXPECT_EQ(cookies[1], (std::pair<std::string, std::string>{"viewCurrencyID", "1"}));
  const auto spaced = ParseCookies(" a = 1 ; b ;; c=x=y");
  ASSERT_EQ(spaced.size(), 3U);
  EXPECT_EQ(spaced[0].second, "1");
  EXPECT_EQ(spaced[1], (std::pair<std::string, std::string>{"b", ""}));
  EXPECT_EQ(spaced[2].second, "x=y");
  EXPECT_TRUE(ParseCookies("").empty());
}

}  // namespace
