#include "PlanReport.h"

#include <iomanip>
#include <nlohmann/json.hpp>
#include <ostream>
#include <stdexcept>

#include "BrickLink/Countries.h"
#include "BrickLink/Currencies.h"
#include "Formatting.h"
#include "PreferencesManager.h"
#include "PriceFormatting.h"

namespace Corvalle::CommandLine {

namespace {

// The country's name, or "country unknown" when the country table lacks it.
std::string CountryText(const BrickLink::StoreInformation& store) {
  const BrickLink::Country* country = store.FindCountry();
  return country == nullptr ? "country unknown" : country->name;
}

std::string CountryId(const BrickLink::StoreInformation& store) {
  const BrickLink::Country* country = store.FindCountry();
  return country == nullptr ? "" : country->id;
}

}  // namespace

void WritePlans(const Plans& plans, const std::string& marketplaceHost, std::ostream& output) {
  if (plans.empty()) {
    return;
  }
  // One search's plans are all in one currency: read it once, not for each of their prices.
  const BrickLink::Currency& currency = BrickLink::GetCurrencyByName(
      CreatePreferencesManager()->GetPreferences().currency);
  std::uint32_t rank = 0;
  for (const auto& plan : plans) {
    ++rank;
    output << "Combination #" << rank
           << " - Total Cost: " << Utilities::FormatPrice(plan->Cost(), 2, currency);
    if (plan->ChargesShipping()) {
      output << " (lots " << Utilities::FormatPrice(plan->Subtotal(), 2, currency)
             << " + shipping " << Utilities::FormatPrice(plan->Shipping(), 2, currency) << ')';
    }
    output << '\n';
    for (const BrickLink::StoreInformation& store : plan->Stores()) {
      const auto begin = plan->LotsDataBegin(store.Id());
      const auto end = plan->LotsDataEnd(store.Id());
      // Names, ids and remarks come from pages and files: no escape sequence of theirs may
      // reach the terminal.
      using Utilities::ShowControlCharacters;
      output << "  " << ShowControlCharacters(store.Name()) << " ("
             << ShowControlCharacters(CountryText(store)) << ")  "
             << store.StoreUrl(marketplaceHost);
      if (plan->ChargesShipping()) {
        output << "  shipping "
               << Utilities::FormatPrice(plan->StoreShipping(store.Id()), 2, currency);
      }
      output << '\n';
      for (auto line = begin; line != end; ++line) {
        const Item& item = line->GetItem();
        output << "    " << std::right << std::setw(5) << line->lotData.quantity << " x "
               << std::left << std::setw(12)
               << Utilities::FormatPrice(line->lotData.price, 4, currency) << std::setw(5)
               << ToString(item.GetCondition()) << ' ' << std::setw(12)
               << ShowControlCharacters(item.Id()) << ' ' << std::setw(20)
               << ShowControlCharacters(item.Color().Name()) << ' '
               << ShowControlCharacters(item.Name()) << '\n';
      }
    }
    output << '\n';
  }
}

void WriteJson(const SearchOutcome& outcome, const Plans& plans, std::ostream& output) {
  nlohmann::ordered_json document;
  document["status"] = outcome.succeeded ? "succeeded" : "failed";
  document["message"] = outcome.message;
  document["currency"] = outcome.currency;
  document["statistics"] = outcome.statistics;
  document["skippedLines"] = nlohmann::ordered_json::array();
  for (const BrickStore::SkippedLine& skipped : outcome.skippedLines) {
    document["skippedLines"].push_back(
        {{"line", skipped.line}, {"itemId", skipped.id}, {"reason", skipped.reason}});
  }
  const Preferences& settings = outcome.settings;
  document["options"] = {
      {"storesPerCombination", settings.storesPerCombination},
      {"country", settings.country},
      {"regions", settings.regions},
      {"search", outcome.searchMethod == SearchMethod::Bounded ? "bounded" : "exhaustive"},
      {"shippingDomestic", settings.shippingDomestic},
      {"shippingInternational", settings.shippingInternational},
      {"excludedStores", settings.excludedStores},
      {"requiredStores", settings.requiredStores},
      {"listLimits", outcome.listLimits == ListLimits::Apply},
  };
  document["plans"] = nlohmann::ordered_json::array();
  std::uint32_t rank = 0;
  for (const auto& plan : plans) {
    nlohmann::ordered_json planJson;
    planJson["rank"] = ++rank;
    if (plan->ChargesShipping()) {
      planJson["subtotal"] = plan->Subtotal();
      planJson["shipping"] = plan->Shipping();
    }
    planJson["cost"] = plan->Cost();
    planJson["stores"] = nlohmann::ordered_json::array();
    for (const BrickLink::StoreInformation& store : plan->Stores()) {
      const auto begin = plan->LotsDataBegin(store.Id());
      const auto end = plan->LotsDataEnd(store.Id());
      nlohmann::ordered_json storeJson;
      storeJson["id"] = store.Id();
      storeJson["name"] = store.Name();
      storeJson["countryId"] = CountryId(store);
      storeJson["url"] = store.StoreUrl(outcome.marketplaceHost);
      if (plan->ChargesShipping()) {
        storeJson["shipping"] = plan->StoreShipping(store.Id());
      }
      storeJson["lots"] = nlohmann::ordered_json::array();
      for (auto line = begin; line != end; ++line) {
        const Item& item = line->GetItem();
        storeJson["lots"].push_back({
            {"itemType", item.Type() == ItemType::Invalid
                             ? std::string()
                             : std::string(1, ToCharacter(item.Type()))},
            {"itemId", item.Id()},
            {"name", item.Name()},
            {"color", item.Color().Id()},
            {"colorName", item.Color().Name()},
            {"condition", ToString(item.GetCondition())},
            {"quantity", line->lotData.quantity},
            {"price", line->lotData.price},
        });
      }
      planJson["stores"].push_back(std::move(storeJson));
    }
    document["plans"].push_back(std::move(planJson));
  }
  // Names from pages and files may hold bytes that are not UTF-8; they must not end the output.
  output << document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace Corvalle::CommandLine
