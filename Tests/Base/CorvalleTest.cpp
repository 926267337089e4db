#include "Source/Base/Corvalle.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "Tests/Support/ExceptionMessage.h"
#include "Tests/Support/LogCapture.h"
#include "Tests/Support/WriteWhileReading.h"

namespace Corvalle {
namespace {

using BrickLink::ColorInformation;
using BrickLink::PriceGuide;
using BrickLink::PriceGuideStatistics;

TEST(ItemTypeTest, LettersRoundTripForTheEightRealTypes) {
  const std::string letters = "SPMBGCIO";
  for (std::uint32_t value = 0; value < letters.size(); ++value) {
    const auto type = static_cast<ItemType>(value);
    EXPECT_EQ(ToCharacter(type), letters[value]);
    EXPECT_EQ(ToItemType(letters[value]), type);
  }
}

TEST(ItemTypeTest, LettersOutsideTheTableThrowWithTheLetter) {
  for (const char letter : {'s', 'p', 'X', ' ', 'N', '?'}) {
    EXPECT_EQ(Testing::MessageOf<std::invalid_argument>([&] { ToItemType(letter); }),
              std::string("Unknown item type: ") + letter)
        << static_cast<int>(letter);
  }
}

TEST(ItemTypeDeathTest, InvalidHasNoLetter) {
  EXPECT_DEATH(ToCharacter(ItemType::Invalid), "Assertion failed: .*ToCharacter.*Corvalle.cpp");
}

TEST(ItemTest, DescribeItemGivesLetterAndId) {
  EXPECT_EQ(DescribeItem(Item(ItemType::Part, "3001", "3001", 11, Condition::New, 4)),
            "ItemType: P, Item ID: 3001");
  EXPECT_EQ(DescribeItem(Item(ItemType::Minifigure, "sw0001a", "Luke", 0, Condition::Used, 1)),
            "ItemType: M, Item ID: sw0001a");

  Testing::LogCapture log;
  EXPECT_EQ(DescribeItem(Item(ItemType::Invalid, "3001", "3001", 0, Condition::New, 1)),
            "ItemType: Invalid, Item ID: 3001");
  EXPECT_TRUE(log.Contains("error", "Unknown item type"));
}

TEST(ItemTest, EqualityIgnoresPriceGuidesButNotOtherFields) {
  const Item base(ItemType::Part, "3001", "3001", 11, Condition::New, 4);
  Item withGuide(ItemType::Part, "3001", "3001", 11, Condition::New, 4);
  PriceGuide::Lots lots;
  lots.emplace_back(1, 1, 1.0);
  withGuide.SetPriceGuideNew(std::make_unique<PriceGuide>(std::move(lots), PriceGuideStatistics{},
                                                          PriceGuideStatistics{}));
  EXPECT_TRUE(base == withGuide);

  EXPECT_FALSE(base == Item(ItemType::Set, "3001", "3001", 11, Condition::New, 4));
  EXPECT_FALSE(base == Item(ItemType::Part, "3002", "3001", 11, Condition::New, 4));
  EXPECT_FALSE(base == Item(ItemType::Part, "3001", "3001 (spare)", 11, Condition::New, 4));
  EXPECT_FALSE(base == Item(ItemType::Part, "3001", "3001", 5, Condition::New, 4));
  EXPECT_FALSE(base == Item(ItemType::Part, "3001", "3001", 11, Condition::Used, 4));
  EXPECT_FALSE(base == Item(ItemType::Part, "3001", "3001", 11, Condition::New, 5));
}

TEST(ColorInformationTest, NamesForNoColourAndUnknownIds) {
  EXPECT_EQ(ColorInformation(0).Name(), "N/A");
  EXPECT_EQ(ColorInformation(0).Rgb(), 0u);
  EXPECT_EQ(ColorInformation(4711).Name(), "[Error retrieving color name]");
  EXPECT_EQ(ColorInformation(4711).Rgb(), 0u);

  // What an entry gives, and that a later one replaces it, is ColorInformationCacheTest's. Id 0
  // stays "N/A" even when the table holds an entry for it.
  ColorInformation::SetColorData(0, "(Not Applicable)", 0);
  EXPECT_EQ(ColorInformation(0).Name(), "N/A");
}

// A search fills the table while the window still shows the plans of the one before.
TEST(ColorInformationTest, NamesReadWhileASearchWritesTheTableAreWhole) {
  const std::string even = "Light Bluish Gray, the colour of the even writes";
  const std::string odd = "Dark Bluish Gray, the colour written by the odd writes";
  for (std::uint32_t id = 700; id < 716; ++id) {
    ColorInformation::SetColorData(id, even, 0x123456);
  }
  const auto failures = Testing::WriteWhileReading(
      20000,
      [&](std::size_t n) {
        ColorInformation::SetColorData(700 + n % 16, n % 2 == 0 ? even : odd, 0x123456);
        ColorInformation::SetColorData(static_cast<std::uint32_t>(10000 + n), even, 0);
      },
      [&](std::size_t n) {
        const std::string name = ColorInformation(static_cast<std::uint32_t>(700 + n % 16)).Name();
        // Each colour has an entry all along: none may read as unknown or torn.
        return name == even || name == odd;
      });
  EXPECT_EQ(failures, 0u);
}

}  // namespace
}  // namespace Corvalle
