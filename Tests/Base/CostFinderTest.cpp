// Whole searches against the local marketplace: the stages as the user sees them, the options
// reaching the search, the caches on a second search, and every way a search can end early. The
// plans under the options are checked against the search oracle by the search's own tests.

#include "Source/Base/CostFinder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>

#include "Source/Base/BrickLink/Countries.h"
#include "Source/Base/Formatting.h"
#include "Source/Base/SQLite/SqliteWrapper.h"
#include "Tests/Support/LiveMarketplace.h"
#include "Tests/Support/TemporaryDirectory.h"
#include "Tools/Marketplace/WorldGenerator.h"

namespace Corvalle {
namespace {

using namespace std::chrono_literals;

struct Lot {
  std::uint32_t store;
  bool used;
  std::uint32_t quantity;
  double price;
};

struct WantedItem {
  std::string id;
  std::uint32_t color;
  bool used;  // the condition wanted
  std::uint32_t quantity;
  std::vector<Lot> lots;
};

struct TestWorld {
  std::vector<std::pair<std::uint32_t, std::string>> stores;  // id, country id
  std::vector<WantedItem> items;

  std::string Json() const {
    nlohmann::json world;
    world["stores"] = nlohmann::json::array();
    for (const auto& [id, country] : stores) {
      world["stores"].push_back(
          {{"id", id}, {"name", "Store " + std::to_string(id)}, {"countryId", country}});
    }
    world["priceGuides"] = nlohmann::json::array();
    for (const WantedItem& item : items) {
      nlohmann::json guide = {{"type", "P"}, {"id", item.id}, {"color", item.color}};
      guide["new"] = nlohmann::json::array();
      guide["used"] = nlohmann::json::array();
      for (const Lot& lot : item.lots) {
        guide[lot.used ? "used" : "new"].push_back(
            {{"store", lot.store}, {"quantity", lot.quantity}, {"price", lot.price}});
      }
      world["priceGuides"].push_back(guide);
    }
    return world.dump();
  }

  std::string WantedList() const {
    std::vector<Marketplace::IncludedItem> lines;
    for (const WantedItem& item : items) {
      lines.push_back({'P', item.id, item.color, item.quantity, "", item.used ? 'U' : 'N'});
    }
    return Marketplace::WantedListXml(lines);
  }
};

// Stores in the USA, Canada, Germany and Japan; each offers some items, new or used, one lot
// per item, so that a store's cell is its lot.
TestWorld RandomWorld(std::mt19937& random, std::uint32_t storeCount, std::uint32_t itemCount) {
  static const char* const countries[] = {"US", "CA", "DE", "JP"};
  TestWorld world;
  for (std::uint32_t store = 0; store < storeCount; ++store) {
    world.stores.emplace_back(1000 + store, countries[random() % 4]);
  }
  for (std::uint32_t index = 0; index < itemCount; ++index) {
    WantedItem item{std::to_string(3010 + index),
                    11,
                    random() % 2 == 0,
                    1 + static_cast<std::uint32_t>(random() % 8),
                    {}};
    for (const auto& [id, country] : world.stores) {
      if (random() % 3 != 0) {
        item.lots.push_back({id, random() % 3 == 0, 1 + static_cast<std::uint32_t>(random() % 10),
                             static_cast<double>(1 + random() % 400) / 100.0});
      }
    }
    world.items.push_back(item);
  }
  return world;
}

struct Recorded {
  std::vector<std::string> highTexts;
  std::vector<std::string> lowTexts;
  std::vector<std::string> statistics;
  std::string failure;
  bool succeeded = false;
};

class CostFinderTest : public ::testing::Test {
 protected:
  void Serve(const TestWorld& world) {
    costFinder.reset();
    // The old marketplace puts the host variable back as it found it: it must go first.
    marketplace.reset();
    marketplace = std::make_unique<Testing::LiveMarketplace>(world.Json());
    wantedListPath = marketplace->Directory().WriteFile("wanted.xml", world.WantedList());
  }

