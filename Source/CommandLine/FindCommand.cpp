#include "Source/CommandLine/FindCommand.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <utility>

#include "Source/Base/BrickLink/Countries.h"
#include "Source/Base/BrickLink/Currencies.h"
#include "Source/Base/BrickLink/StoreInformation.h"
#include "Source/Base/CostFinder.h"
#include "Source/Base/Formatting.h"
#include "Source/Base/PlanExport.h"
#include "Source/CommandLine/PlanReport.h"
#include "Source/Base/PreferencesManager.h"
#include "Source/CommandLine/ProgressReporter.h"
#include "Source/Base/SQLite/SqliteWrapper.h"
#include "Source/Base/SearchDefaults.h"

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
      const std::optional<std::uint32_t> id = BrickLink::ParseStoreNumber(text);
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

// Why the wanted list cannot be read, or empty when it can be opened.
std::string CheckWantedListFile(const std::string& path) {
  const std::string quoted = "Unable to read the wanted list \"" + path + "\": ";
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) {
    return quoted + error.message() + ".";
  }
  if (!std::filesystem::is_regular_file(status)) {
    return quoted + "it is not a file.";
  }
  if (!std::ifstream(path, std::ios::binary)) {
    return quoted + std::strerror(errno) + ".";
  }
  return {};
}

// For each refused setting that the search took from the saved settings rather than from its
// own options, the line that names it and how to clear it; empty when none was saved.
std::string SavedSettingsHint(const FindOptions& options,
                              const std::vector<RefusedSetting>& refused) {
  std::string hint;
  const auto named = [&](RefusedSetting setting) {
    return std::find(refused.begin(), refused.end(), setting) != refused.end();
  };
  if (named(RefusedSetting::Shipping) && !options.shippingDomestic &&
      !options.shippingInternational) {
    hint +=
        "\nThe shipping amounts are saved settings: clear them with --shipping-domestic 0 "
        "--shipping-international 0.";
  }
  if (named(RefusedSetting::ExcludedStores) && options.excludedStores.empty()) {
    hint += "\nThe stores to avoid are a saved setting: clear them with --exclude-store none.";
  }
  if (named(RefusedSetting::RequiredStores) && options.requiredStores.empty()) {
    hint += "\nThe stores to keep are a saved setting: clear them with --require-store none.";
  }
  return hint;
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
  return RunFind(options, output, errors, terminal, CreateCostFinder);
}

int RunFind(const FindOptions& options, std::ostream& output, std::ostream& errors, bool terminal,
            const CostFinderFactory& createCostFinder) {
  // A search that ends before it starts says so on both streams, as one that ran does.
  const auto fail = [&](int status, const std::string& message) {
    errors << Utilities::ShowMessage(message) << '\n';
    if (options.json) {
      WriteFailedJson(message, output);
    }
    return status;
  };
  Preferences preferences;
  try {
    preferences = CreatePreferencesManager()->GetPreferences();
  } catch (const std::exception& error) {
    return fail(kNoPlans, std::string("Unable to start the search: ") + error.what());
  }
  if (const std::string problem = ApplyOptions(options, preferences); !problem.empty()) {
    return fail(kUsageError, problem);
  }
  // A list that cannot be opened is known before the marketplace is asked for anything.
  if (const std::string problem = CheckWantedListFile(options.wantedListPath); !problem.empty()) {
    return fail(kNoPlans, problem);
  }

  std::unique_ptr<ICostFinder> costFinder;
  ProgressReporter reporter(errors, terminal, options.verbose);
  const ListLimits listLimits = options.ignoreListLimits ? ListLimits::Ignore : ListLimits::Apply;
  SearchOptions searchOptions{options.searchMethod, preferences.shippingDomestic,
                              preferences.shippingInternational, preferences.excludedStores,
                              preferences.requiredStores, listLimits, options.marketplaceHost,
                              options.byStores, options.skipUnavailable};
  searchOptions.timeLimitSeconds = options.timeLimit.value_or(0.0);
  try {
    costFinder = createCostFinder(
        options.wantedListPath, preferences.storesPerCombination,
        BrickLink::GetCountryByName(preferences.country).id,
        BrickLink::GetCurrencyByName(preferences.currency).id, preferences.regions,
        {[&reporter](const Utilities::IStatusUpdate& update) { reporter.HighLevel(update); },
         [&reporter](const Utilities::IStatusUpdate& update) { reporter.LowLevel(update); },
         [&reporter](const std::string& text) { reporter.Statistic(text); },
         [&reporter](const LiveBounds& bounds) { reporter.Bounds(bounds); }},
        std::move(searchOptions));
  } catch (const std::exception& error) {
    return fail(kNoPlans, std::string("Unable to start the search: ") + error.what());
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
  const std::vector<RefusedSetting>& refused = costFinder->RefusedSettings();
  if (refused.empty()) {
    // What the search ran with becomes the user's settings; settings that cannot make a plan
    // are never kept for the next search to fail on.
    try {
      CreatePreferencesManager()->SetPreferences(preferences);
    } catch (const std::exception& error) {
      errors << "Unable to save the settings: " << Utilities::ShowMessage(error.what()) << '\n';
    }
  } else {
    message += SavedSettingsHint(options, refused);
  }
  if (message.empty() && plans.empty()) {
    message = kNoCombinationsFound;
  }

  // The export is part of what was asked: when it fails, the search has failed, in the exit
  // status and in the JSON alike.
  if (message.empty() && !options.exportDirectory.empty()) {
    if (options.exportedPlan > plans.size()) {
      message = "Unable to export plan " + std::to_string(options.exportedPlan) +
                ": the search found " + std::to_string(plans.size()) +
                (plans.size() == 1 ? " plan." : " plans.");
    } else {
      try {
        for (const std::string& path :
             ExportWantedLists(*plans[options.exportedPlan - 1], options.exportedPlan,
                               options.exportDirectory, options.wantedListId.value_or(0))) {
          errors << "Wrote " << Utilities::ShowControlCharacters(path) << '\n';
        }
      } catch (const std::exception& error) {
        message = std::string("Unable to export the wanted lists: ") + error.what();
      }
    }
  }
  const bool succeeded = message.empty();
  if (!succeeded) {
    // Failure texts quote the list's path, its lines and the marketplace's answers.
    errors << Utilities::ShowMessage(message) << '\n';
  }

  static const std::vector<LeftOutItem> kNoneLeftOut;
  const SearchReport report{
      plans, costFinder->GetStoreCountCosts(),
      options.skipUnavailable ? costFinder->GetUnavailableItems() : kNoneLeftOut,
      costFinder->Proof()};
  if (options.json) {
    WriteJson(
        {succeeded, message, preferences.currency, reporter.Statistics(), preferences,
         options.searchMethod, listLimits, options.marketplaceHost, costFinder->SkippedLines()},
        report, output);
  } else {
    WriteLeftOut(report.leftOut, output);
    WriteStoreCountCosts(report.byStores, preferences.storesPerCombination, output);
    if (!plans.empty()) {
      WriteProof(costFinder->Proof(), *plans.front(), output);
    }
    WritePlans(plans, options.marketplaceHost, output);
  }
  return succeeded ? kPlansFound : kNoPlans;
}

}  // namespace Corvalle::CommandLine
