#include "Tools/Marketplace/MarketplaceServer.h"

#include <gtest/gtest.h>

#include <future>
#include <regex>
#include <thread>

#include "Source/Base/BrickLink/MarketplaceHost.h"
#include "Tests/Tools/Marketplace/ClientReading.h"
#include "Tests/Tools/Marketplace/RawHttpClient.h"

namespace {

using namespace Corvalle::Marketplace;
using Testing::Fetch;
using Testing::RawResponse;

// Three stores: one shipping everywhere, one to three European countries only, one to Canada
// and the USA only. Prices are chosen to test rounding: 0.12345 lies just below the half in
// binary, 1234.56785 needs grouping.
constexpr const char* kWorld = R"({
  "siteName": "BrickLink Reference Catalog",
  "rates": {"1": 1.0, "2": 0.9, "74": 120.0, "136": 0.95},
  "colors": [{"id": 11, "name": "Black", "rgb": "212121"},
             {"id": 86, "name": "Light Bluish Gray", "rgb": "afb5c7"}],
  "stores": [
    {"id": 1001, "name": "Bricks & Pieces", "countryId": "US"},
    {"id": 1002, "name": "Klötzchen's Laden", "countryId": "DE", "currencyId": 2,
     "shipsTo": ["DE", "FR", "AT"]},
    {"id": 1003, "name": "Maple Bricks", "countryId": "CA", "currencyId": 32,
     "shipsTo": ["CA", "US"]}
  ],
  "priceGuides": [
    {"type": "P", "id": "3001", "color": 11,
     "new": [{"store": 1002, "quantity": 40, "price": 0.25},
             {"store": 1001, "quantity": 120, "price": 0.12345},
             {"store": 1003, "quantity": 3, "price": 0.3}],
     "used": [{"store": 1003, "quantity": 1500, "price": 1234.56785},
              {"store": 1001, "quantity": 2, "price": 0.1}],
     "soldNew": [{"quantity": 10, "price": 0.2}, {"quantity": 30, "price": 0.1}]},
    {"type": "P", "id": "3003", "color": 5}
  ]
})";

constexpr const char* kBlack3001 =
    "/catalogPG.asp?itemSeq=1&v=P&priceGroup=Y&prDec=2&itemType=P&itemNo=3001&colorID=11";

class MarketplaceServerTest : public testing::Test {
 protected:
  void SetUp() override { port = server.Start(); }

  RawResponse Get(const std::string& target, const std::string& cookies = "") {
    return Fetch(port, target, cookies);
  }

  // The black brick's guide in dollars, answered with the fault.
  RawResponse GetWithFault(Fault fault,
                           std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    server.SetFault("itemNo=3001", std::move(fault));
    return Fetch(port, kBlack3001, "viewCurrencyID=1", limit);
  }

  MarketplaceServer server{World::FromJson(kWorld)};
  std::uint16_t port = 0;
};

using Corvalle::BrickLink::PriceGuide;
using Corvalle::BrickLink::PriceGuideStatistics;

std::vector<std::uint32_t> Stores(const PriceGuide& guide) {
  std::vector<std::uint32_t> stores;
  for (const auto& lot : guide) {
    stores.push_back(lot.store.Id());
  }
  return stores;
}

std::vector<double> Prices(const PriceGuide& guide) {
  std::vector<double> prices;
  for (const auto& lot : guide) {
    prices.push_back(lot.lotData.price);
  }
  return prices;
}

void ExpectStatistics(const PriceGuideStatistics& read, const PriceGuideStatistics& expected) {
  EXPECT_EQ(read.lotCount, expected.lotCount);
  EXPECT_EQ(read.totalQuantity, expected.totalQuantity);
  EXPECT_DOUBLE_EQ(read.minPrice, expected.minPrice);
  EXPECT_DOUBLE_EQ(read.averagePrice, expected.averagePrice);
  EXPECT_DOUBLE_EQ(read.quantityAveragePrice, expected.quantityAveragePrice);
  EXPECT_DOUBLE_EQ(read.maxPrice, expected.maxPrice);
}

