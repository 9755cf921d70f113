#include "battery/GCD.h"

#include <algorithm>

#include "battery/Distributions.h"
#include "battery/RunState.h"

namespace {

// The probability of k Euclid steps for two random non-zero 32-bit words,
// in units of 1e-10, k = 3 .. 35 (3 or fewer, 35 or more).
const double STEP_LAW[36] = {0,         0,         0,         5506,      29532,     144541,    590691,
                             2065333,   6277273,   16797273,  39964829,  85160313,  163520964, 284315128,
                             449367802, 647663189, 853365977, 1030017639, 1140689999, 1160424679, 1085307890,
                             933657875, 738971259, 538010076, 360199303, 221583256, 125137422, 64787412,
                             30697488,  13285746,  5238570,   1876493,   608568,    177920,    46632,
                             13674};

// 10^7 pairs: gcd g has the expected count 6079271.000000001 / g^2 below
// 100 and 61097.691 for 100 and more.
constexpr double GCD_NUMERATOR = 6079271.000000001;
constexpr double GCD_TAIL = 61097.691;

}  // namespace

GCD::GCD() = default;

void GCD::Count(const uint32_t* words, uint64_t N, uint64_t zeroAllowance, uint64_t maxPairs, Counts& counts) {
  counts = Counts();
  uint64_t i = 0, zeros = 0;
  // The next pair in reading order; false when the counting ends.
  auto nextPair = [&](uint32_t& u, uint32_t& v) {
    while (i < N && words[i] == 0) ++i, ++zeros;
    if (i >= N) return false;
    u = words[i++];
    while (i < N && words[i] == 0) ++i, ++zeros;
    if (i >= N) return false;
    v = words[i++];
    return zeros <= zeroAllowance;
  };
  constexpr int LANES = 4;
  bool more = true;
  while (more && counts.pairs < maxPairs) {
    // Euclid's algorithm on four pairs at once: each step waits for its
    // division, the four chains of divisions overlap. A finished lane (or
    // one without a pair) has v = 0 and stands still.
    uint32_t u[LANES] = {}, v[LANES] = {};
    int steps[LANES] = {};
    int lanes = 0;
    while (lanes < LANES && counts.pairs + lanes < maxPairs && (more = nextPair(u[lanes], v[lanes]))) ++lanes;
    if (lanes < LANES) v[lanes] = 0;  // a pair read but not used
    for (;;) {
      bool active = false;
      for (int l = 0; l < LANES; ++l) {
        const bool a = v[l] != 0;
        const uint32_t r = u[l] % (v[l] | !a);
        active |= a;
        u[l] = a ? v[l] : u[l];
        v[l] = a ? r : 0;
        steps[l] += a;
      }
      if (!active) break;
    }
    for (int l = 0; l < lanes; ++l) {
      ++counts.gcd[std::min<uint32_t>(u[l], 100)];
      ++counts.steps[std::clamp(steps[l], 3, 35)];
    }
    counts.pairs += lanes;
  }
  // Zero words are a property of the data, not of where the counting
  // stopped: when it stopped short of maxPairs, the words it never read
  // count too.
  if (counts.pairs < maxPairs) zeros += static_cast<uint64_t>(std::count(words + i, words + N, 0u));
  counts.zeros = zeros;
}

namespace {

double TooFewPairs(const GCD::Counts& counts) {
  return counts.zeros >= GCD::MANY_ZEROS ? PVALUE_FAIL : PVALUE_SHORT;
}

}  // namespace

double GCD::StepPValue(const Counts& counts) {
  if (counts.pairs < MIN_PAIRS) return TooFewPairs(counts);
  const double scale = static_cast<double>(counts.pairs) * 1e-10;
  double X = 0;
  for (int k = 3; k <= 35; ++k) {
    const double e = STEP_LAW[k] * scale;
    const double d = counts.steps[k] - e;
    X += d * d / e;
  }
  return IncompleteGammaQ(16, X / 2);
}

double GCD::GcdPValue(const Counts& counts) {
  if (counts.pairs < MIN_PAIRS) return TooFewPairs(counts);
  const double scale = static_cast<double>(counts.pairs) / PAIRS;
  const double tail = GCD_TAIL * scale;
  double X = (counts.gcd[100] - tail) * (counts.gcd[100] - tail) / tail;
  for (int g = 1; g <= 99; ++g) {
    const double e = GCD_NUMERATOR * scale / (double(g) * g);
    const double d = counts.gcd[g] - e;
    X += d * d / e;
  }
  return IncompleteGammaQ(49.5, X / 2);
}

void GCD::RunTest() {
  const uint64_t N = seqLen / 32;
  if (N < MIN_WORDS) return;
  Count(seqBits, N, N - MIN_WORDS, PAIRS, counts_);
  AddResult(StepPValue(counts_), "GCD stp");
  AddResult(GcdPValue(counts_), "GCD dst");
}
