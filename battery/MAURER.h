#pragma once
#include <cstdint>
#include <vector>

#include "battery/TESTthd.h"

// Maurer's universal statistic: the mean base-2 logarithm of the distances
// between repeats of L-bit blocks, against its expected value with the
// Coron-Naccache variance, for every block size L of the grid.
class MAURER : public TESTthd {
 public:
  // Lowers maurerSmax to the last L for which the sequence holds at least
  // 43 * 2^L blocks.
  MAURER();
  void RunTest() override;

  // The two-sided p-value for block size L; PVALUE_SHORT when the test
  // segment is too short after a long initialisation, PVALUE_FAIL when some
  // L-bit value never occurs in the sequence.
  double MaurerStatistic(int L);

 private:
  std::vector<uint32_t> last_;   // last block index of every L-bit value
  std::vector<double> lnSmall_;  // ln d for the distances below its size
};
