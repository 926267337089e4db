// The Lagrangian bound on a node: item prices that make the stores' lots cheap or dear.

#include "Source/Base/BrickLink/BoundedSearchWorker.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <span>
#include <utility>
#include <vector>

#include "Source/Base/BrickLink/BoundedSearchTuning.h"

namespace Corvalle::BrickLink::BoundedSearch {

using Tuning::kDeflection;

double Worker::ChosenLeast(const std::vector<double>& multipliers, std::uint32_t store,
                           std::uint32_t& leastItem) const {
  double least = Infinity();
  for (const Offer& offer : table.OffersOfStore(store)) {
    if (offer.price - multipliers[offer.other] < least) {
      least = offer.price - multipliers[offer.other];
      leastItem = offer.other;
    }
  }
  // A chosen store that sells nothing below the item prices still sells a unit in every plan
  // below the node (else the node is cut): at least its lot nearest to its item's price.
  if (least >= 0.0 && required[store] == 0 && least != Infinity()) {
    return least;
  }
  leastItem = table.itemCount;
  return 0.0;
}

void Worker::TakeChosenUnits(const Level& level, const std::vector<double>& multipliers,
                             double& bound) {
  chosenUnits.clear();
  for (const std::uint32_t store : level.chosen) {
    std::uint32_t leastItem = table.itemCount;
    bound += ChosenLeast(multipliers, store, leastItem) + shipping[store];
    if (leastItem != table.itemCount) {
      chosenUnits.push_back(leastItem);
    }
  }
  // The chosen stores' lots below the item prices, cheapest first, up to the wanted quantity
  // together: no plan buys more. What they leave is each item's room; the units they take are
  // kept dearest first, for a candidate's cheaper lots to displace.
  takenUnits.clear();
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    const double price = multipliers[item];
    const ChosenCell* cells = CellsOf(level, item);
    const std::uint32_t wanted = table.wanted[item];
    std::uint32_t taken = 0;
    std::uint32_t used = 0;
    std::uint32_t last = 0;
    for (; used < level.cellCount[item] && cells[used].price < price && taken < wanted; ++used) {
      last = std::min(cells[used].quantity, wanted - taken);
      taken += last;
      bound += static_cast<double>(last) * (cells[used].price - price);
    }
    room[item] = wanted - taken;
    takenBegin[item] = static_cast<std::uint32_t>(takenUnits.size());
    for (std::uint32_t at = used; at-- > 0;) {
      takenUnits.push_back({cells[at].price, at + 1 == used ? last : cells[at].quantity});
    }
  }
  takenBegin[table.itemCount] = static_cast<std::uint32_t>(takenUnits.size());
}

double Worker::Marginal(std::uint32_t item, double price, std::span<const Lot> lots) const {
  // The candidate's lots below the price, cheapest first, fill the room; beyond it each unit
  // takes the place of the dearest unit taken from the chosen stores that costs more.
  std::uint32_t left = room[item];
  const TakenUnits* displaced = takenUnits.data() + takenBegin[item];
  const TakenUnits* const end = takenUnits.data() + takenBegin[item + 1];
  std::uint32_t displacedLeft = displaced != end ? displaced->units : 0;
  double value = 0.0;
  for (const Lot& lot : lots) {
    if (!(lot.price < price)) {
      break;
    }
    std::uint32_t units = lot.quantity;
    const std::uint32_t filling = std::min(units, left);
    value += static_cast<double>(filling) * (lot.price - price);
    left -= filling;
    units -= filling;
    while (units > 0 && displaced != end && displaced->price > lot.price) {
      const std::uint32_t moved = std::min(units, displacedLeft);
      value += static_cast<double>(moved) * (lot.price - displaced->price);
      units -= moved;
      displacedLeft -= moved;
      if (displacedLeft == 0 && ++displaced != end) {
        displacedLeft = displaced->units;
      }
    }
    if (units > 0) {
      break;  // the later lots are dearer still: nothing more for them to displace
    }
  }
  return value;
}

