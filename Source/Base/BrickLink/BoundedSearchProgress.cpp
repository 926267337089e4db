#include "Source/Base/BrickLink/BoundedSearchProgress.h"

#include <algorithm>

#include "Source/Base/BrickLink/BoundedSearchTasks.h"
#include "Source/Base/Formatting.h"

namespace Corvalle::BrickLink::BoundedSearch {

namespace {

constexpr double kSecondsBetweenReports = 0.2;

}  // namespace

void ProgressMeter::Report(bool final) {
  if (!callback && !boundsCallback) {
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
  const std::uint64_t estimate = final ? 0 : Utilities::EstimateSecondsRemaining(elapsed, fraction);
  if (callback) {
    callback(fraction, estimate);
  }
  if (boundsCallback && !final) {
    const double cheapest = plans.Cheapest();
    const double open = pool == nullptr ? 0.0 : pool->OpenBound();
    boundsCallback(cheapest, std::min(cheapest, open));
  }
}

}  // namespace Corvalle::BrickLink::BoundedSearch
