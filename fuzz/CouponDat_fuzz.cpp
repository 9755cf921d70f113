// The reader of "DAT_coupon.bin": the engine's check and the battery's
// reader agree on the file taken whole, and the COUPON test reads the input
// as a payload behind a sound header. A file it accepts gives tables of
// ascending word sizes s in 1..31 with 2^s <= lo <= hi, a positive mean and
// hi - lo + 1 probabilities.
#include <cstdlib>

#include "battery/COUPON.h"
#include "fuzz/DataFileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* name = "DAT_coupon.bin";
  const qvfuzz::DataFolder folder(name);
  qvfuzz::CheckSoundness(folder, name, data, size);
  qvfuzz::WriteDataFile(folder, data, size, true);
  seqLen = 1 << 20;
  // Word sizes up to 16: the test keeps a mark for each of the 2^s words.
  couponSmin = 1;
  couponSmax = 16;
  couponSstp = 1;
  COUPON test;
  if (test.status == TEST_DISABLED) return 0;
  int last = 0;
  for (const COUPON::Table& t : test.tables) {
    if (t.s <= last || t.s > 31 || t.lo < (int64_t{1} << t.s) || t.hi < t.lo || !(t.mean > 0) ||
        t.p.size() != static_cast<size_t>(t.hi - t.lo + 1) || !qvfuzz::Probabilities(t.p))
      abort();
    last = t.s;
  }
  return 0;
}
