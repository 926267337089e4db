#pragma once

// The text side of the HTTP/1.0 exchange, kept apart from the sockets so that it can be tested
// without a server.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Corvalle::FileDownloader {

using Cookies = std::vector<std::pair<std::string, std::string>>;

// The GET request for path on host, with a Cookie line only when there are cookies. Nothing is
// escaped: path and cookie values are sent byte for byte.
std::string PrepareRequest(const std::string& host, const std::string& path,
                           const Cookies& cookies);

// The name to resolve and the service (port) to connect to: "example.com:8080" gives
// ("example.com", "8080"), "[::1]:80" gives ("::1", "80"), a host without port the service
// "http".
std::pair<std::string, std::string> SplitHostAndService(const std::string& host);

struct StatusLine {
  std::string version;
  unsigned code = 0;
  std::string message;  // the rest of the line, leading blank and carriage return kept
};

// Reads "HTTP/1.0 200 OK\r". Empty when the version or the code cannot be read or the version
// does not begin with "HTTP/".
std::optional<StatusLine> ParseStatusLine(const std::string& line);

// The value after the first "Content-Length:" of the header text. Empty when there is no such
// header or its value is not a number or does not fit 64 bits: the body then runs until the
// server closes the connection, as it does anyway under HTTP/1.0.
std::optional<std::uint64_t> ParseContentLength(const std::string& headerText);

// The value of the first header field of that name in the header text (lines ended by "\r",
// "\n" or both), the name compared without regard to case and blanks around the value removed.
// Empty when there is no such field.
std::optional<std::string> FindHeaderValue(const std::string& headerText, const std::string& name);

// The failure of a response whose header lines do not end within limitBytes. The reader stops
// there rather than buffer without end, and its own text ("Element not found") would send the
// user looking for a missing header.
std::string DescribeOversizedHeaders(std::size_t limitBytes);

// Whether a Transfer-Encoding value is the chunked coding alone, the only one the downloader
// decodes ("chunked", "Chunked"; not "gzip, chunked").
bool IsChunkedOnly(const std::string& transferEncoding);

}  // namespace Corvalle::FileDownloader
