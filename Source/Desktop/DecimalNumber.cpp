#include "DecimalNumber.h"

#include <QByteArray>
#include <charconv>

namespace Corvalle::Desktop {

std::optional<std::uint32_t> ParseDecimalDigits(QStringView digits) {
  // Characters outside Latin-1 become '?', which from_chars refuses like any other non-digit.
  const QByteArray text = digits.toLatin1();
  const char* const end = text.constData() + text.size();
  std::uint32_t value = 0;
  const auto [stop, error] = std::from_chars(text.constData(), end, value);
  if (error != std::errc() || stop != end) {
    return std::nullopt;
  }
  return value;
}

}  // namespace Corvalle::Desktop
