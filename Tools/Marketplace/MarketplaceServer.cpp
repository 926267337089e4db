#include "Tools/Marketplace/MarketplaceServer.h"

// Design: one Boost.Asio io_context run by a few threads. Every connection is a Session whose
// socket and timer share one strand, so a session's handlers never run at the same time; the
// acceptor has a strand of its own. The server keeps weak references to the open sessions so
// that Stop can close them (a stalled connection has no other way to end). Responses are
// written as raw bytes rather than through Beast's serializer, because several faults need
// bytes that a well-behaved HTTP library refuses to produce (a broken status line, a false
// Content-Length, a body cut short).

#include <strings.h>
#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <stdexcept>
#include <thread>

#include "Tools/Marketplace/SiteRouter.h"

namespace Corvalle::Marketplace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;

Fault Fault::Delay(std::chrono::milliseconds delay_) {
  return {.kind = Kind::Delay, .delay = delay_};
}
Fault Fault::Stall() { return {.kind = Kind::Stall}; }
Fault Fault::CloseMidBody() { return {.kind = Kind::CloseMidBody}; }
Fault Fault::Status(unsigned statusCode_) {
  return {.kind = Kind::Status, .statusCode = statusCode_};
}
Fault Fault::InvalidStatusLine(std::string statusLine) {
  return {.kind = Kind::InvalidStatusLine, .text = std::move(statusLine)};
}
Fault Fault::WrongContentLength(std::string headerValue) {
  return {.kind = Kind::WrongContentLength, .text = std::move(headerValue)};
}
Fault Fault::NoContentLength() { return {.kind = Kind::NoContentLength}; }
Fault Fault::EmptyBody() { return {.kind = Kind::EmptyBody}; }
Fault Fault::GarbagePage() { return {.kind = Kind::GarbagePage}; }
Fault Fault::KeepOpen() { return {.kind = Kind::KeepOpen}; }
Fault Fault::EndlessBody() { return {.kind = Kind::EndlessBody}; }
Fault Fault::Trickle(std::chrono::milliseconds delay_) {
  return {.kind = Kind::Trickle, .delay = delay_};
}
Fault Fault::Chunked() { return {.kind = Kind::Chunked}; }
Fault Fault::CutWithoutLength(unsigned percent_) {
  return {.kind = Kind::CutWithoutLength, .percent = percent_};
}
Fault Fault::Rewrite(std::string text_, std::string replacement_) {
  return {.kind = Kind::Rewrite, .text = std::move(text_), .replacement = std::move(replacement_)};
}

namespace {

std::string FindValue(const std::vector<std::pair<std::string, std::string>>& pairs,
                      const std::string& name) {
  for (const auto& [key, value] : pairs) {
    if (key == name) {
      return value;
    }
  }
  return "";
}

const char* ReasonPhrase(unsigned statusCode) {
  switch (statusCode) {
    case 200:
      return "OK";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 500:
      return "Internal Server Error";
    case 502:
      return "Bad Gateway";
    case 503:
      return "Service Unavailable";
    default:
      return "Error";
  }
}

std::string StatusLine(unsigned statusCode, const std::string& reason) {
  return "HTTP/1.0 " + std::to_string(statusCode) + " " + reason + "\r\n";
}

// Headers after the status line, ending with the blank line. contentLength empty: no header.
std::string Headers(const std::string& contentLength) {
  std::string headers =
      "Server: corvalle-marketplace\r\nContent-Type: text/html; charset=UTF-8\r\n";
  if (!contentLength.empty()) {
    headers += "Content-Length: " + contentLength + "\r\n";
  }
  headers += "Connection: close\r\n\r\n";
  return headers;
}

std::string Garbage(const std::string& seedText) {
  std::uint64_t state = 1469598103934665603ULL;  // FNV-1a of the target seeds the noise
  for (const char character : seedText) {
    state = (state ^ static_cast<unsigned char>(character)) * 1099511628211ULL;
  }
  std::string garbage(4096, '\0');
  for (char& byte : garbage) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    byte = static_cast<char>(state >> 56);
  }
  return garbage;
}

