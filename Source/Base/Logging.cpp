#include "Logging.h"

#include <atomic>
#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>

namespace Utilities {

namespace {
std::atomic<bool> loggingInitialized{false};
}

void InitializeLogging(Severity minimumSeverity) {
  if (loggingInitialized.exchange(true)) {
    BOOST_LOG_TRIVIAL(error) << "Boost::Log already initialized!";
    return;
  }
  boost::log::core::get()->set_filter(boost::log::trivial::severity >= minimumSeverity);
}

}  // namespace Utilities
