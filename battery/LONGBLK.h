#pragma once
#include <cstdint>

#include "battery/TESTthd.h"

// The upper-tail p-value of the statistic X = sum (2 c_b - M)^2 / M over
// `blocks` blocks of m >= 8 bits of a random sequence.
double LongBlocksPValue(uint64_t blocks, uint64_t m, double x);

// The randomised p-value of x, u uniform in (0, 1): the statistic lives on
// a lattice (step 4 / m for even m, 8 / m for odd m), and x is moved within
// its lattice point's share of the law before the upper tail is taken.
double LongBlocksRandomisedPValue(uint64_t blocks, uint64_t m, double x, double u);

// Block frequency: the spread of the share of ones in blocks of M bits
// around one half, for every block length M of the grid.
class LONGBLK : public TESTthd {
 public:
  void RunTest() override;
};
