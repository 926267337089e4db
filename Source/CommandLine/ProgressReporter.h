#pragma once

#include <iosfwd>
#include <mutex>
#include <string>
#include <vector>

#include "StatusUpdate.h"

namespace Corvalle::CommandLine {

// Shows a search's stages on a stream (standard error): on a terminal one line redrawn in place
// with the stage, the current step, a progress bar and the time estimate; elsewhere a plain
// line whenever a text changes. Keeps the failure text and the statistics lines. Updates may
// come from the search thread and the combination workers at once.
class ProgressReporter {
 public:
  ProgressReporter(std::ostream& output_, bool terminal_, bool verbose_);
  ProgressReporter(const ProgressReporter&) = delete;
  ProgressReporter& operator=(const ProgressReporter&) = delete;

  void HighLevel(const Utilities::IStatusUpdate& update);
  void LowLevel(const Utilities::IStatusUpdate& update);
  void Statistic(const std::string& text);
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
  mutable std::mutex mutex;  // guards everything below and the stream
  std::string stage;
  std::string step;
  double progress = -1.0;
  std::string failure;
  std::vector<std::string> statistics;
  bool lineOpen = false;
};

}  // namespace Corvalle::CommandLine
