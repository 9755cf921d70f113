#include "battery/SERIAL.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "battery/Distributions.h"
#include "battery/GridWalk.h"
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
    for (uint64_t u = 0; u < pairs; ++u) {
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
        p2 = IncompleteGammaQ(std::ldexp(1.0, m - 3), delta2 / 2);
      }
    }
    AddResult(p1, "Serial %d_1", m);
    if (m != 1) AddResult(p2, "Serial %d_2", m);
  }
}
