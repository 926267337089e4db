#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

#include "Source/Base/BrickLink/SlowPageNotice.h"
#include "Source/Base/FileDownloader/FileDownloader.h"
#include "Source/Base/StatusUpdate.h"

namespace Corvalle::BrickLink {

// The part that every retriever shares: the status callback of a download, which runs on the
// download thread, and the wait for it on the retrieving thread. The success flag is stored
// before the end flag, so whoever sees the end also sees the right outcome. The waiting thread
// is woken by the final status, so a search's thousands of store pages cost no more than the
// pages themselves.
class DownloadWaiter {
 public:
  explicit DownloadWaiter(SlowPageNotice slowPage_ = {}) : slowPage(std::move(slowPage_)) {}
  DownloadWaiter(const DownloadWaiter&) = delete;
  DownloadWaiter& operator=(const DownloadWaiter&) = delete;

  // Downloads the page on the downloader's thread and waits for it here: the page's text, or
  // empty when the download failed (the reason is logged, and kept in Failure()).
  std::optional<std::string> Fetch(FileDownloader::IFileDownloader& fileDownloader,
                                   const FileDownloader::Url& url,
                                   const FileDownloader::Cookies& cookies);
  // Why the last failed download failed, naming its page; for the search's failure message.
  // Valid on the waiting thread after Fetch has returned.
  const std::string& Failure() const;

 private:
  // Call before a download starts; both flags must be down (a broken invariant otherwise).
  void ExpectDownload(std::string url_);
  // The status callback of the download.
  Utilities::StatusCallback Callback();
  // Waits until the final status has arrived; returns whether the download succeeded and
  // lowers both flags for the next download.
  bool WaitForEnd();
  void HandleDownloadStatus(const Utilities::IStatusUpdate& status);

  const SlowPageNotice slowPage;
  std::mutex mutex;  // guards the wait for downloadEnded
  std::condition_variable ended;
  std::atomic<bool> downloadEnded{false};
  std::atomic<bool> downloadSuccessful{false};
  std::string url;  // written before the download starts, read by its callback
  // Written by the callback before downloadEnded is raised, read after it has been seen.
  std::string failure;
};

}  // namespace Corvalle::BrickLink
