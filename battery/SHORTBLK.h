#pragma once
#include <cstdint>
#include <vector>

#include "battery/TESTthd.h"

// Short blocks: S-bit words whose bits lie d bits apart, counted over their
// 2^S values and judged by a chi-square with 2^S - 1 degrees of freedom,
// for every block size S and distance d of the grids. The statistic takes
// values on a lattice: its p-value is randomised over the lattice point's
// mass (ShortBlocksPValue).
class SHORTBLK : public TESTthd {
 public:
  void RunTest() override;

 private:
  // The counts of the current S, grown to the largest 2^S the run needs
  // and kept from one sequence to the next.
  std::vector<uint32_t> counts_;
};

// Counts into counts[0 .. 2^S - 1] (which the caller clears) the words of
// ⌊⌊n/S⌋/d⌋ groups of d x S bits from bit 0: in a group that starts at bit
// b, word j (0 <= j < d) is bits b + j, b + j + d, ..., b + j + (S - 1) d,
// the first the most significant. Returns the number of words counted.
uint64_t CountShortBlocks(const uint32_t* words, uint64_t n, int S, uint64_t d, uint32_t* counts);

// The randomised p-value of the chi-square of the counts of `total` S-bit
// words over their 2^S values, u uniform in (0, 1): for S = 1 the exact
// binomial law's P(X > x) + u P(X = x); otherwise the chi-square law at a
// point of x's lattice cell chosen by u, between the cell's P(X > x) and
// P(X >= x).
double ShortBlocksPValue(int S, uint64_t total, const uint32_t* counts, double u);
