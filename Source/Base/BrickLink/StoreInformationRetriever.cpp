#include "Source/Base/BrickLink/StoreInformationRetriever.h"

#include "Source/Base/BrickLink/PageRetrieval.h"
#include "Source/Base/BrickLink/StoreInformationParser.h"
#include "Source/Base/BrickLink/StoreMetadataCache.h"

namespace Corvalle::BrickLink {

namespace {

class StoreInformationRetriever final : public IStoreInformationRetriever {
 public:
  StoreInformationRetriever(FileDownloader::IFileDownloader& fileDownloader,
                            IStoreMetadataCache& storeMetadataCache_,
                            const IStoreInformationParser& storeInformationParser_,
                            std::string marketplaceHost, SlowPageNotice slowPage)
      : storeMetadataCache(storeMetadataCache_),
        storeInformationParser(storeInformationParser_),
        retrieval(fileDownloader, std::move(marketplaceHost), std::move(slowPage)) {}

  std::unique_ptr<const StoreMetadata> TryRetrieveStoreInformation(std::uint32_t storeId) override {
    StoreMetadata metadata;
    const bool retrieved = retrieval.Retrieve(PageRetrieval::Steps<StoreMetadata>{
        .fromCache = [&] { return storeMetadataCache.TryRetrieveStoreMetadata(storeId, metadata); },
        .path = [storeId] { return "store.asp?sID=" + std::to_string(storeId); },
        .read =
            [this](const std::string& page) {
              return storeInformationParser.ParseStoreInformation(page);
            },
        .store =
            [&](StoreMetadata& parsed) {
              storeMetadataCache.InsertStoreMetadata(storeId, parsed);
              metadata = std::move(parsed);
            },
        .pageKind = "store"});
    return retrieved ? std::make_unique<const StoreMetadata>(std::move(metadata)) : nullptr;
  }

  std::string LastFailure() const override { return retrieval.LastFailure(); }

 private:
  IStoreMetadataCache& storeMetadataCache;
  const IStoreInformationParser& storeInformationParser;
  PageRetrieval retrieval;
};

}  // namespace

std::unique_ptr<IStoreInformationRetriever> CreateStoreInformationRetriever(
    FileDownloader::IFileDownloader& fileDownloader, IStoreMetadataCache& storeMetadataCache,
    const IStoreInformationParser& storeInformationParser, std::string marketplaceHost,
    SlowPageNotice slowPage) {
  return std::make_unique<StoreInformationRetriever>(
      fileDownloader, storeMetadataCache, storeInformationParser, std::move(marketplaceHost),
      std::move(slowPage));
}

}  // namespace Corvalle::BrickLink
