#include "Source/Base/Logging.h"

#include <atomic>
#include <boost/core/null_deleter.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/log/attributes/clock.hpp>
#include <boost/log/attributes/current_thread_id.hpp>
#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sinks/text_ostream_backend.hpp>
#include <boost/make_shared.hpp>
#include <cstdio>
#include <iostream>
#include <string>

#include "Source/Base/Formatting.h"

namespace Utilities {

namespace {

std::atomic<bool> loggingInitialized{false};

// The layout of the library's own console output, "[date time.micros] [thread] [level]
// message", so that a record reads as it always has; only the stream changed.
void WriteRecord(const boost::log::record_view& record, boost::log::formatting_ostream& stream) {
  if (const auto time = boost::log::extract<boost::posix_time::ptime>("TimeStamp", record)) {
    const auto date = time->date();
    const auto clock = time->time_of_day();
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%06u",
                  static_cast<unsigned>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<unsigned>(clock.hours()),
                  static_cast<unsigned>(clock.minutes()), static_cast<unsigned>(clock.seconds()),
                  static_cast<unsigned>(clock.fractional_seconds()));
    stream << '[' << text << "] ";
  }
  if (const auto thread =
          boost::log::extract<boost::log::attributes::current_thread_id::value_type>("ThreadID",
                                                                                     record)) {
    stream << '[' << *thread << "] ";
  }
  std::string level = "[";
  if (const auto severity = record[boost::log::trivial::severity]) {
    level += boost::log::trivial::to_string(*severity);
  }
  level += ']';
  if (level.size() < 9) {
    level.resize(9, ' ');
  }
  // Records quote store names, file names and pages: they reach the terminal filtered like
  // any other outside text, keeping their own lines.
  const auto message = record[boost::log::expressions::smessage];
  stream << level << ' ' << (message ? Utilities::ShowMessage(*message) : std::string());
}

}  // namespace

void InitializeLogging(Severity minimumSeverity) {
  if (loggingInitialized.exchange(true)) {
    BOOST_LOG_TRIVIAL(error) << "Boost::Log already initialized!";
    return;
  }
  const auto core = boost::log::core::get();
  core->add_global_attribute("TimeStamp", boost::log::attributes::local_clock());
  core->add_global_attribute("ThreadID", boost::log::attributes::current_thread_id());

  // The library's default output is standard output, which carries the plans and the JSON
  // document: records go to standard error instead.
  using Backend = boost::log::sinks::text_ostream_backend;
  auto backend = boost::make_shared<Backend>();
  backend->add_stream(boost::shared_ptr<std::ostream>(&std::clog, boost::null_deleter()));
  backend->auto_flush(true);
  auto sink = boost::make_shared<boost::log::sinks::synchronous_sink<Backend>>(backend);
  sink->set_formatter(&WriteRecord);
  core->add_sink(sink);
  core->set_filter(boost::log::trivial::severity >= minimumSeverity);
}

}  // namespace Utilities
