// One download is a chain of Asio completion handlers on an I/O loop that lives for that
// download only: resolve, connect, write the request, read the status line, read the headers,
// then read the body in chunks of at most 16384 bytes until the server closes the connection.
// Each handler checks its error first and ends the download through FinishDownload, which
// cleans up before it delivers the one final status. A steady timer guards the chain: it is
// armed for the connection and re-armed after every completed read or write, so a silent or
// stalled server ends the download instead of holding the waiting retriever for ever.

#include "FileDownloader.h"

#include <boost/asio.hpp>
#include <boost/log/trivial.hpp>
#include <istream>
#include <ostream>
#include <thread>

namespace Corvalle::FileDownloader {

namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using Utilities::StatusState;
using Utilities::StatusUpdate;

constexpr std::size_t kChunkSize = 16384;

enum class DownloaderState : std::uint32_t {
  Uninitialized = 0,
  Ready = 1,
  Busy = 2,
  Finished = 3,
};

std::string DescribeDuration(std::chrono::milliseconds duration) {
  const auto milliseconds = duration.count();
  if (milliseconds % 1000 == 0) {
    return std::to_string(milliseconds / 1000) + " seconds";
  }
  return std::to_string(milliseconds) + " milliseconds";
}

class FileDownloader final : public IFileDownloader {
 public:
  explicit FileDownloader(DownloadTimeouts timeouts_);
  ~FileDownloader() override;

  void Download(const Url& url, std::ostream& output,
                const Utilities::StatusCallback& statusCallback) override;
  void Download(const Url& url, const Cookies& cookies, std::ostream& output,
                const Utilities::StatusCallback& statusCallback) override;

 private:
  void PerformDownload(const Url& url, const Cookies& cookies, std::ostream& output,
                       const Utilities::StatusCallback& statusCallback);
  void Reset();
  void ResolveHandler(const boost::system::error_code& error,
                      const tcp::resolver::results_type& endpoints);
  void ConnectHandler(const boost::system::error_code& error);
  void RequestHandler(const boost::system::error_code& error);
  void StatusLineHandler(const boost::system::error_code& error);
  void HeadersHandler(const boost::system::error_code& error);
  void ContentHandler(const boost::system::error_code& error, std::size_t bytes);
  void ReadContent(std::size_t atLeast);
  void WriteBufferedBody();
  void ArmDeadline(std::chrono::milliseconds timeout, std::string what);
  void ArmIdleDeadline();
  void DeadlineHandler(const boost::system::error_code& error);
  void Fail(const std::string& prefix, const boost::system::error_code& error);
  void FinishDownload(const StatusUpdate& status);
  void Cleanup();

  const DownloadTimeouts timeouts;

