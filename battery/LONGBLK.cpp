#include "battery/LONGBLK.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "battery/Bits.h"
#include "battery/GridWalk.h"
#include "battery/RandomisedPValue.h"
#include "battery/RunState.h"
#include "battery/Distributions.h"

namespace {

constexpr uint64_t LONGBLK_SALT = 0x4C4F4E4700000000ull;

// One block length of the grid and what its blocks add up to: with c_b the
// ones of block b, the statistic 4 M sum (c_b / M - 1/2)^2 is
// sum (2 c_b - M)^2 / M, summed here exactly in integers.
struct Level {
  uint64_t m = 0, blocks = 0;
  uint64_t squares = 0;  // sum over the blocks of (2 c_b - M)^2
};

// A walk of M by doubling steps visits lengths that each divide the next by
// a power of 2: then every block of one length is a run of whole blocks of
// the length before, and all lengths are counted from one count per
// smallest block. The sequence is taken in chunks of the smallest length
// times a power of 2, at most CHUNK_BITS long (or one smallest block): the
// lengths up to the chunk are summed up within it, the longer ones (whole
// chunks) from the chunks' totals.
constexpr uint64_t CHUNK_BITS = uint64_t(1) << 15;
constexpr uint64_t CHUNK_BLOCKS = CHUNK_BITS / 8;  // at most this many smallest blocks per chunk
constexpr int MAX_LEVELS = 64;

// Ones in each of `count` blocks of m bits from bit start: whole words
// counted by hardware popcount where the blocks are made of them.
QV_POPCNT_CLONES void CountBlocks(const uint32_t* words, uint64_t start, uint64_t m, uint64_t count, uint32_t* out) {
  if (m % 64 == 0 && start % 64 == 0) {
    const uint64_t per = m / 64;
    const uint32_t* w = words + start / 32;
    for (uint64_t b = 0; b < count; ++b) {
      uint32_t ones = 0;
      for (uint64_t k = 0; k < per; ++k, w += 2) {
        uint64_t x;
        std::memcpy(&x, w, sizeof x);
        ones += Popcount64(x);
      }
      out[b] = ones;
    }
  } else if (m % 32 == 0 && start % 32 == 0) {
    const uint64_t per = m / 32;
    const uint32_t* w = words + start / 32;
    for (uint64_t b = 0; b < count; ++b) {
      uint32_t ones = 0;
      for (uint64_t k = 0; k < per; ++k) ones += Popcount32(*w++);
      out[b] = ones;
    }
  } else {
    for (uint64_t b = 0; b < count; ++b) out[b] = static_cast<uint32_t>(CountOnes(words, start + b * m, m));
  }
}

// sum (2 c_b - m)^2 over the first `blocks` blocks of m = 8 or 16 bits,
// sixteen bytes at a time: a count of ones per byte (or half-word) and the
// squares of its distance from m / 2, summed in pairs.
uint64_t SmallBlockSquares(const uint32_t* words, uint64_t blocks, uint64_t m) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(words);
  const uint64_t per = 16 / (m / 8);  // blocks per 16 bytes
  uint64_t b = 0, sum = 0;
#if defined(__SSE2__)
  const __m128i m1 = _mm_set1_epi8(0x55), m2 = _mm_set1_epi8(0x33), m4 = _mm_set1_epi8(0x0F);
  const __m128i low = _mm_set1_epi16(0x00FF), half = _mm_set1_epi16(static_cast<short>(m / 2));
  while (b + per <= blocks) {
    // Lanes of 32 bits gain at most 2 (m / 2)^2 = 128 a round: flushed
    // well before they could overflow.
    __m128i acc = _mm_setzero_si128();
    for (int round = 0; round < (1 << 20) && b + per <= blocks; ++round, b += per) {
      __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + b * (m / 8)));
      x = _mm_sub_epi8(x, _mm_and_si128(_mm_srli_epi16(x, 1), m1));
      x = _mm_add_epi8(_mm_and_si128(x, m2), _mm_and_si128(_mm_srli_epi16(x, 2), m2));
      x = _mm_and_si128(_mm_add_epi8(x, _mm_srli_epi16(x, 4)), m4);  // ones per byte
      if (m == 8) {
        const __m128i lo = _mm_sub_epi16(_mm_unpacklo_epi8(x, _mm_setzero_si128()), half);
        const __m128i hi = _mm_sub_epi16(_mm_unpackhi_epi8(x, _mm_setzero_si128()), half);
        acc = _mm_add_epi32(acc, _mm_add_epi32(_mm_madd_epi16(lo, lo), _mm_madd_epi16(hi, hi)));
      } else {
        const __m128i d = _mm_sub_epi16(_mm_add_epi16(_mm_and_si128(x, low), _mm_srli_epi16(x, 8)), half);
        acc = _mm_add_epi32(acc, _mm_madd_epi16(d, d));
      }
    }
    uint32_t lanes[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), acc);
    sum += uint64_t(lanes[0]) + lanes[1] + lanes[2] + lanes[3];
  }
