#include "battery/SHORTBLK.h"

#include <algorithm>

#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "battery/GridWalk.h"
#include "battery/RandomisedPValue.h"
#include "battery/RunState.h"

namespace {

constexpr uint64_t SHORTBLK_SALT = 0x53484F5200000000ull;

// Spreads the bits of a piece of M = 64 / L bits into M lanes of L bits:
// bit k of the piece becomes the lowest bit of lane k.
template <int L>
struct LaneSpread {
  static constexpr int M = 64 / L;
  uint64_t table[1 << M];
  LaneSpread() {
    for (int v = 0; v < (1 << M); ++v) {
      uint64_t spread = 0;
      for (int k = 0; k < M; ++k)
        if ((v >> k) & 1) spread |= uint64_t(1) << (L * k);
      table[v] = spread;
    }
  }
};

// Words of S bits taken d bits apart (2 <= S <= L, d >= 2), 64 words of a
// group at a time: the S rows of a group (row r is the d bits from
// b + r d) are read 64 columns at once, each row's bits are spread into
// lanes of L bits and shifted in below the rows before, so that after S
// rows every lane holds one word, row 0 in its top bit.
template <int L>
void CountStrided(const uint32_t* words, uint64_t groups, int S, uint64_t d, uint32_t* counts) {
  static const LaneSpread<L> spread;
  constexpr int M = LaneSpread<L>::M;
  constexpr uint64_t PIECE_MASK = (uint64_t(1) << M) - 1;
  constexpr uint64_t LANE_MASK = (uint64_t(1) << L) - 1;
  uint64_t acc[64 / M];
  for (uint64_t g = 0; g < groups; ++g) {
    const uint64_t b = g * d * static_cast<uint64_t>(S);
    for (uint64_t j = 0; j < d; j += 64) {
      const int cols = d - j < 64 ? static_cast<int>(d - j) : 64;
      if (cols == 64) {
        for (int p = 0; p < 64 / M; ++p) acc[p] = 0;
        for (int r = 0; r < S; ++r) {
          const uint64_t row = LsbFirst64(words, b + r * d + j, 64);
          for (int p = 0; p < 64 / M; ++p) acc[p] = (acc[p] << 1) | spread.table[(row >> (p * M)) & PIECE_MASK];
        }
        for (int p = 0; p < 64 / M; ++p)
          for (int k = 0; k < M; ++k) ++counts[(acc[p] >> (L * k)) & LANE_MASK];
      } else {
        const int pieces = (cols + M - 1) / M;
        for (int p = 0; p < pieces; ++p) acc[p] = 0;
        for (int r = 0; r < S; ++r) {
          const uint64_t row = LsbFirst64(words, b + r * d + j, cols);
          for (int p = 0; p < pieces; ++p) acc[p] = (acc[p] << 1) | spread.table[(row >> (p * M)) & PIECE_MASK];
        }
        // Lanes past the last column hold bits of no word.
        for (int c = 0; c < cols; ++c) ++counts[(acc[c / M] >> (L * (c % M))) & LANE_MASK];
      }
    }
  }
}

// Words of S bits taken d bits apart for small S (2 <= S <= 4, d >= 2),
// 64 words of a group at a time: the S rows of 64 columns split the
// columns into the 2^S masks of those whose bits read v, row 0 as the top
// bit; each value's count is a popcount of its mask.
QV_POPCNT_CLONES
void CountStridedMasks(const uint32_t* words, uint64_t groups, int S, uint64_t d, uint32_t* counts) {
  const int values = 1 << S;
  uint64_t sums[16] = {};
  uint64_t mask[16];
  for (uint64_t g = 0; g < groups; ++g) {
    const uint64_t b = g * d * static_cast<uint64_t>(S);
    for (uint64_t j = 0; j < d; j += 64) {
      const int cols = d - j < 64 ? static_cast<int>(d - j) : 64;
      mask[0] = cols == 64 ? ~uint64_t(0) : (uint64_t(1) << cols) - 1;
      for (int r = 0, size = 1; r < S; ++r, size *= 2) {
        const uint64_t row = LsbFirst64(words, b + r * d + j, cols);
        // Value i of the rows so far becomes 2 i (bit of this row 0) or
        // 2 i + 1; from the top down, so no mask is overwritten unread.
        for (int i = size - 1; i >= 0; --i) {
          const uint64_t m = mask[i];
          mask[2 * i + 1] = m & row;
          mask[2 * i] = m & ~row;
        }
      }
      for (int v = 0; v < values; ++v) sums[v] += Popcount64(mask[v]);
    }
  }
  for (int v = 0; v < values; ++v) counts[v] += static_cast<uint32_t>(sums[v]);
}

// Consecutive words of S = 2, 4 or 8 bits: the stored bytes are counted
// (8 / S words each, one increment per byte) and each byte value's count
// is then added to the counts of its words; words left after the last
// whole byte are read one by one.
void CountConsecutiveByBytes(const uint32_t* words, uint64_t total, int S, uint32_t* counts) {
  const uint64_t bytes = total * S / 8;
  uint64_t perByte[256] = {};
  for (uint64_t k = 0; k < bytes; ++k) ++perByte[ReadByte(words, k)];
  for (uint32_t b = 0; b < 256; ++b) {
    if (perByte[b] == 0) continue;
    for (int j = 0; j < 8 / S; ++j) {
      uint32_t v = 0;  // bits j S .. j S + S - 1 of the byte, the first on top
      for (int r = 0; r < S; ++r) v = (v << 1) | ((b >> (j * S + r)) & 1);
      counts[v] += static_cast<uint32_t>(perByte[b]);
    }
  }
  ForEachValue(words, bytes * 8, total - bytes * 8 / S, S, [counts](uint32_t v) { ++counts[v]; });
}

}  // namespace

