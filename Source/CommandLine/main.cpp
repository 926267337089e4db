#include <CLI/CLI.hpp>
#include <iostream>

#include "ListCommand.h"
#include "Logging.h"

int main(int argc, char** argv) {
  Utilities::InitializeLogging(Utilities::Severity::warning);

  CLI::App app{"Corvalle: the cheapest ways to buy a wanted list from at most k stores"};
  app.require_subcommand(1);

  std::string wantedListPath;
  CLI::App* list = app.add_subcommand("list", "Print the items of a wanted list");
  list->add_option("WANTED_LIST", wantedListPath,
                   "Wanted list: the marketplace's wanted-list XML or a BrickStore/BrickStock "
                   "export (.bsx)")
      ->required()
      ->check(CLI::ExistingFile);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return status == 0 ? 0 : 2;
  }

  if (*list) {
    return Corvalle::CommandLine::ListWantedList(wantedListPath, std::cout, std::cerr);
  }
  return 2;
}
