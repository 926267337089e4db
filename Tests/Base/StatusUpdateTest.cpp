#include "StatusUpdate.h"

#include <gtest/gtest.h>

#include <cmath>

namespace Utilities {
namespace {

struct Expected {
  bool failed;
  bool finished;
  bool inProgress;
  bool indeterminate;
};

void ExpectFlags(const IStatusUpdate& update, const Expected& expected) {
  EXPECT_EQ(update.IsFailed(), expected.failed);
  EXPECT_EQ(update.IsFinished(), expected.finished);
  EXPECT_EQ(update.IsInProgress(), expected.inProgress);
  EXPECT_EQ(update.IsProgressIndeterminate(), expected.indeterminate);
}

TEST(StatusUpdateTest, StateConstructorsSetDefaultProgress) {
  const StatusUpdate idle(StatusState::Idle);
  ExpectFlags(idle, {false, false, false, false});
  EXPECT_EQ(idle.Progress(), 0.0);
  EXPECT_FALSE(idle.HasMessage());
  EXPECT_EQ(idle.Message(), "");

  const StatusUpdate failed(StatusState::Failed, "Unable to parse wanted list!");
  ExpectFlags(failed, {true, true, false, false});
  EXPECT_EQ(failed.Progress(), 0.0);
  EXPECT_TRUE(failed.HasMessage());
  EXPECT_EQ(failed.Message(), "Unable to parse wanted list!");

  const StatusUpdate succeeded(StatusState::Succeeded);
  ExpectFlags(succeeded, {false, true, false, false});
  EXPECT_EQ(succeeded.Progress(), 1.0);

  const StatusUpdate running(StatusState::InProgress, "Working");
  ExpectFlags(running, {false, false, true, true});
  EXPECT_EQ(running.Progress(), -1.0);
}

TEST(StatusUpdateTest, ProgressDecidesStateOnlyAtExactlyOne) {
  const StatusUpdate almost(0.999);
  ExpectFlags(almost, {false, false, true, false});
  EXPECT_EQ(almost.Progress(), 0.999);
  EXPECT_FALSE(almost.HasMessage());

  ExpectFlags(StatusUpdate(1.0), {false, true, false, false});

  const StatusUpdate withText("Estimated time remaining: 3 seconds", 0.5);
  ExpectFlags(withText, {false, false, true, false});
  EXPECT_TRUE(withText.HasMessage());
  EXPECT_EQ(withText.Message(), "Estimated time remaining: 3 seconds");

  // A negative fraction is indeterminate.
  ExpectFlags(StatusUpdate("Busy", -1.0), {false, false, true, true});
}

TEST(StatusUpdateTest, CountsGiveTheirFraction) {
  const StatusUpdate third(3, 10, "Requesting data for: Black 3001...");
  ExpectFlags(third, {false, false, true, false});
  EXPECT_DOUBLE_EQ(third.Progress(), 0.3);
  EXPECT_EQ(third.Message(), "Requesting data for: Black 3001...");

  const StatusUpdate done(10, 10);
  ExpectFlags(done, {false, true, false, false});
  EXPECT_EQ(done.Progress(), 1.0);
  EXPECT_FALSE(done.HasMessage());

  // Large counts are divided in double, not in 32-bit integers.
  EXPECT_DOUBLE_EQ(StatusUpdate(4000000000u, 4294967295u).Progress(), 4000000000.0 / 4294967295.0);

  // No total: the division's result, and 0 of 0 counts as done.
  const StatusUpdate nothing(0, 0);
  EXPECT_TRUE(std::isnan(nothing.Progress()));
  EXPECT_TRUE(nothing.IsFinished());
  EXPECT_TRUE(std::isinf(StatusUpdate(1, 0).Progress()));
}

}  // namespace
}  // namespace Utilities
