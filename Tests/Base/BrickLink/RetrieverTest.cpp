// The retrievers against the local marketplace server, with the caches in a temporary data
// directory: what they ask for, what they make of the answers, and when they ask nothing. That
// a second search asks nothing at all, colours and stores included, is CostFinderTest's; how
// each page reads is its parser's test's.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>

#include "Source/Base/BrickLink/ColorInformationCache.h"
#include "Source/Base/BrickLink/ColorInformationParser.h"
#include "Source/Base/BrickLink/ColorInformationRetriever.h"
#include "Source/Base/BrickLink/PriceGuideCache.h"
#include "Source/Base/BrickLink/PriceGuideParser.h"
#include "Source/Base/BrickLink/PriceGuideRetriever.h"
#include "Source/Base/BrickLink/StoreInformationParser.h"
#include "Source/Base/BrickLink/StoreInformationRetriever.h"
#include "Source/Base/BrickLink/StoreMetadataCache.h"
#include "Tests/Support/ExceptionMessage.h"
#include "Source/Base/FileDownloader/FileDownloader.h"
#include "Tests/Support/LiveMarketplace.h"
#include "Tests/Support/LogCapture.h"

namespace Corvalle::BrickLink {
namespace {

using Marketplace::Fault;
using namespace std::chrono_literals;

constexpr const char* kWorld = R"({
  "rates": {"1": 1.0, "2": 0.5},
  "colors": [{"id": 11, "name": "Black", "rgb": "212121"}, {"id": 5, "name": "Red", "rgb": "C91A09"}],
  "stores": [
    {"id": 1001, "name": "Bricks & More", "countryId": "DE"},
    {"id": 1002, "name": "Joe's <Bricks>", "countryId": "US", "shipsTo": ["US", "CA"]},
    {"id": 1003, "name": "Far Away", "countryId": "XX"}
  ],
  "priceGuides": [
    {"type": "P", "id": "3001", "color": 11,
     "new": [{"store": 1001, "quantity": 10, "price": 0.12}, {"store": 1002, "quantity": 4, "price": 0.1}],
     "used": [{"store": 1002, "quantity": 30, "price": 0.05}]},
    {"type": "P", "id": "3001", "color": 5,
     "new": [{"store": 1001, "quantity": 2, "price": 2468.0}], "used": []},
    {"type": "S", "id": "6020-1",
     "new": [{"store": 1003, "quantity": 1, "price": 25.0}],
     "used": [{"store": 1001, "quantity": 1, "price": 15.0}]}
  ]
})";

class RetrieverTest : public ::testing::Test {
 protected:
  std::size_t Requests() const { return server.RequestCount(); }

  Testing::LiveMarketplace marketplace{kWorld};
  Marketplace::MarketplaceServer& server = marketplace.Server();
  std::unique_ptr<FileDownloader::IFileDownloader> downloader =
      FileDownloader::CreateFileDownloader({2000ms, 2000ms});
};

