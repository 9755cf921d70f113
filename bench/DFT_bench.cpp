#include "BenchSequence.h"
#include "FftBench.h"
#include "battery/DFT.h"
#include "battery/DftLaw.h"
#include "battery/FftLength.h"
#include "battery/PValueTests.h"

#include <vector>

// The window's defaults: rows 1 .. 2^30 by -2 (1, 4 and 16 at 2^20 bits),
// both modes, at most 32 Mbit, lengths above 2 Mbit optimised.
// Then NIST SP 800-22's spectral test: one row (R = 1) of the whole sequence.
static void DFT_(benchmark::State& state) {
  FftBench fft;
  BenchSequence sequence;
  dftRmin = 1;
  dftRmax = static_cast<unsigned>(state.range(0));
  dftRstp = -2;
  dftFirstMode = 0;
  dftModeStep = 1;
  dftNmax = 32u << 20;
  dftNopt = 2u << 20;
  DFT test;
  TimeRunTest(state, test, SLOT_DFT);
}
BENCHMARK(DFT_)->Name("DFT")->Arg(1 << 30)->UseRealTime();
BENCHMARK(DFT_)->Name("DFT/NIST one row")->Arg(1)->UseRealTime();

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

// One R = 1 job's transform at 2^20 bits as the test plans it (a 1 x W
// two-dimensional real-to-complex plan), beside FFTW's own one-dimensional
// real-to-complex plan of the same size; both with the engine's FFTW
// threads and the test's flags.
static void DftTransform(benchmark::State& state, bool asTheTestPlans) {
  FftBench fft;
  const int N = 1 << 20;
  float* in = fftwf_alloc_real(N);
  fftwf_complex* out = fftwf_alloc_complex(N / 2 + 1);
  fftwf_plan plan = asTheTestPlans ? fftwf_plan_dft_r2c_2d(1, N, in, out, FFT_PLAN_FLAGS)
                                   : fftwf_plan_dft_r2c_1d(N, in, out, FFT_PLAN_FLAGS);
  uint64_t x = 12345;
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < N; ++i) {
      x ^= x << 13, x ^= x >> 7, x ^= x << 17;
      in[i] = static_cast<float>(x & 1);
    }
    state.ResumeTiming();
    fftwf_execute(plan);
    benchmark::DoNotOptimize(out[1][1]);
  }
  fftwf_destroy_plan(plan);
  fftwf_free(in);
  fftwf_free(out);
}
BENCHMARK_CAPTURE(DftTransform, test, true)->Name("DFT/Transform")->UseRealTime();
BENCHMARK_CAPTURE(DftTransform, fftw, false)->Name("DFT/FftwR2c1d")->UseRealTime();
