#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Source/Base/BrickLink/SlowPageNotice.h"
#include "Source/Base/BrickLink/StoreInformation.h"

namespace Corvalle::FileDownloader {
class IFileDownloader;
}

namespace Corvalle::BrickLink {

class IStoreMetadataCache;
class IStoreInformationParser;

// Gets one store's name and country, from the cache or from the store's page, which it then
// stores. Used by the search thread only; blocks until the download has ended.
class IStoreInformationRetriever {
 public:
  virtual ~IStoreInformationRetriever() = default;
  IStoreInformationRetriever(const IStoreInformationRetriever&) = delete;
  IStoreInformationRetriever& operator=(const IStoreInformationRetriever&) = delete;

  // Empty when the page could not be downloaded or read (the reason is logged). Database
  // failures throw std::runtime_error.
  virtual std::unique_ptr<const StoreMetadata> TryRetrieveStoreInformation(
      std::uint32_t storeId) = 0;
  // Why the last retrieval that came back empty failed, naming the page: the download's
  // failure or an unreadable page. Empty before any.
  virtual std::string LastFailure() const = 0;

 protected:
  IStoreInformationRetriever() = default;
};

// marketplaceHost: the host (with ":port" when needed) that serves the pages.
std::unique_ptr<IStoreInformationRetriever> CreateStoreInformationRetriever(
    FileDownloader::IFileDownloader& fileDownloader, IStoreMetadataCache& storeMetadataCache,
    const IStoreInformationParser& storeInformationParser, std::string marketplaceHost,
    SlowPageNotice slowPage = {});

}  // namespace Corvalle::BrickLink
