// The reader of "DAT_partition.bin": the engine's check and the battery's
// reader agree on the file taken whole, and the PARTITION test reads the
// input as a payload behind a sound header. Its reader refuses a record
// outside 1 <= rmin <= rmax <= group size or with a value outside [0, 1];
// here it must do so without a crash, a leak or undefined behaviour.
#include "battery/PARTITION.h"
#include "fuzz/DataFileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* name = "DAT_partition.bin";
  const qvfuzz::DataFolder folder(name);
  qvfuzz::CheckSoundness(folder, name, data, size);
  qvfuzz::WriteDataFile(folder, data, size, true);
  seqLen = 1 << 20;
  partitionSmin = 2;
  partitionSmax = 13;
  partitionSstp = 1;
  partitionKnum = 0;
  PARTITION test;
  return 0;
}
