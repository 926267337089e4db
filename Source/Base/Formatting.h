#pragma once

#include <cstdint>
#include <locale>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Utilities {

// The locale that the environment names (LC_ALL, the LC_ variables, LANG), or the plain C
// locale when it names one that is not installed. Read without touching the process's C
// locale; made again only when those variables change, as making it reads a dozen files.
std::locale EnvironmentLocale();

// The value in decimal with the digit grouping of the user's locale. The plain C locale groups
// nothing, so there the grouping of en_US.UTF-8 is used (threes, separated by commas), and the
// same grouping when even that locale is not installed.
std::string FormatCount(std::uint64_t value);

// A count held in floating point: exact as FormatCount below 2^53, where every whole number is
// exact; beyond, three significant digits, as "about 2.07 x 10^19".
std::string FormatApproximateCount(double value);

// Text from a page, a file, the database or an argument as a terminal may show it: every
// control character but the tab (C0, DEL, and C1), every bidirectional embedding, override and
// isolate (U+202A to U+202E, U+2066 to U+2069) and every byte that is not part of well-formed
// UTF-8 becomes U+FFFD, so that no escape sequence in a store's name can recolour, retitle or
// clear the terminal, nor turn the rest of a line around. Other characters pass unchanged.
std::string ShowControlCharacters(std::string_view text);
// The same for a message of several lines that quotes such text: its line feeds stay, so
// that its lines come out as lines.
std::string ShowMessage(std::string_view text);

// The text under a progress bar for an estimate of the seconds still to go: empty for 0,
// "Almost done..." for 1 or 2, else "Estimated time remaining: " with seconds up to 120,
// then weeks, days, hours and minutes, coarser parts crowding out the finer ones.
std::string FormatTimeRemaining(std::uint64_t secondsRemaining);

// The seconds still to go for work of which the fraction (0 to 1) is done after elapsedSeconds,
// at the pace so far: 0, which shows no estimate, before anything is done and in the first two
// seconds, whose pace says too little of the rest.
std::uint64_t EstimateSecondsRemaining(double elapsedSeconds, double fraction);

// A number written with the ASCII digits 0 to 9 and nothing else: no sign, no blanks. Nothing
// for an empty text or a number beyond 32 bits; the marketplace's numbers (stores, wanted
// lists) fit in 32 bits, and cutting a larger one down would name another.
std::optional<std::uint32_t> ParseDecimalNumber(std::string_view text);

// Numbers as ParseDecimalNumber reads them, separated by single commas, in their order and
// repeats kept: how the program stores a list of store numbers. An empty text is an empty list;
// an empty entry (a leading, doubled or trailing comma) or any other text is nothing, since a
// list misread would name the wrong stores.
std::optional<std::vector<std::uint32_t>> ParseNumberList(std::string_view text);

}  // namespace Utilities
