#pragma once

// The subtrees that the workers of one search share. Internal to BoundedCombinationSearch.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "Source/Base/BrickLink/CheapestPlans.h"

namespace Corvalle::BrickLink::BoundedSearch {

// A subtree handed to a worker: its chosen stores, its candidates, the item prices to start
// the Lagrangian bound from, and the combinations it stands for.
struct Task {
  std::vector<std::uint32_t> chosen;
  std::vector<std::uint32_t> candidates;
  std::vector<double> multipliers;
  double combinations = 0.0;
  double bound = 0.0;  // no plan of the subtree costs less
  // The root is explored whatever the deadline, as its bound is the one worth having.
  bool root = false;
};

// Tasks waiting and tasks being explored. A worker that runs out asks for more and waits while
// others may still split theirs; a busy worker splits off the rest of its subtree while some
// worker waits. The least bound of the tasks not finished is, with the cheapest plan found, a
// lower bound on every plan while the search runs.
class TaskPool {
 public:
  void Push(Task&& task);
  // Waits for a task; false when none is left and no worker can split one off any more. The
  // task's identity goes to Finish once it is explored.
  bool Pop(Task& task, std::size_t& identity);
  void Finish(std::size_t identity);
  // Wakes every waiting worker for good, after a failure.
  void Abandon();

  // Whether a worker waits for work: then a busy one should split off what it can.
  bool Hungry() const {
    return waiting.load(std::memory_order_relaxed) > queued.load(std::memory_order_relaxed);
  }
  // The least bound of the tasks not finished; infinite when none is left.
  double OpenBound();

 private:
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::size_t> queue;  // identities, the shallowest splits first
  std::vector<Task> tasks;
  std::vector<double> openBounds;  // per identity, infinite once finished
  std::uint32_t busy = 0;
  std::atomic<std::uint32_t> waiting{0};
  std::atomic<std::size_t> queued{0};
  bool abandoned = false;
};

}  // namespace Corvalle::BrickLink::BoundedSearch
