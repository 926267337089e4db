#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/ConsolidatedLotData.h"

namespace Corvalle::BrickLink {

// What the buyer pays beyond the lots and which stores every plan must hold, by store id, as
// the user states them for a whole search.
struct PurchaseTerms {
  double domesticShipping = 0.0;       // per store in the buyer's country, search currency
  double internationalShipping = 0.0;  // per store elsewhere
  std::string buyerCountryId;          // a country table identifier
  std::vector<std::uint32_t> requiredStores;

  bool ChargesShipping() const { return domesticShipping > 0.0 || internationalShipping > 0.0; }
};

// The same terms for the columns of one table. With shipping charged, a plan costs its lots
// plus the shipping of each of its stores, and any set of at most k stores that all buy
// something is a plan; without, plans are those of k-store combinations. Required columns are
// in every plan and count among its k stores, whether they buy anything or not.
struct PlanRules {
  std::vector<double> shipping;         // per column; empty when no shipping is charged
  std::vector<std::uint32_t> required;  // columns, ascending

  bool ChargesShipping() const { return !shipping.empty(); }
  double Shipping(std::uint32_t column) const { return shipping.empty() ? 0.0 : shipping[column]; }
  bool IsRequired(std::uint32_t column) const;
};

// The rules of the terms on the table's columns. A store is domestic when its country
// identifier is the buyer's. Required stores that are not in the table are left out: the caller
// checks for them first.
PlanRules MakePlanRules(const PurchaseTerms& terms, const ConsolidatedLotData& table);

}  // namespace Corvalle::BrickLink
