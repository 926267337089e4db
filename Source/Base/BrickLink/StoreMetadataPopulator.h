#pragma once

#include <functional>
#include <memory>

namespace Corvalle::BrickLink {

class ConsolidatedLotData;
class IStoreInformationRetriever;

// Fills the process-wide store metadata table for every store of an item-by-store table, one
// store at a time in column order. Runs on the search thread before the stores are pruned.
class IStoreMetadataPopulator {
 public:
  virtual ~IStoreMetadataPopulator() = default;
  IStoreMetadataPopulator(const IStoreMetadataPopulator&) = delete;
  IStoreMetadataPopulator& operator=(const IStoreMetadataPopulator&) = delete;

  // Reports i / n after every third store and after the last. Throws std::runtime_error
  // "Unable to retrieve store information for store ID:" and, on a line of its own, the
  // retriever's reason, at the first store whose metadata cannot be had; the stores before it
  // keep their entries.
  virtual void PopulateStoreMetadata(const ConsolidatedLotData& consolidatedLotData,
                                     const std::function<void(double)>& progress) const = 0;

 protected:
  IStoreMetadataPopulator() = default;
};

std::unique_ptr<IStoreMetadataPopulator> CreateStoreMetadataPopulator(
    IStoreInformationRetriever& storeInformationRetriever);

}  // namespace Corvalle::BrickLink
