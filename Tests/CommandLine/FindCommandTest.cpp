#include "Source/CommandLine/FindCommand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <tuple>

#include "Source/Base/BrickLink/Currencies.h"
#include "Tests/Support/FakeCostFinder.h"
#include "Source/Base/Formatting.h"
#include "Tests/Support/LiveMarketplace.h"
#include "Source/Base/PreferencesManager.h"
#include "Tests/Support/ProgramRunner.h"
#include "Tests/Support/ReadFile.h"
#include "Source/Base/SQLite/SqliteWrapper.h"
#include "Tests/Support/ScopedEnvironment.h"
#include "Tests/Support/TemporaryDirectory.h"
#include "Tools/Marketplace/WorldGenerator.h"

namespace Corvalle::CommandLine {
namespace {

using Testing::kAbroadStore;
using Testing::kHomeStore;
using Testing::kTwoPlans;
using Testing::ReadFile;

std::string Sample(const std::string& name) {
  return std::string(CORVALLE_SAMPLES_DIR) + "/" + name;
}

// The find command on fake cost finders, in a data directory of its own; the fakes find
// kTwoPlans unless a test cans another search.
class FindCommandTest : public ::testing::Test {
 protected:
  FindCommandTest() { Sqlite::SetDataDirectory(data.Path().c_str()); }

  static FindOptions Options() {
    FindOptions options;
    options.wantedListPath = Sample("castle-wall.xml");
    options.storesPerCombination = 3;
    options.threadCount = 2;
    options.regions = {"North America", "Europe"};
    options.marketplaceHost = "market.test";
    return options;
  }

  int Run(const FindOptions& options) {
    output.str("");
    errors.str("");
    return RunFind(options, output, errors, false, Testing::FakeCostFinder::Factory(searches));
  }

  nlohmann::json Json() const { return nlohmann::json::parse(output.str()); }

