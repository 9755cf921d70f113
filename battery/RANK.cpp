#include "battery/RANK.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "battery/GridWalk.h"
#include "battery/MergedChiSquare.h"
#include "battery/RunState.h"

int RANK::rows = 0;
int RANK::cols = 0;

double RankProbability(int R, int C, int r) {
  // 2^(r (R + C - r) - R C), formed in 64 bits: R C can exceed 2^31.
  const int64_t exponent = int64_t(r) * (int64_t(R) + C - r) - int64_t(R) * C;
  double p = std::ldexp(1.0, static_cast<int>(std::max<int64_t>(exponent, -100000)));
  for (int k = 0; k < r && p > 0; ++k)
    p *= (1 - std::ldexp(1.0, k - R)) * (1 - std::ldexp(1.0, k - C)) / (1 - std::ldexp(1.0, k - r));
  return p;
}

int Gf2Rank(uint64_t* matrix, int words) {
  const int R = RANK::rows, C = RANK::cols;
  int i = 0;
  for (int j = 0; j < C && i < R; ++j) {
    const int w = j >> 6;
    const uint64_t bit = uint64_t(1) << (j & 63);
    int k = i;
    while (k < R && !(matrix[size_t(k) * words + w] & bit)) ++k;
    if (k == R) continue;
    uint64_t* pivot = matrix + size_t(i) * words;
    if (k != i) std::swap_ranges(pivot, pivot + words, matrix + size_t(k) * words);
    // The rows between i and k have bit j clear; those after k may not.
    for (int r = k + 1; r < R; ++r) {
      uint64_t* row = matrix + size_t(r) * words;
      if (row[w] & bit)
        for (int x = w; x < words; ++x) row[x] ^= pivot[x];
    }
    ++i;
  }
  return i;
}

namespace {

// The least expected count of every class of a three-class size.
constexpr double MIN_THREE_CLASS_EXPECTED = 30;

// The rank of a matrix of at most 64 columns, one word per row: each row is
// reduced against the rows kept so far, indexed by their lowest set bit.
int NarrowRank(const uint64_t* rowsBits, int R) {
  uint64_t basis[64] = {};
  int rank = 0;
  for (int r = 0; r < R; ++r) {
    uint64_t v = rowsBits[r];
    while (v != 0) {
      const int b = __builtin_ctzll(v);
      if (basis[b] == 0) {
        basis[b] = v;
        ++rank;
        break;
      }
      v ^= basis[b];
    }
  }
  return rank;
}

}  // namespace

void RANK::RankOneSize(int slot) {
  const int R = rows, C = cols;
  const uint64_t cells = uint64_t(R) * uint64_t(C);
  const uint64_t N = seqLen / cells;
  if (N == 0) return;
  const int m = std::min(R, C);

  // The classes depend only on N and the law: decide before ranking. The
  // scan from the full rank down stops after the first rank expected less
  // than 0.001 times.
  law_.assign(m + 1, 0.0);
  int enough = 0, lowest = 0, closed = 0;
  double open = 0, smallest = 0;
  for (int r = m; r >= 0; --r) {
    law_[r] = RankProbability(R, C, r);
    const double expected = static_cast<double>(N) * law_[r];
    if (expected >= 5) ++enough;
    open += expected;
    if (open >= 5) {
      smallest = closed == 0 ? open : std::min(smallest, open);
      ++closed;
      open = 0;
    }
    lowest = r;
    if (expected < 0.001) break;
  }
  if (enough < 2 || closed < 3) return;
  // With three classes (two degrees of freedom) and a class expecting only
  // about ten matrices, the statistic takes too few values for the
  // chi-square law: over 10^4 good sequences the p-values are visibly not
  // uniform (64 x 63 at 2^20 bits: KS 3e-7 and 2e-8). Such a size waits for
  // a longer sequence; four or more classes are fine from 5 on.
  if (closed == 3 && smallest < MIN_THREE_CLASS_EXPECTED) return;

  counts_.assign(m + 1, 0);
  const int words = (C + 63) / 64;
  // Each row's C bits, bit t lowest (column order within a row does not
  // change the rank).
  if (C <= 64) {
    const uint64_t rowMask = LowMask64(C);
    matrix_.resize(R);
    for (uint64_t i = 0; i < N; ++i) {
      const uint64_t start = i * cells;
      for (int r = 0; r < R; ++r) matrix_[r] = LsbFirst64(seqBits, start + uint64_t(r) * C, C) & rowMask;
      ++counts_[NarrowRank(matrix_.data(), R)];
    }
  } else {
    matrix_.resize(size_t(R) * words);
    for (uint64_t i = 0; i < N; ++i) {
      const uint64_t start = i * cells;
      for (int r = 0; r < R; ++r) {
        uint64_t* row = matrix_.data() + size_t(r) * words;
        const uint64_t t = start + uint64_t(r) * C;
        for (int w = 0; w < words; ++w) {
          const int len = std::min(64, C - 64 * w);
          row[w] = LsbFirst64(seqBits, t + 64 * uint64_t(w), len) & LowMask64(len);
        }
      }
      ++counts_[Gf2Rank(matrix_.data(), words)];
    }
  }

  MergedChiSquareSum chi2;
  for (int r = m; r >= lowest; --r) chi2.Add(static_cast<double>(counts_[r]), static_cast<double>(N) * law_[r]);
  AddResult(chi2.PValue(), "Rank %dx%d", R, C);
}

void RANK::RunTest() {
  for (int R : Grid(rankRmin, rankRmax, rankRstp)) {
    rows = R;
    if (rankM == 0) {
      for (int C : Grid(rankCmin, rankCmax, rankCstp)) {
        cols = C;
        RankOneSize(slot);
      }
    } else if (rankM == 1) {
      // Columns from R + cmin to R + cmax; a shifting step from a start of
      // 0 or below ends the walk after it (it could never grow).
      for (int C : Grid(R + rankCmin, R + rankCmax, rankCstp)) {
        if (C <= 1) continue;
        cols = C;
        RankOneSize(slot);
      }
    } else if (rankM == 2) {
      cols = R;
      RankOneSize(slot);
    }
  }
}
