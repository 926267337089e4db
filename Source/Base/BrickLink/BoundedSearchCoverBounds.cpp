// The bounds that ask which stores can still supply the missing items, and the candidates
// that would leave a chosen store idle.

#include "Source/Base/BrickLink/BoundedSearchWorker.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

#include "Source/Base/BrickLink/BoundedSearchTuning.h"

namespace Corvalle::BrickLink::BoundedSearch {

using Tuning::kCoverVisits;

void Worker::MarkIdlingCandidates(Level& level) {
  ++stamp;
  const std::uint32_t candidateStamp = stamp;
  for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
    marks[level.candidates[position]] = candidateStamp;
  }
  ++stamp;  // idling candidates get this one
  for (const std::uint32_t chosen : level.chosen) {
    if (required[chosen] != 0) {
      continue;
    }
    // A store buys an item as long as fewer units than wanted come before its cheapest lot.
    // The items it buys, with the units before it there now.
    buyingOffers.clear();
    for (const Offer& offer : table.OffersOfStore(chosen)) {
      const ChosenCell* cells = CellsOf(level, offer.other);
      std::uint64_t ahead = 0;
      for (std::uint32_t position = 0; cells[position].store != chosen; ++position) {
        ahead += cells[position].quantity;
      }
      if (ahead < table.wanted[offer.other]) {
        buyingOffers.push_back({&offer, static_cast<std::uint32_t>(ahead)});
      }
    }
    if (buyingOffers.empty()) {
      continue;
    }
    // Only a candidate with a lot before the store's in each of those items can idle it; the
    // items' offers come in the order of their cheapest lots, so the item with the fewest offers
    // before the store's is read (none when the store sells one of its items cheapest).
    const Offer* rarest = nullptr;
    std::size_t fewest = std::numeric_limits<std::size_t>::max();
    for (const BuyingOffer& own : buyingOffers) {
      const std::span<const Offer> offers = table.OffersOfItem(own.offer->other);
      const auto before = static_cast<std::size_t>(
          std::partition_point(offers.begin(), offers.end(),
                               [&](const Offer& offer) {
                                 return Before(offer.price, offer.other, own.offer->price, chosen);
                               }) -
          offers.begin());
      if (before < fewest) {
        fewest = before;
        rarest = own.offer;
      }
    }
    const Offer& first = *rarest;
    for (const Offer& offer : table.OffersOfItem(first.other).first(fewest)) {
      const std::uint32_t candidate = offer.other;
      if (marks[candidate] != candidateStamp) {
        continue;
      }
      bool idles = true;
      for (const BuyingOffer& own : buyingOffers) {
        const Offer* extra = own.offer == &first ? &offer : FindOffer(candidate, own.offer->other);
        if (extra == nullptr ||
            own.ahead + static_cast<std::uint64_t>(UnitsBefore(*extra, candidate, own.offer->price, chosen)) <
                table.wanted[own.offer->other]) {
          idles = false;
          break;
        }
      }
      if (idles) {
        marks[candidate] = stamp;
      }
    }
  }
}

bool Worker::Coverable(Level& level, std::uint32_t r) {
  ++stamp;
  for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
    marks[level.candidates[position]] = stamp;
  }
  std::uint32_t fewest = std::numeric_limits<std::uint32_t>::max();
  std::uint32_t largest[kMaximumStores];
  needsSeveral = false;
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    if (level.missing[item] == 0) {
      continue;
    }
    std::uint32_t count = 0;
    std::uint32_t held = 0;
    for (const Offer& offer : table.OffersOfItem(item)) {
      if (marks[offer.other] != stamp) {
        continue;
      }
      ++count;
      // The r largest quantities, sorted descending.
      if (held < r || offer.quantity > largest[held - 1]) {
        std::uint32_t at = held < r ? held++ : r - 1;
        while (at > 0 && offer.quantity > largest[at - 1]) {
          largest[at] = largest[at - 1];
          --at;
        }
        largest[at] = offer.quantity;
      }
    }
    std::uint64_t most = 0;
    for (std::uint32_t index = 0; index < held; ++index) {
      most += largest[index];
    }
    if (most < level.missing[item]) {
      return false;
    }
    needsSeveral = needsSeveral || (held > 0 && largest[0] < level.missing[item]);
    if (count < fewest) {
      fewest = count;
      branchItem = item;
    }
  }
  return true;
}

