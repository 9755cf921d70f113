#include "battery/MAURER.h"

#include <algorithm>
#include <cmath>

#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "battery/GridWalk.h"
#include "battery/RunState.h"

namespace {

// Per L: the expected value E and variance V of the statistic (Maurer), and
// the coefficients d, e of the corrected variance factor
// c^2 = d + e * 2^L / K (Coron and Naccache). Row 0 stands for L = 1.
struct MaurerRow {
  double e, v, d, ce;
};
const MaurerRow MAURER_TABLE[16] = {
    {0.7326495, 0.6897678, 0, 0},
    {1.5374383, 1.3377388, 0.2363135, 0.5594976},
    {2.4016068, 1.9013347, 0.2732725, 0.4890883},
    {3.3112247, 2.3577369, 0.3045101, 0.4435381},
    {4.2534266, 2.7045528, 0.3296587, 0.4137196},
    {5.2177052, 2.9540324, 0.3489769, 0.3941338},
    {6.1962507, 3.1253919, 0.3631815, 0.381321},
    {7.1836656, 3.2386622, 0.3732189, 0.3730195},
    {8.1764248, 3.3112009, 0.3800637, 0.3677118},
    {9.1723243, 3.3564569, 0.3845867, 0.3643695},
    {10.170032, 3.384087, 0.3874942, 0.3622979},
    {11.168765, 3.4006541, 0.3893189, 0.3610336},
    {12.16807, 3.410438, 0.3904405, 0.3602731},
    {13.167693, 3.4161418, 0.3911178, 0.3598216},
    {14.167488, 3.4194304, 0.3915202, 0.3595571},
    {15.167379, 3.4213083, 0.3917561, 0.359404},
};

constexpr uint32_t UNSEEN = ~0u;
constexpr int LN_TABLE = 1 << 16;

}  // namespace

MAURER::MAURER() {
  for (int L : Grid(maurerSmin, maurerSmax, maurerSstp)) {
    const int64_t blocks = seqLen / static_cast<uint32_t>(L);
    if (blocks - 33 * (int64_t(1) << L) < 10 * (int64_t(1) << L)) {
      maurerSmax = L - 1;
      break;
    }
  }
  // Tables for the largest L the engine admits (16): 256 KiB and 512 KiB,
  // allocated once per run.
  last_.resize(size_t(1) << 16);
  lnSmall_.resize(LN_TABLE);
  lnSmall_[0] = 0;
  for (int d = 1; d < LN_TABLE; ++d) lnSmall_[d] = std::log(static_cast<double>(d));
}

double MAURER::MaurerStatistic(int L) {
  const uint64_t B = seqLen / static_cast<uint32_t>(L);
  const uint64_t values = uint64_t(1) << L;
  std::fill(last_.begin(), last_.begin() + values, UNSEEN);
  BitStream blocks(seqBits, 0);

  // Initialisation: until every value has appeared and at least 10 * 2^L
  // blocks have been read.
  uint64_t unseen = values, i = 0;
  for (;;) {
    const uint32_t v = blocks.Next(L);
    if (last_[v] == UNSEEN) --unseen;
    last_[v] = static_cast<uint32_t>(i);
    ++i;
    // A value missing from the whole sequence is a failure of the data
    // (improbable beyond 1e-15 with 43 * 2^L blocks), not a lack of it.
    if (i == B) return unseen > 0 ? PVALUE_FAIL : PVALUE_SHORT;
    if (unseen == 0 && i >= 10 * values) break;
  }
  const uint64_t Q = i, K = B - Q;
  if (K < 33 * values) return PVALUE_SHORT;

  double sum = 0;
  for (uint64_t j = Q; j < B; ++j) {
    const uint32_t v = blocks.Next(L);
    const uint64_t distance = j - last_[v];
    sum += distance < LN_TABLE ? lnSmall_[distance] : std::log(static_cast<double>(distance));
    last_[v] = static_cast<uint32_t>(j);
  }
  const double f = sum / static_cast<double>(K) / std::log(2.0);
  const MaurerRow& row = MAURER_TABLE[L - 1];
  const double variance = (static_cast<double>(values) * row.ce / K + row.d) * row.v / K;
  const double z = (f - row.e) / std::sqrt(variance);
  return IncompleteGammaQ(0.5, z * z / 2);
}

void MAURER::RunTest() {
  for (int L : Grid(maurerSmin, maurerSmax, maurerSstp)) AddResult(MaurerStatistic(L), "Maurer %d", L);
}
