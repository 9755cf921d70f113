#include "battery/PEAK.h"

#include <wx/defs.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

#include "battery/Bits.h"
#include "battery/DFT.h"
#include "battery/Distributions.h"
#include "battery/FftLength.h"
#include "battery/Messages.h"
#include "battery/RunState.h"

namespace {

const char* const CAPTION = "Quorvane - PEAK test";

// The levels q and the variance coefficients v of the counts (variance v N).
struct Level {
  double q, v;
};
const Level LEVELS[12] = {
    {0.01, 0.0038951198037469}, {0.1, 0.0185487831967275}, {0.2, 0.0282387956890702},
    {0.3, 0.0397522939411012},  {0.4, 0.0527968775641445}, {0.5, 0.0649469474736013},
    {0.6, 0.0729762486892213},  {0.65, 0.0747059318571985}, {0.7, 0.073978649119403},
    {0.8, 0.0640966616874609},  {0.9, 0.0405322783367898}, {0.99, 0.00490947047425817},
};

}  // namespace

PEAK::PEAK() {
  FitFftLength("PEAK", peakNmax, peakNopt, fftLength);
  const uint32_t N = fftLength;
  const size_t outputs = size_t{N} / 2 + 1;
  magnitudes.reset(new (std::nothrow) double[outputs]);
  if (!magnitudes) {
    ShowMessageBox("Failed to allocate the vector for the magnitudes.\nThe test will be disabled.", CAPTION,
                   wxOK | wxICON_EXCLAMATION);
    status = TEST_DISABLED;
    return;
  }
  in = static_cast<float*>(fftwf_malloc(sizeof(float) * size_t{N}));
  out = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * outputs));
  if (in == nullptr || out == nullptr) {
    ShowMessageBox("Failed to allocate the I/O vector.\nThe test will be disabled.", CAPTION,
                   wxOK | wxICON_EXCLAMATION);
    status = TEST_DISABLED;
    return;
  }
  // At least 1: a distance of 0 would never move through the bits.
  peakDist = std::max(1u, std::min(peakDist, N / 2));

  ComposeWisdomPath();
  LoadFftWisdom();
  // FFTW takes an int length: a longer one cannot be planned.
  if (N >= 1 && N <= INT_MAX) plan = fftwf_plan_dft_r2c_1d(static_cast<int>(N), in, out, FFT_PLAN_FLAGS);
  SaveFftWisdom();
  if (plan == nullptr) {
    ShowMessageBox("Failed to plan the transform.\nThe test will be disabled.", CAPTION, wxOK | wxICON_EXCLAMATION);
    status = TEST_DISABLED;
  }
}

PEAK::~PEAK() {
  if (plan != nullptr) fftwf_destroy_plan(plan);
  fftwf_free(in);
  fftwf_free(out);
}

void PEAK::FillDistance(const uint32_t* words, uint32_t N, uint32_t D, float* in) {
  if (D <= 1) {
    BitsToFloats(words, N, -1.0f, 1.0f, in);
    return;
  }
  // 64-bit positions: t + D passes 2^32 for N near 2^32.
  uint64_t j = 0;
  for (uint64_t w = 0; w < D && w < N; ++w)
    for (uint64_t t = w; t < N; t += D) in[j++] = ReadBit(words, t) ? 1.0f : -1.0f;
}

void PEAK::Pass(uint32_t D) {
  const uint32_t N = fftLength;
  const uint32_t outputs = N / 2 + 1;
  FillDistance(seqBits, N, D, in);
  fftwf_execute(plan);
  // The thresholds in increasing order (q decreasing); each magnitude is
  // counted once by the number of thresholds not above it, and the count
  // below threshold j is the number of magnitudes with fewer than j + 1 of
  // them: one pass instead of one per level.
  const double n = static_cast<double>(N);
  double T[12];
  for (int j = 0; j < 12; ++j) T[j] = std::sqrt(-n * std::log(LEVELS[11 - j].q));
  uint64_t atLeast[13] = {};
  double* mag = magnitudes.get();
  for (uint32_t m = 0; m < outputs; ++m) {
    const float re = out[m][0], im = out[m][1];
    const float power = re * re + im * im;
    const double magnitude = static_cast<float>(std::sqrt(static_cast<double>(power)));
    mag[m] = magnitude;
    int passed = 0;
    for (int j = 0; j < 12; ++j) passed += T[j] <= magnitude;
    ++atLeast[passed];
  }
  uint64_t below[12];  // below[j]: magnitudes strictly below T[j]
  uint64_t running = 0;
  for (int j = 0; j < 12; ++j) {
    running += atLeast[j];
    below[j] = running;
  }
  for (int level = 0; level < 12; ++level) {
    const Level& l = LEVELS[level];
    const double count = static_cast<double>(below[11 - level]);
    const double z = (count - (0.5 - 0.5 * l.q) * n) / std::sqrt(l.v * n);
    AddResult(NormalCdf(z), "Peak %g_%d", l.q, static_cast<int>(D));
  }
}

void PEAK::RunTest() {
  if (plan == nullptr) return;
  Pass(1);
  if (peakDist != 1) Pass(peakDist);
}