bool Worker::Completable(const Level& level, std::uint32_t r) {
  missingList.clear();
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    if (level.missing[item] != 0) {
      missingList.push_back(item);
    }
  }
  const auto items = static_cast<std::uint32_t>(missingList.size());
  const std::uint32_t count = level.candidateCount;
  completeWords = (count + 63) / 64;
  ++stamp;
  for (std::uint32_t position = 0; position < count; ++position) {
    marks[level.candidates[position]] = stamp;
    positionOf[level.candidates[position]] = position;
  }
  completeOfferBegin.assign(items + 1, 0);
  completeOfferers.clear();
  completeBits.assign(std::size_t{items} * completeWords, 0);
  completeUnits.assign(std::size_t{count} * items, 0);
  completeLargest.assign(std::size_t{items} * (kMaximumStores + 1), 0);
  completeMasks.assign(count, 0);
  for (std::uint32_t index = 0; index < items; ++index) {
    const std::uint32_t item = missingList[index];
    std::uint64_t* bits = completeBits.data() + std::size_t{index} * completeWords;
    // The r largest quantities, largest first, from the second place on; then their sums.
    std::uint32_t* largest = completeLargest.data() + std::size_t{index} * (kMaximumStores + 1);
    for (const Offer& offer : table.OffersOfItem(item)) {
      if (marks[offer.other] != stamp) {
        continue;
      }
      const std::uint32_t position = positionOf[offer.other];
      completeOfferers.push_back(position);
      bits[position / 64] |= std::uint64_t{1} << (position % 64);
      if (items <= 64) {
        completeMasks[position] |= std::uint64_t{1} << index;
      }
      completeUnits[std::size_t{position} * items + index] = offer.quantity;
      if (offer.quantity > largest[r]) {
        std::uint32_t at = r;
        while (at > 1 && offer.quantity > largest[at - 1]) {
          largest[at] = largest[at - 1];
          --at;
        }
        largest[at] = offer.quantity;
      }
    }
    for (std::uint32_t at = 1; at <= r; ++at) {
      largest[at] += largest[at - 1];
    }
    completeOfferBegin[index + 1] = static_cast<std::uint32_t>(completeOfferers.size());
  }
  if (items <= 64) {
    // Positions by the number of missing items they offer, most first, so that the counting
    // below can stop at the first that offers too few of them in all.
    completeCounts.resize(count);
    std::uint32_t byCount[65] = {0};
    for (std::uint32_t position = 0; position < count; ++position) {
      completeCounts[position] = static_cast<std::uint32_t>(std::popcount(completeMasks[position]));
      ++byCount[completeCounts[position]];
    }
    std::uint32_t start = 0;
    for (std::uint32_t offered = 64; offered != std::numeric_limits<std::uint32_t>::max();
         --offered) {
      const std::uint32_t positions = byCount[offered];
      byCount[offered] = start;
      start += positions;
    }
    completeByCount.resize(count);
    for (std::uint32_t position = 0; position < count; ++position) {
      completeByCount[byCount[completeCounts[position]]++] = position;
    }
  }
  completeResidual.resize(std::size_t{r + 1} * items);
  completeShort.resize(std::size_t{r + 1} * items);
  completeShortCount[0] = items;
  std::uint32_t rarest = items;
  std::uint32_t fewest = std::numeric_limits<std::uint32_t>::max();
  for (std::uint32_t index = 0; index < items; ++index) {
    const std::uint32_t missing = level.missing[missingList[index]];
    completeResidual[index] = missing;
    completeShort[index] = index;
    if (completeLargest[std::size_t{index} * (kMaximumStores + 1) + r] < missing) {
      return false;  // the r largest lots of the item's offerers are not enough
    }
    const std::uint32_t offering = completeOfferBegin[index + 1] - completeOfferBegin[index];
    if (offering < fewest) {
      fewest = offering;
      rarest = index;
    }
  }
  // The items short, those with the fewest offerers first: the intersections of their offerers
  // that find the last store of a completing set then empty soonest.
  std::sort(completeShort.begin(), completeShort.begin() + items,
            [&](std::uint32_t first, std::uint32_t second) {
              return completeOfferBegin[first + 1] - completeOfferBegin[first] <
                     completeOfferBegin[second + 1] - completeOfferBegin[second];
            });
  completeExcluded.assign(completeWords, 0);
  completeRarest = rarest;
  return rarest == items || CompletableFrom(0, r, rarest);
}

