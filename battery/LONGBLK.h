#pragma once
#include <cstdint>
#include <vector>

#include "battery/TESTthd.h"

// The upper-tail p-value of the statistic X = sum (2 c_b - M)^2 / M over
// `blocks` blocks of m >= 8 bits of a random sequence.
double LongBlocksPValue(uint64_t blocks, uint64_t m, double x);


// The same p-value for one number of blocks and one block length, its
// constants made once: a + b Y with Y chi-square, Q(nu / 2, y) evaluated
// for y below max(1, nu / 2) as 1 - P by the power series of P with
// its coefficients stored (a fixed number of multiplications, no division),
// and above it by IncompleteGammaQ (its continued fraction), as
// IncompleteGammaQ splits it.
class LongBlocksLaw {
 public:
  LongBlocksLaw() = default;
  LongBlocksLaw(uint64_t blocks, uint64_t m);
  double PValue(double x) const;
  // The randomised p-value of x, u uniform in (0, 1): the statistic lives on
  // a lattice (step 4 / m for even m, 8 / m for odd m), and x is moved within
  // its lattice point's share of the law before the upper tail is taken.
  double RandomisedPValue(double x, double u) const;

  uint64_t blocks = 0, m = 0;  // the law's key

 private:
  double shift_ = 0, scale_ = 1;    // y = (x - shift) / scale
  double shape_ = 0, lnGamma_ = 0;  // nu / 2 and ln Gamma(nu / 2)
  double split_ = 0;                // the series serves y below it
  // P(s, y) = y^s e^-y / Gamma(s + 1) sum_k c_k (y / s)^k, with
  // c_k = prod_{j <= k} s / (s + j); the four interleaved groups of c_k.
  std::vector<double> coeff_;
};

// Block frequency: the spread of the share of ones in blocks of M bits
// around one half, for every block length M of the grid.
class LONGBLK : public TESTthd {
 public:
  void RunTest() override;

 private:
  std::vector<LongBlocksLaw> laws_;  // per row, made on the first sequence of a run
};
