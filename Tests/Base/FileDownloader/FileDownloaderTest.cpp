#include "FileDownloader/FileDownloader.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <boost/asio.hpp>
#include <condition_variable>
#include <mutex>
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

// A loopback server that answers every connection with the same script and records requests.
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

  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(mutex);
    return requests;
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
    {
      std::lock_guard<std::mutex> lock(mutex);
      requests.emplace_back(asio::buffers_begin(buffer.data()), asio::buffers_end(buffer.data()));
    }
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
  std::mutex mutex;                      // guards requests and stopping
  std::condition_variable stopped;
  std::vector<std::string> requests;
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

// The final status of a download against a server following the script, and what the
// download wrote.
struct Outcome {
  Update final;
  std::string page;
};

Outcome Download(const Script& script, DownloadTimeouts timeouts = {}, DownloadLimits limits = {}) {
  ScriptedServer server(script);
  auto downloader = CreateFileDownloader(timeouts, limits);
  Recorder recorder;
  downloader->Download({server.Host(), "page.asp"}, recorder.output, recorder.Callback());
  const auto updates = recorder.WaitForEnd();
  EXPECT_FALSE(updates.empty());
  return {updates.empty() ? Update{} : updates.back(), recorder.output.str()};
}

Update FinalStatus(const Script& script, DownloadTimeouts timeouts = {}) {
  return Download(script, timeouts).final;
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

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0],
            "GET /catalogPG.asp?itemType=P&itemNo=3001 HTTP/1.0\r\nHost: " + server.Host() +
                "\r\nAccept: */*\r\nCookie: isCountryID=US;viewCurrencyID=1;\r\n"
                "Connection: close\r\n\r\n");
}

TEST(FileDownloaderTest, ServerRefusalsAndBrokenAnswersEndInOneFailedStatus) {
  {
    ScriptedServer server({{{0ms, "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n"}}});
    auto downloader = CreateFileDownloader();
    Recorder recorder;
    downloader->Download({server.Host(), "store.asp?sID=77"}, recorder.output, recorder.Callback());
    const auto updates = recorder.WaitForEnd();
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_TRUE(updates[0].failed);
    EXPECT_EQ(updates[0].message, "Error downloading " + server.Host() +
                                      "/store.asp?sID=77\nError: Response returned with status "
                                      "code:  \"404\"");
  }
  EXPECT_EQ(FinalStatus({{{0ms, "ICY 200 OK\r\n\r\nbody"}}}).message, "Error: Invalid response");
  EXPECT_EQ(FinalStatus({{{0ms, "HTTP/1.0 OK\r\n\r\nbody"}}}).message, "Error: Invalid response");
  // HTTP/1.1 is accepted: only "HTTP/" is compared.
  EXPECT_EQ(FinalStatus({{{0ms, "HTTP/1.1 200 OK\r\n\r\nbody"}}}).message, "Success!");

  // A connection closed before the status line, or before the end of the headers.
  EXPECT_EQ(FinalStatus({{}}).message.rfind("Status line error: ", 0), 0u);
  EXPECT_EQ(
      FinalStatus({{{0ms, "HTTP/1.0 200 OK\r\nContent-Le"}}}).message.rfind("Headers error: ", 0),
      0u);
  // Headers that never end within the read buffer are named as such, whatever follows them.
  const std::string padding = "X-Padding: " + std::string(20000, 'a') + "\r\n";
  EXPECT_EQ(FinalStatus({{{0ms, "HTTP/1.0 200 OK\r\n" + padding + "\r\nbody"}}}).message,
            "Headers error: headers larger than 16384 bytes");
  EXPECT_EQ(FinalStatus({{{0ms, "HTTP/1.0 200 OK\r\n" + padding + padding}}, true}).message,
            "Headers error: headers larger than 16384 bytes");

  // A body cut short of its announced length is a failure, not a success.
  const Update cut = FinalStatus({{{0ms, Response(Body(100), "Content-Length: 200\r\n")}}});
  EXPECT_TRUE(cut.failed);
  EXPECT_EQ(cut.message, "Content error: 100 of 200 bytes arrived");
}

TEST(FileDownloaderTest, BodiesWithoutUsableLength) {
  for (const std::string& headers : {std::string(""), std::string("Content-Length: many\r\n"),
                                     std::string("Content-Length: 99999999999999999999999\r\n")}) {
    ScriptedServer server({{{0ms, Response("", headers)}, {10ms, Body(40000)}}});
    auto downloader = CreateFileDownloader();
    Recorder recorder;
    downloader->Download({server.Host(), "p"}, recorder.output, recorder.Callback());
    const auto updates = recorder.WaitForEnd();
    ASSERT_FALSE(updates.empty());
    EXPECT_EQ(updates.back().message, "Success!") << headers;
    EXPECT_TRUE(recorder.output.str() == Body(40000)) << headers;
    for (std::size_t i = 0; i + 1 < updates.size(); ++i) {
      EXPECT_TRUE(updates[i].inProgress);
      EXPECT_LT(updates[i].progress, 0.0) << "no length, no fraction";
    }
  }
  // An empty body is a successful download of nothing; what it means is the reader's affair.
  const Update empty = FinalStatus({{{0ms, Response("", "Content-Length: 0\r\n")}}});
  EXPECT_EQ(empty.message, "Success!");
  EXPECT_EQ(empty.outputSizeWhenSent, 0u);
}

