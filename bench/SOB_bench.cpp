#include "BenchSequence.h"
#include "battery/SOB.h"

// No parameters: 2^26 windows of 26 bits, the shortest sequence it takes.
static void SOB_(benchmark::State& state) {
  BenchSequence sequence(SOB::MIN_BITS);
  SOB test;
  TimeRunTest(state, test, SLOT_SOB);
}
BENCHMARK(SOB_)->Name("SOB")->Unit(benchmark::kMillisecond);
