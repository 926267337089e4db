#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Source/Base/BrickLink/SlowPageNotice.h"
#include "Source/Base/Corvalle.h"

namespace Corvalle::FileDownloader {
class IFileDownloader;
}

namespace Corvalle::BrickLink {

class IPriceGuideCache;
class IPriceGuideParser;

// Gets an item's price guides in both conditions: from the cache when it holds them, otherwise
// from the item's price guide page, which it then stores in the cache. Used by one thread at a
// time (the search thread); blocks until the download has ended.
class IPriceGuideRetriever {
 public:
  virtual ~IPriceGuideRetriever() = default;
  IPriceGuideRetriever(const IPriceGuideRetriever&) = delete;
  IPriceGuideRetriever& operator=(const IPriceGuideRetriever&) = delete;

  // True when the item holds both guides. False when the page could not be downloaded or read
  // (the reason is logged); the item's guides are then incomplete. Throws std::logic_error
  // "Unsupported type: N" for an item without type letter, and std::runtime_error when the
  // database fails.
  virtual bool TryPopulatePriceGuides(Item& item) = 0;
  // Why the last retrieval that returned false failed, naming the page: the download's failure
  // ("Timeout error: no complete page from ...") or an unreadable page. Empty before any.
  virtual std::string LastFailure() const = 0;

 protected:
  IPriceGuideRetriever() = default;
};

// The buyer's country identifier and the display currency's number are sent as the cookies
// "isCountryID" and "viewCurrencyID" with every request; the currency also keys the cache.
// marketplaceHost: the host (with ":port" when needed) that serves the pages.
std::unique_ptr<IPriceGuideRetriever> CreatePriceGuideRetriever(
    FileDownloader::IFileDownloader& fileDownloader, IPriceGuideCache& priceGuideCache,
    const IPriceGuideParser& priceGuideParser, const std::string& countryId,
    std::uint32_t currencyId, std::string marketplaceHost, SlowPageNotice slowPage = {});

// The path and query of an item's price guide page: the colour only for parts. Bytes that
// would break the request line or the query are percent-encoded; ordinary ids stay as they are.
std::string PriceGuidePath(const Item& item);

}  // namespace Corvalle::BrickLink
