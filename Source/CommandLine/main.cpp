#include <unistd.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "Source/Base/BrickLink/MarketplaceHost.h"
#include "Source/CommandLine/DemoCommand.h"
#include "Source/CommandLine/FindCommand.h"
#include "Source/Base/Formatting.h"
#include "Source/CommandLine/ListCommand.h"
#include "Source/Base/Logging.h"
#include "Source/CommandLine/PlanReport.h"
#include "Source/Base/SearchDefaults.h"

namespace {

using Corvalle::CommandLine::FindOptions;

// The options that find and demo share.
void AddSearchOptions(CLI::App& command, FindOptions& options) {
  command
      .add_option("--stores,-k", options.storesPerCombination,
                  "Stores per combination, 1 to " +
                      std::to_string(Corvalle::kMaximumStoresPerCombination) +
                      " (default: the saved setting, 3 at first)")
      ->check(CLI::Range(1u, Corvalle::kMaximumStoresPerCombination));
  command
      .add_option("--threads,-t", options.threadCount,
                  "Worker threads of the combination search (default: hardware threads - 1)")
      ->check(CLI::Range(1, 1024));
  command.add_option("--country", options.country,
                     "Your country, as the marketplace names it (default: the saved setting, "
                     "USA at first). Accepted: " +
                         Corvalle::CommandLine::AcceptedCountries());
  command.add_option("--currency", options.currency,
                     "Currency of the prices (default: the saved setting, US Dollar at first). "
                     "Accepted: " +
                         Corvalle::CommandLine::AcceptedCurrencies());
  command.add_option("--region", options.regions,
                     "A shipping region whose stores you accept; repeat for several (default: the "
                     "saved setting, North America at first). Accepted: " +
                         Corvalle::CommandLine::AcceptedRegions());
  command
      .add_option_function<std::string>(
          "--search",
          [&options](const std::string& name) {
            options.searchMethod = name == "exhaustive" ? Corvalle::SearchMethod::Exhaustive
                                                        : Corvalle::SearchMethod::Bounded;
          },
          "How to search (default: bounded). bounded finds the same cheapest plans as exhaustive "
          "without visiting every combination: it proves with lower bounds on cost and coverage "
          "which ones cannot be among them; with --verbose it reports its search nodes, the "
          "combinations (store sets) it priced and the k-store combinations it ruled out without "
          "pricing them. exhaustive enumerates and prices every combination of k stores and "
          "reports the valid ones; it refuses more than 2^64 combinations.")
      ->check(CLI::IsMember({"bounded", "exhaustive"}));
  command.add_flag("--json", options.json, "Write the outcome as one JSON document");
  command.add_flag("--verbose,-v", options.verbose, "Also show statistics and informational log");
  auto* exportOption = command.add_option(
      "--export", options.exportDirectory,
      "Write the cheapest plan's share of each store as wanted-list XML files into this folder");
  // An empty folder name would quietly export nothing.
  exportOption->check(
      [](const std::string& folder) {
        return folder.empty() ? std::string("the folder must not be empty") : std::string();
      },
      "FOLDER");
  command
      .add_option("--wanted-list-id", options.wantedListId,
                  "Marketplace wanted list number written into the exported XML")
      ->needs(exportOption);
  command
      .add_option("--plan", options.exportedPlan,
                  "Rank of the plan --export writes, 1 to 25 (default: 1, the cheapest)")
      ->check(CLI::Range(1, 25))
      ->needs(exportOption);
  command.add_option(
      "--shipping-domestic", options.shippingDomestic,
      "Shipping you expect to pay per store in your own country, in the search currency "
      "(default: the saved setting, 0 at first). With either shipping amount above 0, plans are "
      "ranked by lots plus the shipping of each of their stores, and may have fewer than k "
      "stores when that is cheaper. Only the bounded search takes shipping.");
  command.add_option("--shipping-international", options.shippingInternational,
                     "Shipping you expect to pay per store in any other country (default: the "
                     "saved setting, 0 at first)");
  command.add_flag("--ignore-list-limits", options.ignoreListLimits,
                   "Read the wanted list's MINQTY as the quantity to buy and accept any price: "
                   "ignore its QTYFILLED (already have) and MAXPRICE (most you will pay per "
                   "unit), which count by default");
  command.add_flag("--by-stores", options.byStores,
                   "Also find the cheapest plan of every number of stores from the fewest that "
                   "can supply the list up to the stores per combination, and show the cost by "
                   "number of stores before the plans");
  command
      .add_option("--time-limit", options.timeLimit,
                  "Seconds the search of plans may take (the downloads before it are not "
                  "counted). When they run out, the cheapest plans found so far are shown, "
                  "marked as not proven, with a bound under which no plan exists; the exit "
                  "status is 0 either way. With or without a limit, the progress on standard "
                  "error shows the cheapest plan found so far and that bound while the plans "
                  "are searched (on a terminal in its redrawn line, elsewhere as a line of its "
                  "own when they change, at most every 5 seconds)")
      ->check(CLI::PositiveNumber);
  command.add_flag("--skip-unavailable", options.skipUnavailable,
                   "When some items cannot be bought in the accepted regions, search the rest of "
                   "the list and name the items left out, instead of failing");
  command.add_option("--exclude-store", options.excludedStores,
                     "A store number never to buy from; repeat for several, or give \"none\" "
                     "to clear the list (default: the saved list, empty at first)");
  command.add_option("--require-store", options.requiredStores,
                     "A store number every plan must contain, each taking one of the k places; "
                     "repeat for several, or give \"none\" to clear the list (default: the "
                     "saved list, empty at first). Only the bounded search takes it.");
}

// Whether --json is among the arguments, before any "--" that ends the options; read by hand
// for a command line that the parser refused, which then set no flag.
bool AskedForJson(int argc, char** argv) {
  for (int index = 1; index < argc; ++index) {
    const std::string argument = argv[index];
    if (argument == "--") {
      return false;
    }
    if (argument == "--json") {
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // Named here, as CLI11 would otherwise take argv[0], the full path of the program.
  CLI::App app{"Corvalle: the cheapest ways to buy a wanted list from at most k stores",
               "corvalle"};
  app.require_subcommand(1);

  std::string listPath;
  CLI::App* list = app.add_subcommand("list", "Print the items of a wanted list");
  list->add_option("WANTED_LIST", listPath,
                   "The marketplace's wanted-list XML or a BrickStore/BrickStock export (.bsx)")
      ->required()
      ->check(CLI::ExistingFile);

  FindOptions findOptions;
  CLI::App* find = app.add_subcommand(
      "find", "Find the 25 cheapest ways to buy a wanted list on the marketplace");
  find->add_option("WANTED_LIST", findOptions.wantedListPath,
                   "The marketplace's wanted-list XML or a BrickStore/BrickStock export (.bsx)")
      ->required();
  AddSearchOptions(*find, findOptions);

  const std::filesystem::path samples =
      Corvalle::CommandLine::ShippedSamplesDirectory(CORVALLE_SAMPLES_FROM_PROGRAM);
  FindOptions demoOptions;
  demoOptions.wantedListPath = (samples / "castle-wall.xml").string();
  demoOptions.storesPerCombination = 3;
  demoOptions.country = "USA";
  demoOptions.currency = "US Dollar";
  std::string worldPath = (samples / "world.json").string();
  CLI::App* demo = app.add_subcommand(
      "demo", "Run a real search against a sample marketplace served on this machine");
  demo->add_option("--world", worldPath, "World file the local marketplace serves")
      ->check(CLI::ExistingFile)
      ->capture_default_str();
  demo->add_option("--wanted-list", demoOptions.wantedListPath, "Wanted list to search for")
      ->check(CLI::ExistingFile)
      ->capture_default_str();
  AddSearchOptions(*demo, demoOptions);

  // What a script reads from the exit status, on every help page.
  const std::string exitStatus =
      "Exit status: 0 plans found, proven the cheapest or not (list: the list was read); 1 no "
      "plan found, or a file could not be read or written; 2 the command line was refused.";
  app.footer(exitStatus);
  for (CLI::App* command : {list, find, demo}) {
    command->footer(exitStatus);
  }

  // Before CLI11, which would take an unknown command for a stray argument.
  if (argc >= 2 && argv[1][0] != '-') {
    const std::string command = argv[1];
    if (command != "list" && command != "find" && command != "demo") {
      const std::string message =
          "Unknown command \"" + command + "\". Commands: list, find, demo; see corvalle --help.";
      std::cerr << Utilities::ShowMessage(message) << '\n';
      if (AskedForJson(argc, argv)) {
        Corvalle::CommandLine::WriteFailedJson(message, std::cout);
      }
      return Corvalle::CommandLine::kUsageError;
    }
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // Refusals quote the arguments, which may hold anything a terminal would obey.
    std::ostringstream out;
    std::ostringstream err;
    const int status = app.exit(error, out, err);
    std::cout << out.str();
    std::cerr << Utilities::ShowMessage(err.str());
    if (status == 0) {
      return 0;
    }
    // A script that asked for JSON gets a document for a refused command line too.
    if (AskedForJson(argc, argv)) {
      Corvalle::CommandLine::WriteFailedJson(error.what(), std::cout);
    }
    return Corvalle::CommandLine::kUsageError;
  }

  const bool verbose = findOptions.verbose || demoOptions.verbose;
  Utilities::InitializeLogging(verbose ? Utilities::Severity::info : Utilities::Severity::warning);
  const bool terminal = isatty(STDERR_FILENO) == 1;

  if (*list) {
    return Corvalle::CommandLine::ListWantedList(listPath, std::cout, std::cerr);
  }
  if (*find) {
    findOptions.marketplaceHost = Corvalle::BrickLink::GetMarketplaceHost();
    return Corvalle::CommandLine::RunFind(findOptions, std::cout, std::cerr, terminal);
  }
  if (demoOptions.regions.empty()) {
    demoOptions.regions = {"North America", "Europe"};
  }
  return Corvalle::CommandLine::RunDemo(worldPath, demoOptions, std::cout, std::cerr, terminal);
}
