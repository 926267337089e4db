#include "Source/Base/WantedList.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "Source/Base/BrickLink/ColorInformation.h"
#include "Source/Base/BrickLink/PriceGuideCache.h"
#include "Source/Base/BrickLink/PriceGuideParser.h"
#include "Source/Base/BrickLink/PriceGuideRetriever.h"
#include "Source/Base/BrickStore/XmlParser.h"
#include "Source/Base/FileDownloader/FileDownloader.h"
#include "Tests/Support/LiveMarketplace.h"
#include "Tests/Support/LogCapture.h"
#include "Tests/Support/TemporaryDirectory.h"

namespace Corvalle {
namespace {

// Reading a list never asks for price guides.
class UnusedRetriever final : public BrickLink::IPriceGuideRetriever {
 public:
  bool TryPopulatePriceGuides(Item&) override {
    ADD_FAILURE() << "price guide requested while reading";
    return false;
  }
  std::string LastFailure() const override { return {}; }
};

std::string Line(const std::string& id, std::uint32_t color, const char* condition,
                 const std::string& quantity, const std::string& type = "P") {
  return "<ITEM><ITEMTYPE>" + type + "</ITEMTYPE><ITEMID>" + id + "</ITEMID><COLOR>" +
         std::to_string(color) + "</COLOR><MINQTY>" + quantity + "</MINQTY><CONDITION>" +
         condition + "</CONDITION></ITEM>";
}

class WantedListTest : public ::testing::Test {
 protected:
  bool Read(const std::string& itemsXml) { return Read(wantedList, itemsXml); }

  bool Read(WantedList& list, const std::string& itemsXml) {
    const auto path = directory.WriteFile("list-" + std::to_string(fileCount++) + ".xml",
                                          "<INVENTORY>" + itemsXml + "</INVENTORY>");
    return list.ReadItems(path.c_str());
  }

  // A line of brick 3001 in colour 11, New, with what the buyer already has and the price limit.
  static std::string FilledLine(std::uint32_t quantity, std::uint32_t filled,
                                const std::string& maximumPrice = "-1.0000") {
    return "<ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><COLOR>11</COLOR><MAXPRICE>" +
           maximumPrice + "</MAXPRICE><MINQTY>" + std::to_string(quantity) +
           "</MINQTY><QTYFILLED>" + std::to_string(filled) +
           "</QTYFILLED><CONDITION>N</CONDITION></ITEM>";
  }

