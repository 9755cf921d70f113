#include "BenchSequence.h"
#include "battery/Bits.h"
#include "battery/NOTM.h"

// The window's default grid (m = 2 .. 31, doubling; 2^20 bits reach m = 8)
// with 4 templates per length; then NIST SP 800-22's parameters, all 148
// templates of m = 9.
static void NOTM_(benchmark::State& state) {
  notmSmin = static_cast<int>(state.range(0));
  notmSmax = static_cast<int>(state.range(1));
  notmSstp = -1;
  notmTempl = static_cast<int>(state.range(2));
  BenchSequence sequence;
  NOTM test;
  TimeRunTest(state, test, SLOT_NOTM);
}
BENCHMARK(NOTM_)->Name("NOTM")->Args({2, 31, 4});
BENCHMARK(NOTM_)->Name("NOTM/NIST m=9 all templates")->Args({9, 9, 0});

// For comparison, the counting of the same grid (m = 2, 4, 8) done the way
// it was first written: every template compared bit by bit at every start.
static void NOTM_BitByBit(benchmark::State& state) {
  BenchSequence sequence;
  NOTM generator;
  uint64_t total = 0;
  for (auto _ : state) {
    for (int m = 2; m <= 8; m *= 2) {
      const uint32_t blocks = NotmBlockCount(seqLen, m);
      const uint64_t M = seqLen / blocks;
      generator.templateStride = APERIODIC_COUNT[m] / 4;
      generator.strideCounter = generator.templateStride;
      generator.candidate = 0;
      for (uint32_t i = 0; i < (m == 2 ? 2u : 4u); ++i) {
        const uint32_t t = m == 2 ? i + 1 : NextAperiodicTemplate(generator, m);
        for (uint32_t w = 0; w < blocks; ++w)
          for (uint64_t k = 0; k + m <= M; ++k) {
            int j = 0;
            while (j < m && ReadBit(seqBits, w * M + k + j) == ((t >> (m - 1 - j)) & 1)) ++j;
            total += j == m;
          }
      }
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * (seqLen / 8));
}
BENCHMARK(NOTM_BitByBit)->Name("NOTM/bit-by-bit (before)");
