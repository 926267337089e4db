#pragma once

// An HTTP/1.0 server that plays the marketplace on a local address, for tests, benchmarks and
// the demonstration. It answers each connection with one response and closes it, like the
// marketplace did for clients that ask for "Connection: close". Faults can be set per request
// target at run time to test how a client copes with a misbehaving server.
//
// Typical use in a test:
//   MarketplaceServer server(World::FromJson(text));
//   const std::uint16_t port = server.Start();          // a free port on 127.0.0.1
//   server.SetFault("catalogPG\\.asp.*itemNo=3001", Fault::Stall());
//   ... point the client at server.HostAndPort() ...
//   EXPECT_EQ(server.RequestLog().at(0).Cookie("isCountryID"), "US");
//   server.Stop();                                       // or let the destructor do it
//
// Every public operation may be called from any thread. The server writes no log records, so
// that tests which capture the client's log see only the client's. Bytes that are not an HTTP
// request are answered 400 and not recorded; methods other than GET are answered 405.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Tools/Marketplace/World.h"

namespace Corvalle::Marketplace {

// How the server misbehaves for the requests whose target matches a fault's pattern.
struct Fault {
  enum class Kind {
    Delay,               // wait `delay`, then answer normally
    Stall,               // read the request, then never answer; the connection stays open until
                         // the client closes it or the server stops
    CloseMidBody,        // announce the whole body, send the status line, headers and the first
                         // half of the body, then close the connection
    Status,              // answer `statusCode` with a short error page
    InvalidStatusLine,   // the normal answer behind the status line `text`
    WrongContentLength,  // the normal answer with "Content-Length: " + `text`, which may be
                         // any non-empty text: too large, too small, "abc", "99999999999"
    NoContentLength,     // the normal answer without a Content-Length header
    EmptyBody,           // status 200, "Content-Length: 0", no body
    GarbagePage,         // status 200 and 4096 bytes of deterministic noise (all byte values)
    KeepOpen,            // the normal answer with its Content-Length, then the connection stays
                         // open, as after a keep-alive answer, until the client closes it or
                         // the server stops
    EndlessBody,         // status 200 without Content-Length and a body that never ends: page
                         // text repeated until the client closes the connection or the server
                         // stops
    Trickle,             // the status line and headers of the normal answer at once, then its
                         // body one byte every `delay`
    Chunked,             // the normal answer as HTTP/1.1 with "Transfer-Encoding: chunked": the
                         // body in four chunks, the second with a chunk extension, then the
                         // last chunk and a trailer field
    CutWithoutLength,    // the status line and headers without Content-Length, the first
                         // `percent` per cent of the body, then the connection closes: under
                         // HTTP/1.0 only the page itself tells it from a whole one
    Rewrite,             // the normal answer with every `text` in its body replaced by
                         // `replacement` (a hostile number, a raw control character in a
                         // name), with the new body's Content-Length
  };

  Kind kind = Kind::Delay;
  std::chrono::milliseconds delay{0};
  unsigned statusCode = 0;
  std::string text{};
  unsigned percent = 0;
  std::string replacement{};

  static Fault Delay(std::chrono::milliseconds delay);
  static Fault Stall();
  static Fault CloseMidBody();
  static Fault Status(unsigned statusCode);
  static Fault InvalidStatusLine(std::string statusLine = "ICY 200 OK");
  static Fault WrongContentLength(std::string headerValue);
  static Fault NoContentLength();
  static Fault EmptyBody();
  static Fault GarbagePage();
  static Fault KeepOpen();
  static Fault EndlessBody();
  static Fault Trickle(std::chrono::milliseconds delay);
  static Fault Chunked();
  static Fault CutWithoutLength(unsigned percent);
  static Fault Rewrite(std::string text, std::string replacement);
};

// One request as the server received it; recorded before any fault acts.
struct RecordedRequest {
  std::string method;     // "GET"
  unsigned version = 10;  // 10 for HTTP/1.0, 11 for HTTP/1.1
  std::string target;     // as sent, e.g. "/catalogPG.asp?itemSeq=1&...&colorID=11"
  std::string path;       // the target before "?", e.g. "/catalogPG.asp"
  std::map<std::string, std::string> query;                  // decoded query parameters
  std::vector<std::pair<std::string, std::string>> headers;  // in the order received
  std::string cookieHeader;                                  // the Cookie header's value or ""
  std::vector<std::pair<std::string, std::string>> cookies;  // parsed, in header order

  // The value of the named cookie or query parameter, "" when it was not sent.
  std::string Cookie(const std::string& name) const;
  std::string Query(const std::string& name) const;
  // The value of the first header of that name (case-insensitive), "" when none was sent.
  std::string Header(const std::string& name) const;
};

class MarketplaceServer {
 public:
  // threads: how many threads answer requests (at least 1).
  explicit MarketplaceServer(World world, unsigned threads = 2);
  // Stops the server if it runs.
  ~MarketplaceServer();
  MarketplaceServer(const MarketplaceServer&) = delete;
  MarketplaceServer& operator=(const MarketplaceServer&) = delete;

  // Binds to address:port (port 0: a free port chosen by the system), starts listening and the
  // answering threads, and returns the bound port. Throws std::runtime_error when the address
  // cannot be bound, std::logic_error when the server was started before.
  std::uint16_t Start(std::uint16_t port = 0, const std::string& address = "127.0.0.1");
  // Stops accepting, closes every open connection (stalled ones included), cancels delays and
  // joins the threads. Idempotent; the server cannot be started again.
  void Stop();

  // The bound port, 0 before Start.
  std::uint16_t Port() const;
  // "ADDRESS:PORT", the value for the client's marketplace host.
  std::string HostAndPort() const;

  // Replaces the world for requests that arrive afterwards. Thread-safe.
  void SetWorld(World world);

  // pattern is an ECMAScript regular expression searched in the request target
  // ("/catalogPG.asp?..."); setting a pattern again replaces its fault. When several patterns
  // match, the one set first wins. Throws std::regex_error for an invalid pattern. Thread-safe;
  // acts on requests whose headers arrive afterwards.
  void SetFault(const std::string& pattern, Fault fault);
  void ClearFault(const std::string& pattern);
  void ClearFaults();

  // The requests received so far, in order of arrival. Thread-safe.
  std::vector<RecordedRequest> RequestLog() const;
  std::size_t RequestCount() const;
  void ClearRequestLog();

 private:
  class Impl;
  std::unique_ptr<Impl> impl;
};

}  // namespace Corvalle::Marketplace
