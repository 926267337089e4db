#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace Corvalle::BrickLink {

// Who hears of a page that is slow to come, and when it counts as slow. A page that has not
// ended `after` its request is named once to `callback` ("host/path"), on the thread that
// waits for it, while the page's own deadline runs on: a search held up by one trickling page
// can then say which. No callback, no notice.
struct SlowPageNotice {
  std::function<void(const std::string& page)> callback{};
  std::chrono::milliseconds after{std::chrono::seconds(5)};
};

}  // namespace Corvalle::BrickLink
