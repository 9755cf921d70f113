#include "battery/SOB.h"

#include <algorithm>

#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "battery/RunState.h"

namespace {

QV_POPCNT_CLONES uint64_t CountSet(const uint64_t* map, size_t words) {
  uint64_t count = 0;
  for (size_t i = 0; i < words; ++i) count += Popcount64(map[i]);
  return count;
}

}  // namespace

SOB::SOB() {
  if (seqLen >= MIN_BITS) map_.resize(WINDOWS / 64);
}

uint32_t SOB::Missing(const uint32_t* words) {
  map_.assign(WINDOWS / 64, 0);
  uint64_t* map = map_.data();
  // Each window read with its oldest bit on top: a bijection of the 26-bit
  // values, so the number of missing values is the same in any bit order.
  // The map is far larger than the processor's near caches: each window's
  // word is prefetched AHEAD windows before its bit is set.
  constexpr uint32_t AHEAD = 64;
  uint32_t ring[AHEAD];
  uint32_t k = 0;
  ForEachWindow(words, 0, WINDOWS, BITS, [map, &ring, &k](uint32_t v) {
    __builtin_prefetch(map + (v >> 6), 1);
    uint32_t& slot = ring[k++ % AHEAD];
    if (k > AHEAD) map[slot >> 6] |= uint64_t{1} << (slot & 63);
    slot = v;
  });
  for (uint32_t j = 0; j < AHEAD; ++j) map[ring[j] >> 6] |= uint64_t{1} << (ring[j] & 63);
  return WINDOWS - static_cast<uint32_t>(CountSet(map, map_.size()));
}

void SOB::RunTest() {
  if (seqLen < MIN_BITS) return;
  const double z = (static_cast<double>(Missing(seqBits)) - 24687971) / 4170;
  AddResult(NormalCdf(z), "SOB");
}
