#pragma once
#include "battery/TESTthd.h"

// Serial two-bit: the counts of the four overlapping bit pairs together
// with the counts of zeros and ones, a chi-square with 2 degrees of freedom.
class TWOBIT : public TESTthd {
 public:
  void RunTest() override;
};
