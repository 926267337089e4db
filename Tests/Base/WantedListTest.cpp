#include "WantedList.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "BrickLink/PriceGuideRetriever.h"
#include "BrickStore/XmlParser.h"
#include "TemporaryDirectory.h"

namespace Corvalle {
namespace {

// Reading a list never asks for price guides.
class UnusedRetriever final : public BrickLink::IPriceGuideRetriever {
 public:
  bool TryPopulatePriceGuides(Item&) override {
    ADD_FAILURE() << "price guide requested while reading";
    return false;
  }
};

class WantedListTest : public ::testing::Test {
 protected:
  bool Read(const std::string& itemsXml) {
    const auto path = directory.WriteFile("list-" + std::to_string(fileCount++) + ".xml",
                                          "<INVENTORY>" + itemsXml + "</INVENTORY>");
    return wantedList.ReadItems(path.c_str());
  }

  static std::string Line(const std::string& id, std::uint32_t color, const char* condition,
                          const std::string& quantity, const std::string& type = "P") {
    return "<ITEM><ITEMTYPE>" + type + "</ITEMTYPE><ITEMID>" + id + "</ITEMID><COLOR>" +
           std::to_string(color) + "</COLOR><MINQTY>" + quantity + "</MINQTY><CONDITION>" +
           condition + "</CONDITION></ITEM>";
  }

  Testing::TemporaryDirectory directory;
  int fileCount = 0;
  const std::unique_ptr<BrickStore::IXmlParser> xmlParser = BrickStore::CreateXmlParser();
  UnusedRetriever retriever;
  WantedList wantedList{*xmlParser, retriever};
};

TEST_F(WantedListTest, RepeatedLinesBecomeTheFirstOfThemWithTheQuantitiesAddedUp) {
  std::vector<Item> items;
  items.emplace_back(ItemType::Part, "3001", "Brick 2 x 4", 11, Condition::New, 10);
  items.emplace_back(ItemType::Part, "3003", "Brick 2 x 2", 11, Condition::New, 4);
  items.emplace_back(ItemType::Part, "3001", "Brick 2 x 4 (again)", 11, Condition::New, 10);
  // Another colour, condition or type is another line.
  items.emplace_back(ItemType::Part, "3001", "Brick 2 x 4", 5, Condition::New, 1);
  items.emplace_back(ItemType::Part, "3001", "Brick 2 x 4", 11, Condition::Used, 2);
  items.emplace_back(ItemType::Set, "3001", "Set 3001", 11, Condition::New, 3);
  items.emplace_back(ItemType::Part, "3003", "Brick 2 x 2", 11, Condition::New, 6);
  items.emplace_back(ItemType::Part, "3001", "third", 11, Condition::New, 1);

  const std::vector<Item> merged = MergeRepeatedItems(std::move(items));
  ASSERT_EQ(merged.size(), 5u);
  EXPECT_EQ(merged[0], Item(ItemType::Part, "3001", "Brick 2 x 4", 11, Condition::New, 21));
  EXPECT_EQ(merged[1], Item(ItemType::Part, "3003", "Brick 2 x 2", 11, Condition::New, 10));
  EXPECT_EQ(merged[2], Item(ItemType::Part, "3001", "Brick 2 x 4", 5, Condition::New, 1));
  EXPECT_EQ(merged[3], Item(ItemType::Part, "3001", "Brick 2 x 4", 11, Condition::Used, 2));
  EXPECT_EQ(merged[4], Item(ItemType::Set, "3001", "Set 3001", 11, Condition::New, 3));
}

TEST_F(WantedListTest, SumsBeyondThirtyTwoBitsAreRefusedNamingTheItem) {
  std::vector<Item> fits;
  fits.emplace_back(ItemType::Part, "3001", "a", 11, Condition::New, 4294967000u);
  fits.emplace_back(ItemType::Part, "3001", "b", 11, Condition::New, 295u);
  const std::vector<Item> merged = MergeRepeatedItems(std::move(fits));
  ASSERT_EQ(merged.size(), 1u);
  EXPECT_EQ(merged[0].Quantity(), 4294967295u);

  std::vector<Item> beyond;
  beyond.emplace_back(ItemType::Part, "3003", "a", 11, Condition::Used, 4294967000u);
  beyond.emplace_back(ItemType::Part, "3003", "b", 11, Condition::Used, 296u);
  try {
    MergeRepeatedItems(std::move(beyond));
    ADD_FAILURE() << "no exception";
  } catch (const std::out_of_range& error) {
    EXPECT_EQ(std::string(error.what()),
              "Item 3003 (colour 11, Used) is wanted more than 4294967295 times in all");
  }
}

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

  EXPECT_FALSE(Read(Line("3001", 11, "N", "4294967295") + Line("3001", 11, "N", "1")));
  EXPECT_EQ(wantedList.ReadFailure(),
            "Item 3001 (colour 11, New) is wanted more than 4294967295 times in all");
  EXPECT_EQ(wantedList.Items()[0].Quantity(), 20u);

  // The parser logs why a file is not a list at all; there is no reason to pass on.
  EXPECT_FALSE(wantedList.ReadItems((directory.Path() / "missing.xml").c_str()));
  EXPECT_EQ(wantedList.ReadFailure(), "");

  // A path that names no file is a reason the user is told, with the path.
  const std::string folder = directory.Path().string();
  EXPECT_FALSE(wantedList.ReadItems(folder.c_str()));
  EXPECT_EQ(wantedList.ReadFailure(), "\"" + folder + "\" is a directory, not a file");

  // A line without type is refused with the list.
  EXPECT_FALSE(Read(Line("3001", 11, "N", "1") + Line("3003", 11, "N", "1", "")));
  EXPECT_EQ(wantedList.ReadFailure(), "Line 2 (item 3003): no item type (ITEMTYPE)");
  EXPECT_EQ(wantedList.Items()[0].Quantity(), 20u);
}

}  // namespace
}  // namespace Corvalle
