// The retrievers against the local marketplace server, with the caches in a temporary data
// directory: what they ask for, what they make of the answers, and when they ask nothing.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>

#include "BrickLink/ColorInformationCache.h"
#include "BrickLink/ColorInformationParser.h"
#include "BrickLink/ColorInformationRetriever.h"
#include "BrickLink/PriceGuideCache.h"
#include "BrickLink/PriceGuideParser.h"
#include "BrickLink/PriceGuideRetriever.h"
#include "BrickLink/StoreInformationParser.h"
#include "BrickLink/StoreInformationRetriever.h"
#include "BrickLink/StoreMetadataCache.h"
#include "FileDownloader/FileDownloader.h"
#include "LiveMarketplace.h"
#include "LogCapture.h"

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
     "used": [{"store": 1001, "quantity": 1, "price": 15.0}]},
    {"type": "P", "id": "3002", "color": 11,
     "new": [{"store": 1001, "quantity": 1, "price": 0.5}],
     "used": [{"store": 1003, "quantity": 1, "price": 2000000000000000.0}]}
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

TEST_F(RetrieverTest, ColoursComeFromThePageOnceAndFromTheCacheAfter) {
  const auto parser = CreateColorInformationParser();
  {
    ColorInformationCache cache;
    const auto retriever =
        CreateColorInformationRetriever(*downloader, cache, *parser, server.HostAndPort());
    EXPECT_TRUE(retriever->TryPopulateColorInformation());
    ASSERT_EQ(Requests(), 1u);
    EXPECT_EQ(server.RequestLog()[0].target, "/catalogColors.asp");
    EXPECT_EQ(ColorInformation(5).Name(), "Red");
    EXPECT_EQ(ColorInformation(11).Rgb(), 0x212121u);
  }
  ColorInformation::SetColorData(5, "changed in memory", 0);
  ColorInformationCache cache;
  const auto retriever =
      CreateColorInformationRetriever(*downloader, cache, *parser, server.HostAndPort());
  EXPECT_TRUE(retriever->TryPopulateColorInformation());
  EXPECT_TRUE(retriever->TryPopulateColorInformation());
  EXPECT_EQ(Requests(), 1u) << "the cached list must be used";
  EXPECT_EQ(ColorInformation(5).Name(), "Red");
}

TEST_F(RetrieverTest, ColourFailuresAreReported) {
  const auto parser = CreateColorInformationParser();
  ColorInformationCache cache;
  const auto retriever =
      CreateColorInformationRetriever(*downloader, cache, *parser, server.HostAndPort());
  Testing::LogCapture log;
  server.SetFault("catalogColors", Fault::Status(503));
  EXPECT_FALSE(retriever->TryPopulateColorInformation());
  bool logged = false;
  for (const std::string& record : log.Records()) {
    logged |= record.rfind("error: Error retrieving " + server.HostAndPort() +
                               "/catalogColors.asp (Error downloading",
                           0) == 0;
  }
  EXPECT_TRUE(logged);
  // An empty page is no colour list, and nothing is stored from it.
  server.SetFault("catalogColors", Fault::EmptyBody());
  EXPECT_FALSE(retriever->TryPopulateColorInformation());
  server.ClearFaults();
  EXPECT_TRUE(retriever->TryPopulateColorInformation());
}

TEST_F(RetrieverTest, PriceGuidesAreRequestedWithCookiesAndCached) {
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

  // Within the hour the same item costs no request.
  Item again(ItemType::Part, "3001", "3001", 11, Condition::Used, 1);
  ASSERT_TRUE(retriever->TryPopulatePriceGuides(again));
  EXPECT_EQ(Requests(), 1u);
  EXPECT_EQ(again.PriceGuideNew().GetLots(), part.PriceGuideNew().GetLots());

  // A set carries no colour; a price of thousands keeps its grouping.
  Item set(ItemType::Set, "6020-1", "6020-1", 0, Condition::New, 1);
  ASSERT_TRUE(retriever->TryPopulatePriceGuides(set));
  EXPECT_EQ(server.RequestLog().back().target,
            "/catalogPG.asp?itemSeq=1&v=P&priceGroup=Y&prDec=2&itemType=S&itemNo=6020-1");
  Item red(ItemType::Part, "3001", "3001", 5, Condition::New, 1);
  ASSERT_TRUE(retriever->TryPopulatePriceGuides(red));
  EXPECT_EQ(red.PriceGuideNew().GetLots(), (PriceGuide::Lots{{1001, 2, 1234.0}}));
  EXPECT_TRUE(red.PriceGuideUsed().IsEmpty());
  // A guide with lots in one condition only is served from the cache like any other.
  const std::size_t before = Requests();
  Item redAgain(ItemType::Part, "3001", "3001", 5, Condition::Used, 1);
  ASSERT_TRUE(retriever->TryPopulatePriceGuides(redAgain));
  EXPECT_EQ(Requests(), before);
  EXPECT_EQ(redAgain.PriceGuideNew().GetLots(), red.PriceGuideNew().GetLots());
  EXPECT_TRUE(redAgain.PriceGuideUsed().IsEmpty());

  // Stores that do not ship to the buyer are left out: 1002 ships to the US and Canada only.
  const auto german = CreatePriceGuideRetriever(*downloader, cache, *parser, "DE", 2,
                                                server.HostAndPort());
  Item inGermany(ItemType::Part, "3001", "3001", 11, Condition::New, 5);
  ASSERT_TRUE(german->TryPopulatePriceGuides(inGermany));
  EXPECT_EQ(server.RequestLog().back().cookieHeader, "isCountryID=DE;viewCurrencyID=2;");
  EXPECT_EQ(inGermany.PriceGuideNew().GetLots(), (PriceGuide::Lots{{1001, 10, 0.06}}));
  EXPECT_TRUE(inGermany.PriceGuideUsed().IsEmpty());
}

