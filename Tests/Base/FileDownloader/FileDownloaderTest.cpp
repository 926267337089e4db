#include "Source/Base/FileDownloader/FileDownloader.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

namespace Corvalle::FileDownloader {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using namespace std::chrono_literals;

// What the scripted server does with one connection: send each part after its delay, then
// close, or keep the connection open without a word until the server goes.
struct Script {
  std::vector<std::pair<std::chrono::milliseconds, std::string>> parts;
  bool stallAfterParts = false;
};

// A loopback server that answers every connection with the same script.
class ScriptedServer {
 public:
  explicit ScriptedServer(Script script_)
      : script(std::move(script_)),
        acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0)) {
    Accept();
    ioThread = std::thread([this] { io.run(); });
  }

  ~ScriptedServer() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    stopped.notify_all();
    io.stop();
    ioThread.join();
    for (std::thread& connection : connections) {
      connection.join();
    }
  }

  std::string Host() const {
    return "127.0.0.1:" + std::to_string(acceptor.local_endpoint().port());
  }

 private:
  void Accept() {
    acceptor.async_accept([this](const boost::system::error_code& error, tcp::socket socket) {
      if (error) {
        return;
      }
      connections.emplace_back(
          [this, shared = std::make_shared<tcp::socket>(std::move(socket))] { Serve(*shared); });
      Accept();
    });
  }

  void Serve(tcp::socket& socket) {
    boost::system::error_code error;
    asio::streambuf buffer;
    asio::read_until(socket, buffer, "\r\n\r\n", error);
    for (const auto& [delay, text] : script.parts) {
      std::this_thread::sleep_for(delay);
      asio::write(socket, asio::buffer(text), error);
    }
    if (script.stallAfterParts) {
      std::unique_lock<std::mutex> lock(mutex);
      stopped.wait(lock, [this] { return stopping; });
    }
    socket.shutdown(tcp::socket::shutdown_both, error);
    socket.close(error);
  }

  const Script script;
  asio::io_context io;
  tcp::acceptor acceptor;
  std::thread ioThread;
  std::vector<std::thread> connections;  // touched on the I/O thread, joined after it ends
  std::mutex mutex;                      // guards stopping
  std::condition_variable stopped;
  bool stopping = false;
};

struct Update {
  bool finished;
  bool failed;
  bool inProgress;
  double progress;
  std::string message;
  std::size_t outputSizeWhenSent;
};

// Collects the updates of one download and waits for its final status.
class Recorder {
 public:
  Utilities::StatusCallback Callback() {
    return [this](const Utilities::IStatusUpdate& status) {
      std::lock_guard<std::mutex> lock(mutex);
      updates.push_back({status.IsFinished(), status.IsFailed(), status.IsInProgress(),
                         status.Progress(), status.Message(), output.str().size()});
      if (status.IsFinished()) {
        ended.notify_all();
      }
    };
  }

  // Whether the final status has arrived, without waiting for it.
  bool Finished() {
    std::lock_guard<std::mutex> lock(mutex);
    return !updates.empty() && updates.back().finished;
  }

  // The updates once the final status has arrived (or after ten seconds, when it never does).
  std::vector<Update> WaitForEnd() {
    std::unique_lock<std::mutex> lock(mutex);
    ended.wait_for(lock, 10s, [this] { return !updates.empty() && updates.back().finished; });
    return updates;
  }

  std::ostringstream output;

 private:
  std::mutex mutex;
  std::condition_variable ended;
  std::vector<Update> updates;
};

std::string Response(const std::string& body, const std::string& headers) {
  return "HTTP/1.0 200 OK\r\n" + headers + "\r\n" + body;
}

std::string Body(std::size_t size) {
  std::string body(size, 'x');
  for (std::size_t i = 0; i < size; ++i) {
    body[i] = static_cast<char>('a' + i % 26);
  }
  return body;
}

// Timeouts that a test may reach: an unexpected wait ends in a timeout well before the
// recorder gives up, and the failed status names it.
constexpr DownloadTimeouts kTestTimeouts{2000ms, 5000ms, 8000ms};

// The updates of one download of page.asp from the host, by a downloader of its own.
std::vector<Update> DownloadFrom(const std::string& host, Recorder& recorder,
                                 DownloadTimeouts timeouts = kTestTimeouts,
                                 DownloadLimits limits = {}) {
  CreateFileDownloader(timeouts, limits)
      ->Download({host, "page.asp"}, recorder.output, recorder.Callback());
  return recorder.WaitForEnd();
}