bool Worker::CompletableFrom(std::uint32_t slot, std::uint32_t slots, std::uint32_t rarest) {
  const auto items = static_cast<std::uint32_t>(missingList.size());
  // The items still short, by index; the residual of the others is not kept up.
  const std::uint32_t* shortItems = completeShort.data() + std::size_t{slot} * items;
  const std::uint32_t shortCount = completeShortCount[slot];
  if (slots == 1) {
    // One store must finish every item still short: it offers them all, with enough units.
    if (!OfferAllShort(slot, rarest)) {
      return false;
    }
    for (std::uint32_t word = 0; word < completeWords; ++word) {
      for (std::uint64_t bits = completeAcceptable[word]; bits != 0; bits &= bits - 1) {
        if (FinishesAlone(word * 64 + static_cast<std::uint32_t>(std::countr_zero(bits)), slot)) {
          return true;
        }
      }
    }
    return false;
  }
  // With few items short, count them: the stores that offer most of them must together offer
  // them all, and a store leaving more than the others can offer is in no completing set.
  std::uint32_t othersMost = items;
  std::uint64_t shortMask = 0;
  if (items <= 64) {
    for (std::uint32_t at = 0; at < shortCount; ++at) {
      shortMask |= std::uint64_t{1} << shortItems[at];
    }
    std::uint32_t most[kMaximumStores] = {0};
    for (const std::uint32_t position : completeByCount) {
      if (completeCounts[position] <= most[slots - 1]) {
        break;  // neither it nor any later one offers more of them
      }
      const auto offered =
          static_cast<std::uint32_t>(std::popcount(completeMasks[position] & shortMask));
      if (offered > most[slots - 1] &&
          (completeExcluded[position / 64] >> (position % 64) & 1) == 0) {
        std::uint32_t at = slots - 1;
        while (at > 0 && offered > most[at - 1]) {
          most[at] = most[at - 1];
          --at;
        }
        most[at] = offered;
      }
    }
    othersMost = 0;
    for (std::uint32_t at = 0; at + 1 < slots; ++at) {
      othersMost += most[at];
    }
    if (othersMost + most[slots - 1] < static_cast<std::uint32_t>(std::popcount(shortMask))) {
      return false;
    }
  }
  // Each offerer of the rarest item in turn; the sets holding an earlier one were tried with it,
  // so it is excluded from the later ones.
  bool found = false;
  std::uint32_t tried = completeOfferBegin[rarest];
  for (; tried < completeOfferBegin[rarest + 1] && !found; ++tried) {
    const std::uint32_t position = completeOfferers[tried];
    if ((completeExcluded[position / 64] >> (position % 64) & 1) != 0 ||
        (items <= 64 && static_cast<std::uint32_t>(
                            std::popcount(shortMask & ~completeMasks[position])) > othersMost)) {
      continue;
    }
    completeExcluded[position / 64] |= std::uint64_t{1} << (position % 64);
    std::uint32_t nextRarest = items;
    found = ShortAfter(position, slot, slots, nextRarest) &&
            (nextRarest == items || CompletableFrom(slot + 1, slots - 1, nextRarest));
  }
  // Exclusions made here hold only for the sets below this level's choice.
  for (std::uint32_t at = completeOfferBegin[rarest]; at < tried; ++at) {
    const std::uint32_t position = completeOfferers[at];
    completeExcluded[position / 64] &= ~(std::uint64_t{1} << (position % 64));
  }
  return found;
}