  Testing::TemporaryDirectory data;
  Testing::FakeSearches searches;
  std::ostringstream output;
  std::ostringstream errors;
};

// Every option reaches the cost finder; what is left out comes from the settings that the last
// search saved, and "none" empties a saved list of stores.
TEST_F(FindCommandTest, TheOptionsAndTheSavedSettingsMakeTheRequest) {
  FindOptions options = Options();
  options.storesPerCombination = 5;
  options.threadCount = 3;
  options.country = "Germany";
  options.currency = "Euro";
  options.regions = {"Europe", "North America", "Europe"};
  // Amounts may be typed as the totals show them; "-0" is no negative amount.
  options.shippingDomestic = "4,50";
  options.shippingInternational = "-0";
  options.excludedStores = {"77", "12", "77"};
  options.requiredStores = {"9"};
  options.searchMethod = SearchMethod::Exhaustive;
  options.ignoreListLimits = true;
  options.byStores = true;
  options.skipUnavailable = true;
  options.timeLimit = 2.5;
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  ASSERT_EQ(searches.requests.size(), 1u);
  const Testing::CostFinderRequest asked = searches.requests.back();
  EXPECT_EQ(asked.wantedListPath, Sample("castle-wall.xml"));
  EXPECT_EQ(asked.storesPerCombination, 5u);
  EXPECT_EQ(asked.threadCount, 3u);
  EXPECT_EQ(asked.countryId, "DE");
  EXPECT_EQ(asked.currencyId, BrickLink::GetCurrencyByName("Euro").id);
  EXPECT_EQ(asked.regions, (std::vector<std::string>{"Europe", "North America"}));
  EXPECT_EQ(asked.options.domesticShipping, 4.5);
  EXPECT_EQ(asked.options.internationalShipping, 0.0);
  EXPECT_EQ(asked.options.excludedStores, (std::vector<std::uint32_t>{77, 12}));
  EXPECT_EQ(asked.options.requiredStores, std::vector<std::uint32_t>{9});
  EXPECT_EQ(asked.options.method, SearchMethod::Exhaustive);
  EXPECT_EQ(asked.options.listLimits, ListLimits::Ignore);
  EXPECT_TRUE(asked.options.byStores);
  EXPECT_TRUE(asked.options.skipUnavailable);
  EXPECT_EQ(asked.options.timeLimitSeconds, 2.5);
  EXPECT_EQ(asked.options.marketplaceHost, "market.test");

  // The next search asks for what was saved, and for no more than it asks itself.
  FindOptions next;
  next.wantedListPath = options.wantedListPath;
  next.requiredStores = {"none"};
  ASSERT_EQ(Run(next), kPlansFound) << errors.str();
  ASSERT_EQ(searches.requests.size(), 2u);
  const Testing::CostFinderRequest& again = searches.requests.back();
  EXPECT_EQ(again.storesPerCombination, 5u);
  EXPECT_EQ(again.countryId, "DE");
  EXPECT_EQ(again.currencyId, asked.currencyId);
  EXPECT_EQ(again.regions, asked.regions);
  EXPECT_EQ(again.options.domesticShipping, 4.5);
  EXPECT_EQ(again.options.excludedStores, asked.options.excludedStores);
  EXPECT_TRUE(again.options.requiredStores.empty());
  EXPECT_EQ(again.options.method, SearchMethod::Bounded);
  EXPECT_EQ(again.options.listLimits, ListLimits::Apply);
  EXPECT_FALSE(again.options.byStores || again.options.skipUnavailable);
  EXPECT_EQ(again.options.timeLimitSeconds, 0.0);
  EXPECT_TRUE(CreatePreferencesManager()->GetPreferences().requiredStores.empty());
}

// A command that cannot search says why on both streams, asks the cost finder nothing and
// saves nothing.
TEST_F(FindCommandTest, RefusalsComeBeforeAnySearch) {
  const std::string missing = (data.Path() / "missing.xml").string();
  struct Case {
    std::function<void(FindOptions&)> change;
    int status;
    std::string message;  // the start of standard error and of the JSON's message
  };
  const Case cases[] = {
      {[](FindOptions& o) { o.country = "United States"; }, kUsageError,
       "Unknown country \"United States\". Accepted: Argentina, Australia, "},
      {[](FindOptions& o) { o.currency = "Dollar"; }, kUsageError,
       "Unknown currency \"Dollar\". Accepted: " + AcceptedCurrencies() + "\n"},
      {[](FindOptions& o) {
         o.regions = {"Europe", "Atlantis"};
       },
       kUsageError, "Unknown region \"Atlantis\". Accepted: "},
      {[](FindOptions& o) { o.shippingDomestic = "-1"; }, kUsageError,
       "Not a shipping amount: \"-1\". Give a number from 0 to " + Utilities::FormatCount(1000000) +
           ", such as 4.50.\n"},
      // The amounts the parser takes are PreferencesManagerTest's; a currency with a decimal comma
      // names it in the hint.
      {[](FindOptions& o) {
         o.currency = "Euro";
         o.shippingInternational = "1.004,50";
       },
       kUsageError,
       "Not a shipping amount: \"1.004,50\". Give a number from 0 to " +
           Utilities::FormatCount(1000000) + ", such as 4,50 or 4.50.\n"},
      {[](FindOptions& o) {
         o.excludedStores = {"7", "abc"};
       },
       kUsageError,
       "Not a store number: \"abc\". Give the number of the store's page address "
       "(store.asp?sID=NUMBER), or none.\n"},
      {[&](FindOptions& o) { o.wantedListPath = missing; }, kNoPlans,
       "Unable to read the wanted list \"" + missing + "\": No such file or directory.\n"},
      {[&](FindOptions& o) { o.wantedListPath = data.Path().string(); }, kNoPlans,
       "Unable to read the wanted list \"" + data.Path().string() + "\": it is not a file.\n"},
  };
  for (const Case& example : cases) {
    for (const bool json : {false, true}) {
      SCOPED_TRACE(example.message + (json ? " (JSON)" : ""));
      FindOptions options = Options();
      options.json = json;
      example.change(options);
      EXPECT_EQ(Run(options), example.status);
      EXPECT_TRUE(errors.str().starts_with(example.message)) << errors.str();
      if (json) {
        const auto document = Json();
        EXPECT_EQ(document["status"], "failed");
        EXPECT_TRUE((document["message"].get<std::string>() + "\n").starts_with(example.message));
        EXPECT_TRUE(document["plans"].empty());
      } else {
        EXPECT_EQ(output.str(), "");
      }
    }
  }
  EXPECT_TRUE(searches.requests.empty());
  const Preferences saved = CreatePreferencesManager()->GetPreferences();
  EXPECT_EQ(saved.country, "USA");
  EXPECT_EQ(saved.shippingDomestic, 0.0);
  EXPECT_TRUE(saved.excludedStores.empty());

  // A cost finder that cannot be made fails the search the same way.
  searches.next.creationError = "the caches cannot be opened";
  EXPECT_EQ(Run(Options()), kNoPlans);
  EXPECT_EQ(errors.str(), "Unable to start the search: the caches cannot be opened\n");
}

// The text: items left out, the cost by number of stores, for a search stopped before it proved
// its plans (by its time limit) how far from the best they can be, each plan with its parts when
// shipping is charged, and each of its stores with its address, shipping and lines. A stopped
// search still succeeds.
TEST_F(FindCommandTest, TextShowsWhatTheSearchFound) {
  searches.next.plans = {{{{0, kHomeStore, 8, 0.5}, {1, kAbroadStore, 4, 0.25}}, {4.0, 9.0}}};
  searches.next.byStores = {{1, 0.0, 0.0, 0.0, false, false},
                            {2, 18.0, 5.0, 13.0, false, true},
                            {3, 17.5, 8.5, 9.0, true, true}};
  searches.next.proof = {false, 16.0, 3.2};
  searches.next.unavailable = {{1, "no store in the accepted regions offers it"}};
  FindOptions options = Options();
  options.storesPerCombination = 2;
  options.skipUnavailable = true;
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  EXPECT_EQ(output.str(),
            "Left out, as the accepted regions cannot supply them:\n"
            "  4 x 3622 N/A Brick 1 x 3: no store in the accepted regions offers it\n"
            "\n"
            "Cost by number of stores:\n"
            "  Stores  Total       Lots        Shipping    Saving      Proven\n"
            "       1  stopped before a plan was found\n"
            "*      2  $18.00      $5.00       $13.00      -           no\n"
            "       3  $17.50      $8.50       $9.00       $0.50       yes\n"
            "\n"
            "Stopped after 3 s: not proven. The cheapest plan found costs $18.00; no plan costs "
            "less than $16.00 ($18.00 is at most 12.5 % above the best possible).\n"
            "\n"
            "Combination #1 - Total Cost: $18.00 (lots $5.00 + shipping $13.00)\n"
            "  Brick Palace (USA)  http://market.test/store.asp?sID=1001  shipping $4.00\n"
            "        8 x $0.5000     New   3001         Red                  Brick 2 x 4\n"
            "  Steine Kontor (Germany)  http://market.test/store.asp?sID=2002  shipping $9.00\n"
            "        4 x $0.2500     New   3622         N/A                  Brick 1 x 3\n"
            "\n");

  // Without shipping a total stands alone; prices are written in the currency searched.
  options = Options();
  options.currency = "Euro";
  searches.next = {};
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  EXPECT_TRUE(output.str().starts_with(
      "Combination #1 - Total Cost: \xE2\x82\xAC"
      "5,00\n"
      "  Brick Palace (USA)  http://market.test/store.asp?sID=1001\n"))
      << output.str();
}

// The JSON holds the outcome, what the search ran with and what it found, at full precision.
TEST_F(FindCommandTest, JsonHoldsTheWholeOutcome) {
  searches.next.plans = {{{{0, kHomeStore, 8, 0.5}, {1, kAbroadStore, 4, 0.25}}, {4.0, 9.0}},
                         kTwoPlans[1]};
  searches.next.statistics = {"Search nodes: 12", "Stores pruned: 3"};
  searches.next.byStores = {{1, 0.0, 0.0, 0.0, false, false}, {2, 18.0, 5.0, 13.0, true, true}};
  searches.next.unavailable = {{1, "none in the regions"}};
  searches.next.skippedLines = {{2, "3004", "no MINQTY"}};
  FindOptions options = Options();
  options.json = true;
  options.storesPerCombination = 2;
  options.shippingDomestic = "4";
  options.shippingInternational = "9";
  options.excludedStores = {"5"};
  options.skipUnavailable = true;
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  const auto document = Json();
  EXPECT_EQ(document["status"], "succeeded");
  EXPECT_EQ(document["message"], "");
  EXPECT_EQ(document["currency"], "US Dollar");
  EXPECT_EQ(document["statistics"], nlohmann::json(searches.next.statistics));
  EXPECT_EQ(document["skippedLines"],
            nlohmann::json::parse(R"([{"line": 2, "itemId": "3004", "reason": "no MINQTY"}])"));
  EXPECT_EQ(document["options"], nlohmann::json::parse(R"({
      "storesPerCombination": 2, "country": "USA", "regions": ["North America", "Europe"],
      "search": "bounded", "shippingDomestic": 4.0, "shippingInternational": 9.0,
      "excludedStores": [5], "requiredStores": [], "listLimits": true})"));
  EXPECT_EQ(document["byStores"], nlohmann::json::parse(R"([{"stores": 1, "proven": false},
      {"stores": 2, "cost": 18.0, "subtotal": 5.0, "shipping": 13.0, "proven": true}])"));
  EXPECT_EQ(document["leftOut"], nlohmann::json::parse(R"([{"itemType": "P", "itemId": "3622",
      "name": "Brick 1 x 3", "color": 0, "colorName": "N/A", "condition": "Any", "quantity": 4,
      "reason": "none in the regions"}])"));
  EXPECT_EQ(document["proven"], true);
  EXPECT_FALSE(document.contains("lowerBound"));
  ASSERT_EQ(document["plans"].size(), 2u);
  EXPECT_EQ(document["plans"][0], nlohmann::json::parse(R"({"rank": 1, "subtotal": 5.0,
      "shipping": 13.0, "cost": 18.0, "stores": [
      {"id": 1001, "name": "Brick Palace", "countryId": "US",
       "url": "http://market.test/store.asp?sID=1001", "shipping": 4.0, "lots": [
        {"itemType": "P", "itemId": "3001", "name": "Brick 2 x 4", "color": 5, "colorName": "Red",
         "condition": "New", "quantity": 8, "price": 0.5}]},
      {"id": 2002, "name": "Steine Kontor", "countryId": "DE",
       "url": "http://market.test/store.asp?sID=2002", "shipping": 9.0, "lots": [
        {"itemType": "P", "itemId": "3622", "name": "Brick 1 x 3", "color": 0,
         "colorName": "N/A", "condition": "New", "quantity": 4, "price": 0.25}]}]})"));
  // A plan without shipping has no parts.
  EXPECT_EQ(document["plans"][1]["rank"], 2);
  EXPECT_DOUBLE_EQ(document["plans"][1]["cost"].get<double>(), 5.8);
  EXPECT_FALSE(document["plans"][1].contains("shipping"));
  EXPECT_FALSE(document["plans"][1].contains("subtotal"));

