#pragma once

#include <string>

namespace Corvalle::FileDownloader {

// Where a document lives on the marketplace's web server.
struct Url {
  std::string host;  // resolved and sent in the Host header; may carry ":port"
  std::string path;  // the request target without its leading slash, query included
};

}  // namespace Corvalle::FileDownloader