  Recorded Search(std::uint32_t k, std::vector<std::string> regions, SearchOptions options = {},
                  std::uint32_t threads = 2, const std::string& path = "") {
    Recorded recorded;
    // Never the public marketplace: the test's own, unless the search names another.
    if (options.marketplaceHost == BrickLink::kPublicMarketplaceHost) {
      options.marketplaceHost = marketplace->Server().HostAndPort();
    }
    costFinder = CreateCostFinder(
        path.empty() ? wantedListPath.string() : path, k, "US", 1, regions,
        {[&recorded](const Utilities::IStatusUpdate& update) {
           if (update.IsFailed()) {
             recorded.failure = update.Message();
           } else if (update.IsFinished() && !update.HasMessage()) {
             recorded.succeeded = true;
           } else {
             recorded.highTexts.push_back(update.Message());
           }
         },
         [&recorded](const Utilities::IStatusUpdate& update) {
           if (update.HasMessage()) {
             recorded.lowTexts.push_back(update.Message());
           }
         },
         [&recorded](const std::string& text) { recorded.statistics.push_back(text); },
         [this](const LiveBounds& bounds) {
           if (onBounds) {
             onBounds(bounds);
           }
         }},
        std::move(options));
    costFinder->FindMinimumCostCombinations(threads);
    return recorded;
  }

