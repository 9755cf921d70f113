#include "battery/AUTOW.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "battery/GridWalk.h"
#include "battery/MergedChiSquare.h"
#include "battery/Messages.h"
#include "battery/RandomisedPValue.h"
#include "battery/RunState.h"

namespace {

const char* const CAPTION = "Quorvane - AUTOW test ERROR";

// Tells this test's draws from the sequence's bits from other tests'.
constexpr uint64_t AUTOW_SALT = 0x4155544F00000000ull;

// Inlined into the popcount clones of CountDistances, so that each clone
// gets its own copy with its own popcount.
#define AUTOW_INLINE inline __attribute__((always_inline))

AUTOW_INLINE uint64_t Aligned64(const uint32_t* w, uint64_t c) {
  return w[2 * c] | (static_cast<uint64_t>(w[2 * c + 1]) << 32);
}

constexpr uint64_t M1 = 0x5555555555555555ull, M2 = 0x3333333333333333ull, M4 = 0x0F0F0F0F0F0F0F0Full;

// The differences of the pairs as one stream of bits: bit t (t < pairs S)
// is bit t of the sequence xor bit t + D. For S dividing 64 each S-bit
// field of a 64-bit chunk is one pair; f(x, fields) gets each chunk and the
// number of whole pairs in it (the last chunk's bits past them are 0).
// Each chunk reads only as far as the bits it needs.
template <class F>
AUTOW_INLINE void ForEachChunk(const uint32_t* w, uint64_t D, uint64_t bits, int S, F&& f) {
  const uint64_t full = bits / 64;
  for (uint64_t c = 0; c < full; ++c) f(Aligned64(w, c) ^ LsbFirst64(w, 64 * c + D), 64 / S);
  const int rest = static_cast<int>(bits % 64);
  if (rest != 0) f((Aligned64(w, full) ^ LsbFirst64(w, 64 * full + D, rest)) & LowMask64(rest), rest / S);
}

// Per-field bit counts of x in fields of S = 8, 16 or 32 bits.
template <int S>
AUTOW_INLINE uint64_t FieldCounts(uint64_t x) {
  x = x - ((x >> 1) & M1);
  x = (x & M2) + ((x >> 2) & M2);
  x = (x + (x >> 4)) & M4;
  if (S >= 16) x = (x + (x >> 8)) & 0x00FF00FF00FF00FFull;
  if (S >= 32) x = (x + (x >> 16)) & 0x0000FFFF0000FFFFull;
  return x;
}

template <int S>
AUTOW_INLINE void CountFields(const uint32_t* w, uint64_t D, uint64_t pairs, uint64_t* hist) {
  constexpr uint64_t mask = S >= 32 ? 0xFFFFFFFFull : (1ull << S) - 1;
  ForEachChunk(w, D, pairs * S, S, [&](uint64_t x, int fields) {
    x = FieldCounts<S>(x);
    for (int f = 0; f < fields; ++f, x >>= S) ++hist[x & mask];
  });
}

// Up to this many classes the chi-square is formed from counts smoothed off
// their lattice: a quadratic form in so few counts takes some values far
// more often than their neighbours (with S = 2, three classes of 32768 pairs
// at 2^17 bits, atoms of 0.1 % each).
constexpr int SMOOTHED_CLASSES = 5;

// The classes of the histogram merged as ChiSquare merges them (at least 5
// expected, the remainder dropped), and the chi-square of their counts
// smoothed by a normal vector from the sequence's hash.
double SmoothedStatistic(int S, uint64_t pairs, const uint64_t* hist, const double* law, uint64_t hash, int d) {
  double observed[SMOOTHED_CLASSES + 1], expected[SMOOTHED_CLASSES + 1];
  int classes = 0;
  double o = 0, e = 0;
  const double n = static_cast<double>(pairs);
  auto add = [&](int h) {
    o += static_cast<double>(hist[h]);
    e += n * law[h];
    if (e >= 5 && classes <= SMOOTHED_CLASSES) {
      observed[classes] = o;
      expected[classes] = e;
      ++classes;
      o = e = 0;
    }
  };
  for (int h = 0; h <= S / 2; ++h) add(h);
  for (int h = S; h > S / 2; --h) add(h);
  const uint64_t salt = AUTOW_SALT + (static_cast<uint64_t>(S) << 40) + (static_cast<uint64_t>(d) << 4);
  return SmoothedChiSquare(observed, expected, classes, n, hash, salt);
}

}  // namespace

