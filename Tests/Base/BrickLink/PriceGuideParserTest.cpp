#include "Source/Base/BrickLink/PriceGuideParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "Tests/Support/LogCapture.h"
#include "Tests/Support/ReadFile.h"

namespace Corvalle::BrickLink {
namespace {

std::vector<PriceGuideDatum> Lots(const PriceGuide& guide) { return {guide.begin(), guide.end()}; }

// Builds price guide pages in the marketplace's markup.
struct PageBuilder {
  struct Lot {
    std::uint32_t store;
    char marker;
    std::string quantity;
    std::string price;
  };

  static std::string Box(const char* label, const std::string& count, const std::string& price) {
    return std::string("<TD><TABLE><TR><TD>") + label + ":</TD><TD><B>" + count +
           "</B></TD></TR><TR><TD>Total Qty:</TD><TD><B>10</B></TD></TR><TR><TD>Min "
           "Price:</TD><TD><B>US&nbsp;$" +
           price + "</B></TD></TR><TR><TD>Avg Price:</TD><TD><B>US&nbsp;$" + price +
           "</B></TD></TR><TR><TD>Qty Avg Price:</TD><TD><B>US&nbsp;$" + price +
           "</B></TD></TR><TR><TD>Max Price:</TD><TD><B>US&nbsp;$" + price +
           "</B></TD></TR></TABLE></TD>\n";
  }

  static std::string Unavailable() { return "<TD ALIGN=\"CENTER\">(Unavailable)</TD>\n"; }

  // The boxes of a page with current lots in the new condition only.
  static std::string NewLotsOnly(const std::string& count, const std::string& price) {
    return Unavailable() + Unavailable() + Box("Total Lots", count, price) + Unavailable();
  }

  static std::string Section(const std::vector<Lot>& lots) {
    std::string text = "<TABLE><TR><TD><B>Currently Available</B></TD></TR>\n";
    for (const Lot& lot : lots) {
      text += "<TR ALIGN=\"RIGHT\"><TD NOWRAP>&nbsp;<A HREF=\"/store.asp?sID=" +
              std::to_string(lot.store) + "&itemID=9\"><IMG SRC=\"/images/box16" + lot.marker +
              ".png\" TITLE=\"Store: S\"></A></TD><TD>" + lot.quantity +
              "</TD><TD NOWRAP>&nbsp;~US&nbsp;$" + lot.price + "</TD></TR>\n";
    }
    return text + "</TABLE>\n";
  }