void Worker::SiftCandidateOffers(Level& level) {
  if (level.offersSifted) {
    return;  // a second bound at the same node, on the same candidates
  }
  const std::span<const std::uint32_t> candidates(level.candidates.data(), level.candidateCount);
  const Level* parent = nullptr;
  if (level.madeFromParent && &level != levels.data() && (&level - 1)->offersSifted) {
    parent = &level - 1;
    MapSiftedPositions(*parent, candidates);
  } else {
    MarkPositions(candidates);
  }
  std::vector<SiftedOffer>& sifted = level.candidateOffers;
  sifted.clear();
  // Once per level at most as many as its source holds: no growing while the tree is walked.
  sifted.reserve(parent == nullptr ? table.OfferCount() : parent->candidateOffers.size());
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    level.candidateOfferBegin[item] = static_cast<std::uint32_t>(sifted.size());
    if (parent == nullptr) {
      for (const Offer& offer : table.OffersOfItem(item)) {
        if (marks[offer.other] == stamp) {
          const std::uint32_t position = siftPosition[offer.other];
          sifted.push_back(offer.lotCount == 1
                               ? SiftedOffer{offer.price, position, offer.quantity}
                               : SiftedOffer{offer.price, position | kSeveralLots,
                                             table.ItemOfferIndex(offer)});
        }
      }
      continue;
    }
    const SiftedOffer* const begin =
        parent->candidateOffers.data() + parent->candidateOfferBegin[item];
    const SiftedOffer* const end =
        parent->candidateOffers.data() + parent->candidateOfferBegin[item + 1];
    for (const SiftedOffer* offer = begin; offer != end; ++offer) {
      const std::uint32_t position = fromParent[offer->position & ~kSeveralLots];
      if (position != kNoStore) {
        sifted.push_back({offer->price, position | (offer->position & kSeveralLots), offer->units});
      }
    }
  }
  level.candidateOfferBegin[table.itemCount] = static_cast<std::uint32_t>(sifted.size());
  KeepSiftedCandidates(level);
}

void Worker::ThinSiftedOffers(Level& level, std::span<const std::uint32_t> stores) {
  MapSiftedPositions(level, stores);
  // In place: an offer is only ever moved to an earlier place, and each item's range is read
  // before it is written.
  SiftedOffer* const offers = level.candidateOffers.data();
  std::uint32_t kept = 0;
  std::uint32_t begin = level.candidateOfferBegin[0];
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    const std::uint32_t end = level.candidateOfferBegin[item + 1];
    level.candidateOfferBegin[item] = kept;
    for (std::uint32_t at = begin; at < end; ++at) {
      const SiftedOffer offer = offers[at];
      const std::uint32_t position = fromParent[offer.position & ~kSeveralLots];
      if (position != kNoStore) {
        offers[kept++] = {offer.price, position | (offer.position & kSeveralLots), offer.units};
      }
    }
    begin = end;
  }
  level.candidateOfferBegin[table.itemCount] = kept;
  level.candidateOffers.resize(kept);
  level.siftedStores.assign(stores.begin(), stores.end());
}

void Worker::MarkPositions(std::span<const std::uint32_t> stores) {
  ++stamp;
  for (std::uint32_t position = 0; position < stores.size(); ++position) {
    marks[stores[position]] = stamp;
    siftPosition[stores[position]] = position;
  }
}

void Worker::MapSiftedPositions(const Level& source, std::span<const std::uint32_t> stores) {
  MarkPositions(stores);
  fromParent.resize(source.siftedStores.size());
  for (std::uint32_t position = 0; position < fromParent.size(); ++position) {
    const std::uint32_t store = source.siftedStores[position];
    fromParent[position] = marks[store] == stamp ? siftPosition[store] : kNoStore;
  }
}

void Worker::KeepSiftedCandidates(Level& level) const {
  const std::uint32_t count = level.candidateCount;
  level.siftedStores.assign(level.candidates.begin(), level.candidates.begin() + count);
  level.siftedShipping.resize(count);
  for (std::uint32_t position = 0; position < count; ++position) {
    level.siftedShipping[position] = shipping[level.candidates[position]];
  }
  level.offersSifted = true;
}

