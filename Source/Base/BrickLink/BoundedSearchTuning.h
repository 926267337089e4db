#pragma once

// The bounded search's tuning, in one place. None of these changes which plans are found, only
// how fast: each trades the work spent on a node against the nodes it saves, and each was
// measured on the families of generated worlds of the benchmark sweep. Internal to
// BoundedCombinationSearch.

#include <cstddef>
#include <cstdint>

namespace Corvalle::BrickLink::BoundedSearch::Tuning {

// Subgradient steps of the Lagrangian bound at the root and at every other node: more steps
// tighten the bound and cut more, at a cost on every node (8 instead of 32 per node cost 45 %
// on the log-normal world at k = 8).
inline constexpr int kRootIterations = 250;
inline constexpr int kNodeIterations = 32;
// With three stores to go, a node's steps cut fewer nodes than they cost: its children with two
// to go are settled by cheaper rules (which pairs can complete what is missing, and the best
// store completing each candidate). Instructions counted on one worker, 32 steps against 4 (and
// 1): uniform k = 6 51.8 G against 39.2 G (37.8 G), with 18,893 nodes against 23,248 (25,639);
// k = 5 16.8 G against 14.4 G (14.2 G); shipping k = 6 33.8 G against 26.6 G (25.7 G); uniform
// k = 8 and 11 and shipping k = 8 within 2 % with one step. The dense world wants them: at k = 8, on two workers, 7.0 s against
// 7.7 s (8.5 s with one step), and at k = 5 15.2 s against 15.5 s with one step.
inline constexpr int kThreeToGoIterations = 4;
// The first steps' length below the root, as a share of the Polyak step towards the threshold
// (halved after every 5 steps that bring no better bound). While candidates were valued by all
// their lots below the prices, 2 instead of 1 cut the nodes of uniform k = 8 from 75,593 to
// 47,614. Valued by what they add to the chosen stores, 1 leaves the fewest nodes on most worlds
// (against 2: uniform k = 6 13,212 against 14,325, k = 8 32,301 against 34,735, k = 11 7,990
// against 9,546, shipping k = 8 14,576 against 16,662, log-normal k = 8 552 against 1,687,
// dense k = 5 on two workers 40,305 against 48,259; tied, one-item and dense k = 4 alike); 1.5
// left fewer only at uniform k = 8 (29,281), 3 far more everywhere. The nodes one store below
// the root take 2: at uniform k = 5 their children's cover searches then end sooner (19.8 G
// instructions against 23.0 G, and 20.2 G against 22.8 G on another world of the family, with
// the same nodes or fewer), for a few more nodes elsewhere (uniform k = 6 13,691, k = 8 34,159,
// log-normal k = 8 827; uniform k = 11 7,490 and shipping k = 6 fewer).
inline constexpr double kNodeStep = 1.0;
inline constexpr double kFirstLevelStep = 2.0;
// Below the first level, nodes with at most four stores to go start at 1.5 times the Polyak step
// (since they take four steps with three to go and no steps asking for covers). Counted by
// callgrind on one worker: uniform k = 6 32.4 G instructions against 38.9 G (0.7: 44.4 G, 1.25:
// 35.0 G, 1.5 at every depth 32.8 G, 2: 36.5 G), uniform k = 8 36.6 G against about 40 G. At five
// or more to go it doubled the log-normal world's nodes at k = 8 (1,649 against 888). Dense
// k = 5 on two workers 14.6 s against 13.0 s, k = 8 alike; k = 5 of the uniform world alike.
inline constexpr std::uint32_t kMostStoresForNearStep = 4;
inline constexpr double kNearStep = 1.5;
// How much of its last direction a subgradient step takes back when the new subgradient turns
// against it: more damps the zigzag of many items (the uniform world at k = 11 went from 43,800
// nodes to 25,300 at 0.5), but with one item there is no zigzag, only a slower approach (at
// 0.75 the one-item world at k = 11 took 48,600 nodes, where 0 and 0.5 take 11,000).
inline constexpr double kDeflection = 0.5;
// Steps of the fractional coverage bound at the root, and per store still to choose elsewhere:
// they move the item weights towards the items the best stores leave short.
inline constexpr int kRootCoverIterations = 40;
inline constexpr int kNodeCoverIterations = 4;
// Swap rounds of the greedy start, and how many plans per kept plan it offers around its
// result: a tight threshold from the start against the time the start itself takes.
inline constexpr int kGreedySwapRounds = 50;
inline constexpr std::size_t kNeighboursPerPlan = 4;
// The workers start from subtrees cut at the depth that gives each about this many: more
// spread the work better and tell a finer lower bound while the search runs, but each one is
// loaded from scratch.
inline constexpr std::size_t kTasksPerWorker = 16;
// A waiting worker is handed the rest of a busy one's children only where they still have
// this many stores to choose: below, they are over before another worker could take them up.
inline constexpr std::uint32_t kLeastStoresToShare = 3;
// Nodes of the cover search per candidate bound; beyond, the bound stays the relaxed one. On
// the uniform world at k = 5, 16384 leaves 2,884 nodes with three stores to go where 1024
// leaves 4,765; the other families' node counts do not change.
inline constexpr std::uint32_t kCoverVisits = 16384;
// Up to this many stores to go, a node first asks whether any that many of its candidates can
// supply what is missing, units counted: where covering binds, most such nodes have no set that
// can, and the question costs a fraction of the bounds it spares. Asked with four to go as well,
// it cut almost nothing more (uniform at k = 5: 5,451 nodes against 5,463) and cost more time on
// the uniform, shipping and dense worlds.
inline constexpr std::uint32_t kMostStoresToComplete = 3;
// A node branching on a missing item keeps the offers of its candidates left alone once fewer
// than this share of those it sifted for are left: one pass over its offers, where each child
// would read past the dropped ones. On the uniform world at k = 6 the sifting fell from 12.9 %
// of the time to 6.7 % with the pass; thinning only where the children would read more than
// the pass counted the same instructions (38.63 G against 38.67 G).
inline constexpr double kThinnedShare = 0.9;
// Nodes a worker visits between two looks at the clock for progress.
inline constexpr std::uint32_t kNodesPerProgressCheck = 256;

}  // namespace Corvalle::BrickLink::BoundedSearch::Tuning
