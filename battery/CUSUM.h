#pragma once
#include <cstdint>

#include "battery/TESTthd.h"

// Cumulative sums: the largest excursion from zero of the partial sums of
// the bits taken as +1 and -1, walking forward and then backward.
class CUSUM : public TESTthd {
 public:
  void RunTest() override;
};

// The probability that a walk of n steps of +-1 reaches an excursion of at
// least z (z >= 1), with the standard cumulative sums series.
double CusumPValue(uint32_t n, uint32_t z);
