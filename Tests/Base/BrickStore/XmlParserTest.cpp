#include "Source/Base/BrickStore/XmlParser.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "Tests/Support/ExceptionMessage.h"
#include "Tests/Support/LogCapture.h"
#include "Tests/Support/TemporaryDirectory.h"

namespace Corvalle::BrickStore {
namespace {

class XmlParserTest : public ::testing::Test {
 protected:
  std::unique_ptr<std::vector<Item>> Parse(const std::string& text) {
    const auto path = directory.WriteFile("list-" + std::to_string(fileCount++) + ".xml", text);
    skipped = {{0, "from an earlier read", ""}};
    return parser->ParseItems(path.c_str(), skipped);
  }

  static std::string Marketplace(const std::string& items) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<INVENTORY>\n" + items + "</INVENTORY>\n";
  }

  static std::string BrickStore(const std::string& items) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BrickStoreXML>\n <Inventory>\n" + items +
           " </Inventory>\n</BrickStoreXML>\n";
  }

  static std::string BrickStoreItem(const std::string& fields) {
    return "  <Item>" + fields + "</Item>\n";
  }

  Testing::TemporaryDirectory directory;
  std::unique_ptr<IXmlParser> parser = CreateXmlParser();
  std::vector<SkippedLine> skipped;  // those of the last Parse
  int fileCount = 0;
};

