#include "BrickLink/CombinationData.h"

#include <gtest/gtest.h>

#include <limits>

#include "BrickLink/StoreCombination.h"
#include "SearchTestSupport.h"

namespace Corvalle::BrickLink {
namespace {

using Testing::MakeItems;
using Testing::MakeTable;

struct Line {
  std::string itemId;
  std::uint32_t storeId;
  std::uint32_t quantity;
  double price;

  friend bool operator==(const Line&, const Line&) = default;
};

std::vector<Line> Lines(const ICombinationData& data) {
  std::vector<Line> lines;
  for (auto line = data.LotsDataBegin(); line != data.LotsDataEnd(); ++line) {
    lines.push_back(
        {line->GetItem().Id(), line->store.Id(), line->lotData.quantity, line->lotData.price});
  }
  return lines;
}

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
  EXPECT_EQ(Lines(*plan), (std::vector<Line>{{"item0", 101, 2, 1.00}, {"item0", 102, 8, 0.50}}));
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
  EXPECT_EQ(Lines(*plan), (std::vector<Line>{{"item0", 201, 4, 2.0}, {"item0", 202, 1, 2.0}}));
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
      Lines(*threePlan),
      (std::vector<Line>{{"item0", 301, 2, 1.0}, {"item1", 301, 2, 1.0}, {"item0", 303, 1, 0.5}}));
  EXPECT_EQ(threePlan->LotsDataBegin(302), threePlan->LotsDataEnd());
  EXPECT_EQ(threePlan->LotsDataEnd(303), threePlan->LotsDataEnd());
  EXPECT_EQ(threePlan->LotsDataEnd(301) - threePlan->LotsDataBegin(301), 2);
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
            "  <WANTEDLISTID>123</WANTEDLISTID>\n"
            " </ITEM>\n"
            "</INVENTORY>");
  EXPECT_EQ(plan->CreateWantedListXml(43, 123), "<INVENTORY>\n</INVENTORY>");
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
                     "  <MINQTY>1</MINQTY>\n  <WANTEDLISTID>1234567</WANTEDLISTID>\n"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("  <COLOR>12</COLOR>\n  <MINQTY>2</MINQTY>\n"), std::string::npos) << xml;
}

}  // namespace
}  // namespace Corvalle::BrickLink