#endif
  for (; b < blocks; ++b) {
    const uint32_t v = m == 8 ? bytes[b] : uint32_t(bytes[2 * b]) | uint32_t(bytes[2 * b + 1]) << 8;
    const int64_t d = int64_t(Popcount32(v)) - int64_t(m / 2);
    sum += static_cast<uint64_t>(d * d);
  }
  // (2 c - m)^2 = 4 (c - m / 2)^2
  return 4 * sum;
}

uint64_t SumSquares(const uint32_t* counts, uint64_t len, uint64_t m) {
  uint64_t sum = 0;
  for (uint64_t b = 0; b < len; ++b) {
    const int64_t d = 2 * static_cast<int64_t>(counts[b]) - static_cast<int64_t>(m);
    sum += static_cast<uint64_t>(d * d);
  }
  return sum;
}

// counts[i] = the sum of counts[i r .. i r + r - 1], for the len / r whole groups.
uint64_t Fold(uint32_t* counts, uint64_t len, uint64_t r) {
  const uint64_t groups = len / r;
  for (uint64_t i = 0; i < groups; ++i) {
    uint32_t sum = 0;
    for (uint64_t k = 0; k < r; ++k) sum += counts[i * r + k];
    counts[i] = sum;
  }
  return groups;
}

// Sums the squares of every level over the n bits. Each length is the one
// before times a power of 2.
void SumLevels(const uint32_t* words, uint64_t n, Level* levels, int count) {
  // Blocks of 8 and 16 bits have a pass of their own; the longer lengths
  // are counted from the next one.
  while (count > 0 && (levels[0].m == 8 || levels[0].m == 16)) {
    levels[0].squares = SmallBlockSquares(words, levels[0].blocks, levels[0].m);
    ++levels;
    --count;
  }
  if (count == 0) return;
  const uint64_t m0 = levels[0].m;
  uint64_t chunk = m0;
  while (chunk * 2 <= CHUNK_BITS && chunk * 2 / m0 <= CHUNK_BLOCKS) chunk *= 2;
  int inner = 0;  // the levels 0 .. inner fit in a chunk
  while (inner + 1 < count && levels[inner + 1].m <= chunk) ++inner;

  uint32_t counts[CHUNK_BLOCKS];
  uint64_t acc[MAX_LEVELS] = {}, filled[MAX_LEVELS] = {};
  const uint64_t chunks = n / chunk;
  for (uint64_t c = 0; c <= chunks; ++c) {
    // The last round takes the bits after the whole chunks, which hold
    // blocks of the inner lengths only.
    const uint64_t start = c * chunk;
    uint64_t len = (c < chunks ? chunk : n - start) / m0;
    if (len == 0) break;
    CountBlocks(words, start, m0, len, counts);
    for (int l = 0; l <= inner; ++l) {
      levels[l].squares += SumSquares(counts, len, levels[l].m);
      if (l < inner) len = Fold(counts, len, levels[l + 1].m / levels[l].m);
    }
    if (c == chunks || inner + 1 == count) continue;
    uint64_t total = 0;
    for (uint64_t b = 0; b < len; ++b) total += counts[b];
    for (int l = inner + 1; l < count; ++l) {
      acc[l] += total;
      if (++filled[l] * chunk == levels[l].m) {
        const int64_t d = 2 * static_cast<int64_t>(acc[l]) - static_cast<int64_t>(levels[l].m);
        levels[l].squares += static_cast<uint64_t>(d * d);
        acc[l] = filled[l] = 0;
      }
    }
  }
}

}  // namespace

// Each block adds T = (2c - M)^2 / M with c binomial (M, 1/2): T has mean 1,
// variance 2 - 2/M and third cumulant 8 - 24/M + 16/M^2, so for small M the
// sum is no chi-square with N degrees of freedom (its variance is 2N). It
// is taken as a + b Y with Y chi-square with nu degrees of freedom, the
// three fitted so that the first three cumulants are exact:
// b = 1 - 2/M, nu = N (1 - 1/M) / b^2, a = -N / (M - 2). As M grows this
// becomes the chi-square with N degrees of freedom. Measured against the
// exact law (tools/reference/long_blocks_law.py), the upper tail is within
// 0.2 % of the exact mid-p-value down to 1e-6 at 16,384 blocks and more,
// 1 % at 1,000 blocks and 7 % at 100 (the chi-square: 150 % and more).
double LongBlocksPValue(uint64_t blocks, uint64_t m, double x) {
  const double n = static_cast<double>(blocks), mm = static_cast<double>(m);
  const double b = 1 - 2 / mm;
  const double nu = n * (1 - 1 / mm) / (b * b);
  const double a = -n / (mm - 2);
  return IncompleteGammaQ(nu / 2, (x - a) / (2 * b));
}

