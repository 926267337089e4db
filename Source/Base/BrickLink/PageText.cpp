#include "PageText.h"

#include <cctype>
#include <charconv>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace Corvalle::BrickLink {

namespace {

std::uint32_t ParseInBase(const std::string& text, int base, const char* what) {
  std::size_t start = 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) {
    ++start;
  }
  std::uint64_t value = 0;
  const char* first = text.data() + start;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, value, base);
  if (error == std::errc::invalid_argument) {
    throw std::invalid_argument(std::string(what) + " expected: \"" + text + "\"");
  }
  if (error == std::errc::result_out_of_range ||
      value > std::numeric_limits<std::uint32_t>::max()) {
    throw std::out_of_range(std::string(what) + " out of range: \"" + text + "\"");
  }
  return static_cast<std::uint32_t>(value);
}

void AppendUtf8(std::string& output, std::uint32_t codePoint) {
  if (codePoint < 0x80) {
    output += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    output += static_cast<char>(0xC0 | (codePoint >> 6));
    output += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    output += static_cast<char>(0xE0 | (codePoint >> 12));
    output += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    output += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    output += static_cast<char>(0xF0 | (codePoint >> 18));
    output += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    output += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    output += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

// The code point of a reference's body (between "&" and ";"), or 0 when it is not one.
std::uint32_t ReferencedCodePoint(std::string_view body) {
  if (body.size() >= 2 && body[0] == '#') {
    const bool hexadecimal = body[1] == 'x' || body[1] == 'X';
    const std::string_view digits = body.substr(hexadecimal ? 2 : 1);
    std::uint32_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, hexadecimal ? 16 : 10);
    const bool valid = error == std::errc{} && end == digits.data() + digits.size() && value != 0 &&
                       value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
    return valid ? value : 0;
  }
  struct Named {
    std::string_view name;
    std::uint32_t codePoint;
  };
  static constexpr Named kNamed[] = {
      {"amp", '&'},     {"lt", '<'},      {"gt", '>'},      {"quot", '"'},     {"apos", '\''},
      {"nbsp", 0xA0},   {"copy", 0xA9},   {"reg", 0xAE},    {"trade", 0x2122}, {"euro", 0x20AC},
      {"pound", 0xA3},  {"yen", 0xA5},    {"auml", 0xE4},   {"ouml", 0xF6},    {"uuml", 0xFC},
      {"Auml", 0xC4},   {"Ouml", 0xD6},   {"Uuml", 0xDC},   {"szlig", 0xDF},   {"eacute", 0xE9},
      {"egrave", 0xE8}, {"aacute", 0xE1}, {"oacute", 0xF3}, {"ntilde", 0xF1},  {"ccedil", 0xE7},
      {"aring", 0xE5},  {"oslash", 0xF8}, {"aelig", 0xE6},  {"Aring", 0xC5},   {"Oslash", 0xD8},
  };
  for (const Named& named : kNamed) {
    if (named.name == body) {
      return named.codePoint;
    }
  }
  return 0;
}

}  // namespace

std::uint32_t ParseUnsigned(const std::string& text) { return ParseInBase(text, 10, "Number"); }

std::uint32_t ParseIdentifier(const std::string& text) {
  const std::uint32_t value = ParseUnsigned(text);
  if (value >= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::out_of_range("Identifier out of range: \"" + text + "\"");
  }
  return value;
}

std::uint32_t ParseHexadecimal(const std::string& text) {
  return ParseInBase(text, 16, "Hexadecimal number");
}

double ParseLeadingDecimal(const std::string& text) {
  std::size_t start = 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) {
    ++start;
  }
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data() + start, text.data() + text.size(), value);
  if (error == std::errc::invalid_argument) {
    throw std::invalid_argument("Decimal number expected: \"" + text + "\"");
  }
  if (error == std::errc::result_out_of_range) {
    throw std::out_of_range("Decimal number out of range: \"" + text + "\"");
  }
  return value;
}

std::string DecodeHtmlEntities(const std::string& text) {
  std::string decoded;
  decoded.reserve(text.size());
  std::size_t position = 0;
  while (position < text.size()) {
    const std::size_t ampersand = text.find('&', position);
    if (ampersand == std::string::npos) {
      decoded.append(text, position, std::string::npos);
      break;
    }
    decoded.append(text, position, ampersand - position);
    const std::size_t semicolon = text.find(';', ampersand + 1);
    constexpr std::size_t kLongestReference = 10;
    if (semicolon != std::string::npos && semicolon - ampersand - 1 <= kLongestReference) {
      const std::uint32_t codePoint = ReferencedCodePoint(
          std::string_view(text).substr(ampersand + 1, semicolon - ampersand - 1));
      if (codePoint != 0) {
        AppendUtf8(decoded, codePoint);
        position = semicolon + 1;
        continue;
      }
    }
    decoded += '&';
    position = ampersand + 1;
  }
  return decoded;
}

}  // namespace Corvalle::BrickLink
