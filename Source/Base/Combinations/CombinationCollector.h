#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace Combinations {

// Receives the combinations of one worker of the generator. A collector belongs to exactly one
// worker: it is created on the calling thread, then used only on that worker's thread, so it
// needs no locking of its own; whatever it shares with other collectors it protects itself.
class IValidCombinationCollector {
 public:
  using Iterator = std::vector<std::uint32_t>::const_iterator;

  virtual ~IValidCombinationCollector() = default;
  IValidCombinationCollector(const IValidCombinationCollector&) = delete;
  IValidCombinationCollector& operator=(const IValidCombinationCollector&) = delete;

  // One combination: [begin, end) holds exactly k indices in strictly ascending order. The
  // range is a view into the worker's own storage, valid only during the call.
  virtual void HandleCombination(const Iterator& begin, const Iterator& end) = 0;
  // Called once per worker, after its last HandleCombination.
  virtual void Finish() = 0;

 protected:
  IValidCombinationCollector() = default;
};

// Makes one collector per worker; called on the thread that runs the generator.
class ICombinationCollectorFactory {
 public:
  virtual ~ICombinationCollectorFactory() = default;
  ICombinationCollectorFactory(const ICombinationCollectorFactory&) = delete;
  ICombinationCollectorFactory& operator=(const ICombinationCollectorFactory&) = delete;

  virtual std::unique_ptr<IValidCombinationCollector> CreateCollector() = 0;

 protected:
  ICombinationCollectorFactory() = default;
};

}  // namespace Combinations
