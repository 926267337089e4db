// The Lagrangian bound on a node: item prices that make the stores' lots cheap or dear.

#include "Source/Base/BrickLink/BoundedSearchWorker.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "Source/Base/BrickLink/BoundedSearchTuning.h"

namespace Corvalle::BrickLink::BoundedSearch {

using Tuning::kDeflection;

double Worker::StoreValue(const std::vector<double>& multipliers, std::uint32_t store,
                          std::uint32_t& leastItem) const {
  double value = 0.0;
  double least = Infinity();
  for (const Offer& offer : table.OffersOfStore(store)) {
    const double price = multipliers[offer.other];
    if (offer.price - price < least) {
      least = offer.price - price;
      leastItem = offer.other;
    }
    for (const Lot& lot : table.LotsOf(offer)) {
      if (!(lot.price < price)) {
        break;
      }
      value += static_cast<double>(lot.quantity) * (lot.price - price);
    }
  }
  // A chosen store that sells nothing below the item prices still sells a unit in every plan
  // below the node (else the node is cut): at least its lot nearest to its item's price.
  if (least >= 0.0 && required[store] == 0 && least != Infinity()) {
    return least;
  }
  leastItem = table.itemCount;
  return value;
}

void Worker::SiftCandidateOffers(Level& level) {
  ++stamp;
  for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
    marks[level.candidates[position]] = stamp;
  }
  const Level* parent = nullptr;
  if (level.madeFromParent && &level != levels.data() && (&level - 1)->offersSifted) {
    parent = &level - 1;
  }
  std::vector<Offer>& sifted = level.candidateOffers;
  sifted.clear();
  // Once per level at most as many as its source holds: no growing while the tree is walked.
  sifted.reserve(parent == nullptr ? table.OfferCount() : parent->candidateOffers.size());
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    level.candidateOfferBegin[item] = static_cast<std::uint32_t>(sifted.size());
    const std::span<const Offer> offers =
        parent == nullptr
            ? table.OffersOfItem(item)
            : std::span<const Offer>(
                  parent->candidateOffers.data() + parent->candidateOfferBegin[item],
                  parent->candidateOffers.data() + parent->candidateOfferBegin[item + 1]);
    for (const Offer& offer : offers) {
      if (marks[offer.other] == stamp) {
        sifted.push_back(offer);
      }
    }
  }
  level.candidateOfferBegin[table.itemCount] = static_cast<std::uint32_t>(sifted.size());
  level.offersSifted = true;
}

double Worker::LagrangianBound(Level& level, std::uint32_t r, int iterations,
                               double& selectedWorst) {
  std::vector<double>& u = level.multipliers;
  double best = -Infinity();
  double step = 1.0;
  int sinceImprovement = 0;
  SiftCandidateOffers(level);
  for (int iteration = 0; iteration < iterations; ++iteration) {
    double bound = 0.0;
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      bound += u[item] * static_cast<double>(table.wanted[item]);
    }
    chosenUnits.clear();
    for (const std::uint32_t store : level.chosen) {
      std::uint32_t leastItem = table.itemCount;
      bound += StoreValue(u, store, leastItem) + shipping[store];
      if (leastItem != table.itemCount) {
        chosenUnits.push_back(leastItem);
      }
    }
    // Only offers below the item price count, and the items' offers come cheapest first: the
    // candidates' values are gathered from the head of each item's offers. This is the
    // search's hottest loop, so it reads the marks through a local pointer as well.
    StoreSums sums = BeginStoreSums();
    const Offer* const candidateOffers = level.candidateOffers.data();
    const std::uint32_t* const offerBegin = level.candidateOfferBegin.data();
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      const double price = u[item];
      for (const Offer* offer = candidateOffers + offerBegin[item];
           offer != candidateOffers + offerBegin[item + 1]; ++offer) {
        if (!(offer->price < price)) {
          break;
        }
        const std::uint32_t store = offer->other;
        // Most offers are one lot, which the offer itself describes: the lots are not read.
        double value = 0.0;
        if (offer->lotCount == 1) {
          value = static_cast<double>(offer->quantity) * (offer->price - price);
        } else {
          for (const Lot& lot : table.LotsOf(*offer)) {
            if (!(lot.price < price)) {
              break;
            }
            value += static_cast<double>(lot.quantity) * (lot.price - price);
          }
        }
        sums.Add(store, value);
      }
    }
    EndStoreSums(sums);
    if (shared.rules.ChargesShipping()) {
      for (std::uint32_t index = 0; index < touchedCount; ++index) {
        storeShares[touched[index]] += shipping[touched[index]];
      }
    }
    // The r most negative candidate values.
    const std::uint32_t selected = SelectTouched(
        r, [](double value) { return value < 0.0; },
        [](double value, double other) { return value < other; });
    const double base = bound;
    for (std::uint32_t index = 0; index < selected; ++index) {
      bound += selectedValues[index];
    }
    if (bound > best) {
      best = bound;
      level.base = base;
      sinceImprovement = 0;
      for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
        const std::uint32_t store = level.candidates[position];
        level.bestValues[position] =
            touchedAt[store] == touchStamp ? storeShares[store] : shipping[store];
      }
      std::copy(u.begin(), u.end(), bestMultipliers.begin());
      selectedWorst = selected == r ? selectedValues[r - 1] : 0.0;
    } else if (++sinceImprovement >= 5) {
      step /= 2.0;
      sinceImprovement = 0;
    }
    const double threshold = shared.plans.Threshold();
    if (Exceeds(best, threshold) || iteration + 1 == iterations) {
      break;
    }
    // The subgradient: wanted units less those that the chosen and selected stores would
    // supply below the item prices.
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      gradient[item] = static_cast<double>(table.wanted[item]);
    }
    const auto subtract = [&](std::uint32_t store) {
      for (const Offer& offer : table.OffersOfStore(store)) {
        for (const Lot& lot : table.LotsOf(offer)) {
          if (!(lot.price < u[offer.other])) {
            break;
          }
          gradient[offer.other] -= static_cast<double>(lot.quantity);
        }
      }
    };
    for (const std::uint32_t store : level.chosen) {
      subtract(store);
    }
    for (const std::uint32_t item : chosenUnits) {
      gradient[item] -= 1.0;
    }
    for (std::uint32_t index = 0; index < selected; ++index) {
      subtract(selectedPositions[index]);
    }
    // Where the subgradient turns against the last step's direction, part of that direction is
    // added back, so that the prices do not zigzag across a valley (a deflected subgradient).
    double beta = 0.0;
    if (iteration > 0) {
      double against = 0.0;
      double lastLength = 0.0;
      for (std::uint32_t item = 0; item < table.itemCount; ++item) {
        against += gradient[item] * direction[item] / scale[item];
        lastLength += direction[item] * direction[item] / scale[item];
      }
      beta = against < 0.0 && lastLength > 0.0 ? -kDeflection * against / lastLength : 0.0;
    }
    double norm = 0.0;
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      direction[item] = gradient[item] + beta * direction[item];
      norm += direction[item] * direction[item] / scale[item];
    }
    if (norm == 0.0) {
      break;  // the prices are optimal
    }
    const double target = std::isinf(threshold)
                              ? bound + std::max(1.0, std::abs(bound) * 0.05)
                              : threshold;
    const double length =
        step * std::max(target - bound, 1e-9 * std::max(1.0, std::abs(bound))) / norm;
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      u[item] = std::max(0.0, u[item] + length * direction[item] / scale[item]);
    }
  }
  std::copy(bestMultipliers.begin(), bestMultipliers.end(), u.begin());
  return best;
}

}  // namespace Corvalle::BrickLink::BoundedSearch
