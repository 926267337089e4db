#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "Source/Base/CostFinder.h"

namespace Corvalle::CommandLine {

// A search as the user asked for it; what he left out comes from the saved preferences.
struct FindOptions {
  std::string wantedListPath;
  std::optional<std::uint32_t> storesPerCombination;
  std::optional<std::uint32_t> threadCount;
  std::optional<std::string> country;
  std::optional<std::string> currency;
  std::vector<std::string> regions;
  bool json = false;
  bool verbose = false;
  std::string exportDirectory;
  std::optional<std::uint32_t> wantedListId;
  std::uint32_t exportedPlan = 1;  // the rank of the plan --export writes
  SearchMethod searchMethod = SearchMethod::Bounded;
  // As typed; checked when the search starts. A list given replaces the saved one; "none"
  // empties it.
  std::optional<std::string> shippingDomestic;
  std::optional<std::string> shippingInternational;
  std::vector<std::string> excludedStores;
  std::vector<std::string> requiredStores;
  bool ignoreListLimits = false;
  // The cheapest plan of every number of stores up to k, as a table before the plans.
  bool byStores = false;
  // Search the rest of the list when items cannot be bought in the accepted regions.
  bool skipUnavailable = false;
  // Seconds the search of plans may take; then the cheapest found are shown, not proven.
  std::optional<double> timeLimit;
  // Where the marketplace is: decided by the program's edge, never read here.
  std::string marketplaceHost;
};

// Exit statuses of the program.
inline constexpr int kPlansFound = 0;
inline constexpr int kNoPlans = 1;
inline constexpr int kUsageError = 2;

// The accepted names, for --help texts and refusals.
std::string AcceptedCountries();
std::string AcceptedCurrencies();
std::string AcceptedRegions();

// Runs one search in the data directory already set and writes the plans (or JSON) to output,
// progress and errors to errors. terminal: whether errors is a terminal (progress is redrawn in
// place). Saves the settings used as the user's preferences. Returns an exit status.
int RunFind(const FindOptions& options, std::ostream& output, std::ostream& errors, bool terminal);
// The same search with the cost finder that createCostFinder makes instead of the marketplace's.
int RunFind(const FindOptions& options, std::ostream& output, std::ostream& errors, bool terminal,
            const CostFinderFactory& createCostFinder);

}  // namespace Corvalle::CommandLine
