#pragma once

// The combinations that one worker of the enumeration keeps. Internal to the validator.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "Source/Base/Assert.h"
#include "Source/Base/BrickLink/StoreCombination.h"

namespace Corvalle::BrickLink {

// The kept combinations of one enumeration worker: the cheapest, ordered by cost and then by
// the order in which they were offered (their visit).
//
// A 4-ary max-heap of 16-byte (ranking cost, visit) keys: a replacement walks about half as
// many levels as in a binary heap, each level's four children share one cache line, and ties
// (frequent: prices are in cents) are broken without leaving it. Where each entry's k indices
// and exact cost lie (its slot) moves along in a parallel array.
class CheapestCombinations {
 public:
  CheapestCombinations(std::uint32_t k_, std::size_t capacity_) : k(k_), capacity(capacity_) {
    CORVALLE_ASSERT(capacity >= 1);
  }

  // The cost above which a new combination would surely be dropped; infinite while there is
  // still room.
  double DropThreshold() const {
    if (keys.size() < capacity) {
      return std::numeric_limits<double>::infinity();
    }
    // The top of the most expensive kept cost's millionth, with room for the rounding of a sum.
    const double top = RankingCeiling(keys.front().cost);
    return top + std::abs(top) * 1e-12;
  }

  // The keep-the-cheapest rule, by ranking cost: below the capacity everything is kept; at or
  // above it, a cost equal to the most expensive kept one is kept as well, but only up to twice
  // the capacity in all, a cheaper one replaces the most expensive kept one (of equal ones, the one visited
  // last), and anything else is dropped. Ties need the bound: a plan plus any choice of stores
  // that buy nothing beside it ties with itself bit for bit, C(n - m, k - m) times.
  void Offer(double cost, const std::uint32_t* combination) {
    const double ranking = RankingCost(cost);
    if (keys.size() <= capacity - 1) {
      Insert(ranking, cost, combination);
      return;
    }
    const double topCost = keys.front().cost;
    if (topCost == ranking) {
      if (keys.size() - capacity < capacity) {
        Insert(ranking, cost, combination);
      }
    } else if (topCost > ranking) {
      // The most expensive entry gives its slot to the new one, which then sinks into place.
      std::copy_n(combination, k, indices.data() + static_cast<std::size_t>(slots.front()) * k);
      costs[slots.front()] = cost;
      SiftDown(Key{ranking, nextVisit++}, slots.front());
    }
  }

  // Takes every kept combination out as one block, ascending by cost, equal costs in visit
  // order (which is the lexicographic order of their columns when offered in that order).
  std::vector<StoreCombination> Drain() {
    std::vector<std::pair<Key, std::uint32_t>> entries;
    entries.reserve(keys.size());
    for (std::size_t position = 0; position < keys.size(); ++position) {
      entries.emplace_back(keys[position], slots[position]);
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& first, const auto& second) { return first.first < second.first; });
    std::vector<StoreCombination> block;
    block.reserve(entries.size());
    for (const auto& [key, slot] : entries) {
      const auto first = indices.begin() + static_cast<std::ptrdiff_t>(slot) * k;
      block.emplace_back(std::vector<std::uint32_t>(first, first + k), costs[slot]);
    }
    keys.clear();
    slots.clear();
    indices.clear();
    costs.clear();
    return block;
  }

 private:
  struct Key {
    double cost;  // ranking cost
    std::uint64_t visit;

    // Cheaper first; of equal costs, the one visited first.
    bool operator<(const Key& other) const {
      return cost < other.cost || (cost == other.cost && visit < other.visit);
    }
  };

  void Insert(double ranking, double cost, const std::uint32_t* combination) {
    CORVALLE_ASSERT(keys.size() < std::numeric_limits<std::uint32_t>::max());
    const auto slot = static_cast<std::uint32_t>(keys.size());
    indices.insert(indices.end(), combination, combination + k);
    costs.push_back(cost);
    keys.emplace_back();
    slots.emplace_back();
    SiftUp(keys.size() - 1, Key{ranking, nextVisit++}, slot);
  }

  // Places (key, slot) at position or above it.
  void SiftUp(std::size_t position, Key key, std::uint32_t slot) {
    while (position > 0) {
      const std::size_t parent = (position - 1) / kArity;
      if (!(keys[parent] < key)) {
        break;
      }
      keys[position] = keys[parent];
      slots[position] = slots[parent];
      position = parent;
    }
    keys[position] = key;
    slots[position] = slot;
  }

  // Places (key, slot) at the top or below it.
  void SiftDown(Key key, std::uint32_t slot) {
    const std::size_t size = keys.size();
    std::size_t position = 0;
    for (;;) {
      const std::size_t firstChild = kArity * position + 1;
      if (firstChild >= size) {
        break;
      }
      const std::size_t endChild = std::min(firstChild + kArity, size);
      std::size_t largest = firstChild;
      for (std::size_t child = firstChild + 1; child < endChild; ++child) {
        if (keys[largest] < keys[child]) {
          largest = child;
        }
      }
      if (!(key < keys[largest])) {
        break;
      }
      keys[position] = keys[largest];
      slots[position] = slots[largest];
      position = largest;
    }
    keys[position] = key;
    slots[position] = slot;
  }

  static constexpr std::size_t kArity = 4;

  std::uint32_t k;
  std::size_t capacity;
  std::uint64_t nextVisit = 0;
  std::vector<Key> keys;               // max-heap by (cost, visit)
  std::vector<std::uint32_t> slots;    // the slot of the entry at each heap position
  std::vector<std::uint32_t> indices;  // k per slot; slots are reused on replacement
  std::vector<double> costs;           // per slot
};

}  // namespace Corvalle::BrickLink
