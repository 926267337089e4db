#include "ColorInformationRetriever.h"

#include "BrickLink/ColorInformationCache.h"
#include "BrickLink/ColorInformationParser.h"
#include "BrickLink/DownloadWaiter.h"
#include "BrickLink/MarketplaceHost.h"
#include "FileDownloader/FileDownloader.h"

namespace Corvalle::BrickLink {

namespace {

class ColorInformationRetriever final : public IColorInformationRetriever {
 public:
  ColorInformationRetriever(FileDownloader::IFileDownloader& fileDownloader_,
                            IColorInformationCache& colorInformationCache_,
                            const IColorInformationParser& colorInformationParser_)
      : fileDownloader(fileDownloader_),
        colorInformationCache(colorInformationCache_),
        colorInformationParser(colorInformationParser_) {}

  bool TryPopulateColorInformation() override {
    if (colorInformationCache.TryRetrieveColorInformation()) {
      return true;
    }
    const auto page =
        waiter.Fetch(fileDownloader, {GetMarketplaceHost(), "catalogColors.asp"}, {});
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
  DownloadWaiter waiter;
};

}  // namespace

std::unique_ptr<IColorInformationRetriever> CreateColorInformationRetriever(
    FileDownloader::IFileDownloader& fileDownloader, IColorInformationCache& colorInformationCache,
    const IColorInformationParser& colorInformationParser) {
  return std::make_unique<ColorInformationRetriever>(fileDownloader, colorInformationCache,
                                                     colorInformationParser);
}

}  // namespace Corvalle::BrickLink
