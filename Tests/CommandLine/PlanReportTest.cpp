#include "Source/CommandLine/PlanReport.h"

#include <gtest/gtest.h>

#include <sstream>

#include "Source/Base/BrickLink/StoreInformation.h"
#include "Source/Base/SQLite/SqliteWrapper.h"
#include "Tests/Support/TemporaryDirectory.h"

namespace Corvalle::CommandLine {
namespace {

TEST(PlanReportTest, TextFromPagesAndFilesCannotDriveTheTerminal) {
  // The report reads the saved currency: a data directory of its own, whatever ran before.
  const Testing::TemporaryDirectory dataDirectory;
  Sqlite::SetDataDirectory(dataDirectory.Path().c_str());
  // A store page's name with a title-setting sequence (as "&#27;" decodes), and a wanted list
  // whose item id and name carry a screen-clearing one and a C1 CSI.
  BrickLink::StoreInformation::SetStoreMetadata(
      424242, {"Evil \x1b]0;owned\x07Store\x1b[31m", "US"});
  std::vector<Item> items;
  items.emplace_back(ItemType::Part, "3001\x1b[2J", "Brick \xC2\x9B" "1m 2 x 4\r", 11,
                     Condition::New, 3);
  auto lines = std::make_unique<BrickLink::ICombinationData::LotsData>();
  lines->emplace_back(items[0], BrickLink::StoreInformation(424242), BrickLink::LotData{3, 0.25});
  Plans plans;
  plans.push_back(BrickLink::CreateCombinationData({BrickLink::StoreInformation(424242)}, 0.75,
                                                   std::move(lines)));

  std::ostringstream text;
  WritePlans(plans, "market.example", text);
  const std::string output = text.str();
  for (const char control : {'\x1b', '\x07', '\r'}) {
    EXPECT_EQ(output.find(control), std::string::npos) << output;
  }
  EXPECT_EQ(output.find("\xC2\x9B"), std::string::npos) << output;
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_NE(output.find("Evil " + replacement + "]0;owned" + replacement + "Store" + replacement +
                        "[31m (USA)"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("3001" + replacement + "[2J"), std::string::npos) << output;
  EXPECT_NE(output.find("Brick " + replacement + "1m 2 x 4" + replacement), std::string::npos)
      << output;

  // JSON keeps the names as they are: its writer escapes every control character.
  std::ostringstream json;
  WriteJson({true, "", "US Dollar", {}}, {plans, {}, {}}, json);
  EXPECT_EQ(json.str().find('\x1b'), std::string::npos);
  EXPECT_NE(json.str().find("Evil \\u001b]0;owned\\u0007Store"), std::string::npos) << json.str();
}

}  // namespace
}  // namespace Corvalle::CommandLine