double Worker::LagrangianBound(Level& level, std::uint32_t r, int iterations, double firstStep,
                               double& selectedWorst) {
  std::vector<double>& u = level.multipliers;
  double best = -Infinity();
  double step = firstStep;
  int sinceImprovement = 0;
  SiftCandidateOffers(level);
  for (int iteration = 0; iteration < iterations; ++iteration) {
    double bound = 0.0;
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      bound += u[item] * static_cast<double>(table.wanted[item]);
    }
    TakeChosenUnits(level, u, bound);
    // Only offers below the item price count, and the items' offers come cheapest first: the
    // candidates' values are gathered from the head of each item's sifted offers.
    // Every candidate starts from its shipping, which it costs whatever it buys.
    double* const values = positionValues.data();
    const auto sifted = static_cast<std::uint32_t>(level.siftedStores.size());
    std::copy_n(level.siftedShipping.begin(), sifted, values);
    const SiftedOffer* const candidateOffers = level.candidateOffers.data();
    const std::uint32_t* const offerBegin = level.candidateOfferBegin.data();
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      const double price = u[item];
      const std::uint32_t free = room[item];
      // A lot's units fill the room the chosen stores leave first; beyond, each takes the place
      // of the dearest unit they take that costs more. Their units taken count as two parts,
      // the dearest lot's and all others at the next price (exact where they take two lots at
      // most, saving a little more where they take more), so that the item's offers, cheapest
      // first, fall into three runs: below both prices, below the dearest, and the rest.
      const TakenUnits* const taken = takenUnits.data() + takenBegin[item];
      const TakenUnits* const takenEnd = takenUnits.data() + takenBegin[item + 1];
      const double dearest = taken != takenEnd ? taken->price : -Infinity();
      const double next = taken + 1 < takenEnd ? taken[1].price : -Infinity();
      const std::uint32_t dearestUnits = taken != takenEnd ? taken->units : 0;
      const std::uint32_t otherUnits = table.wanted[item] - free - dearestUnits;
      // Where the chosen stores fill the wanted quantity, only lots below their dearest unit
      // add anything.
      const double cutoff = free == 0 ? std::min(price, dearest) : price;
      const SiftedOffer* offer = candidateOffers + offerBegin[item];
      const SiftedOffer* const end = candidateOffers + offerBegin[item + 1];
      // Offers of several lots are worked out in full; most offers are one lot, which the
      // sifted offer itself describes, so that the lots are not read.
      const auto run = [&](double below, auto oneLot) {
        for (; offer != end && offer->price < below; ++offer) {
          if ((offer->position & kSeveralLots) != 0) {
            values[offer->position & ~kSeveralLots] +=
                Marginal(item, price, table.LotsOf(table.ItemOfferAt(offer->units)));
          } else {
            values[offer->position] += oneLot(*offer);
          }
        }
      };
      run(std::min(next, cutoff), [&](const SiftedOffer& one) {
        const std::uint32_t filling = std::min(one.units, free);
        const std::uint32_t beyond = one.units - filling;
        const std::uint32_t first = std::min(beyond, dearestUnits);
        return static_cast<double>(filling) * (one.price - price) +
               static_cast<double>(first) * (one.price - dearest) +
               static_cast<double>(std::min(beyond - first, otherUnits)) * (one.price - next);
      });
      run(std::min(dearest, cutoff), [&](const SiftedOffer& one) {
        const std::uint32_t filling = std::min(one.units, free);
        return static_cast<double>(filling) * (one.price - price) +
               static_cast<double>(std::min(one.units - filling, dearestUnits)) *
                   (one.price - dearest);
      });
      // The search's hottest run.
      run(cutoff, [&](const SiftedOffer& one) {
        return static_cast<double>(std::min(one.units, free)) * (one.price - price);
      });
    }
    // The r most negative candidate values.
    const std::uint32_t selected = SelectBest(
        sifted,
        [&](std::uint32_t position) {
          return std::pair{level.siftedStores[position], values[position]};
        },
        r, [](double value) { return value < 0.0; },
        [](double value, double other) { return value < other; });
    const double base = bound;
    for (std::uint32_t index = 0; index < selected; ++index) {
      bound += selectedValues[index];
    }
    const double worst = selected == r ? selectedValues[r - 1] : 0.0;
    if (bound > best) {
      best = bound;
      level.base = base;
      sinceImprovement = 0;
      // The candidates are those sifted for until the node has its bound.
      std::copy_n(values, sifted, level.bestValues.begin());
      std::copy(u.begin(), u.end(), bestMultipliers.begin());
      selectedWorst = worst;
    } else if (++sinceImprovement >= 5) {
      step /= 2.0;
      sinceImprovement = 0;
    }
    const double threshold = shared.plans.Threshold();
    if (Exceeds(best, threshold) || iteration + 1 == iterations) {
      break;
    }
    // The subgradient: the room the chosen stores leave, less the units that the selected
    // stores would put in it below the item prices.
    for (std::uint32_t item = 0; item < table.itemCount; ++item) {
      gradient[item] = static_cast<double>(room[item]);
    }
    for (const std::uint32_t item : chosenUnits) {
      gradient[item] -= 1.0;
    }
    for (std::uint32_t index = 0; index < selected; ++index) {
      for (const Offer& offer : table.OffersOfStore(selectedPositions[index])) {
        std::uint32_t below = 0;
        for (const Lot& lot : table.LotsOf(offer)) {
          if (!(lot.price < u[offer.other])) {
            break;
          }
          below += lot.quantity;
        }
        gradient[offer.other] -= static_cast<double>(std::min(below, room[offer.other]));
      }
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
