#pragma once

// A deliberately plain HTTP/1.0 client over POSIX sockets, so that the server's tests see the
// bytes exactly as they come, faults included.

#include <chrono>
#include <cstdint>
#include <string>

namespace Testing {

struct RawResponse {
  bool connected = false;
  bool closedByServer = false;  // the stream ended (end of file or reset) before the time limit
  std::string raw;              // every byte received
  std::string statusLine;       // the first line without its line end
  std::string headers;          // from after the status line to the blank line, exclusive
  std::string body;             // everything after the blank line

  // The value of the header (exact name), or "" when it is absent.
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
};

// Sends "GET target HTTP/1.0" with Host, Accept, the Cookie line when cookies is not empty and
// "Connection: close", as the client does, and reads until the server closes the connection
// or the time limit passes.
RawResponse Fetch(std::uint16_t port, const std::string& target, const std::string& cookies = "",
                  std::chrono::milliseconds limit = std::chrono::seconds(10));

// Sends any bytes and reads the answer the same way.
RawResponse Exchange(std::uint16_t port, const std::string& request,
                     std::chrono::milliseconds limit = std::chrono::seconds(10));

}  // namespace Testing
