#pragma once

#include <QStringView>
#include <cstdint>
#include <optional>

namespace Corvalle::Desktop {

// A number written with the ASCII digits 0 to 9 and nothing else: no sign, no blanks, no
// digits of other scripts. Nothing for an empty text or a number beyond 32 bits; the
// marketplace's numbers fit in 32 bits, and cutting a larger one down would name another.
std::optional<std::uint32_t> ParseDecimalDigits(QStringView digits);

}  // namespace Corvalle::Desktop
