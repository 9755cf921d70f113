#include "BenchDataDir.h"
#include "BenchSequence.h"
#include "battery/COUPON.h"

// The window's defaults: s = 2 .. 16 on 2^20 bits (s = 2 .. 8 reach 80
// mean collections).
static void COUPON_(benchmark::State& state) {
  BenchDataDir data;  // "DAT_coupon.bin"
  couponSmin = 2;
  couponSmax = 16;
  couponSstp = 1;
  BenchSequence sequence;
  COUPON test;
  if (test.status != TEST_OK) {
    state.SkipWithError("DAT_coupon.bin missing beside the program");
    return;
  }
  TimeRunTest(state, test, SLOT_COUPON);
}
BENCHMARK(COUPON_)->Name("COUPON");
