#include "Source/CommandLine/ListCommand.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "Tests/Support/ReadFile.h"
#include "Tests/Support/TemporaryDirectory.h"

namespace Corvalle::CommandLine {
namespace {

// Lists as they are, line by line: what the buyer has and the price limit are shown, not yet
// taken off or applied as the search does, and a limit no buyer means is written short, not in
// 309 digits; a BrickStore list has nothing filled and no limit; the lines a search leaves out,
// as filled or for their quantity, are named.
TEST(ListCommandTest, ShowsEachKindOfListOrRefusesIt) {
  const auto line = [](const std::string& id, const std::string& fields) {
    return "<ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>" + id + "</ITEMID>" + fields + "</ITEM>";
  };
  std::string huge;
  for (const char* limit : {"1e308", "999999999.99", "1000000000"}) {
    huge += line("3001", std::string("<MINQTY>1</MINQTY><MAXPRICE>") + limit + "</MAXPRICE>");
  }
  const std::pair<std::string, std::string> lists[] = {
      {Testing::ReadFile(std::string(CORVALLE_TEST_DATA_DIR) +
                         "/Marketplace/wanted-list-limits.xml"),
       "    10 filled      4 max    0.0500  P  New  3001         colour 5    3001 (walls)\n"
       "     8 filled      8 max         -  P  New  3003         colour 11   3003\n"
       "     4 filled      0 max         -  P  Used 3666         colour 1    3666\n"
       "     2 filled      5 max         -  P  Used 970c00       colour 0    970c00\n"
       "     3 filled      0 max    0.0400  P  New  3001         colour 5    3001 (roof)\n"
       "     1 filled      0 max   25.0000  S  Used 6020-1       colour 0    6020-1\n"
       "Line 2 (item 3003) skipped: already filled (QTYFILLED 8 of MINQTY 8)\n"
       "Line 4 (item 970c00) skipped: already filled (QTYFILLED 5 of MINQTY 2)\n"
       "6 lots, 28 pieces, 2 already filled\n"},
      {"<INVENTORY>" + huge + "</INVENTORY>",
       "     1 filled      0 max    1e+308  P  Used 3001         colour 0    3001\n"
       "     1 filled      0 max 999999999.9900  P  Used 3001         colour 0    3001\n"
       "     1 filled      0 max     1e+09  P  Used 3001         colour 0    3001\n"
       "3 lots, 3 pieces\n"},
      {"<BrickStoreXML><Inventory><Item><ItemID>3001</ItemID><ItemTypeID>P</ItemTypeID>"
       "<ItemName>Brick 2 x 4</ItemName><ColorID>11</ColorID><Qty>12</Qty>"
       "<Condition>N</Condition></Item></Inventory></BrickStoreXML>",
       "    12 filled      0 max         -  P  New  3001         colour 11   Brick 2 x 4\n"
       "1 lots, 12 pieces\n"},
      {"<INVENTORY>" + line("3001", "<MINQTY>2</MINQTY><CONDITION> n</CONDITION>") +
           line("3002", "<MINQTY>0</MINQTY>") + line("3003", "") + "</INVENTORY>",
       "     2 filled      0 max         -  P  New  3001         colour 0    3001\n"
       "Line 2 (item 3002) skipped: MINQTY is 0\n"
       "Line 3 (item 3003) skipped: no MINQTY\n"
       "1 lots, 2 pieces, 2 lines skipped\n"},
  };
  const Testing::TemporaryDirectory directory;
  for (const auto& [text, expected] : lists) {
    std::ostringstream output;
    std::ostringstream errors;
    ASSERT_EQ(ListWantedList(directory.WriteFile("list", text).string(), output, errors), 0)
        << errors.str();
    EXPECT_EQ(output.str(), expected);
    EXPECT_EQ(errors.str(), "");
  }

  // A line that cannot be used refuses the list, on standard error only.
  std::ostringstream output;
  std::ostringstream errors;
  const auto refused = directory.WriteFile(
      "refused.bsx",
      "<BrickStoreXML><Inventory><Item><ItemID></ItemID><ItemTypeID>P</ItemTypeID>"
      "<ColorID>1</ColorID><Qty>1</Qty><Condition>N</Condition></Item></Inventory>"
      "</BrickStoreXML>");
  EXPECT_EQ(ListWantedList(refused.string(), output, errors), 1);
  EXPECT_EQ(output.str(), "");
  EXPECT_EQ(errors.str(), "Unable to read the wanted list " + refused.string() +
                              ": Line 1 (no item id): no item id (ItemID)\n");
}

}  // namespace
}  // namespace Corvalle::CommandLine
