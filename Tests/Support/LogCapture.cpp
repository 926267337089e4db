#include "Tests/Support/LogCapture.h"

#include <algorithm>
#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/trivial.hpp>
#include <boost/make_shared.hpp>

namespace Testing {

LogCapture::LogCapture() : stream(boost::make_shared<std::ostringstream>()) {
  auto backend = boost::make_shared<boost::log::sinks::text_ostream_backend>();
  backend->add_stream(stream);
  backend->auto_flush(true);
  sink = boost::make_shared<Sink>(backend);
  namespace expr = boost::log::expressions;
  sink->set_formatter(expr::stream << boost::log::trivial::severity << ": " << expr::smessage);
  boost::log::core::get()->add_sink(sink);
}

LogCapture::~LogCapture() { boost::log::core::get()->remove_sink(sink); }

std::vector<std::string> LogCapture::Records() const {
  std::vector<std::string> records;
  std::istringstream lines(stream->str());
  for (std::string line; std::getline(lines, line);) {
    records.push_back(line);
  }
  return records;
}

bool LogCapture::Contains(const std::string& severity, const std::string& message) const {
  const auto records = Records();
  return std::find(records.begin(), records.end(), severity + ": " + message) != records.end();
}

}  // namespace Testing
