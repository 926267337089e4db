#include "PlanExport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "ExceptionMessage.h"
#include "ReadFile.h"
#include "TemporaryDirectory.h"

namespace Corvalle {
namespace {

using Testing::ReadFile;

class PlanExportTest : public ::testing::Test {
 protected:
  // Buys from stores 11 and 42; store 7 is kept in the plan though it sells nothing of it.
  PlanExportTest() {
    items.emplace_back(ItemType::Part, "3001", "Brick 2 x 4", 5, Condition::New, 10);
    items.emplace_back(ItemType::Minifigure, "cas001", "Knight", 0, Condition::Used, 1);
    auto lots = std::make_unique<BrickLink::ICombinationData::LotsData>();
    lots->emplace_back(items[0], BrickLink::StoreInformation(42), BrickLink::LotData{6, 0.25});
    lots->emplace_back(items[0], BrickLink::StoreInformation(11), BrickLink::LotData{4, 0.30});
    lots->emplace_back(items[1], BrickLink::StoreInformation(42), BrickLink::LotData{1, 7.0});
    BrickLink::PlanCharges charges;
    charges.shipping = {4.0, 4.0, 9.0};
    charges.subtotal = 9.70;
    charges.keptStores = {7};
    plan = BrickLink::CreateCombinationData(
        {BrickLink::StoreInformation(42), BrickLink::StoreInformation(11),
         BrickLink::StoreInformation(7)},
        26.70, std::move(lots), std::move(charges));
  }

  std::vector<Item> items;
  std::unique_ptr<BrickLink::ICombinationData> plan;
  Testing::TemporaryDirectory files;
};

TEST_F(PlanExportTest, WritesOneFilePerStoreNamedByRankAndStore) {
  const std::filesystem::path directory = files.Path() / "not" / "yet" / "there";
  const std::vector<std::string> written = ExportWantedLists(*plan, 4, directory.string(), 12345);

  std::vector<std::string> expected;
  for (const BrickLink::StoreInformation& store : plan->Stores()) {
    const auto path = directory / ("plan-4-store-" + std::to_string(store.Id()) + ".xml");
    expected.push_back(path.string());
    EXPECT_EQ(ReadFile(path), plan->CreateWantedListXml(store.Id(), 12345)) << path;
  }
  EXPECT_EQ(written, expected);
  ASSERT_EQ(written.size(), 3u);
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) {
    ++count;
  }
  EXPECT_EQ(count, 3u);
  // The store that sells nothing of the plan gets a list without items; the others get theirs.
  EXPECT_EQ(ReadFile(directory / "plan-4-store-7.xml"), "<INVENTORY>\n</INVENTORY>");
  EXPECT_NE(ReadFile(directory / "plan-4-store-42.xml").find("<ITEMID>cas001</ITEMID>"),
            std::string::npos);

  // Exporting again replaces the files instead of adding to them.
  ExportWantedLists(*plan, 4, directory.string(), 99);
  EXPECT_EQ(ReadFile(directory / "plan-4-store-11.xml"), plan->CreateWantedListXml(11, 99));
}

TEST_F(PlanExportTest, FailuresNameWhatCouldNotBeWritten) {
  const auto blocker = files.WriteFile("a-file", "x");
  EXPECT_THROW(ExportWantedLists(*plan, 1, (blocker / "lists").string(), 0),
               std::filesystem::filesystem_error);

  // A folder where a file is to go.
  std::filesystem::create_directories(files.Path() / "lists" / "plan-1-store-11.xml");
  const std::string message = Testing::RuntimeErrorOf(
      [&] { ExportWantedLists(*plan, 1, (files.Path() / "lists").string(), 0); });
  EXPECT_EQ(message,
            "Unable to write " + (files.Path() / "lists" / "plan-1-store-11.xml").string());
}

}  // namespace
}  // namespace Corvalle