  std::unique_ptr<Testing::LiveMarketplace> marketplace;
  std::filesystem::path wantedListPath;
  std::unique_ptr<ICostFinder> costFinder;
  // Hears the searches' bounds, on the search thread and the workers'.
  std::function<void(const LiveBounds&)> onBounds;
};

// Each line as expected; an expected line that ends in a space gives only the line's start.
void ExpectLines(const std::vector<std::string>& lines, const std::vector<std::string>& expected) {
  ASSERT_EQ(lines.size(), expected.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(expected[i].back() == ' ' ? lines[i].rfind(expected[i], 0) == 0
                                          : lines[i] == expected[i])
        << lines[i] << "\nexpected " << expected[i];
  }
}

// A bounded search, then an exhaustive one, which finds the same cheapest plan.
TEST_F(CostFinderTest, StagesStatisticsAndResultsOfASearch) {
  std::mt19937 random(7);
  Serve(RandomWorld(random, 10, 5));
  const Recorded recorded = Search(3, {"North America", "Europe"});
  ASSERT_TRUE(recorded.succeeded) << recorded.failure;
  ExpectLines(
      recorded.highTexts,
      {"Retrieving color data...", "Parsing wanted list \"" + wantedListPath.string() + "\"...",
       "Retrieving price guide data...", "Consolidating lot data...",
       "Retrieving metadata for 10 stores...", "Pruning stores...",
       "Finding minimum stores required...", "Finding valid combinations of 3 out of ",
       "Calculating valid combinations costs...",
       "Creating combination data for 25 combinations..."});
  ExpectLines(recorded.statistics,
              {"Maximum possible combinations: 120 (10 stores)",
               "Maximum possible combinations after filtering by region: ",
               "Maximum possible combinations after pruning extraneous stores: ",
               "Minimum required stores: ", "Search nodes: ", "Combinations priced: ",
               "Combinations ruled out by bounds: "});

  // The plans' ranking is the search's own tests' part; here the plans reach the caller, with
  // stores of the accepted regions that carry their names.
  const auto& plans = costFinder->GetCombinationData();
  ASSERT_FALSE(plans.empty());
  const double cheapest = plans[0]->Cost();
  for (const auto& store : plans[0]->Stores()) {
    EXPECT_NE(std::string(store.GetCountry().id), "JP");
    EXPECT_EQ(store.Name(), "Store " + std::to_string(store.Id()));
  }

  const Recorded exhaustive =
      Search(3, {"North America", "Europe"}, SearchOptions{SearchMethod::Exhaustive});
  ASSERT_TRUE(exhaustive.succeeded) << exhaustive.failure;
  ExpectLines(exhaustive.statistics,
              {"Maximum possible combinations: 120 (10 stores)",
               "Maximum possible combinations after filtering by region: ",
               "Maximum possible combinations after pruning extraneous stores: ",
               "Minimum required stores: ", "Valid combinations: "});
  ASSERT_FALSE(costFinder->GetCombinationData().empty());
  EXPECT_NEAR(costFinder->GetCombinationData()[0]->Cost(), cheapest, 1e-9);
}

TEST_F(CostFinderTest, StoresToKeepThatCannotBeInAPlanEndTheSearchNamingThem) {
  Serve({{{1, "US"}, {2, "US"}, {3, "DE"}, {4, "US"}},
         {{"3001", 11, false, 2, {{1, false, 2, 1.0}, {2, false, 2, 0.5}, {3, false, 2, 0.1}}}}});
  const auto failure = [&](std::vector<std::uint32_t> required, std::vector<std::uint32_t> excluded,
                           std::uint32_t k = 2, SearchMethod method = SearchMethod::Bounded) {
    SearchOptions options{method};
    options.requiredStores = std::move(required);
    options.excludedStores = std::move(excluded);
    const Recorded recorded = Search(k, {"North America"}, options);
    EXPECT_FALSE(recorded.succeeded);
    EXPECT_TRUE(costFinder->GetCombinationData().empty());
    return recorded.failure;
  };
  // Nothing was ever read of a store outside the table, so it has no name to show; the guides
  // tell that it sells nothing wanted.
  EXPECT_EQ(failure({4}, {}),
            "Store 4, which is to be kept in every plan, sells nothing on the wanted list.\nTake "
            "it off the stores to keep.");
  EXPECT_EQ(failure({3}, {}),
            "Store 3 (Store 3), which is to be kept in every plan, lies outside the accepted "
            "regions.\nTake it off the stores to keep.");
  EXPECT_EQ(failure({2}, {2}),
            "Store 2 is both a store to avoid and a store to keep.\nTake it off one of the two "
            "lists.");
  EXPECT_EQ(failure({1, 2, 3}, {}),
            "3 stores are to be kept in every plan, but a plan has at most 2 stores.\nKeep "
            "fewer stores or allow more stores per combination.");
  EXPECT_EQ(failure({1}, {}, 2, SearchMethod::Exhaustive),
            "The exhaustive search takes neither shipping nor stores to keep.\nUse the bounded "
            "search, or leave shipping at 0 and keep no store.");

  // Store 2, the cheapest in the region, is in no plan when it is to be avoided, and in every
  // plan when another is to be kept; the search's own tests check the plans under the rules.
  SearchOptions keep;
  keep.requiredStores = {1};
  SearchOptions avoid;
  avoid.excludedStores = {2};
  for (const SearchOptions& options : {keep, avoid}) {
    const Recorded recorded = Search(1, {"North America"}, options);
    ASSERT_TRUE(recorded.succeeded) << recorded.failure;
    const auto& plans = costFinder->GetCombinationData();
    ASSERT_EQ(plans.size(), 1u);
    ASSERT_EQ(plans[0]->Stores().size(), 1u);
    EXPECT_EQ(plans[0]->Stores()[0].Id(), 1u);
    EXPECT_EQ(std::find(recorded.statistics.begin(), recorded.statistics.end(),
                        "Stores kept in every plan: 1") != recorded.statistics.end(),
              !options.requiredStores.empty());
  }
}

// The buyer, in the USA, pays the domestic amount for a store there and the international one for
// any other. (How a plan tells its parts is PlanRulesTest's; the front ends' tests use a fake.)
TEST_F(CostFinderTest, ShippingIsChargedByTheStoresCountry) {
  Serve({{{1, "US"}, {2, "DE"}},
         {{"3001", 11, false, 1, {{1, false, 1, 1.0}}},
          {"3003", 11, false, 1, {{2, false, 1, 1.0}}}}});
  SearchOptions options;
  options.domesticShipping = 1.5;
  options.internationalShipping = 6.0;
  const Recorded recorded = Search(2, {"North America", "Europe"}, options);
  ASSERT_TRUE(recorded.succeeded) << recorded.failure;
  const auto& plans = costFinder->GetCombinationData();
  ASSERT_EQ(plans.size(), 1u);
  EXPECT_EQ(plans[0]->StoreShipping(1), 1.5);
  EXPECT_EQ(plans[0]->StoreShipping(2), 6.0);
  EXPECT_NEAR(plans[0]->Cost(), 2.0 + 7.5, 1e-9);
}

TEST_F(CostFinderTest, OneProcessSearchesTwoMarketplacesEachOnItsOwnHost) {
  // The same part at 1.00 in one world and 2.00 in another, each served on its own port.
  const TestWorld cheap{{{1, "US"}}, {{"3001", 11, false, 1, {{1, false, 5, 1.0}}}}};
  TestWorld dear = cheap;
  dear.items[0].lots[0].price = 2.0;
  Serve(cheap);
  Marketplace::MarketplaceServer other(Marketplace::World::FromJson(dear.Json()));
  other.Start();

  SearchOptions options;
  ASSERT_TRUE(Search(1, {"North America"}, options).succeeded);
  EXPECT_NEAR(costFinder->GetCombinationData()[0]->Cost(), 1.0, 1e-9);
  // A cache of its own, or the second search would be served the first one's guide.
  const Testing::TemporaryDirectory otherCache;
  Sqlite::SetDataDirectory(otherCache.Path().c_str());
  options.marketplaceHost = other.HostAndPort();
  ASSERT_TRUE(Search(1, {"North America"}, options).succeeded);
  EXPECT_GT(other.RequestCount(), 0u);
  EXPECT_NEAR(costFinder->GetCombinationData()[0]->Cost(), 2.0, 1e-9);
}

TEST_F(CostFinderTest, StoresPerCombinationAreLoweredToWhatTheSearchCanUse) {
  // Two pieces in all: pairs of stores, never triples.
  Serve({{{1, "US"}, {2, "US"}, {3, "US"}},
         {{"3001", 11, false, 1, {{1, false, 1, 1.0}, {2, false, 1, 0.5}}},
          {"3003", 11, false, 1, {{2, false, 1, 2.0}, {3, false, 1, 1.0}}}}});
  Recorded recorded = Search(3, {"North America"});
  ASSERT_TRUE(recorded.succeeded) << recorded.failure;
  EXPECT_EQ(recorded.highTexts[7].rfind("Finding valid combinations of 2 out of ", 0), 0u)
      << recorded.highTexts[7];
  EXPECT_NEAR(costFinder->GetCombinationData()[0]->Cost(), 1.5, 1e-9);

  // Fewer stores than asked for: k becomes the store count before the first count.
  Serve({{{1, "US"}, {2, "CA"}},
         {{"3001", 11, false, 5, {{1, false, 5, 1.0}}},
          {"3003", 11, false, 5, {{2, false, 5, 1.0}}}}});
  recorded = Search(4, {"North America"});
  ASSERT_TRUE(recorded.succeeded) << recorded.failure;
  EXPECT_EQ(recorded.statistics[0], "Maximum possible combinations: 1 (2 stores)");
  EXPECT_EQ(recorded.highTexts[7],
            "Finding valid combinations of 2 out of 2 stores (1 possible combinations)...");
}

TEST_F(CostFinderTest, EveryEarlyEndIsAFailedStatusWithEmptyResults) {
  const TestWorld world{{{1, "US"}, {2, "DE"}, {3, "JP"}},
                        {{"3001", 11, false, 2, {{1, false, 5, 1.0}, {2, false, 5, 0.9}}},
                         {"3003", 11, true, 1, {{3, true, 1, 0.5}}}}};
  Serve(world);
  const auto expectFailure = [&](const Recorded& recorded, const std::string& text) {
    EXPECT_FALSE(recorded.succeeded) << text;
    EXPECT_EQ(recorded.failure, text);
    EXPECT_TRUE(costFinder->GetCombinationData().empty()) << text;
  };

  const auto garbage = marketplace->Directory().WriteFile("garbage.xml", "\x01\x02 not xml");
  expectFailure(Search(3, {"Asia"}, {}, 1, garbage.string()), "Unable to read items from file :(");

  // The reason goes to the user, on a line of its own under the failure. (The reader's reasons
  // are WantedListTest's.)
  const auto unknownType = marketplace->Directory().WriteFile(
      "type.xml",
      "<INVENTORY><ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><MINQTY>1</MINQTY></ITEM>"
      "<ITEM><ITEMTYPE>Q</ITEMTYPE><ITEMID>3001</ITEMID><MINQTY>1</MINQTY></ITEM></INVENTORY>");
  expectFailure(Search(3, {"Asia"}, {}, 1, unknownType.string()),
                "Unable to read items from file :(\nLine 2 (item 3001): unknown item type \"Q\"");

  // Store pages that cannot be had (a guide that cannot be had ends a search as the trickling
  // one does). The part is new to the search, so its guide comes from the new world, and the
  // page of its only store is not cached.
  marketplace->Server().SetFault("store\\.asp", Marketplace::Fault::Status(404));
  TestWorld fresh = world;
  fresh.stores.emplace_back(4, "US");
  fresh.items.push_back({"3004", 11, true, 1, {{4, false, 2, 0.1}}});
  marketplace->Server().SetWorld(Marketplace::World::FromJson(fresh.Json()));
  const auto freshList = marketplace->Directory().WriteFile(
      "fresh.xml",
      "<INVENTORY><ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3004</ITEMID><COLOR>11</COLOR>"
      "<MINQTY>1</MINQTY><CONDITION>U</CONDITION></ITEM></INVENTORY>");
  // The failure names the store and its page.
  expectFailure(Search(3, {"Asia"}, {}, 1, freshList.string()),
                "Unable to retrieve store information for store 4:\nError downloading " +
                    marketplace->Server().HostAndPort() +
                    "/store.asp?sID=4\nError: Response returned with status code:  \"404\"\n"
                    "Please try again.");
  marketplace->Server().ClearFaults();

  // A list that reads but holds nothing to buy is told as such, right after it is read. (A list of
  // filled lines, or of BrickStore lines of Qty 0, totals 0 as well: WantedListTest.)
  const std::string empty =
      marketplace->Directory().WriteFile("empty.xml", "<INVENTORY></INVENTORY>").string();
  const Recorded nothing = Search(3, {"Asia"}, {}, 1, empty);
  expectFailure(nothing,
                "The wanted list \"" + empty +
                    "\" has nothing to buy: no item with a quantity above 0 still to fill.");
  ASSERT_EQ(nothing.highTexts.size(), 2u);
  EXPECT_EQ(nothing.highTexts[1], "Parsing wanted list \"" + empty + "\"...");
}

TEST_F(CostFinderTest, PartsSoldInOneConditionAreServedFromTheCacheWithinTheHour) {
  Serve({{{1, "US"}, {2, "CA"}},
         {{"3001", 11, false, 2, {{1, false, 5, 1.0}, {2, false, 5, 0.9}}},
          {"3003", 11, true, 1, {{1, true, 1, 0.5}, {2, true, 3, 0.4}}}}});
  const Recorded first = Search(2, {"North America"});
  ASSERT_TRUE(first.succeeded) << first.failure;
  const double cost = costFinder->GetCombinationData()[0]->Cost();

  // The guide pages now fail: the second search must not need them.
  const std::size_t requests = marketplace->Server().RequestCount();
  marketplace->Server().SetFault("catalogPG", Marketplace::Fault::Status(503));
  const Recorded again = Search(2, {"North America"});
  ASSERT_TRUE(again.succeeded) << again.failure;
  EXPECT_EQ(marketplace->Server().RequestCount(), requests);
  ASSERT_FALSE(costFinder->GetCombinationData().empty());
  EXPECT_NEAR(costFinder->GetCombinationData()[0]->Cost(), cost, 1e-9);
}

TEST_F(CostFinderTest, ATricklingPriceGuideIsNamedWhileSlowAndEndsTheSearchAtItsDeadline) {
  Serve({{{1, "US"}, {2, "US"}},
         {{"3001", 11, false, 1, {{1, false, 5, 1.0}}},
          {"3002", 11, false, 1, {{2, false, 5, 0.5}}}}});
  // A byte every 50 ms keeps any idle deadline away; the page's own deadline must end it.
  marketplace->Server().SetFault("itemNo=3002", Marketplace::Fault::Trickle(50ms));
  SearchOptions options;
  options.downloadTimeouts = {2000ms, 2000ms, 1000ms};
  options.slowPageAfter = 100ms;
  const Recorded recorded = Search(2, {"North America"}, options);
  const std::string page = marketplace->Server().HostAndPort() +
                           "/catalogPG.asp?itemSeq=1&v=P&priceGroup=Y&prDec=2&itemType=P&"
                           "itemNo=3002&colorID=11";
  // While it trickles, the status names it.
  EXPECT_NE(std::find(recorded.lowTexts.begin(), recorded.lowTexts.end(),
                      "Waiting for a slow page: " + page + "..."),
            recorded.lowTexts.end());
  EXPECT_FALSE(recorded.succeeded);
  EXPECT_EQ(recorded.failure,
            "Unable to retrieve price guide data for all items!  Aborting.\nTimeout error: no "
            "complete page from " +
                page + " within 1 second");
}

TEST_F(CostFinderTest, TooManyCombinationsEndOnlyTheExhaustiveSearch) {
  // 320 stores, each with 10 of one of 16 items wanted 40 times: no store alone supplies an
  // item, so none makes another redundant, and C(320, 11) does not fit 64 bits.
  TestWorld crowded;
  for (std::uint32_t index = 0; index < 16; ++index) {
    crowded.items.push_back({std::to_string(9000 + index), 11, false, 40, {}});
  }
  for (std::uint32_t index = 0; index < 320; ++index) {
    crowded.stores.emplace_back(5000 + index, "US");
    crowded.items[index % 16].lots.push_back({5000 + index, false, 10, 0.25});
  }
  Serve(crowded);
  const Recorded recorded =
      Search(11, {"North America"}, SearchOptions{SearchMethod::Exhaustive}, 1);
  EXPECT_EQ(recorded.failure,
            "Too many possible combinations to process.\nTry reducing the number of stores per "
            "combination.");
  ASSERT_GE(recorded.statistics.size(), 3u);
  EXPECT_EQ(recorded.statistics[0], "Possibly too many combinations! (320 stores)");
  EXPECT_EQ(recorded.statistics[2], "Too many combinations! (320 stores)");
  EXPECT_TRUE(costFinder->GetCombinationData().empty());

  // The bounded search never enumerates them: it tells the count as it is and goes on, to find
  // that 11 stores of 10 units cannot supply 16 items wanted 40 times each.
  const Recorded bounded = Search(11, {"North America"}, {}, 1);
  ASSERT_TRUE(bounded.succeeded) << bounded.failure;
  ASSERT_EQ(bounded.statistics.size(), 7u);
  const std::string beyond = "more than " + Utilities::FormatCount(UINT64_MAX) + " (320 stores)";
  EXPECT_EQ(bounded.statistics[0], "Maximum possible combinations: " + beyond);
  EXPECT_EQ(bounded.statistics[2],
            "Maximum possible combinations after pruning extraneous stores: " + beyond);
  EXPECT_EQ(bounded.highTexts[7], "Finding valid combinations of 11 out of 320 stores (" +
                                      beyond.substr(0, beyond.find(" (")) +
                                      " possible combinations)...");
  EXPECT_EQ(bounded.statistics[5], "Combinations priced: 0");
  EXPECT_TRUE(costFinder->GetCombinationData().empty());
}

// The cost by number of stores equals a separate search for each number, with and without
// shipping, from the fewest stores that can supply the list: three here, as no store holds
// more than five of the twelve wanted of the first item.
TEST_F(CostFinderTest, TheCostByNumberOfStoresEqualsASearchPerNumber) {
  std::mt19937 random(515);
  TestWorld scarce = RandomWorld(random, 9, 4);
  scarce.items[0].quantity = 12;
  scarce.items[0].used = true;
  scarce.items[0].lots.clear();
  for (const auto& [id, country] : scarce.stores) {
    if (country != "JP") {
      scarce.items[0].lots.push_back({id, id % 2 == 0, 1 + id % 5, 0.1 * (1 + id % 7)});
    }
  }
  Serve(scarce);
  for (const double shipping : {0.0, 1.5}) {
    SCOPED_TRACE(shipping);
    SearchOptions sweep;
    sweep.byStores = true;
    sweep.domesticShipping = shipping;
    sweep.internationalShipping = 2 * shipping;
    const Recorded recorded = Search(5, {"North America", "Europe"}, sweep);
    ASSERT_TRUE(recorded.succeeded) << recorded.failure;
    const std::vector<StoreCountCost> rows = costFinder->GetStoreCountCosts();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front().stores, 3u);
    EXPECT_EQ(rows.back().stores, 5u);
    EXPECT_NE(std::find(recorded.statistics.begin(), recorded.statistics.end(),
                        "Minimum required stores: 3"),
              recorded.statistics.end());
    std::vector<std::vector<double>> sweptCosts;
    for (const StoreCountCost& row : rows) {
      std::vector<double> costs;
      for (const auto& plan : costFinder->GetStoreCountPlans(row.stores)) {
        costs.push_back(plan->Cost());
      }
      ASSERT_FALSE(costs.empty());
      EXPECT_DOUBLE_EQ(row.cost, costs.front());
      EXPECT_DOUBLE_EQ(row.subtotal + row.shipping, row.cost);
      EXPECT_TRUE(row.proven);
      sweptCosts.push_back(costs);
    }
    EXPECT_EQ(costFinder->GetStoreCountPlans(5).size(), costFinder->GetCombinationData().size());
    for (std::size_t index = 0; index < rows.size(); ++index) {
      SearchOptions single = sweep;
      single.byStores = false;
      ASSERT_TRUE(Search(rows[index].stores, {"North America", "Europe"}, single).succeeded);
      std::vector<double> costs;
      for (const auto& plan : costFinder->GetCombinationData()) {
        costs.push_back(plan->Cost());
      }
      EXPECT_EQ(costs, sweptCosts[index]) << rows[index].stores << " stores";
      if (index > 0) {
        EXPECT_LE(rows[index].cost, rows[index - 1].cost + 1e-9);
      }
    }
  }
}

// A stop keeps the plans found, says that they are not proven and gives a bound under the best
// plan, as the time limit does; with the sweep, the numbers of stores searched after it stop
// too. Asked for as soon as the search of plans starts, it cannot come after the search ended.
TEST_F(CostFinderTest, AStopKeepsThePlansFoundWithAnHonestBound) {
  std::mt19937 random(2024);
  Serve(RandomWorld(random, 18, 8));
  SearchOptions options;
  options.byStores = true;
  ASSERT_TRUE(Search(4, {"North America", "Europe"}, options).succeeded);
  ASSERT_TRUE(costFinder->Proof().proven);
  const double best = costFinder->GetCombinationData().front()->Cost();
  std::mutex mutex;
  std::vector<LiveBounds> reported;
  onBounds = [&](const LiveBounds& bounds) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (reported.empty()) {
      costFinder->Stop();
    }
    reported.push_back(bounds);
  };
  const Recorded recorded = Search(4, {"North America", "Europe"}, options);
  ASSERT_TRUE(recorded.succeeded) << recorded.failure;
  ASSERT_GE(reported.size(), 2u);
  EXPECT_TRUE(reported.front().searching);
  EXPECT_EQ(reported.front().text, "no plan found yet");
  EXPECT_FALSE(reported.back().searching);
  EXPECT_EQ(reported.back().text, "");

