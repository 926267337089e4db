// One download is a chain of Asio completion handlers on an I/O loop that lives for that
// download only: resolve, connect, write the request, read the status line, read the headers,
// then read the body in chunks of at most 16384 bytes until it is complete: at its announced
// length, at the last chunk of a chunked body, or else when the server closes the connection.
// A server may keep the connection open after a complete answer, so the announced end, not the
// end of the connection, ends the download. Chunked bodies go through Beast's parser, which
// knows the coding's corners (extensions, trailers, sizes split across reads) better than a
// hand-written decoder would. Each handler checks its error first and ends the download through
// FinishDownload, which cleans up before it delivers the one final status. Two steady timers
// guard the chain: the idle one is armed for the connection and re-armed whenever bytes arrive,
// so a silent or stalled server ends the download; the page one is armed once, so that a
// server dripping a byte now and then cannot hold the waiting retriever for hours either. The
// page size limit keeps an endless body from eating the memory of the caller's stream.

#include "Source/Base/FileDownloader/FileDownloader.h"

#include <boost/asio.hpp>
#include <boost/beast/http.hpp>
#include <boost/log/trivial.hpp>
#include <istream>
#include <ostream>
#include <thread>

namespace Corvalle::FileDownloader {

namespace {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using asio::ip::tcp;
using Utilities::StatusState;
using Utilities::StatusUpdate;

constexpr std::size_t kChunkSize = 16384;

std::string DescribeDuration(std::chrono::milliseconds duration) {
  const auto milliseconds = duration.count();
  if (milliseconds % 1000 == 0) {
    return std::to_string(milliseconds / 1000) + (milliseconds == 1000 ? " second" : " seconds");
  }
  return std::to_string(milliseconds) + (milliseconds == 1 ? " millisecond" : " milliseconds");
}

std::string DescribeSize(std::uint64_t bytes) {
  constexpr std::uint64_t kMebibyte = 1024 * 1024;
  if (bytes != 0 && bytes % kMebibyte == 0) {
    return std::to_string(bytes / kMebibyte) + " MiB";
  }
  return std::to_string(bytes) + " bytes";
}

class FileDownloader final : public IFileDownloader {
 public:
  FileDownloader(DownloadTimeouts timeouts_, DownloadLimits limits_);
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
  void ReadContent();
  bool TakeBody(bool reportProgress);
  bool TakeIdentityBody(bool reportProgress);
  bool TakeChunkedBody(bool reportProgress);
  void FailTooLarge();
  void ArmDeadline(std::chrono::milliseconds timeout, std::string what);
  void ArmIdleDeadline();
  void ArmPageDeadline();
  void DeadlineHandler(const boost::system::error_code& error);
  void Fail(const std::string& prefix, const boost::system::error_code& error);
  // Ends the download with a failed status after an exception on the download thread; callback
  // is the download's own, which the member may not hold yet.
  void FailOnException(const std::string& what, const Utilities::StatusCallback& callback);
  void FinishDownload(const StatusUpdate& status);
  void Cleanup();

  const DownloadTimeouts timeouts;
  const DownloadLimits limits;

