#include "Source/CommandLine/ProgressReporter.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "Source/Base/Formatting.h"

namespace Corvalle::CommandLine {

namespace {

constexpr std::size_t kBarWidth = 24;

std::string Bar(double progress) {
  if (progress < 0.0 || std::isnan(progress)) {
    std::string bar;
    bar += '[';
    bar.append(kBarWidth, '.');
    bar += "]     ";
    return bar;
  }
  const double fraction = std::clamp(progress, 0.0, 1.0);
  const auto filled = static_cast<std::size_t>(fraction * kBarWidth);
  std::string bar;
  bar += '[';
  bar.append(filled, '#');
  bar.append(kBarWidth - filled, '.');
  bar += "] ";
  const std::string percent = std::to_string(static_cast<int>(fraction * 100.0)) + '%';
  bar.append(4 - std::min<std::size_t>(4, percent.size()), ' ');
  bar += percent;
  return bar;
}

}  // namespace

ProgressReporter::ProgressReporter(std::ostream& output_, bool terminal_, bool verbose_,
                                   Clock now_)
    : output(output_),
      terminal(terminal_),
      verbose(verbose_),
      now(now_ ? std::move(now_) : Clock(&std::chrono::steady_clock::now)) {}

void ProgressReporter::HighLevel(const Utilities::IStatusUpdate& update) {
  std::lock_guard<std::mutex> lock(mutex);
  if (update.IsFailed()) {
    failure = update.Message();
    return;
  }
  if (!update.HasMessage() || update.Message() == stage) {
    return;
  }
  stage = update.Message();
  step.clear();
  bounds.clear();
  progress = -1.0;
  if (terminal) {
    Draw();
  } else {
    output << Utilities::ShowControlCharacters(stage) << '\n';
  }
}

void ProgressReporter::LowLevel(const Utilities::IStatusUpdate& update) {
  std::lock_guard<std::mutex> lock(mutex);
  progress = update.Progress();
  const bool newStep = update.HasMessage() && update.Message() != step;
  if (update.HasMessage()) {
    step = update.Message();
  }
  if (terminal) {
    Draw();
  } else if (newStep && !step.empty()) {
    output << "  " << Utilities::ShowControlCharacters(step) << '\n';
  }
}

void ProgressReporter::Statistic(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex);
  statistics.push_back(text);
  if (!verbose) {
    return;
  }
  if (terminal && lineOpen) {
    output << "\r\033[K";
    lineOpen = false;
  }
  output << "Statistic: " << Utilities::ShowControlCharacters(text) << '\n';
  if (terminal) {
    Draw();
  }
}

void ProgressReporter::Bounds(const LiveBounds& update) {
  std::lock_guard<std::mutex> lock(mutex);
  bounds = update.text;
  if (terminal) {
    Draw();
    return;
  }
  // Before the first plan there is nothing worth a line of a log.
  if (!update.searching || !std::isfinite(update.cheapest) || bounds == boundsWritten) {
    return;
  }
  const auto time = now();
  if (boundsWrittenAt &&
      std::chrono::duration<double>(time - *boundsWrittenAt).count() < kSecondsBetweenBoundsLines) {
    return;
  }
  output << "  " << bounds << '\n';
  boundsWritten = bounds;
  boundsWrittenAt = time;
}

void ProgressReporter::Finish() {
  std::lock_guard<std::mutex> lock(mutex);
  if (terminal && lineOpen) {
    output << '\n';
    lineOpen = false;
  }
  output.flush();
}

std::string ProgressReporter::FailureText() const {
  std::lock_guard<std::mutex> lock(mutex);
  return failure;
}

std::vector<std::string> ProgressReporter::Statistics() const {
  std::lock_guard<std::mutex> lock(mutex);
  return statistics;
}

void ProgressReporter::Draw() {
  std::string line = stage;
  if (!step.empty()) {
    line += "  " + step;
  }
  if (!bounds.empty()) {
    line += "  " + bounds;
  }
  output << "\r\033[K" << Bar(progress) << ' ' << Utilities::ShowControlCharacters(line)
         << std::flush;
  lineOpen = true;
}

}  // namespace Corvalle::CommandLine
