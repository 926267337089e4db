#include "Source/Base/BrickLink/PageText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace Corvalle::BrickLink {

namespace {

std::string_view Trimmed(const std::string& text) {
  std::string_view view(text);
  while (!view.empty() && std::isspace(static_cast<unsigned char>(view.front()))) {
    view.remove_prefix(1);
  }
  while (!view.empty() && std::isspace(static_cast<unsigned char>(view.back()))) {
    view.remove_suffix(1);
  }
  return view;
}

bool AllDigits(std::string_view text, int base) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [base](char character) {
    const auto byte = static_cast<unsigned char>(character);
    return base == 16 ? std::isxdigit(byte) != 0 : std::isdigit(byte) != 0;
  });
}

// The digits of a whole number written ungrouped or grouped by thousands, commas taken out;
// empty when the text is not such a number.
std::string WholeNumberDigits(std::string_view text) {
  std::string digits;
  if (text.find(',') == std::string_view::npos) {
    if (AllDigits(text, 10)) {
      digits = text;
    }
  } else {
    std::size_t start = 0;
    for (bool first = true;; first = false) {
      const std::size_t comma = text.find(',', start);
      const std::string_view group = text.substr(
          start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
      const bool valid = AllDigits(group, 10) && (first ? group.size() <= 3 : group.size() == 3);
      if (!valid) {
        return {};
      }
      digits += group;
      if (comma == std::string_view::npos) {
        break;
      }
      start = comma + 1;
    }
  }
  // A leading zero is no way of the pages to write a number.
  if (digits.size() > 1 && digits.front() == '0') {
    return {};
  }
  return digits;
}

std::uint32_t ToUnsigned(std::string_view digits, int base, const std::string& text,
                         const char* what) {
  std::uint64_t value = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (error == std::errc::invalid_argument || end != digits.data() + digits.size()) {
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

std::uint32_t ParseUnsigned(const std::string& text) {
  return ToUnsigned(WholeNumberDigits(Trimmed(text)), 10, text, "Number");
}

std::uint32_t ParseIdentifier(const std::string& text) {
  const std::string_view digits = Trimmed(text);
  if (!AllDigits(digits, 10)) {
    throw std::invalid_argument("Identifier expected: \"" + text + "\"");
  }
  const std::uint32_t value = ToUnsigned(digits, 10, text, "Identifier");
  if (value >= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::out_of_range("Identifier out of range: \"" + text + "\"");
  }
  return value;
}

std::uint32_t ParseHexadecimal(const std::string& text) {
  const std::string_view digits = Trimmed(text);
  if (!AllDigits(digits, 16)) {
    throw std::invalid_argument("Hexadecimal number expected: \"" + text + "\"");
  }
  return ToUnsigned(digits, 16, text, "Hexadecimal number");
}

double ParseAmount(const std::string& text) {
  const std::string_view amount = Trimmed(text);
  const std::size_t point = amount.find('.');
  std::string number = WholeNumberDigits(amount.substr(0, point));
  if (!number.empty() && point != std::string_view::npos) {
    const std::string_view fraction = amount.substr(point + 1);
    number = AllDigits(fraction, 10) ? number + "." + std::string(fraction) : std::string();
  }
  if (number.empty()) {
    throw std::invalid_argument("Amount expected: \"" + text + "\"");
  }
  double value = 0.0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error == std::errc::result_out_of_range) {
    throw std::out_of_range("Amount out of range: \"" + text + "\"");
  }
  if (error != std::errc{} || end != number.data() + number.size()) {
    throw std::invalid_argument("Amount expected: \"" + text + "\"");
  }
  return value;
}

bool EndsAsWholePage(const std::string& page) {
  static constexpr std::string_view kClosingTag = "</HTML>";
  const std::string_view trimmed = Trimmed(page);
  if (trimmed.size() < kClosingTag.size()) {
    return false;
  }
  const std::string_view end = trimmed.substr(trimmed.size() - kClosingTag.size());
  return std::equal(end.begin(), end.end(), kClosingTag.begin(), [](char left, char right) {
    return std::toupper(static_cast<unsigned char>(left)) == right;
  });
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
