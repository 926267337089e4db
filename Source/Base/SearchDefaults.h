#pragma once

// What every front end and every search stage agrees on about the size of a search.

#include <algorithm>
#include <cstdint>
#include <thread>

namespace Corvalle {

// The most stores a combination may have. The search's per-node arrays and the enumeration's
// buffers are sized by it, and the front ends offer 1 to it.
inline constexpr std::uint32_t kMaximumStoresPerCombination = 11;

// The worker threads a search runs on unless the user says otherwise: all hardware threads but
// one, which stays with the interface, and at least one.
inline std::uint32_t DefaultThreadCount() {
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware > 1 ? hardware - 1 : 1;
}

}  // namespace Corvalle
