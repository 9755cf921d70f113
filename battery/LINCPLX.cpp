#include "battery/LINCPLX.h"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <numeric>
#include <utility>

#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "battery/Messages.h"
#include "battery/RandomisedPValue.h"
#include "battery/RunState.h"

namespace {

constexpr int JOBS_PER_THREAD = 4;
constexpr uint64_t LINCPLX_SALT = 0x4C494E4300000000ull;

inline uint64_t ReverseBits64(uint64_t v) {
  return (static_cast<uint64_t>(ReverseBits32(static_cast<uint32_t>(v))) << 32) |
         ReverseBits32(static_cast<uint32_t>(v >> 32));
}

// Berlekamp-Massey over the M bits of rev (bit x is block bit M - 1 - x,
// zero words after them): returns L and counts the jumps. c starts zeroed;
// b and t are scratch polynomials of c's size, window scratch of as many
// words as c can fill. One function, so the parity inside is the hardware
// popcount where the processor has it.
QV_POPCNT_CLONES int BerlekampMassey(const uint64_t* rev, int M, uint64_t* c, uint64_t* b, uint64_t* t, uint64_t* window,
                                     int& jumps) {
  c[0] = 1;
  b[0] = 1;
  int bWords = 1;  // words of b that hold its polynomial
  int L = 0, m = -1;
  jumps = 0;
  int have = 0;  // words of window that are kept up to date
  for (int j = 0; j < M; ++j) {
    // The bits s_j, s_{j-1}, ... that c_0, c_1, ... multiply start at bit
    // o = M - 1 - j of rev and run upwards: window holds them word by word,
    // moved up one bit per step (bit o entering at the bottom) instead of
    // read at a new shift every step; a word that c grows into is read
    // once. c is copied to the scratch t on the way, in case L grows and the
    // old c becomes b.
    const int o = M - 1 - j;
    const int cWords = (L >> 6) + 1;  // deg c <= L
    uint64_t acc = 0;
    uint64_t carry = (rev[o >> 6] >> (o & 63)) & 1;
    for (int w = 0; w < have; ++w) {
      const uint64_t moved = (window[w] << 1) | carry;
      carry = window[w] >> 63;
      window[w] = moved;
      acc ^= (t[w] = c[w]) & moved;
    }
    for (; have < cWords; ++have) {
      const uint64_t* s = rev + (o >> 6) + have;
      const int shift = o & 63;
      window[have] = shift == 0 ? s[0] : (s[0] >> shift) | (s[1] << (64 - shift));
      acc ^= (t[have] = c[have]) & window[have];
    }
    // No branch on the discrepancy, which is 0 or 1 at random: masks all
    // ones (d) when it is 1 and (g) when L grows as well; the update is
    // masked to nothing otherwise and L, m, bWords and the roles of b and
    // t are selected by g.
    const uint64_t d = 0 - static_cast<uint64_t>(Popcount64(acc) & 1);
    const uint64_t g = d & (0 - static_cast<uint64_t>(2 * L <= j));
    // c += x^(j - m) b.
    const int distance = j - m;
    uint64_t* target = c + (distance >> 6);
    const int bits = distance & 63;
    if (bits == 0) {
      for (int w = 0; w < bWords; ++w) target[w] ^= b[w] & d;
    } else {
      for (int w = 0; w < bWords; ++w) {
        target[w] ^= (b[w] << bits) & d;
        target[w + 1] ^= (b[w] >> (64 - bits)) & d;
      }
    }
    const int grows = static_cast<int>(g & 1);
    L ^= (L ^ (j + 1 - L)) & -grows;
    m ^= (m ^ j) & -grows;
    bWords ^= (bWords ^ cWords) & -grows;
    jumps += grows;
    const uintptr_t swap = (reinterpret_cast<uintptr_t>(b) ^ reinterpret_cast<uintptr_t>(t)) & g;
    b = reinterpret_cast<uint64_t*>(reinterpret_cast<uintptr_t>(b) ^ swap);
    t = reinterpret_cast<uint64_t*>(reinterpret_cast<uintptr_t>(t) ^ swap);
  }
  return L;
}

}  // namespace

