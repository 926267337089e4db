#include "Source/Base/BrickLink/DownloadWaiter.h"

#include <boost/log/trivial.hpp>
#include <sstream>

#include "Source/Base/Assert.h"

namespace Corvalle::BrickLink {

std::optional<std::string> DownloadWaiter::Fetch(FileDownloader::IFileDownloader& fileDownloader,
                                                 const FileDownloader::Url& url_,
                                                 const FileDownloader::Cookies& cookies) {
  const std::string address = url_.host + "/" + url_.path;
  BOOST_LOG_TRIVIAL(debug) << address;
  std::ostringstream page;
  ExpectDownload(address);
  fileDownloader.Download(url_, cookies, page, Callback());
  if (!WaitForEnd()) {
    return std::nullopt;
  }
  return page.str();
}

const std::string& DownloadWaiter::Failure() const { return failure; }

void DownloadWaiter::ExpectDownload(std::string url_) {
  CORVALLE_ASSERT(!downloadEnded);
  CORVALLE_ASSERT(!downloadSuccessful);
  url = std::move(url_);
}

Utilities::StatusCallback DownloadWaiter::Callback() {
  return [this](const Utilities::IStatusUpdate& status) { HandleDownloadStatus(status); };
}

bool DownloadWaiter::WaitForEnd() {
  {
    const auto hasEnded = [this] { return downloadEnded.load(); };
    std::unique_lock<std::mutex> lock(mutex);
    if (slowPage.callback && !ended.wait_for(lock, slowPage.after, hasEnded)) {
      lock.unlock();
      // The download goes on writing into this frame's stream: nothing may leave before its end.
      try {
        slowPage.callback(url);
      } catch (const std::exception& error) {
        BOOST_LOG_TRIVIAL(error) << "Error telling of the slow page " << url << ": " << error.what();
      }
      lock.lock();
    }
    ended.wait(lock, hasEnded);
  }
  const bool successful = downloadSuccessful;
  downloadSuccessful = false;
  downloadEnded = false;
  return successful;
}

void DownloadWaiter::HandleDownloadStatus(const Utilities::IStatusUpdate& status) {
  if (!status.IsFinished()) {
    BOOST_LOG_TRIVIAL(debug) << status.Progress() << "%";
    return;
  }
  downloadSuccessful = !status.IsFailed();
  if (status.IsFailed()) {
    BOOST_LOG_TRIVIAL(error) << "Error retrieving " << url << " (" << status.Message() << ")";
    // Most of the downloader's messages name the page already.
    failure = status.Message().find(url) == std::string::npos
                  ? "Error retrieving " + url + " (" + status.Message() + ")"
                  : status.Message();
  } else {
    BOOST_LOG_TRIVIAL(trace) << "Success!";
  }
  // Notified under the lock: the waiter cannot go on, and perhaps destroy this object, before
  // the notification is done.
  std::lock_guard<std::mutex> lock(mutex);
  downloadEnded = true;
  ended.notify_all();
}

}  // namespace Corvalle::BrickLink