// Pages of one condition, or of none, are read the same way by CostFinderTest's searches: its
// parts sold in one condition, and its list that cannot be bought.
TEST_F(MarketplaceServerTest, PriceGuidePageIsReadByTheClientsParser) {
  const RawResponse response = Get(kBlack3001, "isCountryID=US;viewCurrencyID=1;");
  EXPECT_EQ(response.statusLine, "HTTP/1.0 200 OK");
  const auto read = Testing::ReadPriceGuidePage(response.body);
  ASSERT_TRUE(read) << response.body;
  const Testing::ReadPriceGuide& guide = *read;

  // Sold new: 2 sales, 40 pieces, mean 0.15, weighted (10*0.2 + 30*0.1) / 40 = 0.125.
  ExpectStatistics(guide.newGuide.SalesStatistics(), {2, 40, 0.1, 0.15, 0.125, 0.2});
  // Current new: mean (0.25 + 0.12345 + 0.3) / 3 = 0.224483..., weighted 25.714 / 163.
  ExpectStatistics(guide.newGuide.CurrentStatistics(), {3, 163, 0.1235, 0.2245, 0.1578, 0.3});
  // Current used: mean (1234.56785 + 0.1) / 2, weighted (1500 * 1234.56785 + 2 * 0.1) / 1502; the
  // maximum is written "1,234.5679", grouped by thousands.
  ExpectStatistics(guide.usedGuide.CurrentStatistics(),
                   {2, 1502, 0.1, 617.3339, 1232.9241, 1234.5679});

  // Cheapest first; the German store does not ship to the USA. (A buyer in Germany does not get
  // the Canadian store's lots: RetrieverTest.)
  ASSERT_EQ(Stores(guide.newGuide), (std::vector<std::uint32_t>{1001, 1002, 1003}));
  EXPECT_EQ(guide.newNotShipping, std::vector<std::uint32_t>{1002});
  EXPECT_EQ(guide.newGuide.GetLots().front().lotData.quantity, 120U);
  EXPECT_EQ(Prices(guide.newGuide), (std::vector<double>{0.1235, 0.25, 0.3}));
  ASSERT_EQ(Stores(guide.usedGuide), (std::vector<std::uint32_t>{1001, 1003}));
  EXPECT_EQ(guide.usedGuide.GetLots().back().lotData.quantity, 1500U);
  // Written "1,234.5679" like the marketplace did; the client reads the whole number.
  EXPECT_DOUBLE_EQ(guide.usedGuide.GetLots().back().lotData.price, 1234.5679);
}

TEST_F(MarketplaceServerTest, PricesAreConvertedAndRoundedPerCurrency) {
  const RawResponse euro = Get(kBlack3001, "isCountryID=US;viewCurrencyID=2;");
  // 0.12345 * 0.9 = 0.111105; the German store prices in euros, so its lot is not converted.
  EXPECT_NE(euro.body.find("&nbsp;~EUR&nbsp;0.1111&nbsp;"), std::string::npos);
  EXPECT_NE(euro.body.find("&nbsp;EUR&nbsp;0.2250&nbsp;"), std::string::npos);
  EXPECT_NE(euro.body.find("<B>~EUR&nbsp;0.1111</B>"), std::string::npos);
  const auto euroGuide = Testing::ReadPriceGuidePage(euro.body);
  ASSERT_TRUE(euroGuide);
  EXPECT_EQ(Prices(euroGuide->newGuide), (std::vector<double>{0.1111, 0.225, 0.27}));
  EXPECT_DOUBLE_EQ(euroGuide->newGuide.SalesStatistics().averagePrice, 0.135);

  // 1234.56785 * 120 = 148148.142 yen, grouped by thousands.
  const RawResponse yen = Get(kBlack3001, "isCountryID=US;viewCurrencyID=74;");
  EXPECT_NE(yen.body.find("~JPY&nbsp;148,148.1420&nbsp;"), std::string::npos);
  const auto yenGuide = Testing::ReadPriceGuidePage(yen.body);
  ASSERT_TRUE(yenGuide);
  EXPECT_DOUBLE_EQ(yenGuide->usedGuide.GetLots().back().lotData.price, 148148.142);
  EXPECT_DOUBLE_EQ(yenGuide->newGuide.GetLots().front().lotData.price, 14.814);  // 0.12345 * 120

  const RawResponse dollars = Get(kBlack3001, "isCountryID=US;viewCurrencyID=1;");
  EXPECT_NE(dollars.body.find("&nbsp;US&nbsp;$0.1235&nbsp;"), std::string::npos);
  EXPECT_NE(dollars.body.find("&nbsp;~US&nbsp;$0.2500&nbsp;"), std::string::npos);
  EXPECT_NE(Get(kBlack3001, "viewCurrencyID=136").body.find("~CHF&nbsp;0.1173"), std::string::npos);

  // A currency without a rate, or unknown to the currency table, is refused, not shown in dollars.
  EXPECT_EQ(Get(kBlack3001, "viewCurrencyID=43").statusLine, "HTTP/1.0 400 Unknown currency");
  EXPECT_EQ(Get(kBlack3001, "viewCurrencyID=999").statusLine, "HTTP/1.0 400 Unknown currency");
  EXPECT_EQ(Get(kBlack3001, "viewCurrencyID=two").statusLine, "HTTP/1.0 400 Unknown currency");
}