std::vector<double> LinearComplexityClassProbabilities(int K, int M) {
  std::vector<double> p(static_cast<size_t>(K) + 1);
  const int h = K / 2;
  p[h] = 0.5;
  for (int j = 1; j < h; ++j) {
    p[h + j] = std::ldexp(1.0, -2 * j);
    p[h - j] = std::ldexp(1.0, -2 * j - 1);
  }
  p[K] = 1 / (3 * std::ldexp(1.0, K - 2));
  p[0] = 1 / (3 * std::ldexp(1.0, K - 1));
  // The published tails sum the law of L without end; L lies in 0 .. M, and
  // P(L = 0) = 2^-M, so each tail is off by 2^-M / 3: even M moves it from
  // the upper tail to the lower one, odd M the other way.
  const double cut = std::ldexp(1.0, -M) / 3;
  const double sign = (M % 2 == 0) ? 1.0 : -1.0;
  p[0] += sign * cut;
  p[K] -= sign * cut;
  return p;
}

LinearComplexityClassLaw::LinearComplexityClassLaw(int64_t N, int K, const double* p)
    : N_(N), K_(K), p_(p, p + K + 1) {
  // Whole weights 1 / p_i and their greatest common divisor.
  bool whole = true;
  int64_t g = 0;
  for (int i = 0; i <= K; ++i) {
    const double w = 1 / p[i];
    if (!(w < 0x1p40) || std::nearbyint(w) != w) {
      whole = false;
      break;
    }
    weight_.push_back(static_cast<int64_t>(w));
    g = std::gcd(g, weight_.back());
  }
  if (!whole) {
    weight_.clear();
    return;
  }
  step_ = g;
  base_ = static_cast<int64_t>((static_cast<unsigned __int128>(N) * N) / g);
  // The outcomes below X_MAX fill an ellipsoid: the K-ball of radius
  // sqrt(X_MAX) times N^(K/2) sqrt(prod p_i). Enumerated only when few, with
  // a lattice short enough to hold.
  const double r = std::sqrt(X_MAX);
  double lnVolume = K / 2.0 * std::log(M_PI) - std::lgamma(K / 2.0 + 1) + K * std::log(r) + K / 2.0 * std::log(double(N));
  for (int i = 0; i <= K; ++i) lnVolume += 0.5 * std::log(p[i]);
  const double points = static_cast<double>(N) * X_MAX / static_cast<double>(g) + 2;
  int64_t wMax = 0;
  for (int64_t w : weight_) wMax = std::max(wMax, w);
  if (lnVolume > std::log(MAX_OUTCOMES) || points > static_cast<double>(MAX_POINTS) ||
      static_cast<double>(wMax) * static_cast<double>(N) * static_cast<double>(N) > 0x1p62)
    return;
  prob_.assign(static_cast<size_t>(points), 0.0);
  std::vector<double> lnFact(static_cast<size_t>(N) + 1, 0.0);
  for (int64_t k = 1; k <= N; ++k) lnFact[k] = lnFact[k - 1] + std::log(static_cast<double>(k));
  std::vector<double> lnP(K + 1), expected(K + 1);
  for (int i = 0; i <= K; ++i) {
    lnP[i] = std::log(p[i]);
    expected[i] = static_cast<double>(N) * p[i];
  }
  // The class of probability 1/2 (K / 2) takes what the others leave; the
  // others are walked from their mean outwards, each direction until the
  // statistic so far reaches X_MAX.
  const int last = K / 2;
  std::vector<int> order;
  for (int i = 0; i <= K; ++i)
    if (i != last) order.push_back(i);
  const double limit = X_MAX;
  auto walk = [&](auto&& self, size_t depth, int64_t left, double lnSoFar, double xSoFar, int64_t sSoFar) -> void {
    if (depth == order.size()) {
      const double d = static_cast<double>(left) - expected[last];
      const double x = xSoFar + d * d / expected[last];
      if (!(x < limit)) return;
      const int64_t S = sSoFar + weight_[last] * left * left;
      const int64_t k = S / step_ - base_;
      if (k < 0 || k >= static_cast<int64_t>(prob_.size())) return;
      prob_[k] += std::exp(lnFact[N] + lnSoFar - lnFact[left] + static_cast<double>(left) * lnP[last]);
      return;
    }
    const int c = order[depth];
    const int64_t mid = std::min<int64_t>(left, static_cast<int64_t>(std::llround(expected[c])));
    for (int dir = 0; dir < 2; ++dir) {
      for (int64_t o = dir == 0 ? mid : mid - 1; o >= 0 && o <= left; o += dir == 0 ? 1 : -1) {
        const double d = static_cast<double>(o) - expected[c];
        const double x = xSoFar + d * d / expected[c];
        if (!(x < limit)) break;
        self(self, depth + 1, left - o, lnSoFar - lnFact[o] + static_cast<double>(o) * lnP[c], x,
             sSoFar + weight_[c] * o * o);
      }
    }
  };
  walk(walk, 0, N, 0.0, 0.0, 0);
  // P(point > k), with what lies at X_MAX and beyond (1 less what was
  // enumerated) above every point.
  double total = 0;
  for (double v : prob_) total += v;
  above_.assign(prob_.size(), 0.0);
  double acc = std::max(0.0, 1 - total);
  for (size_t k = prob_.size(); k-- > 0;) {
    above_[k] = acc;
    acc += prob_[k];
  }
}

