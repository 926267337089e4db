#pragma once

// Internal to BoundedCombinationSearch.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Corvalle::BrickLink::BoundedSearch {

// C(a, b) for a up to the store count and b up to k, in floating point: beyond 64 bits the
// counts only drive progress and statistics.
class Binomials {
 public:
  Binomials(std::uint32_t n, std::uint32_t k);

  double operator()(std::uint32_t a, std::uint32_t b) const {
    return b < width ? values[static_cast<std::size_t>(a) * width + b] : 0.0;
  }

 private:
  double& At(std::uint32_t a, std::uint32_t b) {
    return values[static_cast<std::size_t>(a) * width + b];
  }

  std::size_t width;
  std::vector<double> values;
};

}  // namespace Corvalle::BrickLink::BoundedSearch
