#pragma once
#include <fftw3.h>

#include <cstdint>
#include <memory>

#include "battery/TESTthd.h"

// The Peak test: the first N bits as +1 / -1, transformed once; for twelve
// levels q, the count of the N/2 + 1 Fourier magnitudes below
// T = sqrt(-N ln q) (exceeded with probability q by a random sequence) is
// judged by the normal law with variance v N. Once on the bits in order and,
// when peakDist is not 1, once on the bits read peakDist apart.
class PEAK : public TESTthd {
 public:
  PEAK();
  ~PEAK() override;
  void RunTest() override;

  fftwf_plan plan = nullptr;
  float* in = nullptr;           // N values
  fftwf_complex* out = nullptr;  // N/2 + 1 outputs
  uint32_t fftLength = 0;        // N
  std::unique_ptr<double[]> magnitudes;  // N/2 + 1

  // Fills in[0 .. N - 1] with +1 / -1 from bits 0, D, 2D, ... (below N),
  // then 1, 1 + D, ..., then 2, 2 + D, ...: every bit below N once.
  static void FillDistance(const uint32_t* words, uint32_t N, uint32_t D, float* in);

 private:
  void Pass(uint32_t D);
};
