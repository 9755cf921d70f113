#include "BenchSequence.h"
#include "FftBench.h"
#include "battery/PEAK.h"

// The window's defaults: bit distance 1, at most 64 Mbit, lengths above
// 4 Mbit optimised; and a second pass at distance 3.
static void PEAK_(benchmark::State& state) {
  FftBench fft;
  BenchSequence sequence;
  peakDist = static_cast<unsigned>(state.range(0));
  peakNmax = 64u << 20;
  peakNopt = 4u << 20;
  PEAK test;
  TimeRunTest(state, test, SLOT_PEAK);
}
BENCHMARK(PEAK_)->Name("PEAK")->Arg(1)->Arg(3)->UseRealTime();