// The order of the markers is the client's parser's affair, which reads every page above.
TEST_F(MarketplaceServerTest, PriceGuidePagesFollowTheMarketplacesMarkup) {
  const std::string page = Get(kBlack3001, "isCountryID=US;viewCurrencyID=1;").body;
  EXPECT_NE(page.find("<TITLE>BrickLink Price Guide - Part 3001 - BrickLink Reference Catalog"),
            std::string::npos);
  // As the marketplace wrote them; the store links are read above.
  EXPECT_NE(page.find("TITLE=\"Store: Bricks &amp; Pieces\""), std::string::npos);
  // A condition without lots has no section at all, which the client would read alike.
  const std::string noLots =
      Get("/catalogPG.asp?itemSeq=1&v=P&priceGroup=Y&prDec=2&itemType=P&itemNo=3003&colorID=5")
          .body;
  EXPECT_EQ(noLots.find("Currently Available"), std::string::npos) << noLots;
}

TEST_F(MarketplaceServerTest, StoreAndColorPagesAreReadByTheClientsParsers) {
  // Escaped on the page, as the marketplace writes it.
  const auto escaped = Testing::ReadStorePage(Get("/store.asp?sID=1001").body);
  ASSERT_TRUE(escaped);
  EXPECT_EQ(escaped->name, "Bricks & Pieces");
  EXPECT_EQ(escaped->countryId, "US");

  const auto colors = Testing::ReadColorPage(Get("/catalogColors.asp").body);
  ASSERT_TRUE(colors);
  ASSERT_EQ(colors->size(), 2U);
  EXPECT_EQ(std::get<0>((*colors)[1]), 86U);
  EXPECT_EQ(std::get<1>((*colors)[1]).rgb, 0xAFB5C7U);
  EXPECT_EQ(std::get<1>((*colors)[1]).name, "Light Bluish Gray");
}

TEST_F(MarketplaceServerTest, UnknownPagesItemsAndStoresAre404) {
  const std::string prefix = "/catalogPG.asp?itemSeq=1&v=P&priceGroup=Y&prDec=2";
  for (const std::string& target :
       {prefix + "&itemType=P&itemNo=3001&colorID=5", prefix + "&itemType=P&itemNo=9999&colorID=11",
        prefix + "&itemType=S&itemNo=3001", prefix + "&itemType=X&itemNo=3001",
        prefix + "&itemType=P&colorID=11", prefix + "&itemType=P&itemNo=3001",
        prefix + "&itemType=P&itemNo=3001&colorID=eleven", std::string("/store.asp?sID=42"),
        std::string("/store.asp?sID="), std::string("/store.asp"),
        std::string("/store.asp?sID=1001x"), std::string("/catalogList.asp"), std::string("/")}) {
    const RawResponse response = Get(target, "isCountryID=US;viewCurrencyID=1;");
    EXPECT_EQ(response.statusLine, "HTTP/1.0 404 Not Found") << target;
    EXPECT_TRUE(response.closedByServer) << target;
  }
  EXPECT_EQ(Testing::Exchange(port, "NONSENSE\r\n\r\n").statusLine, "HTTP/1.0 400 Bad Request");
}

// The targets, queries, cookie lines and headers that the log records are read by RetrieverTest
// as the client sends them.
TEST_F(MarketplaceServerTest, RequestLogRecordsMethodVersionAndCookies) {
  Get(kBlack3001, "isCountryID=US;viewCurrencyID=2;");
  Get("/store.asp?sID=1001");
  ASSERT_EQ(server.RequestCount(), 2U);
  const auto log = server.RequestLog();
  EXPECT_EQ(log[0].method, "GET");
  EXPECT_EQ(log[0].version, 10U);
  EXPECT_EQ(log[0].Cookie("isCountryID"), "US");
  EXPECT_EQ(log[0].Cookie("viewCurrencyID"), "2");
  EXPECT_EQ(log[0].Header("connection"), "close");
  EXPECT_TRUE(log[1].cookies.empty());
}

