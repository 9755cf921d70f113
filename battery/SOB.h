#pragma once
#include <cstdint>
#include <vector>

#include "battery/TESTthd.h"

// Marsaglia's sparse occupancy (bitstream) test: which of the 2^26 values
// of a 26-bit window never occur among the 2^26 overlapping windows of the
// sequence's first 2^26 + 25 bits. The number of missing values is close
// to normal with mean 24,687,971 and standard deviation 4170; the p-value
// is the lower tail Phi(z): too many missing values (a constant or
// periodic input) show as a p-value at or near 1.
class SOB : public TESTthd {
 public:
  static constexpr int BITS = 26;
  static constexpr uint32_t WINDOWS = 1u << BITS;
  static constexpr uint32_t MIN_BITS = WINDOWS + BITS - 1;  // 67,108,889

  // Allocates the 8 MiB map for the run when the sequences are long enough.
  SOB();
  void RunTest() override;

  // The number of 26-bit values that no window of the first 2^26 + 25 bits
  // of the sequence holds.
  uint32_t Missing(const uint32_t* words);

 private:
  std::vector<uint64_t> map_;  // one bit per 26-bit value
};