  const auto& plans = costFinder->GetCombinationData();
  ASSERT_FALSE(plans.empty());
  const SearchProof proof = costFinder->Proof();
  EXPECT_FALSE(proof.proven);
  EXPECT_GT(proof.lowerBound, 0.0);
  EXPECT_LE(proof.lowerBound, best + 1e-9);
  EXPECT_GE(plans.front()->Cost(), best - 1e-9);
  const std::vector<StoreCountCost> rows = costFinder->GetStoreCountCosts();
  ASSERT_GE(rows.size(), 2u);
  // No number of stores goes missing for being stopped: one left without a plan says so.
  std::uint32_t next = rows.front().stores;
  for (const StoreCountCost& row : rows) {
    EXPECT_FALSE(row.proven) << row.stores << " stores";
    EXPECT_EQ(row.stores, next++);
    EXPECT_TRUE(row.found || row.cost == 0.0) << row.stores << " stores";
  }
  EXPECT_EQ(rows.back().stores, 4u);

  // The next search of the same cost finder is not stopped by it.
  onBounds = nullptr;
  costFinder->FindMinimumCostCombinations(2);
  EXPECT_TRUE(costFinder->Proof().proven);
  ASSERT_FALSE(costFinder->GetCombinationData().empty());
  EXPECT_NEAR(costFinder->GetCombinationData().front()->Cost(), best, 1e-9);
}