TEST_F(MarketplaceServerTest, FaultsThatChangeTheAnswer) {
  const std::string normal = Get(kBlack3001, "viewCurrencyID=1").body;
  ASSERT_GT(normal.size(), 1000U);

  // A status, a body cut short without a length and a trickle are met by RetrieverTest and
  // CostFinderTest, whose retrievals they make fail.
  RawResponse response = GetWithFault(Fault::InvalidStatusLine());
  EXPECT_EQ(response.statusLine, "ICY 200 OK");
  EXPECT_EQ(response.body, normal);

  response = GetWithFault(Fault::WrongContentLength("99999999"));
  EXPECT_EQ(response.statusLine, "HTTP/1.0 200 OK");
  EXPECT_EQ(response.Header("Content-Length"), "99999999");
  EXPECT_EQ(response.body, normal);

  response = GetWithFault(Fault::NoContentLength());
  EXPECT_FALSE(response.HasHeader("Content-Length"));
  EXPECT_EQ(response.body, normal);

  response = GetWithFault(Fault::EmptyBody());
  EXPECT_EQ(response.Header("Content-Length"), "0");
  EXPECT_TRUE(response.body.empty());
  EXPECT_TRUE(response.closedByServer);

  response = GetWithFault(Fault::GarbagePage());
  EXPECT_EQ(response.body.size(), 4096U);
  EXPECT_FALSE(Testing::ReadPriceGuidePage(response.body));
  EXPECT_EQ(Get(kBlack3001, "viewCurrencyID=1").body, response.body);

  response = GetWithFault(Fault::CloseMidBody());
  EXPECT_TRUE(response.closedByServer);
  EXPECT_EQ(response.Header("Content-Length"), std::to_string(normal.size()));
  EXPECT_EQ(response.body, normal.substr(0, normal.size() / 2));

  response = GetWithFault(Fault::Rewrite("<TD>120</TD>", "<TD>1,000</TD>"));
  std::string rewritten = normal;
  rewritten.replace(rewritten.find("<TD>120</TD>"), 12, "<TD>1,000</TD>");
  EXPECT_EQ(response.body, rewritten);
  EXPECT_EQ(response.Header("Content-Length"), std::to_string(rewritten.size()));
}

// The body of a chunked answer without its framing; "" when the framing is broken.
std::string Unchunk(const std::string& chunked) {
  std::string body;
  std::size_t position = 0;
  for (;;) {
    const auto lineEnd = chunked.find("\r\n", position);
    if (lineEnd == std::string::npos) {
      return "";
    }
    const std::size_t size = std::stoul(chunked.substr(position, lineEnd - position), nullptr, 16);
    position = lineEnd + 2;
    if (size == 0) {
      return chunked.compare(position, std::string::npos, "X-Trailer: end\r\n\r\n") == 0 ? body
                                                                                         : "";
    }
    if (chunked.compare(position + size, 2, "\r\n") != 0) {
      return "";
    }
    body += chunked.substr(position, size);
    position += size + 2;
  }
}

