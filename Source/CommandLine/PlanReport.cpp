#include "Source/CommandLine/PlanReport.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <ostream>
#include <stdexcept>

#include "Source/Base/BrickLink/Countries.h"
#include "Source/Base/BrickLink/Currencies.h"
#include "Source/Base/Formatting.h"
#include "Source/Base/PreferencesManager.h"
#include "Source/Base/PriceFormatting.h"

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

// Names from pages and files may hold bytes that are not UTF-8; they must not end the output.
// Everything beyond ASCII is escaped, so a bidirectional control or C1 character in a name
// reaches the reader as the name held it, and a terminal never sees it raw.
void WriteDocument(const nlohmann::ordered_json& document, std::ostream& output) {
  output << document.dump(2, ' ', true, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace

void WritePlans(const Plans& plans, const std::string& marketplaceHost, std::ostream& output) {
  if (plans.empty()) {
    return;
  }
  // One search's plans are all in one currency: read it once, not for each of their prices.
  const BrickLink::Currency& currency =
      BrickLink::GetCurrencyByName(CreatePreferencesManager()->GetPreferences().currency);
  std::uint32_t rank = 0;
  for (const auto& plan : plans) {
    ++rank;
    // The parts shown add up to the total shown, cent for cent.
    const Utilities::PriceParts parts =
        Utilities::FormatPriceParts(plan->Cost(), plan->Shipping(), currency);
    output << "Combination #" << rank << " - Total Cost: " << parts.total;
    if (plan->ChargesShipping()) {
      output << " (lots " << parts.lots << " + shipping " << parts.shipping << ')';
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
               << ToString(line->condition) << ' ' << std::setw(12)
               << ShowControlCharacters(item.Id()) << ' ' << std::setw(20)
               << ShowControlCharacters(item.Color().Name()) << ' '
               << ShowControlCharacters(item.Name()) << '\n';
      }
    }
    output << '\n';
  }
}

void WriteStoreCountCosts(const std::vector<StoreCountCost>& byStores, std::uint32_t k,
                          std::ostream& output) {
  if (byStores.empty()) {
    return;
  }
  const BrickLink::Currency& currency =
      BrickLink::GetCurrencyByName(CreatePreferencesManager()->GetPreferences().currency);
  const bool shipping = std::any_of(byStores.begin(), byStores.end(),
                                    [](const StoreCountCost& row) { return row.shipping != 0.0; });
  output << "Cost by number of stores:\n";
  output << "  Stores  " << std::left << std::setw(12) << "Total";
  if (shipping) {
    output << std::setw(12) << "Lots" << std::setw(12) << "Shipping";
  }
  output << std::setw(12) << "Saving"
         << "Proven\n";
  const StoreCountCost* previous = nullptr;
  for (const StoreCountCost& row : byStores) {
    if (!row.found) {
      output << (row.stores == k ? "* " : "  ") << std::right << std::setw(6) << row.stores
             << "  stopped before a plan was found\n";
      continue;
    }
    const Utilities::PriceParts parts =
        Utilities::FormatPriceParts(row.cost, row.shipping, currency);
    output << (row.stores == k ? "* " : "  ") << std::right << std::setw(6) << row.stores << "  "
           << std::left << std::setw(12) << parts.total;
    if (shipping) {
      output << std::setw(12) << parts.lots << std::setw(12) << parts.shipping;
    }
    const bool follows = previous != nullptr && previous->stores + 1 == row.stores;
    output << std::setw(12)
           << (follows ? Utilities::FormatPriceDifference(previous->cost, row.cost, currency) : "-")
           << (row.proven ? "yes" : "no") << '\n';
    previous = &row;
  }
  output << '\n';
}

void WriteProof(const SearchProof& proof, const BrickLink::ICombinationData& cheapest,
                std::ostream& output) {
  if (proof.proven) {
    return;
  }
  const BrickLink::Currency& currency = BrickLink::GetCurrencyByName(
      CreatePreferencesManager()->GetPreferences().currency);
  output << DescribeProof(proof, cheapest.Cost(), currency) << "\n\n";
}

void WriteLeftOut(const std::vector<LeftOutItem>& leftOut, std::ostream& output) {
  if (leftOut.empty()) {
    return;
  }
  output << "Left out, as the accepted regions cannot supply them:\n";
  for (const LeftOutItem& left : leftOut) {
    using Utilities::ShowControlCharacters;
    const Item& item = *left.item;
    output << "  " << left.wanted << " x " << ShowControlCharacters(item.Id()) << ' '
           << ShowControlCharacters(item.Color().Name()) << ' '
           << ShowControlCharacters(item.Name()) << ": " << ShowControlCharacters(left.reason)
           << '\n';
  }
  output << '\n';
}

void WriteJson(const SearchOutcome& outcome, const SearchReport& report, std::ostream& output) {
  const Plans& plans = report.plans;
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
  if (!report.byStores.empty()) {
    document["byStores"] = nlohmann::ordered_json::array();
    for (const StoreCountCost& row : report.byStores) {
      if (!row.found) {
        document["byStores"].push_back({{"stores", row.stores}, {"proven", false}});
        continue;
      }
      document["byStores"].push_back({{"stores", row.stores},
                                      {"cost", row.cost},
                                      {"subtotal", row.subtotal},
                                      {"shipping", row.shipping},
                                      {"proven", row.proven}});
    }
  }
  if (!report.leftOut.empty()) {
    document["leftOut"] = nlohmann::ordered_json::array();
    for (const LeftOutItem& left : report.leftOut) {
      const Item& item = *left.item;
      document["leftOut"].push_back({
          {"itemType", item.Type() == ItemType::Invalid ? std::string()
                                                        : std::string(1, ToCharacter(item.Type()))},
          {"itemId", item.Id()},
          {"name", item.Name()},
          {"color", item.Color().Id()},
          {"colorName", item.Color().Name()},
          {"condition", item.GetCondition() == Condition::New ? "New" : "Any"},
          {"quantity", left.wanted},
          {"reason", left.reason},
      });
    }
  }
  document["proven"] = report.proof.proven;
  if (!report.proof.proven) {
    document["lowerBound"] = report.proof.lowerBound;
  }
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
            // What the buyer gets from the lots of the line: for an item wanted in any
            // condition, New or Used as the store sells it.
            {"condition", ToString(line->condition)},
            {"quantity", line->lotData.quantity},
            {"price", line->lotData.price},
        });
      }
      planJson["stores"].push_back(std::move(storeJson));
    }
    document["plans"].push_back(std::move(planJson));
  }
  WriteDocument(document, output);
}

void WriteFailedJson(const std::string& message, std::ostream& output) {
  nlohmann::ordered_json document;
  document["status"] = "failed";
  document["message"] = message;
  document["plans"] = nlohmann::ordered_json::array();
  WriteDocument(document, output);
}

}  // namespace Corvalle::CommandLine