  // Items left out are reported only when the search was asked to leave them out; a search
  // stopped before it proved its plans gives the bound it reached.
  options.skipUnavailable = false;
  searches.next.proof = {false, 16.0, 3.2};
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  EXPECT_FALSE(Json().contains("leftOut"));
  EXPECT_EQ(Json()["proven"], false);
  EXPECT_EQ(Json()["lowerBound"], 16.0);
}

// Standard error follows the search: its stages and steps, the bounds of the search of plans,
// with --verbose its statistics, then the lines the list skipped.
TEST_F(FindCommandTest, ProgressGoesToStandardError) {
  searches.next.statistics = {"Search nodes: 12"};
  searches.next.skippedLines = {{4, "3001", "MINQTY is 0"}};
  FindOptions options = Options();
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  const std::string progress =
      "Retrieving color data...\n"
      "  Requesting color data...\n"
      "Searching for the cheapest plans...\n"
      "  cheapest $12.50, none below $11.00\n";
  const std::string skipped = "Line 4 (item 3001) skipped: MINQTY is 0\n";
  EXPECT_EQ(errors.str(), progress + skipped);
  options.verbose = true;
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  EXPECT_EQ(errors.str(),
            "Retrieving color data...\n  Requesting color data...\nStatistic: Search nodes: 12\n" +
                progress.substr(progress.find("Searching")) + skipped);
}

// A search that finds nothing fails the command as a failed search does
// (RefusedSettingsAreNotSavedAndSavedOnesAreNamed): its text ends standard error and is the JSON's
// message, and without --json standard output stays empty.
TEST_F(FindCommandTest, ASearchThatFindsNothingFailsTheCommand) {
  searches.next.plans = {};
  FindOptions options = Options();
  options.json = true;
  EXPECT_EQ(Run(options), kNoPlans);
  EXPECT_TRUE(errors.str().ends_with("\nNo combinations found :(\n")) << errors.str();
  const auto document = Json();
  EXPECT_EQ(document["status"], "failed");
  EXPECT_EQ(document["message"], "No combinations found :(");
  EXPECT_TRUE(document["plans"].empty());
  options.json = false;
  EXPECT_EQ(Run(options), kNoPlans);
  EXPECT_EQ(output.str(), "");
}

// Settings that the search refused are not saved. Refused settings that came from the saved
// ones are named, with the options that clear them, on standard error and in the JSON.
TEST_F(FindCommandTest, RefusedSettingsAreNotSavedAndSavedOnesAreNamed) {
  const std::string keepHint =
      "\nThe stores to keep are a saved setting: clear them with --require-store none.";
  const std::string avoidHint =
      "\nThe stores to avoid are a saved setting: clear them with --exclude-store none.";
  const std::string shippingHint =
      "\nThe shipping amounts are saved settings: clear them with --shipping-domestic 0 "
      "--shipping-international 0.";
  const std::string failure = "No plan can be made with these settings.";
  struct Case {
    std::vector<RefusedSetting> refused;
    std::function<void(FindOptions&)> change;
    std::string hint;
  };
  const Case cases[] = {
      {{RefusedSetting::Shipping}, [](FindOptions&) {}, shippingHint},
      {{RefusedSetting::ExcludedStores, RefusedSetting::RequiredStores},
       [](FindOptions&) {},
       avoidHint + keepHint},
      // Given on the command line, they are the user's to change there: no hint.
      {{RefusedSetting::RequiredStores, RefusedSetting::Shipping},
       [](FindOptions& o) {
         o.requiredStores = {"8"};
         o.shippingDomestic = "3";
       },
       ""},
      {{RefusedSetting::ExcludedStores}, [](FindOptions& o) { o.excludedStores = {"8"}; }, ""},
  };
  const Preferences saved{3, "USA", "US Dollar", {"North America"}, 2.0, 0.0, {7}, {9}};
  for (const Case& example : cases) {
    SCOPED_TRACE(example.hint);
    CreatePreferencesManager()->SetPreferences(saved);
    searches.next.failure = failure;
    searches.next.refused = example.refused;
    FindOptions options = Options();
    options.country = "Canada";
    options.json = true;
    example.change(options);
    EXPECT_EQ(Run(options), kNoPlans);
    EXPECT_EQ(errors.str().substr(errors.str().size() - failure.size() - example.hint.size() - 1),
              failure + example.hint + "\n");
    EXPECT_EQ(Json()["message"], failure + example.hint);
    const Preferences after = CreatePreferencesManager()->GetPreferences();
    EXPECT_EQ(after.country, "USA");
    EXPECT_EQ(after.shippingDomestic, 2.0);
    EXPECT_EQ(after.excludedStores, saved.excludedStores);
    EXPECT_EQ(after.requiredStores, saved.requiredStores);
  }
}

// The export writes the plan of the rank asked for, one list per store; an export that cannot
// be made fails the command.
TEST_F(FindCommandTest, ExportWritesThePlanOfTheRankAsked) {
  FindOptions options = Options();
  options.exportDirectory = (data.Path() / "second").string();
  options.exportedPlan = 2;
  options.wantedListId = 12345;
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  const auto written = std::filesystem::path(options.exportDirectory) / "plan-2-store-1001.xml";
  EXPECT_NE(errors.str().find("Wrote " + written.string() + "\n"), std::string::npos)
      << errors.str();
  // Only the second plan buys 3622 from store 1001. (One file per store is PlanExportTest's.)
  const std::string xml = ReadFile(written.string());
  EXPECT_NE(xml.find("<ITEMID>3622</ITEMID>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<WANTEDLISTID>12345</WANTEDLISTID>"), std::string::npos) << xml;

  const std::string file = data.WriteFile("file", "x").string();
  const std::tuple<std::string, std::uint32_t, std::string> failures[] = {
      {(data.Path() / "beyond").string(), 3, "Unable to export plan 3: the search found 2 plans."},
      {file, 1, "Unable to export the wanted lists: " + file + " is not a folder"}};
  for (const auto& [directory, plan, message] : failures) {
    options.exportDirectory = directory;
    options.exportedPlan = plan;
    options.json = true;
    EXPECT_EQ(Run(options), kNoPlans);
    EXPECT_NE(errors.str().find(message), std::string::npos) << errors.str();
    EXPECT_EQ(Json()["status"], "failed");
    EXPECT_TRUE(Json()["message"].get<std::string>().starts_with(message));
  }
  EXPECT_FALSE(std::filesystem::exists(data.Path() / "beyond"));
}

// Three stores, one of them in a country the program does not know, selling one part; the
// Canadian one ships to Canada and the USA only.
constexpr const char* kWorldWithAStoreNowhere = R"({
  "stores": [
    {"id": 1, "name": "Store 1", "countryId": "US"},
    {"id": 2, "name": "Store 2", "countryId": "CA", "shipsTo": ["CA", "US"]},
    {"id": 3, "name": "Store 3", "countryId": "XX"}
  ],
  "priceGuides": [
    {"type": "P", "id": "3001", "color": 11,
     "new": [{"store": 1, "quantity": 10, "price": 1.0}, {"store": 2, "quantity": 10, "price": 2.0},
             {"store": 3, "quantity": 10, "price": 0.5}],
     "used": []}
  ]
})";

