#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace Utilities {

// An immutable report of an activity's state, passed by const reference to a status callback.
// The receiver must not keep it beyond the call: copy out what is needed on another thread.
class IStatusUpdate {
 public:
  virtual ~IStatusUpdate() = default;

  // The activity failed; the message, if any, says why.
  virtual bool IsFailed() const = 0;
  // The activity ended, successfully or not.
  virtual bool IsFinished() const = 0;
  virtual bool IsInProgress() const = 0;
  // The update carries a text that replaces the text shown so far.
  virtual bool HasMessage() const = 0;
  // Empty when there is no message.
  virtual const std::string& Message() const = 0;
  // No fraction can be given; Progress() is then negative.
  virtual bool IsProgressIndeterminate() const = 0;
  // Fraction done, 0.0 to 1.0, or negative when indeterminate.
  virtual double Progress() const = 0;

 protected:
  IStatusUpdate() = default;
  IStatusUpdate(const IStatusUpdate&) = default;
  IStatusUpdate& operator=(const IStatusUpdate&) = default;
};

enum class StatusState : std::uint32_t { Idle = 0, Failed = 1, Succeeded = 2, InProgress = 3 };

class StatusUpdate final : public IStatusUpdate {
 public:
  // Progress is 0.0 for Idle and Failed, 1.0 for Succeeded and indeterminate for InProgress.
  explicit StatusUpdate(StatusState state);
  StatusUpdate(StatusState state, std::string message);
  // Succeeded when progress is exactly 1.0, otherwise in progress.
  explicit StatusUpdate(double progress);
  StatusUpdate(std::string message, double progress);
  // Succeeded when current == total, otherwise in progress; progress is current / total.
  StatusUpdate(std::uint32_t current, std::uint32_t total);
  StatusUpdate(std::uint32_t current, std::uint32_t total, std::string message);

  bool IsFailed() const override;
  bool IsFinished() const override;
  bool IsInProgress() const override;
  bool HasMessage() const override;
  const std::string& Message() const override;
  bool IsProgressIndeterminate() const override;
  double Progress() const override;

  StatusState State() const { return state; }

 private:
  StatusUpdate(StatusState state, bool hasMessage, std::string message, double progress);

  StatusState state;
  bool hasMessage;
  std::string message;
  double progress;
};

using StatusCallback = std::function<void(const IStatusUpdate&)>;
using StatisticsCallback = std::function<void(const std::string&)>;

}  // namespace Utilities