// The body in the chunked transfer coding: four chunks of about equal size (fewer for a short
// body), the second carrying an extension that a decoder must skip, then the last chunk with a
// trailer field.
std::string ChunkedBody(const std::string& body) {
  const auto hex = [](std::size_t value) {
    static const char* const kDigits = "0123456789abcdef";
    std::string digits;
    do {
      digits.insert(digits.begin(), kDigits[value % 16]);
      value /= 16;
    } while (value != 0);
    return digits;
  };
  const std::size_t size = std::max<std::size_t>(1, (body.size() + 3) / 4);
  std::string chunked;
  for (std::size_t start = 0, index = 0; start < body.size(); start += size, ++index) {
    const std::string chunk = body.substr(start, size);
    chunked += hex(chunk.size()) + (index == 1 ? ";note=\"x\"" : "") + "\r\n" + chunk + "\r\n";
  }
  return chunked + "0\r\nX-Trailer: end\r\n\r\n";
}

// A block of page text for the endless body; its size divides nothing in particular.
const std::string& EndlessBlock() {
  static const std::string block = [] {
    std::string text;
    while (text.size() < 60000) {
      text += "<TR><TD>endless row " + std::to_string(text.size()) + "</TD></TR>\n";
    }
    return text;
  }();
  return block;
}

}  // namespace

std::string RecordedRequest::Cookie(const std::string& name) const {
  return FindValue(cookies, name);
}

std::string RecordedRequest::Query(const std::string& name) const {
  const auto entry = query.find(name);
  return entry == query.end() ? "" : entry->second;
}

std::string RecordedRequest::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (strcasecmp(key.c_str(), name.c_str()) == 0) {
      return value;
    }
  }
  return "";
}

class MarketplaceServer::Impl {
 public:
  class Session;

  Impl(World world_, unsigned threads_)
      : threadCount(std::max(1U, threads_)),
        world(std::make_shared<const World>(std::move(world_))),
        acceptor(asio::make_strand(ioContext)) {}

  std::uint16_t Start(std::uint16_t port, const std::string& address);
  void Stop();

  std::shared_ptr<const World> CurrentWorld() const {
    std::lock_guard lock(worldMutex);
    return world;
  }
  void SetWorld(World replacement) {
    auto shared = std::make_shared<const World>(std::move(replacement));
    std::lock_guard lock(worldMutex);
    world = std::move(shared);
  }

  void SetFault(const std::string& pattern, Fault fault) {
    std::regex expression(pattern, std::regex::ECMAScript);
    std::lock_guard lock(faultsMutex);
    for (FaultEntry& entry : faults) {
      if (entry.pattern == pattern) {
        entry.fault = std::move(fault);
        return;
      }
    }
    faults.push_back({pattern, std::move(expression), std::move(fault)});
  }
  void ClearFault(const std::string& pattern) {
    std::lock_guard lock(faultsMutex);
    std::erase_if(faults, [&](const FaultEntry& entry) { return entry.pattern == pattern; });
  }
  void ClearFaults() {
    std::lock_guard lock(faultsMutex);
    faults.clear();
  }
  std::optional<Fault> FindFault(const std::string& target) const {
    std::lock_guard lock(faultsMutex);
    for (const FaultEntry& entry : faults) {
      if (std::regex_search(target, entry.expression)) {
        return entry.fault;
      }
    }
    return std::nullopt;
  }

  void Record(RecordedRequest request) {
    std::lock_guard lock(logMutex);
    log.push_back(std::move(request));
  }
  std::vector<RecordedRequest> RequestLog() const {
    std::lock_guard lock(logMutex);
    return log;
  }
  std::size_t RequestCount() const {
    std::lock_guard lock(logMutex);
    return log.size();
  }
  void ClearRequestLog() {
    std::lock_guard lock(logMutex);
    log.clear();
  }

  // False once Stop has begun: the session must close instead of going on.
  bool Register(const std::shared_ptr<Session>& session);
  void Unregister(const Session* session) {
    std::lock_guard lock(sessionsMutex);
    sessions.erase(session);
  }

  std::uint16_t BoundPort() const { return boundPort.load(); }
  std::string BoundAddress() const {
    std::lock_guard lock(sessionsMutex);
    return boundAddress;
  }

 private:
  struct FaultEntry {
    std::string pattern;
    std::regex expression;
    Fault fault;
  };

  void Accept();

  const unsigned threadCount;

  mutable std::mutex worldMutex;  // guards world (the pointer, not the immutable world)
  std::shared_ptr<const World> world;

  mutable std::mutex faultsMutex;  // guards faults
  std::vector<FaultEntry> faults;

  mutable std::mutex logMutex;  // guards log
  std::vector<RecordedRequest> log;

