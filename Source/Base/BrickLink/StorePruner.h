#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Source/Base/BrickLink/ConsolidatedLotData.h"
#include "Source/Base/Corvalle.h"
#include "Source/Base/BrickLink/PlanRules.h"
#include "Source/Base/BrickLink/Countries.h"

namespace Corvalle::BrickLink {

// Shrinks a consolidated table before the search. Every operation returns a new table with the
// same rows and the kept columns in their original order, and leaves its input untouched.
// Runs on the search thread; one pruner may serve several calls, one at a time.
class IStorePruner {
 public:
  virtual ~IStorePruner() = default;
  IStorePruner(const IStorePruner&) = delete;
  IStorePruner& operator=(const IStorePruner&) = delete;

  // Removes every store that another single store makes redundant: store x goes when some
  // store y offers, for every item that x offers, the whole wanted quantity at a unit price no
  // higher than x's. Of stores with identical offers, the one with the highest column stays.
  // Under rules (on the table's columns), a required store never goes, and y must not charge
  // more shipping than x: a cheaper store that ships dearer may still make the cheaper plan.
  // The rows of the table must be the items. A table without stores yields a table without
  // stores.
  virtual std::shared_ptr<const ConsolidatedLotData> PruneExtraneousStores(
      const ConsolidatedLotData& consolidatedLotData, const std::vector<Item>& items,
      const PlanRules& rules = {}) = 0;
  // Keeps the stores located in country, a record of the country table.
  virtual std::shared_ptr<const ConsolidatedLotData> PruneStoresByCountry(
      const ConsolidatedLotData& consolidatedLotData, const Country& country) = 0;
  // Keeps the stores whose country lies in one of the regions (display names of the region
  // table; an unknown name is a broken invariant), each store once. A store whose country
  // identifier the country table does not know lies in no region: it is left out, with a
  // warning record naming the store and the identifier. Every store must have metadata.
  virtual std::shared_ptr<const ConsolidatedLotData> PruneStoresByRegions(
      const ConsolidatedLotData& consolidatedLotData,
      const std::vector<std::string>& regionNames) = 0;

 protected:
  IStorePruner() = default;
};

std::unique_ptr<IStorePruner> CreateStorePruner();

// The table of the listed columns, in list order, with every row's cells of those columns.
std::shared_ptr<const ConsolidatedLotData> CreatePrunedLotData(
    const std::vector<std::uint32_t>& keptStores, const ConsolidatedLotData& consolidatedLotData);

}  // namespace Corvalle::BrickLink
