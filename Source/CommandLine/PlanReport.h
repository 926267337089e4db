#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/CombinationData.h"
#include "Source/Base/CostFinder.h"
#include "Source/Base/PreferencesManager.h"

namespace Corvalle::CommandLine {

using Plans = std::vector<std::unique_ptr<BrickLink::ICombinationData>>;

// The plans as text, cheapest first: rank and total cost (with shipping charged, also the lots'
// subtotal and the shipping), then per store its name, country, page address and any shipping,
// then its lines (quantity, unit price, condition, item id, colour, item name). Prices are
// written in the saved currency.
void WritePlans(const Plans& plans, const std::string& marketplaceHost, std::ostream& output);

struct SearchOutcome {
  bool succeeded;
  std::string message;   // the failure text, or "No combinations found :(", or empty
  std::string currency;  // the currency name the prices are in
  std::vector<std::string> statistics;
  Preferences settings{};  // what the search ran with, echoed
  SearchMethod searchMethod = SearchMethod::Bounded;
  ListLimits listLimits = ListLimits::Apply;
  std::string marketplaceHost{};                        // of the stores' addresses
  std::vector<BrickStore::SkippedLine> skippedLines{};  // the wanted list's lines left out
};

// What a search found: its plans, the cheapest plan of each number of stores when asked for,
// and the items it left out.
struct SearchReport {
  const Plans& plans;
  const std::vector<StoreCountCost>& byStores;
  const std::vector<LeftOutItem>& leftOut;
  SearchProof proof{};
};

// For a search its time limit stopped: how long it ran, the cheapest plan found and the bound
// under which no plan exists. Nothing for a proven search.
void WriteProof(const SearchProof& proof, const BrickLink::ICombinationData& cheapest,
                std::ostream& output);

// The cost by number of stores as a small table: for each number, the cheapest plan's total
// (with shipping, its lots and shipping), what it saves over one store fewer and whether it is
// proven; the row of k is marked. Nothing without rows.
void WriteStoreCountCosts(const std::vector<StoreCountCost>& byStores, std::uint32_t k,
                          std::ostream& output);
// The items left out of the search, each with its reason; nothing when none was.
void WriteLeftOut(const std::vector<LeftOutItem>& leftOut, std::ostream& output);

// The whole outcome as one JSON document (numbers at full precision).
void WriteJson(const SearchOutcome& outcome, const SearchReport& report, std::ostream& output);
// The JSON document of a command that failed before it could search (a refused command line,
// a list that cannot be opened, a database that cannot be read): status "failed", the message
// and no plans.
void WriteFailedJson(const std::string& message, std::ostream& output);

}  // namespace Corvalle::CommandLine