  // guards sessions, stopping, started, boundAddress and runningThreads. Declared before the
  // io_context: sessions that the io_context still holds unregister while it is destroyed.
  mutable std::mutex sessionsMutex;
  std::condition_variable threadsDone;
  std::map<const Session*, std::weak_ptr<Session>> sessions;
  bool started = false;
  bool stopping = false;
  unsigned runningThreads = 0;
  std::string boundAddress;
  std::atomic<std::uint16_t> boundPort{0};

  asio::io_context ioContext;
  std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
  tcp::acceptor acceptor;
  std::vector<std::thread> threads;
};

// One connection: read one request, answer (or misbehave), close.
class MarketplaceServer::Impl::Session : public std::enable_shared_from_this<Session> {
 public:
  Session(Impl& server_, tcp::socket socket_)
      : server(server_), socket(std::move(socket_)), timer(socket.get_executor()) {}
  ~Session() { server.Unregister(this); }

  void Begin() {
    parser.header_limit(16 * 1024);
    http::async_read(socket, buffer, parser,
                     [self = shared_from_this()](beast::error_code error, std::size_t) {
                       self->OnRequest(error);
                     });
  }

  tcp::socket::executor_type GetExecutor() { return socket.get_executor(); }

  // Runs on the session's strand.
  void Abort() {
    beast::error_code ignored;
    timer.cancel();
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
  }

 private:
  void OnRequest(beast::error_code error) {
    if (error) {
      if (error == http::error::end_of_stream || error == asio::error::operation_aborted ||
          error == asio::error::eof || !socket.is_open()) {
        Close();
        return;
      }
      // Bytes that are not an HTTP request.
      Write(StatusLine(400, "Bad Request") + Headers("0"));
      return;
    }
    const auto& request = parser.get();
    RecordedRequest record;
    record.method = std::string(request.method_string());
    record.version = request.version();
    record.target = std::string(request.target());
    for (const auto& field : request) {
      record.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    }
    record.cookieHeader = record.Header("Cookie");
    record.cookies = ParseCookies(record.cookieHeader);
    RequestTarget target = ParseTarget(record.target);
    record.path = target.path;
    record.query = std::move(target.query);
    const std::string requestTarget = record.target;
    const bool isGet = record.method == "GET";
    std::map<std::string, std::string> cookies;
    for (const auto& [name, value] : record.cookies) {
      cookies[name] = value;
    }
    server.Record(std::move(record));

    const std::optional<Fault> fault = server.FindFault(requestTarget);
    if (fault && fault->kind == Fault::Kind::Stall) {
      Stall();
      return;
    }
    const std::shared_ptr<const World> world = server.CurrentWorld();
    SiteResponse answer = isGet ? AnswerRequest(*world, requestTarget, cookies)
                                : SiteResponse{405, "Method Not Allowed", ""};
    if (!fault) {
      Respond(std::move(answer));
      return;
    }
    switch (fault->kind) {
      case Fault::Kind::Delay:
        timer.expires_after(fault->delay);
        timer.async_wait([self = shared_from_this(),
                          answer = std::move(answer)](beast::error_code timerError) mutable {
          if (timerError) {
            self->Close();
          } else {
            self->Respond(std::move(answer));
          }
        });
        return;
      case Fault::Kind::Stall:
        return;
      case Fault::Kind::CloseMidBody: {
        const std::size_t half = answer.body.size() / 2;
        Write(StatusLine(answer.statusCode, answer.reason) +
              Headers(std::to_string(answer.body.size())) + answer.body.substr(0, half));
        return;
      }
      case Fault::Kind::Status: {
        const std::string reason = ReasonPhrase(fault->statusCode);
        Respond({fault->statusCode, reason, ""});
        return;
      }
      case Fault::Kind::InvalidStatusLine:
        Write(fault->text + "\r\n" + Headers(std::to_string(answer.body.size())) + answer.body);
        return;
      case Fault::Kind::WrongContentLength:
        Write(StatusLine(answer.statusCode, answer.reason) + Headers(fault->text) + answer.body);
        return;
      case Fault::Kind::NoContentLength:
        Write(StatusLine(answer.statusCode, answer.reason) + Headers("") + answer.body);
        return;
      case Fault::Kind::EmptyBody:
        Write(StatusLine(200, "OK") + Headers("0"));
        return;
      case Fault::Kind::GarbagePage: {
        const std::string garbage = Garbage(requestTarget);
        Write(StatusLine(200, "OK") + Headers(std::to_string(garbage.size())) + garbage);
        return;
      }
      case Fault::Kind::KeepOpen:
        Write(StatusLine(answer.statusCode, answer.reason) +
                  Headers(std::to_string(answer.body.size())) + answer.body,
              AfterWrite::Stall);
        return;
      case Fault::Kind::EndlessBody:
        Write(StatusLine(200, "OK") + Headers(""), AfterWrite::Endless);
        return;
      case Fault::Kind::Trickle:
        trickleBody = std::move(answer.body);
        trickleDelay = fault->delay;
        Write(StatusLine(answer.statusCode, answer.reason) +
                  Headers(std::to_string(trickleBody.size())),
              AfterWrite::Trickle);
        return;
      case Fault::Kind::Chunked: {
        std::string headers = Headers("");
        headers.insert(headers.size() - 2, "Transfer-Encoding: chunked\r\n");
        Write("HTTP/1.1 " + std::to_string(answer.statusCode) + " " + answer.reason + "\r\n" +
              headers + ChunkedBody(answer.body));
        return;
      }
      case Fault::Kind::CutWithoutLength: {
        const std::size_t kept = answer.body.size() * std::min(fault->percent, 100U) / 100;
        Write(StatusLine(answer.statusCode, answer.reason) + Headers("") +
              answer.body.substr(0, kept));
        return;
      }
      case Fault::Kind::Rewrite: {
        std::string& body = answer.body;
        for (std::size_t at = fault->text.empty() ? std::string::npos : body.find(fault->text);
             at != std::string::npos; at = body.find(fault->text, at + fault->replacement.size())) {
          body.replace(at, fault->text.size(), fault->replacement);
        }
        Respond(std::move(answer));
        return;
      }
    }
  }

