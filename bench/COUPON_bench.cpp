#include <unistd.h>

#include <cstring>
#include <string>

#include "BenchSequence.h"
#include "battery/COUPON.h"

namespace {

// "DAT_coupon.bin" lies beside the benchmark program (build/bin).
std::string ProgramFolder() {
  char path[4096];
  const ssize_t len = readlink("/proc/self/exe", path, sizeof path - 1);
  if (len <= 0) return ".";
  path[len] = 0;
  if (char* slash = std::strrchr(path, '/')) *slash = 0;
  return path;
}

}  // namespace

// The window's defaults: s = 2 .. 16 on 2^20 bits (s = 2 .. 8 reach 30
// mean collections).
static void COUPON_(benchmark::State& state) {
  static std::string folder = ProgramFolder();
  dataDir = folder.data();
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
  dataDir = nullptr;
}
BENCHMARK(COUPON_)->Name("COUPON");