// Each reason a list cannot be bought names its items: none offered anywhere, none in the
// accepted regions, too few there, every lot above the price limit; and the search can leave
// them out instead, or ignore the limit.
TEST_F(CostFinderTest, AListThatCannotBeBoughtNamesWhatAndWhy) {
  const TestWorld lacking{
      {{1, "US"}, {2, "US"}, {3, "DE"}, {4, "JP"}},
      {{"3001", 11, false, 2, {{3, false, 5, 0.2}, {4, false, 5, 0.2}}},
       {"3002", 11, false, 10, {{1, false, 4, 0.1}, {2, false, 3, 0.1}, {3, false, 10, 0.3}}},
       {"3003", 11, false, 1, {{1, false, 5, 0.5}}},
       {"3004", 11, false, 1, {}},
       {"3005", 11, false, 5, {{1, false, 5, 0.1}, {2, false, 5, 0.2}}}}};
  Serve(lacking);
  std::string list = lacking.WantedList();
  const std::string limited = "<ITEMID>3003</ITEMID><COLOR>11</COLOR><MINQTY>1</MINQTY>";
  list.replace(list.find(limited), limited.size(), limited + "<MAXPRICE>0.0100</MAXPRICE>");
  const auto path = marketplace->Directory().WriteFile("unavailable.xml", list);

  const Recorded failed = Search(2, {"North America"}, {}, 2, path.string());
  ASSERT_FALSE(failed.succeeded);
  EXPECT_EQ(failed.failure,
            "No possible combinations.\n"
            "3001 3001 (Black, new, 2 wanted): no store in the accepted regions offers it; "
            "offered in Europe and Asia\n"
            "3002 3002 (Black, new, 10 wanted): the accepted regions offer only 7 of the 10 "
            "wanted; offered in Europe\n"
            "3003 3003 (Black, new, 1 wanted): every lot costs more than its limit of $0.0100\n"
            "3004 3004 (Black, new, 1 wanted): no store offers it\n"
            "Try removing rare parts from the wanted list or selecting more regions to ship from.");

  // The list's price limits reach the search unless they are to be ignored. (How the list's
  // limits and filled quantities are read and applied is WantedListTest's and
  // LotDataConsolidatorTest's.)
  SearchOptions ignore;
  ignore.listLimits = ListLimits::Ignore;
  const std::string withoutLimits = Search(2, {"North America"}, ignore, 2, path.string()).failure;
  EXPECT_EQ(withoutLimits.find("3003"), std::string::npos) << withoutLimits;
  EXPECT_NE(withoutLimits.find("3004 3004"), std::string::npos) << withoutLimits;

  SearchOptions skip;
  skip.skipUnavailable = true;
  const Recorded skipped = Search(2, {"North America"}, skip, 2, path.string());
  ASSERT_TRUE(skipped.succeeded) << skipped.failure;
  std::vector<std::string> leftOut;
  for (const LeftOutItem& left : costFinder->GetUnavailableItems()) {
    leftOut.push_back(left.item->Id() + " " + std::to_string(left.wanted));
  }
  EXPECT_EQ(leftOut, (std::vector<std::string>{"3001 2", "3002 10", "3003 1", "3004 1"}));
  const auto& plans = costFinder->GetCombinationData();
  ASSERT_FALSE(plans.empty());
  EXPECT_DOUBLE_EQ(plans[0]->Cost(), 0.5);
  const std::string xml = plans[0]->CreateWantedListXml(1, 0);
  EXPECT_NE(xml.find("<ITEMID>3005</ITEMID>"), std::string::npos) << xml;
  EXPECT_EQ(xml.find("<ITEMID>300"), xml.rfind("<ITEMID>300")) << xml;

  // Every item offered, but more stores needed than allowed.
  Serve({{{1, "US"}, {2, "US"}, {3, "US"}},
         {{"3001", 11, false, 10, {{1, false, 4, 0.1}, {2, false, 4, 0.1}, {3, false, 4, 0.1}}}}});
  const Recorded tooFew = Search(2, {"North America"});
  EXPECT_EQ(tooFew.failure,
            "No possible combinations.\nThe list needs at least 3 stores: 1 more than the 2 "
            "allowed.\nAllow more stores per combination, or select more regions to ship from.");
}

}  // namespace
}  // namespace Corvalle
