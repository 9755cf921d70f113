#include "BenchSequence.h"
#include "battery/SERIAL.h"

// The window's default grid (2 .. 16, step -1: m = 2, 4, 8, 16) and the
// single length m = 16.
static void SERIAL_(benchmark::State& state) {
  serialSmin = static_cast<int>(state.range(0));
  serialSmax = static_cast<int>(state.range(1));
  serialSstp = -1;
  BenchSequence sequence;
  SERIAL test;
  TimeRunTest(state, test, SLOT_SERIAL);
}
BENCHMARK(SERIAL_)->Name("SERIAL")->Args({2, 16})->Args({16, 16});