uint64_t CountShortBlocks(const uint32_t* words, uint64_t n, int S, uint64_t d, uint32_t* counts) {
  const uint64_t groups = n / static_cast<uint64_t>(S) / d;
  const uint64_t total = groups * d;
  if (total == 0) return 0;
  if (S == 1) {
    // One-bit words are the bits themselves, whatever the distance.
    const uint64_t ones = CountOnes(words, 0, total);
    counts[1] += static_cast<uint32_t>(ones);
    counts[0] += static_cast<uint32_t>(total - ones);
  } else if (d == 1 && 8 % S == 0) {
    CountConsecutiveByBytes(words, total, S, counts);
  } else if (d == 1) {
    ForEachValue(words, 0, total, S, [counts](uint32_t v) { ++counts[v]; });
  } else if (S <= 4) {
    CountStridedMasks(words, groups, S, d, counts);
  } else if (S <= 8) {
    CountStrided<8>(words, groups, S, d, counts);
  } else if (S <= 16) {
    CountStrided<16>(words, groups, S, d, counts);
  } else {
    CountStrided<32>(words, groups, S, d, counts);
  }
  return total;
}

// The chi-square's randomised p-value. One-bit words: the count of ones is
// binomial (total, 1/2) and X = (2 ones - total)^2 / total ranks its
// outcomes by their distance from total / 2, so the exact two-sided law
// gives P(X > x) + u P(X = x). Longer words: X = 2^S sum c^2 / total -
// total and sum c^2 has the parity of sum c = total, so X lives on a lattice
// of step h = 2 2^S / total. The chi-square law's mass within h / 2 of a
// lattice point is taken as the point's atom, and x is moved within it by u
// (LatticePoint): the p-value lies between the lattice law's
// P(X > x) = Q(x + h / 2) and P(X >= x) = Q(x - h / 2) and has no atom.
double ShortBlocksPValue(int S, uint64_t total, const uint32_t* counts, double u) {
  const uint64_t cells = uint64_t(1) << S;
  if (S == 1) return BinomialTwoSidedRandomisedP(total, 0.5, counts[1], u);
  const double expected = static_cast<double>(total) / static_cast<double>(cells);
  double sum = 0;
  for (uint64_t c = 0; c < cells; ++c) {
    const double diff = static_cast<double>(counts[c]) - expected;
    sum += diff * diff;
  }
  const double x = sum / expected;
  return LatticeChiSquarePValue(static_cast<double>(cells - 1), x, 2 * static_cast<double>(cells) / static_cast<double>(total), u);
}

void SHORTBLK::RunTest() {
  const uint64_t n = seqLen;
  bool oneBitDone = false;
  bool hashed = false;
  uint64_t hash = 0;
  for (int S : Grid(shortBlkSmin, shortBlkSmax, shortBlkSstp)) {
    if (S < 1 || S > 31) break;
    const uint64_t cells = uint64_t(1) << S;
    const uint64_t words = n / static_cast<uint64_t>(S);
    // At least five words per value on average.
    if (words < 5 * cells) break;
    if (counts_.size() < cells) counts_.resize(cells);
    for (int d : Grid(shortBlkDmin, shortBlkDmax, shortBlkDstp)) {
      // A one-bit word is the same at every distance: tested once.
      if (S == 1 && oneBitDone) break;
      if (d < 1 || static_cast<uint64_t>(d) > words) break;
      std::fill(counts_.begin(), counts_.begin() + cells, 0u);
      const uint64_t total = CountShortBlocks(seqBits, n, S, static_cast<uint64_t>(d), counts_.data());
      if (!hashed) {
        hash = SampledSequenceHash(seqBits, n);
        hashed = true;
      }
      const double u = HashUniform(hash, SHORTBLK_SALT + (static_cast<uint64_t>(S) << 32) + static_cast<uint64_t>(d));
      AddResult(ShortBlocksPValue(S, total, counts_.data(), u), "Short blk %d_%d", S, d);
      if (S == 1) oneBitDone = true;
    }
  }
}
