// The reader of "DAT_ZarWlk.bin": the engine's check and the battery's
// reader agree on the file taken whole, and the RW2D test reads the input as
// a payload behind a sound header. A file it accepts gives, for each level
// in use, rows 0..h with h below 4^level, row lengths within the same bound
// and every value a probability.
#include <cstdlib>

#include "battery/RW2D.h"
#include "fuzz/DataFileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* name = "DAT_ZarWlk.bin";
  const qvfuzz::DataFolder folder(name);
  qvfuzz::CheckSoundness(folder, name, data, size);
  qvfuzz::WriteDataFile(folder, data, size, true);
  seqLen = 1 << 20;
  rw2dLmin = 1;
  rw2dLmax = RW2D::MAX_LEVEL;
  rw2dLstp = 1;
  RW2D test;
  if (test.status == TEST_DISABLED) return 0;
  for (int level = 1; level <= RW2D::MAX_LEVEL; ++level) {
    const ZarWlkTable& t = test.tables[level];
    if (t.rows.empty()) continue;
    const int64_t bound = int64_t{1} << (2 * level);
    if (t.h < 0 || t.h >= bound || t.rows.size() != static_cast<size_t>(t.h) + 1 ||
        t.rowLength.size() != t.rows.size())
      abort();
    for (size_t r = 0; r < t.rows.size(); ++r) {
      const int m = t.rowLength[r];
      if (m < 0 || m > bound || (m > 0 && t.rows[r].size() != static_cast<size_t>(m))) abort();
      if (m > 0 && !qvfuzz::Probabilities(t.rows[r])) abort();
    }
  }
  return 0;
}
