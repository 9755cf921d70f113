#pragma once
#include <cstdint>

#include "battery/TESTthd.h"

// Cumulative sums: the largest excursion from zero of the partial sums of
// the bits taken as +1 and -1, walking forward and then backward. The
// excursion is a whole number, so its p-value is drawn within the
// excursion's atom (battery/RandomisedPValue.h) by a uniform hashed from the
// sequence's bits, one per pass.
class CUSUM : public TESTthd {
 public:
  void RunTest() override;
};

// The probability that a walk of n steps of +-1 reaches an excursion of at
// least z (z >= 1), with the standard cumulative sums series.
double CusumPValue(uint32_t n, uint32_t z);

// The randomised p-value of an excursion z (1 <= z <= n) under the same law:
// P(Z > z) + u P(Z = z), with P(Z >= z) = CusumPValue(n, z) and
// P(Z > z) = CusumPValue(n, z + 1), or 0 when z = n (no walk of n steps
// goes further).
double CusumRandomisedPValue(uint32_t n, uint32_t z, double u);