QV_POPCNT_CLONES void AUTOW::CountDistances(const uint32_t* w, uint32_t n, int S, int d, uint64_t* hist) {
  const uint64_t blocks = n / static_cast<uint32_t>(S);
  if (S < 1 || d < 1 || static_cast<uint64_t>(d) >= blocks) return;
  const uint64_t pairs = blocks - static_cast<uint64_t>(d);
  const uint64_t D = static_cast<uint64_t>(d) * static_cast<uint64_t>(S);
  // Fields of 1, 2 and 4 bits: the number of pairs at each distance is a
  // popcount over the chunk (pairs at distance 0 are the rest).
  if (S == 1) {
    uint64_t ones = 0;
    ForEachChunk(w, D, pairs, 1, [&](uint64_t x, int) { ones += Popcount64(x); });
    hist[1] += ones;
    hist[0] += pairs - ones;
    return;
  }
  if (S == 2) {
    uint64_t one = 0, two = 0;
    ForEachChunk(w, D, pairs * 2, 2, [&](uint64_t x, int) {
      const uint64_t high = x >> 1;
      one += Popcount64((x ^ high) & M1);
      two += Popcount64(x & high & M1);
    });
    hist[1] += one;
    hist[2] += two;
    hist[0] += pairs - one - two;
    return;
  }
  if (S == 4) {
    uint64_t c[5] = {0, 0, 0, 0, 0};
    ForEachChunk(w, D, pairs * 4, 4, [&](uint64_t x, int) {
      x = x - ((x >> 1) & M1);
      x = (x & M2) + ((x >> 2) & M2);  // each nibble 0 .. 4
      const uint64_t b0 = x & 0x1111111111111111ull, b1 = (x >> 1) & 0x1111111111111111ull;
      c[1] += Popcount64(b0 & ~b1);
      c[2] += Popcount64(b1 & ~b0);
      c[3] += Popcount64(b0 & b1);
      c[4] += Popcount64((x >> 2) & 0x1111111111111111ull);
    });
    for (int h = 1; h <= 4; ++h) hist[h] += c[h];
    hist[0] += pairs - c[1] - c[2] - c[3] - c[4];
    return;
  }
  if (S == 8) return CountFields<8>(w, D, pairs, hist);
  if (S == 16) return CountFields<16>(w, D, pairs, hist);
  if (S == 32) return CountFields<32>(w, D, pairs, hist);
  if (S % 64 == 0) {
    // Whole chunks per block.
    const uint64_t per = static_cast<uint64_t>(S) / 64;
    for (uint64_t k = 0, c = 0; k < pairs; ++k) {
      int h = 0;
      for (uint64_t j = 0; j < per; ++j, ++c) h += Popcount64(Aligned64(w, c) ^ LsbFirst64(w, 64 * c + D));
      ++hist[h];
    }
    return;
  }
  if (S < 64) {
    // The difference stream chunk by chunk, cut into S-bit fields: acc
    // holds its next `have` bits, the next one lowest. Chunk c reads only
    // the bits of the stream it holds, the last one maybe fewer than 64.
    const uint64_t mask = (1ull << S) - 1;
    const uint64_t bits = pairs * static_cast<uint64_t>(S), full = bits / 64;
    const int rest = static_cast<int>(bits % 64);
    auto chunk = [&](uint64_t j) {
      return Aligned64(w, j) ^ (j < full ? LsbFirst64(w, 64 * j + D) : LsbFirst64(w, 64 * j + D, rest));
    };
    uint64_t acc = chunk(0), c = 1;
    int have = 64;
    for (uint64_t k = 0; k < pairs; ++k) {
      uint64_t v;
      if (have >= S) {
        v = acc & mask;
        acc >>= S;
        have -= S;
      } else {
        const uint64_t next = chunk(c);
        ++c;
        v = (acc | (next << have)) & mask;
        acc = next >> (S - have);
        have += 64 - S;
      }
      ++hist[Popcount64(v)];
    }
    return;
  }
  // Any other size: each block read 64 bits at a time from where it starts.
  const int tail = S % 64;
  const uint64_t body = static_cast<uint64_t>(S) - tail;
  for (uint64_t k = 0, a = 0; k < pairs; ++k, a += static_cast<uint64_t>(S)) {
    int h = 0;
    uint64_t off = 0;
    for (; off < body; off += 64) h += Popcount64(LsbFirst64(w, a + off) ^ LsbFirst64(w, a + off + D));
    if (tail != 0)
      h += Popcount64((LsbFirst64(w, a + off, tail) ^ LsbFirst64(w, a + off + D, tail)) & LowMask64(tail));
    ++hist[h];
  }
}

