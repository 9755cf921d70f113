#include "platform/TickCount.h"

#include <gtest/gtest.h>
#include <time.h>

using namespace platform;

namespace {

uint64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}

}  // namespace

TEST(TickCount, IsTheMonotonicClockInMillisecondsTruncatedTo32Bits) {
  const uint64_t before = MonotonicMs();
  const uint32_t tick = TickCountMs();
  const uint64_t after = MonotonicMs();
  const uint32_t low = static_cast<uint32_t>(before);
  EXPECT_LE(static_cast<uint32_t>(tick - low), static_cast<uint32_t>(after - before));
}

TEST(TickCount, MovesWithTheMonotonicClock) {
  // Reads until the tick moves (the bound only keeps a stuck tick from
  // hanging): the moved tick is still the monotonic clock's millisecond.
  const uint32_t start = TickCountMs();
  uint32_t now = start;
  uint64_t before = 0, after = 0;
  for (long i = 0; i < 2000000000L && now == start; ++i) {
    before = MonotonicMs();
    now = TickCountMs();
    after = MonotonicMs();
  }
  ASSERT_NE(now, start) << "the tick never moved";
  EXPECT_LE(static_cast<uint32_t>(now - static_cast<uint32_t>(before)), static_cast<uint32_t>(after - before));
}
