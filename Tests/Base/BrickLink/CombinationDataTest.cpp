#include "Source/Base/BrickLink/CombinationData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "Source/Base/BrickLink/BoundedCombinationSearch.h"
#include "Source/Base/BrickLink/MinimumCostFinder.h"
#include "Source/Base/BrickLink/StoreCombination.h"
#include "Source/Base/BrickLink/StoreCombinationValidator.h"
#include "Tests/Support/SearchOracle.h"
#include "Tests/Base/BrickLink/SearchTestSupport.h"

namespace Corvalle::BrickLink {
namespace {

using Testing::MakeItems;
using Testing::MakeTable;

using Line = Testing::OracleLine;
using Testing::LinesOf;
constexpr Condition New = Condition::New;
constexpr Condition Used = Condition::Used;

std::vector<std::uint32_t> StoreIds(const ICombinationData& data) {
  std::vector<std::uint32_t> ids;
  for (const auto& store : data.Stores()) {
    ids.push_back(store.Id());
  }
  return ids;
}

TEST(StoreCombinationTest, BuysFromTheCheapestStoresFirst) {
  const auto items = MakeItems({10});
  // A: 6 at 1.00, B: 8 at 0.50, C: nothing.
  const auto table = MakeTable({{{6, 1.00}, {8, 0.50}, {0, 0.0}}}, {101, 102, 103});
  StoreCombination combination({0, 1, 2});
  EXPECT_EQ(combination.Cost(), std::numeric_limits<double>::max());
  combination.CalculateMinimumCost(items, *table);
  EXPECT_DOUBLE_EQ(combination.Cost(), 6.00);
  const auto plan = combination.CreateCombinationLotsData(items, *table);
  EXPECT_DOUBLE_EQ(plan->Cost(), 6.00);
  EXPECT_EQ(LinesOf(*plan), (std::vector<Line>{{"item0", 101, 2, 1.00, New}, {"item0", 102, 8, 0.50, New}}));
  EXPECT_EQ(StoreIds(*plan), (std::vector<std::uint32_t>{101, 102})) << "C supplies nothing";
  EXPECT_EQ(plan->LotsDataCount(), 2u);
}

TEST(StoreCombinationTest, EqualPricesFillTheLowerColumnFirst) {
  const auto items = MakeItems({5});
  const auto table = MakeTable({{{4, 2.0}, {4, 2.0}}}, {201, 202});
  StoreCombination combination({0, 1});
  combination.CalculateMinimumCost(items, *table);
  EXPECT_DOUBLE_EQ(combination.Cost(), 10.0);
  const auto plan = combination.CreateCombinationLotsData(items, *table);
  EXPECT_EQ(LinesOf(*plan), (std::vector<Line>{{"item0", 201, 4, 2.0, New}, {"item0", 202, 1, 2.0, New}}));
}

TEST(StoreCombinationTest, NeverNeededStoreStaysOutOfThePlan) {
  const auto items = MakeItems({3, 2});
  // Store 302 is dearer for both items and the others cover everything.
  const auto table =
      MakeTable({{{3, 1.0}, {9, 5.0}, {1, 0.5}}, {{2, 1.0}, {9, 5.0}, {0, 0.0}}}, {301, 302, 303});
  StoreCombination three({0, 1, 2});
  three.CalculateMinimumCost(items, *table);
  StoreCombination two({0, 2});
  two.CalculateMinimumCost(items, *table);
  EXPECT_EQ(three.Cost(), two.Cost());
  const auto threePlan = three.CreateCombinationLotsData(items, *table);
  const auto twoPlan = two.CreateCombinationLotsData(items, *table);
  EXPECT_EQ(StoreIds(*threePlan), (std::vector<std::uint32_t>{301, 303}));
  EXPECT_TRUE(*threePlan == *twoPlan);
  // Lines grouped by store id, then by item id.
  EXPECT_EQ(
      LinesOf(*threePlan),
      (std::vector<Line>{
          {"item0", 301, 2, 1.0, New}, {"item1", 301, 2, 1.0, New}, {"item0", 303, 1, 0.5, New}}));
  EXPECT_EQ(threePlan->LotsDataBegin(302), threePlan->LotsDataEnd());
  EXPECT_EQ(threePlan->LotsDataEnd(303), threePlan->LotsDataEnd());
  EXPECT_EQ(threePlan->LotsDataEnd(301) - threePlan->LotsDataBegin(301), 2);
}

// Alpha sells part A as 2 at 0.10 and 30 at 0.60 and part B as 10 at 1.00; Beta sells A as 14
// at 0.30. Four of A and one of B cost 1.80 bought lot by lot: 2 x 0.10 and 1 x 1.00 from
// Alpha, 2 x 0.30 from Beta. Averaging Alpha's lots of A would charge 2.20.
TEST(StoreCombinationTest, BuysTheCheapestUnitsOfEveryLot) {
  const auto items = MakeItems({4, 1});
  const auto table = Testing::MakeLotTable(
      {{{{2, 0.10}, {30, 0.60}}, {{14, 0.30}}}, {{{10, 1.00}}, {}}}, {1085, 2090});
  const std::vector<Line> expected{
      {"item0", 1085, 2, 0.10, New}, {"item1", 1085, 1, 1.00, New}, {"item0", 2090, 2, 0.30, New}};
  StoreCombination both({0, 1});
  both.CalculateMinimumCost(items, *table);
  EXPECT_DOUBLE_EQ(both.Cost(), 1.80);
  EXPECT_EQ(LinesOf(*both.CreateCombinationLotsData(items, *table)), expected);

  // Both searches find it as the cheapest plan, on one worker and on two.
  for (const std::uint32_t threads : {1u, 2u}) {
    const auto bounded = CreateBoundedCombinationSearch(items)->FindCheapestCombinations(
        *table, 2, 25, nullptr, threads);
    ASSERT_EQ(bounded.size(), 1u);
    EXPECT_DOUBLE_EQ(bounded[0].Cost(), 1.80);
    EXPECT_EQ(LinesOf(*bounded[0].CreateCombinationLotsData(items, *table)), expected);

    const auto validator = CreateStoreCombinationValidator(items);
    const auto finder = CreateMinimumCostFinder(table, *validator, items, 2);
    ASSERT_EQ(finder->CollectValidCombinations(nullptr, threads), 1u);
    finder->CalculateCosts();
    const auto plan = finder->CreateCombinationData(1);
    ASSERT_NE(plan, nullptr);
    EXPECT_DOUBLE_EQ(plan->Cost(), 1.80);
    EXPECT_EQ(LinesOf(*plan), expected);
  }
}

// An item wanted in any condition draws on new and used lots alike; each line tells which the
// buyer gets, and a store's lots of one price and condition share a line.
TEST(StoreCombinationTest, LinesTellTheConditionOfTheLotsBought) {
  std::vector<Item> items;
  items.emplace_back(ItemType::Part, "3004", "Brick 1 x 2", 1, Condition::Used, 9);
  const auto table = Testing::MakeLotTable(
      {{{{2, 0.05, Used}, {3, 0.05, Used}, {3, 0.08, New}, {5, 0.20, Used}},
        {{2, 0.05, New}, {1, 0.10, Used}}}},
      {7, 8});
  StoreCombination both({0, 1});
  both.CalculateMinimumCost(items, *table);
  EXPECT_DOUBLE_EQ(both.Cost(), 7 * 0.05 + 2 * 0.08);
  EXPECT_EQ(LinesOf(*both.CreateCombinationLotsData(items, *table)),
            (std::vector<Line>{
                {"3004", 7, 5, 0.05, Used}, {"3004", 7, 2, 0.08, New}, {"3004", 8, 2, 0.05, New}}));
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

TEST(CombinationDataTest, WritesTheStoresPartAsWantedListXml) {
  std::vector<Item> items;
  items.emplace_back(ItemType::Part, "3001", "Brick 2 x 4", 5, Condition::New, 10);
  const auto plan = PlanOfOneLine(items[0], 42, {10, 0.1}, 1.0);
  EXPECT_EQ(plan->CreateWantedListXml(42, 123),
            "<INVENTORY>\n"
            " <ITEM>\n"
            "  <ITEMID>3001</ITEMID>\n"
            "  <ITEMTYPE>P</ITEMTYPE>\n"
            "  <COLOR>5</COLOR>\n"
            "  <MINQTY>10</MINQTY>\n"
            "  <MAXPRICE>0.1000</MAXPRICE>\n"
            "  <CONDITION>N</CONDITION>\n"
            "  <WANTEDLISTID>123</WANTEDLISTID>\n"
            " </ITEM>\n"
            "</INVENTORY>");
  EXPECT_EQ(plan->CreateWantedListXml(43, 123), "<INVENTORY>\n</INVENTORY>");
}

// One ITEM per item and store, whatever the number of lots: the quantity to buy there, the
// dearest price paid there as the limit, and the condition the plan buys.
TEST(CombinationDataTest, XmlGivesEachItemItsQuantityLimitAndCondition) {
  std::vector<Item> items;
  items.emplace_back(ItemType::Part, "a", "any, both", 1, Condition::Used, 6);
  items.emplace_back(ItemType::Part, "b", "any, used only", 2, Condition::Used, 3);
  items.emplace_back(ItemType::Part, "c", "any, new only", 3, Condition::Used, 1);
  items.emplace_back(ItemType::Part, "d", "new", 4, Condition::New, 2);
  auto lines = std::make_unique<ICombinationData::LotsData>();
  lines->emplace_back(items[0], StoreInformation(7), LotData{2, 0.05}, Used);
  lines->emplace_back(items[0], StoreInformation(7), LotData{4, 0.1234}, New);
  lines->emplace_back(items[1], StoreInformation(7), LotData{1, 0.5}, Used);
  lines->emplace_back(items[1], StoreInformation(7), LotData{2, 0.75}, Used);
  lines->emplace_back(items[2], StoreInformation(7), LotData{1, 2.0}, New);
  lines->emplace_back(items[3], StoreInformation(7), LotData{2, 1.0}, New);
  const auto plan = CreateCombinationData({StoreInformation(7)}, 0.0, std::move(lines));
  const std::string xml = plan->CreateWantedListXml(7, 5);
  const auto block = [](const std::string& id, int color, int quantity, const std::string& limit,
                        const std::string& condition) {
    return "  <ITEMID>" + id + "</ITEMID>\n  <ITEMTYPE>P</ITEMTYPE>\n  <COLOR>" +
           std::to_string(color) + "</COLOR>\n  <MINQTY>" + std::to_string(quantity) +
           "</MINQTY>\n  <MAXPRICE>" + limit + "</MAXPRICE>\n" + condition +
           "  <WANTEDLISTID>5</WANTEDLISTID>\n </ITEM>\n";
  };
  EXPECT_NE(xml.find(block("a", 1, 6, "0.1234", "")), std::string::npos) << xml;
  EXPECT_NE(xml.find(block("b", 2, 3, "0.7500", "  <CONDITION>U</CONDITION>\n")),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find(block("c", 3, 1, "2.0000", "  <CONDITION>N</CONDITION>\n")),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find(block("d", 4, 2, "1.0000", "  <CONDITION>N</CONDITION>\n")),
            std::string::npos)
      << xml;
  // Eight lines per ITEM, three of them with a CONDITION, and the opening INVENTORY.
  EXPECT_EQ(std::count(xml.begin(), xml.end(), '\n'), 1 + 4 * 8 + 3);
}

TEST(CombinationDataTest, XmlEscapesMarkupInItemIdsAndRepeatsSharedIds) {
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
  EXPECT_NE(xml.find("  <ITEMID>sw0001</ITEMID>\n  <ITEMTYPE>M</ITEMTYPE>\n  <COLOR>11</COLOR>\n"
                     "  <MINQTY>1</MINQTY>\n"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("  <COLOR>12</COLOR>\n  <MINQTY>2</MINQTY>\n"), std::string::npos) << xml;
}

}  // namespace
}  // namespace Corvalle::BrickLink