void Worker::KeepCompletingPairs(Level& level) {
  const auto items = static_cast<std::uint32_t>(missingList.size());
  const std::uint32_t rarest = completeRarest;
  ++stamp;  // the candidates of some completing pair get it
  std::fill_n(completeExcluded.begin(), completeWords, 0);
  for (std::uint32_t tried = completeOfferBegin[rarest]; tried < completeOfferBegin[rarest + 1];
       ++tried) {
    const std::uint32_t first = completeOfferers[tried];
    completeExcluded[first / 64] |= std::uint64_t{1} << (first % 64);
    std::uint32_t nextRarest = items;
    if (!ShortAfter(first, 0, 2, nextRarest)) {
      continue;
    }
    if (nextRarest == items) {
      return;  // it completes alone: with it, any other candidate makes a plan
    }
    if (!OfferAllShort(1, nextRarest)) {
      continue;
    }
    for (std::uint32_t word = 0; word < completeWords; ++word) {
      for (std::uint64_t bits = completeAcceptable[word]; bits != 0; bits &= bits - 1) {
        const std::uint32_t second = word * 64 + static_cast<std::uint32_t>(std::countr_zero(bits));
        if (FinishesAlone(second, 1)) {
          marks[level.candidates[first]] = stamp;
          marks[level.candidates[second]] = stamp;
        }
      }
    }
  }
  std::uint32_t kept = 0;
  for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
    if (marks[level.candidates[position]] == stamp) {
      level.candidates[kept] = level.candidates[position];
      level.savings[kept] = level.savings[position];
      ++kept;
    }
  }
  level.candidateCount = kept;
}

bool Worker::ShortAfter(std::uint32_t position, std::uint32_t slot, std::uint32_t slots,
                        std::uint32_t& nextRarest) {
  const auto items = static_cast<std::uint32_t>(missingList.size());
  const std::uint32_t* residual = completeResidual.data() + std::size_t{slot} * items;
  const std::uint32_t* shortItems = completeShort.data() + std::size_t{slot} * items;
  const std::uint32_t shortCount = completeShortCount[slot];
  std::uint32_t* next = completeResidual.data() + std::size_t{slot + 1} * items;
  std::uint32_t* nextShort = completeShort.data() + std::size_t{slot + 1} * items;
  const std::uint32_t* const offerBegin = completeOfferBegin.data();
  const std::uint32_t* const largestSums = completeLargest.data() + (slots - 1);
  const std::uint32_t* units = completeUnits.data() + std::size_t{position} * items;
  std::uint32_t fewest = std::numeric_limits<std::uint32_t>::max();
  std::uint32_t nextCount = 0;
  nextRarest = items;
  for (std::uint32_t at = 0; at < shortCount; ++at) {
    const std::uint32_t index = shortItems[at];
    if (units[index] >= residual[index]) {
      continue;
    }
    const std::uint32_t left = residual[index] - units[index];
    if (largestSums[std::size_t{index} * (kMaximumStores + 1)] < left) {
      return false;
    }
    next[index] = left;
    nextShort[nextCount++] = index;
    const std::uint32_t offering = offerBegin[index + 1] - offerBegin[index];
    if (offering < fewest) {
      fewest = offering;
      nextRarest = index;
    }
  }
  completeShortCount[slot + 1] = nextCount;
  return true;
}

bool Worker::OfferAllShort(std::uint32_t slot, std::uint32_t first) {
  const auto items = static_cast<std::uint32_t>(missingList.size());
  const std::uint32_t* shortItems = completeShort.data() + std::size_t{slot} * items;
  const std::uint32_t shortCount = completeShortCount[slot];
  const std::uint64_t* firstBits = completeBits.data() + std::size_t{first} * completeWords;
  std::uint64_t any = 0;
  for (std::uint32_t word = 0; word < completeWords; ++word) {
    std::uint64_t bits = firstBits[word] & ~completeExcluded[word];
    for (std::uint32_t at = 0; at < shortCount && bits != 0; ++at) {
      bits &= completeBits[std::size_t{shortItems[at]} * completeWords + word];
    }
    completeAcceptable[word] = bits;
    any |= bits;
  }
  return any != 0;
}

