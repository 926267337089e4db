#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

#include "Source/Base/PriceFormatting.h"
#include "Source/Desktop/StoreWrapper.h"

namespace Corvalle::Desktop {

// One purchase plan of the result list, with its display texts computed at construction (on
// the search thread, before the list is handed to the interface thread) and never changed.
// Not copyable: lists of results share the objects. Keeps a non-owning pointer to the plan,
// which the cost finder of the search that found it owns.
class CombinationWrapper {
 public:
  // position: the plan's 1-based position in the result list (1 is the cheapest). The plan must
  // outlive the wrapper.
  // marketplaceHost: of the stores' page addresses.
  CombinationWrapper(std::uint32_t position, const BrickLink::ICombinationData& combinationData,
                     const std::string& marketplaceHost);
  CombinationWrapper(const CombinationWrapper&) = delete;
  CombinationWrapper& operator=(const CombinationWrapper&) = delete;

  std::uint32_t index() const { return index_; }
  // What the plan costs in all, shipping included when the search charged it.
  const QString& minimumCost() const { return minimumCost_; }
  bool chargesShipping() const { return chargesShipping_; }
  // The lots' cost and the stores' shipping, which add up to minimumCost() cent for cent; empty
  // when the search charged no shipping.
  const QString& subtotal() const { return subtotal_; }
  const QString& shipping() const { return shipping_; }
  const std::vector<std::unique_ptr<StoreWrapper>>& storeData() const { return storeData_; }

  // Writes the plan as one wanted-list file per store into directory, named as the command
  // line's export names them, and returns their paths. Throws std::runtime_error or
  // std::filesystem::filesystem_error when the folder or a file cannot be written.
  QStringList ExportWantedLists(const QString& directory, std::uint32_t wantedListId) const;

 private:
  CombinationWrapper(std::uint32_t position, const BrickLink::ICombinationData& combinationData,
                     const std::string& marketplaceHost, const Utilities::PriceParts& parts);

  std::uint32_t index_;
  QString minimumCost_;
  bool chargesShipping_;
  QString subtotal_;
  QString shipping_;
  std::vector<std::unique_ptr<StoreWrapper>> storeData_;
  const BrickLink::ICombinationData* combinationData_;
};

// The array the window hands to the results view; copies share the wrappers.
using Combinations = std::vector<std::shared_ptr<const CombinationWrapper>>;

}  // namespace Corvalle::Desktop
