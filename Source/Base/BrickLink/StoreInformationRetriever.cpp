#include "StoreInformationRetriever.h"

#include "BrickLink/DownloadWaiter.h"
#include "BrickLink/StoreInformationParser.h"
#include "BrickLink/StoreMetadataCache.h"
#include "FileDownloader/FileDownloader.h"

namespace Corvalle::BrickLink {

namespace {

class StoreInformationRetriever final : public IStoreInformationRetriever {
 public:
  StoreInformationRetriever(FileDownloader::IFileDownloader& fileDownloader_,
                            IStoreMetadataCache& storeMetadataCache_,
                            const IStoreInformationParser& storeInformationParser_,
                            std::string marketplaceHost_, SlowPageNotice slowPage)
      : fileDownloader(fileDownloader_),
        storeMetadataCache(storeMetadataCache_),
        storeInformationParser(storeInformationParser_),
        marketplaceHost(std::move(marketplaceHost_)),
        waiter(std::move(slowPage)) {}

  std::unique_ptr<const StoreMetadata> TryRetrieveStoreInformation(std::uint32_t storeId) override {
    StoreMetadata metadata;
    if (storeMetadataCache.TryRetrieveStoreMetadata(storeId, metadata)) {
      return std::make_unique<const StoreMetadata>(std::move(metadata));
    }
    const std::string path = "store.asp?sID=" + std::to_string(storeId);
    const auto page = waiter.Fetch(fileDownloader, {marketplaceHost, path}, {});
    if (!page) {
      lastFailure = waiter.Failure();
      return nullptr;
    }
    auto parsed = storeInformationParser.ParseStoreInformation(*page);
    if (!parsed) {
      lastFailure = "The store page " + marketplaceHost + "/" + path + " could not be read";
      return nullptr;
    }
    storeMetadataCache.InsertStoreMetadata(storeId, *parsed);
    return std::make_unique<const StoreMetadata>(std::move(*parsed));
  }

  std::string LastFailure() const override { return lastFailure; }

 private:
  FileDownloader::IFileDownloader& fileDownloader;
  IStoreMetadataCache& storeMetadataCache;
  const IStoreInformationParser& storeInformationParser;
  const std::string marketplaceHost;
  DownloadWaiter waiter;
  std::string lastFailure;
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
