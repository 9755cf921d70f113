#include "battery/TWOBIT.h"

#include "battery/Bits.h"
#include "battery/RunState.h"
#include "battery/Distributions.h"

void TWOBIT::RunTest() {
  const uint64_t n = seqLen;
  if (n < 2) {
    // One bit makes no pair: the statistic is not defined.
    AddResult(PVALUE_SHORT, "Two-bit");
    return;
  }
  const uint64_t ones = CountOnes(seqBits, 0, n);
  // Pairs (t - 1, t) for t = 1 .. n - 1; bit j of `both` is set when bits
  // j and j + 1 of the word's stretch are both ones.
  uint64_t n11 = 0;
  const uint64_t pairs = n - 1;
  for (uint64_t i = 0; 32 * i < pairs; ++i) {
    const uint32_t w = seqBits[i];
    const uint32_t next = (w >> 1) | (seqBits[i + 1] << 31);
    uint32_t both = w & next;
    const uint64_t left = pairs - 32 * i;
    if (left < 32) both &= (1u << left) - 1;
    n11 += __builtin_popcount(both);
  }
  const uint64_t firstOnes = ones - ReadBit(seqBits, n - 1);  // ones among bits 0 .. n - 2
  const uint64_t lastOnes = ones - ReadBit(seqBits, 0);       // ones among bits 1 .. n - 1
  const double c11 = double(n11), c10 = double(firstOnes - n11), c01 = double(lastOnes - n11);
  const double c00 = double(pairs) - c11 - c10 - c01;
  const double n1 = double(ones), n0 = double(n - ones);
  const double x = 4.0 / double(pairs) * (c00 * c00 + c01 * c01 + c10 * c10 + c11 * c11) -
                   2.0 / double(n) * (n0 * n0 + n1 * n1) + 1;
  AddResult(IncompleteGammaQ(1, x / 2), "Two-bit");
}