// The corvalle program itself, run as scripts run it: standard output and standard error go to
// files of their own, and its cache to a directory of the test's.
class FindProgramTest : public ::testing::Test {
 protected:
  // Waits for a program the runner started and reads its streams into output and errors; the
  // exit status, or -1 when it was not started or did not exit normally.
  int WaitForProgram(pid_t pid, const std::string& name) {
    const int status = Testing::ProgramRunner::Wait(pid);
    output = runner.Output(name);
    errors = runner.Errors(name);
    return status;
  }

  int RunProgram(std::vector<std::string> arguments) {
    return WaitForProgram(runner.Start(std::move(arguments), "run"), "run");
  }

  // A wanted list of new bricks 3001 in colour 11, which the stores of the world sell.
  std::filesystem::path WantedBricks(std::uint32_t quantity) {
    return files.WriteFile("wanted.xml",
                           Marketplace::WantedListXml({{'P', "3001", 11, quantity, "", 'N'}}));
  }

  Testing::LiveMarketplace marketplace{kWorldWithAStoreNowhere};
  Testing::ScopedEnvironment cache{"XDG_CACHE_HOME", marketplace.Directory().Path().c_str()};
  Testing::TemporaryDirectory files;
  Testing::ProgramRunner runner{CORVALLE_PROGRAM, files.Path()};
  std::string output;
  std::string errors;
};