void AUTOW::BinomialLaw(int S, double* law) {
  const double top = lnFactorial[S] - S * std::log(2.0);
  for (int h = 0; h <= S; ++h) law[h] = std::exp(top - lnFactorial[h] - lnFactorial[S - h]);
}

void AUTOW::ChiSquare(int S, uint64_t pairs, const uint64_t* hist, int& cells, double& chi2, const double* law) {
  std::vector<double> own;
  if (law == nullptr) {
    own.resize(static_cast<size_t>(S) + 1);
    BinomialLaw(S, own.data());
    law = own.data();
  }
  const double n = static_cast<double>(pairs);
  MergedChiSquareSum sum;
  auto add = [&](int h) {
    const double expected = n * law[h];
    sum.Add(hist != nullptr ? static_cast<double>(hist[h]) : 0.0, expected);
  };
  for (int h = 0; h <= S / 2; ++h) add(h);
  for (int h = S; h > S / 2; --h) add(h);
  cells = sum.Classes();
  chi2 = sum.Statistic();
}

AUTOW::AUTOW() {
  if (autowMaxPv == 0) autowMaxPv = 99999999;
  if (lnFactorial == nullptr || lnFactorialMax < autowSmax) {
    // The engine fills the table up to the largest block size before it
    // builds the tests; without it the binomial law cannot be formed.
    ShowMessageBox("The table of ln k! does not reach the largest block size.\nThe test will be disabled.", CAPTION,
                   wxOK | wxICON_EXCLAMATION);
    status = TEST_DISABLED;
    return;
  }
  // The job list: for every S, the leading distances d of the d grid while
  // a pair is left beyond block d with enough expected pairs at the most
  // likely distance, at most autowMaxPv of them. A job whose pairs cannot
  // form two classes (decided here, from the parameters alone) is left out.
  int largest = 0;
  for (int S : Grid(autowSmin, autowSmax, autowSstp)) {
    if (S < 1) break;
    const int64_t blocks = static_cast<int64_t>(seqLen / static_cast<uint32_t>(S));
    const double pc =
        std::exp(lnFactorial[S] - lnFactorial[S / 2] - lnFactorial[S - S / 2] - S * std::log(2.0));
    int taken = 0;
    for (int d : Grid(autowDmin, autowDmax, autowDstp)) {
      if (d < 1 || d >= blocks || static_cast<double>(blocks - d - 1) * pc < 5 || taken >= autowMaxPv) break;
      ++taken;
      int cells;
      double chi2;
      ChiSquare(S, static_cast<uint64_t>(blocks - d), nullptr, cells, chi2);
      if (cells < 2) continue;
      jobList_.push_back({S, d});
      largest = std::max(largest, S);
    }
  }
  // The binomial law of every block size that has a job, formed once here
  // rather than in every job of every sequence (the jobs of one S follow
  // each other).
  lawStart_.assign(static_cast<size_t>(largest) + 1, 0);
  for (size_t j = 0; j < jobList_.size(); ++j) {
    const int S = jobList_[j].S;
    if (j > 0 && jobList_[j - 1].S == S) continue;
    lawStart_[S] = laws_.size();
    laws_.resize(laws_.size() + static_cast<size_t>(S) + 1);
    BinomialLaw(S, laws_.data() + lawStart_[S]);
  }
  jobCount = static_cast<int>(jobList_.size());
  threadCount = std::min(cpuCount, jobCount);
  records_.resize(jobList_.size());
  for (size_t j = 0; j < jobList_.size(); ++j) {
    std::snprintf(records_[j].label, sizeof records_[j].label, "AutoW %d_%d", jobList_[j].S, jobList_[j].d);
    records_[j].p = PVALUE_FAIL;
  }
  // One histogram per sub-thread, as large as the largest block size that
  // has a job; 64-bit counts (with S = 1 a count can pass 2^31).
  histogramSize_ = static_cast<size_t>(largest) + 1;
  if (threadCount > 0) {
    histograms_.reset(new (std::nothrow) uint64_t[static_cast<size_t>(threadCount) * histogramSize_]);
    if (histograms_ == nullptr) {
      ShowMessageBox("Failed to allocate the histograms of the sub-threads.\nThe test will be disabled.", CAPTION,
                     wxOK | wxICON_EXCLAMATION);
      status = TEST_DISABLED;
      return;
    }
  }
  pool_.Create(threadCount);
  pool_.Start(Work, this);
}

