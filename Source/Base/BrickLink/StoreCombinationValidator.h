#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Source/Base/BrickLink/ConsolidatedLotData.h"
#include "Source/Base/Corvalle.h"
#include "Source/Base/BrickLink/StoreCombination.h"

namespace Corvalle::BrickLink {

// Fraction of the combinations done, estimated seconds remaining (0 when no estimate yet).
using CombinationProgress = std::function<void(double, unsigned long long)>;

// Finds the store combinations of a table that can supply every wanted quantity, prices them
// and keeps the cheapest of each worker.
class IStoreCombinationValidator {
 public:
  virtual ~IStoreCombinationValidator() = default;
  IStoreCombinationValidator(const IStoreCombinationValidator&) = delete;
  IStoreCombinationValidator& operator=(const IStoreCombinationValidator&) = delete;

  // Enumerates every combination of storesPerCombination columns on up to threadCount workers
  // and returns the kept valid ones, each priced: per worker the cheapest (about the kept
  // bound, ties with its most expensive entry kept up to twice the bound), each worker's block
  // in ascending cost (ties in visit order), the blocks in no particular order. A combination is valid when, for
  // every item, its cells together hold at least the wanted quantity. Empty when none is valid
  // or storesPerCombination is 12 or more. Reports progress after every 5000000th combination,
  // on whichever worker gets there; progress must be safe to call from any thread. Throws
  // std::overflow_error before any work when the count of combinations exceeds 64 bits, and
  // rethrows an exception of the progress callback after the workers have ended. The table
  // must have at least storesPerCombination stores and one row per item.
  virtual std::unique_ptr<std::vector<StoreCombination>> FindValidCombinations(
      const ConsolidatedLotData& consolidatedLotData, std::uint32_t storesPerCombination,
      const CombinationProgress& progress, std::uint32_t threadCount) = 0;

 protected:
  IStoreCombinationValidator() = default;
};

// How many combinations each worker keeps (its kept set grows beyond it only by ties, to at
// most twice as many).
inline constexpr std::size_t kCombinationsKeptPerWorker = 100000;

// The items must outlive the validator. keptPerWorker must be at least 1.
std::unique_ptr<IStoreCombinationValidator> CreateStoreCombinationValidator(
    const std::vector<Item>& items, std::size_t keptPerWorker = kCombinationsKeptPerWorker);

}  // namespace Corvalle::BrickLink
