#pragma once

#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sinks/text_ostream_backend.hpp>
#include <boost/shared_ptr.hpp>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace Testing {

// Collects the log records written while it lives, as "severity: message" lines, and keeps
// them off the console.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> Records() const;
  // Whether some record reads exactly "severity: message" (severity as "info", "error", ...).
  bool Contains(const std::string& severity, const std::string& message) const;

 private:
  using Sink = boost::log::sinks::synchronous_sink<boost::log::sinks::text_ostream_backend>;

  boost::shared_ptr<std::ostringstream> stream;
  boost::shared_ptr<Sink> sink;
};

}  // namespace Testing
