#include "battery/LONGBLK.h"

#include "battery/Bits.h"
#include "battery/GridWalk.h"
#include "battery/RunState.h"
#include "battery/Distributions.h"

void LONGBLK::RunTest() {
  for (int m : Grid(longBlkSmin, longBlkSmax, longBlkSstp)) {
    const uint32_t blocks = seqLen / static_cast<uint32_t>(m);
    if (blocks < 10) break;
    double s = 0;
    for (uint32_t b = 0; b < blocks; ++b) {
      const double share = static_cast<double>(CountOnes(seqBits, uint64_t(b) * m, m)) / m - 0.5;
      s += share * share;
    }
    const double x = 4.0 * m * s;
    AddResult(IncompleteGammaQ(blocks / 2.0, x / 2), "Long blk %d", m);
  }
}