double LinearComplexityClassLaw::RandomisedPValue(const uint64_t* O, double u) const {
  double x = 0;
  for (int i = 0; i <= K_; ++i) {
    const double e = static_cast<double>(N_) * p_[i];
    const double d = static_cast<double>(O[i]) - e;
    x += d * d / e;
  }
  if (Exact() && x < X_MAX) {
    int64_t S = 0;
    for (int i = 0; i <= K_; ++i) S += weight_[i] * static_cast<int64_t>(O[i] * O[i]);
    const int64_t k = S / step_ - base_;
    if (k >= 0 && k < static_cast<int64_t>(prob_.size()) && prob_[k] > 0)
      return ::RandomisedPValue(std::min(above_[k], 1.0), std::min(above_[k] + prob_[k], 1.0), u);
  }
  // The lattice's step: g / N (1 / N where the weights are not whole).
  const double h = static_cast<double>(step_) / static_cast<double>(N_);
  return LatticeChiSquarePValue(K_, x, h, u);
}

LINCPLX::LINCPLX() {
  const uint32_t n = seqLen;
  // Block length, optionally the one of [len, 1.2 len) that leaves the
  // smallest remainder.
  int M = std::max(liCoLen, 1);
  if (liCoOptlen) {
    uint32_t best = n % static_cast<uint32_t>(M);
    for (int64_t m = M + 1; best != 0 && static_cast<double>(m) < 1.2 * liCoLen; ++m) {
      const uint32_t r = n % static_cast<uint32_t>(m);
      if (r < best) {
        best = r;
        M = static_cast<int>(m);
      }
    }
  }
  blockLen = M;

  // Block count, limited to N_k = 15 * 2^(2k - 1) when k is set.
  int64_t N = n / static_cast<uint32_t>(M);
  if (liCoK != 0) {
    const int64_t Nk = 15 * (int64_t(1) << (liCoK - 1));
    if (static_cast<double>(n) > static_cast<double>(Nk) * M) {
      N = Nk;
      AppendLog(wxString::Format("Linear complexity test: sequence length truncated to %u bits\n\n",
                                 static_cast<unsigned>(Nk * M)));
    }
  }
  blockCount = static_cast<int>(N);

  // Classes: the largest even K for which N / (3 * 2^(K - 1)) >= 5, capped
  // where the block length would leave classes that T cannot reach (T is
  // at most about M / 2 away from 0, so K <= 2 floor(M / 2)).
  classCount = 0;
  for (int K = 2; K <= 2 * (M / 2) && K <= 62; K += 2) {
    if (static_cast<double>(N) / (3 * std::ldexp(1.0, K - 1)) < 5) break;
    classCount = K;
  }
  if (classCount > 0) {
    const std::vector<double> p = LinearComplexityClassProbabilities(classCount, M);
    classProb = new double[classCount + 1];
    std::copy(p.begin(), p.end(), classProb);
    classLaw_ = LinearComplexityClassLaw(N, classCount, classProb);
  }

  // Moments of L and J for a random M-bit block.
  const int r = M % 2;
  const double D = std::ldexp(1.0, -M);
  parity = r ? -1 : 1;
  lenMean = M / 2.0 + (9.0 + (r ? 1 : -1)) / 36.0 - (M / 3.0 + 2.0 / 9.0) * D;
  jumpMean = M / 4.0 + (4.0 + r) / 12.0 - D / 3;
  jumpVar = M / 8.0 - (2.0 - r) / (9.0 - r) + M * D / 6 + (6.0 + r) * D / 18 - D * D / 9;

  // Work arrays for the run: the reversed block and three polynomials, with
  // room for a shifted polynomial and the zero words a window reads past
  // the block's first bit; one set per sub-thread. Each job takes about as
  // many blocks, a few jobs per sub-thread so that they end together.
  const size_t words = static_cast<size_t>(M + 63) / 64;
  const int cpus = std::max(cpuCount, 1);
  jobCount = std::min(blockCount, JOBS_PER_THREAD * cpus);
  threadCount = std::min(cpus, jobCount);
  work_.resize(std::max(threadCount, 1));
  for (Workspace& w : work_)
    for (auto* v : {&w.rev, &w.c, &w.b, &w.t, &w.window}) v->assign(2 * words + 4, 0);
  lengths_.assign(static_cast<size_t>(std::max(blockCount, 0)), 0);
  jumps_.assign(lengths_.size(), 0);
  counts_.assign(static_cast<size_t>(classCount) + 1, 0);
  pool_.Create(threadCount);
  pool_.Start(Work, this);
}

