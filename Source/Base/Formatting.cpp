#include "Source/Base/Formatting.h"

#include <boost/log/trivial.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace Utilities {

namespace {

constexpr const char* kHardcodedLocaleName = "en_US.UTF-8";

// What en_US.UTF-8 would answer, for machines on which that locale is not installed.
class GroupingByThrees : public std::numpunct<char> {
 protected:
  char do_thousands_sep() const override { return ','; }
  std::string do_grouping() const override { return "\3"; }
};

bool IsPlainCLocale(const std::locale& locale) {
  const std::string name = locale.name();
  return name.size() <= 1 || name == "POSIX";
}

std::locale CountLocale() {
  std::locale locale = EnvironmentLocale();
  if (!IsPlainCLocale(locale)) {
    return locale;
  }
  BOOST_LOG_TRIVIAL(debug) << "Hardcoding locale to: " << kHardcodedLocaleName
                           << " due to OS bugs :(";
  try {
    return std::locale(kHardcodedLocaleName);
  } catch (const std::runtime_error&) {
    return std::locale(std::locale::classic(), new GroupingByThrees);
  }
}

void AppendPart(std::ostringstream& text, std::uint64_t count, const char* unit) {
  text << count << unit;
  if (count >= 2) {
    text << 's';
  }
}

}  // namespace

// std::locale("") reads the same environment variables that setlocale(LC_ALL, "") would,
// without changing the process's C locale under other threads.
std::locale EnvironmentLocale() {
  static constexpr const char* kVariables[] = {"LC_ALL",      "LC_CTYPE",   "LC_NUMERIC",
                                               "LC_TIME",     "LC_COLLATE", "LC_MONETARY",
                                               "LC_MESSAGES", "LANG"};
  std::string key;
  for (const char* variable : kVariables) {
    const char* value = std::getenv(variable);
    key.append(value == nullptr ? "" : value).push_back('\n');
  }
  static std::mutex mutex;
  static std::string cachedKey;
  static std::optional<std::locale> cached;
  const std::lock_guard<std::mutex> lock(mutex);
  if (!cached || key != cachedKey) {
    try {
      cached = std::locale("");
    } catch (const std::runtime_error&) {
      cached = std::locale::classic();
    }
    cachedKey = std::move(key);
  }
  return *cached;
}

std::string FormatCount(std::uint64_t value) {
  std::ostringstream text;
  text.imbue(CountLocale());
  text << value;
  return text.str();
}

std::string FormatApproximateCount(double value) {
  constexpr double kLargestExact = 9007199254740992.0;  // 2^53
  if (!(value > 0.0)) {
    return FormatCount(0);
  }
  if (value < kLargestExact) {
    return FormatCount(static_cast<std::uint64_t>(std::llround(value)));
  }
  int exponent = static_cast<int>(std::floor(std::log10(value)));
  double mantissa = std::round(value / std::pow(10.0, exponent) * 100.0) / 100.0;
  if (mantissa >= 10.0) {
    mantissa /= 10.0;
    ++exponent;
  }
  char text[64];
  std::snprintf(text, sizeof text, "about %.2f x 10^%d", mantissa, exponent);
  return text;
}

std::uint64_t EstimateSecondsRemaining(double elapsedSeconds, double fraction) {
  constexpr double kSecondsBeforeEstimate = 2.0;
  if (fraction <= 0.0 || elapsedSeconds < kSecondsBeforeEstimate) {
    return 0;
  }
  return static_cast<std::uint64_t>(elapsedSeconds / fraction - elapsedSeconds);
}

std::string FormatTimeRemaining(std::uint64_t s) {
  if (s == 0) {
    return {};
  }
  if (s <= 2) {
    return "Almost done...";
  }
  std::ostringstream text;
  text << "Estimated time remaining: ";
  if (s <= 120) {
    AppendPart(text, s, " second");
    return text.str();
  }
  constexpr std::uint64_t kWeek = 604800;
  constexpr std::uint64_t kDay = 86400;
  constexpr std::uint64_t kHour = 3600;
  constexpr std::uint64_t kMinute = 60;
  bool minutesWanted = true;
  if (s >= kWeek) {
    AppendPart(text, s / kWeek, " week");
    text << ", ";
    s %= kWeek;
    minutesWanted = false;
  }
  if (s >= kDay) {
    AppendPart(text, s / kDay, " day");
    text << ", ";
    s %= kDay;
    minutesWanted = false;
  }
  if (s >= kHour) {
    AppendPart(text, s / kHour, " hour");
    if (minutesWanted) {
      text << ", ";
    }
    s %= kHour;
  }
  if (s >= kMinute && minutesWanted) {
    AppendPart(text, s / kMinute, " minute");
  }
  return text.str();
}

namespace {

// The length of the well-formed UTF-8 sequence at the start of text and its code point, or 0
// for a byte that starts none (a stray continuation byte, an overlong form, a surrogate, a
// value beyond U+10FFFF, a sequence cut short).
std::size_t DecodeUtf8(std::string_view text, char32_t& codePoint) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length) {
    return 0;
  }
  for (std::size_t at = 1; at < length; ++at) {
    if ((byte(at) & 0xC0u) != 0x80u) {
      return 0;
    }
    codePoint = (codePoint << 6) | (byte(at) & 0x3Fu);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (codePoint < kSmallest[length] || codePoint > 0x10FFFF ||
      (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    return 0;
  }
  return length;
}

// Characters a terminal obeys or that reorder what follows them: C0 but the tab, DEL, C1
// (U+009B alone is a CSI) and the bidirectional embeddings, overrides and isolates, by which a
// name could show its text backwards or hide the rest of the line.
bool IsHidden(char32_t codePoint) {
  return (codePoint < 0x20 && codePoint != '\t') || (codePoint >= 0x7F && codePoint <= 0x9F) ||
         (codePoint >= 0x202A && codePoint <= 0x202E) ||
         (codePoint >= 0x2066 && codePoint <= 0x2069);
}

std::string ShowControls(std::string_view text, bool keepLineFeeds) {
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    char32_t codePoint = 0;
    const std::size_t length = DecodeUtf8(text.substr(at), codePoint);
    if (length == 0) {
      shown += kReplacement;  // a byte that is not UTF-8, one replacement for each
      ++at;
    } else if (codePoint == '\n' && keepLineFeeds) {
      shown += '\n';
      at += length;
    } else {
      shown += IsHidden(codePoint) ? kReplacement : text.substr(at, length);
      at += length;
    }
  }
  return shown;
}

}  // namespace

std::string ShowControlCharacters(std::string_view text) { return ShowControls(text, false); }

std::string ShowMessage(std::string_view text) { return ShowControls(text, true); }

std::optional<std::uint32_t> ParseDecimalNumber(std::string_view text) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::vector<std::uint32_t>> ParseNumberList(std::string_view text) {
  std::vector<std::uint32_t> numbers;
  if (text.empty()) {
    return numbers;
  }
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(text.find(',', start), text.size());
    const std::optional<std::uint32_t> number = ParseDecimalNumber(text.substr(start, end - start));
    if (!number) {
      return std::nullopt;
    }
    numbers.push_back(*number);
    if (end == text.size()) {
      return numbers;
    }
    start = end + 1;
  }
}

}  // namespace Utilities