TEST_F(MarketplaceServerTest, FaultsThatKeepTheConnectionBusy) {
  const std::string normal = Get(kBlack3001, "viewCurrencyID=1").body;
  ASSERT_GT(normal.size(), 1000U);
  constexpr std::chrono::milliseconds kWait(500);

  RawResponse response = GetWithFault(Fault::KeepOpen(), kWait);
  EXPECT_EQ(response.statusLine, "HTTP/1.0 200 OK");
  EXPECT_EQ(response.Header("Content-Length"), std::to_string(normal.size()));
  EXPECT_EQ(response.body, normal);
  EXPECT_FALSE(response.closedByServer);

  response = GetWithFault(Fault::EndlessBody(), kWait);
  EXPECT_EQ(response.statusLine, "HTTP/1.0 200 OK");
  EXPECT_FALSE(response.HasHeader("Content-Length"));
  EXPECT_GT(response.body.size(), 100000U);
  EXPECT_FALSE(response.closedByServer);

  // A short body trickles to its end, then the connection closes.
  server.SetFault("store\\.asp", Fault::Trickle(std::chrono::milliseconds(0)));
  response = Get("/store.asp?sID=1001");
  EXPECT_TRUE(response.closedByServer);
  EXPECT_NE(response.body.find("<TITLE>Bricks &amp; Pieces - "), std::string::npos);
  EXPECT_EQ(response.Header("Content-Length"), std::to_string(response.body.size()));

  response = GetWithFault(Fault::Chunked());
  EXPECT_EQ(response.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(response.Header("Transfer-Encoding"), "chunked");
  EXPECT_FALSE(response.HasHeader("Content-Length"));
  EXPECT_NE(response.body.find(";note=\"x\"\r\n"), std::string::npos);
  EXPECT_EQ(Unchunk(response.body), normal);
  EXPECT_TRUE(response.closedByServer);
}

TEST_F(MarketplaceServerTest, FirstMatchingFaultWinsAndClearFaultsRestoresAll) {
  server.SetFault("store\\.asp", Fault::Status(500));
  server.SetFault("sID=1001", Fault::Status(403));
  EXPECT_EQ(Get("/store.asp?sID=1001").statusLine, "HTTP/1.0 500 Internal Server Error");
  server.SetFault("store\\.asp", Fault::Status(502));  // replaces, keeps its place
  EXPECT_EQ(Get("/store.asp?sID=1001").statusLine, "HTTP/1.0 502 Bad Gateway");
  server.ClearFault("store\\.asp");
  EXPECT_EQ(Get("/store.asp?sID=1001").statusLine, "HTTP/1.0 403 Forbidden");
  EXPECT_EQ(Get("/store.asp?sID=1002").statusLine, "HTTP/1.0 200 OK");
  server.ClearFaults();
  EXPECT_EQ(Get("/store.asp?sID=1001").statusLine, "HTTP/1.0 200 OK");
  EXPECT_THROW(server.SetFault("(", Fault::Stall()), std::regex_error);
}

TEST_F(MarketplaceServerTest, DelayedAnswerComesAfterTheDelay) {
  server.SetFault("sID=1001", Fault::Delay(std::chrono::milliseconds(300)));
  const auto start = std::chrono::steady_clock::now();
  const RawResponse response = Get("/store.asp?sID=1001");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_EQ(response.statusLine, "HTTP/1.0 200 OK");
  EXPECT_NE(response.body.find("<TITLE>Bricks &amp; Pieces - "), std::string::npos);
  // Another target meanwhile is not held up by it.
  server.SetFault("sID=1001", Fault::Delay(std::chrono::hours(1)));
  auto delayed = std::async(std::launch::async, [this] { return Get("/store.asp?sID=1001"); });
  while (server.RequestCount() < 2) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(Get("/store.asp?sID=1002").statusLine, "HTTP/1.0 200 OK");
  // Stopping cancels the delay and closes the connection without an answer.
  server.Stop();
  const RawResponse cancelled = delayed.get();
  EXPECT_TRUE(cancelled.closedByServer);
  EXPECT_TRUE(cancelled.raw.empty());
}

TEST_F(MarketplaceServerTest, StalledConnectionStaysOpenUntilTheServerStops) {
  server.SetFault("catalogColors", Fault::Stall());
  const RawResponse waited = Fetch(port, "/catalogColors.asp", "", std::chrono::milliseconds(300));
  EXPECT_TRUE(waited.connected);
  EXPECT_FALSE(waited.closedByServer);
  EXPECT_TRUE(waited.raw.empty());
  EXPECT_EQ(server.RequestCount(), 1U);

  auto stalled = std::async(std::launch::async, [this] { return Get("/catalogColors.asp"); });
  while (server.RequestCount() < 2) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  server.Stop();
  const RawResponse closed = stalled.get();
  EXPECT_TRUE(closed.closedByServer);
  EXPECT_TRUE(closed.raw.empty());
  server.Stop();  // idempotent
}

TEST(MarketplaceServerLifetimeTest, StartReportsPortAndRefusesSecondStart) {
  MarketplaceServer server(World::FromJson(kWorld), 1);
  EXPECT_EQ(server.Port(), 0U);
  const std::uint16_t port = server.Start();
  EXPECT_NE(port, 0U);
  EXPECT_EQ(server.Port(), port);
  EXPECT_EQ(server.HostAndPort(), "127.0.0.1:" + std::to_string(port));
  EXPECT_THROW(server.Start(), std::logic_error);
  EXPECT_EQ(Fetch(port, "/store.asp?sID=1003").statusLine, "HTTP/1.0 200 OK");

  // A second server cannot take the same port.
  MarketplaceServer other(World::FromJson(kWorld));
  EXPECT_THROW(other.Start(port), std::runtime_error);
  server.Stop();
  EXPECT_FALSE(Fetch(port, "/store.asp?sID=1003").connected);
}

}  // namespace
