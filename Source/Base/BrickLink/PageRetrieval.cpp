#include "Source/Base/BrickLink/PageRetrieval.h"

namespace Corvalle::BrickLink {

PageRetrieval::PageRetrieval(FileDownloader::IFileDownloader& fileDownloader_,
                             std::string marketplaceHost_, SlowPageNotice slowPage)
    : fileDownloader(fileDownloader_),
      marketplaceHost(std::move(marketplaceHost_)),
      waiter(std::move(slowPage)) {}

std::optional<std::string> PageRetrieval::Fetch(const std::string& path,
                                                const FileDownloader::Cookies& cookies) {
  std::optional<std::string> page = waiter.Fetch(fileDownloader, {marketplaceHost, path}, cookies);
  if (!page) {
    lastFailure = waiter.Failure();
  }
  return page;
}

void PageRetrieval::Unreadable(const std::string& pageKind, const std::string& path) {
  lastFailure = "The " + pageKind + " page " + marketplaceHost + "/" + path + " could not be read";
}

}  // namespace Corvalle::BrickLink