TEST(FileDownloaderTest, SilentServersTimeOut) {
  const DownloadTimeouts shortTimeouts{1000ms, 300ms};
  // Accepts and never answers.
  const Update silent = FinalStatus({{}, true}, shortTimeouts);
  EXPECT_TRUE(silent.failed);
  EXPECT_EQ(silent.message.rfind("Timeout error: no data for 300 milliseconds from 127.0.0.1:", 0),
            0u)
      << silent.message;
  // Stalls in the middle of the body.
  const Update stalled =
      FinalStatus({{{0ms, Response(Body(1000), "Content-Length: 5000\r\n")}}, true}, shortTimeouts);
  EXPECT_TRUE(stalled.failed);
  EXPECT_EQ(stalled.message.rfind("Timeout error: ", 0), 0u) << stalled.message;
  // A slow server that keeps sending within the limit is not cut off, however long it takes
  // in all: 12 pieces 150 ms apart, 1.65 s in all, under an idle limit of 1.2 s. Each gap
  // stays more than a second clear of the limit, so a busy machine does not turn it into one.
  const std::string response = Response(Body(3000), "Content-Length: 3000\r\n");
  Script trickle;
  const std::size_t piece = (response.size() + 11) / 12;
  for (std::size_t at = 0; at < response.size(); at += piece) {
    trickle.parts.push_back({at == 0 ? 0ms : 150ms, response.substr(at, piece)});
  }
  const Update slow = FinalStatus(trickle, {5000ms, 1200ms});
  EXPECT_EQ(slow.message, "Success!");
}

