#include "Tests/Tools/Marketplace/RawHttpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Testing {

namespace {

void Split(RawResponse& response) {
  const std::size_t lineEnd = response.raw.find("\r\n");
  if (lineEnd == std::string::npos) {
    response.statusLine = response.raw;
    return;
  }
  response.statusLine = response.raw.substr(0, lineEnd);
  const std::size_t blank = response.raw.find("\r\n\r\n", lineEnd);
  if (blank == std::string::npos) {
    response.headers = response.raw.substr(lineEnd + 2);
    return;
  }
  response.headers = blank > lineEnd ? response.raw.substr(lineEnd + 2, blank - lineEnd - 2) : "";
  response.body = response.raw.substr(blank + 4);
}

}  // namespace

std::string RawResponse::Header(const std::string& name) const {
  const std::string all = "\r\n" + headers + "\r\n";
  const std::string prefix = "\r\n" + name + ": ";
  const std::size_t at = all.find(prefix);
  if (at == std::string::npos) {
    return "";
  }
  const std::size_t value = at + prefix.size();
  return all.substr(value, all.find("\r\n", value) - value);
}

bool RawResponse::HasHeader(const std::string& name) const {
  return ("\r\n" + headers + "\r\n").find("\r\n" + name + ":") != std::string::npos;
}

RawResponse Exchange(std::uint16_t port, const std::string& request,
                     std::chrono::milliseconds limit) {
  RawResponse response;
  const int handle = socket(AF_INET, SOCK_STREAM, 0);
  if (handle < 0) {
    return response;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(handle);
    return response;
  }
  response.connected = true;
  std::size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t written = send(handle, request.data() + sent, request.size() - sent, 0);
    if (written <= 0) {
      break;
    }
    sent += static_cast<std::size_t>(written);
  }
  const auto deadline = std::chrono::steady_clock::now() + limit;
  char buffer[16384];
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      break;
    }
    pollfd descriptor{handle, POLLIN, 0};
    if (poll(&descriptor, 1, static_cast<int>(left.count())) <= 0) {
      break;
    }
    const ssize_t received = recv(handle, buffer, sizeof buffer, 0);
    if (received <= 0) {
      response.closedByServer = true;
      break;
    }
    response.raw.append(buffer, static_cast<std::size_t>(received));
  }
  close(handle);
  Split(response);
  return response;
}

RawResponse Fetch(std::uint16_t port, const std::string& target, const std::string& cookies,
                  std::chrono::milliseconds limit) {
  std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) +
                        "\r\nAccept: */*\r\n";
  if (!cookies.empty()) {
    request += "Cookie: " + cookies + "\r\n";
  }
  request += "Connection: close\r\n\r\n";
  return Exchange(port, request, limit);
}

}  // namespace Testing