// Two searches started together on one cache, as from two terminals or the window and the
// command line: their caches' writes meet.
TEST_F(FindProgramTest, TwoSearchesAtOnceOnOneCacheBothFindTheSamePlans) {
  marketplace.Server().SetWorld(
      Marketplace::World::FromFile(std::string(CORVALLE_SAMPLES_DIR) + "/world.json"));
  const std::string list = std::string(CORVALLE_SAMPLES_DIR) + "/castle-wall.xml";
  const std::vector<std::string> arguments = {"find",      list,    "--stores", "2",
                                              "--threads", "1",     "--region", "North America",
                                              "--region",  "Europe"};
  const pid_t first = runner.Start(arguments, "first");
  const pid_t second = runner.Start(arguments, "second");
  ASSERT_EQ(WaitForProgram(first, "first"), kPlansFound) << errors;
  const std::string firstPlans = output;
  ASSERT_EQ(WaitForProgram(second, "second"), kPlansFound) << errors;
  EXPECT_EQ(output, firstPlans);
  EXPECT_EQ(errors.find("UNIQUE constraint"), std::string::npos) << errors;
  EXPECT_EQ(firstPlans.find("[Error retrieving color name]"), std::string::npos);
}

// One search whose pages bring trouble: colours that cannot be had and a store nowhere (an error
// record and a warning record), and store names that arrive with an override character (raw or
// as a character reference) and a byte that is not UTF-8. The records go to standard error, the
// JSON stays whole and holds the names as the pages gave them, and no outside text, nor a file
// name with an escape sequence, reaches either stream raw.
TEST_F(FindProgramTest, LogRecordsAndOutsideTextLeaveBothStreamsClean) {
  marketplace.Server().SetFault("catalogColors", Marketplace::Fault::Status(404));
  marketplace.Server().SetFault("store\\.asp\\?sID=1$",
                                Marketplace::Fault::Rewrite("Store 1", "Store &#x202E;1\xFF"));
  marketplace.Server().SetFault("store\\.asp\\?sID=2$",
                                Marketplace::Fault::Rewrite("Store 2",
                                                            "Store \xE2\x81\xA6"
                                                            "2"));
  const auto list = WantedBricks(15);
  const auto raw = [](const std::string& text) {
    return std::ranges::any_of(
        std::vector<std::string>{"\xE2\x80\xAE", "\xE2\x81\xA6", "\xFF", "\x1B"},
        [&](const std::string& hidden) { return text.find(hidden) != std::string::npos; });
  };
  ASSERT_EQ(RunProgram({"find", list.string(), "--stores", "2", "--threads", "1", "--region",
                        "North America", "--json"}),
            kPlansFound)
      << errors;
  EXPECT_FALSE(raw(output) || raw(errors)) << output << errors;
  const auto document = nlohmann::json::parse(output);
  EXPECT_EQ(document["status"], "succeeded");
  ASSERT_FALSE(document["plans"].empty());
  EXPECT_DOUBLE_EQ(document["plans"][0]["cost"].get<double>(), 20.0);
  std::vector<std::string> names;
  for (const auto& store : document["plans"][0]["stores"]) {
    names.push_back(store["name"]);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Store \xE2\x80\xAE"
                                             "1\xEF\xBF\xBD",
                                             "Store \xE2\x81\xA6"
                                             "2"}));

  // Records keep the layout they had on standard output: the level in brackets is padded to
  // the width of "[warning]", then one space.
  const std::regex record(
      R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{6}\] \[0x[0-9a-f]+\] (\[(\w+)\] +)(.*))");
  std::vector<std::string> warnings;
  std::size_t errorRecords = 0;
  std::istringstream lines(errors);
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (!std::regex_match(line, match, record)) {
      EXPECT_NE(line.substr(0, 1), "[") << line;
      continue;
    }
    EXPECT_EQ(match[1].length(), 10) << line;
    if (match[2] == "warning") {
      warnings.push_back(match[3]);
    } else if (match[2] == "error") {
      ++errorRecords;
    }
  }
  EXPECT_EQ(warnings, std::vector<std::string>{"Store 3 (Store 3) has the unknown country ID "
                                               "\"XX\"; it lies in no region and is filtered out"})
      << errors;
  EXPECT_GE(errorRecords, 1u) << errors;

  // How the text report shows such names is PlanReportTest's and FormattingTest's.

  // A file name echoed in a refusal, by the command line's own checks and by the search.
  const std::string hostile = (files.Path() / "\x1B]0;owned\x07\xE2\x80\xAElist.xml").string();
  EXPECT_EQ(RunProgram({"list", hostile}), kUsageError);
  EXPECT_NE(errors.find("\xEF\xBF\xBD]0;owned\xEF\xBF\xBD\xEF\xBF\xBDlist.xml"), std::string::npos)
      << errors;
  EXPECT_FALSE(raw(output) || raw(errors)) << errors;
  EXPECT_EQ(RunProgram({"find", hostile, "--export", hostile}), kNoPlans);
  EXPECT_FALSE(raw(output) || raw(errors)) << errors;
}

