#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "BrickLink/CombinationData.h"
#include "CostFinder.h"
#include "PreferencesManager.h"

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
  std::string marketplaceHost{};  // of the stores' addresses
  std::vector<BrickStore::SkippedLine> skippedLines{};  // the wanted list's lines left out
};

// The whole outcome as one JSON document (numbers at full precision).
void WriteJson(const SearchOutcome& outcome, const Plans& plans, std::ostream& output);

}  // namespace Corvalle::CommandLine
