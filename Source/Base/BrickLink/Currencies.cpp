#include "Source/Base/BrickLink/Currencies.h"

#include <algorithm>
#include <stdexcept>

namespace Corvalle::BrickLink {

namespace {
constexpr std::int32_t kBefore = 0;
constexpr std::int32_t kAfter = 1;
}  // namespace

const std::vector<Currency>& GetCurrencies() {
  static const std::vector<Currency> currencies = {
      {"Argentine Peso", 173, "ARS", "$", ',', '.', kBefore},
      {"Australian Dollar", 14, "AUD", "$", '.', ' ', kBefore},
      {"Brazilian Real", 26, "BRL", "R$", ',', '.', kBefore},
      {"Bulgarian Lev", 172, "BGN", "лв", ',', ' ', kAfter},
      {"Canadian Dollar", 32, "CAD", "$", '.', ',', kBefore},
      {"Chinese Yuan", 36, "CNY", "¥", '.', ',', kBefore},
      {"Croatian Kuna", 40, "HRK", "kn", ',', '.', kAfter},
      {"Czech Koruna", 43, "CZK", "Kč", ',', '.', kAfter},
      {"Danish Krone", 45, "DKK", "kr ", ',', '.', kBefore},
      {"Estonian Kroon", 168, "EEK", "kr", '.', ' ', kAfter},
      {"Euro", 2, "EUR", "€", ',', '.', kBefore},
      {"Hong Kong Dollar", 65, "HKD", "$", '.', ',', kBefore},
      {"Hungarian Forint", 66, "HUF", "Ft", ',', '.', kAfter},
      {"Indian Rupee", 164, "INR", "₹", ',', '.', kBefore},
      {"Indonesian Rupiah", 69, "IDR", "Rp ", '.', ',', kBefore},
      {"Israeli New Shekel", 72, "ILS", "₪", '.', ',', kAfter},
      {"Japanese Yen", 74, "JPY", "¥", '.', ',', kBefore},
      {"Latvian Lats", 167, "LVL", "Ls ", ',', ' ', kBefore},
      {"Lithuanian Litai", 166, "LTL", "Lt", ',', ' ', kAfter},
      {"Macau Pataca", 171, "MOP", "MOP$", '.', ',', kBefore},
      {"Malaysian Ringgit", 90, "MYR", "RM ", '.', ',', kBefore},
      {"Mexican Peso", 95, "MXN", "$", '.', ',', kBefore},
      {"New Zealand Dollar", 102, "NZD", "$", '.', ',', kBefore},
      {"Norwegian Kroner", 106, "NOK", "kr ", ',', '.', kBefore},
      {"Philippine Peso", 113, "PHP", "₱", '.', ',', kBefore},
      {"Polish Zloty", 114, "PLN", "zł", ',', ' ', kAfter},
      {"Pound Sterling", 27, "GBP", "£", '.', ',', kBefore},
      {"Romanian New Lei", 116, "ROL", "lei", ',', '.', kAfter},
      {"Russian Rouble", 117, "RUB", "руб ", ',', ' ', kBefore},
      {"Serbian Dinar", 162, "RSD", "Дин.", ',', '.', kAfter},
      {"Singapore Dollar", 123, "SGD", "$", '.', ',', kBefore},
      {"South African Rand", 170, "ZAR", "R ", '.', ',', kBefore},
      {"South Korean Won", 78, "KRW", "₩", '.', ',', kAfter},
      {"Swedish Krona", 135, "SEK", "kr", '.', ' ', kAfter},
      {"Swiss Franc", 136, "CHF", "Fr.", '.', '\'', kAfter},
      {"Taiwan New Dollar", 138, "TWD", "NT$", '.', ',', kBefore},
      {"Thai Baht", 169, "THB", "฿", '.', ',', kBefore},
      {"Turkish Lira", 144, "TRY", "₺", ',', '.', kAfter},
      {"Ukraine Hryvnia", 146, "UAH", "₴", ',', ' ', kAfter},
      {"US Dollar", 1, "USD", "$", '.', ',', kBefore},
  };
  return currencies;
}

const Currency& GetCurrencyByName(const std::string& name) {
  if (const Currency* currency = FindCurrencyByName(name)) {
    return *currency;
  }
  throw std::invalid_argument("Unknown currency name");
}

const Currency* FindCurrencyByID(std::uint32_t id) {
  const auto& currencies = GetCurrencies();
  const auto found = std::find_if(currencies.begin(), currencies.end(),
                                  [id](const Currency& currency) { return currency.id == id; });
  return found == currencies.end() ? nullptr : &*found;
}

const Currency* FindCurrencyByName(const std::string& name) {
  const auto& currencies = GetCurrencies();
  const auto found = std::find_if(currencies.begin(), currencies.end(),
                                  [&](const Currency& currency) { return name == currency.name; });
  return found == currencies.end() ? nullptr : &*found;
}

}  // namespace Corvalle::BrickLink
