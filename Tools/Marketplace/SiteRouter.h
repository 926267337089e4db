#pragma once

// What the marketplace answers to one GET, independent of sockets:
//   /catalogColors.asp                         the colour guide
//   /catalogPG.asp?...&itemType=X&itemNo=ID[&colorID=N]
//                                              the item's price guide; colorID counts for
//                                              parts only (missing: 0); cookies isCountryID
//                                              (buyer's country, missing: every lot "Y") and
//                                              viewCurrencyID (missing: US dollars)
//   /store.asp?sID=N                           the store's page
// Unknown items, stores and paths are 404; a currency that the world gives no rate for, or that
// the currency table does not know, is 400 ("Unknown currency"), because showing dollars in its
// place would make the client read wrong prices without noticing.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Tools/Marketplace/World.h"

namespace Corvalle::Marketplace {

struct SiteResponse {
  unsigned statusCode = 200;
  std::string reason = "OK";
  std::string body;
};

// The request target split at the first "?", the query decoded (%XX and "+"); a key that comes
// twice keeps its last value.
struct RequestTarget {
  std::string path;
  std::map<std::string, std::string> query;
};
RequestTarget ParseTarget(const std::string& target);

// "a=b;c=d;" or "a=b; c=d" into ordered (name, value) pairs; blanks around names are dropped,
// empty pieces are skipped, a piece without "=" has an empty value.
std::vector<std::pair<std::string, std::string>> ParseCookies(const std::string& header);

// Thread-safe: reads the world only.
SiteResponse AnswerRequest(const World& world, const std::string& target,
                           const std::map<std::string, std::string>& cookies);

}  // namespace Corvalle::Marketplace