LINCPLX::~LINCPLX() {
  // The sub-threads end before what they use is freed.
  pool_.End();
  delete[] classProb;
}

void LINCPLX::Work(void* context, int job, int thread) {
  auto* self = static_cast<LINCPLX*>(context);
  const int64_t N = self->blockCount, jobs = self->jobCount;
  const int first = static_cast<int>(N * job / jobs), last = static_cast<int>(N * (job + 1) / jobs);
  const uint64_t M = static_cast<uint64_t>(self->blockLen);
  for (int i = first; i < last; ++i)
    self->lengths_[i] = self->BlockComplexity(self->work_[thread], static_cast<uint64_t>(i) * M, self->jumps_[i]);
}

int LINCPLX::BlockComplexity(Workspace& work, uint64_t start, int& jumps) const {
  const int M = blockLen;
  const int words = (M + 63) / 64;
  // rev bit x is block bit M - 1 - x, so the bits s_j, s_{j-1}, ... that
  // the discrepancy at j multiplies with c_0, c_1, ... start at bit
  // M - 1 - j of rev and run upwards; bits from M on are 0.
  for (int k = 0; k < words; ++k) {
    const int64_t p = int64_t(M) - 64 * int64_t(k + 1);
    if (p >= 0) {
      work.rev[k] = ReverseBits64(LsbFirst64(seqBits, start + static_cast<uint64_t>(p)));
    } else {
      const int count = M - 64 * k;  // 1 .. 63 bits: block bits 0 .. count - 1
      work.rev[k] = ReverseBits64(LsbFirst64(seqBits, start, count) & LowMask64(count)) >> (64 - count);
    }
  }
  std::fill(work.c.begin(), work.c.end(), 0);
  return BerlekampMassey(work.rev.data(), M, work.c.data(), work.b.data(), work.t.data(), work.window.data(), jumps);
}

void LINCPLX::RunTest() {
  const int M = blockLen, K = classCount, N = blockCount;
  const bool whole = pool_.RunAll(jobCount);
  subThreadCpuSeconds = pool_.CpuSeconds();
  // A failed event call (logged by the pool) costs this sequence only: its
  // rows are short.
  if (!whole) {
    AddResult(PVALUE_SHORT, "LCjmp_%d_%d", M, N);
    if (K > 0) AddResult(PVALUE_SHORT, "LClen_%d_%d", M, K);
    return;
  }
  std::fill(counts_.begin(), counts_.end(), 0);
  double xJump = 0;
  for (int i = 0; i < N; ++i) {
    const int J = jumps_[i], L = lengths_[i];
    const double d = J - jumpMean;
    xJump += d * d / jumpVar;
    if (K > 0) {
      const double T = parity * (L - lenMean) + 2.0 / 9.0;
      int index = static_cast<int>(T + K / 2 + 0.5);  // truncated towards zero
      index = std::clamp(index, 0, K);
      ++counts_[index];
    }
  }
  AddResult(IncompleteGammaQ(N / 2.0, xJump / 2), "LCjmp_%d_%d", M, N);
  if (K > 0) {
    // The class counts take few values: randomised over their atom.
    const double u = HashUniform(SampledSequenceHash(seqBits, seqLen), LINCPLX_SALT);
    AddResult(classLaw_.RandomisedPValue(counts_.data(), u), "LClen_%d_%d", M, K);
  }
}
