#include "battery/CUSUM.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "battery/RandomisedPValue.h"
#include "battery/RunState.h"

namespace {

// Tells this test's draws from the sequence's bits from other tests'.
constexpr uint64_t CUSUM_SALT = 0x4355534D00000000ull;

// Phi(b) - Phi(a) for a <= b, from the tail that keeps small differences exact.
double NormalMass(double a, double b) {
  if (a >= 0) return NormalCdf(-a) - NormalCdf(-b);
  return NormalCdf(b) - NormalCdf(a);
}

// The partial sums of one byte's bits, from the least significant up:
// their total and the highest and lowest sum reached after each bit.
struct ByteWalk {
  int8_t total, high, low;
};

struct ByteWalks {
  ByteWalk forward[256];
  ByteWalks() {
    for (int v = 0; v < 256; ++v) {
      int s = 0, high = -9, low = 9;
      for (int j = 0; j < 8; ++j) {
        s += ((v >> j) & 1) ? 1 : -1;
        high = std::max(high, s);
        low = std::min(low, s);
      }
      forward[v] = {int8_t(s), int8_t(high), int8_t(low)};
    }
  }
};

const ByteWalks walks;

// The forward walk's partial sums S_0 = 0, S_1, ..., S_n: the last, the
// highest and the lowest.
struct WalkExtremes {
  int64_t sum = 0, high = 0, low = 0;
  void Byte(const ByteWalk& w) {
    high = std::max(high, sum + w.high);
    low = std::min(low, sum + w.low);
    sum += w.total;
  }
  void Bit(uint32_t b) {
    sum += b ? 1 : -1;
    high = std::max(high, sum);
    low = std::min(low, sum);
  }
};

// One walk over the n bits, 64 at a time: a stretch of 64 bits with k ones
// stays within [sum - (64 - k), sum + k], so only a stretch that could pass
// the highest or lowest sum so far is walked byte by byte. The same pass
// hashes the sequence (SequenceHash, for the randomised p-values): its
// chain of steps runs beside the walk's instead of in a second pass.
QV_POPCNT_CLONES WalkExtremes Walk(const uint32_t* words, uint64_t n, uint64_t& hash) {
  WalkExtremes w;
  SequenceHasher hasher(n);
  const uint64_t stretches = n / 64;
  for (uint64_t i = 0; i < stretches; ++i) {
    const uint64_t bits = SequenceHasher::PairAt(words, i);
    hasher.Pair(bits);
    const int64_t ones = Popcount64(bits);
    if (w.sum + ones > w.high || w.sum - (64 - ones) < w.low) {
      for (int k = 0; k < 8; ++k) w.Byte(walks.forward[(bits >> (8 * k)) & 0xFF]);
    } else {
      w.sum += 2 * ones - 64;
    }
  }
  for (uint64_t k = 8 * stretches; k < n / 8; ++k) w.Byte(walks.forward[ReadByte(words, k)]);
  for (uint64_t t = n / 8 * 8; t < n; ++t) w.Bit(ReadBit(words, t));
  hash = hasher.Finish(words, n);
  return w;
}

}  // namespace

double CusumPValue(uint32_t n, uint32_t z) {
  const double u = z / std::sqrt(static_cast<double>(n));
  const double r = static_cast<double>(n) / z;
  const long kLow1 = std::lround(std::floor((-r + 1) / 4)), kHigh = std::lround(std::floor((r - 1) / 4));
  const long kLow2 = std::lround(std::floor((-r - 3) / 4));
  // 1 minus the k = 0 term of the first sum is 2 Phi(-u), taken as such so
  // that a tiny p-value is not lost to cancellation.
  double p = 2 * NormalCdf(-u);
  // NormalCdf is exactly 0 at or below -40 and exactly 1 at or above 40
  // (exp(-x^2 / 2) underflows to 0 there), so a term whose nearer end lies
  // 40 or more from 0 is exactly 0 and leaves p as it is. Nearer terms can
  // be too small to move p as well: p never falls below
  // L = 2 (Phi(-u) - Phi(-3u)) (the first sum takes away at most the mass
  // beyond 3u on each side, the second only adds), so its last bit is worth
  // at least L 2^-53, and a term below a quarter of that leaves it as it is
  // (also just below a power of two). A term whose nearer end m lies at or
  // beyond T >= 1, phi(T) = L 2^-57 (room for rounding), is below
  // phi(m) / m <= phi(T). The sums run only over |k| <= kZero, the terms
  // whose nearer end lies below min(T, 40), which gives the same p to the
  // last bit. (u >= 2^-16, so kZero stays below 2^22; L below the range of
  // doubles gives T = infinity, 40.)
  const double least = 2 * NormalMass(u, 3 * u);
  const double reach = std::max(1.0, std::sqrt(-2 * std::log(least * 0x1p-57 * 2.5066282746310002)));
  const long kZero = std::lround(std::floor((std::min(40.0, reach) / u + 3) / 4)) + 1;
  const long kFrom1 = std::max(kLow1, -kZero), kFrom2 = std::max(kLow2, -kZero), kTo = std::min(kHigh, kZero);
  for (long k = kFrom1; k <= kTo; ++k)
    if (k != 0) p -= NormalMass((4 * k - 1) * u, (4 * k + 1) * u);
  for (long k = kFrom2; k <= kTo; ++k) p += NormalMass((4 * k + 1) * u, (4 * k + 3) * u);
  return std::min(1.0, std::max(0.0, p));
}

double CusumRandomisedPValue(uint32_t n, uint32_t z, double u) {
  const double atLeast = CusumPValue(n, z);
  const double greater = z >= n ? 0.0 : std::min(atLeast, CusumPValue(n, z + 1));
  return RandomisedPValue(greater, atLeast, u);
}

void CUSUM::RunTest() {
  uint64_t hash;
  const WalkExtremes w = Walk(seqBits, seqLen, hash);
  // Forward: the largest |S_k|. Backward: the partial sums from the end are
  // S_n - S_k for k = n - 1 down to 0, so their largest absolute value is
  // the larger of S_n - min S and max S - S_n.
  const int64_t forward = std::max<int64_t>({1, w.high, -w.low});
  const int64_t backward = std::max<int64_t>({1, w.sum - w.low, w.high - w.sum});
  // The series' p-value of a whole excursion has a lattice, each value an
  // atom that thousands of sequences see; the two passes draw apart.
  AddResult(CusumRandomisedPValue(seqLen, static_cast<uint32_t>(forward), HashUniform(hash, CUSUM_SALT + 1)),
            "Cusum 1");
  AddResult(CusumRandomisedPValue(seqLen, static_cast<uint32_t>(backward), HashUniform(hash, CUSUM_SALT + 2)),
            "Cusum 2");
}
