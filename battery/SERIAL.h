#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "battery/Bits.h"
#include "battery/TESTthd.h"

// Serial test: the psi-square statistics of the overlapping m-, (m - 1)- and
// (m - 2)-bit patterns of the sequence read as a ring, judged by their first
// and second differences, for every m of the grid.
class SERIAL : public TESTthd {
 public:
  void RunTest() override;

 private:
  // Counters of the longest pattern length of the grid, kept for the run.
  std::vector<uint32_t> counts_;
};

// The psi-square of the n overlapping m-bit patterns of the current
// sequence read as a ring (0 <= m <= 31): 2^m / n times the sum of the
// squared pattern counts, minus n.
double SerialPsi2(int m);

// Up to this many bits the windows are counted in pairs in buffer order and
// the counts moved to the reversed values after; a larger table (over L1)
// costs more to move than the cheaper reading saves.
constexpr int RING_PAIR_BITS = 12;

// Adds 1 to counts[v] for each of the n windows of s bits (1 <= s <= 32)
// that start at bits 0 .. n - 1 of the sequence read as a ring, each read
// most significant bit first. counts holds 2^s counters. The windows that
// run past the last bit continue at bit 0; no bit past n - 1 is read.
template <class Count>
void CountRingWindows(const uint32_t* words, uint64_t n, int s, Count* counts) {
  const uint64_t plain = n >= static_cast<uint64_t>(s) ? n - s + 1 : 0;
  if (s <= RING_PAIR_BITS) {
    // Two windows per count, in buffer order: the (s + 1)-bit windows at
    // the even starts t; the s-bit window at t is the low s bits of one, the
    // window at t + 1 its high s bits. Each count then goes to the reversed
    // value.
    uint32_t pairs[size_t(2) << RING_PAIR_BITS], single[size_t(1) << RING_PAIR_BITS];
    const uint32_t values = uint32_t(1) << s;
    std::fill(pairs, pairs + 2 * values, 0u);
    std::fill(single, single + values, 0u);
    ForEachWindowInBufferOrder<2>(words, 0, plain / 2, s + 1, [&pairs](uint32_t v) { ++pairs[v]; });
    for (uint32_t v = 0; v < 2 * values; ++v) {
      single[v & (values - 1)] += pairs[v];
      single[v >> 1] += pairs[v];
    }
    if (plain % 2 == 1) ForEachWindowInBufferOrder(words, plain - 1, 1, s, [&single](uint32_t v) { ++single[v]; });
    for (uint32_t v = 0; v < values; ++v) counts[ReverseBits32(v) >> (32 - s)] += single[v];
  } else {
    ForEachWindow(words, 0, plain, s, [counts](uint32_t v) { ++counts[v]; });
  }
  // At most s - 1 windows wrap around: bit by bit, modulo n.
  for (uint64_t j = plain; j < n; ++j) {
    uint32_t v = 0;
    for (int k = 0; k < s; ++k) v = (v << 1) | ReadBit(words, (j + k) % n);
    ++counts[v];
  }
}
