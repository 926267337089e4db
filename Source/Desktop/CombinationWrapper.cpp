#include "CombinationWrapper.h"

#include <QFile>

#include "BrickLink/CombinationData.h"
#include "PlanExport.h"
#include "PriceFormatting.h"

namespace Corvalle::Desktop {

namespace {

QString Price(double amount) { return QString::fromStdString(Utilities::FormatPrice(amount)); }

}  // namespace

CombinationWrapper::CombinationWrapper(std::uint32_t position,
                                       const BrickLink::ICombinationData& combinationData_,
                                       const std::string& marketplaceHost)
    : index_(position),
      minimumCost_(Price(combinationData_.Cost())),
      chargesShipping_(combinationData_.ChargesShipping()),
      subtotal_(chargesShipping_ ? Price(combinationData_.Subtotal()) : QString()),
      shipping_(chargesShipping_ ? Price(combinationData_.Shipping()) : QString()),
      combinationData(&combinationData_) {
  for (const BrickLink::StoreInformation& store : combinationData_.Stores()) {
    storeData_.push_back(std::make_unique<StoreWrapper>(store, combinationData_, marketplaceHost));
  }
}

QStringList CombinationWrapper::ExportWantedLists(const QString& directory,
                                                  std::uint32_t wantedListId) const {
  QStringList written;
  // File names go to the file system in its own encoding, not as UTF-16 turned into UTF-8.
  for (const std::string& path : Corvalle::ExportWantedLists(
           *combinationData, index_, QFile::encodeName(directory).toStdString(), wantedListId)) {
    written << QFile::decodeName(QByteArray::fromStdString(path));
  }
  return written;
}

}  // namespace Corvalle::Desktop
