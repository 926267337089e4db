#pragma once

#include <memory>
#include <string>

#include "Source/Base/BrickLink/SlowPageNotice.h"

namespace Corvalle::FileDownloader {
class IFileDownloader;
}

namespace Corvalle::BrickLink {

class IColorInformationCache;
class IColorInformationParser;

// Fills the process-wide colour table, from the cache when it holds a recent list, otherwise
// from the marketplace's colour list page, which it then stores. Runs on the search thread,
// before any other thread reads the colour table.
class IColorInformationRetriever {
 public:
  virtual ~IColorInformationRetriever() = default;
  IColorInformationRetriever(const IColorInformationRetriever&) = delete;
  IColorInformationRetriever& operator=(const IColorInformationRetriever&) = delete;

  // True when the table was filled (a page without colours counts); false when the page could
  // not be downloaded or read. Database failures throw std::runtime_error.
  virtual bool TryPopulateColorInformation() = 0;

 protected:
  IColorInformationRetriever() = default;
};

// marketplaceHost: the host (with ":port" when needed) that serves the pages.
std::unique_ptr<IColorInformationRetriever> CreateColorInformationRetriever(
    FileDownloader::IFileDownloader& fileDownloader, IColorInformationCache& colorInformationCache,
    const IColorInformationParser& colorInformationParser, std::string marketplaceHost,
    SlowPageNotice slowPage = {});

}  // namespace Corvalle::BrickLink
