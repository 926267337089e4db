#include "Source/Base/BrickLink/PageText.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace Corvalle::BrickLink {
namespace {

TEST(PageTextTest, WholeNumbersAsThePagesWriteThem) {
  EXPECT_EQ(ParseUnsigned("42"), 42u);
  EXPECT_EQ(ParseUnsigned("  42 "), 42u);
  EXPECT_EQ(ParseUnsigned("0"), 0u);
  EXPECT_EQ(ParseUnsigned("1000"), 1000u);
  EXPECT_EQ(ParseUnsigned("1,000"), 1000u);
  EXPECT_EQ(ParseUnsigned("4,294,967,295"), 4294967295u);
  EXPECT_THROW(ParseUnsigned("4294967296"), std::out_of_range);
  EXPECT_THROW(ParseUnsigned(std::string(30, '9')), std::out_of_range);
  // Each of these was once read as some other number.
  for (const char* text : {"", "42abc", "-1", "+1", "x1", "1,00", "1,0000", ",100", "100,",
                           "1,,000", "2.5", "1e3", "0x10", "007", "30 10", "30<!-- x -->10"}) {
    EXPECT_THROW(ParseUnsigned(text), std::invalid_argument) << text;
  }

  EXPECT_EQ(ParseIdentifier("2147483646"), 2147483646u);
  EXPECT_THROW(ParseIdentifier("2147483647"), std::out_of_range);
  EXPECT_THROW(ParseIdentifier("1,001"), std::invalid_argument);
  EXPECT_THROW(ParseIdentifier("12abc"), std::invalid_argument);

  EXPECT_EQ(ParseHexadecimal("05131D"), 0x05131Du);
  EXPECT_EQ(ParseHexadecimal("afb5c7"), 0xAFB5C7u);
  EXPECT_THROW(ParseHexadecimal("#05131D"), std::invalid_argument);
  EXPECT_THROW(ParseHexadecimal("12zz"), std::invalid_argument);
}

TEST(PageTextTest, AmountsAsThePagesWriteThem) {
  const std::pair<const char*, double> read[] = {{"0.0512", 0.0512},
                                                 {"1,234.5678", 1234.5678},
                                                 {"12,345,678.9", 12345678.9},
                                                 {"1,234", 1234.0},
                                                 {"7", 7.0},
                                                 {" 0.5000 ", 0.5},
                                                 {"1250.0000", 1250.0}};
  for (const auto& [text, value] : read) {
    EXPECT_EQ(ParseAmount(text), value) << text;
  }
  // A sign, an exponent, a decimal comma, a number without digits before or after its point.
  for (const char* text : {"-0.0500", "+1.00", "1e15", "1e300", "1E3", "0,0594", "1,23.4", ".5",
                           "1.", "1.2.3", "$1", "inf", "nan", "", "1 000", "0x1p3"}) {
    EXPECT_THROW(ParseAmount(text), std::invalid_argument) << text;
  }
  EXPECT_THROW(ParseAmount("1" + std::string(400, '0')), std::out_of_range);
}

TEST(PageTextTest, HtmlEntities) {
  EXPECT_EQ(DecodeHtmlEntities("Bricks &amp; More"), "Bricks & More");
  EXPECT_EQ(DecodeHtmlEntities("&lt;&gt;&quot;&apos;&#39;&#x27;"), "<>\"'''");
  EXPECT_EQ(DecodeHtmlEntities("caf&eacute; &#233; &#xE9;"), "caf\xC3\xA9 \xC3\xA9 \xC3\xA9");
  EXPECT_EQ(DecodeHtmlEntities("a&nbsp;b"),
            "a\xC2\xA0"
            "b");
  EXPECT_EQ(DecodeHtmlEntities("&#128512;"), "\xF0\x9F\x98\x80");
  // What is not a known reference stays as it is.
  EXPECT_EQ(DecodeHtmlEntities("R&D &unknown; &#; &#xD800; & &amp"),
            "R&D &unknown; &#; &#xD800; & &amp");
  EXPECT_EQ(DecodeHtmlEntities("&amp;amp;"), "&amp;");
}

}  // namespace
}  // namespace Corvalle::BrickLink
