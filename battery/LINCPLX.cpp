#include "battery/LINCPLX.h"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <utility>

#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "battery/Messages.h"
#include "battery/RunState.h"

namespace {

constexpr int JOBS_PER_THREAD = 4;

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
    double X = 0;
    for (int i = 0; i <= K; ++i) {
      const double expected = N * classProb[i];
      const double d = static_cast<double>(counts_[i]) - expected;
      X += d * d / expected;
    }
    AddResult(IncompleteGammaQ(K / 2.0, X / 2), "LClen_%d_%d", M, K);
  }
}
