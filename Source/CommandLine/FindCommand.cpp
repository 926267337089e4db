#include "FindCommand.h"

#include <algorithm>
#include <ostream>
#include <utility>

#include "BrickLink/Countries.h"
#include "BrickLink/Currencies.h"
#include "CostFinder.h"
#include "Formatting.h"
#include "PlanExport.h"
#include "PlanReport.h"
#include "PreferencesManager.h"
#include "ProgressReporter.h"
#include "SQLite/SqliteWrapper.h"
#include "SearchDefaults.h"

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
    if (BrickLink::FindCountryByName(*options.country) == nullptr) {
      return "Unknown country \"" + *options.country + "\". Accepted: " + AcceptedCountries();
    }
    preferences.country = *options.country;
  }
  if (options.currency) {
    if (BrickLink::FindCurrencyByName(*options.currency) == nullptr) {
      return "Unknown currency \"" + *options.currency + "\". Accepted: " + AcceptedCurrencies();
    }
    preferences.currency = *options.currency;
  }
  if (!options.regions.empty()) {
    preferences.regions.clear();
    for (const std::string& region : options.regions) {
      if (BrickLink::GetRegionByName(region) == BrickLink::Region::None) {
        return "Unknown region \"" + region + "\". Accepted: " + AcceptedRegions();
      }
      // A region given twice is accepted once.
      if (std::find(preferences.regions.begin(), preferences.regions.end(), region) ==
          preferences.regions.end()) {
        preferences.regions.push_back(region);
      }
    }
  }
  // Amounts may be typed as the totals show them: "4,50" where they read "6,01".
  const BrickLink::Currency* currency = BrickLink::FindCurrencyByName(preferences.currency);
  const char decimalSeparator = currency == nullptr ? '.' : currency->decimalSeparator;
  const std::pair<const std::optional<std::string>&, double&> amounts[] = {
      {options.shippingDomestic, preferences.shippingDomestic},
      {options.shippingInternational, preferences.shippingInternational}};
  for (const auto& [typed, amount] : amounts) {
    if (typed) {
      const std::optional<double> parsed = ParseShippingAmount(*typed, decimalSeparator);
      if (!parsed) {
        return "Not a shipping amount: \"" + *typed + "\". Give a number from 0 to " +
               Utilities::FormatCount(static_cast<std::uint64_t>(kMostShipping)) + ", such as 4" +
               (decimalSeparator == '.' ? "" : std::string(1, decimalSeparator) + "50 or 4") +
               ".50.";
      }
      amount = *parsed;
    }
  }
  const std::pair<const std::vector<std::string>&, std::vector<std::uint32_t>&> lists[] = {
      {options.excludedStores, preferences.excludedStores},
      {options.requiredStores, preferences.requiredStores}};
  for (const auto& [typed, stores] : lists) {
    if (typed.empty()) {
      continue;
    }
    stores.clear();
    for (const std::string& text : typed) {
      if (text == "none") {
        continue;
      }
      const std::optional<std::uint32_t> id = Utilities::ParseDecimalNumber(text);
      if (!id) {
        return "Not a store number: \"" + text +
               "\". Give the number of the store's page "
               "address (store.asp?sID=NUMBER), or none.";
      }
      if (std::find(stores.begin(), stores.end(), *id) == stores.end()) {
        stores.push_back(*id);
      }
    }
  }
  return {};
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
      // Refusals quote what was typed.
      errors << Utilities::ShowControlCharacters(problem) << '\n';
      return kUsageError;
    }
    costFinder = CreateCostFinder(
        options.wantedListPath, preferences, options.marketplaceHost,
        {[&reporter](const Utilities::IStatusUpdate& update) { reporter.HighLevel(update); },
         [&reporter](const Utilities::IStatusUpdate& update) { reporter.LowLevel(update); },
         [&reporter](const std::string& text) { reporter.Statistic(text); }},
        options.searchMethod, options.ignoreListLimits ? ListLimits::Ignore : ListLimits::Apply,
        SearchExtras{options.byStores, options.skipUnavailable});
  } catch (const std::exception& error) {
    errors << "Unable to start the search: " << Utilities::ShowMessage(error.what()) << '\n';
    return kNoPlans;
  }

  costFinder->FindMinimumCostCombinations(options.threadCount.value_or(DefaultThreadCount()));
  reporter.Finish();
  for (const BrickStore::SkippedLine& skipped : costFinder->SkippedLines()) {
    errors << Utilities::ShowControlCharacters(BrickStore::DescribeSkippedLine(skipped)) << '\n';
  }
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
    errors << Utilities::ShowMessage(message) << '\n';
  }

  static const std::vector<LeftOutItem> kNoneLeftOut;
  const SearchReport report{
      plans, costFinder->GetStoreCountCosts(),
      options.skipUnavailable ? costFinder->GetUnavailableItems() : kNoneLeftOut};
  if (options.json) {
    WriteJson(
        {succeeded, message, preferences.currency, reporter.Statistics(), preferences,
         options.searchMethod, options.ignoreListLimits ? ListLimits::Ignore : ListLimits::Apply,
         options.marketplaceHost, costFinder->SkippedLines()},
        report, output);
  } else {
    WriteLeftOut(report.leftOut, output);
    WriteStoreCountCosts(report.byStores, preferences.storesPerCombination, output);
    WritePlans(plans, options.marketplaceHost, output);
  }

  if (succeeded && !options.exportDirectory.empty()) {
    if (options.exportedPlan > plans.size()) {
      errors << "Unable to export plan " << options.exportedPlan << ": the search found "
             << plans.size() << (plans.size() == 1 ? " plan" : " plans") << ".\n";
      return kNoPlans;
    }
    try {
      for (const std::string& path :
           ExportWantedLists(*plans[options.exportedPlan - 1], options.exportedPlan,
                             options.exportDirectory, options.wantedListId.value_or(0))) {
        errors << "Wrote " << Utilities::ShowControlCharacters(path) << '\n';
      }
    } catch (const std::exception& error) {
      errors << "Unable to export the wanted lists: " << Utilities::ShowMessage(error.what())
             << '\n';
      return kNoPlans;
    }
  }
  return succeeded ? kPlansFound : kNoPlans;
}

}  // namespace Corvalle::CommandLine