bool Worker::FinishesAlone(std::uint32_t position, std::uint32_t slot) const {
  const auto items = static_cast<std::uint32_t>(missingList.size());
  const std::uint32_t* residual = completeResidual.data() + std::size_t{slot} * items;
  const std::uint32_t* shortItems = completeShort.data() + std::size_t{slot} * items;
  const std::uint32_t* units = completeUnits.data() + std::size_t{position} * items;
  for (std::uint32_t at = 0; at < completeShortCount[slot]; ++at) {
    if (units[shortItems[at]] < residual[shortItems[at]]) {
      return false;
    }
  }
  return true;
}

bool Worker::FractionallyCoverable(Level& level, std::uint32_t r, int iterations) {
  std::vector<double>& weights = level.coverWeights;
  missingList.clear();
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    if (level.missing[item] != 0) {
      missingList.push_back(item);
      shares[item] = 1.0 / level.missing[item];
      weights[item] = std::max(weights[item], 1e-6);
    }
  }
  // Only the candidates offering a missing item count, found through the items' offers.
  ++stamp;
  for (std::uint32_t position = 0; position < level.candidateCount; ++position) {
    marks[level.candidates[position]] = stamp;
  }
  for (int iteration = 0; iteration < iterations; ++iteration) {
    double total = 0.0;
    StoreSums sums = BeginStoreSums();
    for (const std::uint32_t item : missingList) {
      total += weights[item];
      for (const Offer& offer : table.OffersOfItem(item)) {
        if (marks[offer.other] != stamp) {
          continue;
        }
        sums.Add(offer.other,
                 weights[item] * std::min(1.0, static_cast<double>(offer.quantity) * shares[item]));
      }
    }
    EndStoreSums(sums);
    // The r largest weighted shares.
    const std::uint32_t selected = SelectTouched(
        r, [](double) { return true; }, [](double value, double other) { return value > other; });
    double most = 0.0;
    for (std::uint32_t index = 0; index < selected; ++index) {
      most += selectedValues[index];
    }
    if (most < total * (1.0 - kRelativeTolerance)) {
      return false;
    }
    if (iteration + 1 == iterations) {
      break;
    }
    // Weigh up the items that the best r leave short, down the ones they cover over.
    for (const std::uint32_t item : missingList) {
      gradient[item] = 0.0;
    }
    for (std::uint32_t index = 0; index < selected; ++index) {
      for (const Offer& offer : table.OffersOfStore(selectedPositions[index])) {
        if (level.missing[offer.other] != 0) {
          gradient[offer.other] +=
              std::min(1.0, static_cast<double>(offer.quantity) * shares[offer.other]);
        }
      }
    }
    double sum = 0.0;
    for (const std::uint32_t item : missingList) {
      weights[item] *= std::exp(0.7 * (1.0 - std::min(gradient[item], 2.0)));
      sum += weights[item];
    }
    for (const std::uint32_t item : missingList) {
      weights[item] *= static_cast<double>(missingList.size()) / sum;
    }
  }
  return true;
}

