#include "FindCommand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "Formatting.h"
#include "LiveMarketplace.h"
#include "PreferencesManager.h"
#include "ProgramRunner.h"
#include "ReadFile.h"
#include "ScopedEnvironment.h"
#include "TemporaryDirectory.h"

namespace Corvalle::CommandLine {
namespace {

using Testing::ReadFile;

class FindCommandTest : public ::testing::Test {
 protected:
  FindCommandTest() : marketplace(ReadFile(std::string(CORVALLE_SAMPLES_DIR) + "/world.json")) {}

  FindOptions Options(const std::string& list = "castle-wall.xml") const {
    FindOptions options;
    options.wantedListPath = std::string(CORVALLE_SAMPLES_DIR) + "/" + list;
    options.storesPerCombination = 3;
    options.threadCount = 2;
    options.regions = {"North America", "Europe"};
    options.marketplaceHost = marketplace.Host();
    return options;
  }

  int Run(const FindOptions& options) {
    output.str("");
    errors.str("");
    return RunFind(options, output, errors, false);
  }

  Testing::LiveMarketplace marketplace;
  std::ostringstream output;
  std::ostringstream errors;
};

TEST_F(FindCommandTest, JsonDocumentOfASuccessfulSearch) {
  FindOptions options = Options("town-corner.bsx");
  options.json = true;
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  const auto document = nlohmann::json::parse(output.str());
  EXPECT_EQ(document["status"], "succeeded");
  EXPECT_EQ(document["message"], "");
  EXPECT_EQ(document["currency"], "US Dollar");
  EXPECT_GE(document["statistics"].size(), 5u);
  const auto& plans = document["plans"];
  ASSERT_FALSE(plans.empty());
  EXPECT_LE(plans.size(), 25u);
  double previous = 0.0;
  for (std::size_t index = 0; index < plans.size(); ++index) {
    EXPECT_EQ(plans[index]["rank"], index + 1);
    const double cost = plans[index]["cost"];
    EXPECT_GE(cost, previous);
    previous = cost;
    ASSERT_LE(plans[index]["stores"].size(), 3u);
    double sum = 0.0;
    for (const auto& store : plans[index]["stores"]) {
      EXPECT_NE(store["url"].get<std::string>().find("/store.asp?sID="), std::string::npos);
      for (const auto& lot : store["lots"]) {
        sum += lot["quantity"].get<double>() * lot["price"].get<double>();
        EXPECT_EQ(lot["itemType"].get<std::string>().size(), 1u);
      }
    }
    EXPECT_NEAR(sum, cost, 1e-6);
  }
}

// A line the format leaves out on purpose is named on standard error and in the JSON.
TEST_F(FindCommandTest, SkippedLinesAreNamed) {
  const Testing::TemporaryDirectory files;
  FindOptions options = Options();
  options.wantedListPath =
      files
          .WriteFile("list.xml",
                     "<INVENTORY><ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><COLOR>86"
                     "</COLOR><MINQTY>12</MINQTY></ITEM><ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3004"
                     "</ITEMID><COLOR>86</COLOR></ITEM></INVENTORY>")
          .string();
  options.json = true;
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  EXPECT_NE(errors.str().find("\nLine 2 (item 3004) skipped: no MINQTY\n"), std::string::npos)
      << errors.str();
  const auto document = nlohmann::json::parse(output.str());
  EXPECT_EQ(document["skippedLines"],
            nlohmann::json::parse(R"([{"line": 2, "itemId": "3004", "reason": "no MINQTY"}])"));
}

TEST_F(FindCommandTest, TextOutputExportAndSavedSettings) {
  const Testing::TemporaryDirectory exports;
  FindOptions options = Options();
  options.country = "Germany";
  options.currency = "Euro";
  options.exportDirectory = (exports.Path() / "lists").string();
  options.wantedListId = 12345;
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  EXPECT_EQ(output.str().rfind("Combination #1 - Total Cost: \xE2\x82\xAC", 0), 0u)
      << output.str().substr(0, 200);
  EXPECT_NE(output.str().find("Combination #2 - Total Cost: "), std::string::npos);

  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(options.exportDirectory)) {
    ++files;
    EXPECT_EQ(entry.path().filename().string().rfind("plan-1-store-", 0), 0u);
    const std::string xml = ReadFile(entry.path().string());
    EXPECT_NE(xml.find("12345"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<ITEM>"), std::string::npos) << xml;
  }
  EXPECT_GE(files, 1u);
  EXPECT_LE(files, 3u);

  // What was used is saved as the user's settings for the next search.
  const Preferences saved = CreatePreferencesManager()->GetPreferences();
  EXPECT_EQ(saved.country, "Germany");
  EXPECT_EQ(saved.currency, "Euro");
  EXPECT_EQ(saved.storesPerCombination, 3u);
  EXPECT_EQ(saved.regions, (std::vector<std::string>{"North America", "Europe"}));
}

TEST_F(FindCommandTest, ShippingStoresToAvoidAndToKeepReachTheOutputAndTheSavedSettings) {
  // By lots alone the sample's cheapest plan needs stores abroad; with 4.00 at home and 9.00
  // abroad, one store in the USA is cheaper.
  FindOptions options = Options();
  options.json = true;
  options.shippingDomestic = "4";
  options.shippingInternational = "9.00";
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  auto document = nlohmann::json::parse(output.str());
  EXPECT_EQ(document["options"]["shippingDomestic"], 4.0);
  EXPECT_EQ(document["options"]["shippingInternational"], 9.0);
  EXPECT_EQ(document["options"]["listLimits"], true);
  const auto& plans = document["plans"];
  ASSERT_FALSE(plans.empty());
  double previous = 0.0;
  for (const auto& plan : plans) {
    double shipping = 0.0;
    double lots = 0.0;
    for (const auto& store : plan["stores"]) {
      const double expected = store["countryId"] == "US" ? 4.0 : 9.0;
      EXPECT_EQ(store["shipping"].get<double>(), expected);
      shipping += expected;
      for (const auto& lot : store["lots"]) {
        lots += lot["quantity"].get<double>() * lot["price"].get<double>();
      }
    }
    EXPECT_NEAR(plan["shipping"].get<double>(), shipping, 1e-9);
    EXPECT_NEAR(plan["subtotal"].get<double>(), lots, 1e-6);
    EXPECT_NEAR(plan["cost"].get<double>(), lots + shipping, 1e-6);
    EXPECT_GE(plan["cost"].get<double>(), previous);
    previous = plan["cost"].get<double>();
  }
  const std::uint32_t cheapestStore = plans[0]["stores"][0]["id"];
  EXPECT_EQ(plans[0]["stores"].size(), 1u);

  // The shipping is saved; the text shows the parts of each total.
  options.json = false;
  options.shippingDomestic.reset();
  options.shippingInternational.reset();
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  EXPECT_NE(output.str().find(" (lots $"), std::string::npos) << output.str().substr(0, 300);
  EXPECT_NE(output.str().find("  shipping $4.00\n"), std::string::npos);
  // Each total's parts, as shown, add up to the total shown.
  const std::regex totalLine(
      R"(Total Cost: \$(\d+)\.(\d\d) \(lots \$(\d+)\.(\d\d) \+ shipping \$(\d+)\.(\d\d)\))");
  std::size_t totals = 0;
  const std::string text = output.str();
  for (std::sregex_iterator match(text.begin(), text.end(), totalLine), end; match != end;
       ++match, ++totals) {
    const auto cents = [&](int index) {
      return std::stol((*match)[index].str()) * 100 + std::stol((*match)[index + 1].str());
    };
    EXPECT_EQ(cents(1), cents(3) + cents(5)) << match->str();
  }
  EXPECT_GE(totals, 2u);

  // Avoiding that store moves the cheapest plan elsewhere; keeping another puts it in every
  // plan. Both lists are saved, and "none" clears them.
  options.json = true;
  options.excludedStores = {std::to_string(cheapestStore)};
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  document = nlohmann::json::parse(output.str());
  for (const auto& plan : document["plans"]) {
    for (const auto& store : plan["stores"]) {
      EXPECT_NE(store["id"], cheapestStore);
    }
  }
  const std::uint32_t kept = document["plans"][0]["stores"][0]["id"];
  options.excludedStores.clear();
  options.requiredStores = {std::to_string(kept)};
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  document = nlohmann::json::parse(output.str());
  for (const auto& plan : document["plans"]) {
    bool found = false;
    for (const auto& store : plan["stores"]) {
      found = found || store["id"] == kept;
    }
    EXPECT_TRUE(found) << plan.dump();
  }
  Preferences saved = CreatePreferencesManager()->GetPreferences();
  EXPECT_EQ(saved.excludedStores, std::vector<std::uint32_t>{cheapestStore});
  EXPECT_EQ(saved.requiredStores, std::vector<std::uint32_t>{kept});
  options.excludedStores = {"none"};
  options.requiredStores = {"none"};
  options.shippingDomestic = "0";
  options.shippingInternational = "0";
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  saved = CreatePreferencesManager()->GetPreferences();
  EXPECT_TRUE(saved.excludedStores.empty());
  EXPECT_TRUE(saved.requiredStores.empty());
  document = nlohmann::json::parse(output.str());
  EXPECT_FALSE(document["plans"][0].contains("shipping"));

  // Unusable values are refused before anything is searched or saved.
  options.json = false;
  for (const auto& [amount, store] : std::vector<std::pair<std::string, std::string>>{
           {"-1", "7"}, {"4,50", "7"}, {"nan", "7"}, {"2", "abc"}, {"2", "-5"}, {"2", ""},
           {"2", "0"}}) {
    SCOPED_TRACE(amount + " / " + store);
    options.shippingDomestic = amount;
    options.excludedStores = {store};
    EXPECT_EQ(Run(options), kUsageError);
    EXPECT_TRUE(output.str().empty());
    EXPECT_TRUE(errors.str().rfind("Not a shipping amount: \"" + amount + "\"", 0) == 0 ||
                errors.str().rfind("Not a store number: \"" + store + "\"", 0) == 0)
        << errors.str();
  }
  EXPECT_TRUE(CreatePreferencesManager()->GetPreferences().excludedStores.empty());
}

// Where totals are written with a decimal comma, shipping may be typed with one; a region given
// twice is taken and saved once.
TEST_F(FindCommandTest, ShippingInTheCurrencysWritingAndRegionsOnce) {
  FindOptions options = Options();
  options.json = true;
  options.currency = "Euro";
  options.regions = {"Europe", "North America", "Europe"};
  options.shippingDomestic = "4,50";
  options.shippingInternational = "-0";
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  const auto document = nlohmann::json::parse(output.str());
  EXPECT_EQ(document["options"]["shippingDomestic"], 4.5);
  EXPECT_EQ(document["options"]["regions"],
            nlohmann::json::parse(R"(["Europe", "North America"])"));
  const Preferences saved = CreatePreferencesManager()->GetPreferences();
  EXPECT_EQ(saved.regions, (std::vector<std::string>{"Europe", "North America"}));
  EXPECT_EQ(saved.shippingDomestic, 4.5);
  EXPECT_FALSE(std::signbit(saved.shippingInternational));

  options.shippingDomestic = "1.004,50";
  EXPECT_EQ(Run(options), kUsageError);
  EXPECT_EQ(errors.str(), "Not a shipping amount: \"1.004,50\". Give a number from 0 to " +
                              Utilities::FormatCount(1000000) + ", such as 4,50 or 4.50.\n");
}

// A search whose own settings cannot make a plan keeps none of them; a saved setting that
// cannot is named with the way to clear it, in the text and in the JSON.
TEST_F(FindCommandTest, RefusedSettingsAreNotSavedAndSavedOnesAreNamed) {
  FindOptions options = Options();
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  const Preferences before = CreatePreferencesManager()->GetPreferences();

  options.requiredStores = {"424242"};
  options.country = "Canada";
  options.shippingDomestic = "3";
  EXPECT_EQ(Run(options), kNoPlans);
  EXPECT_NE(errors.str().find("Store 424242, which is to be kept in every plan, sells nothing on "
                              "the wanted list"),
            std::string::npos)
      << errors.str();
  EXPECT_EQ(errors.str().find("saved setting"), std::string::npos) << errors.str();
  Preferences saved = CreatePreferencesManager()->GetPreferences();
  EXPECT_TRUE(saved.requiredStores.empty());
  EXPECT_EQ(saved.country, before.country);
  EXPECT_EQ(saved.shippingDomestic, 0.0);
  // The next plain search is not blocked by them.
  ASSERT_EQ(Run(Options()), kPlansFound) << errors.str();

  struct Case {
    const char* what;
    Preferences saved;
    SearchMethod method;
    std::string hint;
  };
  Preferences keep = before;
  keep.requiredStores = {424242};
  Preferences shipping = before;
  shipping.shippingDomestic = 4.0;
  Preferences both = before;
  both.requiredStores = {7};
  both.excludedStores = {7};
  const Case cases[] = {
      {"a store to keep", keep, SearchMethod::Bounded,
       "\nThe stores to keep are a saved setting: clear them with --require-store none.\n"},
      {"shipping, exhaustively", shipping, SearchMethod::Exhaustive,
       "\nThe shipping amounts are saved settings: clear them with --shipping-domestic 0 "
       "--shipping-international 0.\n"},
      {"one store on both lists", both, SearchMethod::Bounded,
       "\nThe stores to avoid are a saved setting: clear them with --exclude-store none.\nThe "
       "stores to keep are a saved setting: clear them with --require-store none.\n"},
  };
  for (const Case& example : cases) {
    SCOPED_TRACE(example.what);
    CreatePreferencesManager()->SetPreferences(example.saved);
    options = Options();
    options.regions.clear();
    options.searchMethod = example.method;
    options.json = true;
    EXPECT_EQ(Run(options), kNoPlans);
    const std::string text = errors.str();
    EXPECT_EQ(text.substr(text.size() - std::min(text.size(), example.hint.size())), example.hint)
        << text;
    const auto document = nlohmann::json::parse(output.str());
    EXPECT_EQ(document["status"], "failed");
    const std::string message = document["message"].get<std::string>() + "\n";
    EXPECT_EQ(message.substr(message.size() - std::min(message.size(), example.hint.size())),
              example.hint);
    // Cleared on the command line, the same search goes on.
    if (example.method == SearchMethod::Bounded) {
      options.requiredStores = {"none"};
      options.excludedStores = {"none"};
      EXPECT_EQ(Run(options), kPlansFound) << errors.str();
      EXPECT_TRUE(CreatePreferencesManager()->GetPreferences().requiredStores.empty());
    }
  }
}

TEST_F(FindCommandTest, ExportWritesThePlanOfTheRankAsked) {
  const Testing::TemporaryDirectory exports;
  FindOptions options = Options();
  options.exportDirectory = (exports.Path() / "second").string();
  options.exportedPlan = 2;
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(options.exportDirectory)) {
    ++files;
    EXPECT_EQ(entry.path().filename().string().rfind("plan-2-store-", 0), 0u);
  }
  EXPECT_GE(files, 1u);

  // A rank beyond the plans found writes nothing and says so.
  options.exportDirectory = (exports.Path() / "none").string();
  options.exportedPlan = 25;
  options.wantedListPath = marketplace.Directory()
                               .WriteFile("one.xml",
                                          "<INVENTORY><ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001"
                                          "</ITEMID><COLOR>86</COLOR><MINQTY>1</MINQTY>"
                                          "<CONDITION>N</CONDITION></ITEM></INVENTORY>")
                               .string();
  options.storesPerCombination = 1;
  // The sample world has fewer than 25 stores selling it.
  EXPECT_EQ(Run(options), kNoPlans);
  EXPECT_NE(errors.str().find("Unable to export plan 25: the search found "), std::string::npos)
      << errors.str();
  EXPECT_FALSE(std::filesystem::exists(options.exportDirectory));
}

// A search out of time shows what it found, says it is not proven and how far from the best it
// can be, and still exits 0; its bound is below the best plan a whole search finds.
TEST_F(FindCommandTest, ASearchOutOfTimeSaysWhatItProved) {
  FindOptions options = Options();
  options.storesPerCombination = 8;
  options.json = true;
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  const auto proven = nlohmann::json::parse(output.str());
  EXPECT_EQ(proven["proven"], true);
  EXPECT_FALSE(proven.contains("lowerBound"));
  const double best = proven["plans"][0]["cost"];

  options.timeLimit = 1e-6;
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  const auto stopped = nlohmann::json::parse(output.str());
  EXPECT_EQ(stopped["status"], "succeeded");
  EXPECT_EQ(stopped["proven"], false);
  const double bound = stopped["lowerBound"];
  ASSERT_FALSE(stopped["plans"].empty());
  EXPECT_GT(bound, 0.0);
  EXPECT_LE(bound, best + 1e-9);
  EXPECT_GE(stopped["plans"][0]["cost"].get<double>(), best - 1e-9);

  options.json = false;
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  const std::regex notice(R"(^Stopped after 0 s: not proven\. The cheapest plan found costs )"
                          R"(\$\d+\.\d\d; no plan costs less than \$\d+\.\d\d \(\$\d+\.\d\d is )"
                          R"(at most \d+(\.\d)? % above the best possible\)\.\n\nCombination #1)");
  EXPECT_TRUE(std::regex_search(output.str(), notice)) << output.str().substr(0, 300);
}

TEST_F(FindCommandTest, BothSearchesPrintTheSamePlans) {
  FindOptions options = Options("space-shuttle.xml");
  options.storesPerCombination = 4;
  options.json = true;
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  const auto bounded = nlohmann::json::parse(output.str());
  options.searchMethod = SearchMethod::Exhaustive;
  ASSERT_EQ(Run(options), kPlansFound) << errors.str();
  const auto exhaustive = nlohmann::json::parse(output.str());

  EXPECT_EQ(bounded["plans"], exhaustive["plans"]);
  EXPECT_EQ(bounded["plans"].size(), 25u);
  const auto hasLine = [](const nlohmann::json& document, const std::string& prefix) {
    for (const auto& line : document["statistics"]) {
      if (line.get<std::string>().rfind(prefix, 0) == 0) {
        return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(hasLine(bounded, "Combinations ruled out by bounds: "));
  EXPECT_FALSE(hasLine(bounded, "Valid combinations: "));
  EXPECT_TRUE(hasLine(exhaustive, "Valid combinations: "));
  EXPECT_FALSE(hasLine(exhaustive, "Search nodes: "));
}

TEST_F(FindCommandTest, RefusalsAndFailures) {
  FindOptions options = Options();
  options.country = "United States";
  EXPECT_EQ(Run(options), kUsageError);
  EXPECT_NE(errors.str().find("Unknown country \"United States\". Accepted: Argentina, Australia"),
            std::string::npos)
      << errors.str();
  options = Options();
  options.currency = "Dollar";
  EXPECT_EQ(Run(options), kUsageError);
  EXPECT_NE(errors.str().find("US Dollar"), std::string::npos);
  options = Options();
  options.regions = {"Europe", "Atlantis"};
  EXPECT_EQ(Run(options), kUsageError);
  EXPECT_NE(errors.str().find("Unknown region \"Atlantis\""), std::string::npos);

  const Testing::TemporaryDirectory files;
  options = Options();
  options.wantedListPath = files.WriteFile("broken.xml", "<INVENTORY><ITEM>").string();
  options.json = true;
  EXPECT_EQ(Run(options), kNoPlans);
  // The stages went by as plain lines; the failure text ends the output.
  const std::string failure = "\nUnable to read items from file :(\n";
  EXPECT_EQ(errors.str().substr(errors.str().size() - failure.size()), failure) << errors.str();
  EXPECT_EQ(errors.str().rfind("Retrieving color data...\n", 0), 0u);
  const auto document = nlohmann::json::parse(output.str());
  EXPECT_EQ(document["status"], "failed");
  EXPECT_EQ(document["message"], "Unable to read items from file :(");
  EXPECT_TRUE(document["plans"].empty());
  EXPECT_TRUE(document["skippedLines"].empty());

  // Only Asia accepted: nothing of the sample world lies there.
  options = Options();
  options.regions = {"Asia"};
  EXPECT_EQ(Run(options), kNoPlans);
  EXPECT_NE(errors.str().find("No possible combinations."), std::string::npos) << errors.str();
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
  explicit FindProgramTest(const std::string& world = kWorldWithAStoreNowhere)
      : marketplace(world), cache("XDG_CACHE_HOME", marketplace.Directory().Path().c_str()) {}

  // Starts the program with its two streams going to files named after name; -1 when it could
  // not be started.
  pid_t StartProgram(std::vector<std::string> arguments, const std::string& name) {
    return runner.Start(std::move(arguments), name);
  }

  // Waits for a started program and reads its streams into output and errors; the exit status,
  // or -1 when it did not exit normally.
  int WaitForProgram(pid_t pid, const std::string& name) {
    if (pid == -1) {
      return -1;
    }
    const int status = Testing::ProgramRunner::Wait(pid);
    output = runner.Output(name);
    errors = runner.Errors(name);
    return status;
  }

  // The exit status, or -1 when the program could not be started or did not exit normally.
  int RunProgram(std::vector<std::string> arguments) {
    return WaitForProgram(StartProgram(std::move(arguments), "run"), "run");
  }

  Testing::LiveMarketplace marketplace;
  Testing::ScopedEnvironment cache;
  Testing::TemporaryDirectory files;
  Testing::ProgramRunner runner{CORVALLE_PROGRAM, files.Path()};
  std::string output;
  std::string errors;
};

// Two searches started together on one cache, as from two terminals or the window and the
// command line: their caches' writes meet.
class SharedCacheProgramTest : public FindProgramTest {
 protected:
  SharedCacheProgramTest()
      : FindProgramTest(ReadFile(std::string(CORVALLE_SAMPLES_DIR) + "/world.json")) {}
};

TEST_F(SharedCacheProgramTest, TwoSearchesAtOnceBothFindTheSamePlans) {
  const std::string list = std::string(CORVALLE_SAMPLES_DIR) + "/castle-wall.xml";
  const std::vector<std::string> arguments = {"find",      list,    "--stores", "2",
                                              "--threads", "1",     "--region", "North America",
                                              "--region",  "Europe"};
  const pid_t first = StartProgram(arguments, "first");
  const pid_t second = StartProgram(arguments, "second");
  ASSERT_EQ(WaitForProgram(first, "first"), kPlansFound) << errors;
  const std::string firstPlans = output;
  ASSERT_EQ(WaitForProgram(second, "second"), kPlansFound) << errors;
  EXPECT_EQ(output, firstPlans);
  EXPECT_EQ(errors.find("UNIQUE constraint"), std::string::npos) << errors;
  EXPECT_EQ(output.find("[Error retrieving color name]"), std::string::npos);
  EXPECT_EQ(firstPlans.find("[Error retrieving color name]"), std::string::npos);
  // And a search after them, from the caches they filled, finds the same.
  ASSERT_EQ(RunProgram(arguments), kPlansFound) << errors;
  EXPECT_EQ(output, firstPlans);
}

// Alpha sells the red brick as 2 at 0.10 and 30 at 0.60, and the other brick; Beta sells the
// red brick as 14 at 0.30. Four red bricks and one other cost 1.80, lot by lot.
class LotPricesProgramTest : public FindProgramTest {
 protected:
  LotPricesProgramTest()
      : FindProgramTest(R"({
          "stores": [{"id": 1085, "name": "Alpha", "countryId": "US"},
                     {"id": 2090, "name": "Beta", "countryId": "US"}],
          "priceGuides": [
            {"type": "P", "id": "3001", "color": 5,
             "new": [{"store": 1085, "quantity": 2, "price": 0.10},
                     {"store": 1085, "quantity": 30, "price": 0.60},
                     {"store": 2090, "quantity": 14, "price": 0.30}], "used": []},
            {"type": "P", "id": "3010", "color": 5,
             "new": [{"store": 1085, "quantity": 10, "price": 1.00}], "used": []}]})") {}

  // Four of the red brick and one of the other, both new.
  std::filesystem::path WriteWantedList() {
    return files.WriteFile(
        "wanted.xml",
        "<INVENTORY><ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><COLOR>5</COLOR>"
        "<MINQTY>4</MINQTY><CONDITION>N</CONDITION></ITEM>"
        "<ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3010</ITEMID><COLOR>5</COLOR>"
        "<MINQTY>1</MINQTY><CONDITION>N</CONDITION></ITEM></INVENTORY>");
  }
};

TEST_F(LotPricesProgramTest, EveryLotCountsAtItsOwnPrice) {
  const auto list = WriteWantedList();
  for (const std::string search : {"bounded", "exhaustive"}) {
    SCOPED_TRACE(search);
    ASSERT_EQ(RunProgram({"find", list.string(), "--stores", "2", "--threads", "2", "--region",
                          "North America", "--search", search, "--export",
                          (files.Path() / search).string()}),
              kPlansFound)
        << errors;
    const std::regex first(R"(Combination #1 - Total Cost: \$1\.80\n)"
                           R"(  Alpha \(USA\)  \S+\n)"
                           R"( +2 x \$0\.1000 +New +3001 .*\n)"
                           R"( +1 x \$1\.0000 +New +3010 .*\n)"
                           R"(  Beta \(USA\)  \S+\n)"
                           R"( +2 x \$0\.3000 +New +3001 .*\n\n)");
    EXPECT_TRUE(std::regex_search(output, first)) << output;
    // Alpha's list asks for no dearer units than the plan takes there.
    const std::string alpha = ReadFile(files.Path() / search / "plan-1-store-1085.xml");
    EXPECT_NE(alpha.find("<ITEMID>3001</ITEMID>\n  <ITEMTYPE>P</ITEMTYPE>\n  <COLOR>5</COLOR>\n"
                         "  <MINQTY>2</MINQTY>\n  <MAXPRICE>0.1000</MAXPRICE>\n"
                         "  <CONDITION>N</CONDITION>\n"),
              std::string::npos)
        << alpha;
  }
}

TEST_F(FindProgramTest, AnEmptyExportFolderIsRefused) {
  EXPECT_EQ(RunProgram({"find", "wanted.xml", "--export", ""}), kUsageError);
  EXPECT_NE(errors.find("--export: the folder must not be empty"), std::string::npos) << errors;
  EXPECT_TRUE(output.empty()) << output;
}

TEST_F(FindProgramTest, LogRecordsGoToStandardErrorAndTheJsonStaysWhole) {
  // Colours that cannot be had and a store nowhere: an error record and a warning record.
  marketplace.Server().SetFault("catalogColors", Marketplace::Fault::Status(404));
  const auto list = files.WriteFile(
      "wanted.xml",
      "<INVENTORY><ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><COLOR>11</COLOR>"
      "<MINQTY>5</MINQTY><CONDITION>N</CONDITION></ITEM></INVENTORY>");

  ASSERT_EQ(RunProgram({"find", list.string(), "--json", "--stores", "2", "--threads", "1",
                        "--region", "North America"}),
            kPlansFound)
      << errors;
  const auto document = nlohmann::json::parse(output);
  EXPECT_EQ(document["status"], "succeeded");
  ASSERT_FALSE(document["plans"].empty());
  EXPECT_DOUBLE_EQ(document["plans"][0]["cost"].get<double>(), 5.0);

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
}

// A store's name that arrives with an override character (raw or as a character reference)
// and a byte that is not UTF-8, and a file name with an escape sequence: none reaches either
// stream raw, and the JSON still holds the name as the page gave it.
TEST_F(FindProgramTest, OutsideTextReachesNoStreamRaw) {
  marketplace.Server().SetFault("store\\.asp\\?sID=1$",
                                Marketplace::Fault::Rewrite("Store 1", "Store &#x202E;1\xFF"));
  marketplace.Server().SetFault("store\\.asp\\?sID=2$",
                                Marketplace::Fault::Rewrite("Store 2",
                                                            "Store \xE2\x81\xA6"
                                                            "2"));
  const auto list = files.WriteFile(
      "wanted.xml",
      "<INVENTORY><ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><COLOR>11</COLOR>"
      "<MINQTY>15</MINQTY><CONDITION>N</CONDITION></ITEM></INVENTORY>");
  const auto raw = [](const std::string& text) {
    for (const char* hidden : {"\xE2\x80\xAE", "\xE2\x81\xA6", "\xFF", "\x1B"}) {
      if (text.find(hidden) != std::string::npos) {
        return true;
      }
    }
    return false;
  };
  const std::vector<std::string> search = {"find",      list.string(), "--stores", "2",
                                           "--threads", "1",           "--region", "North America"};
  ASSERT_EQ(RunProgram(search), kPlansFound) << errors;
  EXPECT_NE(output.find("  Store \xEF\xBF\xBD"
                        "1\xEF\xBF\xBD (USA)"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("  Store \xEF\xBF\xBD"
                        "2 (Canada)"),
            std::string::npos)
      << output;
  EXPECT_FALSE(raw(output) || raw(errors)) << output << errors;

  std::vector<std::string> json = search;
  json.push_back("--json");
  ASSERT_EQ(RunProgram(json), kPlansFound) << errors;
  EXPECT_FALSE(raw(output) || raw(errors)) << output << errors;
  const auto document = nlohmann::json::parse(output);
  std::vector<std::string> names;
  for (const auto& store : document["plans"][0]["stores"]) {
    names.push_back(store["name"]);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Store \xE2\x80\xAE"
                                             "1\xEF\xBF\xBD",
                                             "Store \xE2\x81\xA6"
                                             "2"}));

  // A file name echoed in a refusal, by the command line's own checks and by the search.
  const std::string hostile = (files.Path() / "\x1B]0;owned\x07\xE2\x80\xAElist.xml").string();
  EXPECT_EQ(RunProgram({"list", hostile}), kUsageError);
  EXPECT_NE(errors.find("\xEF\xBF\xBD]0;owned\xEF\xBF\xBD\xEF\xBF\xBDlist.xml"), std::string::npos)
      << errors;
  EXPECT_FALSE(raw(output) || raw(errors)) << errors;
  EXPECT_EQ(RunProgram({"find", hostile, "--export", hostile}), kNoPlans);
  EXPECT_FALSE(raw(output) || raw(errors)) << errors;
}

// The files of an export replace links at their names instead of writing through them.
TEST_F(LotPricesProgramTest, ExportReplacesLinksAndRefusesAFileForItsFolder) {
  const auto list = WriteWantedList();
  const auto victim = files.WriteFile("victim.txt", "precious");
  const auto out = files.Path() / "out";
  std::filesystem::create_directories(out);
  std::filesystem::create_symlink(victim, out / "plan-1-store-1085.xml");
  ASSERT_EQ(RunProgram({"find", list.string(), "--stores", "2", "--region", "North America",
                        "--export", out.string()}),
            kPlansFound)
      << errors;
  EXPECT_EQ(ReadFile(victim), "precious");
  EXPECT_FALSE(std::filesystem::is_symlink(out / "plan-1-store-1085.xml"));
  const std::string alpha = ReadFile(out / "plan-1-store-1085.xml");
  EXPECT_EQ(alpha.substr(alpha.size() - 13), "</INVENTORY>\n") << alpha;

  EXPECT_EQ(RunProgram({"find", list.string(), "--stores", "2", "--region", "North America",
                        "--export", victim.string()}),
            kNoPlans);
  EXPECT_NE(
      errors.find("Unable to export the wanted lists: " + victim.string() + " is not a folder\n"),
      std::string::npos)
      << errors;
  EXPECT_EQ(ReadFile(victim), "precious");
}

// A store to keep that sells the part and does not ship it to the buyer is named for that, by
// the page and by the cache that kept it alike.
TEST_F(FindProgramTest, AStoreToKeepThatDoesNotShipToTheBuyerIsNamedForIt) {
  const auto list = files.WriteFile(
      "wanted.xml",
      "<INVENTORY><ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><COLOR>11</COLOR>"
      "<MINQTY>5</MINQTY><CONDITION>N</CONDITION></ITEM></INVENTORY>");
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

// The exit status, standard error and the JSON tell one story, whatever ends the command.
TEST_F(FindProgramTest, EveryEndHasItsStatusAndItsJson) {
  const auto list = files.WriteFile(
      "wanted.xml",
      "<INVENTORY><ITEM><ITEMTYPE>P</ITEMTYPE><ITEMID>3001</ITEMID><COLOR>11</COLOR>"
      "<MINQTY>5</MINQTY><CONDITION>N</CONDITION></ITEM></INVENTORY>");
  const std::string missing = (files.Path() / "missing.xml").string();
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string message;  // the start of the JSON's message and of a line of standard error
  };
  const Case cases[] = {
      {{"find", missing, "--json"},
       kNoPlans,
       "Unable to read the wanted list \"" + missing + "\": No such file or directory."},
      {{"find", files.Path().string(), "--json"},
       kNoPlans,
       "Unable to read the wanted list \"" + files.Path().string() + "\": it is not a file."},
      {{"find", list.string(), "--json", "--stores", "99"}, kUsageError, "--stores: Value 99"},
      {{"find", list.string(), "--json", "--country", "Narnia"},
       kUsageError,
       "Unknown country \"Narnia\""},
      {{"bogus", "--json"},
       kUsageError,
       "Unknown command \"bogus\". Commands: list, find, demo; see corvalle --help."},
      // One store alone is the only plan left after pruning: no fifth plan to export.
      {{"find", list.string(), "--json", "--stores", "1", "--region", "North America", "--export",
        (files.Path() / "out").string(), "--plan", "5"},
       kNoPlans,
       "Unable to export plan 5: the search found 1 plan."},
      {{"find", list.string(), "--json", "--stores", "1", "--region", "North America"},
       kPlansFound,
       ""},
  };
  for (const Case& example : cases) {
    SCOPED_TRACE(example.arguments.front() + " " + example.arguments[1]);
    marketplace.Server().ClearRequestLog();
    EXPECT_EQ(RunProgram(example.arguments), example.status) << errors;
    const auto document = nlohmann::json::parse(output);
    EXPECT_EQ(document["status"], example.status == kPlansFound ? "succeeded" : "failed");
    EXPECT_EQ(document["message"].get<std::string>().rfind(example.message, 0), 0u)
        << document["message"];
    if (!example.message.empty()) {
      EXPECT_NE(errors.find(example.message), std::string::npos) << errors;
    }
    // Nothing is asked of the marketplace for a command that cannot run.
    if (example.status == kUsageError || example.arguments[1] == missing) {
      EXPECT_EQ(marketplace.Server().RequestCount(), 0u);
    }
  }
  EXPECT_FALSE(std::filesystem::exists(files.Path() / "out"));

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
