#include "battery/BLKGAP.h"

#include <cmath>

#include "battery/Distributions.h"
#include "battery/RunState.h"

int RunLengthClasses(uint64_t n) {
  int k = 2;
  // n + 3 - k stays positive: k never passes log2(n) + 2.
  while (static_cast<double>(n + 3 - k) / std::ldexp(1.0, k + 2) >= 5) ++k;
  return k;
}

void CountRunLengths(const uint32_t* words, uint64_t n, int K, uint64_t* blocks, uint64_t* gaps) {
  for (int j = 1; j <= K; ++j) blocks[j] = gaps[j] = 0;
  uint64_t* const byValue[2] = {gaps, blocks};
  // Bit t with t >= 1 where bit t differs from bit t - 1 ends the run that
  // started at `start` and holds bit t - 1's value. Bits 64 at a time: d has
  // bit j set where bit 64 c + j differs from the bit before it.
  uint64_t start = 0;
  uint32_t previousTop = words[0] & 1u;  // bit -1 taken equal to bit 0
  for (uint64_t base = 0; base < n; base += 64) {
    const uint64_t i = base >> 5;
    const uint64_t x = words[i] | (static_cast<uint64_t>(words[i + 1]) << 32);
    uint64_t d = x ^ ((x << 1) | previousTop);
    previousTop = static_cast<uint32_t>(x >> 63);
    if (n - base < 64) d &= (uint64_t{1} << (n - base)) - 1;
    while (d != 0) {
      const int j = __builtin_ctzll(d);
      d &= d - 1;
      const uint64_t t = base + j;
      const uint64_t length = t - start;
      const uint32_t value = static_cast<uint32_t>((x >> j) & 1u) ^ 1u;
      ++byValue[value][length < static_cast<uint64_t>(K) ? length : K];
      start = t;
    }
  }
}

double RunLengthPValue(const uint64_t* counts, int K, uint64_t n) {
  uint64_t runs = 0;
  for (int j = 1; j <= K; ++j) runs += counts[j];
  if (runs == 0) {
    // Only the sequences "all of the other value, then this one" hold no
    // counted run: n + 1 of the 2^n.
    // Past 2000 bits the value underflows whatever n is.
    const double p = std::ldexp(static_cast<double>(n) + 1, -static_cast<int>(n < 2000 ? n : 2000));
    return p > 0 ? p : PVALUE_FAIL;
  }
  // A run is longer than j with probability 2^-j, independently of the
  // number of runs; judging against the observed count keeps the random
  // number of runs out of the statistic.
  double chi2 = 0;
  for (int j = 1; j <= K; ++j) {
    const double expected = std::ldexp(static_cast<double>(runs), j < K ? -j : -(K - 1));
    const double d = static_cast<double>(counts[j]) - expected;
    chi2 += d * d / expected;
  }
  return IncompleteGammaQ((K - 1) / 2.0, chi2 / 2);
}

void BLKGAP::RunTest() {
  const uint64_t n = seqLen;
  if (n == 0) return;
  const int K = RunLengthClasses(n);
  uint64_t blocks[BLKGAP_MAX_CLASSES + 1], gaps[BLKGAP_MAX_CLASSES + 1];
  CountRunLengths(seqBits, n, K, blocks, gaps);
  AddResult(RunLengthPValue(blocks, K, n), "BlkGap BLK");
  AddResult(RunLengthPValue(gaps, K, n), "BlkGap GAP");
}