void Worker::ChildBounds(Level& level, std::uint32_t r) {
  const std::uint32_t count = level.candidateCount;
  // Candidates by value, most negative first, and where each store stands.
  for (std::uint32_t position = 0; position < count; ++position) {
    level.byValue[position] = position;
    positionOf[level.candidates[position]] = position;
  }
  std::sort(level.byValue.begin(), level.byValue.begin() + count,
            [&](std::uint32_t first, std::uint32_t second) {
              return level.bestValues[first] < level.bestValues[second];
            });
  // The two best values among the candidates offering each missing item.
  missingList.clear();
  ++stamp;
  for (std::uint32_t position = 0; position < count; ++position) {
    marks[level.candidates[position]] = stamp;
  }
  for (std::uint32_t item = 0; item < table.itemCount; ++item) {
    if (level.missing[item] == 0) {
      continue;
    }
    missingList.push_back(item);
    BestOfferers& best = offerers[item];
    best = {Infinity(), Infinity(), count};
    for (const Offer& offer : table.OffersOfItem(item)) {
      if (marks[offer.other] != stamp) {
        continue;
      }
      const std::uint32_t position = positionOf[offer.other];
      const double value = level.bestValues[position];
      if (value < best.first) {
        best.second = best.first;
        best.first = value;
        best.firstPosition = position;
      } else if (value < best.second) {
        best.second = value;
      }
    }
  }
  // Not at the root: there the search cut no child on any family of worlds (the same nodes at
  // every k measured), and it took 40 of the 58 ms that one worker spends alone at uniform k = 5
  // before the others start.
  const bool root = level.chosen.size() == shared.rules.required.size();
  const bool searchCovers = r >= 3 && !root && !missingList.empty() && missingList.size() <= 64;
  if (r == 2 || searchCovers) {
    // Per candidate, the missing items it offers, as bits.
    maskWords = static_cast<std::uint32_t>((missingList.size() + 63) / 64);
    offeredMasks.assign(std::size_t{count} * maskWords, 0);
    neededMask.assign(maskWords, 0);
    const auto items = static_cast<std::uint32_t>(missingList.size());
    if (searchCovers) {
      fullMasks.assign(count, 0);
    }
    for (std::uint32_t index = 0; index < items; ++index) {
      const std::uint32_t item = missingList[index];
      missingIndex[item] = index;
      for (const Offer& offer : table.OffersOfItem(item)) {
        if (marks[offer.other] == stamp) {
          const std::uint32_t position = positionOf[offer.other];
          offeredMasks[std::size_t{position} * maskWords + index / 64] |=
              std::uint64_t{1} << (index % 64);
          if (searchCovers && offer.quantity >= level.missing[item]) {
            fullMasks[position] |= std::uint64_t{1} << index;
          }
        }
      }
    }
  }
  if (searchCovers) {
    PrepareCoverSearch(level);
  }
  // Sums of the most negative values but one candidate's: of the best m, or of the best m + 1
  // when the candidate is among them.
  double prefix[kMaximumStores + 2] = {0.0};
  const std::uint32_t depthOfPrefix = std::min(r, count);
  for (std::uint32_t index = 0; index < depthOfPrefix; ++index) {
    prefix[index + 1] = prefix[index] + std::min(0.0, level.bestValues[level.byValue[index]]);
  }
  const auto othersBest = [&](std::uint32_t m, std::uint32_t position) {
    double sum = prefix[std::min(m, depthOfPrefix)];
    for (std::uint32_t index = 0; index < std::min(m, depthOfPrefix); ++index) {
      if (level.byValue[index] == position) {
        sum -= std::min(0.0, level.bestValues[position]);
        if (m < depthOfPrefix) {
          sum += std::min(0.0, level.bestValues[level.byValue[m]]);
        }
        break;
      }
    }
    return sum;
  };
  const double threshold = shared.plans.Threshold();
  for (std::uint32_t position = 0; position < count; ++position) {
    const std::uint32_t store = level.candidates[position];
    double bound = level.base + level.bestValues[position];
    // What is still missing with the candidate: every completion must offer it.
    ++broughtStamp;
    for (const Offer& offer : table.OffersOfStore(store)) {
      broughtAt[offer.other] = broughtStamp;
      brought[offer.other] = offer.quantity;
    }
    needs.clear();
    for (const std::uint32_t item : missingList) {
      const std::uint32_t units = broughtAt[item] == broughtStamp ? brought[item] : 0;
      if (units < level.missing[item]) {
        needs.push_back({item, level.missing[item] - units});
      }
    }
    if (needs.empty()) {
      level.childBounds[position] = bound + othersBest(r - 1, position);
      continue;
    }
    // Some store of the others must offer each item still missing.
    double others = othersBest(r - 1, position);
    const double withoutOne = othersBest(r - 2, position);
    for (const Need& need : needs) {
      const BestOfferers& best = offerers[need.item];
      const double offerer = best.firstPosition == position ? best.second : best.first;
      others = std::max(others, offerer + withoutOne);
    }
    if (r == 2) {
      // One more store must complete the rest alone: the best by value of those that offer
      // every item still missing and can complete it.
      std::uint64_t* needed = neededMask.data();
      std::fill_n(needed, maskWords, 0);
      for (const Need& need : needs) {
        needed[missingIndex[need.item] / 64] |= std::uint64_t{1} << (missingIndex[need.item] % 64);
      }
      double completing = Infinity();
      for (std::uint32_t index = 0; index < count; ++index) {
        const std::uint32_t other = level.byValue[index];
        if (other == position) {
          continue;
        }
        if (Exceeds(bound + level.bestValues[other], threshold)) {
          completing = level.bestValues[other];
          break;
        }
        const std::uint64_t* offered = offeredMasks.data() + std::size_t{other} * maskWords;
        bool offersAll = true;
        for (std::uint32_t word = 0; word < maskWords; ++word) {
          if ((needed[word] & ~offered[word]) != 0) {
            offersAll = false;
            break;
          }
        }
        if (!offersAll) {
          continue;
        }
        bool completes = true;
        for (const Need& need : needs) {
          if (FindOffer(level.candidates[other], need.item)->quantity < need.units) {
            completes = false;
            break;
          }
        }
        if (completes) {
          completing = level.bestValues[other];
          break;
        }
      }
      others = std::max(others, completing);
    } else if (searchCovers && !Exceeds(bound + others, threshold) &&
               FindOffer(store, branchItem) != nullptr) {
      // Only for the children: the other candidates' bounds cut less than the search costs.
      // An item the candidate offers too few units of needs one more offerer at least, any
      // other at least one that has all its units or two that do not.
      std::uint64_t needed = 0;
      std::uint64_t half = 0;
      for (const Need& need : needs) {
        const std::uint64_t bit = std::uint64_t{1} << missingIndex[need.item];
        (need.units < level.missing[need.item] ? half : needed) |= bit;
      }
      coverVisits = 0;
      others = std::max(others,
                        LeastCover(needed, half, r - 1, 0.0, WithTolerance(threshold - bound)));
    }
    level.childBounds[position] = bound + others;
  }
}

