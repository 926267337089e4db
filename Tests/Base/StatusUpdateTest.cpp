#include "Source/Base/StatusUpdate.h"

#include <gtest/gtest.h>

#include <string>

namespace Utilities {
namespace {

// The flags the status lines and their bars go by: failed, finished, in progress, indeterminate.
std::string Flags(const IStatusUpdate& update) {
  std::string flags;
  for (const bool flag : {update.IsFailed(), update.IsFinished(), update.IsInProgress(),
                          update.IsProgressIndeterminate()}) {
    flags += flag ? '1' : '0';
  }
  return flags;
}

TEST(StatusUpdateTest, StatesAndFractionsGiveTheirFlagsAndProgress) {
  EXPECT_EQ(Flags(StatusUpdate(StatusState::Idle)), "0000");
  EXPECT_EQ(StatusUpdate(StatusState::Idle).Progress(), 0.0);
  EXPECT_FALSE(StatusUpdate(StatusState::Idle).HasMessage());
  const StatusUpdate failed(StatusState::Failed, "Unable to parse wanted list!");
  EXPECT_EQ(Flags(failed), "1100");
  EXPECT_EQ(failed.Message(), "Unable to parse wanted list!");
  EXPECT_EQ(Flags(StatusUpdate(StatusState::Succeeded)), "0100");
  EXPECT_EQ(StatusUpdate(StatusState::Succeeded).Progress(), 1.0);
  EXPECT_EQ(Flags(StatusUpdate(StatusState::InProgress, "Working")), "0011");

  // Only exactly 1.0 finishes; a negative fraction is indeterminate.
  EXPECT_EQ(Flags(StatusUpdate(0.999)), "0010");
  EXPECT_EQ(Flags(StatusUpdate(1.0)), "0100");
  EXPECT_EQ(Flags(StatusUpdate("Busy", -1.0)), "0011");

  const StatusUpdate third(3, 10, "Requesting data for: Black 3001...");
  EXPECT_EQ(Flags(third), "0010");
  EXPECT_DOUBLE_EQ(third.Progress(), 0.3);
  EXPECT_EQ(Flags(StatusUpdate(10, 10)), "0100");
  EXPECT_TRUE(StatusUpdate(0, 0).IsFinished());
  // Large counts are divided in double, not in 32-bit integers.
  EXPECT_DOUBLE_EQ(StatusUpdate(4000000000u, 4294967295u).Progress(), 4000000000.0 / 4294967295.0);
}

}  // namespace
}  // namespace Utilities
