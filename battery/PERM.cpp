#include "battery/PERM.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "battery/GridWalk.h"
#include "battery/RandomisedPValue.h"
#include "battery/RunState.h"

namespace {

constexpr int MAX_T = 12;

// Tells this test's draws from the sequence's bits from other tests'.
constexpr uint64_t PERM_SALT = 0x5045524D00000000ull;

constexpr uint64_t Factorial(int t) {
  uint64_t f = 1;
  for (int i = 2; i <= t; ++i) f *= static_cast<uint64_t>(i);
  return f;
}

// The pairs a sequence of n bits gives: calls f(s, t, words, t!) for every
// (s, t) in grid order whose expected count per order exceeds 5. Depends
// only on n and the parameters.
template <class F>
void ForEachPair(uint64_t n, F&& f) {
  for (int s : Grid(permutationSmin, permutationSmax, permutationSstp)) {
    if (s < 1 || s > 32) continue;  // the engine admits 1 .. 32 only
    const uint64_t words = n / static_cast<uint64_t>(s);
    for (int t : Grid(permutationGmin, permutationGmax, permutationGstp)) {
      if (t < 2 || t > MAX_T) break;
      const uint64_t fact = Factorial(t);
      // Fewer than 5 t t! words: no larger t is tried for this s.
      if (words < 5 * static_cast<uint64_t>(t) * fact) break;
      if (!(PermExpectedPerOrder(words, s, t) > 5)) continue;
      f(s, t, words, fact);
    }
  }
}

// Calls f(std::integral_constant<int, t>()) for 2 <= t <= 12, so that the
// loops over a tuple unroll.
template <class F>
auto WithFixedT(int t, F&& f) {
  switch (t) {
    case 2: return f(std::integral_constant<int, 2>());
    case 3: return f(std::integral_constant<int, 3>());
    case 4: return f(std::integral_constant<int, 4>());
    case 5: return f(std::integral_constant<int, 5>());
    case 6: return f(std::integral_constant<int, 6>());
    case 7: return f(std::integral_constant<int, 7>());
    case 8: return f(std::integral_constant<int, 8>());
    case 9: return f(std::integral_constant<int, 9>());
    case 10: return f(std::integral_constant<int, 10>());
    case 11: return f(std::integral_constant<int, 11>());
    default: return f(std::integral_constant<int, 12>());
  }
}

// PermOrderIndex with t fixed.
template <int T>
inline int OrderIndex(uint32_t* u) {
  int f = 0;
  bool repeat = false;
  for (int r = T; r > 1; --r) {
    int j = 0;
    uint32_t largest = u[0];
    for (int i = 1; i < r; ++i) {
      const uint32_t v = u[i];
      repeat |= v == largest;
      j = v > largest ? i : j;
      largest = v > largest ? v : largest;
    }
    f = r * f + j;
    u[j] = u[r - 1];
    u[r - 1] = largest;
  }
  return repeat ? -1 : f;
}

// Counts the orders of the `tuples` consecutive tuples of T words that
// next() yields; returns the number of repeat-free tuples.
template <int T, class Next>
uint64_t CountOrdersOf(Next& next, uint64_t tuples, uint32_t* counts) {
  uint32_t u[T];
  uint64_t counted = 0;
  for (uint64_t k = 0; k < tuples; ++k) {
    for (int i = 0; i < T; ++i) u[i] = next();
    const int f = OrderIndex<T>(u);
    // A tuple with a repeat goes to the spare counter past the t! orders.
    ++counts[f >= 0 ? f : Factorial(T)];
    counted += f >= 0;
  }
  return counted;
}

template <class Next>
uint64_t CountOrders(Next&& next, uint64_t tuples, int t, uint32_t* counts) {
  return WithFixedT(t, [&](auto fixed) { return CountOrdersOf<decltype(fixed)::value>(next, tuples, counts); });
}

// The probability that t uniform s-bit words are pairwise distinct.
double DistinctProbability(int s, int t) {
  const double values = s >= 32 ? 4294967296.0 : static_cast<double>(uint64_t(1) << s);
  double distinct = 1;
  for (int i = 1; i < t; ++i) distinct *= std::max(0.0, (values - i) / values);
  return distinct;
}

// Below this chance a good generator gives so few repeat-free tuples.
constexpr double SHORTFALL_CHANCE = 1e-10;

// Whether `counted` repeat-free tuples among `tuples` lie further below their
// expectation than chance allows: the Chernoff bound on P(X <= counted), X
// binomial (tuples, q), exp(-tuples D(counted / tuples || q)), is below
// SHORTFALL_CHANCE. The bound is never below the probability itself, so a
// good generator fails this way at most that often.
bool BeyondChance(uint64_t counted, uint64_t tuples, double q) {
  const double a = static_cast<double>(counted) / static_cast<double>(tuples);
  if (!(a < q)) return false;
  double divergence = (1 - a) * std::log((1 - a) / (1 - q));
  if (a > 0) divergence += a * std::log(a / q);
  return static_cast<double>(tuples) * divergence > -std::log(SHORTFALL_CHANCE);
}

}  // namespace

