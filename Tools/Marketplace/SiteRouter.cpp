#include "Tools/Marketplace/SiteRouter.h"

#include <charconv>
#include <optional>

#include "Tools/Marketplace/PageRenderer.h"

namespace Corvalle::Marketplace {

namespace {

int HexValue(char character) {
  if (character >= '0' && character <= '9') {
    return character - '0';
  }
  if (character >= 'a' && character <= 'f') {
    return character - 'a' + 10;
  }
  if (character >= 'A' && character <= 'F') {
    return character - 'A' + 10;
  }
  return -1;
}

std::string DecodeComponent(const std::string& text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t index = 0; index < text.size(); ++index) {
    const char character = text[index];
    if (character == '+') {
      decoded += ' ';
    } else if (character == '%' && index + 2 < text.size() && HexValue(text[index + 1]) >= 0 &&
               HexValue(text[index + 2]) >= 0) {
      decoded += static_cast<char>(HexValue(text[index + 1]) * 16 + HexValue(text[index + 2]));
      index += 2;
    } else {
      decoded += character;
    }
  }
  return decoded;
}

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) {
    return "";
  }
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// A whole decimal number that fits 32 bits, or nothing.
std::optional<std::uint32_t> ToUnsigned(const std::string& text) {
  std::uint32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) {
    return std::nullopt;
  }
  return value;
}

SiteResponse Error(const World& world, unsigned statusCode, const std::string& reason) {
  return {statusCode, reason, RenderErrorPage(world, statusCode, reason)};
}

SiteResponse NotFound(const World& world) { return Error(world, 404, "Not Found"); }

std::string Lookup(const std::map<std::string, std::string>& values, const std::string& key) {
  const auto entry = values.find(key);
  return entry == values.end() ? std::string() : entry->second;
}

}  // namespace

RequestTarget ParseTarget(const std::string& target) {
  RequestTarget result;
  const std::size_t question = target.find('?');
  result.path = target.substr(0, question);
  if (question == std::string::npos) {
    return result;
  }
  const std::string query = target.substr(question + 1);
  std::size_t start = 0;
  while (start <= query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string::npos) {
      end = query.size();
    }
    const std::string piece = query.substr(start, end - start);
    if (!piece.empty()) {
      const std::size_t equals = piece.find('=');
      result.query[DecodeComponent(piece.substr(0, equals))] =
          equals == std::string::npos ? std::string() : DecodeComponent(piece.substr(equals + 1));
    }
    start = end + 1;
  }
  return result;
}

std::vector<std::pair<std::string, std::string>> ParseCookies(const std::string& header) {
  std::vector<std::pair<std::string, std::string>> cookies;
  std::size_t start = 0;
  while (start <= header.size()) {
    std::size_t end = header.find(';', start);
    if (end == std::string::npos) {
      end = header.size();
    }
    const std::string piece = Trim(header.substr(start, end - start));
    if (!piece.empty()) {
      const std::size_t equals = piece.find('=');
      cookies.emplace_back(Trim(piece.substr(0, equals)), equals == std::string::npos
                                                              ? std::string()
                                                              : Trim(piece.substr(equals + 1)));
    }
    start = end + 1;
  }
  return cookies;
}

SiteResponse AnswerRequest(const World& world, const std::string& target,
                           const std::map<std::string, std::string>& cookies) {
  const RequestTarget request = ParseTarget(target);
  if (request.path == "/catalogColors.asp") {
    return {200, "OK", RenderColorGuidePage(world)};
  }
  if (request.path == "/store.asp") {
    const auto storeId = ToUnsigned(Lookup(request.query, "sID"));
    const WorldStore* store = storeId ? world.FindStore(*storeId) : nullptr;
    if (store == nullptr) {
      return NotFound(world);
    }
    return {200, "OK", RenderStorePage(world, *store)};
  }
  if (request.path == "/catalogPG.asp") {
    const std::string type = Lookup(request.query, "itemType");
    const std::string id = Lookup(request.query, "itemNo");
    if (type.size() != 1 || id.empty()) {
      return NotFound(world);
    }
    std::uint32_t color = 0;
    if (type == "P" && request.query.count("colorID") != 0) {
      const auto parsed = ToUnsigned(Lookup(request.query, "colorID"));
      if (!parsed) {
        return NotFound(world);
      }
      color = *parsed;
    }
    const WorldPriceGuide* guide = world.FindPriceGuide(type[0], id, color);
    if (guide == nullptr) {
      return NotFound(world);
    }
    std::uint32_t currencyId = 1;
    if (cookies.count("viewCurrencyID") != 0) {
      const auto parsed = ToUnsigned(Lookup(cookies, "viewCurrencyID"));
      if (!parsed) {
        return Error(world, 400, "Unknown currency");
      }
      currencyId = *parsed;
    }
    const auto currency = FindDisplayCurrency(world, currencyId);
    if (!currency) {
      return Error(world, 400, "Unknown currency");
    }
    return {200, "OK",
            RenderPriceGuidePage(world, *guide, Lookup(cookies, "isCountryID"), *currency)};
  }
  return NotFound(world);
}

}  // namespace Corvalle::Marketplace