AUTOW::~AUTOW() {
  // The sub-threads end before the histograms they use are freed.
  pool_.End();
}

void AUTOW::Work(void* context, AutoWJob& job, int thread) {
  const AUTOW& self = *static_cast<const AUTOW*>(context);
  uint64_t* hist = self.histograms_.get() + static_cast<size_t>(thread) * self.histogramSize_;
  std::fill(hist, hist + job.S + 1, 0ull);
  CountDistances(seqBits, seqLen, job.S, job.d, hist);
  const uint64_t pairs = seqLen / static_cast<uint32_t>(job.S) - static_cast<uint64_t>(job.d);
  int cells;
  ChiSquare(job.S, pairs, hist, cells, job.chi2, self.laws_.data() + self.lawStart_[job.S]);
  job.cells = cells;
  // S = 1: the differing pairs are binomial (pairs, 1/2) exactly (the xors
  // of bits d apart are independent fair bits), and the two-class
  // chi-square of that count has a lattice, with an atom at 1 for an even
  // split, that thousands of sequences see. Its exact law instead,
  // randomised within the count's atom by the sequence's own bits.
  // The p-value here, on the sub-thread, not on the thread that gathers
  // the jobs. An upper tail too small for the incomplete gamma function
  // stays PVALUE_FAIL, in its place among the records.
  if (cells < 2)
    job.p = PVALUE_FAIL;
  else if (job.S == 1)
    job.p = BinomialTwoSidedRandomisedP(pairs, 0.5, hist[1],
                                        HashUniform(self.hash_, AUTOW_SALT + static_cast<uint64_t>(job.d)));
  else if (cells <= SMOOTHED_CLASSES)
    job.p = IncompleteGammaQ((cells - 1) / 2.0,
                             SmoothedStatistic(job.S, pairs, hist, self.laws_.data() + self.lawStart_[job.S],
                                               self.hash_, job.d) /
                                 2);
  else
    job.p = IncompleteGammaQ((cells - 1) / 2.0, job.chi2 / 2);
}

void AUTOW::RunTest() {
  if (jobCount == 0 || status == TEST_DISABLED) return;
  // The sequence's hash, shared by the rows that draw from it (S = 1, and
  // the rows of few classes).
  hash_ = SequenceHash(seqBits, seqLen);
  const bool complete = pool_.Run(
      jobCount,
      [this](int j, AutoWJob& job) {
        job.record = j;
        job.d = jobList_[j].d;
        job.cells = 0;
        job.chi2 = 0;
        job.p = PVALUE_FAIL;
        job.S = jobList_[j].S;
      },
      [this](const AutoWJob& job, int) { records_[job.record].p = job.p; });
  subThreadCpuSeconds = pool_.CpuSeconds();
  // A failed event call (logged by the pool) costs this sequence only: its
  // rows are short.
  if (!complete)
    for (PValueRecord& record : records_) record.p = PVALUE_SHORT;
  for (const PValueRecord& record : records_) AddResult(record.p, "%s", record.label);
}
