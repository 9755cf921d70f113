#include <vector>

#include "BenchSequence.h"
#include "battery/AUTOW.h"

// The window's defaults as the engine leaves them for 2^20 bits: S 1 ..
// 1024 doubling, d 1 .. n / 2 doubling, no limit per S (165 jobs).
static void AUTOW_(benchmark::State& state) {
  autowSmin = 1, autowSmax = 1024, autowSstp = -1;
  autowDmin = 1, autowDmax = 1 << 19, autowDstp = -1, autowMaxPv = 0;
  EnsureLnFactorial(autowSmax);
  BenchSequence sequence;
  AUTOW test;
  TimeRunTest(state, test, SLOT_AUTOW);
  // The jobs run on the sub-threads: their CPU time per sequence.
  state.counters["subthread_cpu_ms"] = 1e3 * test.subThreadCpuSeconds / static_cast<double>(state.iterations());
}
BENCHMARK(AUTOW_)->Name("AUTOW")->UseRealTime();

// One job's counting (S, d = 1) on 2^20 bits: the exclusive-or of the
// sequence with itself and a popcount per block, against comparing the
// blocks bit by bit.
static void AUTOW_Count(benchmark::State& state) {
  const int S = static_cast<int>(state.range(0));
  BenchSequence sequence;
  std::vector<uint64_t> hist(S + 1);
  for (auto _ : state) {
    AUTOW::CountDistances(seqBits, seqLen, S, 1, hist.data());
    benchmark::DoNotOptimize(hist.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * (seqLen / 8));
}
BENCHMARK(AUTOW_Count)->Name("AUTOW/count")->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Arg(64)->Arg(1024)->Arg(3)->Arg(100);

static void AUTOW_CountBitByBit(benchmark::State& state) {
  const int S = static_cast<int>(state.range(0));
  BenchSequence sequence;
  std::vector<uint64_t> hist(S + 1);
  const uint64_t blocks = seqLen / static_cast<uint32_t>(S);
  auto bit = [](uint64_t t) { return (seqBits[t >> 5] >> (t & 31)) & 1u; };
  for (auto _ : state) {
    for (uint64_t k = 0; k + 1 < blocks; ++k) {
      int h = 0;
      for (int j = 0; j < S; ++j) h += bit(k * S + j) != bit((k + 1) * S + j);
      ++hist[h];
    }
    benchmark::DoNotOptimize(hist.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * (seqLen / 8));
}
BENCHMARK(AUTOW_CountBitByBit)->Name("AUTOW/count_bit_by_bit")->Arg(1)->Arg(8)->Arg(64)->Arg(1024);