TEST_F(XmlParserTest, MarketplaceListReadsEveryField) {
  const auto items = Parse(Marketplace(R"(
  <ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><COLOR>11</COLOR><MINQTY>12</MINQTY>
        <CONDITION>N</CONDITION><REMARKS>spare</REMARKS></ITEM>
  <ITEM><ITEMTYPE>M</ITEMTYPE><ITEMID>cty0050</ITEMID><MINQTY>1</MINQTY><CONDITION>U</CONDITION></ITEM>
  <ITEM><ITEMTYPE>S</ITEMTYPE><ITEMID>6020-1</ITEMID><MINQTY>2</MINQTY><CONDITION>X</CONDITION></ITEM>
  <ITEM><ITEMTYPE>Part</ITEMTYPE><ITEMID> 3003
        </ITEMID><COLOR>11</COLOR><MINQTY> 4294967295</MINQTY></ITEM>
)"));
  ASSERT_NE(items, nullptr);
  ASSERT_EQ(items->size(), 4u);

  // The remarks go into the name.
  EXPECT_EQ((*items)[0], Item(ItemType::Part, "3001", "3001 (spare)", 11, Condition::New, 12));
  EXPECT_EQ((*items)[1], Item(ItemType::Minifigure, "cty0050", "cty0050", 0, Condition::Used, 1));
  EXPECT_EQ((*items)[2], Item(ItemType::Set, "6020-1", "6020-1", 0, Condition::Used, 2));
  // Only the first letter of the type counts; blanks around an id or a number do not.
  EXPECT_EQ((*items)[3], Item(ItemType::Part, "3003", "3003", 11, Condition::Used, 4294967295u));
}

// Left out on purpose, as the format means it, but each named with its position and id.
TEST_F(XmlParserTest, MarketplaceLinesWithoutQuantityAreSkippedAndNamed) {
  const auto items = Parse(Marketplace(R"(
  <ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>1</ITEMID><COLOR>5</COLOR></ITEM>
  <ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>2</ITEMID><MINQTY>0</MINQTY></ITEM>
  <ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3</ITEMID><MINQTY> </MINQTY></ITEM>
  <ITEM><ITEMTYPE>M</ITEMTYPE><ITEMID>7</ITEMID><MINQTY>7</MINQTY><CONDITION>N</CONDITION></ITEM>
  <ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>8</ITEMID><MINQTY>000</MINQTY></ITEM>
)"));
  ASSERT_NE(items, nullptr);
  ASSERT_EQ(items->size(), 1u);
  EXPECT_EQ((*items)[0], Item(ItemType::Minifigure, "7", "7", 0, Condition::New, 7));
  EXPECT_EQ(skipped, (std::vector<SkippedLine>{{1, "1", "no MINQTY"},
                                               {2, "2", "MINQTY is 0"},
                                               {3, "3", "no MINQTY"},
                                               {5, "8", "MINQTY is 0"}}));
  EXPECT_EQ(DescribeSkippedLine(skipped[1]), "Line 2 (item 2) skipped: MINQTY is 0");
  // A list that is refused has no skipped lines to tell of.
  EXPECT_THROW(Parse(Marketplace("<ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>1</ITEMID></ITEM>"
                                 "<ITEM><ITEMTYPE>Q</ITEMTYPE><ITEMID>2</ITEMID></ITEM>")),
               std::invalid_argument);
  EXPECT_TRUE(skipped.empty());
}

// Conditions are trimmed and read in either case: reading only an upper-case "N" as new would
// buy used parts for lines written " N " or "n".
TEST_F(XmlParserTest, ConditionsAreTrimmedAndCaseBlind) {
  const std::vector<std::pair<std::string, Condition>> conditions{
      {"N", Condition::New},  {" N ", Condition::New},    {"\tN", Condition::New},
      {"n", Condition::New},  {"\n n\n", Condition::New}, {"U", Condition::Used},
      {"u", Condition::Used}, {"X", Condition::Used},     {" x", Condition::Used}};
  for (const auto& [text, condition] : conditions) {
    SCOPED_TRACE("\"" + text + "\"");
    const auto marketplace = Parse(Marketplace(
        "<ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><MINQTY>1</MINQTY><CONDITION>" + text +
        "</CONDITION></ITEM>"));
    ASSERT_NE(marketplace, nullptr);
    EXPECT_EQ(marketplace->at(0).GetCondition(), condition);
    const auto brickStore = Parse(BrickStore(BrickStoreItem(
        "<ItemID>3001</ItemID><ItemTypeID>P</ItemTypeID><ColorID>1</ColorID><Qty>1</Qty>"
        "<Condition>" +
        text + "</Condition>")));
    ASSERT_NE(brickStore, nullptr);
    EXPECT_EQ(brickStore->at(0).GetCondition(), condition);
  }
}

// All of an element's text counts, as an XML reader gives it, not the part before a comment.
TEST_F(XmlParserTest, NumbersAreTheWholeTextOfTheirElement) {
  const auto items = Parse(Marketplace(
      "<ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><MINQTY>30<!-- x -->10</MINQTY></ITEM>"
      "<ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3002</ITEMID><MINQTY><![CDATA[12]]></MINQTY>"
      "<COLOR>\n  11\n</COLOR></ITEM>"));
  ASSERT_NE(items, nullptr);
  ASSERT_EQ(items->size(), 2u);
  EXPECT_EQ((*items)[0].Quantity(), 3010u);
  EXPECT_EQ((*items)[1].Quantity(), 12u);
  EXPECT_EQ((*items)[1].Color().Id(), 11u);
}

// A line that cannot be used refuses the list, named by position (skipped lines count), id and
// reason; passing over it, or reading part of it, would search for a list the buyer did not
// write. Values beyond 32 bits or below 0 are std::out_of_range, any other refusal
// std::invalid_argument.
TEST_F(XmlParserTest, LinesThatCannotBeUsedRefuseTheList) {
  const std::string good =
      "<ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><MINQTY>1</MINQTY></ITEM>";
  const auto second = [&](const std::string& fields) {
    return Marketplace(good + "<ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3002</ITEMID>" + fields +
                       "</ITEM>");
  };
  const auto brickStore = [](const std::string& fields) {
    return BrickStore(BrickStoreItem("<ItemTypeID>P</ItemTypeID><ColorID>1</ColorID>" + fields));
  };
  // The second line of a BrickStore list, item 3666 of type P.
  const auto brickStoreSecond = [](const std::string& fields) {
    return BrickStore(BrickStoreItem("<ItemID>3001</ItemID><ItemTypeID>P</ItemTypeID>"
                                     "<ColorID>11</ColorID><Qty>1</Qty><Condition>N</Condition>") +
                      BrickStoreItem("<ItemID>3666</ItemID><ItemTypeID>P</ItemTypeID>" + fields));
  };
  const auto itemLine = [](const std::string& fields) { return "<ITEM>" + fields + "</ITEM>"; };
  const std::string line2 = "Line 2 (item 3002): ";
  const std::string brickStoreLine2 = "Line 2 (item 3666): ";
  enum class Error { Invalid, OutOfRange };
  struct Refused {
    std::string xml;
    std::string message;
    Error error = Error::Invalid;
  };
  std::vector<Refused> refused{
      {second("<MINQTY>2.5</MINQTY>"), line2 + "MINQTY \"2.5\" is not a whole number"},
      {second("<COLOR>Black</COLOR><MINQTY>1</MINQTY>"),
       line2 + "COLOR \"Black\" is not a whole number"},
      // Beyond 32 bits a value is refused, not cut to another quantity or colour.
      {second("<MINQTY>4294967296</MINQTY>"), line2 + "MINQTY \"4294967296\" does not fit 32 bits",
       Error::OutOfRange},
      {second("<MINQTY>-5</MINQTY>"), line2 + "MINQTY \"-5\" is below 0", Error::OutOfRange},
      {second("<MINQTY>3</MINQTY><MINQTY>5</MINQTY>"), line2 + "MINQTY is given twice"},
      {second("<MINQTY>3</MINQTY><COLOR>1</COLOR><COLOR>2</COLOR>"),
       line2 + "COLOR is given twice"},
      {second("<MINQTY>3<b>0</b></MINQTY>"), line2 + "MINQTY holds the element <b>"},
      {second("<MINQTY>1</MINQTY><CONDITION>New</CONDITION>"),
       line2 + "CONDITION \"New\" is not N (new), U (used) or X (any)"},
      {Marketplace(good + itemLine("<ITEMTYPE>P</ITEMTYPE><ITEMID> </ITEMID><MINQTY>4</MINQTY>")),
       "Line 2 (no item id): no item id (ITEMID)"},
      // Letters are upper case; the whole text is shown, not only the letter read.
      {Marketplace(good +
                   itemLine("<ITEMTYPE>P</ITEMTYPE><ITEMID>3002</ITEMID><MINQTY>0</MINQTY>") +
                   itemLine("<ITEMTYPE>Q</ITEMTYPE><ITEMID>3001</ITEMID><MINQTY>1</MINQTY>")),
       "Line 3 (item 3001): unknown item type \"Q\""},
      {Marketplace(itemLine("<ITEMTYPE>part</ITEMTYPE><ITEMID>3001</ITEMID><MINQTY>1</MINQTY>")),
       "Line 1 (item 3001): unknown item type \"part\""},
      // An item without type could not be priced: the search would end at the price guides
      // with no word of the line to mend.
      {Marketplace(good + itemLine("<ITEMID>777</ITEMID><MINQTY>1</MINQTY>")),
       "Line 2 (item 777): no item type (ITEMTYPE)"},
      {Marketplace(good + "<item><ITEMTYPE>P</ITEMTYPE><ITEMID>3003</ITEMID></item>"),
       "Line 2 (item 3003): <item> is not a <ITEM> element"},
      {Marketplace(good + "<INVENTORY>" + good + "</INVENTORY>"),
       "Line 2 (no item id): <INVENTORY> is not a <ITEM> element"},
      {Marketplace(good) + "<INVENTORY>" + good + "</INVENTORY>",
       "The file holds more than one list: <INVENTORY> follows <INVENTORY>"},
      {brickStore("<ItemID></ItemID><Qty>1</Qty><Condition>N</Condition>"),
       "Line 1 (no item id): no item id (ItemID)"},
      {brickStore("<ItemID>3001</ItemID><Qty>1</Qty><Condition>New</Condition>"),
       "Line 1 (item 3001): Condition \"New\" is not N (new), U (used) or X (any)"},
      {brickStore("<ItemID>3001</ItemID><Qty>1</Qty><Qty>1</Qty><Condition>N</Condition>"),
       "Line 1 (item 3001): Qty is given twice"},
      {BrickStore(BrickStoreItem("<ItemID>3666</ItemID><ColorID>1</ColorID><Qty>1</Qty>"
                                 "<Condition>N</Condition>")),
       "Line 1 (item 3666): no item type (ItemTypeID)"},
      {brickStoreSecond("<Qty>1</Qty><Condition>N</Condition>"), brickStoreLine2 + "no ColorID"},
      {brickStoreSecond("<ColorID>1</ColorID><Condition>N</Condition>"),
       brickStoreLine2 + "no Qty"},
      {brickStoreSecond("<ColorID>1</ColorID><Qty>10000000000</Qty><Condition>N</Condition>"),
       brickStoreLine2 + "Qty \"10000000000\" does not fit 32 bits", Error::OutOfRange},
      {brickStoreSecond("<ColorID>1</ColorID><Qty>1</Qty>"), brickStoreLine2 + "no condition"},
      {"<BrickStoreXML><Inventory/><Inventory>" +
           BrickStoreItem("<ItemID>1</ItemID><ItemTypeID>P</ItemTypeID>") +
           "</Inventory></BrickStoreXML>",
       "The file holds more than one list: a second <Inventory>"},
  };
  // Filled quantities and price limits are refused even on a line skipped for its quantity, as
  // a colour that does not read is.
  const std::vector<std::pair<std::string, Refused>> limits{
      {"<QTYFILLED>some</QTYFILLED>", {"", "QTYFILLED \"some\" is not a whole number"}},
      {"<QTYFILLED>-2</QTYFILLED>", {"", "QTYFILLED \"-2\" is below 0", Error::OutOfRange}},
      {"<MAXPRICE>cheap</MAXPRICE>", {"", "MAXPRICE \"cheap\" is not a number"}},
      // Read as far as it goes these would be a limit of 0 or 1, not the one meant.
      {"<MAXPRICE>0,0500</MAXPRICE>", {"", "MAXPRICE \"0,0500\" is not a number"}},
      {"<MAXPRICE>nan</MAXPRICE>", {"", "MAXPRICE \"nan\" is not a number"}},
      {"<MAXPRICE>1e999</MAXPRICE>", {"", "MAXPRICE \"1e999\" is out of range", Error::OutOfRange}},
  };
  for (const auto& [fields, expected] : limits) {
    for (const char* quantity : {"6", "0"}) {
      refused.push_back({second(std::string("<MINQTY>") + quantity + "</MINQTY>" + fields),
                         line2 + expected.message, expected.error});
    }
  }
  for (const Refused& expected : refused) {
    SCOPED_TRACE(expected.xml);
    const auto parse = [&] { Parse(expected.xml); };
    EXPECT_EQ(expected.error == Error::OutOfRange ? Testing::MessageOf<std::out_of_range>(parse)
                                                  : Testing::MessageOf<std::invalid_argument>(parse),
              expected.message);
  }
}

// Neither subtracted nor applied here: the wanted list decides (WantedListTest reads a whole
// marketplace file of them), and the list command shows the file as it is (ListCommandTest, with
// whole and exponent limits).
TEST_F(XmlParserTest, FilledQuantitiesAndPriceLimitsReadWhole) {
  const auto list = [](const std::string& fields) {
    return Marketplace(
        "<ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><MINQTY>1</MINQTY></ITEM>"
        "<ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3002</ITEMID><MINQTY>6</MINQTY>" +
        fields + "</ITEM>");
  };
  struct Read {
    std::string fields;
    std::uint32_t filled;
    double maximumPrice;
  };
  const std::vector<Read> read{
      {"", 0, 0.0},
      {"<QTYFILLED></QTYFILLED><MAXPRICE></MAXPRICE>", 0, 0.0},
      {"<QTYFILLED>7</QTYFILLED><MAXPRICE>-1.0000</MAXPRICE>", 7, -1.0},
      {"<MAXPRICE> 0.0512 </MAXPRICE>", 0, 0.0512},
  };
  for (const Read& expected : read) {
    SCOPED_TRACE(expected.fields);
    const auto items = Parse(list(expected.fields));
    ASSERT_NE(items, nullptr);
    ASSERT_EQ(items->size(), 2u);
    EXPECT_EQ((*items)[1].Quantity(), 6u);
    EXPECT_EQ((*items)[1].QuantityFilled(), expected.filled);
    EXPECT_DOUBLE_EQ((*items)[1].MaximumPrice(), expected.maximumPrice);
  }
}

// A file that is no list gives null (bytes that are no XML at all: CostFinderTest's garbage list);
// a list without items, in either format, an empty list.
TEST_F(XmlParserTest, UnreadableFilesGiveNullAndEmptyListsAreEmpty) {
  {
    Testing::LogCapture log;
    const auto missing = directory.Path() / "no-such-file.xml";
    EXPECT_EQ(parser->ParseItems(missing.c_str()), nullptr);
    EXPECT_TRUE(log.Contains("error", "Error parsing XML: File was not found"));
  }
  EXPECT_EQ(Parse(""), nullptr);
  {
    Testing::LogCapture log;
    EXPECT_EQ(Parse("<WANTEDLIST><ITEM><ITEMID>1</ITEMID></ITEM></WANTEDLIST>"), nullptr);
    EXPECT_TRUE(log.Contains("error", "Not an understood XML file!"));
  }
  // Element names are case-sensitive.
  EXPECT_EQ(Parse("<inventory><ITEM/></inventory>"), nullptr);
  for (const char* list : {"<INVENTORY></INVENTORY>", "<BrickStoreXML><Other/></BrickStoreXML>"}) {
    Testing::LogCapture log;
    const auto empty = Parse(list);
    ASSERT_NE(empty, nullptr) << list;
    EXPECT_TRUE(empty->empty()) << list;
    EXPECT_TRUE(log.Contains("warning", "No items found")) << list;
    EXPECT_EQ(log.Contains("error", "Can't find inventory"), list[1] == 'B') << list;
  }
}

// pugixml's own texts for these ("Could not allocate memory", "File was not found") would send
// the user looking in the wrong place. (A directory is WantedListTest's.)
TEST_F(XmlParserTest, AFileWithoutReadPermissionIsRefusedNamingThePath) {
  if (geteuid() == 0) {
    GTEST_SKIP() << "root reads a file whatever its permissions";
  }
  const std::string list =
      Marketplace("<ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><MINQTY>1</MINQTY></ITEM>");
  const std::string locked = directory.WriteFile("locked.xml", list).string();
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  EXPECT_EQ(Testing::RuntimeErrorOf([&] { parser->ParseItems(locked.c_str()); }),
            "\"" + locked + "\" cannot be read: permission denied");
  // Readable again, the same file is a list.
  std::filesystem::permissions(locked, std::filesystem::perms::owner_read);
  const auto items = parser->ParseItems(locked.c_str());
  ASSERT_NE(items, nullptr);
  EXPECT_EQ(items->size(), 1u);
}

TEST_F(XmlParserTest, BytesThatAreNotUtf8DoNotBreakTheRead) {
  const auto items = Parse(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><INVENTORY><ITEM><ITEMTYPE>P</ITEMTYPE>"
      "<ITEMID>3001</ITEMID><REMARKS>caf\xe9 \xff\xfe</REMARKS><MINQTY>2</MINQTY></ITEM>"
      "</INVENTORY>");
  ASSERT_NE(items, nullptr);
  ASSERT_EQ(items->size(), 1u);
  EXPECT_EQ((*items)[0].Quantity(), 2u);
  EXPECT_EQ((*items)[0].Name().rfind("3001 (caf", 0), 0u);
}

// BrickStock's exports; BrickStore's, of the same layout under another root, are read by
// ListCommandTest, and their lines of Qty 0 kept by WantedListTest.
TEST_F(XmlParserTest, RealBrickStockExports) {
  struct Expected {
    const char* file;
    std::size_t lots;
    std::uint64_t pieces;
  };
  for (const Expected& expected : {Expected{"bsx_3180_tank_truck.bsx", 101, 215},
                                   Expected{"bsx_60005_fire_boat.bsx", 125, 156},
                                   Expected{"bsx_7286_prisoner_transport.bsx", 93, 48},
                                   Expected{"bsx_7288_mobile_police_unit.bsx", 160, 337}}) {
    const std::string path = std::string(CORVALLE_TEST_DATA_DIR) + "/real/" + expected.file;
    const auto items = parser->ParseItems(path.c_str());
    ASSERT_NE(items, nullptr) << expected.file;
    EXPECT_EQ(items->size(), expected.lots) << expected.file;
    std::uint64_t pieces = 0;
    for (const Item& item : *items) {
      pieces += item.Quantity();
      EXPECT_EQ(item.Type(), ItemType::Part);
      EXPECT_EQ(item.GetCondition(), Condition::New);
    }
    EXPECT_EQ(pieces, expected.pieces) << expected.file;
    if (expected.lots == 101) {
      EXPECT_EQ(items->front(),
                Item(ItemType::Part, "52501", "Slope, Inverted 45 6 x 1 Double with 1 x 4 Cutout",
                     85, Condition::New, 2));
      EXPECT_EQ(items->back().Name(),
                "Torso Octan Logo and Upright Font 'OIL' Pattern / Blue Arms / Yellow Hands");
    }
  }
}

}  // namespace
}  // namespace Corvalle::BrickStore
