#include "FindCommand.h"

#include <algorithm>
#include <ostream>
#include <thread>

#include "BrickLink/Countries.h"
#include "BrickLink/Currencies.h"
#include "CostFinder.h"
#include "Formatting.h"
#include "SQLite/SqliteWrapper.h"
#include "PlanReport.h"
#include "PreferencesManager.h"
#include "ProgressReporter.h"

namespace Corvalle::CommandLine {

namespace {

constexpr const char* kNoCombinationsFound = "No combinations found :(";

template <typename Names>
std::string JoinNames(const Names& names) {
  std::string text;
  for (const auto& name : names) {
    text += (text.empty() ? "" : ", ") + std::string(name);
  }
  return text;
}

// The preferences with what the user gave on the command line, or an error text.
std::string ApplyOptions(const FindOptions& options, Preferences& preferences) {
  if (options.storesPerCombination) {
    preferences.storesPerCombination = *options.storesPerCombination;
  }
  if (options.country) {
    try {
      BrickLink::GetCountryByName(*options.country);
    } catch (const std::invalid_argument&) {
      return "Unknown country \"" + *options.country + "\". Accepted: " + AcceptedCountries();
    }
    preferences.country = *options.country;
  }
  if (options.currency) {
    try {
      BrickLink::GetCurrencyByName(*options.currency);
    } catch (const std::invalid_argument&) {
      return "Unknown currency \"" + *options.currency + "\". Accepted: " + AcceptedCurrencies();
    }
    preferences.currency = *options.currency;
  }
  if (!options.regions.empty()) {
    for (const std::string& region : options.regions) {
      if (BrickLink::GetRegionByName(region) == BrickLink::Region::None) {
        return "Unknown region \"" + region + "\". Accepted: " + AcceptedRegions();
      }
    }
    preferences.regions = options.regions;
  }
  return {};
}

std::uint32_t DefaultThreadCount() {
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware > 1 ? hardware - 1 : 1;
}

}  // namespace

std::string AcceptedCountries() {
  std::vector<BrickLink::Country> countries = BrickLink::GetCountries();
  std::sort(countries.begin(), countries.end(), BrickLink::CompareCountriesByName);
  std::vector<std::string> names;
  for (const auto& country : countries) {
    names.emplace_back(country.name);
  }
  return JoinNames(names);
}

std::string AcceptedCurrencies() {
  std::vector<std::string> names;
  for (const auto& currency : BrickLink::GetCurrencies()) {
    names.emplace_back(currency.name);
  }
  return JoinNames(names);
}

std::string AcceptedRegions() { return JoinNames(BrickLink::GetRegionNames()); }

int RunFind(const FindOptions& options, std::ostream& output, std::ostream& errors, bool terminal) {
  Preferences preferences;
  std::unique_ptr<ICostFinder> costFinder;
  ProgressReporter reporter(errors, terminal, options.verbose);
  try {
    preferences = CreatePreferencesManager()->GetPreferences();
    if (const std::string problem = ApplyOptions(options, preferences); !problem.empty()) {
      errors << problem << '\n';
      return kUsageError;
    }
    costFinder = CreateCostFinder(
        options.wantedListPath, preferences,
        {[&reporter](const Utilities::IStatusUpdate& update) { reporter.HighLevel(update); },
         [&reporter](const Utilities::IStatusUpdate& update) { reporter.LowLevel(update); },
         [&reporter](const std::string& text) { reporter.Statistic(text); }},
        options.searchMethod);
  } catch (const std::exception& error) {
    errors << "Unable to start the search: " << error.what() << '\n';
    return kNoPlans;
  }

  costFinder->FindMinimumCostCombinations(options.threadCount.value_or(DefaultThreadCount()));
  reporter.Finish();
  if (const std::string notice = Sqlite::TakeDatabaseNotice(); !notice.empty()) {
    errors << Utilities::ShowControlCharacters(notice) << '\n';
  }

  const Plans& plans = costFinder->GetCombinationData();
  std::string message = reporter.FailureText();
  if (message.empty() && plans.empty()) {
    message = kNoCombinationsFound;
  }
  const bool succeeded = message.empty();
  if (!succeeded) {
    // Failure texts quote the list's path, its lines and the marketplace's answers.
    errors << Utilities::ShowControlCharacters(message) << '\n';
  }

  if (options.json) {
    WriteJson({succeeded, message, preferences.currency, reporter.Statistics()}, plans, output);
  } else {
    WritePlans(plans, output);
  }

  if (succeeded && !options.exportDirectory.empty()) {
    try {
      for (const std::string& path : ExportWantedLists(*plans.front(), 1, options.exportDirectory,
                                                       options.wantedListId.value_or(0))) {
        errors << "Wrote " << path << '\n';
      }
    } catch (const std::exception& error) {
      errors << "Unable to export the wanted lists: " << error.what() << '\n';
      return kNoPlans;
    }
  }
  return succeeded ? kPlansFound : kNoPlans;
}

}  // namespace Corvalle::CommandLine
