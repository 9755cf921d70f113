#pragma once
#include <cstdint>
#include <vector>

#include "battery/MergedChiSquare.h"
#include "battery/TESTthd.h"

// Random walk distance: the sequence read as consecutive walks of one even
// length L (+1 for a one, -1 for a zero) whose end points are compared with
// the binomial law by a chi-square over merged classes. L is the longest
// even length whose most extreme end point is still expected more than
// once among the seqLen / L walks.
class RWDST : public TESTthd {
 public:
  RWDST();
  void RunTest() override;

  // The walk length the rule gives for n-bit sequences: the largest even L
  // with floor(n / L) > 2^L, or 0 when L = 2 already fails (n < 10).
  static int WalkLength(uint32_t n);

  // L, even, at least 2; 0 for sequences too short.
  int walkLength = 0;

 private:
  // Classes over the walks' counts of ones (end point 2 ones - L), built
  // once for the run's seqLen.
  MergedChiSquare classes_;
  std::vector<uint32_t> counts_;
};
