#include "battery/SERIAL.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "battery/Distributions.h"
#include "battery/GridWalk.h"
#include "battery/RandomisedPValue.h"
#include "battery/RunState.h"

namespace {

// floor(log2 n) for n >= 1.
int FloorLog2(uint64_t n) { return 63 - __builtin_clzll(n); }

// From the 2^top counts of the longest patterns (overwritten), for every
// length k = top .. 1: d[k] = the sum over the (k - 1)-bit patterns u of
// (count of u0 - count of u1)^2. A window of k bits is the first k bits of
// the window of k + 1 bits that starts at the same bit, so the counts of
// length k - 1 are the sums of adjacent pairs of length k. Then
// psi^2_k - psi^2_(k-1) = 2^(k-1) d[k] / n exactly (2 (a^2 + b^2) - (a + b)^2
// = (a - b)^2), without the cancellation of two terms of size n. Counts are
// at most n < 2^32 and d[k] <= n^2 < 2^64.
void PairDifferences(uint32_t* counts, int top, uint64_t d[]) {
  for (int k = top; k >= 1; --k) {
    const uint64_t pairs = uint64_t(1) << (k - 1);
    uint64_t sum = 0;
    uint64_t u = 0;
#ifdef __SSE2__
    // Four pairs at a time: their eight counts split into the first and the
    // second of each pair, the sums stored (at u .. u + 3, read already),
    // the absolute differences squared into 64 bits.
    const __m128i flip = _mm_set1_epi32(INT32_MIN);
    __m128i squares = _mm_setzero_si128();
    for (; u + 4 <= pairs; u += 4) {
      const __m128 x0 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(counts + 2 * u)));
      const __m128 x1 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(counts + 2 * u + 4)));
      const __m128i a = _mm_castps_si128(_mm_shuffle_ps(x0, x1, _MM_SHUFFLE(2, 0, 2, 0)));
      const __m128i b = _mm_castps_si128(_mm_shuffle_ps(x0, x1, _MM_SHUFFLE(3, 1, 3, 1)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(counts + u), _mm_add_epi32(a, b));
      const __m128i below = _mm_cmpgt_epi32(_mm_xor_si128(b, flip), _mm_xor_si128(a, flip));  // a < b
      const __m128i diff = _mm_sub_epi32(_mm_xor_si128(_mm_sub_epi32(a, b), below), below);
      squares = _mm_add_epi64(squares, _mm_mul_epu32(diff, diff));
      const __m128i odd = _mm_srli_epi64(diff, 32);
      squares = _mm_add_epi64(squares, _mm_mul_epu32(odd, odd));
    }
    uint64_t halves[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(halves), squares);
    sum = halves[0] + halves[1];
#endif
    for (; u < pairs; ++u) {
      const uint32_t a = counts[2 * u], b = counts[2 * u + 1];
      const uint64_t diff = a > b ? a - b : b - a;
      sum += diff * diff;
      counts[u] = a + b;
    }
    d[k] = sum;
  }
}

// psi^2_k - psi^2_(k-1).
double FirstDifference(const uint64_t d[], int k, uint64_t n) {
  return std::ldexp(static_cast<double>(d[k]), k - 1) / static_cast<double>(n);
}

// The pattern lengths of the grid: from serialSmin while m <= serialSmax
// and m <= floor(log2 n) - 2.
Grid<int> SerialGrid(uint64_t n) {
  const int limit = n == 0 ? -1 : FloorLog2(n) - 2;
  return Grid<int>(serialSmin, std::min(serialSmax, limit), serialSstp);
}

// Tells this test's draws from the sequence's bits from other tests'.
constexpr uint64_t SERIAL_SALT = 0x5345524900000000ull;

// (-1)^k C(n - 1, k) / 2^n.
double SignedChooseOverPower(uint64_t n, int64_t k) {
  const double c = std::exp(LogGamma(static_cast<double>(n)) - LogGamma(static_cast<double>(k) + 1) -
                            LogGamma(static_cast<double>(n - k)) - static_cast<double>(n) * std::log(2.0));
  return k % 2 == 0 ? c : -c;
}

// P(J <= k) and P(J >= k) for J the number of places where a ring of n
// fair bits changes value. The changes fix the ring up to its complement
// and any even number of them can occur: P(J = j) = 2 C(n, j) / 2^n for
// even j. So P(J >= k) = P(B >= k) + (-1)^k C(n - 1, k - 1) / 2^n and
// P(J <= k) = P(B <= k) + (-1)^k C(n - 1, k) / 2^n, B binomial (n, 1/2),
// from the alternating sums of binomial coefficients.
// `lower` is P(B <= k), passed in so that a caller that has the same tail
// from the other side computes it once.
double ChangesAtMost(uint64_t n, int64_t k, double lower) {
  if (k < 0) return 0;
  if (k >= static_cast<int64_t>(n)) return 1;
  return std::clamp(lower + SignedChooseOverPower(n, k), 0.0, 1.0);
}

