#include "battery/RANK.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "battery/GridWalk.h"
#include "battery/MergedChiSquare.h"
#include "battery/RandomisedPValue.h"
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

// Gauss-Jordan elimination column by column, with the 32 rows in eight
// vectors of four: the rows holding the column's bit come out as one mask,
// the first of them not yet a pivot becomes the pivot, and every row with
// the bit takes the pivot in, all without a branch on the data but the
// pivot's presence. The pivots found are the rank.
#ifdef __SSE2__
int SmallRank(uint32_t* rowsBits, int C) {
  __m128i m[8];
  std::memcpy(m, rowsBits, sizeof m);
  uint32_t used = 0;  // the rows that are pivots
  for (int b = 0; b < C; ++b) {
    const __m128i toSign = _mm_cvtsi32_si128(31 - b);
    uint32_t has = 0;
    for (int v = 0; v < 8; ++v)
      has |= static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_sll_epi32(m[v], toSign)))) << (4 * v);
    const uint32_t candidates = has & ~used;
    if (candidates == 0) continue;
    const int k = __builtin_ctz(candidates);
    used |= 1u << k;
    uint32_t pivot;
    std::memcpy(&pivot, reinterpret_cast<const char*>(m) + 4 * k, 4);
    const __m128i pv = _mm_set1_epi32(static_cast<int>(pivot)), bit = _mm_set1_epi32(static_cast<int>(1u << b));
    for (int v = 0; v < 8; ++v) {
      const __m128i with = _mm_cmpeq_epi32(_mm_and_si128(m[v], bit), bit);
      m[v] = _mm_xor_si128(m[v], _mm_and_si128(with, pv));
    }
    // The pivot row took itself in: put it back.
    std::memcpy(reinterpret_cast<char*>(m) + 4 * k, &pivot, 4);
  }
  std::memcpy(rowsBits, m, sizeof m);
  return __builtin_popcount(used);
}
#else
int SmallRank(uint32_t* rowsBits, int C) {
  uint32_t used = 0;
  for (int b = 0; b < C; ++b) {
    int k = 0;
    while (k < 32 && (((used >> k) & 1) || !((rowsBits[k] >> b) & 1))) ++k;
    if (k == 32) continue;
    used |= 1u << k;
    for (int r = 0; r < 32; ++r)
      if (r != k && ((rowsBits[r] >> b) & 1)) rowsBits[r] ^= rowsBits[k];
  }
  return __builtin_popcount(used);
}
#endif

FewClassLaw::FewClassLaw(uint64_t matrices, const double* probabilities, int classCount)
    : N(matrices), classes(classCount) {
  double sum = 0;
  for (int k = 0; k < classes; ++k) sum += q[k] = probabilities[k];
  const double rest = std::max(0.0, 1 - sum);
  std::vector<double> lnFactorial(N + 1, 0.0);
  for (uint64_t k = 1; k <= N; ++k) lnFactorial[k] = lnFactorial[k - 1] + std::log(static_cast<double>(k));
  double lnQ[4] = {};
  for (int k = 0; k < classes; ++k) lnQ[k] = std::log(q[k]);
  const double lnRest = rest > 0 ? std::log(rest) : 0;
  const double lnFloor = std::log(OUTCOME_FLOOR);
  // Counts d of the rest, then each class but the last given those before
  // it, each over 11 standard deviations of its conditional law either side
  // of its mean (what lies beyond weighs less than 1e-27); the last class
  // takes what is left.
  auto range = [](double n, double p, uint64_t& lo, uint64_t& hi) {
    const double mean = n * p, sd = std::sqrt(n * p * (1 - p));
    lo = static_cast<uint64_t>(std::max(0.0, std::floor(mean - 11 * sd - 2)));
    hi = static_cast<uint64_t>(std::min(n, std::ceil(mean + 11 * sd + 2)));
  };
  std::vector<double> mass(BINS + 1, 0.0);  // the last bin: beyond X_MAX
  std::vector<std::pair<double, double>> atoms;
  uint64_t O[4] = {};
  // Class k onward share `left` matrices and probability `share`; lnP so far.
  auto visit = [&](auto&& self, int k, uint64_t left, double share, double lnP) -> void {
    if (k == classes - 1) {
      O[k] = left;
      const double ln = lnP - lnFactorial[left] + static_cast<double>(left) * lnQ[k];
      if (ln < lnFloor) return;
      const double x = Statistic(O), pr = std::exp(ln);
      if (pr >= ATOM_MIN)
        atoms.emplace_back(x, pr);
      else
        mass[x < X_MAX ? static_cast<size_t>(x * (BINS / X_MAX)) : BINS] += pr;
      return;
    }
    uint64_t lo, hi;
    range(static_cast<double>(left), q[k] / share, lo, hi);
    for (uint64_t a = lo; a <= hi; ++a) {
      O[k] = a;
      self(self, k + 1, left - a, share - q[k], lnP - lnFactorial[a] + static_cast<double>(a) * lnQ[k]);
    }
  };
  uint64_t dLo, dHi;
  range(static_cast<double>(N), rest, dLo, dHi);
  for (uint64_t d = dLo; d <= dHi; ++d)
    visit(visit, 0, N - d, 1 - rest, lnFactorial[N] - lnFactorial[d] + static_cast<double>(d) * lnRest);
  tail_.assign(BINS + 2, 0.0);
  for (size_t i = BINS + 1; i-- > 0;) tail_[i] = tail_[i + 1] + mass[i];
  std::sort(atoms.begin(), atoms.end());
  x_.resize(atoms.size());
  atomTail_.assign(atoms.size() + 1, 0.0);
  for (size_t i = atoms.size(); i-- > 0;) {
    x_[i] = atoms[i].first;
    atomTail_[i] = atomTail_[i + 1] + atoms[i].second;
  }
}

