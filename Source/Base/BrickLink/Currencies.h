#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Corvalle::BrickLink {

struct Currency {
  const char* name;    // English display name, unique
  std::uint32_t id;    // the marketplace's number, sent as the currency selector
  const char* code;    // three-letter code
  const char* symbol;  // UTF-8; a trailing blank separates it from an amount that follows
  char decimalSeparator;
  char thousandsSeparator;
  std::int32_t symbolAfterAmount;  // 0: symbol then amount; 1: amount, one blank, symbol
};

// The 40 currencies in table order. Immutable; readable from any thread.
const std::vector<Currency>& GetCurrencies();
// Throws std::invalid_argument "Unknown currency name" when no currency has that name.
const Currency& GetCurrencyByName(const std::string& name);
// The same, or null when no currency has that name.
const Currency* FindCurrencyByName(const std::string& name);
// The currency of the marketplace's number, or null when the table has none.
const Currency* FindCurrencyByID(std::uint32_t id);

}  // namespace Corvalle::BrickLink