TEST(FileDownloaderTest, NothingListeningIsAConnectError) {
  // Bind a port, then free it, so that nothing listens there.
  std::string host;
  {
    asio::io_context io;
    tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    host = "127.0.0.1:" + std::to_string(acceptor.local_endpoint().port());
  }
  auto downloader = CreateFileDownloader();
  Recorder recorder;
  downloader->Download({host, "p"}, recorder.output, recorder.Callback());
  const auto updates = recorder.WaitForEnd();
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
        auto downloader = CreateFileDownloader();
        Recorder recorder;
        downloader->Download({"127.0.0.1:9", "p"}, recorder.output, recorder.Callback());
        const auto updates = recorder.WaitForEnd();
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

// Timeouts that a test may reach: an unexpected wait ends in a timeout well before the
// recorder gives up, and the failed status names it.
constexpr DownloadTimeouts kTestTimeouts{2000ms, 5000ms, 8000ms};

TEST(FileDownloaderBodyEndTest, AnnouncedLengthEndsThePageThoughTheConnectionStaysOpen) {
  // The server keeps the connection open after the answer, as after a keep-alive one.
  const Outcome open =
      Download({{{0ms, Response(Body(3000), "Content-Length: 3000\r\n")}}, true}, kTestTimeouts);
  EXPECT_EQ(open.final.message, "Success!");
  EXPECT_EQ(open.page, Body(3000));
  // The whole body came with the headers, or in a later part.
  const Outcome split =
      Download({{{0ms, Response("", "Content-Length: 20000\r\n")}, {10ms, Body(20000)}}, true},
               kTestTimeouts);
  EXPECT_EQ(split.final.message, "Success!");
  EXPECT_EQ(split.page, Body(20000));
  const Outcome empty =
      Download({{{0ms, Response("", "Content-Length: 0\r\n")}}, true}, kTestTimeouts);
  EXPECT_EQ(empty.final.message, "Success!");
  EXPECT_TRUE(empty.page.empty());
  // Bytes after the announced end are not part of the page.
  const Outcome extra = Download(
      {{{0ms, Response("hello", "Content-Length: 5\r\n")}, {10ms, "world"}}}, kTestTimeouts);
  EXPECT_EQ(extra.final.message, "Success!");
  EXPECT_EQ(extra.page, "hello");
}

TEST(FileDownloaderBodyEndTest, PagesOverTheSizeLimitFail) {
  const DownloadLimits limits{10000};
  // Announced too large: refused before the body is read.
  const Outcome announced = Download({{{0ms, Response(Body(20000), "Content-Length: 20000\r\n")}}},
                                     kTestTimeouts, limits);
  EXPECT_TRUE(announced.final.failed);
  EXPECT_EQ(announced.final.message, "Content error: page larger than 10000 bytes");
  EXPECT_TRUE(announced.page.empty());
  // Without a length the limit is found while reading.
  const Outcome unannounced =
      Download({{{0ms, Response("", "")}, {10ms, Body(40000)}}}, kTestTimeouts, limits);
  EXPECT_TRUE(unannounced.final.failed);
  EXPECT_EQ(unannounced.final.message, "Content error: page larger than 10000 bytes");
  EXPECT_LE(unannounced.page.size(), 10000u);
  // A page of exactly the limit is whole.
  const Outcome exact = Download({{{0ms, Response(Body(10000), "")}}}, kTestTimeouts, limits);
  EXPECT_EQ(exact.final.message, "Success!");
  EXPECT_EQ(exact.page, Body(10000));
}

TEST(FileDownloaderBodyEndTest, PageDeadlineEndsADownloadThatNeverCompletes) {
  // Bytes keep coming, each well within the idle deadline, but the page never completes.
  Script trickle;
  trickle.parts.push_back({0ms, Response("", "Content-Length: 1000\r\n")});
  for (int part = 0; part < 40; ++part) {
    trickle.parts.push_back({20ms, "x"});
  }
  const Outcome slow = Download(trickle, {2000ms, 3000ms, 300ms});
  EXPECT_TRUE(slow.final.failed);
  EXPECT_EQ(slow.final.message.rfind("Timeout error: no complete page from 127.0.0.1:", 0), 0u)
      << slow.final.message;
  EXPECT_NE(slow.final.message.find("/page.asp within 300 milliseconds"), std::string::npos)
      << slow.final.message;
  // Left to itself, a page may take two minutes at most.
  EXPECT_EQ(DownloadTimeouts{}.pageTimeout, std::chrono::minutes(2));
}

TEST(FileDownloaderChunkedTest, ChunkedBodyIsDecoded) {
  const std::string body = Body(30000);
  // Upper- and lower-case sizes, an extension, a trailer; a size line and the chunks split
  // across parts; the connection left open after the last chunk.
  const std::string chunked = "1F4;name=\"value\"\r\n" + body.substr(0, 500) + "\r\n" + "733c\r\n" +
                              body.substr(500) + "\r\n" + "0\r\nX-Trailer: end\r\n\r\n";
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  const Outcome open = Download({{{0ms, head + chunked.substr(0, 2)},
                                  {10ms, chunked.substr(2, 1000)},
                                  {10ms, chunked.substr(1002)}},
                                 true},
                                kTestTimeouts);
  EXPECT_EQ(open.final.message, "Success!");
  EXPECT_TRUE(open.page == body) << open.page.size();
  // A Content-Length beside the chunked coding does not count; the answer may be HTTP/1.0.
  const Outcome withLength =
      Download({{{0ms,
                  "HTTP/1.0 200 OK\r\nContent-Length: 3\r\ntransfer-encoding: Chunked\r\n\r\n"
                  "5\r\nhello\r\n0\r\n\r\n"}}},
               kTestTimeouts);
  EXPECT_EQ(withLength.final.message, "Success!");
  EXPECT_EQ(withLength.page, "hello");
}

TEST(FileDownloaderChunkedTest, BrokenOrUnknownCodingsFail) {
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  const Outcome badSize = Download({{{0ms, head + "zz\r\nhello\r\n0\r\n\r\n"}}}, kTestTimeouts);
  EXPECT_TRUE(badSize.final.failed);
  EXPECT_EQ(badSize.final.message.rfind("Content error: bad chunked body: ", 0), 0u)
      << badSize.final.message;
  EXPECT_EQ(badSize.page.find("zz"), std::string::npos);

  const Outcome cut = Download({{{0ms, head + "5\r\nhello\r\n3\r\nwo"}}}, kTestTimeouts);
  EXPECT_TRUE(cut.final.failed);
  EXPECT_EQ(cut.final.message, "Content error: connection closed before the last chunk");

  const Outcome gzip = Download(
      {{{0ms,
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"}}},
      kTestTimeouts);
  EXPECT_TRUE(gzip.final.failed);
  EXPECT_EQ(gzip.final.message, "Content error: unsupported transfer encoding \"gzip, chunked\"");
  EXPECT_TRUE(gzip.page.empty());

  const Outcome large = Download({{{0ms, head + "2710\r\n" + Body(10000) + "\r\n0\r\n\r\n"}}},
                                 kTestTimeouts, DownloadLimits{5000});
  EXPECT_TRUE(large.final.failed);
  EXPECT_EQ(large.final.message, "Content error: page larger than 5000 bytes");
  EXPECT_LE(large.page.size(), 5000u);
}

}  // namespace
}  // namespace Corvalle::FileDownloader