TEST(FileDownloaderTest, BodyOfTheAnnouncedLengthArrivesWithProgressThenSuccess) {
  const std::string body = Body(100000);
  // The first part carries headers and the start of the body together.
  const std::string response = Response(body, "Content-Length: 100000\r\n");
  ScriptedServer server({{{0ms, response.substr(0, 5000)},
                          {20ms, response.substr(5000, 40000)},
                          {20ms, response.substr(45000)}}});
  auto downloader = CreateFileDownloader();
  Recorder recorder;
  downloader->Download({server.Host(), "catalogPG.asp?itemType=P&itemNo=3001"},
                       {{"isCountryID", "US"}, {"viewCurrencyID", "1"}}, recorder.output,
                       recorder.Callback());
  const auto updates = recorder.WaitForEnd();

  ASSERT_GE(updates.size(), 2u);
  for (std::size_t i = 0; i + 1 < updates.size(); ++i) {
    EXPECT_TRUE(updates[i].inProgress) << i;
    EXPECT_FALSE(updates[i].finished) << i;
    EXPECT_GT(updates[i].progress, 0.0) << i;
    EXPECT_LT(updates[i].progress, 1.0) << i;
    EXPECT_TRUE(updates[i].message.empty()) << i;
    if (i > 0) {
      EXPECT_GT(updates[i].progress, updates[i - 1].progress) << i;
    }
  }
  // Body bytes that came with the headers are written before the first progress update and
  // counted in it.
  EXPECT_GT(updates.front().outputSizeWhenSent, 0u);
  EXPECT_GT(updates.front().progress * 100000, updates.front().outputSizeWhenSent);
  const Update& last = updates.back();
  EXPECT_TRUE(last.finished);
  EXPECT_FALSE(last.failed);
  EXPECT_EQ(last.message, "Success!");
  EXPECT_EQ(last.outputSizeWhenSent, body.size());
  EXPECT_EQ(recorder.output.str(), body);
  // The request's bytes are HttpMessageTest's; RetrieverTest sees them arrive at a server.
}

// A length that does not read counts as none (HttpMessageTest).
TEST(FileDownloaderTest, ABodyWithoutLengthEndsWithTheConnection) {
  ScriptedServer server({{{0ms, Response("", "")}, {10ms, Body(40000)}}});
  Recorder recorder;
  const auto updates = DownloadFrom(server.Host(), recorder);
  ASSERT_FALSE(updates.empty());
  EXPECT_EQ(updates.back().message, "Success!");
  EXPECT_TRUE(recorder.output.str() == Body(40000));
  for (std::size_t i = 0; i + 1 < updates.size(); ++i) {
    EXPECT_TRUE(updates[i].inProgress);
    EXPECT_LT(updates[i].progress, 0.0) << "no length, no fraction";
  }
}

TEST(FileDownloaderTest, NothingListeningIsAConnectError) {
  // The tests' dead marketplace address, where nothing listens.
  Recorder recorder;
  const auto updates = DownloadFrom("127.0.0.1:9", recorder);
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_EQ(updates[0].message, "Connect error: Connection refused");
}

