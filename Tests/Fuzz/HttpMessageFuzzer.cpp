// A response's head on arbitrary bytes, cut into the status line and the header text the way
// the downloader cuts it: getline to the first "\n", then header lines (each keeping its "\r")
// joined up to the empty one.

#include <cstdlib>
#include <sstream>

#include "Source/Base/FileDownloader/HttpMessage.h"
#include "Tests/Fuzz/FuzzSupport.h"

using namespace Corvalle::FileDownloader;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Corvalle::Fuzz::SilenceLogging();
  std::istringstream response(Corvalle::Fuzz::AsText(data, size));
  std::string line;
  std::getline(response, line);
  if (const auto status = ParseStatusLine(line)) {
    if (status->version.rfind("HTTP/", 0) != 0) {
      std::abort();
    }
  }
  std::string headerText;
  for (std::string headerLine; std::getline(response, headerLine) && headerLine != "\r";) {
    headerText += headerLine;
  }
  if (const auto transferEncoding = FindHeaderValue(headerText, "Transfer-Encoding")) {
    static_cast<void>(IsChunkedOnly(*transferEncoding));
  }
  static_cast<void>(ParseContentLength(headerText));
  if (const auto host = FindHeaderValue(headerText, "Host")) {
    static_cast<void>(SplitHostAndService(*host));
  }
  return 0;
}
