#include "BenchSequence.h"
#include "battery/GCD.h"

// No parameters: 10^7 pairs from the shortest sequence it takes
// (2 10^7 words).
static void GCD_(benchmark::State& state) {
  BenchSequence sequence(32 * 20000000u);
  GCD test;
  TimeRunTest(state, test, SLOT_GCD);
}
BENCHMARK(GCD_)->Name("GCD")->Unit(benchmark::kMillisecond);
