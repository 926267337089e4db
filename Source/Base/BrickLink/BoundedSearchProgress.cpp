#include "BoundedSearchProgress.h"

#include <algorithm>

namespace Corvalle::BrickLink::BoundedSearch {

namespace {

constexpr double kSecondsBetweenReports = 0.2;

}  // namespace

void ProgressMeter::Report(bool final) {
  if (!callback) {
    return;
  }
  std::lock_guard<std::mutex> lock(mutex);
  const auto now = Clock::now();
  if (!final && std::chrono::duration<double>(now - lastReport).count() < kSecondsBetweenReports) {
    return;
  }
  lastReport = now;
  const double elapsed = std::chrono::duration<double>(now - start).count();
  double fraction = final ? 1.0 : std::min(1.0, settled.load() / total);
  fraction = std::max(fraction, lastFraction);
  lastFraction = fraction;
  unsigned long long estimate = 0;
  if (!final && fraction > 0.0 && elapsed >= 2.0) {
    estimate = static_cast<unsigned long long>(elapsed / fraction - elapsed);
  }
  callback(fraction, estimate);
}

}  // namespace Corvalle::BrickLink::BoundedSearch