// sum (2 c_b - m)^2 is 4 sum (c_b - m / 2)^2 for even m, any multiple of 4,
// and a sum of odd squares, N mod 8 plus a multiple of 8, for odd m: X
// lives on a lattice of step 4 / m or 8 / m. The law's mass within half a
// step of x is taken as x's atom and x is moved within it by the uniform u
// (LatticePoint), so the p-value has no atom.
double LongBlocksLaw::RandomisedPValue(double x, double u) const {
  const double h = (m % 2 == 0 ? 4.0 : 8.0) / static_cast<double>(m);
  return PValue(LatticePoint(x, h, u));
}

LongBlocksLaw::LongBlocksLaw(uint64_t blocks_, uint64_t m_) : blocks(blocks_), m(m_) {
  // The constants of LongBlocksPValue, by the same operations.
  const double n = static_cast<double>(blocks), mm = static_cast<double>(m);
  const double b = 1 - 2 / mm;
  const double nu = n * (1 - 1 / mm) / (b * b);
  shift_ = -n / (mm - 2);
  scale_ = 2 * b;
  shape_ = nu / 2;
  lnGamma_ = LogGamma(shape_);
  split_ = std::max(1.0, shape_);
  // Terms c_k t^k for t up to split / s (1 unless s < 1), until they fall
  // below 1e-18 of the sum (which is at least 1) after their largest.
  const double t = split_ / shape_;
  std::vector<double> c{1.0};
  double ck = 1, term = 1;
  for (double k = 1;; k += 1) {
    ck *= shape_ / (shape_ + k);
    term *= t * shape_ / (shape_ + k);
    c.push_back(ck);
    if (k > shape_ * (t - 1) + 1 && term < 1e-18) break;
  }
  while (c.size() % 4 != 0) c.push_back(0);
  coeff_.resize(c.size());
  const size_t per = c.size() / 4;
  for (size_t j = 0; j < per; ++j)
    for (size_t r = 0; r < 4; ++r) coeff_[r * per + j] = c[4 * j + r];
}

double LongBlocksLaw::PValue(double x) const {
  const double y = (x - shift_) / scale_;
  if (!(y < split_)) return IncompleteGammaQ(shape_, y);  // the far tail, NaN and infinity
  if (y <= 0) return 1.0;
  // 1 - P(s, y) as IncompleteGammaQ takes it below s, P's prefactor by the
  // same operations.
  const double ax = shape_ * std::log(y) - y - lnGamma_;
  if (ax < -709.782712893384) return 1.0;
  const double t = y / shape_, t2 = t * t, t4 = t2 * t2;
  const size_t per = coeff_.size() / 4;
  const double* c = coeff_.data();
  double h0 = 0, h1 = 0, h2 = 0, h3 = 0;
  for (size_t j = per; j-- > 0;) {
    h0 = h0 * t4 + c[j];
    h1 = h1 * t4 + c[per + j];
    h2 = h2 * t4 + c[2 * per + j];
    h3 = h3 * t4 + c[3 * per + j];
  }
  const double sum = (h0 + t * h1) + t2 * (h2 + t * h3);
  return 1.0 - sum * std::exp(ax) / shape_;
}

void LONGBLK::RunTest() {
  const uint64_t n = seqLen;
  // The lengths of the walk, up to the first that leaves fewer than 10
  // blocks. With a doubling step they are summed up together, otherwise
  // each on its own.
  Level levels[MAX_LEVELS];
  int count = 0;
  size_t row = 0;
  bool hashed = false;
  uint64_t hash = 0;
  auto flush = [&] {
    if (count == 0) return;
    SumLevels(seqBits, n, levels, count);
    if (!hashed) {
      hash = SampledSequenceHash(seqBits, n);
      hashed = true;
    }
    for (int l = 0; l < count; ++l, ++row) {
      // The rows are the same for every sequence of a run: their laws are
      // made on the first.
      if (row == laws_.size()) laws_.emplace_back();
      LongBlocksLaw& law = laws_[row];
      if (law.blocks != levels[l].blocks || law.m != levels[l].m) law = LongBlocksLaw(levels[l].blocks, levels[l].m);
      const double x = static_cast<double>(levels[l].squares) / static_cast<double>(levels[l].m);
      const double u = HashUniform(hash, LONGBLK_SALT + levels[l].m);
      AddResult(law.RandomisedPValue(x, u), "Long blk %d", static_cast<int>(levels[l].m));
    }
    count = 0;
  };
  for (int m : Grid(longBlkSmin, longBlkSmax, longBlkSstp)) {
    const uint64_t blocks = n / static_cast<uint64_t>(m);
    if (blocks < 10) break;
    levels[count++] = {static_cast<uint64_t>(m), blocks, 0};
    if (longBlkSstp >= 1 || count == MAX_LEVELS) flush();
  }
  flush();
}
