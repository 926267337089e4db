#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Source/Base/CostFinder.h"
#include "Source/Base/StatusUpdate.h"

namespace Corvalle::CommandLine {

// Shows a search's stages on a stream (standard error): on a terminal one line redrawn in place
// with the stage, the current step, a progress bar, the time estimate and, while the plans are
// searched, the cheapest plan found and the bound under every plan; elsewhere a plain line
// whenever a text changes, and the bounds at most every few seconds. Keeps the failure text and
// the statistics lines. Updates may come from the search thread and the combination workers at
// once.
class ProgressReporter {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  // Seconds between two lines of bounds off a terminal: a long search must not fill a log.
  static constexpr double kSecondsBetweenBoundsLines = 5.0;

  // now tells the time of a bounds update; the steady clock when empty.
  ProgressReporter(std::ostream& output_, bool terminal_, bool verbose_, Clock now_ = {});
  ProgressReporter(const ProgressReporter&) = delete;
  ProgressReporter& operator=(const ProgressReporter&) = delete;

  void HighLevel(const Utilities::IStatusUpdate& update);
  void LowLevel(const Utilities::IStatusUpdate& update);
  void Statistic(const std::string& text);
  void Bounds(const LiveBounds& bounds);
  // Ends the redrawn line so that what follows starts on a line of its own.
  void Finish();

  // The message of the last failed high-level update; empty when none failed.
  std::string FailureText() const;
  std::vector<std::string> Statistics() const;

 private:
  void Draw();

  std::ostream& output;
  const bool terminal;
  const bool verbose;
  const Clock now;
  mutable std::mutex mutex;  // guards everything below and the stream
  std::string stage;
  std::string step;
  std::string bounds;  // of the search of plans running, else empty
  // Off a terminal: the bounds last written, and when.
  std::string boundsWritten;
  std::optional<std::chrono::steady_clock::time_point> boundsWrittenAt;
  double progress = -1.0;
  std::string failure;
  std::vector<std::string> statistics;
  bool lineOpen = false;
};

}  // namespace Corvalle::CommandLine