  // Everything below is touched only by the download thread while a download runs, and by
  // Download and the destructor only after that thread has been joined.
  std::string url;
  Utilities::StatusCallback statusCallback;
  std::thread downloadThread;
  std::shared_ptr<asio::io_context> ioContext;
  std::shared_ptr<tcp::resolver> resolver;
  std::shared_ptr<tcp::socket> socket;
  std::shared_ptr<asio::steady_timer> deadline;
  std::shared_ptr<asio::steady_timer> pageDeadline;
  std::string request;
  std::shared_ptr<asio::streambuf> responseBuffer;
  std::ostream* output = nullptr;
  std::optional<std::uint64_t> contentLength;
  // Decodes the body when it comes chunked; empty for a body sent as it is.
  std::unique_ptr<http::response_parser<http::string_body>> chunkedParser;
  std::uint64_t bytesRead = 0;  // body bytes written to the output, decoded ones when chunked
  std::string timedOut;         // what timed out, once the deadline has passed
  bool finished = false;
};

FileDownloader::FileDownloader(DownloadTimeouts timeouts_, DownloadLimits limits_)
    : timeouts(timeouts_), limits(limits_) {
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
  try {
    downloadThread = std::thread([this, url_, cookies, &output_, statusCallback_] {
      PerformDownload(url_, cookies, output_, statusCallback_);
    });
  } catch (const std::exception& error) {
    // No thread, so no other place to end this download: the caller waits for its status.
    const std::string message = std::string("Error: unable to start the download: ") + error.what();
    BOOST_LOG_TRIVIAL(error) << message;
    statusCallback_(StatusUpdate(StatusState::Failed, message));
  }
}

void FileDownloader::PerformDownload(const Url& url_, const Cookies& cookies, std::ostream& output_,
                                     const Utilities::StatusCallback& statusCallback_) {
  // Nothing may leave this thread as an exception: that would end the process. Making the I/O
  // objects needs file descriptors, which may run out; preparing the request, arming the
  // deadlines and starting the resolution allocate; handlers and callbacks run inside the loop.
  // Each of these ends the download with one failed status like any other failure.
  try {
    finished = false;
    url = url_.host + "/" + url_.path;
    // Download has joined the previous download's thread: nothing of it is running any more.
    Reset();
    statusCallback = statusCallback_;
    request = PrepareRequest(url_.host, url_.path, cookies);
    BOOST_LOG_TRIVIAL(trace) << "Prepared request: " << request;
    output = &output_;

    const auto [name, service] = SplitHostAndService(url_.host);
    ArmPageDeadline();
    ArmDeadline(timeouts.connectTimeout, "no connection to " + url_.host + " within " +
                                             DescribeDuration(timeouts.connectTimeout));
    resolver->async_resolve(
        name, service, tcp::resolver::address_configured,
        [this](const boost::system::error_code& error,
               const tcp::resolver::results_type& endpoints) { ResolveHandler(error, endpoints); });
    ioContext->run();
  } catch (const std::exception& error) {
    FailOnException(error.what(), statusCallback_);
  } catch (...) {
    FailOnException("unknown exception", statusCallback_);
  }
}

void FileDownloader::FailOnException(const std::string& what,
                                     const Utilities::StatusCallback& callback) {
  if (finished) {
    // The final status has gone out; only its callback can have thrown.
    BOOST_LOG_TRIVIAL(error) << "Error after the download of " << url << ": " << what;
    return;
  }
  const std::string message = "Error: " + what;
  BOOST_LOG_TRIVIAL(error) << message;
  finished = true;
  try {
    Cleanup();
  } catch (const std::exception& error) {
    BOOST_LOG_TRIVIAL(error) << "Error cleaning up FileDownloader: " << error.what();
  }
  try {
    callback(StatusUpdate(StatusState::Failed, message));
  } catch (const std::exception& error) {
    BOOST_LOG_TRIVIAL(error) << "Error reporting the failed download of " << url << ": "
                             << error.what();
  }
}

void FileDownloader::Reset() {
  contentLength.reset();
  chunkedParser.reset();
  bytesRead = 0;
  timedOut.clear();
  finished = false;
  // The old objects belong to the old loop; they go before it does.
  socket.reset();
  resolver.reset();
  deadline.reset();
  pageDeadline.reset();
  ioContext = std::make_shared<asio::io_context>();
  resolver = std::make_shared<tcp::resolver>(*ioContext);
  socket = std::make_shared<tcp::socket>(*ioContext);
  deadline = std::make_shared<asio::steady_timer>(*ioContext);
  pageDeadline = std::make_shared<asio::steady_timer>(*ioContext);
  responseBuffer = std::make_shared<asio::streambuf>(kChunkSize);
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
  // The buffer is full and still holds no empty line: the headers outgrew it.
  if (error == asio::error::not_found) {
    FinishDownload(StatusUpdate(StatusState::Failed, DescribeOversizedHeaders(kChunkSize)));
    return;
  }
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
  if (const auto transferEncoding = FindHeaderValue(headerText, "Transfer-Encoding")) {
    if (!IsChunkedOnly(*transferEncoding)) {
      FinishDownload(StatusUpdate(StatusState::Failed,
                                  "Content error: unsupported transfer "
                                  "encoding \"" +
                                      *transferEncoding + "\""));
      return;
    }
    // The header has been read and judged already; the parser is primed with a header of its
    // own so that it reads only the chunked body that follows. A Content-Length beside the
    // chunked coding is ignored, as HTTP/1.1 demands.
    chunkedParser = std::make_unique<http::response_parser<http::string_body>>();
    chunkedParser->eager(true);
    chunkedParser->body_limit(limits.maxPageBytes);
    static const std::string kPrimer = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    boost::system::error_code primeError;
    chunkedParser->put(asio::buffer(kPrimer), primeError);
    if (primeError) {
      FinishDownload(StatusUpdate(StatusState::Failed, "Error: " + primeError.message()));
      return;
    }
  } else {
    contentLength = ParseContentLength(headerText);
    if (!contentLength && headerText.find("Content-Length:") != std::string::npos) {
      BOOST_LOG_TRIVIAL(warning) << "Ignoring an unreadable Content-Length from " << url;
    }
    if (contentLength && *contentLength > limits.maxPageBytes) {
      FailTooLarge();
      return;
    }
  }
  // Body bytes that came in with the headers; they may already be the whole body.
  if (TakeBody(false)) {
    ReadContent();
  }
}

void FileDownloader::ReadContent() {
  // A chunked body or the rest of an announced one may be shorter than a chunk, and a server
  // that keeps the connection open would never fill the chunk: ask only for what must come.
  std::size_t atLeast = kChunkSize;
  if (chunkedParser) {
    atLeast = 1;
  } else if (contentLength) {
    atLeast = static_cast<std::size_t>(
        std::min<std::uint64_t>(atLeast, *contentLength - std::min(bytesRead, *contentLength)));
  }
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
    if (TakeBody(true)) {
      ReadContent();
    }
    return;
  }
  if (error == asio::error::eof) {
    if (!TakeBody(false)) {
      return;
    }
    BOOST_LOG_TRIVIAL(trace) << "\nReached the end of the file";
    // A connection closed before the announced length or the last chunk means a cut page, not
    // a success.
    if (chunkedParser) {
      FinishDownload(StatusUpdate(StatusState::Failed,
                                  "Content error: connection closed before the last chunk"));
      return;
    }
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

// Moves the body bytes of the response buffer to the output. False when that ended the
// download, with the whole body or with a failure.
bool FileDownloader::TakeBody(bool reportProgress) {
  return chunkedParser ? TakeChunkedBody(reportProgress) : TakeIdentityBody(reportProgress);
}

bool FileDownloader::TakeIdentityBody(bool reportProgress) {
  const std::size_t buffered = responseBuffer->size();
  std::size_t taken = buffered;
  if (contentLength) {
    // Bytes past the announced end belong to no page.
    taken = static_cast<std::size_t>(std::min<std::uint64_t>(taken, *contentLength - bytesRead));
  }
  if (bytesRead + taken > limits.maxPageBytes) {
    FailTooLarge();
    return false;
  }
  bytesRead += taken;
  if (reportProgress) {
    if (contentLength) {
      // A progress update never reads as finished: only the final status ends a download.
      if (bytesRead < *contentLength) {
        statusCallback(
            StatusUpdate(static_cast<double>(bytesRead) / static_cast<double>(*contentLength)));
      }
    } else {
      statusCallback(StatusUpdate(StatusState::InProgress));
    }
  }
  if (taken > 0) {
    output->write(static_cast<const char*>(responseBuffer->data().data()),
                  static_cast<std::streamsize>(taken));
    output->flush();
  }
  responseBuffer->consume(buffered);
  if (contentLength && bytesRead == *contentLength) {
    FinishDownload(StatusUpdate(StatusState::Succeeded, "Success!"));
    return false;
  }
  return true;
}

bool FileDownloader::TakeChunkedBody(bool reportProgress) {
  std::string& decoded = chunkedParser->get().body();
  while (responseBuffer->size() > 0 && !chunkedParser->is_done()) {
    boost::system::error_code error;
    const std::size_t used = chunkedParser->put(responseBuffer->data(), error);
    responseBuffer->consume(used);
    if (error == http::error::need_more) {
      // A chunk size line that does not fit the buffer would never complete.
      if (responseBuffer->size() >= responseBuffer->max_size()) {
        FinishDownload(
            StatusUpdate(StatusState::Failed, "Content error: chunk size line too long"));
        return false;
      }
      break;
    }
    if (error == http::error::body_limit) {
      FailTooLarge();
      return false;
    }
    if (error) {
      FinishDownload(
          StatusUpdate(StatusState::Failed, "Content error: bad chunked body: " + error.message()));
      return false;
    }
    if (used == 0) {
      break;
    }
  }
  if (bytesRead + decoded.size() > limits.maxPageBytes) {
    FailTooLarge();
    return false;
  }
  bytesRead += decoded.size();
  if (reportProgress) {
    statusCallback(StatusUpdate(StatusState::InProgress));
  }
  if (!decoded.empty()) {
    output->write(decoded.data(), static_cast<std::streamsize>(decoded.size()));
    output->flush();
    decoded.clear();
  }
  if (chunkedParser->is_done()) {
    FinishDownload(StatusUpdate(StatusState::Succeeded, "Success!"));
    return false;
  }
  return true;
}

void FileDownloader::FailTooLarge() {
  FinishDownload(StatusUpdate(
      StatusState::Failed, "Content error: page larger than " + DescribeSize(limits.maxPageBytes)));
}

void FileDownloader::ArmDeadline(std::chrono::milliseconds timeout, std::string what) {
  deadline->expires_after(timeout);
  deadline->async_wait([this, what = std::move(what)](const boost::system::error_code& error) {
    if (error == asio::error::operation_aborted || finished) {
      return;  // re-armed or done
    }
    if (timedOut.empty()) {
      timedOut = what;
    }
    DeadlineHandler(error);
  });
}

void FileDownloader::ArmPageDeadline() {
  pageDeadline->expires_after(timeouts.pageTimeout);
  pageDeadline->async_wait([this](const boost::system::error_code& error) {
    if (error == asio::error::operation_aborted || finished) {
      return;
    }
    if (timedOut.empty()) {
      timedOut =
          "no complete page from " + url + " within " + DescribeDuration(timeouts.pageTimeout);
    }
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
  try {
    Cleanup();
  } catch (const std::exception& error) {
    // The status must go out all the same: the caller waits for it.
    BOOST_LOG_TRIVIAL(error) << "Error cleaning up FileDownloader: " << error.what();
  }
  statusCallback(status);
}

void FileDownloader::Cleanup() {
  if (deadline) {
    deadline->cancel();
  }
  if (pageDeadline) {
    pageDeadline->cancel();
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
}

}  // namespace

std::unique_ptr<IFileDownloader> CreateFileDownloader(DownloadTimeouts timeouts,
                                                      DownloadLimits limits) {
  return std::make_unique<FileDownloader>(timeouts, limits);
}

}  // namespace Corvalle::FileDownloader
