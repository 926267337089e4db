#include "BrickLink/PageText.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace Corvalle::BrickLink {
namespace {

TEST(PageTextTest, Numbers) {
  EXPECT_EQ(ParseUnsigned("42"), 42u);
  EXPECT_EQ(ParseUnsigned("  42abc"), 42u);
  EXPECT_EQ(ParseUnsigned("1,234"), 1u);
  EXPECT_EQ(ParseUnsigned("4294967295"), 4294967295u);
  EXPECT_THROW(ParseUnsigned("4294967296"), std::out_of_range);
  EXPECT_THROW(ParseUnsigned(""), std::invalid_argument);
  EXPECT_THROW(ParseUnsigned("-1"), std::invalid_argument);
  EXPECT_THROW(ParseUnsigned("x1"), std::invalid_argument);

  EXPECT_EQ(ParseIdentifier("2147483646"), 2147483646u);
  EXPECT_THROW(ParseIdentifier("2147483647"), std::out_of_range);

  EXPECT_EQ(ParseHexadecimal("05131D"), 0x05131Du);
  EXPECT_EQ(ParseHexadecimal("afb5c7"), 0xAFB5C7u);
  EXPECT_THROW(ParseHexadecimal("#05131D"), std::invalid_argument);

  EXPECT_EQ(ParseLeadingDecimal("0.0512"), 0.0512);
  EXPECT_EQ(ParseLeadingDecimal("1,234.56"), 1.0);
  EXPECT_EQ(ParseLeadingDecimal(".5"), 0.5);
  EXPECT_THROW(ParseLeadingDecimal(","), std::invalid_argument);
  EXPECT_THROW(ParseLeadingDecimal("1e999"), std::out_of_range);
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