  // Everything below is touched only by the download thread while a download runs, and by
  // Download and the destructor only after that thread has been joined.
  std::string url;
  DownloaderState state = DownloaderState::Uninitialized;
  Utilities::StatusCallback statusCallback;
  std::thread downloadThread;
  std::shared_ptr<asio::io_context> ioContext;
  std::shared_ptr<tcp::resolver> resolver;
  std::shared_ptr<tcp::socket> socket;
  std::shared_ptr<asio::steady_timer> deadline;
  std::string request;
  std::shared_ptr<asio::streambuf> responseBuffer;
  std::ostream* output = nullptr;
  std::optional<std::uint64_t> contentLength;
  std::uint64_t bytesRead = 0;
  std::string timedOut;  // what timed out, once the deadline has passed
  bool finished = false;
};

FileDownloader::FileDownloader(DownloadTimeouts timeouts_) : timeouts(timeouts_) {
  BOOST_LOG_TRIVIAL(trace) << "FileDownloader constructor!";
}

FileDownloader::~FileDownloader() {
  if (downloadThread.joinable()) {
    downloadThread.join();
  }
  Cleanup();
  BOOST_LOG_TRIVIAL(trace) << "FileDownloader destructor!";
}

void FileDownloader::Download(const Url& url_, std::ostream& output_,
                              const Utilities::StatusCallback& statusCallback_) {
  Download(url_, Cookies{}, output_, statusCallback_);
}

void FileDownloader::Download(const Url& url_, const Cookies& cookies, std::ostream& output_,
                              const Utilities::StatusCallback& statusCallback_) {
  if (downloadThread.joinable()) {
    downloadThread.join();
  }
  downloadThread = std::thread([this, url_, cookies, &output_, statusCallback_] {
    PerformDownload(url_, cookies, output_, statusCallback_);
  });
}

void FileDownloader::PerformDownload(const Url& url_, const Cookies& cookies, std::ostream& output_,
                                     const Utilities::StatusCallback& statusCallback_) {
  url = url_.host + "/" + url_.path;
  switch (state) {
    case DownloaderState::Uninitialized:
    case DownloaderState::Ready:
    case DownloaderState::Finished:
      break;
    case DownloaderState::Busy:
      statusCallback_(StatusUpdate(StatusState::Failed, "Error: File downloader is busy"));
      return;
    default:
      statusCallback_(StatusUpdate(StatusState::Failed, "Error: Unknown FileDownloader state"));
      return;
  }

  Reset();
  state = DownloaderState::Busy;
  statusCallback = statusCallback_;
  request = PrepareRequest(url_.host, url_.path, cookies);
  BOOST_LOG_TRIVIAL(trace) << "Prepared request: " << request;
  output = &output_;

  const auto [name, service] = SplitHostAndService(url_.host);
  ArmDeadline(timeouts.connectTimeout, "no connection to " + url_.host + " within " +
                                           DescribeDuration(timeouts.connectTimeout));
  resolver->async_resolve(
      name, service, tcp::resolver::address_configured,
      [this](const boost::system::error_code& error, const tcp::resolver::results_type& endpoints) {
        ResolveHandler(error, endpoints);
      });

  try {
    ioContext->run();
  } catch (const std::exception& error) {
    // Handlers do not throw by themselves; this is the I/O loop's own failure or a callback's.
    if (!finished) {
      FinishDownload(StatusUpdate(StatusState::Failed, std::string("Error: ") + error.what()));
    } else {
      BOOST_LOG_TRIVIAL(error) << "Error after the download of " << url << ": " << error.what();
    }
  }
}

void FileDownloader::Reset() {
  contentLength.reset();
  bytesRead = 0;
  timedOut.clear();
  finished = false;
  // The old objects belong to the old loop; they go before it does.
  socket.reset();
  resolver.reset();
  deadline.reset();
  ioContext = std::make_shared<asio::io_context>();
  resolver = std::make_shared<tcp::resolver>(*ioContext);
  socket = std::make_shared<tcp::socket>(*ioContext);
  deadline = std::make_shared<asio::steady_timer>(*ioContext);
  responseBuffer = std::make_shared<asio::streambuf>(kChunkSize);
  state = DownloaderState::Ready;
}

void FileDownloader::ResolveHandler(const boost::system::error_code& error,
                                    const tcp::resolver::results_type& endpoints) {
  BOOST_LOG_TRIVIAL(trace) << "Resolving endpoint...";
  if (error) {
    Fail("Resolve error: ", error);
    return;
  }
  BOOST_LOG_TRIVIAL(trace) << "Resolve successful.";
  BOOST_LOG_TRIVIAL(trace) << "Attempting to connect to endpoint...";
  asio::async_connect(*socket, endpoints,
                      [this](const boost::system::error_code& connectError, const tcp::endpoint&) {
                        ConnectHandler(connectError);
                      });
}

void FileDownloader::ConnectHandler(const boost::system::error_code& error) {
  if (error) {
    Fail("Connect error: ", error);
    return;
  }
  BOOST_LOG_TRIVIAL(trace) << "Connection successful.";
  BOOST_LOG_TRIVIAL(trace) << "Sending request...";
  ArmIdleDeadline();
  asio::async_write(*socket, asio::buffer(request),
                    [this](const boost::system::error_code& writeError, std::size_t) {
                      RequestHandler(writeError);
                    });
}

void FileDownloader::RequestHandler(const boost::system::error_code& error) {
  if (error) {
    Fail("Request error: ", error);
    return;
  }
  BOOST_LOG_TRIVIAL(trace) << "Request successful";
  BOOST_LOG_TRIVIAL(trace) << "Reading status line...";
  ArmIdleDeadline();
  asio::async_read_until(*socket, *responseBuffer, "\r\n",
                         [this](const boost::system::error_code& readError, std::size_t) {
                           StatusLineHandler(readError);
                         });
}

void FileDownloader::StatusLineHandler(const boost::system::error_code& error) {
  if (error) {
    Fail("Status line error: ", error);
    return;
  }
  std::istream responseStream(responseBuffer.get());
  std::string line;
  std::getline(responseStream, line);
  const auto status = ParseStatusLine(line);
  if (!status) {
    FinishDownload(StatusUpdate(StatusState::Failed, "Error: Invalid response"));
    return;
  }
  BOOST_LOG_TRIVIAL(trace) << "Status message: " << status->message;
  if (status->code != 200) {
    FinishDownload(
        StatusUpdate(StatusState::Failed, "Error downloading " + url +
                                              "\nError: Response returned with status code:  \"" +
                                              std::to_string(status->code) + "\""));
    return;
  }
  BOOST_LOG_TRIVIAL(trace) << "Reading headers...";
  // A response without any header line has its empty line right after the status line; a
  // search for "\r\n\r\n" would miss it and read into the body.
  const auto buffered = responseBuffer->data();
  const std::string start(
      asio::buffers_begin(buffered),
      asio::buffers_begin(buffered) +
          static_cast<std::ptrdiff_t>(std::min<std::size_t>(2, responseBuffer->size())));
  if (start == "\r\n") {
    HeadersHandler({});
    return;
  }
  ArmIdleDeadline();
  asio::async_read_until(*socket, *responseBuffer, "\r\n\r\n",
                         [this](const boost::system::error_code& readError, std::size_t) {
                           HeadersHandler(readError);
                         });
}

void FileDownloader::HeadersHandler(const boost::system::error_code& error) {
  if (error) {
    Fail("Headers error: ", error);
    return;
  }
  BOOST_LOG_TRIVIAL(trace) << "Headers follow: ";
  std::istream responseStream(responseBuffer.get());
  std::string headerText;
  for (std::string line; std::getline(responseStream, line) && line != "\r";) {
    headerText += line;
  }
  BOOST_LOG_TRIVIAL(trace) << headerText;
  contentLength = ParseContentLength(headerText);
  if (!contentLength && headerText.find("Content-Length:") != std::string::npos) {
    BOOST_LOG_TRIVIAL(warning) << "Ignoring an unreadable Content-Length from " << url;
  }
  // Body bytes that came in with the headers.
  WriteBufferedBody();
  ReadContent(1);
}

void FileDownloader::ReadContent(std::size_t atLeast) {
  ArmIdleDeadline();
  // Like transfer_at_least, but every arrival of bytes re-arms the deadline: a chunk may take
  // long to fill from a slow server that is still sending.
  auto condition = [this, atLeast, seen = std::size_t{0}](const boost::system::error_code& error,
                                                          std::size_t transferred) mutable {
    if (transferred != seen) {
      seen = transferred;
      ArmIdleDeadline();
    }
    return (error || transferred >= atLeast) ? std::size_t{0} : std::size_t{65536};
  };
  asio::async_read(*socket, *responseBuffer, condition,
                   [this](const boost::system::error_code& readError, std::size_t bytes) {
                     ContentHandler(readError, bytes);
                   });
}

void FileDownloader::ArmIdleDeadline() {
  ArmDeadline(timeouts.idleTimeout,
              "no data for " + DescribeDuration(timeouts.idleTimeout) + " from " + url);
}

void FileDownloader::ContentHandler(const boost::system::error_code& error, std::size_t) {
  if (!error) {
    const std::size_t chunk = responseBuffer->size();
    bytesRead += chunk;
    if (contentLength) {
      // A progress update never reads as finished: only the final status ends a download.
      if (bytesRead < *contentLength) {
        statusCallback(
            StatusUpdate(static_cast<double>(bytesRead) / static_cast<double>(*contentLength)));
      }
    } else {
      statusCallback(StatusUpdate(StatusState::InProgress));
    }
    *output << responseBuffer.get();
    output->flush();
    ReadContent(kChunkSize);
    return;
  }
  if (error == asio::error::eof) {
    WriteBufferedBody();
    BOOST_LOG_TRIVIAL(trace) << "\nReached the end of the file";
    // A connection closed before the announced length means a cut page, not a success.
    if (contentLength && bytesRead < *contentLength) {
      FinishDownload(
          StatusUpdate(StatusState::Failed, "Content error: " + std::to_string(bytesRead) + " of " +
                                                std::to_string(*contentLength) + " bytes arrived"));
      return;
    }
    FinishDownload(StatusUpdate(StatusState::Succeeded, "Success!"));
    return;
  }
  Fail("Content error: ", error);
}

void FileDownloader::WriteBufferedBody() {
  const std::size_t buffered = responseBuffer->size();
  if (buffered == 0) {
    return;
  }
  bytesRead += buffered;
  *output << responseBuffer.get();
  output->flush();
}

void FileDownloader::ArmDeadline(std::chrono::milliseconds timeout, std::string what) {
  deadline->expires_after(timeout);
  deadline->async_wait([this, what = std::move(what)](const boost::system::error_code& error) {
    if (error == asio::error::operation_aborted || finished) {
      return;  // re-armed or done
    }
    timedOut = what;
    DeadlineHandler(error);
  });
}

void FileDownloader::DeadlineHandler(const boost::system::error_code&) {
  // Cancelling the pending operation makes its handler report the timeout.
  boost::system::error_code ignored;
  resolver->cancel();
  socket->cancel(ignored);
  socket->close(ignored);
}

void FileDownloader::Fail(const std::string& prefix, const boost::system::error_code& error) {
  if (!timedOut.empty()) {
    FinishDownload(StatusUpdate(StatusState::Failed, "Timeout error: " + timedOut));
    return;
  }
  FinishDownload(StatusUpdate(StatusState::Failed, prefix + error.message()));
}

void FileDownloader::FinishDownload(const StatusUpdate& status) {
  if (status.IsFailed()) {
    BOOST_LOG_TRIVIAL(error) << status.Message();
  }
  finished = true;
  Cleanup();
  statusCallback(status);
}

void FileDownloader::Cleanup() {
  if (deadline) {
    deadline->cancel();
  }
  if (socket && socket->is_open()) {
    boost::system::error_code ignored;
    socket->shutdown(tcp::socket::shutdown_both, ignored);
    boost::system::error_code closeError;
    socket->close(closeError);
    if (closeError) {
      BOOST_LOG_TRIVIAL(error) << "Error cleaning up FileDownloader: " << closeError.message();
    }
  }
  if (ioContext) {
    ioContext->stop();
  }
  state = DownloaderState::Finished;
}

}  // namespace

std::unique_ptr<IFileDownloader> CreateFileDownloader(DownloadTimeouts timeouts) {
  return std::make_unique<FileDownloader>(timeouts);
}

}  // namespace Corvalle::FileDownloader