// That a guide, one-sided ones too, is served from the cache within the hour is
// CostFinderTest's second search, which asks the marketplace nothing.
TEST_F(RetrieverTest, PriceGuidesAreRequestedWithCookies) {
  const auto parser = CreatePriceGuideParser();
  PriceGuideCache cache;
  const auto retriever = CreatePriceGuideRetriever(*downloader, cache, *parser, "CA", 2,
                                                server.HostAndPort());

  Item part(ItemType::Part, "3001", "3001", 11, Condition::New, 5);
  ASSERT_TRUE(retriever->TryPopulatePriceGuides(part));
  ASSERT_EQ(Requests(), 1u);
  const auto request = server.RequestLog()[0];
  EXPECT_EQ(request.target,
            "/catalogPG.asp?itemSeq=1&v=P&priceGroup=Y&prDec=2&itemType=P&itemNo=3001&colorID=11");
  EXPECT_EQ(request.cookieHeader, "isCountryID=CA;viewCurrencyID=2;");
  EXPECT_EQ(request.Header("Host"), server.HostAndPort());
  // Prices are in the requested currency, cheapest first as the page lists them.
  EXPECT_EQ(part.PriceGuideNew().GetLots(), (PriceGuide::Lots{{1002, 4, 0.05}, {1001, 10, 0.06}}));
  EXPECT_EQ(part.PriceGuideUsed().GetLots(), (PriceGuide::Lots{{1002, 30, 0.025}}));

  // A set carries no colour; a price of thousands keeps its grouping.
  Item set(ItemType::Set, "6020-1", "6020-1", 0, Condition::New, 1);
  ASSERT_TRUE(retriever->TryPopulatePriceGuides(set));
  EXPECT_EQ(server.RequestLog().back().target,
            "/catalogPG.asp?itemSeq=1&v=P&priceGroup=Y&prDec=2&itemType=S&itemNo=6020-1");
  Item red(ItemType::Part, "3001", "3001", 5, Condition::New, 1);
  ASSERT_TRUE(retriever->TryPopulatePriceGuides(red));
  EXPECT_EQ(red.PriceGuideNew().GetLots(), (PriceGuide::Lots{{1001, 2, 1234.0}}));
  EXPECT_TRUE(red.PriceGuideUsed().IsEmpty());

  // Stores that do not ship to the buyer are left out: 1002 ships to the US and Canada only.
  const auto german = CreatePriceGuideRetriever(*downloader, cache, *parser, "DE", 2,
                                                server.HostAndPort());
  Item inGermany(ItemType::Part, "3001", "3001", 11, Condition::New, 5);
  ASSERT_TRUE(german->TryPopulatePriceGuides(inGermany));
  EXPECT_EQ(server.RequestLog().back().cookieHeader, "isCountryID=DE;viewCurrencyID=2;");
  EXPECT_EQ(inGermany.PriceGuideNew().GetLots(), (PriceGuide::Lots{{1001, 10, 0.06}}));
  EXPECT_TRUE(inGermany.PriceGuideUsed().IsEmpty());
}

