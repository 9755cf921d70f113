#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "battery/TESTthd.h"

// Birthday spacings: 500 samples of 4096 words of the sequence (as
// stored), each a set of birthdays in a year of 2^32 days. The number J of
// repeated values among a sample's 4095 spacings is close to Poisson with
// mean 4; a chi-square over J = 0 .. 9 and "10 or more" judges the 500
// counts. The p-value is the lower tail P(chi2 <= X): a plainly bad input
// shows as a p-value at or near 1.
class BDAY : public TESTthd {
 public:
  static constexpr int SAMPLE = 4096;
  static constexpr int SAMPLES = 500;
  static constexpr uint32_t MIN_BITS = SAMPLES * SAMPLE * 32u;  // 65,536,000

  BDAY();
  void RunTest() override;

  // J of one sample of SAMPLE words: sorts the sample, forms the spacings
  // of the sorted values and counts the spacings equal to the one before
  // them in sorted order. Uses the object's scratch.
  int RepeatedSpacings(const uint32_t* sample);

  // The expected counts of the 11 cells for 500 samples.
  static const std::array<double, 11>& Expected();

  // The lower-tail p-value of a histogram of the 500 samples.
  static double PValue(const uint32_t* histogram);

 private:
  std::vector<uint32_t> values_;   // the sample, then its spacings
  std::vector<uint32_t> scratch_;  // the other buffer of the radix sort
};
