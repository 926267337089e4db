#pragma once

#include <string>

namespace Corvalle::BrickLink {

// The marketplace's public host name, used when CORVALLE_MARKETPLACE_HOST is not set.
inline constexpr const char* kPublicMarketplaceHost = "www.bricklink.com";

// The text with which the marketplace's page titles end, after " - ".
inline constexpr const char* kMarketplaceSiteName = "BrickLink Reference Catalog";

// CORVALLE_MARKETPLACE_HOST when set and not empty, else the public host. The value may carry
// ":port"; it is used as given in addresses and in the Host header. Read by the programs' main
// functions only, which hand the host on; nothing else looks at the environment for it.
std::string GetMarketplaceHost();

}  // namespace Corvalle::BrickLink