// `upper` is P(B >= k).
double ChangesAtLeast(uint64_t n, int64_t k, double upper) {
  if (k <= 0) return 1;
  if (k > static_cast<int64_t>(n)) return 0;
  return std::clamp(upper - SignedChooseOverPower(n, k - 1), 0.0, 1.0);
}

// Serial m = 2, second difference: 2 d[2] - d[1] = (n - 2 J)^2 exactly, J
// the ring's changes of value (with c01 = c10 on a ring, a - b = n - 4 c01
// for a = c00 - c01, b = c10 - c11), so the statistic has a lattice and an
// atom at 0 (p = 1) that thousands of sequences see. The randomised
// p-value of the exact law of J, ranked by its distance from n / 2.
double PairSecondDifferenceP(const uint64_t d[], uint64_t n, double u) {
  const unsigned __int128 square = 2 * static_cast<unsigned __int128>(d[2]) - d[1];
  uint64_t root = static_cast<uint64_t>(std::sqrt(static_cast<long double>(square)));
  while (static_cast<unsigned __int128>(root) * root > square) --root;
  while (static_cast<unsigned __int128>(root + 1) * (root + 1) <= square) ++root;
  // J is (n - root) / 2 or its mirror (n + root) / 2.
  const int64_t low = static_cast<int64_t>((n - root) / 2), high = static_cast<int64_t>((n + root) / 2);
  // P(J = j) = 2 P(B = j) for even j (J is even, and so is its mirror n - J
  // when n is).
  auto exactly = [n](int64_t j) { return j % 2 == 0 ? 2 * BinomialPmf(n, 0.5, j) : 0.0; };
  double greater;
  if (low == high) {
    greater = 1 - exactly(low);
  } else {
    // low + high = n (root = |n - 2 J| has the parity of n), so
    // P(B <= low - 1) = P(B >= high + 1): one tail serves both sides.
    const double tail = BinomialUpperTail(n, 0.5, high + 1);
    greater = ChangesAtMost(n, low - 1, tail) + ChangesAtLeast(n, high + 1, tail);
  }
  const double atLeast = greater + (low == high ? exactly(low) : exactly(low) + exactly(high));
  if (!(atLeast > 0)) return PVALUE_FAIL;
  return RandomisedPValue(std::min(greater, 1.0), std::min(atLeast, 1.0), u);
}

}  // namespace

double SerialPsi2(int m) {
  const uint64_t n = seqLen;
  if (m == 0 || n == 0) return 0;
  std::vector<uint32_t> counts(size_t(1) << m, 0);
  CountRingWindows(seqBits, n, m, counts.data());
  uint64_t d[32];
  PairDifferences(counts.data(), m, d);
  double psi = 0;  // psi^2_0 = 0
  for (int k = 1; k <= m; ++k) psi += FirstDifference(d, k, n);
  return psi;
}

void SERIAL::RunTest() {
  const uint64_t n = seqLen;
  int top = 0;
  for (int m : SerialGrid(n)) top = std::max(top, m);
  if (top < 1) return;

  // One count of the longest patterns gives every shorter length as marginals.
  bool counted = true;
  uint64_t d[32];
  try {
    counts_.resize(size_t(1) << top);
  } catch (const std::bad_alloc&) {
    counted = false;
  }
  if (counted) {
    std::fill(counts_.begin(), counts_.begin() + (size_t(1) << top), 0);
    CountRingWindows(seqBits, n, top, counts_.data());
    PairDifferences(counts_.data(), top, d);
  }

  for (int m : SerialGrid(n)) {
    if (m < 1) continue;
    double p1 = PVALUE_FAIL, p2 = PVALUE_FAIL;
    if (counted) {
      const double delta1 = FirstDifference(d, m, n);
      p1 = IncompleteGammaQ(std::ldexp(1.0, m - 2), delta1 / 2);
      if (m != 1) {
        const double delta2 = delta1 - FirstDifference(d, m - 1, n);
        p2 = m == 2 ? PairSecondDifferenceP(d, n, HashUniform(SequenceHash(seqBits, n), SERIAL_SALT))
                    : IncompleteGammaQ(std::ldexp(1.0, m - 3), delta2 / 2);
      }
    }
    AddResult(p1, "Serial %d_1", m);
    if (m != 1) AddResult(p2, "Serial %d_2", m);
  }
}
