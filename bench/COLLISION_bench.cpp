#include "BenchDataDir.h"
#include "BenchSequence.h"
#include "battery/COLLISION.h"

// The window's defaults (s from 1 doubling up to 31) for a run of 100
// sequences of 2^20 bits: the limits leave s = 14 (74,898 words) under the
// exact law, which the first RunTest builds and caches outside the timing.
static void COLLISION_(benchmark::State& state) {
  BenchDataDir data;  // the limits file
  seqCount = 100;
  collisionSmin = 1;
  collisionSmax = 31;
  collisionSstp = -1;
  BenchSequence sequence;
  COLLISION test;
  if (test.status != TEST_OK) {
    state.SkipWithError("DAT_collision_limits.txt missing beside the program");
    return;
  }
  test.slot = SLOT_COLLISION;
  test.RunTest();
  ClearSlot(SLOT_COLLISION);
  TimeRunTest(state, test, SLOT_COLLISION);
}
BENCHMARK(COLLISION_)->Name("COLLISION");
