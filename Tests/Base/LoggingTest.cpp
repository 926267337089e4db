#include "Source/Base/Logging.h"

#include <gtest/gtest.h>

#include "Tests/Support/LogCapture.h"

namespace Utilities {
namespace {

// Logging is initialised once per process: CTest runs each test in a process of its own.
TEST(LoggingTest, FilterDropsRecordsBelowTheLevelAndSecondCallChangesNothing) {
  Testing::LogCapture log;
  InitializeLogging(Severity::info);
  BOOST_LOG_TRIVIAL(debug) << "dropped";
  BOOST_LOG_TRIVIAL(info) << "kept";

  InitializeLogging(Severity::fatal);
  BOOST_LOG_TRIVIAL(warning) << "still kept";

  const std::vector<std::string> expected = {"info: kept", "error: Boost::Log already initialized!",
                                             "warning: still kept"};
  EXPECT_EQ(log.Records(), expected);
}

}  // namespace
}  // namespace Utilities
