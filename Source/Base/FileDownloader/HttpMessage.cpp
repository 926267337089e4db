#include "Source/Base/FileDownloader/HttpMessage.h"

#include <strings.h>

#include <cctype>
#include <limits>
#include <sstream>

namespace Corvalle::FileDownloader {

std::string PrepareRequest(const std::string& host, const std::string& path,
                           const Cookies& cookies) {
  std::string request = "GET /" + path + " HTTP/1.0\r\n";
  request += "Host: " + host + "\r\n";
  request += "Accept: */*\r\n";
  if (!cookies.empty()) {
    request += "Cookie: ";
    for (const auto& [name, value] : cookies) {
      request += name + "=" + value + ";";
    }
    request += "\r\n";
  }
  request += "Connection: close\r\n\r\n";
  return request;
}

std::pair<std::string, std::string> SplitHostAndService(const std::string& host) {
  const auto isPort = [](const std::string& text) {
    if (text.empty() || text.size() > 5) {
      return false;
    }
    for (const char character : text) {
      if (!std::isdigit(static_cast<unsigned char>(character))) {
        return false;
      }
    }
    return true;
  };
  if (!host.empty() && host.front() == '[') {
    const auto close = host.find(']');
    if (close != std::string::npos) {
      const std::string name = host.substr(1, close - 1);
      if (close + 1 < host.size() && host[close + 1] == ':' && isPort(host.substr(close + 2))) {
        return {name, host.substr(close + 2)};
      }
      return {name, "http"};
    }
  }
  const auto colon = host.rfind(':');
  // More than one colon without brackets is a bare IPv6 address, not a port.
  if (colon != std::string::npos && host.find(':') == colon && isPort(host.substr(colon + 1))) {
    return {host.substr(0, colon), host.substr(colon + 1)};
  }
  return {host, "http"};
}

std::optional<StatusLine> ParseStatusLine(const std::string& line) {
  std::istringstream stream(line);
  StatusLine status;
  stream >> status.version;
  stream >> status.code;
  if (!stream) {
    return std::nullopt;
  }
  std::getline(stream, status.message);
  if (status.version.compare(0, 5, "HTTP/") != 0) {
    return std::nullopt;
  }
  return status;
}

std::optional<std::uint64_t> ParseContentLength(const std::string& headerText) {
  static const std::string kHeader = "Content-Length:";
  const auto start = headerText.find(kHeader);
  if (start == std::string::npos) {
    return std::nullopt;
  }
  std::size_t position = start + kHeader.size();
  while (position < headerText.size() &&
         (headerText[position] == ' ' || headerText[position] == '\t')) {
    ++position;
  }
  std::uint64_t value = 0;
  std::size_t digits = 0;
  constexpr auto kMaximum = std::numeric_limits<std::uint64_t>::max();
  for (; position < headerText.size() &&
         std::isdigit(static_cast<unsigned char>(headerText[position]));
       ++position, ++digits) {
    const unsigned digit = static_cast<unsigned>(headerText[position] - '0');
    if (value > (kMaximum - digit) / 10) {
      return std::nullopt;
    }
    value = value * 10 + digit;
  }
  if (digits == 0) {
    return std::nullopt;
  }
  return value;
}

namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) {
    return "";
  }
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

std::optional<std::string> FindHeaderValue(const std::string& headerText, const std::string& name) {
  std::size_t start = 0;
  while (start < headerText.size()) {
    auto end = headerText.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      end = headerText.size();
    }
    const std::string line = headerText.substr(start, end - start);
    const auto colon = line.find(':');
    if (colon == name.size() && strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
      return Trim(line.substr(colon + 1));
    }
    start = end + 1;
  }
  return std::nullopt;
}

std::string DescribeOversizedHeaders(std::size_t limitBytes) {
  return "Headers error: headers larger than " + std::to_string(limitBytes) + " bytes";
}

bool IsChunkedOnly(const std::string& transferEncoding) {
  const std::string value = Trim(transferEncoding);
  return value.size() == 7 && strncasecmp(value.c_str(), "chunked", 7) == 0;
}

}  // namespace Corvalle::FileDownloader
