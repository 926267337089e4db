#include "ColorInformationRetriever.h"

#include "BrickLink/ColorInformationCache.h"
#include "BrickLink/ColorInformationParser.h"
#include "BrickLink/DownloadWaiter.h"
#include "FileDownloader/FileDownloader.h"

namespace Corvalle::BrickLink {

namespace {

class ColorInformationRetriever final : public IColorInformationRetriever {
 public:
  ColorInformationRetriever(FileDownloader::IFileDownloader& fileDownloader_,
                            IColorInformationCache& colorInformationCache_,
                            const IColorInformationParser& colorInformationParser_,
                            std::string marketplaceHost_, SlowPageNotice slowPage)
      : fileDownloader(fileDownloader_),
        colorInformationCache(colorInformationCache_),
        colorInformationParser(colorInformationParser_),
        marketplaceHost(std::move(marketplaceHost_)),
        waiter(std::move(slowPage)) {}

  bool TryPopulateColorInformation() override {
    if (colorInformationCache.TryRetrieveColorInformation()) {
      return true;
    }
    const auto page =
        waiter.Fetch(fileDownloader, {marketplaceHost, "catalogColors.asp"}, {});
    if (!page) {
      return false;
    }
    const auto colors = colorInformationParser.ParseColorInformation(*page);
    if (!colors) {
      return false;
    }
    colorInformationCache.InsertColorData(*colors);
    return true;
  }

 private:
  FileDownloader::IFileDownloader& fileDownloader;
  IColorInformationCache& colorInformationCache;
  const IColorInformationParser& colorInformationParser;
  const std::string marketplaceHost;
  DownloadWaiter waiter;
};

}  // namespace

std::unique_ptr<IColorInformationRetriever> CreateColorInformationRetriever(
    FileDownloader::IFileDownloader& fileDownloader, IColorInformationCache& colorInformationCache,
    const IColorInformationParser& colorInformationParser, std::string marketplaceHost,
    SlowPageNotice slowPage) {
  return std::make_unique<ColorInformationRetriever>(
      fileDownloader, colorInformationCache, colorInformationParser, std::move(marketplaceHost),
      std::move(slowPage));
}

}  // namespace Corvalle::BrickLink