TEST_F(RetrieverTest, PriceGuideFailures) {
  const auto parser = CreatePriceGuideParser();
  PriceGuideCache cache;
  const auto retriever = CreatePriceGuideRetriever(*downloader, cache, *parser, "US", 1,
                                                server.HostAndPort());
  Item unknown(ItemType::Part, "99999", "99999", 11, Condition::New, 1);
  EXPECT_FALSE(retriever->TryPopulatePriceGuides(unknown));

  for (const Fault& fault : {Fault::EmptyBody(), Fault::GarbagePage(), Fault::CloseMidBody(),
                             Fault::InvalidStatusLine()}) {
    server.SetFault("itemNo=3001", fault);
    Item item(ItemType::Part, "3001", "3001", 11, Condition::New, 1);
    EXPECT_FALSE(retriever->TryPopulatePriceGuides(item));
    EXPECT_TRUE(item.PriceGuideNew().IsEmpty());
  }
  server.ClearFaults();
  // Nothing was cached from the failures: the next retrieval asks again and succeeds.
  const std::size_t before = Requests();
  Item item(ItemType::Part, "3001", "3001", 11, Condition::New, 1);
  EXPECT_TRUE(retriever->TryPopulatePriceGuides(item));
  EXPECT_EQ(Requests(), before + 1);

  Item invalid(ItemType::Invalid, "3001", "3001", 11, Condition::New, 1);
  try {
    retriever->TryPopulatePriceGuides(invalid);
    ADD_FAILURE() << "no exception";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "Unsupported type: 8");
  }
}

TEST_F(RetrieverTest, APriceTheCacheCannotStoreFailsTheRetrievalAndStoresNothing) {
  const auto parser = CreatePriceGuideParser();
  PriceGuideCache cache;
  // In dollars the used lot is beyond what the cache can hold; at half a dollar per unit of
  // currency 2 it is 1.0e15, still beyond.
  for (const std::uint32_t currency : {1u, 2u}) {
    const auto retriever = CreatePriceGuideRetriever(*downloader, cache, *parser, "US", currency,
                                                server.HostAndPort());
    for (int attempt = 0; attempt < 2; ++attempt) {
      const std::size_t before = Requests();
      Item item(ItemType::Part, "3002", "3002", 11, Condition::New, 1);
      Testing::LogCapture log;
      EXPECT_FALSE(retriever->TryPopulatePriceGuides(item)) << currency;
      EXPECT_EQ(Requests(), before + 1) << "nothing was cached, so each attempt asks again";
      EXPECT_TRUE(item.PriceGuideNew().IsEmpty());
      bool logged = false;
      for (const std::string& record : log.Records()) {
        logged |= record.find("Lot price out of range") != std::string::npos;
      }
      EXPECT_TRUE(logged) << currency;
    }
  }
  Item item(ItemType::Part, "3002", "3002", 11, Condition::New, 1);
  EXPECT_FALSE(cache.TryRetrievePriceGuide(item, {"US", 1}));
}

