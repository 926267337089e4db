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
                                       const BrickLink::ICombinationData& combinationData,
                                       const std::string& marketplaceHost)
    : index_(position),
      minimumCost_(Price(combinationData.Cost())),
      chargesShipping_(combinationData.ChargesShipping()),
      subtotal_(chargesShipping_ ? Price(combinationData.Subtotal()) : QString()),
      shipping_(chargesShipping_ ? Price(combinationData.Shipping()) : QString()),
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
