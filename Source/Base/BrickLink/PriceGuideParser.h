#pragma once

#include <memory>
#include <string>
#include <utility>

#include "Source/Base/BrickLink/PriceGuide.h"

namespace Corvalle::BrickLink {

using PriceGuidePair = std::pair<std::unique_ptr<PriceGuide>, std::unique_ptr<PriceGuide>>;

// Reads the marketplace's price guide page of one item: the statistics boxes of past sales and
// of current lots per condition, and the lots under "Currently Available". Stateless; may be
// shared by const reference between threads.
class IPriceGuideParser {
 public:
  virtual ~IPriceGuideParser() = default;
  IPriceGuideParser(const IPriceGuideParser&) = delete;
  IPriceGuideParser& operator=(const IPriceGuideParser&) = delete;

  // (new-condition guide, used-condition guide), both present, or both empty when the page is
  // unreadable: empty, cut short (see EndsAsWholePage), markers missing or out of order, a
  // statistics box that does not match, a number not written as the page writes numbers (see
  // ParseUnsigned and ParseAmount), or a lot price or quantity that the cache cannot store (see
  // IsStorablePrice). With skipLotsMarkedN, lots whose store does not ship to the buyer (marker "N"
  // after "box16") are left out, and their prices are not looked at; their stores are the
  // guide's StoresNotShipping.
  virtual PriceGuidePair ParsePriceGuide(const std::string& rawPriceGuide,
                                         bool skipLotsMarkedN) const = 0;

 protected:
  IPriceGuideParser() = default;
};

std::unique_ptr<IPriceGuideParser> CreatePriceGuideParser();

}  // namespace Corvalle::BrickLink
