#include "battery/OET.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "battery/Distributions.h"
#include "battery/GridWalk.h"
#include "battery/RunState.h"
#include "battery/SERIAL.h"

double OetChiSquare(const uint64_t* counts, int m) {
  const uint64_t prefixes = uint64_t(1) << m;
  double sum = 0;
  for (uint64_t g = 0; g < prefixes; ++g) {
    const uint64_t c0 = counts[2 * g], c1 = counts[2 * g + 1];
    const double prefix = static_cast<double>(c0 + c1);
    if (c0 > 0) sum += static_cast<double>(c0) * std::log(2.0 * static_cast<double>(c0) / prefix);
    if (c1 > 0) sum += static_cast<double>(c1) * std::log(2.0 * static_cast<double>(c1) / prefix);
  }
  return 2 * sum;
}

void OET::RunTest() {
  const uint64_t n = seqLen;
  int top = 0;
  for (int m : Grid(oetSmin, oetSmax, oetSstp)) top = std::max(top, m);
  if (top < 1 || top > 30 || n == 0) return;

  // One count of the longest (m + 1)-bit windows gives every shorter
  // length as marginals: a window of k bits is the first k bits of the
  // window of k + 1 bits that starts at the same bit.
  bool counted = true;
  double chiSquare[32] = {};
  try {
    counts_.resize(size_t(2) << top);
  } catch (const std::bad_alloc&) {
    counted = false;
  }
  if (counted) {
    std::fill(counts_.begin(), counts_.begin() + (size_t(2) << top), 0);
    CountRingWindows(seqBits, n, top + 1, counts_.data());
    for (int m = top; m >= 1; --m) {
      chiSquare[m] = OetChiSquare(counts_.data(), m);
      for (uint64_t v = 0; v < (uint64_t(1) << m); ++v) counts_[v] = counts_[2 * v] + counts_[2 * v + 1];
    }
  }

  for (int m : Grid(oetSmin, oetSmax, oetSstp)) {
    if (m < 1) continue;
    const double p = counted ? IncompleteGammaQ(std::ldexp(1.0, m - 1), chiSquare[m] / 2) : PVALUE_FAIL;
    AddResult(p, "OET %d", m);
  }
}