TEST_F(RetrieverTest, CutPagesAndHostileNumbersAreNeitherUsedNorCached) {
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
  StoreMetadata metadata;
  const std::function<bool()> retrieveColors = [&] {
    return colors->TryPopulateColorInformation();
  };
  const std::function<bool()> retrieveGuide = [&] { return guides->TryPopulatePriceGuides(part); };
  const std::function<bool()> retrieveStore = [&] {
    return stores->TryRetrieveStoreInformation(1001) != nullptr;
  };
  const std::function<bool()> colorsCached = [&] {
    return colorCache.TryRetrieveColorInformation();
  };
  const std::function<bool()> guideCached = [&] {
    return guideCache.TryRetrievePriceGuide(part, {"US", 1});
  };
  const std::function<bool()> storeCached = [&] {
    return storeCache.TryRetrieveStoreMetadata(1001, metadata);
  };
  struct Case {
    const char* what;
    const char* pattern;
    Fault fault;
    const std::function<bool()>& retrieve;
    const std::function<bool()>& cached;
  };
  const Case cases[] = {
      // Without a length, a connection closed early looks like a whole page to the download.
      {"colours cut at a tenth", "catalogColors", Fault::CutWithoutLength(10), retrieveColors,
       colorsCached},
      {"colours cut near their end", "catalogColors", Fault::CutWithoutLength(97), retrieveColors,
       colorsCached},
      {"price guide cut", "itemNo=3001", Fault::CutWithoutLength(90), retrieveGuide, guideCached},
      {"store page cut", "sID=1001", Fault::CutWithoutLength(95), retrieveStore, storeCached},
      // Numbers that were read as others: a quantity stored as a negative one, a price without
      // its sign.
      {"quantity beyond 31 bits", "itemNo=3001",
       Fault::Rewrite("<TD>10</TD>", "<TD>2147483648</TD>"), retrieveGuide, guideCached},
      {"negative price", "itemNo=3001", Fault::Rewrite("$0.1200", "$-0.1200"), retrieveGuide,
       guideCached},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    server.SetFault(test.pattern, test.fault);
    const std::size_t before = Requests();
    EXPECT_FALSE(test.retrieve());
    EXPECT_EQ(Requests(), before + 1);
    EXPECT_FALSE(test.cached());
    server.ClearFaults();
  }
  // The reason names the page.
  EXPECT_EQ(guides->LastFailure(),
            "The price guide page " + host + "/" + PriceGuidePath(part) + " could not be read");
  EXPECT_EQ(stores->LastFailure(),
            "The store page " + host + "/store.asp?sID=1001 could not be read");
  EXPECT_TRUE(retrieveGuide());
  EXPECT_TRUE(retrieveStore());
}

TEST_F(RetrieverTest, AStoreNamedWithControlCharactersIsReadAndKeptAsNamed) {
  const auto parser = CreateStoreInformationParser();
  StoreMetadataCache cache;
  const auto retriever =
      CreateStoreInformationRetriever(*downloader, cache, *parser, server.HostAndPort());
  // Raw in the title and in the heading that repeats it: line breaks, a form feed, a bell,
  // an escape sequence, a right-to-left override.
  const std::string name = "Bricks\r\n\f\a\x1B[31m\xE2\x80\xAE More\x7F";
  server.SetFault("sID=1001", Fault::Rewrite("Bricks &amp; More", name));
  const auto store = retriever->TryRetrieveStoreInformation(1001);
  ASSERT_TRUE(store) << retriever->LastFailure();
  EXPECT_EQ(*store, (StoreMetadata{name, "DE"}));
  StoreMetadata cached;
  ASSERT_TRUE(cache.TryRetrieveStoreMetadata(1001, cached));
  EXPECT_EQ(cached, *store);
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

TEST_F(RetrieverTest, StoresComeFromTheirPageOnceAndFromTheCacheAfter) {
  const auto parser = CreateStoreInformationParser();
  StoreMetadataCache cache;
  const auto retriever = CreateStoreInformationRetriever(*downloader, cache, *parser, server.HostAndPort());
  const auto bricks = retriever->TryRetrieveStoreInformation(1001);
  ASSERT_TRUE(bricks);
  EXPECT_EQ(*bricks, (StoreMetadata{"Bricks & More", "DE"}));
  const auto joe = retriever->TryRetrieveStoreInformation(1002);
  ASSERT_TRUE(joe);
  EXPECT_EQ(*joe, (StoreMetadata{"Joe's <Bricks>", "US"}));
  EXPECT_EQ(server.RequestLog()[0].target, "/store.asp?sID=1001");
  ASSERT_EQ(Requests(), 2u);

  StoreMetadataCache laterCache;
  const auto later = CreateStoreInformationRetriever(*downloader, laterCache, *parser, server.HostAndPort());
  const auto cached = later->TryRetrieveStoreInformation(1001);
  ASSERT_TRUE(cached);
  EXPECT_EQ(*cached, *bricks);
  EXPECT_EQ(Requests(), 2u);

  EXPECT_FALSE(retriever->TryRetrieveStoreInformation(4242)) << "404";
  server.SetFault("sID=1003", Fault::GarbagePage());
  EXPECT_FALSE(retriever->TryRetrieveStoreInformation(1003));
  server.SetFault("sID=1003", Fault::EmptyBody());
  EXPECT_FALSE(retriever->TryRetrieveStoreInformation(1003));
}

}  // namespace
}  // namespace Corvalle::BrickLink
