#include "Source/Base/BrickLink/CombinationData.h"

#include <gtest/gtest.h>

#include "Source/Base/BrickLink/StoreCombination.h"
#include "Tests/Support/SearchOracle.h"

namespace Corvalle::BrickLink {
namespace {

using Testing::MakeItems;

using Line = Testing::OracleLine;
using Testing::LinesOf;
constexpr Condition New = Condition::New;
constexpr Condition Used = Condition::Used;

// The purchase rule worked by hand; SearchModelTest checks it, and the stores a plan buys from,
// against the oracle on random tables. A plan's lines per store are read by the lists exported,
// which PlanExportTest reads back.
TEST(StoreCombinationTest, BuysTheCheapestUnitsFirstAndPlansByStoreThenItem) {
  struct Case {
    std::vector<std::uint32_t> wanted;
    Condition condition;
    std::vector<std::vector<std::vector<TableLot>>> rows;
    std::vector<std::uint32_t> ids;
    double cost;
    std::vector<Line> lines;
  };
  const Case cases[] = {
      // Equal prices fill the lower column first.
      {{5},
       New,
       {{{{4, 2.0}}, {{4, 2.0}}}},
       {201, 202},
       10.0,
       {{"item0", 201, 4, 2.0, New}, {"item0", 202, 1, 2.0, New}}},
      // The cheaper store first. Store 302 is dearer for both items and the others cover
      // everything: it stays out. Lines come by store id, then item id.
      {{3, 2},
       New,
       {{{{3, 1.0}}, {{9, 5.0}}, {{1, 0.5}}}, {{{2, 1.0}}, {{9, 5.0}}, {}}},
       {301, 302, 303},
       4.5,
       {{"item0", 301, 2, 1.0, New}, {"item1", 301, 2, 1.0, New}, {"item0", 303, 1, 0.5, New}}},
      // Every lot by its own price: 2 x 0.10 and 2 x 0.30 for the first item, where averaging
      // the first store's two lots would charge more.
      {{4, 1},
       New,
       {{{{2, 0.10}, {30, 0.60}}, {{14, 0.30}}}, {{{10, 1.00}}, {}}},
       {1085, 2090},
       1.80,
       {{"item0", 1085, 2, 0.10, New},
        {"item1", 1085, 1, 1.00, New},
        {"item0", 2090, 2, 0.30, New}}},
      // Wanted in any condition, new and used lots alike; a store's lots of one price and
      // condition share a line.
      {{9},
       Used,
       {{{{2, 0.05, Used}, {3, 0.05, Used}, {3, 0.08, New}, {5, 0.20, Used}},
         {{2, 0.05, New}, {1, 0.10, Used}}}},
       {7, 8},
       7 * 0.05 + 2 * 0.08,
       {{"item0", 7, 5, 0.05, Used}, {"item0", 7, 2, 0.08, New}, {"item0", 8, 2, 0.05, New}}},
  };
  for (const Case& test : cases) {
    const std::vector<Item> items = MakeItems(test.wanted, test.condition);
    const auto table = Testing::MakeLotTable(test.rows, test.ids);
    SCOPED_TRACE(Testing::DescribeTable(items, *table, 0));
    StoreCombination combination{Testing::ConsecutiveIds(0, table->StoreCount())};
    combination.CalculateMinimumCost(items, *table);
    EXPECT_DOUBLE_EQ(combination.Cost(), test.cost);
    const auto plan = combination.CreateCombinationLotsData(items, *table);
    EXPECT_EQ(plan->Cost(), combination.Cost());
    EXPECT_EQ(LinesOf(*plan), test.lines);
    EXPECT_EQ(plan->LotsDataCount(), test.lines.size());
  }
}

std::unique_ptr<ICombinationData> PlanOfOneLine(const Item& item, std::uint32_t storeId,
                                                LotData lot, double cost) {
  auto lines = std::make_unique<ICombinationData::LotsData>();
  lines->emplace_back(item, StoreInformation(storeId), lot);
  return CreateCombinationData({StoreInformation(storeId)}, cost, std::move(lines));
}

TEST(CombinationDataTest, PlansAreEqualWhenTheirLinesAgreeAndCostsAreClose) {
  const auto items = MakeItems({10, 10});
  const auto base = PlanOfOneLine(items[0], 1, {10, 1.0}, 10.0000);
  EXPECT_TRUE(*base == *PlanOfOneLine(items[0], 1, {10, 1.0}, 10.0005));
  EXPECT_FALSE(*base == *PlanOfOneLine(items[0], 1, {10, 1.0}, 10.002));
  EXPECT_FALSE(*base == *PlanOfOneLine(items[1], 1, {10, 1.0}, 10.0)) << "other item";
  EXPECT_FALSE(*base == *PlanOfOneLine(items[0], 2, {10, 1.0}, 10.0)) << "other store";
  EXPECT_FALSE(*base == *PlanOfOneLine(items[0], 1, {9, 1.0}, 10.0)) << "other quantity";
  EXPECT_FALSE(*base == *PlanOfOneLine(items[0], 1, {10, 1.01}, 10.0)) << "other price";

  auto twoLines = std::make_unique<ICombinationData::LotsData>();
  twoLines->emplace_back(items[0], StoreInformation(1), LotData{10, 1.0});
  twoLines->emplace_back(items[1], StoreInformation(1), LotData{10, 0.0});
  const auto longer = CreateCombinationData({StoreInformation(1)}, 10.0, std::move(twoLines));
  EXPECT_FALSE(*base == *longer);
  EXPECT_FALSE(*longer == *base);
}

// The exact form of an ITEM is ResultsViewTest's; what the lists ask for, read back, is
// PlanExportTest's: one ITEM per item and store, the quantity bought there, the dearest price as
// the limit, the condition.
TEST(CombinationDataTest, XmlEscapesMarkupAndRepeatsSharedIds) {
  std::vector<Item> items;
  items.emplace_back(ItemType::Gear, "a&b<c>\"d'", "odd", 0, Condition::New, 1);
  items.emplace_back(ItemType::Minifigure, "sw0001", "pilot", 11, Condition::New, 1);
  items.emplace_back(ItemType::Minifigure, "sw0001", "pilot", 12, Condition::Used, 2);
  auto lines = std::make_unique<ICombinationData::LotsData>();
  for (const Item& item : items) {
    lines->emplace_back(item, StoreInformation(7), LotData{item.Quantity(), 1.0});
  }
  const auto plan = CreateCombinationData({StoreInformation(7)}, 4.0, std::move(lines));
  const std::string xml = plan->CreateWantedListXml(7, 1234567);
  EXPECT_NE(xml.find("  <ITEMID>a&amp;b&lt;c&gt;\"d'</ITEMID>\n  <ITEMTYPE>G</ITEMTYPE>\n"),
            std::string::npos)
      << xml;
  // An ITEM for each colour of the figure.
  EXPECT_NE(xml.find("<ITEMID>sw0001</ITEMID>\n  <ITEMTYPE>M</ITEMTYPE>\n  <COLOR>11</COLOR>\n"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("  <COLOR>12</COLOR>\n  <MINQTY>2</MINQTY>\n"), std::string::npos) << xml;
}

}  // namespace
}  // namespace Corvalle::BrickLink
