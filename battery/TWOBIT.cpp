#include "battery/TWOBIT.h"

#include <cstring>

#include "battery/Bits.h"
#include "battery/RunState.h"
#include "battery/Distributions.h"

namespace {

struct PairCounts {
  uint64_t ones = 0;  // ones among bits 0 .. n - 1
  uint64_t n11 = 0;   // pairs (t - 1, t), t = 1 .. n - 1, of two ones
};

// One pass, 64 bits at a time: bit j of `w & next` is set when bits j and
// j + 1 of the stretch are both ones, bit 63 taking its partner from the
// next stretch.
QV_POPCNT_CLONES PairCounts CountPairs(const uint32_t* words, uint64_t n) {
  PairCounts c;
  uint64_t i = 0;  // first bit of the stretch
  // Whole stretches whose last pair ends inside the sequence.
  for (; i + 64 < n; i += 64) {
    uint64_t w;
    std::memcpy(&w, words + i / 32, sizeof w);
    const uint64_t next = (w >> 1) | (static_cast<uint64_t>(words[i / 32 + 2] & 1u) << 63);
    c.ones += Popcount64(w);
    c.n11 += Popcount64(w & next);
  }
  // The last 1 .. 64 bits, i .. n - 1: pairs start at i .. n - 2.
  if (i < n) {
    const uint64_t left = n - i;
    uint64_t w;
    std::memcpy(&w, words + i / 32, sizeof w);
    if (left < 64) w &= (uint64_t(1) << left) - 1;
    c.ones += Popcount64(w);
    c.n11 += Popcount64(w & (w >> 1));
  }
  return c;
}

}  // namespace

void TWOBIT::RunTest() {
  const uint64_t n = seqLen;
  if (n < 2) {
    // One bit makes no pair: the statistic is not defined.
    AddResult(PVALUE_SHORT, "Two-bit");
    return;
  }
  const PairCounts counts = CountPairs(seqBits, n);
  const uint64_t ones = counts.ones, n11 = counts.n11;
  const uint64_t pairs = n - 1;
  const uint64_t firstOnes = ones - ReadBit(seqBits, n - 1);  // ones among bits 0 .. n - 2
  const uint64_t lastOnes = ones - ReadBit(seqBits, 0);       // ones among bits 1 .. n - 1
  const double c11 = double(n11), c10 = double(firstOnes - n11), c01 = double(lastOnes - n11);
  const double c00 = double(pairs) - c11 - c10 - c01;
  const double n1 = double(ones), n0 = double(n - ones);
  const double x = 4.0 / double(pairs) * (c00 * c00 + c01 * c01 + c10 * c10 + c11 * c11) -
                   2.0 / double(n) * (n0 * n0 + n1 * n1) + 1;
  AddResult(IncompleteGammaQ(1, x / 2), "Two-bit");
}
