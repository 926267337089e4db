#include "Source/Desktop/CombinationWrapper.h"

#include <QFile>

#include "Source/Base/BrickLink/CombinationData.h"
#include "Source/Base/BrickLink/Currencies.h"
#include "Source/Base/PlanExport.h"
#include "Source/Base/PreferencesManager.h"
#include "Source/Base/PriceFormatting.h"

namespace Corvalle::Desktop {

namespace {

// Rounded together, as the command line rounds them: the lots and the shipping, each rounded by
// itself, could miss the total shown by a cent.
Utilities::PriceParts Parts(const BrickLink::ICombinationData& combinationData) {
  const BrickLink::Currency& currency =
      BrickLink::GetCurrencyByName(CreatePreferencesManager()->GetPreferences().currency);
  return Utilities::FormatPriceParts(combinationData.Cost(), combinationData.Shipping(), currency);
}

}  // namespace

CombinationWrapper::CombinationWrapper(std::uint32_t position,
                                       const BrickLink::ICombinationData& combinationData,
                                       const std::string& marketplaceHost)
    : CombinationWrapper(position, combinationData, marketplaceHost, Parts(combinationData)) {}

CombinationWrapper::CombinationWrapper(std::uint32_t position,
                                       const BrickLink::ICombinationData& combinationData,
                                       const std::string& marketplaceHost,
                                       const Utilities::PriceParts& parts)
    : index_(position),
      minimumCost_(QString::fromStdString(parts.total)),
      chargesShipping_(combinationData.ChargesShipping()),
      subtotal_(chargesShipping_ ? QString::fromStdString(parts.lots) : QString()),
      shipping_(chargesShipping_ ? QString::fromStdString(parts.shipping) : QString()),
      combinationData_(&combinationData) {
  for (const BrickLink::StoreInformation& store : combinationData.Stores()) {
    storeData_.push_back(std::make_unique<StoreWrapper>(store, combinationData, marketplaceHost));
  }
}

QStringList CombinationWrapper::ExportWantedLists(const QString& directory,
                                                  std::uint32_t wantedListId) const {
  QStringList written;
  // File names go to the file system in its own encoding, not as UTF-16 turned into UTF-8.
  for (const std::string& path : Corvalle::ExportWantedLists(
           *combinationData_, index_, QFile::encodeName(directory).toStdString(), wantedListId)) {
    written << QFile::decodeName(QByteArray::fromStdString(path));
  }
  return written;
}

}  // namespace Corvalle::Desktop
