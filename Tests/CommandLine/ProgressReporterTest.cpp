#include "Source/CommandLine/ProgressReporter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <sstream>

namespace Corvalle::CommandLine {
namespace {

using Utilities::StatusState;
using Utilities::StatusUpdate;

constexpr double kNone = std::numeric_limits<double>::infinity();

LiveBounds Running(double cheapest, const std::string& text) {
  return {true, cheapest, 0.0, text};
}

// On a terminal the bounds ride on the redrawn line while the plans are searched, and the next
// stage's line no longer carries them.
TEST(ProgressReporterTest, OnATerminalTheLineCarriesTheBoundsUntilTheNextStage) {
  std::ostringstream output;
  ProgressReporter reporter(output, true, false);
  reporter.HighLevel(StatusUpdate(7, 10, "Finding valid combinations..."));
  reporter.LowLevel(StatusUpdate("Estimated time remaining: 9 seconds", 0.5));
  reporter.Bounds(Running(12.34, "cheapest $12.34, none below $11.90"));
  const std::string drawn = output.str();
  EXPECT_EQ(drawn.substr(drawn.rfind('\r')),
            "\r\033[K[############............]  50% Finding valid combinations...  Estimated "
            "time remaining: 9 seconds  cheapest $12.34, none below $11.90");

  reporter.HighLevel(StatusUpdate(8, 10, "Calculating valid combinations costs..."));
  const std::string next = output.str();
  EXPECT_EQ(next.substr(next.rfind('\r')).find("cheapest"), std::string::npos);
}

// Off a terminal a line of bounds is written only once a plan is known, when its text changed,
// and no sooner than a few seconds after the one before: a long search must not fill a log.
TEST(ProgressReporterTest, OffATerminalBoundsAreWrittenWhenTheyChangeAtMostEveryFewSeconds) {
  std::ostringstream output;
  auto time = std::chrono::steady_clock::time_point();
  ProgressReporter reporter(output, false, false, [&time] { return time; });
  const auto after = [&time](double seconds) {
    time += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(seconds));
  };
  reporter.Bounds(Running(kNone, "no plan found yet"));
  reporter.Bounds(Running(20.0, "cheapest $20.00, none below $10.00"));
  after(1.0);
  reporter.Bounds(Running(19.0, "cheapest $19.00, none below $10.00"));
  after(3.9);
  reporter.Bounds(Running(19.0, "cheapest $19.00, none below $10.00"));
  after(0.1);
  // Five seconds on, the change held back is written.
  reporter.Bounds(Running(19.0, "cheapest $19.00, none below $10.00"));
  after(10.0);
  reporter.Bounds(Running(19.0, "cheapest $19.00, none below $10.00"));
  reporter.Bounds({false, kNone, 0.0, ""});
  EXPECT_EQ(output.str(),
            "  cheapest $20.00, none below $10.00\n"
            "  cheapest $19.00, none below $10.00\n");
}

}  // namespace
}  // namespace Corvalle::CommandLine
