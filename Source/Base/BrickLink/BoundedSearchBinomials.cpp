#include "Source/Base/BrickLink/BoundedSearchBinomials.h"

#include <algorithm>

namespace Corvalle::BrickLink::BoundedSearch {

Binomials::Binomials(std::uint32_t n, std::uint32_t k)
    : width(k + 1), values((n + 1) * (k + 1), 0.0) {
  for (std::uint32_t a = 0; a <= n; ++a) {
    At(a, 0) = 1.0;
    for (std::uint32_t b = 1; b <= std::min(a, k); ++b) {
      At(a, b) = At(a - 1, b - 1) + (b <= a - 1 ? At(a - 1, b) : 0.0);
    }
  }
}

}  // namespace Corvalle::BrickLink::BoundedSearch
