#pragma once

// Counts the heap allocations of the benchmark process through replaced global operators new
// and delete, so that benchmarks can report peak memory and allocations per unit of work.

#include <cstddef>
#include <cstdint>

namespace Benchmarks {

struct AllocationSnapshot {
  std::uint64_t allocations;  // operator new calls so far
  std::int64_t liveBytes;     // bytes allocated and not yet freed
};

AllocationSnapshot TakeAllocationSnapshot();
// Restarts the peak at the current live bytes.
void ResetPeakBytes();
// The most live bytes since the last ResetPeakBytes.
std::int64_t PeakBytes();

}  // namespace Benchmarks
