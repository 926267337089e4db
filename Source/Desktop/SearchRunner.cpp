#include "Source/Desktop/SearchRunner.h"

#include <exception>

#include "Source/Base/BrickLink/Countries.h"
#include "Source/Base/BrickLink/Currencies.h"
#include "Source/Base/Formatting.h"
#include "Source/Base/Logging.h"
#include "Source/Desktop/MainThread.h"

namespace Corvalle::Desktop {

SearchRunner::SearchRunner(std::string marketplaceHost_, CostFinderFactory createCostFinder_,
                           QObject* parent)
    : QObject(parent),
      marketplaceHost(std::move(marketplaceHost_)),
      createCostFinder(std::move(createCostFinder_)) {}

SearchRunner::~SearchRunner() {
  if (searchThread.joinable()) {
    searchThread.join();
  }
}

void SearchRunner::start(SearchRequest request, CostFinderCallbacks callbacks) {
  if (running) {
    return;
  }
  if (searchThread.joinable()) {
    searchThread.join();
  }
  running = true;
  searchThread = std::thread([this, request = std::move(request),
                              callbacks = std::move(callbacks)] { run(request, callbacks); });
}

void SearchRunner::stop() {
  if (!running) {
    return;
  }
  std::lock_guard<std::mutex> lock(costFinderMutex);
  if (costFinder) {
    costFinder->Stop();
  }
}

void SearchRunner::run(const SearchRequest& request, const CostFinderCallbacks& callbacks) {
  Combinations combinations;
  SearchExtrasFound extras;
  const auto wrap = [this](const std::vector<std::unique_ptr<BrickLink::ICombinationData>>& plans) {
    Combinations wrapped;
    std::uint32_t position = 0;
    for (const auto& plan : plans) {
      wrapped.push_back(
          std::make_shared<const CombinationWrapper>(++position, *plan, marketplaceHost));
    }
    return wrapped;
  };
  try {
    {
      std::lock_guard<std::mutex> lock(costFinderMutex);
      costFinder.reset();
    }
    // The window keeps its settings as preferences, which name the country and the currency;
    // the cost finder takes their table ids. An unknown name throws, and fails the search.
    const Preferences& preferences = request.preferences;
    const std::string countryId = BrickLink::GetCountryByName(preferences.country).id;
    const std::uint32_t currencyId = BrickLink::GetCurrencyByName(preferences.currency).id;
    auto created =
        createCostFinder(request.wantedListPath, preferences.storesPerCombination, countryId,
                         currencyId, preferences.regions, callbacks,
                         SearchOptions{.domesticShipping = preferences.shippingDomestic,
                                       .internationalShipping = preferences.shippingInternational,
                                       .excludedStores = preferences.excludedStores,
                                       .requiredStores = preferences.requiredStores,
                                       .marketplaceHost = marketplaceHost,
                                       .byStores = request.byStores,
                                       .skipUnavailable = request.skipUnavailable});
    {
      std::lock_guard<std::mutex> lock(costFinderMutex);
      costFinder = std::move(created);
    }
    costFinder->FindMinimumCostCombinations(request.threadCount);
    // What the search ran with becomes the user's settings, before the plans' prices are
    // written in the saved currency; settings that cannot make a plan are never kept for the
    // next search to fail on.
    extras.refused = costFinder->RefusedSettings();
    if (extras.refused.empty()) {
      try {
        CreatePreferencesManager()->SetPreferences(request.preferences);
      } catch (const std::exception& exception) {
        BOOST_LOG_TRIVIAL(error) << "Unable to save the settings: " << exception.what();
        extras.settingsNotSaved = QString::fromUtf8(exception.what());
      }
    }
    QStringList skipped;
    for (const BrickStore::SkippedLine& line : costFinder->SkippedLines()) {
      // The id comes from the file, which may hold control characters.
      skipped << QString::fromStdString(
          Utilities::ShowControlCharacters(BrickStore::DescribeSkippedLine(line)));
    }
    if (!skipped.isEmpty()) {
      PostToMainThread(this, [this, skipped] { emit linesSkipped(skipped); });
    }
    combinations = wrap(costFinder->GetCombinationData());
    for (const StoreCountCost& row : costFinder->GetStoreCountCosts()) {
      // The plans of k are the ones shown first: the same wrappers, not copies.
      const auto& found = costFinder->GetStoreCountPlans(row.stores);
      Combinations plans = &found == &costFinder->GetCombinationData() ? combinations : wrap(found);
      if (!plans.empty()) {
        extras.bars.push_back({row.stores, row.cost, plans.front()->minimumCost(), plans});
        extras.stores = row.stores;
      }
    }
    for (const LeftOutItem& left : costFinder->GetUnavailableItems()) {
      extras.unavailable << QStringLiteral("%1 x %2 %3 %4: %5")
                                .arg(left.wanted)
                                .arg(QString::fromStdString(left.item->Id()),
                                     QString::fromStdString(left.item->Color().Name()),
                                     QString::fromStdString(left.item->Name()),
                                     QString::fromStdString(left.reason));
    }
    extras.leftOut = request.skipUnavailable && !combinations.empty();
    const SearchProof proof = costFinder->Proof();
    if (!proof.proven && !combinations.empty()) {
      const BrickLink::Currency& currency =
          BrickLink::GetCurrencyByName(request.preferences.currency);
      std::string text =
          DescribeProof(proof, costFinder->GetCombinationData().front()->Cost(), currency);
      // A stop ends the searches of the other numbers of stores too: their bars are no proof
      // either.
      std::vector<std::uint32_t> others;
      std::vector<std::uint32_t> unknown;
      for (const StoreCountCost& row : costFinder->GetStoreCountCosts()) {
        if (!row.found) {
          unknown.push_back(row.stores);
        } else if (!row.proven && row.stores != extras.stores) {
          others.push_back(row.stores);
        }
      }
      const auto join = [](const std::vector<std::uint32_t>& counts) {
        std::string joined;
        for (std::size_t index = 0; index < counts.size(); ++index) {
          joined += (index == 0 ? "" : index + 1 == counts.size() ? " and " : ", ") +
                    std::to_string(counts[index]);
        }
        return joined;
      };
      if (!others.empty()) {
        text += "\nThe cheapest plans of " + join(others) + " stores are not proven either.";
      }
      if (!unknown.empty()) {
        text += "\nThe search of " + join(unknown) +
                " stores stopped before it found a plan: whether there is one is not known.";
      }
      extras.proof = QString::fromStdString(text);
    }
  } catch (const std::exception& exception) {
    // Nothing may leave the search thread; the user learns what went wrong.
    BOOST_LOG_TRIVIAL(error) << "The search failed: " << exception.what();
    combinations.clear();
    extras = {};
    PostToMainThread(
        this, [this, message = QString::fromUtf8(exception.what())] { emit failed(message); });
  }
  PostToMainThread(this, [this, combinations = std::move(combinations),
                          extras = std::move(extras)] {
    running = false;
    emit extrasFound(extras);
    emit finished(combinations);
  });
}

}  // namespace Corvalle::Desktop
