#pragma once

#include <functional>
#include <optional>
#include <string>

#include "Source/Base/BrickLink/DownloadWaiter.h"
#include "Source/Base/BrickLink/SlowPageNotice.h"
#include "Source/Base/FileDownloader/FileDownloader.h"

namespace Corvalle::BrickLink {

// The course every retriever takes: the cache first; else the marketplace's page, read, and
// what was read stored, so that the next search finds it in the cache. A page that does not
// come or does not read is not stored: the next retrieval asks for it again. Each retriever
// says what its steps are; used by one thread at a time, which blocks while a page comes.
class PageRetrieval {
 public:
  // Parsed: what a page reads as, handed from the read step to the store step.
  template <typename Parsed>
  struct Steps {
    // True when the cache held the entry and has given it.
    std::function<bool()> fromCache;
    // The page's path and query on the marketplace host, made only when the cache missed.
    std::function<std::string()> path;
    FileDownloader::Cookies cookies{};
    // What the page holds, or nothing when it does not read (a reason may be logged here).
    std::function<std::optional<Parsed>(const std::string& page)> read;
    // Puts what was read to use and into the cache.
    std::function<void(Parsed& parsed)> store;
    // What the page is to the user ("price guide", "store"), to name it when it does not read.
    std::string pageKind;
  };

  PageRetrieval(FileDownloader::IFileDownloader& fileDownloader_, std::string marketplaceHost_,
                SlowPageNotice slowPage);
  PageRetrieval(const PageRetrieval&) = delete;
  PageRetrieval& operator=(const PageRetrieval&) = delete;

  // True when the entry came from the cache or from a page that read; false, with the reason
  // in LastFailure(), when the page did not come or did not read. Exceptions of the steps
  // (a database failure, say) leave the call.
  template <typename Parsed>
  bool Retrieve(const Steps<Parsed>& steps) {
    if (steps.fromCache()) {
      return true;
    }
    const std::string path = steps.path();
    const std::optional<std::string> page = Fetch(path, steps.cookies);
    if (!page) {
      return false;
    }
    std::optional<Parsed> parsed = steps.read(*page);
    if (!parsed) {
      Unreadable(steps.pageKind, path);
      return false;
    }
    steps.store(*parsed);
    return true;
  }

  // Why the last retrieval that returned false failed, naming the page: the download's
  // failure or an unreadable page. Empty before any.
  const std::string& LastFailure() const { return lastFailure; }

 private:
  // The page's text, or nothing when the download failed (the reason kept in lastFailure).
  std::optional<std::string> Fetch(const std::string& path, const FileDownloader::Cookies& cookies);
  void Unreadable(const std::string& pageKind, const std::string& path);

  FileDownloader::IFileDownloader& fileDownloader;
  const std::string marketplaceHost;
  DownloadWaiter waiter;
  std::string lastFailure;
};

}  // namespace Corvalle::BrickLink
