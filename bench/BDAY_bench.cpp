#include "BenchSequence.h"
#include "battery/BDAY.h"

// No parameters: 500 samples of 4096 words, the shortest sequence it takes.
static void BDAY_(benchmark::State& state) {
  BenchSequence sequence(BDAY::MIN_BITS);
  BDAY test;
  TimeRunTest(state, test, SLOT_BDAY);
}
BENCHMARK(BDAY_)->Name("BDAY")->Unit(benchmark::kMillisecond);
