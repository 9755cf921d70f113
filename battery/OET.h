#pragma once
#include <cstdint>
#include <vector>

#include "battery/TESTthd.h"

// Overlapping entropy (approximate entropy): how much the entropy of the
// overlapping (m + 1)-bit patterns exceeds that of the m-bit patterns, the
// sequence read as a ring, for every m of the grid.
class OET : public TESTthd {
 public:
  void RunTest() override;

 private:
  // Counters of the longest pattern length of the grid, kept for the run.
  std::vector<uint64_t> counts_;
};

// chi^2 = 2 n (ln 2 - ApEn) of block length m, from the 2^(m + 1) counts of
// the (m + 1)-bit ring windows: 2 * sum of c ln(2 c / C), c running over the
// counts and C the count of the m-bit prefix they share (the n ln n terms of
// the two entropies cancel exactly, so the sum keeps its precision).
double OetChiSquare(const uint64_t* counts, int m);