TEST(FileDownloaderTest, RunningOutOfFileDescriptorsEndsInAFailedStatus) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // The sanitizers' own checks need descriptors (they probe memory through a pipe) and report
  // sound code as broken without them.
  GTEST_SKIP() << "not under the sanitizers";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // In a child process: with no descriptor left, the download thread cannot make its I/O
  // loop. That must end the download, not the process.
  EXPECT_EXIT(
      {
        const int lowestFree = dup(2);
        close(lowestFree);
        rlimit limit{};
        getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = static_cast<rlim_t>(lowestFree);
        setrlimit(RLIMIT_NOFILE, &limit);
        Recorder recorder;
        const auto updates = DownloadFrom("127.0.0.1:9", recorder);
        const bool reported =
            updates.size() == 1 && updates[0].failed && updates[0].message.rfind("Error: ", 0) == 0;
        std::_Exit(reported ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(FileDownloaderTest, DownloadsRunOneAfterAnother) {
  const std::string response = Response("first", "Content-Length: 5\r\n");
  ScriptedServer slow({{{150ms, response}}});
  ScriptedServer fast({{{0ms, Response("second", "Content-Length: 6\r\n")}}});
  auto downloader = CreateFileDownloader();
  Recorder first;
  Recorder second;
  downloader->Download({slow.Host(), "a"}, first.output, first.Callback());
  // Waits for the first download's thread to end before the second starts: by the time it
  // returns, the first has ended, though its server took 150 ms and the second's none.
  downloader->Download({fast.Host(), "b"}, second.output, second.Callback());
  EXPECT_TRUE(first.Finished());
  const auto firstUpdates = first.WaitForEnd();
  const auto secondUpdates = second.WaitForEnd();
  ASSERT_FALSE(firstUpdates.empty());
  ASSERT_FALSE(secondUpdates.empty());
  EXPECT_EQ(firstUpdates.back().message, "Success!");
  EXPECT_EQ(secondUpdates.back().message, "Success!");
  EXPECT_EQ(first.output.str(), "first");
  EXPECT_EQ(second.output.str(), "second");

  // The same downloader serves again after both, and its destruction waits for a running one.
  Recorder third;
  downloader->Download({slow.Host(), "c"}, third.output, third.Callback());
  downloader.reset();
  EXPECT_TRUE(third.Finished());
  const auto thirdUpdates = third.WaitForEnd();
  ASSERT_FALSE(thirdUpdates.empty());
  EXPECT_EQ(thirdUpdates.back().message, "Success!");
}

// How a download ends against a server that follows the script: its one final status, with
// "{host}" for the server's host and "..." for any end, and the page it wrote when that is told.
struct Ending {
  const char* what;
  Script script;
  std::string message;
  std::optional<std::string> page = std::nullopt;
  DownloadLimits limits = {};
  DownloadTimeouts timeouts = kTestTimeouts;
};

TEST(FileDownloaderTest, EachAnswerEndsInItsOwnFinalStatus) {
  const std::string padding = "X-Padding: " + std::string(20000, 'a') + "\r\n";
  // A slow server that keeps sending within the limit is not cut off, however long it takes
  // in all: 12 pieces 150 ms apart, 1.65 s in all, under an idle limit of 1.2 s. Each gap
  // stays more than a second clear of the limit, so a busy machine does not turn it into one.
  const std::string slowResponse = Response(Body(3000), "Content-Length: 3000\r\n");
  Script slow;
  const std::size_t piece = (slowResponse.size() + 11) / 12;
  for (std::size_t at = 0; at < slowResponse.size(); at += piece) {
    slow.parts.push_back({at == 0 ? 0ms : 150ms, slowResponse.substr(at, piece)});
  }
  // Bytes keep coming, each well within the idle deadline, but the page never completes.
  Script endless{{{0ms, Response("", "Content-Length: 1000\r\n")}}};
  for (int part = 0; part < 40; ++part) {
    endless.parts.push_back({20ms, "x"});
  }
  const std::string chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  // Upper- and lower-case sizes, an extension, a trailer; a size line and the chunks split
  // across parts; the connection left open after the last chunk.
  const std::string chunked = "1F4;name=\"value\"\r\n" + Body(30000).substr(0, 500) + "\r\n" +
                              "733c\r\n" + Body(30000).substr(500) + "\r\n" +
                              "0\r\nX-Trailer: end\r\n\r\n";
  const DownloadTimeouts shortTimeouts{1000ms, 300ms};
  const std::string tooLarge = "Headers error: headers larger than 16384 bytes";
  const std::vector<Ending> endings{
      {"refused",
       {{{0ms, "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n"}}},
       "Error downloading {host}/page.asp\nError: Response returned with status code:  \"404\""},
      // Which status lines read is HttpMessageTest's part; one that does not is refused.
      {"not HTTP", {{{0ms, "ICY 200 OK\r\n\r\nbody"}}}, "Error: Invalid response"},
      {"closed before the status line", {}, "Status line error: ..."},
      {"closed within the headers",
       {{{0ms, "HTTP/1.0 200 OK\r\nContent-Le"}}},
       "Headers error: ..."},
      // Headers that never end within the read buffer are named as such, whatever follows.
      {"headers too large", {{{0ms, "HTTP/1.0 200 OK\r\n" + padding + "\r\nbody"}}}, tooLarge},
      {"headers too large, then silence",
       {{{0ms, "HTTP/1.0 200 OK\r\n" + padding + padding}}, true},
       tooLarge},
      {"body cut short of its length",
       {{{0ms, Response(Body(100), "Content-Length: 200\r\n")}}},
       "Content error: 100 of 200 bytes arrived"},
      // A successful download of nothing; what it means is the reader's affair.
      {"empty body", {{{0ms, Response("", "Content-Length: 0\r\n")}}}, "Success!", ""},
      {"silent",
       {{}, true},
       "Timeout error: no data for 300 milliseconds from {host}/page.asp",
       std::nullopt,
       {},
       shortTimeouts},
      {"stalled mid-body",
       {{{0ms, Response(Body(1000), "Content-Length: 5000\r\n")}}, true},
       "Timeout error: no data for 300 milliseconds from {host}/page.asp",
       std::nullopt,
       {},
       shortTimeouts},
      {"slow but steady", slow, "Success!", Body(3000), {}, {5000ms, 1200ms}},
      {"never complete",
       endless,
       "Timeout error: no complete page from {host}/page.asp within 300 milliseconds",
       std::nullopt,
       {},
       {2000ms, 3000ms, 300ms}},
      // The announced length ends the page though the connection stays open after it, as
      // after a keep-alive answer; the body may come with the headers or later.
      {"length, then open",
       {{{0ms, Response(Body(3000), "Content-Length: 3000\r\n")}}, true},
       "Success!",
       Body(3000)},
      {"empty, then open", {{{0ms, Response("", "Content-Length: 0\r\n")}}, true}, "Success!", ""},
      {"bytes after the announced end",
       {{{0ms, Response("hello", "Content-Length: 5\r\n")}, {10ms, "world"}}},
       "Success!",
       "hello"},
      // Announced too large: refused before the body is read.
      {"announced over the limit",
       {{{0ms, Response(Body(20000), "Content-Length: 20000\r\n")}}},
       "Content error: page larger than 10000 bytes",
       "",
       {10000}},
      {"over the limit without a length",
       {{{0ms, Response("", "")}, {10ms, Body(40000)}}},
       "Content error: page larger than 10000 bytes",
       std::nullopt,
       {10000}},
      {"exactly the limit", {{{0ms, Response(Body(10000), "")}}}, "Success!", Body(10000), {10000}},
      {"chunked",
       {{{0ms, chunkedHead + chunked.substr(0, 2)},
         {10ms, chunked.substr(2, 1000)},
         {10ms, chunked.substr(1002)}},
        true},
       "Success!",
       Body(30000)},
      // A Content-Length beside the chunked coding does not count; the answer may be HTTP/1.0.
      {"chunked with a length",
       {{{0ms,
          "HTTP/1.0 200 OK\r\nContent-Length: 3\r\ntransfer-encoding: Chunked\r\n\r\n"
          "5\r\nhello\r\n0\r\n\r\n"}}},
       "Success!",
       "hello"},
      {"bad chunk size",
       {{{0ms, chunkedHead + "zz\r\nhello\r\n0\r\n\r\n"}}},
       "Content error: bad chunked body: ...",
       ""},
      {"chunks cut short",
       {{{0ms, chunkedHead + "5\r\nhello\r\n3\r\nwo"}}},
       "Content error: connection closed before the last chunk"},
      {"unknown coding",
       {{{0ms,
          "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"}}},
       "Content error: unsupported transfer encoding \"gzip, chunked\"",
       ""},
      {"chunks over the limit",
       {{{0ms, chunkedHead + "2710\r\n" + Body(10000) + "\r\n0\r\n\r\n"}}},
       "Content error: page larger than 5000 bytes",
       std::nullopt,
       {5000}},
  };
  for (const Ending& ending : endings) {
    SCOPED_TRACE(ending.what);
    ScriptedServer server(ending.script);
    Recorder recorder;
    const auto updates = DownloadFrom(server.Host(), recorder, ending.timeouts, ending.limits);
    ASSERT_FALSE(updates.empty());
    EXPECT_EQ(std::count_if(updates.begin(), updates.end(),
                            [](const Update& update) { return update.finished; }),
              1);
    std::string message = ending.message;
    if (const auto at = message.find("{host}"); at != std::string::npos) {
      message.replace(at, 6, server.Host());
    }
    const bool anyEnd = message.size() > 3 && message.compare(message.size() - 3, 3, "...") == 0;
    if (anyEnd) {
      message.resize(message.size() - 3);
    }
    const Update& final = updates.back();
    EXPECT_EQ(anyEnd ? final.message.substr(0, message.size()) : final.message, message);
    EXPECT_EQ(final.failed, message != "Success!");
    const std::string page = recorder.output.str();
    if (ending.page) {
      EXPECT_TRUE(page == *ending.page) << page.size() << " bytes";
    }
    EXPECT_LE(page.size(), ending.limits.maxPageBytes);
  }
}

}  // namespace
}  // namespace Corvalle::FileDownloader