  static std::string Page(const std::string& boxes, const std::string& sections) {
    return "<HTML><BODY><TABLE><TR><TD BGCOLOR=\"#C0C0C0\"><TABLE><TR>\n" + boxes +
           "</TR></TABLE></TD></TR></TABLE>\n" + sections + "</BODY></HTML>\n";
  }
};

class PriceGuideParserTest : public ::testing::Test {
 protected:
  std::unique_ptr<IPriceGuideParser> parser = CreatePriceGuideParser();
};

TEST_F(PriceGuideParserTest, RealisticPageGivesBothConditions) {
  const std::string page =
      Testing::ReadFile(CORVALLE_TEST_DATA_DIR "/Marketplace/price-guide-3001-black.html");
  ASSERT_FALSE(page.empty());
  const auto [newGuide, usedGuide] = parser->ParsePriceGuide(page, false);
  ASSERT_TRUE(newGuide && usedGuide);

  EXPECT_EQ(newGuide->SalesStatistics(),
            (PriceGuideStatistics{152, 4023, 0.0512, 0.1234, 0.11, 1250.0}))
      << "a statistics price reads whole, grouping included";
  EXPECT_EQ(usedGuide->SalesStatistics(), (PriceGuideStatistics{88, 905, 0.02, 0.08, 0.075, 0.3}));
  EXPECT_EQ(newGuide->CurrentStatistics(),
            (PriceGuideStatistics{3, 1135, 0.09, 412.7, 1.2, 1234.5678}));
  EXPECT_EQ(usedGuide->CurrentStatistics(), (PriceGuideStatistics{2, 41, 0.04, 0.05, 0.045, 0.06}));

  // Lot prices keep their grouping and decimals; page order is kept.
  EXPECT_EQ(Lots(*newGuide), (std::vector<PriceGuideDatum>{
                                 {1001, 1000, 0.09}, {2002, 120, 3.5}, {3003, 15, 1234.5678}}));
  EXPECT_EQ(Lots(*usedGuide), (std::vector<PriceGuideDatum>{{4004, 40, 0.04}, {1001, 1, 0.06}}));

  // Stores that do not ship to the buyer are left out on request.
  const auto [shippingNew, shippingUsed] = parser->ParsePriceGuide(page, true);
  ASSERT_TRUE(shippingNew && shippingUsed);
  EXPECT_EQ(Lots(*shippingNew),
            (std::vector<PriceGuideDatum>{{1001, 1000, 0.09}, {3003, 15, 1234.5678}}));
  EXPECT_EQ(Lots(*shippingUsed), (std::vector<PriceGuideDatum>{{4004, 40, 0.04}}));
}

TEST_F(PriceGuideParserTest, UnavailableBoxesAndOneSidedPages) {
  using B = PageBuilder;
  const auto none = parser->ParsePriceGuide(
      B::Page(B::Unavailable() + B::Unavailable() + B::Unavailable() + B::Unavailable(), ""), true);
  ASSERT_TRUE(none.first && none.second);
  EXPECT_TRUE(none.first->IsEmpty() && none.second->IsEmpty());
  EXPECT_EQ(none.first->CurrentStatistics(), PriceGuideStatistics{});
  EXPECT_EQ(none.second->SalesStatistics(), PriceGuideStatistics{});

  // Used lots only: the one section belongs to the used condition.
  const auto usedOnly = parser->ParsePriceGuide(
      B::Page(B::Unavailable() + B::Box("Times Sold", "4", "0.10") + B::Unavailable() +
                  B::Box("Total Lots", "2", "0.20"),
              B::Section({{7, 'Y', "3", "0.2000"}, {8, 'N', "5", "0.2500"}})),
      true);
  ASSERT_TRUE(usedOnly.first && usedOnly.second);
  EXPECT_TRUE(usedOnly.first->IsEmpty());
  EXPECT_EQ(Lots(*usedOnly.second), (std::vector<PriceGuideDatum>{{7, 3, 0.2}}));
  EXPECT_EQ(usedOnly.second->SalesStatistics().lotCount, 4u);
  // The store of the lot left out for not shipping is kept, in its condition only.
  using Stores = std::optional<std::vector<std::uint32_t>>;
  EXPECT_EQ(usedOnly.second->StoresNotShipping(), Stores(std::vector<std::uint32_t>{8}));
  EXPECT_EQ(usedOnly.first->StoresNotShipping(), Stores(std::vector<std::uint32_t>{}));

  // New lots only, with every marker: none, Y, N, another letter.
  const auto newOnly =
      parser->ParsePriceGuide(B::Page(B::Box("Times Sold", "1", "1.00") + B::Unavailable() +
                                          B::Box("Total Lots", "4", "1.00") + B::Unavailable(),
                                      B::Section({{1, ' ', "1", "1.0000"},
                                                  {2, 'Y', "2", "2.0000"},
                                                  {3, 'N', "3", "3.0000"},
                                                  {4, 'X', "4", "4.0000"}})),
                              true);
  ASSERT_TRUE(newOnly.first && newOnly.second);
  EXPECT_TRUE(newOnly.second->IsEmpty());
  EXPECT_EQ(Lots(*newOnly.first),
            (std::vector<PriceGuideDatum>{{1, 1, 1.0}, {2, 2, 2.0}, {4, 4, 4.0}}));
  EXPECT_EQ(newOnly.first->StoresNotShipping(), Stores(std::vector<std::uint32_t>{3}));
}

// How each number reads is PageTextTest's; a page with one that does not read is unreadable.
TEST_F(PriceGuideParserTest, NumbersAreReadWholeOrThePageIsUnreadable) {
  using B = PageBuilder;
  struct Case {
    const char* quantity;
    const char* price;
    std::optional<PriceGuideDatum> lot;  // empty: the page is unreadable
  };
  const Case cases[] = {
      {"1", "1,234", PriceGuideDatum{7, 1, 1234.0}},
      {"2", "1,234.5678", PriceGuideDatum{7, 2, 1234.5678}},
      {"1,000", "0.0500", PriceGuideDatum{7, 1000, 0.05}},  // not 1
      {"2147483647", "0.0500", PriceGuideDatum{7, 2147483647, 0.05}},
      {"2147483648", "0.0500", std::nullopt},  // not -2147483648 in the cache
      {"1", "-0.0500", std::nullopt},          // not +0.05
      {"2.5", "0.0500", std::nullopt},         // not 2
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(std::string(test.quantity) + " at " + test.price);
    const auto guides = parser->ParsePriceGuide(
        B::Page(B::NewLotsOnly("1", "1.00"), B::Section({{7, 'Y', test.quantity, test.price}})),
        true);
    if (!test.lot) {
      EXPECT_FALSE(guides.first);
      EXPECT_FALSE(guides.second);
      continue;
    }
    ASSERT_TRUE(guides.first && guides.second);
    EXPECT_EQ(Lots(*guides.first), std::vector<PriceGuideDatum>{*test.lot});
  }

  // The statistics boxes read their numbers the same way.
  const auto grouped = parser->ParsePriceGuide(
      B::Page(B::NewLotsOnly("1,001", "1,250.0000"), B::Section({{7, 'Y', "1", "1.00"}})), true);
  ASSERT_TRUE(grouped.first);
  EXPECT_EQ(grouped.first->CurrentStatistics().lotCount, 1001u);
  EXPECT_EQ(grouped.first->CurrentStatistics().minPrice, 1250.0) << "not 1";
  for (const char* price : {"-1.00", "0,05"}) {
    EXPECT_FALSE(
        parser
            ->ParsePriceGuide(
                B::Page(B::NewLotsOnly("1", price), B::Section({{7, 'Y', "1", "1.00"}})), true)
            .first)
        << price;
  }
}

TEST_F(PriceGuideParserTest, LotAcrossALineBreakIsAbsentUnlessTheBreakIsInTheStoreName) {
  using B = PageBuilder;
  std::string section = B::Section({{1, 'Y', "1", "1.0000"}, {2, 'Y', "2", "2.0000"}});
  const auto split = section.find("<TD>2</TD>");
  section.insert(split, 1, '\n');
  // The image's title repeats the store's name, which may hold line breaks and form feeds.
  section.replace(section.find("Store: S"), 8, "Store: \r\nS\f\x1B");
  const auto guides = parser->ParsePriceGuide(B::Page(B::NewLotsOnly("2", "1.00"), section), false);
  ASSERT_TRUE(guides.first);
  EXPECT_EQ(Lots(*guides.first), (std::vector<PriceGuideDatum>{{1, 1, 1.0}}));
}

TEST_F(PriceGuideParserTest, UnreadablePagesGiveNoGuides) {
  using B = PageBuilder;
  const std::string fourBoxes =
      B::Box("Times Sold", "1", "1.00") + B::Box("Times Sold", "1", "1.00") +
      B::Box("Total Lots", "1", "1.00") + B::Box("Total Lots", "1", "1.00");
  const std::string section = B::Section({{1, 'Y', "1", "1.0000"}});
  const std::vector<std::pair<const char*, std::string>> pages = {
      {"empty", ""},
      {"not a price guide", "<HTML><BODY>Item not found</BODY></HTML>"},
      {"no C0C0C0", "<HTML>" + fourBoxes + section + section + "</HTML>"},
      {"both conditions announced, one section", B::Page(fourBoxes, section)},
      {"box without figures", B::Page("<TD>Times Sold: none</TD>\n" + B::Unavailable() +
                                          B::Unavailable() + B::Unavailable(),
                                      "")},
      {"store id not a number", B::Page(B::NewLotsOnly("1", "1.00"),
                                        "Currently Available <A "
                                        "HREF=\"/store.asp?sID=abc&x\"><IMG "
                                        "SRC=\"box16Y.png\"></A><TD>1</TD>&nbsp;US&nbsp;$1.00")},
      {"quantity beyond 32 bits",
       B::Page(B::NewLotsOnly("1", "1.00"), B::Section({{1, 'Y', "99999999999", "1.0000"}}))},
      {"store id the database cannot keep",
       B::Page(B::NewLotsOnly("1", "1.00"), B::Section({{4000000000u, 'Y', "1", "1.0000"}}))},
      {"count not a number", B::Page(B::Box("Times Sold", "many", "1.00") + B::Unavailable() +
                                         B::Unavailable() + B::Unavailable(),
                                     "")},
      {"labels after the lists", B::Page("", section + fourBoxes)},
  };
  for (const auto& [what, page] : pages) {
    const Testing::LogCapture log;
    const auto guides = parser->ParsePriceGuide(page, true);
    EXPECT_FALSE(guides.first) << what;
    EXPECT_FALSE(guides.second) << what;
    // One error record says so, and only once.
    std::size_t said = 0;
    for (const std::string& record : log.Records()) {
      for (auto at = record.find("Unable to parse price guide!"); at != std::string::npos;
           at = record.find("Unable to parse price guide!", at + 1)) {
        ++said;
      }
    }
    EXPECT_EQ(said, 1u) << what;
  }
}

TEST_F(PriceGuideParserTest, ALotPriceTheCacheCannotStoreMakesThePageUnreadable) {
  using B = PageBuilder;
  const auto parse = [&](const std::string& price, char marker, bool skipLotsMarkedN) {
    return parser->ParsePriceGuide(
        B::Page(B::Unavailable() + B::Unavailable() + B::Box("Total Lots", "2", "1.00") +
                    B::Box("Total Lots", "1", "1.00"),
                B::Section({{1, 'Y', "1", "1.0000"}, {2, marker, "1", price}}) +
                    B::Section({{3, 'Y', "1", "0.5000"}})),
        skipLotsMarkedN);
  };

  const auto largest = parse("922,337,203,685,477.0000", 'Y', true);
  ASSERT_TRUE(largest.first && largest.second);
  EXPECT_EQ(Lots(*largest.first),
            (std::vector<PriceGuideDatum>{{1, 1, 1.0}, {2, 1, 922337203685477.0}}));

  const std::vector<std::string> unstorable = {
      "922,337,203,685,477.6000", "922,337,203,685,478.0000", "1,000,000,000,000,000.0000",
      "1" + std::string(400, '0')};
  for (const std::string& price : unstorable) {
    const auto guides = parse(price, 'Y', true);
    EXPECT_FALSE(guides.first) << price;
    EXPECT_FALSE(guides.second) << price;
  }

  // A lot left out for not shipping to the buyer is never stored.
  const auto skipped = parse("1,000,000,000,000,000.0000", 'N', true);
  ASSERT_TRUE(skipped.first && skipped.second);
  EXPECT_EQ(Lots(*skipped.first), (std::vector<PriceGuideDatum>{{1, 1, 1.0}}));
  EXPECT_EQ(Lots(*skipped.second), (std::vector<PriceGuideDatum>{{3, 1, 0.5}}));
  EXPECT_FALSE(parse("1,000,000,000,000,000.0000", 'N', false).first);
}

TEST_F(PriceGuideParserTest, ThousandsOfLotsOnLongLines) {
  using B = PageBuilder;
  std::vector<PageBuilder::Lot> lots;
  for (std::uint32_t index = 0; index < 3000; ++index) {
    lots.push_back({100000 + index, index % 7 == 0 ? 'N' : 'Y', std::to_string(1 + index % 5),
                    std::to_string(index) + ".1234"});
  }
  std::string newSection = B::Section(lots);
  std::string usedSection = B::Section(lots);
  // The real site wrote whole tables on one line; the expressions must cope with megabytes.
  std::replace(newSection.begin(), newSection.end(), '\n', ' ');
  const std::string page =
      B::Page(B::Box("Times Sold", "1", "1.00") + B::Box("Times Sold", "1", "1.00") +
                  B::Box("Total Lots", "3000", "1.00") + B::Box("Total Lots", "3000", "1.00"),
              newSection + usedSection);
  ASSERT_GT(page.size(), 1000000u);
  const auto guides = parser->ParsePriceGuide(page, true);
  ASSERT_TRUE(guides.first && guides.second);
  EXPECT_EQ(guides.first->GetLots().size(), 3000u - 429u);
  EXPECT_EQ(guides.second->GetLots().size(), 3000u - 429u);
  EXPECT_EQ(guides.first->GetLots().back(), PriceGuideDatum(102999, 5, 2999.1234));
}

TEST_F(PriceGuideParserTest, LotWithoutPriceOnAVeryLongLine) {
  // The lazy groups of a lot that never finds its price scan the rest of a long line.
  using B = PageBuilder;
  const std::string section =
      "<B>Currently Available</B>\n<A HREF=\"/store.asp?sID=1&x\">box16Y"
      "<TD>3</TD>&nbsp;" +
      std::string(400000, 'y') + "\n" + B::Section({{2, 'Y', "4", "0.5000"}});
  const auto guides = parser->ParsePriceGuide(B::Page(B::NewLotsOnly("2", "1.00"), section), false);
  ASSERT_TRUE(guides.first);
  EXPECT_EQ(Lots(*guides.first), (std::vector<PriceGuideDatum>{{2, 4, 0.5}}));
}

}  // namespace
}  // namespace Corvalle::BrickLink