void Worker::PrepareCoverSearch(const Level& level) {
  const auto items = static_cast<std::uint32_t>(missingList.size());
  coverBegin.assign(items + 1, 0);
  for (std::uint32_t index = 0; index < level.candidateCount; ++index) {
    for (std::uint64_t mask = offeredMasks[index]; mask != 0; mask &= mask - 1) {
      ++coverBegin[static_cast<std::uint32_t>(std::countr_zero(mask)) + 1];
    }
  }
  for (std::uint32_t index = 0; index < items; ++index) {
    coverBegin[index + 1] += coverBegin[index];
  }
  coverOfferers.resize(coverBegin[items]);
  coverFill.assign(coverBegin.begin(), coverBegin.end() - 1);
  // Through the candidates by value, so that each item's offerers come best first.
  for (std::uint32_t index = 0; index < level.candidateCount; ++index) {
    const std::uint32_t position = level.byValue[index];
    for (std::uint64_t mask = offeredMasks[position]; mask != 0; mask &= mask - 1) {
      coverOfferers[coverFill[static_cast<std::uint32_t>(std::countr_zero(mask))]++] = position;
    }
  }
  const std::uint32_t count = level.candidateCount;
  rankWords = (count + 63) / 64;
  offeredByRank.assign(std::size_t{items} * rankWords, 0);
  fullByRank.assign(std::size_t{items} * rankWords, 0);
  rankTogether.assign(rankWords, 0);
  for (std::uint32_t rank = 0; rank < count; ++rank) {
    const std::uint32_t position = level.byValue[rank];
    const std::uint64_t bit = std::uint64_t{1} << (rank % 64);
    for (std::uint64_t mask = offeredMasks[position]; mask != 0; mask &= mask - 1) {
      offeredByRank[std::countr_zero(mask) * std::size_t{rankWords} + rank / 64] |= bit;
    }
    for (std::uint64_t mask = fullMasks[position]; mask != 0; mask &= mask - 1) {
      fullByRank[std::countr_zero(mask) * std::size_t{rankWords} + rank / 64] |= bit;
    }
  }
  coverByValue = level.byValue.data();
  coverValues = level.bestValues.data();
  coverPrefix[0] = 0.0;
  for (std::uint32_t index = 0; index < kMaximumStores; ++index) {
    coverPrefix[index + 1] =
        coverPrefix[index] +
        (index < level.candidateCount ? std::min(0.0, level.bestValues[level.byValue[index]])
                                      : 0.0);
  }
}