  Testing::TemporaryDirectory directory;
  int fileCount = 0;
  const std::unique_ptr<BrickStore::IXmlParser> xmlParser = BrickStore::CreateXmlParser();
  UnusedRetriever retriever;
  WantedList wantedList{*xmlParser, retriever};
};

TEST_F(WantedListTest, ReadingMergesAndTellsWhyAListIsRefused) {
  ASSERT_TRUE(Read(Line("3001", 11, "N", "10") + Line("3001", 11, "N", "10")));
  ASSERT_EQ(wantedList.Items().size(), 1u);
  EXPECT_EQ(wantedList.Items()[0].Quantity(), 20u);
  EXPECT_EQ(wantedList.TotalQuantity(), 20u);
  EXPECT_EQ(wantedList.ReadFailure(), "");

  // Each refusal keeps what was read before.
  EXPECT_FALSE(Read(Line("3001", 11, "N", "1") + Line("3001", 11, "N", "1", "Q")));
  EXPECT_EQ(wantedList.ReadFailure(), "Line 2 (item 3001): unknown item type \"Q\"");
  EXPECT_EQ(wantedList.Items().size(), 1u);

  // A sum beyond 32 bits is refused naming the item; one that just fits is read.
  EXPECT_FALSE(Read(Line("3001", 11, "N", "4294967295") + Line("3001", 11, "N", "1")));
  EXPECT_EQ(wantedList.ReadFailure(),
            "Item 3001 (colour 11, New) is wanted more than 4294967295 times in all");
  EXPECT_EQ(wantedList.Items()[0].Quantity(), 20u);
  ASSERT_TRUE(Read(Line("3001", 11, "N", "4294967000") + Line("3001", 11, "N", "295")));
  EXPECT_EQ(wantedList.Items()[0].Quantity(), 4294967295u);

  // A file that is no list at all has no reason to pass on (CostFinderTest's garbage list), but a
  // path that names no file is a reason the user is told, with the path: pugixml's own text for a
  // directory ("Could not allocate memory") would send the user looking in the wrong place.
  const std::string folder = directory.Path().string();
  EXPECT_FALSE(wantedList.ReadItems(folder.c_str()));
  EXPECT_EQ(wantedList.ReadFailure(), "\"" + folder + "\" is a directory, not a file");
  EXPECT_EQ(wantedList.Items()[0].Quantity(), 4294967295u);
}

// Lines of one item, colour, condition and type become the first of them, with what is wanted
// and what is filled added up and the strictest price limit.
TEST_F(WantedListTest, RepeatedLinesAddUpAndKeepTheStrictestPriceLimit) {
  struct Case {
    double first;
    double second;
    double merged;
  };
  // A line without limit does not lift the other's: both are bought from the same lots.
  for (const Case& limits : {Case{0.05, -1.0, 0.05}, Case{-1.0, 0.05, 0.05}, Case{0.05, 0.03, 0.03},
                             Case{0.03, 0.05, 0.03}, Case{0.0, 0.07, 0.07}, Case{-1.0, 0.0, 0.0},
                             Case{-1.0, -1.0, 0.0}}) {
    SCOPED_TRACE(std::to_string(limits.first) + " and " + std::to_string(limits.second));
    std::vector<Item> items;
    items.emplace_back(ItemType::Part, "3001", "walls", 11, Condition::New, 10, 4, limits.first);
    items.emplace_back(ItemType::Part, "3003", "other", 11, Condition::New, 2, 1, 9.0);
    // Another colour, condition or type is another line.
    items.emplace_back(ItemType::Part, "3001", "red", 5, Condition::New, 1);
    items.emplace_back(ItemType::Part, "3001", "used", 11, Condition::Used, 2);
    items.emplace_back(ItemType::Set, "3001", "set", 11, Condition::New, 3);
    items.emplace_back(ItemType::Part, "3001", "roof", 11, Condition::New, 3, 5, limits.second);
    const std::vector<Item> merged = MergeRepeatedItems(std::move(items));
    ASSERT_EQ(merged.size(), 5u);
    EXPECT_EQ(merged[0], Item(ItemType::Part, "3001", "walls", 11, Condition::New, 13, 9,
                              limits.merged));
    EXPECT_EQ(merged[1], Item(ItemType::Part, "3003", "other", 11, Condition::New, 2, 1, 9.0));
    EXPECT_EQ(merged[2], Item(ItemType::Part, "3001", "red", 5, Condition::New, 1));
    EXPECT_EQ(merged[3], Item(ItemType::Part, "3001", "used", 11, Condition::Used, 2));
    EXPECT_EQ(merged[4], Item(ItemType::Set, "3001", "set", 11, Condition::New, 3));
  }

  // Filled quantities beyond 32 bits in all are no reason to refuse the list: they cover any
  // wanted quantity.
  std::vector<Item> items;
  items.emplace_back(ItemType::Part, "3001", "a", 11, Condition::New, 5, 4294967000u);
  items.emplace_back(ItemType::Part, "3001", "b", 11, Condition::New, 5, 4294967000u);
  const std::vector<Item> merged = MergeRepeatedItems(std::move(items));
  ASSERT_EQ(merged.size(), 1u);
  EXPECT_EQ(merged[0].Quantity(), 10u);
  EXPECT_EQ(merged[0].QuantityFilled(), 4294967295u);
}

TEST_F(WantedListTest, ListLimitsLeaveWhatIsStillToBuyUnlessIgnored) {
  const std::string path =
      std::string(CORVALLE_TEST_DATA_DIR) + "/Marketplace/wanted-list-limits.xml";
  // Applied by default: the two 3001 lines make 13 wanted, 4 filled, the stricter limit of 0.04;
  // 3003 (all 8 filled) and 970c00 (5 filled of 2) are left out.
  ASSERT_TRUE(wantedList.ReadItems(path.c_str())) << wantedList.ReadFailure();
  std::vector<Item>& applied = wantedList.Items();
  ASSERT_EQ(applied.size(), 3u);
  EXPECT_EQ(applied[0],
            Item(ItemType::Part, "3001", "3001 (walls)", 5, Condition::New, 9, 0, 0.04));
  EXPECT_EQ(applied[1], Item(ItemType::Part, "3666", "3666", 1, Condition::Used, 4, 0, 0.0));
  EXPECT_EQ(applied[2], Item(ItemType::Set, "6020-1", "6020-1", 0, Condition::Used, 1, 0, 25.0));
  EXPECT_EQ(wantedList.TotalQuantity(), 14u);
  EXPECT_EQ(wantedList.SkippedLines(),
            (std::vector<BrickStore::SkippedLine>{
                {2, "3003", "already filled (QTYFILLED 8 of MINQTY 8)"},
                {4, "970c00", "already filled (QTYFILLED 5 of MINQTY 2)"}}));

  WantedList ignoring(*xmlParser, retriever, ListLimits::Ignore);
  ASSERT_TRUE(ignoring.ReadItems(path.c_str())) << ignoring.ReadFailure();
  std::vector<Item>& ignored = ignoring.Items();
  ASSERT_EQ(ignored.size(), 5u);
  EXPECT_EQ(ignored[0], Item(ItemType::Part, "3001", "3001 (walls)", 5, Condition::New, 13));
  EXPECT_EQ(ignored[1], Item(ItemType::Part, "3003", "3003", 11, Condition::New, 8));
  EXPECT_EQ(ignored[2], Item(ItemType::Part, "3666", "3666", 1, Condition::Used, 4));
  EXPECT_EQ(ignored[3], Item(ItemType::Part, "970c00", "970c00", 0, Condition::Used, 2));
  EXPECT_EQ(ignored[4], Item(ItemType::Set, "6020-1", "6020-1", 0, Condition::Used, 1));
  EXPECT_EQ(ignoring.TotalQuantity(), 28u);
  EXPECT_TRUE(ignoring.SkippedLines().empty());
}

TEST_F(WantedListTest, FilledQuantitiesAreTakenFromTheMergedLine) {
  using Named = std::vector<BrickStore::SkippedLine>;
  struct Case {
    const char* name;
    std::string lines;
    std::uint32_t toBuy;  // 0: the item is left out
    Named named;          // the lines named as left out, filled ones among them
  };
  const std::string spare = "already filled by the QTYFILLED to spare of the item's other lines";
  const std::vector<Case> cases{
      {"partly filled", FilledLine(10, 3), 7, {}},
      {"nothing filled", FilledLine(10, 0), 10, {}},
      {"complete",
       FilledLine(10, 10),
       0,
       {{1, "3001", "already filled (QTYFILLED 10 of MINQTY 10)"}}},
      {"more than wanted",
       FilledLine(10, 4294967295u),
       0,
       {{1, "3001", "already filled (QTYFILLED 4294967295 of MINQTY 10)"}}},
      // The parts are alike: what one line has beyond its own need serves the other.
      {"over-filled line beside another",
       FilledLine(5, 7) + FilledLine(3, 0),
       1,
       {{1, "3001", "already filled (QTYFILLED 7 of MINQTY 5)"}}},
      {"two lines complete together",
       FilledLine(5, 0) + FilledLine(3, 8),
       0,
       {{1, "3001", spare}, {2, "3001", "already filled (QTYFILLED 8 of MINQTY 3)"}}},
      // A line the reader skipped still counts in the positions of the lines after it.
      {"after a line wanting none",
       Line("3002", 11, "N", "0") + FilledLine(4, 4),
       0,
       {{1, "3002", "MINQTY is 0"}, {2, "3001", "already filled (QTYFILLED 4 of MINQTY 4)"}}},
  };
  for (const Case& expected : cases) {
    SCOPED_TRACE(expected.name);
    ASSERT_TRUE(Read(expected.lines + Line("3003", 11, "N", "2"))) << wantedList.ReadFailure();
    EXPECT_EQ(wantedList.SkippedLines(), expected.named);
    const std::vector<Item>& items = wantedList.Items();
    // Left out as a line wanting 0 is: not a line of quantity 0.
    ASSERT_EQ(items.size(), expected.toBuy == 0 ? 1u : 2u);
    if (expected.toBuy > 0) {
      EXPECT_EQ(items[0].Id(), "3001");
      EXPECT_EQ(items[0].Quantity(), expected.toBuy);
      EXPECT_EQ(items[0].QuantityFilled(), 0u);
    }
    EXPECT_EQ(items.back().Id(), "3003");
    EXPECT_EQ(wantedList.TotalQuantity(), expected.toBuy + 2);
  }

  // A list the buyer already has in full reads, with nothing left to buy.
  ASSERT_TRUE(Read(FilledLine(10, 10, "0.0500") + FilledLine(2, 2)));
  EXPECT_TRUE(wantedList.Items().empty());
  EXPECT_EQ(wantedList.TotalQuantity(), 0u);

  // A BrickStore line of Qty 0 has nothing filled: it stays as that format keeps it.
  const auto bsx = directory.WriteFile(
      "zero.bsx",
      "<BrickStoreXML><Inventory><Item><ItemID>3001</ItemID><ItemTypeID>P</ItemTypeID>"
      "<ColorID>11</ColorID><Qty>0</Qty><Condition>N</Condition></Item></Inventory>"
      "</BrickStoreXML>");
  ASSERT_TRUE(wantedList.ReadItems(bsx.c_str()));
  ASSERT_EQ(wantedList.Items().size(), 1u);
  EXPECT_EQ(wantedList.Items()[0].Quantity(), 0u);
}

// The price guides of a list, fetched from a local marketplace.
TEST_F(WantedListTest, RetrievalReportsEachItemAndStopsAtTheFirstFailure) {
  Testing::LiveMarketplace marketplace{R"({
    "stores": [{"id": 1001, "name": "Bricks & More", "countryId": "DE"}],
    "priceGuides": [
      {"type": "P", "id": "3001", "color": 11,
       "new": [{"store": 1001, "quantity": 10, "price": 0.12}], "used": []},
      {"type": "P", "id": "3001", "color": 5,
       "new": [{"store": 1001, "quantity": 2, "price": 2.0}], "used": []},
      {"type": "S", "id": "6020-1",
       "new": [], "used": [{"store": 1001, "quantity": 1, "price": 15.0}]}
    ]
  })"};
  BrickLink::ColorInformation::SetColorData(11, "Black", 0x212121);
  const auto downloader = FileDownloader::CreateFileDownloader();
  const auto parser = BrickLink::CreatePriceGuideParser();
  BrickLink::PriceGuideCache cache;
  const auto guides = BrickLink::CreatePriceGuideRetriever(*downloader, cache, *parser, "US", 1,
                                                           marketplace.Host());
  WantedList retrieving(*xmlParser, *guides);

