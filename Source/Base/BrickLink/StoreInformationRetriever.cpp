#include "StoreInformationRetriever.h"

#include <boost/log/trivial.hpp>
#include <sstream>

#include "BrickLink/DownloadWaiter.h"
#include "BrickLink/MarketplaceHost.h"
#include "BrickLink/StoreInformationParser.h"
#include "BrickLink/StoreMetadataCache.h"
#include "FileDownloader/FileDownloader.h"

namespace Corvalle::BrickLink {

namespace {

using namespace std::chrono_literals;

class StoreInformationRetriever final : public IStoreInformationRetriever {
 public:
  StoreInformationRetriever(FileDownloader::IFileDownloader& fileDownloader_,
                            IStoreMetadataCache& storeMetadataCache_,
                            const IStoreInformationParser& storeInformationParser_)
      : fileDownloader(fileDownloader_),
        storeMetadataCache(storeMetadataCache_),
        storeInformationParser(storeInformationParser_) {}

  std::unique_ptr<const StoreMetadata> TryRetrieveStoreInformation(std::uint32_t storeId) override {
    StoreMetadata metadata;
    if (storeMetadataCache.TryRetrieveStoreMetadata(storeId, metadata)) {
      return std::make_unique<const StoreMetadata>(std::move(metadata));
    }
    const FileDownloader::Url url{GetMarketplaceHost(), "store.asp?sID=" + std::to_string(storeId)};
    BOOST_LOG_TRIVIAL(debug) << url.host << "/" << url.path;
    std::ostringstream page;
    waiter.ExpectDownload(url.host + "/" + url.path);
    fileDownloader.Download(url, page, waiter.Callback());
    if (!waiter.WaitForEnd(10ms)) {
      return nullptr;
    }
    auto parsed = storeInformationParser.ParseStoreInformation(page.str());
    if (!parsed) {
      return nullptr;
    }
    storeMetadataCache.InsertStoreMetadata(storeId, *parsed);
    return std::make_unique<const StoreMetadata>(std::move(*parsed));
  }

 private:
  FileDownloader::IFileDownloader& fileDownloader;
  IStoreMetadataCache& storeMetadataCache;
  const IStoreInformationParser& storeInformationParser;
  DownloadWaiter waiter;
};

}  // namespace

std::unique_ptr<IStoreInformationRetriever> CreateStoreInformationRetriever(
    FileDownloader::IFileDownloader& fileDownloader, IStoreMetadataCache& storeMetadataCache,
    const IStoreInformationParser& storeInformationParser) {
  return std::make_unique<StoreInformationRetriever>(fileDownloader, storeMetadataCache,
                                                     storeInformationParser);
}

}  // namespace Corvalle::BrickLink
