#include "Source/Base/BrickLink/PlanRules.h"

#include <algorithm>

namespace Corvalle::BrickLink {

bool PlanRules::IsRequired(std::uint32_t column) const {
  return std::binary_search(required.begin(), required.end(), column);
}

PlanRules MakePlanRules(const PurchaseTerms& terms, const ConsolidatedLotData& table) {
  PlanRules rules;
  if (terms.ChargesShipping()) {
    rules.shipping.resize(table.StoreCount());
  }
  for (std::uint32_t column = 0; column < table.StoreCount(); ++column) {
    const StoreInformation& store = table.GetStore(column);
    if (terms.ChargesShipping()) {
      rules.shipping[column] = store.CountryId() == terms.buyerCountryId
                                   ? terms.domesticShipping
                                   : terms.internationalShipping;
    }
    if (std::find(terms.requiredStores.begin(), terms.requiredStores.end(), store.Id()) !=
        terms.requiredStores.end()) {
      rules.required.push_back(column);
    }
  }
  return rules;
}

}  // namespace Corvalle::BrickLink
