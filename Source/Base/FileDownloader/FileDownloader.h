#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <memory>

#include "Source/Base/FileDownloader/HttpMessage.h"
#include "Source/Base/StatusUpdate.h"
#include "Source/Base/FileDownloader/Url.h"

namespace Corvalle::FileDownloader {

// Fetches one document at a time over HTTP/1.0 and writes its body into a stream the caller
// owns. The body ends where its Content-Length says, whether or not the server then closes the
// connection; without a length, at the end of the connection. A body in the chunked transfer
// coding is decoded; any other transfer coding is refused with a failed status
// "Content error: ...".
//
// Download returns at once; the exchange runs on a thread of the downloader's own. On that
// thread the callback receives any number of progress updates (never a finished one) and then
// exactly one final status: failed with the reason, or succeeded with "Success!". The caller
// must keep the stream and whatever the callback refers to alive, and leave the stream alone,
// until the final status has arrived. Downloads run strictly one after another: Download waits
// for the previous download's thread to end before it starts the next.
class IFileDownloader {
 public:
  virtual ~IFileDownloader() = default;
  IFileDownloader(const IFileDownloader&) = delete;
  IFileDownloader& operator=(const IFileDownloader&) = delete;

  virtual void Download(const Url& url, std::ostream& output,
                        const Utilities::StatusCallback& statusCallback) = 0;
  // Sends the cookies, in order, as "Cookie: name=value;name=value;".
  virtual void Download(const Url& url, const Cookies& cookies, std::ostream& output,
                        const Utilities::StatusCallback& statusCallback) = 0;

 protected:
  IFileDownloader() = default;
};

// How long a download may wait. A server that does not accept the connection within
// connectTimeout, that sends nothing for idleTimeout once connected, or that has not delivered
// the whole page within pageTimeout of the start (a trickle of bytes keeps the idle deadline
// away for ever) ends the download with a failed status "Timeout error: ..." that names the
// page. Tests set them lower.
struct DownloadTimeouts {
  std::chrono::milliseconds connectTimeout{std::chrono::seconds(30)};
  std::chrono::milliseconds idleTimeout{std::chrono::seconds(30)};
  std::chrono::milliseconds pageTimeout{std::chrono::minutes(2)};
};

// How much a download may bring. A body larger than maxPageBytes, announced or received, ends
// the download with a failed status "Content error: page larger than ..." instead of growing
// the caller's stream without end; what was written before stays in the stream.
struct DownloadLimits {
  std::uint64_t maxPageBytes = std::uint64_t{64} * 1024 * 1024;
};

std::unique_ptr<IFileDownloader> CreateFileDownloader(DownloadTimeouts timeouts = {},
                                                      DownloadLimits limits = {});

}  // namespace Corvalle::FileDownloader
