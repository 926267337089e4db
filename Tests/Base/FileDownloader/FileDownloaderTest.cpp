#include "FileDownloader/FileDownloader.h"

#include <gtest/gtest.h>

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

// The final status of a download against a server following the script.
Update FinalStatus(const Script& script, DownloadTimeouts timeouts = {}) {
  ScriptedServer server(script);
  auto downloader = CreateFileDownloader(timeouts);
  Recorder recorder;
  downloader->Download({server.Host(), "page.asp"}, recorder.output, recorder.Callback());
  const auto updates = recorder.WaitForEnd();
  EXPECT_FALSE(updates.empty());
  return updates.empty() ? Update{} : updates.back();
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
  // in all.
  const std::string response = Response(Body(3000), "Content-Length: 3000\r\n");
  const Update slow = FinalStatus({{{0ms, response.substr(0, 1000)},
                                    {700ms, response.substr(1000, 1000)},
                                    {700ms, response.substr(2000, 500)},
                                    {700ms, response.substr(2500)}}},
                                  {5000ms, 1500ms});
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

TEST(FileDownloaderTest, DownloadsRunOneAfterAnother) {
  const std::string response = Response("first", "Content-Length: 5\r\n");
  ScriptedServer slow({{{150ms, response}}});
  ScriptedServer fast({{{0ms, Response("second", "Content-Length: 6\r\n")}}});
  auto downloader = CreateFileDownloader();
  Recorder first;
  Recorder second;
  downloader->Download({slow.Host(), "a"}, first.output, first.Callback());
  // Waits for the first download's thread to end before the second starts.
  downloader->Download({fast.Host(), "b"}, second.output, second.Callback());
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
  const auto thirdUpdates = third.WaitForEnd();
  ASSERT_FALSE(thirdUpdates.empty());
  EXPECT_EQ(thirdUpdates.back().message, "Success!");
}

}  // namespace
}  // namespace Corvalle::FileDownloader
