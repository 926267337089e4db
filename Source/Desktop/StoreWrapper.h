#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "Source/Desktop/LotDataWrapper.h"

namespace Corvalle::BrickLink {
class ICombinationData;
class StoreInformation;
}  // namespace Corvalle::BrickLink

namespace Corvalle::Desktop {

// One store of one purchase plan with its plan lines. The texts are computed at construction
// and never changed. Keeps a non-owning pointer to the plan it came from, which the cost finder
// of the search that found it owns; the plan must outlive every call of CreateWantedListXml.
class StoreWrapper {
 public:
  StoreWrapper(const BrickLink::StoreInformation& store,
               const BrickLink::ICombinationData& combinationData,
               const std::string& marketplaceHost);
  StoreWrapper(const StoreWrapper&) = delete;
  StoreWrapper& operator=(const StoreWrapper&) = delete;

  std::uint32_t storeID() const { return storeID_; }
  const QString& store() const { return store_; }
  // The country's name; for a store whose country the tables do not know, the identifier its
  // page gave, or "Unknown country" when there is none.
  const QString& country() const { return country_; }
  const QString& storeUrl() const { return storeUrl_; }
  // What the plan pays this store for shipping; empty when the search charged no shipping.
  const QString& shipping() const { return shipping_; }
  const std::vector<std::unique_ptr<LotDataWrapper>>& lotsData() const { return lotsData_; }

  // The store's part of the plan as wanted-list XML for the wanted list wantedListId.
  QString CreateWantedListXml(std::uint32_t wantedListId) const;

 private:
  std::uint32_t storeID_;
  QString store_;
  QString country_;
  QString storeUrl_;
  QString shipping_;
  std::vector<std::unique_ptr<LotDataWrapper>> lotsData_;
  const BrickLink::ICombinationData* combinationData_;
};

}  // namespace Corvalle::Desktop
