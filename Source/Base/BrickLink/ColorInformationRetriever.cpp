#include "Source/Base/BrickLink/ColorInformationRetriever.h"

#include "Source/Base/BrickLink/ColorInformationCache.h"
#include "Source/Base/BrickLink/ColorInformationParser.h"
#include "Source/Base/BrickLink/PageRetrieval.h"

namespace Corvalle::BrickLink {

namespace {

class ColorInformationRetriever final : public IColorInformationRetriever {
 public:
  ColorInformationRetriever(FileDownloader::IFileDownloader& fileDownloader,
                            IColorInformationCache& colorInformationCache_,
                            const IColorInformationParser& colorInformationParser_,
                            std::string marketplaceHost, SlowPageNotice slowPage)
      : colorInformationCache(colorInformationCache_),
        colorInformationParser(colorInformationParser_),
        retrieval(fileDownloader, std::move(marketplaceHost), std::move(slowPage)) {}

  bool TryPopulateColorInformation() override {
    return retrieval.Retrieve(PageRetrieval::Steps<ColorList>{
        .fromCache = [this] { return colorInformationCache.TryRetrieveColorInformation(); },
        .path = [] { return std::string("catalogColors.asp"); },
        .read =
            [this](const std::string& page) {
              return colorInformationParser.ParseColorInformation(page);
            },
        .store = [this](ColorList& colors) { colorInformationCache.InsertColorData(colors); },
        .pageKind = "colour list"});
  }

 private:
  IColorInformationCache& colorInformationCache;
  const IColorInformationParser& colorInformationParser;
  PageRetrieval retrieval;
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