double Worker::LeastCover(std::uint64_t needed, std::uint64_t half, std::uint32_t slots,
                          double spent, double cut) {
  const auto over = [cut](double value) { return value > cut || value == Infinity(); };
  if ((needed | half) == 0) {
    return spent + coverPrefix[slots];
  }
  if (slots == 0) {
    return Infinity();
  }
  // The item with the fewest offerers: its offerers are the branches.
  std::uint32_t item = 0;
  std::uint32_t fewest = std::numeric_limits<std::uint32_t>::max();
  double worstBest = -Infinity();
  for (std::uint64_t mask = needed | half; mask != 0; mask &= mask - 1) {
    const auto index = static_cast<std::uint32_t>(std::countr_zero(mask));
    const std::uint32_t count = coverBegin[index + 1] - coverBegin[index];
    if (count == 0) {
      return Infinity();
    }
    worstBest = std::max(worstBest, coverValues[coverOfferers[coverBegin[index]]]);
    if (count < fewest) {
      fewest = count;
      item = index;
    }
  }
  const double rest = coverPrefix[slots - 1];
  const double relaxed = spent + std::max(coverPrefix[slots], worstBest + rest);
  if (over(relaxed) || ++coverVisits > kCoverVisits) {
    return relaxed;
  }
  double least = Infinity();
  if (slots == 1) {
    // The best candidate that finishes every item: the rows of the items together, the rarest
    // item's first, so that most end empty after a few.
    const std::uint64_t rarest = std::uint64_t{1} << item;
    std::uint64_t* const together = rankTogether.data();
    std::copy_n(((needed & rarest) != 0 ? fullByRank : offeredByRank).data() +
                    std::size_t{item} * rankWords,
                rankWords, together);
    const auto narrow = [&](const std::vector<std::uint64_t>& rows, std::uint64_t mask) {
      for (; mask != 0; mask &= mask - 1) {
        const std::uint64_t* const row =
            rows.data() + std::countr_zero(mask) * std::size_t{rankWords};
        std::uint64_t any = 0;
        for (std::uint32_t word = 0; word < rankWords; ++word) {
          together[word] &= row[word];
          any |= together[word];
        }
        if (any == 0) {
          return false;
        }
      }
      return true;
    };
    if (!narrow(fullByRank, needed & ~rarest) || !narrow(offeredByRank, half & ~rarest)) {
      return Infinity();
    }
    for (std::uint32_t word = 0; word < rankWords; ++word) {
      if (together[word] != 0) {
        return spent + coverValues[coverByValue[word * 64 + static_cast<std::uint32_t>(
                                                            std::countr_zero(together[word]))]];
      }
    }
    return Infinity();
  }
  for (std::uint32_t at = coverBegin[item]; at < coverBegin[item + 1]; ++at) {
    const std::uint32_t position = coverOfferers[at];
    const double value = coverValues[position];
    const double branch = spent + value + rest;
    if (over(branch) || coverVisits > kCoverVisits) {
      // The later offerers' values are no smaller.
      return std::min(least, branch);
    }
    const std::uint64_t offered = offeredMasks[position];
    const std::uint64_t nextHalf = (half & ~offered) | (needed & offered & ~fullMasks[position]);
    least = std::min(least,
                     LeastCover(needed & ~offered, nextHalf, slots - 1, spent + value, cut));
    if (!over(least)) {
      return relaxed;  // some cover fits: only the relaxed bound is known
    }
  }
  return least;
}

}  // namespace Corvalle::BrickLink::BoundedSearch
