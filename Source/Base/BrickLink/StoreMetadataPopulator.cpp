#include "Source/Base/BrickLink/StoreMetadataPopulator.h"

#include <stdexcept>

#include "Source/Base/BrickLink/ConsolidatedLotData.h"
#include "Source/Base/BrickLink/StoreInformationRetriever.h"

namespace Corvalle::BrickLink {

namespace {

class StoreMetadataPopulator final : public IStoreMetadataPopulator {
 public:
  explicit StoreMetadataPopulator(IStoreInformationRetriever& storeInformationRetriever_)
      : storeInformationRetriever(storeInformationRetriever_) {}

  void PopulateStoreMetadata(const ConsolidatedLotData& consolidatedLotData,
                             const std::function<void(double)>& progress) const override {
    const std::uint32_t storeCount = consolidatedLotData.StoreCount();
    for (std::uint32_t index = 1; index <= storeCount; ++index) {
      const std::uint32_t id = consolidatedLotData.GetStore(index - 1).Id();
      const auto metadata = storeInformationRetriever.TryRetrieveStoreInformation(id);
      if (!metadata) {
        // Which store, and why: the user can open its page, or wait for a slow one.
        throw std::runtime_error("Unable to retrieve store information for store " +
                                 std::to_string(id) + ":\n" +
                                 storeInformationRetriever.LastFailure());
      }
      StoreInformation::SetStoreMetadata(id, *metadata);
      if (index % 3 == 0 || index == storeCount) {
        progress(static_cast<double>(index) / static_cast<double>(storeCount));
      }
    }
  }

 private:
  IStoreInformationRetriever& storeInformationRetriever;
};

}  // namespace

std::unique_ptr<IStoreMetadataPopulator> CreateStoreMetadataPopulator(
    IStoreInformationRetriever& storeInformationRetriever) {
  return std::make_unique<StoreMetadataPopulator>(storeInformationRetriever);
}

}  // namespace Corvalle::BrickLink