double FewClassLaw::Statistic(const uint64_t* O) const {
  double x = 0;
  for (int k = 0; k < classes; ++k) {
    const double e = static_cast<double>(N) * q[k];
    const double d = static_cast<double>(O[k]) - e;
    x += d * d / e;
  }
  return x;
}

double FewClassLaw::MidPValue(double x) const {
  if (!(x < X_MAX)) return -1;
  // The outcomes kept one by one whose statistic equals x up to rounding
  // are the atom at x; the binned ones count half of x's bin.
  const size_t lo = std::lower_bound(x_.begin(), x_.end(), x * (1 - 1e-12)) - x_.begin();
  const size_t hi = std::upper_bound(x_.begin(), x_.end(), x * (1 + 1e-12)) - x_.begin();
  const size_t i = static_cast<size_t>(x * (BINS / X_MAX));
  const double p = atomTail_[hi] + (atomTail_[lo] - atomTail_[hi]) / 2 + tail_[i + 1] + (tail_[i] - tail_[i + 1]) / 2;
  return std::min(1.0, p);
}

double FewClassLaw::RandomisedPValue(double x, double u) const {
  if (!(x < X_MAX)) return -1;
  const size_t lo = std::lower_bound(x_.begin(), x_.end(), x * (1 - 1e-12)) - x_.begin();
  const size_t hi = std::upper_bound(x_.begin(), x_.end(), x * (1 + 1e-12)) - x_.begin();
  const size_t i = static_cast<size_t>(x * (BINS / X_MAX));
  const double greater = atomTail_[hi] + tail_[i + 1];
  const double atom = (atomTail_[lo] - atomTail_[hi]) + (tail_[i] - tail_[i + 1]);
  return ::RandomisedPValue(std::min(greater, 1.0), std::min(greater + atom, 1.0), u);
}

namespace {

constexpr uint64_t RANK_SALT = 0x52414E4B00000000ull;

// The least expected count of every class of a three-class size.
constexpr double MIN_THREE_CLASS_EXPECTED = 30;
// Four classes of which one expects fewer matrices than this: the
// chi-square law's upper tail is too light (32 x 32 at 2^20 bits, its last
// class expecting 5.4 matrices: 1.13 times the share below 0.01 and 1.57
// below 0.001), so the statistic is judged by its exact law.
constexpr double FOUR_CLASS_EXACT_BELOW = 10;

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
  classOf_.assign(m + 1, -1);
  int enough = 0, lowest = 0, closed = 0, first = m;
  double open = 0, smallest = 0;
  double q[4] = {};
  for (int r = m; r >= 0; --r) {
    law_[r] = RankProbability(R, C, r);
    const double expected = static_cast<double>(N) * law_[r];
    if (expected >= 5) ++enough;
    open += expected;
    if (open >= 5) {
      smallest = closed == 0 ? open : std::min(smallest, open);
      if (closed < 4) {
        for (int k = first; k >= r; --k) {
          classOf_[k] = closed;
          q[closed] += law_[k];
        }
      }
      ++closed;
      open = 0;
      first = r - 1;
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
  if (R <= 32 && C <= 32) {
    uint32_t small[32] = {};
    const uint64_t rowMask = LowMask64(C);
    for (uint64_t i = 0; i < N; ++i) {
      const uint64_t start = i * cells;
      for (int r = 0; r < R; ++r)
        small[r] = static_cast<uint32_t>(LsbFirst64(seqBits, start + uint64_t(r) * C, C) & rowMask);
      ++counts_[SmallRank(small, C)];
    }
  } else if (C <= 64) {
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
  double p = chi2.PValue();
  if (closed == 3 || (closed == 4 && smallest < FOUR_CLASS_EXACT_BELOW)) {
    // Two degrees of freedom and a few hundred matrices: the chi-square law
    // is off by up to 0.009 in the p-value's law (64 x 64 at 2^20 bits),
    // plainly so over 10^5 sequences; the statistic is judged by its exact
    // law, its p-value randomised over the atom it sits on (a few hundred
    // matrices over three classes: atoms of 0.1 %).
    const FewClassLaw& law = FewClassLawOf(R, C, N, q, closed);
    uint64_t O[4] = {};
    for (int r = m; r >= lowest; --r)
      if (classOf_[r] >= 0) O[classOf_[r]] += counts_[r];
    if (!hashed_) {
      hash_ = SampledSequenceHash(seqBits, seqLen);
      hashed_ = true;
    }
    const double u = HashUniform(hash_, RANK_SALT + (static_cast<uint64_t>(R) << 32) + static_cast<uint64_t>(C));
    const double exact = law.RandomisedPValue(law.Statistic(O), u);
    // Below 1e-20, and beyond every outcome tabulated, a plain failure: the
    // chi-square p-value stands.
    if (exact >= 1e-20) p = exact;
  }
  AddResult(p, "Rank %dx%d", R, C);
}

const FewClassLaw& RANK::FewClassLawOf(int R, int C, uint64_t N, const double* q, int classes) {
  for (const SizeLaw& s : fewClassLaws_)
    if (s.R == R && s.C == C && s.law.N == N) return s.law;
  fewClassLaws_.push_back({R, C, FewClassLaw(N, q, classes)});
  return fewClassLaws_.back().law;
}

void RANK::RunTest() {
  hashed_ = false;
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
