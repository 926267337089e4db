#pragma once

#include <chrono>
#include <iosfwd>
#include <memory>

#include "HttpMessage.h"
#include "StatusUpdate.h"
#include "Url.h"

namespace Corvalle::FileDownloader {

// Fetches one document at a time over HTTP/1.0 and writes its body into a stream the caller
// owns.
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
// connectTimeout, or that sends nothing for idleTimeout once connected, ends the download with
// a failed status "Timeout error: ...".
struct DownloadTimeouts {
  std::chrono::milliseconds connectTimeout{std::chrono::seconds(30)};
  std::chrono::milliseconds idleTimeout{std::chrono::seconds(30)};
};

std::unique_ptr<IFileDownloader> CreateFileDownloader(DownloadTimeouts timeouts = {});

}  // namespace Corvalle::FileDownloader
