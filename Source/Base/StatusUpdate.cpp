#include "Source/Base/StatusUpdate.h"

#include <utility>

namespace Utilities {

namespace {

double DefaultProgress(StatusState state) {
  switch (state) {
    case StatusState::Succeeded:
      return 1.0;
    case StatusState::InProgress:
      return -1.0;
    case StatusState::Idle:
    case StatusState::Failed:
      break;
  }
  return 0.0;
}

StatusState StateOfProgress(double progress) {
  return progress == 1.0 ? StatusState::Succeeded : StatusState::InProgress;
}

double Fraction(std::uint32_t current, std::uint32_t total) {
  return static_cast<double>(current) / static_cast<double>(total);
}

StatusState StateOfCount(std::uint32_t current, std::uint32_t total) {
  return current == total ? StatusState::Succeeded : StatusState::InProgress;
}

}  // namespace

StatusUpdate::StatusUpdate(StatusState state_, bool hasMessage_, std::string message_,
                           double progress_)
    : state(state_), hasMessage(hasMessage_), message(std::move(message_)), progress(progress_) {}

StatusUpdate::StatusUpdate(StatusState state_)
    : StatusUpdate(state_, false, {}, DefaultProgress(state_)) {}

StatusUpdate::StatusUpdate(StatusState state_, std::string message_)
    : StatusUpdate(state_, true, std::move(message_), DefaultProgress(state_)) {}

StatusUpdate::StatusUpdate(double progress_)
    : StatusUpdate(StateOfProgress(progress_), false, {}, progress_) {}

StatusUpdate::StatusUpdate(std::string message_, double progress_)
    : StatusUpdate(StateOfProgress(progress_), true, std::move(message_), progress_) {}

StatusUpdate::StatusUpdate(std::uint32_t current, std::uint32_t total)
    : StatusUpdate(StateOfCount(current, total), false, {}, Fraction(current, total)) {}

StatusUpdate::StatusUpdate(std::uint32_t current, std::uint32_t total, std::string message_)
    : StatusUpdate(StateOfCount(current, total), true, std::move(message_),
                   Fraction(current, total)) {}

bool StatusUpdate::IsFailed() const { return state == StatusState::Failed; }

bool StatusUpdate::IsFinished() const {
  return state == StatusState::Failed || state == StatusState::Succeeded;
}

bool StatusUpdate::IsInProgress() const { return state == StatusState::InProgress; }

bool StatusUpdate::HasMessage() const { return hasMessage; }

const std::string& StatusUpdate::Message() const { return message; }

bool StatusUpdate::IsProgressIndeterminate() const { return progress < 0.0; }

double StatusUpdate::Progress() const { return progress; }

}  // namespace Utilities