  ASSERT_TRUE(Read(retrieving, Line("3001", 11, "N", "3") + Line("6020-1", 0, "U", "1", "S")));
  EXPECT_EQ(retrieving.TotalQuantity(), 4u);
  std::vector<RetrieverStatus> statuses;
  const auto record = [&](RetrieverStatus status) { statuses.push_back(status); };
  ASSERT_TRUE(retrieving.RetrievePriceGuides(record));
  ASSERT_EQ(statuses.size(), 3u);
  EXPECT_EQ(statuses[0].current, 0u);
  EXPECT_EQ(statuses[0].total, 2u);
  EXPECT_EQ(statuses[0].name, "3001");
  EXPECT_EQ(statuses[0].colorName, "Black");
  EXPECT_EQ(statuses[1].colorName, "") << "no colour, no colour name";
  EXPECT_EQ(statuses[2].current, 2u);
  EXPECT_EQ(statuses[2].name, "Done!");

  // The first item that fails ends the loop; the next is neither requested nor reported.
  ASSERT_TRUE(Read(retrieving, Line("404", 11, "N", "3") + Line("3001", 5, "N", "1")));
  statuses.clear();
  const std::size_t before = marketplace.Server().RequestCount();
  Testing::LogCapture log;
  EXPECT_FALSE(retrieving.RetrievePriceGuides(record));
  EXPECT_EQ(statuses.size(), 1u);
  EXPECT_EQ(marketplace.Server().RequestCount(), before + 1);
  EXPECT_TRUE(log.Contains("error", "Failed to retrieve data for 404"));
}

}  // namespace
}  // namespace Corvalle
