#pragma once

#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

namespace Testing {

// Runs write(0 .. writes - 1) on one thread while readerCount threads call read(n) with a
// growing n until the writer is done; returns how many reads answered false. Made for the
// process-wide tables a search fills while a window reads them: without a lock the reads see
// torn entries or crash, and ThreadSanitizer reports the race.
template <typename Write, typename Read>
std::size_t WriteWhileReading(std::size_t writes, Write write, Read read,
                              std::size_t readerCount = 3) {
  std::atomic<bool> writing{true};
  std::atomic<std::size_t> failures{0};
  std::vector<std::thread> readers;
  for (std::size_t reader = 0; reader < readerCount; ++reader) {
    readers.emplace_back([&, reader] {
      for (std::size_t n = reader; writing.load(); n += readerCount) {
        if (!read(n)) {
          ++failures;
        }
      }
    });
  }
  for (std::size_t n = 0; n < writes; ++n) {
    write(n);
  }
  writing = false;
  for (std::thread& thread : readers) {
    thread.join();
  }
  return failures.load();
}

}  // namespace Testing