  void Respond(SiteResponse answer) {
    if (answer.body.empty() && answer.statusCode != 200) {
      answer.body = "<HTML><BODY>" + std::to_string(answer.statusCode) + " " + answer.reason +
                    "</BODY></HTML>\n";
    }
    Write(StatusLine(answer.statusCode, answer.reason) +
          Headers(std::to_string(answer.body.size())) + answer.body);
  }

  enum class AfterWrite { Close, Stall, Endless, Trickle };

  void Write(std::string bytes, AfterWrite next = AfterWrite::Close) {
    response = std::move(bytes);
    asio::async_write(socket, asio::buffer(response),
                      [self = shared_from_this(), next](beast::error_code error, std::size_t) {
                        if (error || next == AfterWrite::Close) {
                          self->Close();
                        } else if (next == AfterWrite::Stall) {
                          self->Stall();
                        } else if (next == AfterWrite::Endless) {
                          self->Write(EndlessBlock(), AfterWrite::Endless);
                        } else {
                          self->TrickleNextByte(0);
                        }
                      });
  }

  void TrickleNextByte(std::size_t index) {
    if (index >= trickleBody.size()) {
      Close();
      return;
    }
    timer.expires_after(trickleDelay);
    timer.async_wait([self = shared_from_this(), index](beast::error_code timerError) {
      if (timerError) {
        self->Close();
        return;
      }
      self->response.assign(1, self->trickleBody[index]);
      asio::async_write(self->socket, asio::buffer(self->response),
                        [self, index](beast::error_code error, std::size_t) {
                          if (error) {
                            self->Close();
                          } else {
                            self->TrickleNextByte(index + 1);
                          }
                        });
    });
  }

  // Keeps the connection open without answering, until the client goes or the server stops.
  void Stall() {
    socket.async_read_some(asio::buffer(drain),
                           [self = shared_from_this()](beast::error_code error, std::size_t) {
                             if (error) {
                               self->Close();
                             } else {
                               self->Stall();
                             }
                           });
  }

  void Close() {
    beast::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_send, ignored);
    socket.close(ignored);
  }

  Impl& server;
  tcp::socket socket;
  asio::steady_timer timer;
  beast::flat_buffer buffer;
  http::request_parser<http::empty_body> parser;
  std::string response;
  std::string trickleBody;
  std::chrono::milliseconds trickleDelay{0};
  std::array<char, 512> drain{};
};

bool MarketplaceServer::Impl::Register(const std::shared_ptr<Session>& session) {
  std::lock_guard lock(sessionsMutex);
  if (stopping) {
    return false;
  }
  sessions.emplace(session.get(), session);
  return true;
}

