#include "Source/Base/Formatting.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "Tests/Support/ScopedEnvironment.h"

namespace Utilities {
namespace {

TEST(FormatTimeRemainingTest, ShortEstimates) {
  EXPECT_EQ(FormatTimeRemaining(0), "");
  EXPECT_EQ(FormatTimeRemaining(1), "Almost done...");
  EXPECT_EQ(FormatTimeRemaining(2), "Almost done...");
  EXPECT_EQ(FormatTimeRemaining(3), "Estimated time remaining: 3 seconds");
  EXPECT_EQ(FormatTimeRemaining(120), "Estimated time remaining: 120 seconds");
  EXPECT_EQ(FormatTimeRemaining(121), "Estimated time remaining: 2 minutes");
  EXPECT_EQ(FormatTimeRemaining(179), "Estimated time remaining: 2 minutes");
  EXPECT_EQ(FormatTimeRemaining(180), "Estimated time remaining: 3 minutes");
}

TEST(FormatTimeRemainingTest, CoarserPartsCrowdOutFinerOnes) {
  EXPECT_EQ(FormatTimeRemaining(3600), "Estimated time remaining: 1 hour, ");
  EXPECT_EQ(FormatTimeRemaining(3660), "Estimated time remaining: 1 hour, 1 minute");
  EXPECT_EQ(FormatTimeRemaining(7325), "Estimated time remaining: 2 hours, 2 minutes");
  EXPECT_EQ(FormatTimeRemaining(90061), "Estimated time remaining: 1 day, 1 hour");
  EXPECT_EQ(FormatTimeRemaining(86400), "Estimated time remaining: 1 day, ");
  EXPECT_EQ(FormatTimeRemaining(1209600), "Estimated time remaining: 2 weeks, ");
  EXPECT_EQ(FormatTimeRemaining(604800 + 2 * 86400 + 3 * 3600 + 59),
            "Estimated time remaining: 1 week, 2 days, 3 hours");
  // The largest estimate is written without overflow.
  EXPECT_EQ(FormatTimeRemaining(18446744073709551615ull).rfind("Estimated time remaining: ", 0),
            0u);
}

TEST(EstimateSecondsRemainingTest, FollowsThePaceOnceTwoSecondsHavePassed) {
  EXPECT_EQ(EstimateSecondsRemaining(10.0, 0.25), 30u);
  EXPECT_EQ(EstimateSecondsRemaining(2.0, 0.5), 2u);
  EXPECT_EQ(EstimateSecondsRemaining(1.99, 0.5), 0u);
  EXPECT_EQ(EstimateSecondsRemaining(100.0, 0.0), 0u);
  EXPECT_EQ(EstimateSecondsRemaining(100.0, 1.0), 0u);
}

using Testing::ScopedEnvironment;

TEST(FormatCountTest, PlainCLocaleGroupsByThreesWithCommas) {
  for (const char* plain : {"C", "POSIX"}) {
    SCOPED_TRACE(plain);
    ScopedEnvironment locale("LC_ALL", plain);
    EXPECT_EQ(FormatCount(0), "0");
    EXPECT_EQ(FormatCount(999), "999");
    EXPECT_EQ(FormatCount(1000), "1,000");
    EXPECT_EQ(FormatCount(1234567), "1,234,567");
    EXPECT_EQ(FormatCount(18446744073709551615ull), "18,446,744,073,709,551,615");
  }
}

TEST(FormatCountTest, UninstalledLocaleFallsBackToTheSameGrouping) {
  ScopedEnvironment locale("LC_ALL", "xx_NOWHERE.UTF-8");
  EXPECT_EQ(FormatCount(1234567), "1,234,567");
}

TEST(FormatApproximateCountTest, ExactBelowTwoToTheFiftyThirdThenThreeDigits) {
  ScopedEnvironment locale("LC_ALL", "C");
  EXPECT_EQ(FormatApproximateCount(0.0), "0");
  EXPECT_EQ(FormatApproximateCount(-3.0), "0");
  EXPECT_EQ(FormatApproximateCount(1234567.0), "1,234,567");
  EXPECT_EQ(FormatApproximateCount(9007199254740991.0), "9,007,199,254,740,991");
  EXPECT_EQ(FormatApproximateCount(2.0699e19), "about 2.07 x 10^19");
  // Rounding up to ten moves the exponent rather than writing 10.00.
  EXPECT_EQ(FormatApproximateCount(9.999e20), "about 1.00 x 10^21");
}

TEST(ShowControlCharactersTest, EveryControlButTabBecomesAReplacement) {
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(ShowControlCharacters("Anna's Blocks"), "Anna's Blocks");
  EXPECT_EQ(ShowControlCharacters("a\tb"), "a\tb");
  EXPECT_EQ(ShowControlCharacters("\x1b[2J\x1b]0;owned\x07"),
            replacement + "[2J" + replacement + "]0;owned" + replacement);
  EXPECT_EQ(ShowControlCharacters(std::string("x\0y\r\n\x7f", 6)),
            "x" + replacement + "y" + replacement + replacement + replacement);
  // C1 controls in UTF-8 (U+009B is a one-character CSI), while other accented letters pass.
  EXPECT_EQ(ShowControlCharacters("\xC2\x9B"
                                  "31m Tom\xC3\xA1\xC5\xA1"),
            replacement + "31m Tom\xC3\xA1\xC5\xA1");
  EXPECT_EQ(ShowControlCharacters("\xC2\xA0"
                                  "end"),
            "\xC2\xA0"
            "end");
  // Bidirectional controls and bytes that are not UTF-8, each replaced on its own.
  const std::pair<std::string, std::string> outside[] = {
      {"Bricks \xE2\x80\xAEtxt.exe", "Bricks " + replacement + "txt.exe"},  // U+202E
      {"\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAC\xE2\x80\xAD",
       replacement + replacement + replacement + replacement},
      {"a\xE2\x81\xA6"
       "b\xE2\x81\xA9"
       "c",
       "a" + replacement + "b" + replacement + "c"},             // isolates
      {"\xE2\x80\xA9\xE2\x81\xAA", "\xE2\x80\xA9\xE2\x81\xAA"},  // neighbours pass
      {"end\xC2", "end" + replacement},                          // cut short
      {"\xFF\xFEx", replacement + replacement + "x"},
      {"\xC0\xAF", replacement + replacement},                    // overlong "/"
      {"\xED\xA0\x80", replacement + replacement + replacement},  // a surrogate
      {"\xF4\x90\x80\x80", replacement + replacement + replacement + replacement},
      {"\xF0\x9F\xA7\xB1 Caf\xC3\xA9", "\xF0\x9F\xA7\xB1 Caf\xC3\xA9"},
  };
  for (const auto& [text, shown] : outside) {
    EXPECT_EQ(ShowControlCharacters(text), shown) << text;
    EXPECT_EQ(ShowMessage(text), shown) << text;
  }
  // A message keeps its own lines, and only those.
  EXPECT_EQ(ShowMessage("No possible combinations.\n3001 \x1b[2J: none\r\nTry"),
            "No possible combinations.\n3001 " + replacement + "[2J: none" + replacement + "\nTry");
}

}  // namespace
}  // namespace Utilities
