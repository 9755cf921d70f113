// The reader of the text file "DAT_collision_limits.txt": the COLLISION test
// reads the input as the file. A file it accepts leaves a word-size range
// within 1..31, and every word size it lists has counts read from the file.
#include <cstdlib>

#include "battery/COLLISION.h"
#include "fuzz/DataFileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const qvfuzz::DataFolder folder("DAT_collision_limits.txt");
  qvfuzz::WriteDataFile(folder, data, size, false);
  seqLen = 1 << 20;
  seqCount = 100;
  collisionSmin = 1;
  collisionSmax = 31;
  collisionSstp = 1;
  COLLISION test;
  if (test.status == TEST_DISABLED) return 0;
  if (collisionSmin < 1 || collisionSmax > 31) abort();
  bool tested = false;
  for (int s = collisionSmin; s <= collisionSmax; ++s)
    tested = tested || (seqLen / static_cast<uint32_t>(s) >= test.minWords[s] && test.maxWords[s] > 0);
  if (!tested) abort();
  return 0;
}
