#include "Source/Base/FileDownloader/HttpMessage.h"

#include <gtest/gtest.h>

namespace Corvalle::FileDownloader {
namespace {

TEST(HttpMessageTest, RequestCarriesCookiesOnlyWhenThereAreSome) {
  EXPECT_EQ(PrepareRequest("www.example.com", "catalogColors.asp", {}),
            "GET /catalogColors.asp HTTP/1.0\r\nHost: www.example.com\r\nAccept: */*\r\n"
            "Connection: close\r\n\r\n");
  EXPECT_EQ(PrepareRequest("127.0.0.1:8080", "catalogPG.asp?itemType=P&itemNo=3001",
                           {{"isCountryID", "US"}, {"viewCurrencyID", "1"}}),
            "GET /catalogPG.asp?itemType=P&itemNo=3001 HTTP/1.0\r\nHost: 127.0.0.1:8080\r\n"
            "Accept: */*\r\nCookie: isCountryID=US;viewCurrencyID=1;\r\n"
            "Connection: close\r\n\r\n");
}

TEST(HttpMessageTest, HostSplitsIntoNameAndService) {
  using Split = std::pair<std::string, std::string>;
  EXPECT_EQ(SplitHostAndService("www.example.com"), (Split{"www.example.com", "http"}));
  EXPECT_EQ(SplitHostAndService("127.0.0.1:8080"), (Split{"127.0.0.1", "8080"}));
  EXPECT_EQ(SplitHostAndService("localhost:0"), (Split{"localhost", "0"}));
  EXPECT_EQ(SplitHostAndService("[::1]:8080"), (Split{"::1", "8080"}));
  EXPECT_EQ(SplitHostAndService("[::1]"), (Split{"::1", "http"}));
  EXPECT_EQ(SplitHostAndService("::1"), (Split{"::1", "http"}));
  // Something after the colon that is not a port stays part of the name.
  EXPECT_EQ(SplitHostAndService("host:http"), (Split{"host:http", "http"}));
  EXPECT_EQ(SplitHostAndService("host:123456"), (Split{"host:123456", "http"}));
}

TEST(HttpMessageTest, StatusLines) {
  const auto ok = ParseStatusLine("HTTP/1.1 200 OK\r");
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->version, "HTTP/1.1");
  EXPECT_EQ(ok->code, 200u);
  EXPECT_EQ(ok->message, " OK\r");
  EXPECT_FALSE(ParseStatusLine("FTP/1.0 200 OK\r"));
  EXPECT_FALSE(ParseStatusLine("HTTP 200 OK\r"));
  EXPECT_FALSE(ParseStatusLine("HTTP/1.0 OK\r"));
  EXPECT_FALSE(ParseStatusLine(""));
  EXPECT_FALSE(ParseStatusLine("<html>\r"));
}

TEST(HttpMessageTest, ContentLength) {
  EXPECT_EQ(ParseContentLength("Content-Type: text/html\rContent-Length: 1234\r"), 1234u);
  EXPECT_EQ(ParseContentLength("Content-Length:17\r"), 17u);
  EXPECT_EQ(ParseContentLength("Content-Length: 0\r"), 0u);
  EXPECT_EQ(ParseContentLength("Content-Length: 5000000000\r"), 5000000000u);
  EXPECT_EQ(ParseContentLength("Content-Length: 42abc\r"), 42u);
  EXPECT_FALSE(ParseContentLength("Content-Type: text/html\r"));
  EXPECT_FALSE(ParseContentLength("content-length: 12\r"));
  EXPECT_FALSE(ParseContentLength("Content-Length: lots\r"));
  EXPECT_FALSE(ParseContentLength("Content-Length: -5\r"));
  EXPECT_FALSE(ParseContentLength("Content-Length: 99999999999999999999999\r"));
}

TEST(HttpMessageTest, HeaderValuesAreFoundByNameWithoutRegardToCase) {
  // Lines as the downloader collects them: each keeps its carriage return.
  const std::string headers =
      "Server: x\rtransfer-encoding:  Chunked \rX-Transfer-Encoding: gzip\rContent-Length: 5\r";
  EXPECT_EQ(FindHeaderValue(headers, "Transfer-Encoding"), "Chunked");
  EXPECT_EQ(FindHeaderValue(headers, "content-length"), "5");
  EXPECT_EQ(FindHeaderValue("A: 1\r\nB:\r\n", "B"), "");
  // A name that only ends or begins like the one sought is another field.
  EXPECT_EQ(FindHeaderValue("X-Server: y\r", "Server"), std::nullopt);
  EXPECT_EQ(FindHeaderValue("Server-Name: y\r", "Server"), std::nullopt);
  EXPECT_EQ(FindHeaderValue("", "Server"), std::nullopt);
}

TEST(HttpMessageTest, OnlyTheChunkedCodingAloneIsDecodable) {
  EXPECT_TRUE(IsChunkedOnly("chunked"));
  EXPECT_TRUE(IsChunkedOnly(" CHUNKED "));
  EXPECT_FALSE(IsChunkedOnly("gzip, chunked"));
  EXPECT_FALSE(IsChunkedOnly("gzip"));
  EXPECT_FALSE(IsChunkedOnly("identity"));
  EXPECT_FALSE(IsChunkedOnly(""));
}

}  // namespace
}  // namespace Corvalle::FileDownloader
