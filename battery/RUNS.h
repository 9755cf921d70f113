#pragma once
#include <cstdint>
#include <vector>

#include "battery/TESTthd.h"

// Runs up and down: the sequence read as consecutive s-bit words (most
// significant bit first); the lengths of strictly ascending runs and,
// separately, of strictly descending runs, where the word that ends a run
// is thrown away so that successive lengths are independent. The lengths,
// pooled at t, are judged against their exact law for 2^s equally likely
// values by a chi-square with t - 1 degrees of freedom, given the number of
// runs. One pass per word size counts both directions for every t.
class RUNS : public TESTthd {
 public:
  // Fills the probabilities for the word sizes of the grid; disables the
  // test, with a box, when no word size is usable with the smallest t.
  RUNS();
  void RunTest() override;

  // Row s (1 .. 32, rows of the grid only): entry i is P_s(i), the
  // probability that i successive s-bit words are strictly ascending, for
  // i = 0 .. lengthCap.
  std::vector<double> ascendingProb[33];
  // Lengths of one pass: cells 1 .. lengthCap of the ascending runs (the
  // last one holds every length from lengthCap on), then the same for the
  // descending runs; cell 0 of each half is unused.
  std::vector<uint64_t> lengthCounts;
  // Above every t the test can use.
  int lengthCap = 2;

  // Whether (s, t) gives a pair for a sequence of n bits: t <= 2^s and the
  // estimated runs floor(n / s) * 0.27 leave an expected count of at least
  // 5 in the pooled class (80 in each class when t = 2).
  bool Usable(uint32_t n, int s, int t) const;
};