std::uint16_t MarketplaceServer::Impl::Start(std::uint16_t port, const std::string& address) {
  {
    std::lock_guard lock(sessionsMutex);
    if (started) {
      throw std::logic_error("The marketplace server was started before");
    }
    started = true;
  }
  try {
    const tcp::endpoint endpoint(asio::ip::make_address(address), port);
    acceptor.open(endpoint.protocol());
    acceptor.set_option(asio::socket_base::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen(asio::socket_base::max_listen_connections);
  } catch (const std::exception& error) {
    throw std::runtime_error("Unable to listen on " + address + ":" + std::to_string(port) + ": " +
                             error.what());
  }
  boundPort = acceptor.local_endpoint().port();
  {
    std::lock_guard lock(sessionsMutex);
    boundAddress = address;
    runningThreads = threadCount;
  }
  work.emplace(ioContext.get_executor());
  asio::post(acceptor.get_executor(), [this] { Accept(); });
  for (unsigned index = 0; index < threadCount; ++index) {
    threads.emplace_back([this] {
      ioContext.run();
      std::lock_guard lock(sessionsMutex);
      --runningThreads;
      threadsDone.notify_all();
    });
  }
  return boundPort;
}

void MarketplaceServer::Impl::Accept() {
  auto socket = std::make_shared<tcp::socket>(asio::make_strand(ioContext));
  acceptor.async_accept(*socket, [this, socket](beast::error_code error) {
    if (error) {
      if (acceptor.is_open() && error != asio::error::operation_aborted) {
        Accept();  // a failed accept (too many files, a reset) does not end the server
      }
      return;
    }
    // Small answers go out at once instead of waiting for the client's acknowledgement.
    beast::error_code ignored;
    socket->set_option(tcp::no_delay(true), ignored);
    auto session = std::make_shared<Session>(*this, std::move(*socket));
    if (!Register(session)) {
      return;
    }
    session->Begin();
    Accept();
  });
}

void MarketplaceServer::Impl::Stop() {
  std::vector<std::shared_ptr<Session>> open;
  {
    std::lock_guard lock(sessionsMutex);
    if (!started || stopping) {
      stopping = true;
      return;
    }
    stopping = true;
    for (const auto& [key, weak] : sessions) {
      if (auto session = weak.lock()) {
        open.push_back(std::move(session));
      }
    }
  }
  asio::post(acceptor.get_executor(), [this] {
    beast::error_code ignored;
    acceptor.close(ignored);
  });
  for (const auto& session : open) {
    asio::post(session->GetExecutor(), [session] { session->Abort(); });
  }
  open.clear();
  work.reset();
  {
    // Every handler ends soon once its socket is closed; the time limit only guards against a
    // handler that would not, and then the loop is stopped with it pending.
    std::unique_lock lock(sessionsMutex);
    if (!threadsDone.wait_for(lock, std::chrono::seconds(5),
                              [this] { return runningThreads == 0; })) {
      ioContext.stop();
    }
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  threads.clear();
}

MarketplaceServer::MarketplaceServer(World world, unsigned threads)
    : impl(std::make_unique<Impl>(std::move(world), threads)) {}

MarketplaceServer::~MarketplaceServer() { Stop(); }

std::uint16_t MarketplaceServer::Start(std::uint16_t port, const std::string& address) {
  return impl->Start(port, address);
}

void MarketplaceServer::Stop() { impl->Stop(); }

std::uint16_t MarketplaceServer::Port() const { return impl->BoundPort(); }

std::string MarketplaceServer::HostAndPort() const {
  return impl->BoundAddress() + ":" + std::to_string(impl->BoundPort());
}

void MarketplaceServer::SetWorld(World world) { impl->SetWorld(std::move(world)); }

void MarketplaceServer::SetFault(const std::string& pattern, Fault fault) {
  impl->SetFault(pattern, std::move(fault));
}

void MarketplaceServer::ClearFault(const std::string& pattern) { impl->ClearFault(pattern); }

void MarketplaceServer::ClearFaults() { impl->ClearFaults(); }

std::vector<RecordedRequest> MarketplaceServer::RequestLog() const { return impl->RequestLog(); }

std::size_t MarketplaceServer::RequestCount() const { return impl->RequestCount(); }

void MarketplaceServer::ClearRequestLog() { impl->ClearRequestLog(); }

}  // namespace Corvalle::Marketplace
