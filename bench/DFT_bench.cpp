#include "BenchSequence.h"
#include "FftBench.h"
#include "battery/DFT.h"
#include "battery/DftLaw.h"
#include "battery/PValueTests.h"

#include <vector>

// The window's defaults: rows 1 .. 2^30 by -2 (1, 4 and 16 at 2^20 bits),
// both modes, at most 32 Mbit, lengths above 2 Mbit optimised.
static void DFT_(benchmark::State& state) {
  FftBench fft;
  BenchSequence sequence;
  dftRmin = 1;
  dftRmax = 1u << 30;
  dftRstp = -2;
  dftFirstMode = 0;
  dftModeStep = 1;
  dftNmax = 32u << 20;
  dftNopt = 2u << 20;
  DFT test;
  TimeRunTest(state, test, SLOT_DFT);
}
BENCHMARK(DFT_)->Name("DFT")->UseRealTime();

// The Kolmogorov-Smirnov step of one R = 1 job at 2^20 bits (2^19 + 1
// values), by the shared sort and by the bucket sort and table law the
// test uses.
static void NormalValues(std::vector<double>& values) {
  uint64_t x = 12345;
  for (auto& v : values) {
    double s = 0;  // Irwin-Hall: close enough to normal for timing
    for (int i = 0; i < 12; ++i) {
      x ^= x << 13, x ^= x >> 7, x ^= x << 17;
      s += static_cast<double>(x >> 11) * 0x1p-53;
    }
    v = s - 6;
  }
}

static void DFT_KsSort(benchmark::State& state) {
  std::vector<double> values((1u << 19) + 1), work(values.size());
  NormalValues(values);
  for (auto _ : state) {
    work = values;
    benchmark::DoNotOptimize(KsNormalPValue(work.data(), static_cast<int>(work.size())));
  }
}
BENCHMARK(DFT_KsSort)->Name("DFT/KsNormalPValue");

static void DFT_KsBuckets(benchmark::State& state) {
  std::vector<double> values((1u << 19) + 1), work(values.size()), scratch(values.size());
  std::vector<uint32_t> buckets(values.size() / 4 + 2);
  NormalValues(values);
  for (auto _ : state) {
    work = values;
    const double d = KsNormalDistanceBucketed(work.data(), static_cast<uint32_t>(work.size()), scratch.data(),
                                              buckets.data(), static_cast<uint32_t>(work.size() / 4 + 1));
    benchmark::DoNotOptimize(DftKsPValue(d, work.size()));
  }
}
BENCHMARK(DFT_KsBuckets)->Name("DFT/KsNormalDistanceBucketed");
