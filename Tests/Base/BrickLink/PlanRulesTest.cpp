// Shipping and required stores from the user's terms to the table's columns, the parts of a plan
// that charges shipping, and pruning under the rules. The bounded search's plans under the rules
// are checked against the oracle in BoundedCombinationSearchTest.

#include "Source/Base/BrickLink/PlanRules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "Source/Base/BrickLink/BoundedCombinationSearch.h"
#include "Source/Base/BrickLink/StoreInformation.h"
#include "Source/Base/BrickLink/StorePruner.h"
#include "Tests/Support/SearchOracle.h"

namespace Corvalle::BrickLink {
namespace {

using Indices = std::vector<std::uint32_t>;

TEST(PlanRulesTest, ShippingCanMakeOneStoreCheaperThanTwoAndThePlanTellsItsParts) {
  // Two items, one unit each. Store 0 sells both at 1; stores 1 and 2 sell one each at 0.5.
  // By lots, {1, 2} is cheapest (1.00). With 4.00 shipping per store, store 0 alone costs 6.00
  // and the pair 9.00.
  const auto items = Testing::MakeItems({1, 1});
  const auto table =
      Testing::MakeTable({{{1, 1.0}, {1, 0.5}, {}}, {{1, 1.0}, {}, {1, 0.5}}}, {101, 102, 103});
  PlanRules rules;
  rules.shipping = {4.0, 4.0, 4.0};
  const auto withShipping = CreateBoundedCombinationSearch(items)->FindCheapestCombinations(
      *table, 2, 25, nullptr, 1, rules);
  ASSERT_GE(withShipping.size(), 2u);
  EXPECT_EQ(withShipping[0].StoreIndices(), Indices{0});
  EXPECT_DOUBLE_EQ(withShipping[0].Cost(), 6.0);
  const auto plan = withShipping[0].CreateCombinationLotsData(items, *table, rules);
  EXPECT_TRUE(plan->ChargesShipping());
  EXPECT_DOUBLE_EQ(plan->Subtotal(), 2.0);
  EXPECT_DOUBLE_EQ(plan->Shipping(), 4.0);
  EXPECT_EQ(plan->Subtotal() + plan->Shipping(), plan->Cost());
  EXPECT_DOUBLE_EQ(plan->StoreShipping(101), 4.0);
  EXPECT_DOUBLE_EQ(plan->StoreShipping(102), 0.0);
}

TEST(PlanRulesTest, TermsBecomeRulesOnTheTablesColumns) {
  const auto table = Testing::MakeTable({{{1, 1.0}, {1, 1.0}, {1, 1.0}}}, {301, 302, 303});
  StoreInformation::SetStoreMetadata(301, {"Home", "US"});
  StoreInformation::SetStoreMetadata(302, {"Away", "DE"});
  StoreInformation::SetStoreMetadata(303, {"Nowhere", ""});
  PurchaseTerms terms{4.0, 9.0, "US", {303, 999}};
  const PlanRules rules = MakePlanRules(terms, *table);
  EXPECT_EQ(rules.shipping, (std::vector<double>{4.0, 9.0, 9.0}));
  // A store the table lacks is not a column.
  EXPECT_EQ(rules.required, Indices{2});

  terms.domesticShipping = 0.0;
  terms.internationalShipping = 0.0;
  EXPECT_FALSE(MakePlanRules(terms, *table).ChargesShipping());
}

TEST(PlanRulesTest, PruningKeepsRequiredStoresAndStoresThatShipCheaper) {
  // Store 1 offers everything store 0 does, as cheap: without rules store 0 goes.
  const auto items = Testing::MakeItems({2});
  const auto table = Testing::MakeTable({{{2, 1.0}, {2, 0.5}}}, {401, 402});
  const auto pruner = CreateStorePruner();
  EXPECT_EQ(pruner->PruneExtraneousStores(*table, items)->StoreCount(), 1u);

  PlanRules dearerShipping;
  dearerShipping.shipping = {1.0, 9.0};
  EXPECT_EQ(pruner->PruneExtraneousStores(*table, items, dearerShipping)->StoreCount(), 2u);
  PlanRules sameShipping;
  sameShipping.shipping = {4.0, 4.0};
  EXPECT_EQ(pruner->PruneExtraneousStores(*table, items, sameShipping)->GetStore(0).Id(), 402u);
  PlanRules required;
  required.required = {0};
  EXPECT_EQ(pruner->PruneExtraneousStores(*table, items, required)->StoreCount(), 2u);
}

}  // namespace
}  // namespace Corvalle::BrickLink
