#include "Source/Base/BrickLink/MarketplaceHost.h"

#include <cstdlib>

namespace Corvalle::BrickLink {

std::string GetMarketplaceHost() {
  const char* host = std::getenv("CORVALLE_MARKETPLACE_HOST");
  if (host == nullptr || *host == '\0') {
    return kPublicMarketplaceHost;
  }
  return host;
}

}  // namespace Corvalle::BrickLink
