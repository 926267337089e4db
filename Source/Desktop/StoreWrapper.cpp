#include "Source/Desktop/StoreWrapper.h"

#include <exception>

#include "Source/Base/BrickLink/CombinationData.h"
#include "Source/Base/BrickLink/Countries.h"
#include "Source/Base/BrickLink/StoreInformation.h"
#include "Source/Base/PriceFormatting.h"

namespace Corvalle::Desktop {

namespace {

// The country lookup throws for a store without metadata or with an identifier the country
// table lacks; a plan must still be shown, so the row says what is known instead.
QString CountryName(const BrickLink::StoreInformation& store) {
  try {
    return QString::fromUtf8(store.GetCountry().name);
  } catch (const std::exception&) {
    return store.CountryId().empty() ? QStringLiteral("Unknown country")
                                     : QString::fromStdString(store.CountryId());
  }
}

}  // namespace

StoreWrapper::StoreWrapper(const BrickLink::StoreInformation& store,
                           const BrickLink::ICombinationData& combinationData,
                           const std::string& marketplaceHost)
    : storeID_(store.Id()),
      store_(QString::fromStdString(store.Name())),
      country_(CountryName(store)),
      storeUrl_(QString::fromStdString(store.StoreUrl(marketplaceHost))),
      shipping_(combinationData.ChargesShipping()
                    ? QString::fromStdString(
                          Utilities::FormatPrice(combinationData.StoreShipping(store.Id())))
                    : QString()),
      combinationData_(&combinationData) {
  const auto end = combinationData.LotsDataEnd(storeID_);
  for (auto line = combinationData.LotsDataBegin(storeID_); line != end; ++line) {
    lotsData_.push_back(std::make_unique<LotDataWrapper>(*line));
  }
}

QString StoreWrapper::CreateWantedListXml(std::uint32_t wantedListId) const {
  return QString::fromStdString(combinationData_->CreateWantedListXml(storeID_, wantedListId));
}

}  // namespace Corvalle::Desktop
