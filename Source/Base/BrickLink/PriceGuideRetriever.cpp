#include "Source/Base/BrickLink/PriceGuideRetriever.h"

#include <boost/log/trivial.hpp>
#include <stdexcept>

#include "Source/Base/BrickLink/PageRetrieval.h"
#include "Source/Base/BrickLink/PriceGuideCache.h"
#include "Source/Base/BrickLink/PriceGuideParser.h"

namespace Corvalle::BrickLink {

namespace {

std::string ItemTypeParameter(ItemType type) {
  if (static_cast<std::uint32_t>(type) >= static_cast<std::uint32_t>(ItemType::Invalid)) {
    throw std::logic_error("Unsupported type: " +
                           std::to_string(static_cast<std::uint32_t>(type)));
  }
  return std::string("&itemType=") + ToCharacter(type);
}

// An id from a user's file must not end the request line, add a header or another parameter.
std::string EncodeQueryValue(const std::string& value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char character : value) {
    const auto byte = static_cast<unsigned char>(character);
    if (byte <= 0x20 || byte >= 0x7F || byte == '%' || byte == '&' || byte == '#' || byte == '+') {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    } else {
      encoded += character;
    }
  }
  return encoded;
}

class PriceGuideRetriever final : public IPriceGuideRetriever {
 public:
  PriceGuideRetriever(FileDownloader::IFileDownloader& fileDownloader,
                      IPriceGuideCache& priceGuideCache_,
                      const IPriceGuideParser& priceGuideParser_, const std::string& countryId,
                      std::uint32_t currencyId_, std::string marketplaceHost,
                      SlowPageNotice slowPage)
      : priceGuideCache(priceGuideCache_),
        priceGuideParser(priceGuideParser_),
        cookies{{"isCountryID", countryId}, {"viewCurrencyID", std::to_string(currencyId_)}},
        request{countryId, currencyId_},
        retrieval(fileDownloader, std::move(marketplaceHost), std::move(slowPage)) {}

  bool TryPopulatePriceGuides(Item& item) override {
    return retrieval.Retrieve(PageRetrieval::Steps<PriceGuidePair>{
        .fromCache = [&] { return priceGuideCache.TryRetrievePriceGuide(item, request); },
        .path = [&] { return PriceGuidePath(item); },
        .cookies = cookies,
        .read = [&](const std::string& page) -> std::optional<PriceGuidePair> {
          auto guides = priceGuideParser.ParsePriceGuide(page, true);
          if (!guides.first || !guides.second) {
            BOOST_LOG_TRIVIAL(error) << "Unreadable price guide page for " << DescribeItem(item);
            return std::nullopt;
          }
          return guides;
        },
        .store =
            [&](PriceGuidePair& guides) {
              item.SetPriceGuideNew(std::move(guides.first));
              item.SetPriceGuideUsed(std::move(guides.second));
              priceGuideCache.InsertPriceGuide(item, request);
            },
        .pageKind = "price guide"});
  }

  std::string LastFailure() const override { return retrieval.LastFailure(); }

 private:
  IPriceGuideCache& priceGuideCache;
  const IPriceGuideParser& priceGuideParser;
  const FileDownloader::Cookies cookies;
  const PriceGuideRequest request;
  PageRetrieval retrieval;
};

}  // namespace

std::string PriceGuidePath(const Item& item) {
  std::string path = "catalogPG.asp?itemSeq=1&v=P&priceGroup=Y&prDec=2";
  path += ItemTypeParameter(item.Type());
  path += "&itemNo=" + EncodeQueryValue(item.Id());
  if (item.Type() == ItemType::Part) {
    path += "&colorID=" + std::to_string(item.Color().Id());
  }
  return path;
}

std::unique_ptr<IPriceGuideRetriever> CreatePriceGuideRetriever(
    FileDownloader::IFileDownloader& fileDownloader, IPriceGuideCache& priceGuideCache,
    const IPriceGuideParser& priceGuideParser, const std::string& countryId,
    std::uint32_t currencyId, std::string marketplaceHost, SlowPageNotice slowPage) {
  return std::make_unique<PriceGuideRetriever>(fileDownloader, priceGuideCache, priceGuideParser,
                                               countryId, currencyId, std::move(marketplaceHost),
                                               std::move(slowPage));
}

}  // namespace Corvalle::BrickLink