// A store to keep that sells the part and does not ship it to the buyer is named for that, by
// the page and by the cache that kept it alike.
TEST_F(FindProgramTest, AStoreToKeepThatDoesNotShipToTheBuyerIsNamedForIt) {
  const auto list = WantedBricks(5);
  // Store 2 ships to the USA, not to Germany.
  EXPECT_EQ(RunProgram({"find", list.string(), "--stores", "2", "--region", "North America",
                        "--country", "USA", "--require-store", "2"}),
            kPlansFound)
      << errors;
  for (const char* source : {"page", "cache"}) {
    SCOPED_TRACE(source);
    EXPECT_EQ(RunProgram({"find", list.string(), "--stores", "2", "--region", "North America",
                          "--country", "Germany", "--require-store", "2", "--json"}),
              kNoPlans);
    const auto document = nlohmann::json::parse(output);
    EXPECT_EQ(document["message"],
              "Store 2, which is to be kept in every plan, does not ship to Germany: its lots of "
              "the wanted list are marked as not shipping there.\nTake it off the stores to keep.");
  }
  // The second time, the guide came from the cache: one page for each country.
  const auto log = marketplace.Server().RequestLog();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const auto& request) { return request.path == "/catalogPG.asp"; }),
            2);
}

// A command line refused at the program's edge, before the find command runs, still has its
// exit status, its reason on standard error and, with --json, its document; it asks the
// marketplace nothing.
TEST_F(FindProgramTest, ARefusedCommandLineHasItsStatusAndItsJson) {
  const auto list = WantedBricks(5);
  const std::pair<std::vector<std::string>, std::string> refusals[] = {
      {{"find", list.string(), "--json", "--stores", "99"}, "--stores: Value 99"},
      {{"bogus", "--json"},
       "Unknown command \"bogus\". Commands: list, find, demo; see corvalle --help."},
      {{"find", "wanted.xml", "--json", "--export", ""}, "--export: the folder must not be empty"},
  };
  for (const auto& [arguments, message] : refusals) {
    SCOPED_TRACE(message);
    EXPECT_EQ(RunProgram(arguments), kUsageError) << errors;
    const auto document = nlohmann::json::parse(output);
    EXPECT_EQ(document["status"], "failed");
    EXPECT_TRUE(document["message"].get<std::string>().starts_with(message)) << document["message"];
    EXPECT_NE(errors.find(message), std::string::npos) << errors;
  }
  EXPECT_EQ(marketplace.Server().RequestCount(), 0u);

  // Without --json a refused command writes nothing on standard output.
  EXPECT_EQ(RunProgram({"bogus"}), kUsageError);
  EXPECT_TRUE(output.empty()) << output;
  EXPECT_EQ(errors,
            "Unknown command \"bogus\". Commands: list, find, demo; see corvalle --help.\n");

  // Every help page says what the exit statuses mean.
  for (const std::vector<std::string>& help :
       {std::vector<std::string>{"--help"}, {"find", "--help"}, {"list", "--help"}}) {
    EXPECT_EQ(RunProgram(help), 0);
    EXPECT_NE(output.find("Exit status: 0 plans found"), std::string::npos) << output;
    EXPECT_NE(output.find("2 the command line was refused."), std::string::npos) << output;
  }
}

}  // namespace
}  // namespace Corvalle::CommandLine
