#pragma once
#include <cstdint>

#include "battery/TESTthd.h"

// The upper-tail p-value of the statistic X = sum (2 c_b - M)^2 / M over
// `blocks` blocks of m >= 8 bits of a random sequence.
double LongBlocksPValue(uint64_t blocks, uint64_t m, double x);

// Block frequency: the spread of the share of ones in blocks of M bits
// around one half, for every block length M of the grid.
class LONGBLK : public TESTthd {
 public:
  void RunTest() override;
};