double PermExpectedPerOrder(uint64_t words, int s, int t) {
  return static_cast<double>((words - 1) / static_cast<uint64_t>(t)) * DistinctProbability(s, t) /
         static_cast<double>(Factorial(t));
}

int PermOrderIndex(uint32_t* u, int t) {
  return WithFixedT(t, [&](auto fixed) { return OrderIndex<decltype(fixed)::value>(u); });
}

PERM::PERM() {
  uint64_t most = 0;
  int pairs = 0;
  ForEachPair(seqLen, [&](int, int, uint64_t, uint64_t fact) {
    most = std::max(most, fact);
    ++pairs;
  });
  threadCount = std::min(cpuCount, pairs);
  orderCounts_.assign(std::max(threadCount, 1), std::vector<uint32_t>(most + 1));
  pool_.Create(threadCount);
  pool_.Start(Work, this);
}

PERM::~PERM() {
  // The sub-threads end before the counters they use are freed.
  pool_.End();
}

void PERM::Work(void* context, int job, int thread) {
  auto* self = static_cast<PERM*>(context);
  Pair& pair = self->pairs_[job];
  pair.p = self->PairPValue(pair, self->orderCounts_[thread].data());
}

double PERM::PairPValue(const Pair& pair, uint32_t* counts) const {
  const int s = pair.s, t = pair.t;
  const uint64_t words = pair.words, fact = pair.fact;
  std::fill(counts, counts + fact + 1, 0u);
  // Word words - 1 never takes part.
  const uint64_t tuples = (words - 1) / static_cast<uint64_t>(t);
  uint64_t counted;
  if (s == 8) {
    uint64_t l = 0;
    counted = CountOrders([&] { return ReadByte(seqBits, l++); }, tuples, t, counts);
  } else if (s == 16) {
    uint64_t l = 0;
    counted = CountOrders(
        [&] {
          const uint32_t v = (seqBits[l >> 1] >> ((l & 1) * 16)) & 0xFFFFu;
          ++l;
          return v;
        },
        tuples, t, counts);
  } else if (s == 32) {
    uint64_t l = 0;
    counted = CountOrders([&] { return seqBits[l++]; }, tuples, t, counts);
  } else {
    BitStream stream(seqBits, 0);
    counted = CountOrders([&] { return stream.Next(s); }, tuples, t, counts);
  }
  const double e = static_cast<double>(counted) / static_cast<double>(fact);
  if (e <= 5) {
    // The length promised more than 5 per order; too few usable tuples
    // by chance are short, too few for chance (ties everywhere, as in a
    // constant or periodic sequence) are the data's failure.
    return BeyondChance(counted, tuples, DistinctProbability(s, t)) ? PVALUE_FAIL : PVALUE_SHORT;
  }
  if (t == 2) {
    // Two orders: the chi-square is a binomial count (1/2 each) measured
    // by its distance from the mean; its p-value has a lattice and, for
    // an even count, an atom at 1. Its exact binomial law instead,
    // randomised within the count's atom by the sequence's own bits.
    const double u = HashUniform(hash_, PERM_SALT + static_cast<uint64_t>(s));
    return BinomialTwoSidedRandomisedP(counted, 0.5, counts[0], u);
  }
  // More orders: the chi-square of counts on a lattice takes some values
  // far more often than their neighbours (with s = 16 and 32 every sequence
  // has the same number of tuples, so each value is an atom of up to 0.4 %
  // at 2^17 bits). The counts smoothed by a normal vector from the
  // sequence's bits instead, judged by the same chi-square law.
  const uint64_t salt = PERM_SALT + ((static_cast<uint64_t>(s) << 8 | static_cast<uint64_t>(t)) << 32);
  const double x = SmoothedUniformChiSquare(counts, static_cast<int>(fact), hash_, salt);
  return IncompleteGammaQ((static_cast<double>(fact) - 1) / 2, x / 2);
}

void PERM::RunTest() {
  pairs_.clear();
  ForEachPair(seqLen, [&](int s, int t, uint64_t words, uint64_t fact) { pairs_.push_back({s, t, words, fact, 0}); });
  for (const Pair& pair : pairs_) {
    // Only when seqLen grew since construction.
    for (auto& counts : orderCounts_)
      if (counts.size() < pair.fact + 1) counts.resize(pair.fact + 1);
  }
  // The sequence's hash, shared by all rows.
  hash_ = pairs_.empty() ? 0 : SequenceHash(seqBits, seqLen);
  const bool whole = pool_.RunAll(static_cast<int>(pairs_.size()));
  subThreadCpuSeconds = pool_.CpuSeconds();
  // A failed event call (logged by the pool) costs this sequence only: its
  // rows are short.
  for (const Pair& pair : pairs_) AddResult(whole ? pair.p : PVALUE_SHORT, "Permutation %d_%d", pair.s, pair.t);
}
