#include "platform/TickCount.h"

#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <thread>

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

TEST(TickCount, CountsMilliseconds) {
  const uint32_t start = TickCountMs();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const uint32_t elapsed = TickCountMs() - start;
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, 5000u) << "milliseconds, not a finer unit";
}
