#include "Benchmarks/AllocationCounter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace Benchmarks {

namespace {

std::atomic<std::uint64_t> allocationCount{0};
std::atomic<std::int64_t> liveByteCount{0};
std::atomic<std::int64_t> peakByteCount{0};

void* Allocate(std::size_t size) {
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr) {
    throw std::bad_alloc();
  }
  allocationCount.fetch_add(1, std::memory_order_relaxed);
  const auto live = liveByteCount.fetch_add(static_cast<std::int64_t>(malloc_usable_size(memory)),
                                            std::memory_order_relaxed) +
                    static_cast<std::int64_t>(malloc_usable_size(memory));
  auto peak = peakByteCount.load(std::memory_order_relaxed);
  while (live > peak && !peakByteCount.compare_exchange_weak(peak, live)) {
  }
  return memory;
}

void Release(void* memory) noexcept {
  if (memory != nullptr) {
    liveByteCount.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(memory)),
                            std::memory_order_relaxed);
    std::free(memory);
  }
}

}  // namespace

AllocationSnapshot TakeAllocationSnapshot() {
  return {allocationCount.load(), liveByteCount.load()};
}

void ResetPeakBytes() { peakByteCount = liveByteCount.load(); }

std::int64_t PeakBytes() { return peakByteCount.load(); }

}  // namespace Benchmarks

void* operator new(std::size_t size) { return Benchmarks::Allocate(size); }
void* operator new[](std::size_t size) { return Benchmarks::Allocate(size); }
void operator delete(void* memory) noexcept { Benchmarks::Release(memory); }
void operator delete[](void* memory) noexcept { Benchmarks::Release(memory); }
void operator delete(void* memory, std::size_t) noexcept { Benchmarks::Release(memory); }
void operator delete[](void* memory, std::size_t) noexcept { Benchmarks::Release(memory); }
