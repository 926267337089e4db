#include "Source/Base/PlanExport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "Source/Base/BrickStore/XmlParser.h"
#include "Tests/Support/ExceptionMessage.h"
#include "Tests/Support/ReadFile.h"
#include "Tests/Support/TemporaryDirectory.h"

namespace Corvalle {
namespace {

using BrickLink::LotData;
using BrickLink::StoreInformation;
using Testing::ReadFile;

class PlanExportTest : public ::testing::Test {
 protected:
  // Buys from stores 42 and 11, of the items wanted in any condition in one condition or both;
  // store 7 is kept in the plan though it sells nothing of it.
  PlanExportTest() {
    items.emplace_back(ItemType::Part, "3001", "Brick 2 x 4", 5, Condition::New, 10);
    items.emplace_back(ItemType::Part, "3004", "Brick 1 x 2", 11, Condition::Used, 7);
    items.emplace_back(ItemType::Minifigure, "cas001", "Knight", 0, Condition::Used, 2);
    auto lots = std::make_unique<BrickLink::ICombinationData::LotsData>();
    lots->emplace_back(items[0], StoreInformation(42), LotData{6, 0.25});
    lots->emplace_back(items[0], StoreInformation(42), LotData{1, 0.3125});
    lots->emplace_back(items[1], StoreInformation(42), LotData{3, 0.05}, Condition::Used);
    lots->emplace_back(items[1], StoreInformation(42), LotData{2, 0.07}, Condition::New);
    lots->emplace_back(items[0], StoreInformation(11), LotData{3, 0.30});
    lots->emplace_back(items[1], StoreInformation(11), LotData{2, 0.04}, Condition::Used);
    lots->emplace_back(items[2], StoreInformation(11), LotData{2, 7.0}, Condition::New);
    BrickLink::PlanCharges charges;
    charges.shipping = {4.0, 4.0, 9.0};
    charges.subtotal = 17.0825;
    charges.keptStores = {7};
    plan = BrickLink::CreateCombinationData(
        {StoreInformation(42), StoreInformation(11), StoreInformation(7)}, 34.0825, std::move(lots),
        std::move(charges));
  }

  std::vector<Item> items;
  std::unique_ptr<BrickLink::ICombinationData> plan;
  Testing::TemporaryDirectory files;
};

TEST_F(PlanExportTest, WritesOneFilePerStoreNamedByRankAndStore) {
  const std::filesystem::path directory = files.Path() / "not" / "yet" / "there";
  const std::vector<std::string> written = ExportWantedLists(*plan, 4, directory.string(), 12345);

  std::vector<std::string> expected;
  for (const StoreInformation& store : plan->Stores()) {
    const auto path = directory / ("plan-4-store-" + std::to_string(store.Id()) + ".xml");
    expected.push_back(path.string());
    EXPECT_EQ(ReadFile(path), plan->CreateWantedListXml(store.Id(), 12345) + "\n") << path;
  }
  // The three stores' files, and no more: ALinkAtATargetIsReplacedNotWrittenThrough counts them.
  EXPECT_EQ(written, expected);
  // The store that sells nothing of the plan gets a list without items; the others get theirs.
  EXPECT_EQ(ReadFile(directory / "plan-4-store-7.xml"), "<INVENTORY>\n</INVENTORY>\n");
  EXPECT_NE(ReadFile(directory / "plan-4-store-11.xml").find("<ITEMID>cas001</ITEMID>"),
            std::string::npos);

  // Exporting again replaces the files instead of adding to them.
  ExportWantedLists(*plan, 4, directory.string(), 99);
  EXPECT_EQ(ReadFile(directory / "plan-4-store-11.xml"), plan->CreateWantedListXml(11, 99) + "\n");
}

// What the exported list asks for, read back by this program's own reader: each store's part
// of each item, in the condition the plan buys there and no dearer than the plan pays.
TEST_F(PlanExportTest, ExportedListsReadBackAsThePlansShareOfEachStore) {
  ExportWantedLists(*plan, 1, files.Path().string(), 5);

  const auto readBack = [&](std::uint32_t storeId) {
    const auto path = files.Path() / ("plan-1-store-" + std::to_string(storeId) + ".xml");
    return std::move(*BrickStore::CreateXmlParser()->ParseItems(path.c_str()));
  };
  // Store 42: 7 new bricks up to 0.3125; 5 any-condition ones (read as Used), both conditions
  // bought.
  std::vector<Item> expected;
  expected.emplace_back(ItemType::Part, "3001", "3001", 5, Condition::New, 7, 0, 0.3125);
  expected.emplace_back(ItemType::Part, "3004", "3004", 11, Condition::Used, 5, 0, 0.07);
  EXPECT_EQ(readBack(42), expected);
  // Store 11: the any-condition lines bought in one condition are held to it.
  expected.clear();
  expected.emplace_back(ItemType::Part, "3001", "3001", 5, Condition::New, 3, 0, 0.30);
  expected.emplace_back(ItemType::Part, "3004", "3004", 11, Condition::Used, 2, 0, 0.04);
  expected.emplace_back(ItemType::Minifigure, "cas001", "cas001", 0, Condition::New, 2, 0, 7.0);
  EXPECT_EQ(readBack(11), expected);
  EXPECT_NE(ReadFile(files.Path() / "plan-1-store-11.xml").find("<CONDITION>U</CONDITION>"),
            std::string::npos);
}

// A link at a file's name is replaced by the file; what it pointed to stays as it was, and no
// temporary file is left behind.
TEST_F(PlanExportTest, ALinkAtATargetIsReplacedNotWrittenThrough) {
  const auto victim = files.WriteFile("victim.txt", "keep me");
  const std::filesystem::path directory = files.Path() / "out";
  std::filesystem::create_directories(directory);
  std::filesystem::create_symlink(victim, directory / "plan-1-store-42.xml");
  std::filesystem::create_symlink(files.Path() / "nowhere", directory / "plan-1-store-11.xml");

  ExportWantedLists(*plan, 1, directory.string(), 0);
  EXPECT_EQ(ReadFile(victim), "keep me");
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    ++count;
    EXPECT_FALSE(entry.is_symlink()) << entry.path();
    EXPECT_EQ(
        ReadFile(entry.path()),
        plan->CreateWantedListXml(std::stoul(entry.path().stem().string().substr(13)), 0) + "\n");
  }
  EXPECT_EQ(count, 3u);
  EXPECT_FALSE(std::filesystem::exists(files.Path() / "nowhere"));
}

TEST_F(PlanExportTest, FailuresNameWhatCouldNotBeWritten) {
  // A file, or a link to one, where the folder is to be. (A folder that cannot be made under a
  // file is ResultsViewTest's failed export.)
  const auto file = files.WriteFile("plain", "x");
  std::filesystem::create_symlink(file, files.Path() / "link");
  for (const auto& target : {file, files.Path() / "link"}) {
    EXPECT_EQ(Testing::RuntimeErrorOf([&] { ExportWantedLists(*plan, 1, target.string(), 0); }),
              target.string() + " is not a folder");
    EXPECT_EQ(ReadFile(file), "x");
  }

  // A folder where a file is to go.
  std::filesystem::create_directories(files.Path() / "lists" / "plan-1-store-11.xml");
  const std::string message = Testing::RuntimeErrorOf(
      [&] { ExportWantedLists(*plan, 1, (files.Path() / "lists").string(), 0); });
  EXPECT_EQ(message,
            "Unable to write " + (files.Path() / "lists" / "plan-1-store-11.xml").string());
}

}  // namespace
}  // namespace Corvalle