// One page that does not come and one that does not read for each retriever; how the downloader
// and the parsers tell them is their own tests' part. (A page with a price the cache cannot keep
// is unreadable to the parser, PriceGuideParserTest, and meets the same path as a cut one.)
TEST_F(RetrieverTest, PagesThatDoNotComeOrDoNotReadAreNeitherUsedNorCached) {
  const auto colorParser = CreateColorInformationParser();
  const auto guideParser = CreatePriceGuideParser();
  const auto storeParser = CreateStoreInformationParser();
  ColorInformationCache colorCache;
  PriceGuideCache guideCache;
  StoreMetadataCache storeCache;
  const std::string host = server.HostAndPort();
  const auto colors = CreateColorInformationRetriever(*downloader, colorCache, *colorParser, host);
  const auto guides =
      CreatePriceGuideRetriever(*downloader, guideCache, *guideParser, "US", 1, host);
  const auto stores = CreateStoreInformationRetriever(*downloader, storeCache, *storeParser, host);
  Item part(ItemType::Part, "3001", "3001", 11, Condition::New, 1);
  const PriceGuideRequest dollars{"US", 1};
  StoreMetadata metadata;
  struct Retriever {
    std::function<bool()> retrieve;
    std::function<bool()> cached;
    std::function<std::string()> lastFailure;  // empty for the colours, which keep none
  };
  const Retriever colorRetriever{[&] { return colors->TryPopulateColorInformation(); },
                                 [&] { return colorCache.TryRetrieveColorInformation(); },
                                 {}};
  const Retriever guideRetriever{[&] { return guides->TryPopulatePriceGuides(part); },
                                 [&] { return guideCache.TryRetrievePriceGuide(part, dollars); },
                                 [&] { return guides->LastFailure(); }};
  const Retriever storeRetriever{
      [&] { return stores->TryRetrieveStoreInformation(1001) != nullptr; },
      [&] { return storeCache.TryRetrieveStoreMetadata(1001, metadata); },
      [&] { return stores->LastFailure(); }};
  const std::string guidePage = host + "/" + PriceGuidePath(part);
  struct Case {
    const char* pattern;
    Fault fault;
    const Retriever& retriever;
    std::string failure;  // a part of LastFailure
    std::string logged;   // a part of a log record
  };
  const Case cases[] = {
      {"catalogColors", Fault::Status(503), colorRetriever, "",
       "error: Error retrieving " + host + "/catalogColors.asp (Error downloading"},
      // Without a length, a connection closed early looks like a whole page to the download.
      {"catalogColors", Fault::CutWithoutLength(10), colorRetriever, "", ""},
      {"itemNo=3001", Fault::Status(503), guideRetriever, "Error downloading " + guidePage, ""},
      {"itemNo=3001", Fault::CutWithoutLength(90), guideRetriever,
       "The price guide page " + guidePage + " could not be read",
       "error: Unreadable price guide page for "},
      {"sID=1001", Fault::Status(503), storeRetriever,
       "Error downloading " + host + "/store.asp?sID=1001", ""},
      {"sID=1001", Fault::CutWithoutLength(95), storeRetriever,
       "The store page " + host + "/store.asp?sID=1001 could not be read", ""},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(std::string(test.pattern) + " " + test.failure);
    server.SetFault(test.pattern, test.fault);
    const std::size_t before = Requests();
    const Testing::LogCapture log;
    EXPECT_FALSE(test.retriever.retrieve());
    EXPECT_EQ(Requests(), before + 1);
    EXPECT_FALSE(test.retriever.cached());
    if (test.retriever.lastFailure) {
      EXPECT_NE(test.retriever.lastFailure().find(test.failure), std::string::npos)
          << test.retriever.lastFailure();
    }
    bool logged = false;
    for (const std::string& record : log.Records()) {
      logged |= record.find(test.logged) != std::string::npos;
    }
    EXPECT_TRUE(logged || test.logged.empty());
    server.ClearFaults();
  }
  // Nothing was kept from the failures: the next retrievals ask again and succeed.
  EXPECT_TRUE(colorRetriever.retrieve());
  EXPECT_TRUE(guideRetriever.retrieve());
  EXPECT_TRUE(storeRetriever.retrieve());
  EXPECT_EQ(Requests(), std::size(cases) + 3);

  Item invalid(ItemType::Invalid, "3001", "3001", 11, Condition::New, 1);
  EXPECT_EQ(Testing::MessageOf<std::logic_error>([&] { guides->TryPopulatePriceGuides(invalid); }),
            "Unsupported type: 8");
}

TEST_F(RetrieverTest, ItemIdsCannotAddParametersOrHeaders) {
  Item odd(ItemType::Part, "30 01&colorID=5\r\nX: y", "odd", 11, Condition::New, 1);
  EXPECT_EQ(PriceGuidePath(odd),
            "catalogPG.asp?itemSeq=1&v=P&priceGroup=Y&prDec=2&itemType=P&itemNo=30%2001%26colorID=5"
            "%0D%0AX:%20y&colorID=11");
  const auto parser = CreatePriceGuideParser();
  PriceGuideCache cache;
  const auto retriever = CreatePriceGuideRetriever(*downloader, cache, *parser, "US", 1,
                                                server.HostAndPort());
  EXPECT_FALSE(retriever->TryPopulatePriceGuides(odd));
  ASSERT_EQ(Requests(), 1u);
  const auto request = server.RequestLog()[0];
  EXPECT_EQ(request.Query("itemNo"), "30 01&colorID=5\r\nX: y");
  EXPECT_EQ(request.Query("colorID"), "11");
  EXPECT_EQ(request.Header("X"), "");
}

}  // namespace
}  // namespace Corvalle::BrickLink
