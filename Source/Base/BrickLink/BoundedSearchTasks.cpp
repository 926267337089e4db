#include "Source/Base/BrickLink/BoundedSearchTasks.h"

#include <algorithm>
#include <utility>

namespace Corvalle::BrickLink::BoundedSearch {

void TaskPool::Push(Task&& task) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    openBounds.push_back(task.bound);
    queue.push_back(tasks.size());
    queued.store(queue.size(), std::memory_order_relaxed);
    tasks.push_back(std::move(task));
  }
  changed.notify_one();
}

bool TaskPool::Pop(Task& task, std::size_t& identity) {
  std::unique_lock<std::mutex> lock(mutex);
  waiting.fetch_add(1, std::memory_order_relaxed);
  changed.wait(lock, [&] { return abandoned || !queue.empty() || busy == 0; });
  waiting.fetch_sub(1, std::memory_order_relaxed);
  if (abandoned || queue.empty()) {
    changed.notify_all();  // the others find the same
    return false;
  }
  identity = queue.front();
  queue.pop_front();
  queued.store(queue.size(), std::memory_order_relaxed);
  // Tasks are explored once: the pool's copy is no longer needed.
  task = std::move(tasks[identity]);
  ++busy;
  return true;
}

void TaskPool::Finish(std::size_t identity) {
  bool last = false;
  {
    std::lock_guard<std::mutex> lock(mutex);
    openBounds[identity] = Infinity();
    last = --busy == 0 && queue.empty();
  }
  if (last) {
    changed.notify_all();
  }
}

void TaskPool::Abandon() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    abandoned = true;
  }
  changed.notify_all();
}

double TaskPool::OpenBound() {
  std::lock_guard<std::mutex> lock(mutex);
  double least = Infinity();
  for (const double bound : openBounds) {
    least = std::min(least, bound);
  }
  return least;
}

}  // namespace Corvalle::BrickLink::BoundedSearch
