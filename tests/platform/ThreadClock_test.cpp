#include "platform/ThreadClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "platform/Counter.h"
#include "platform/LastError.h"

using namespace platform;

namespace {

// Burns CPU for about `seconds` of wall time.
double Spin(double seconds) {
  const int64_t end = CounterTicks() + static_cast<int64_t>(seconds * CounterFrequency());
  double x = 0;
  while (CounterTicks() < end) x += std::sqrt(x + 1.0);
  return x;
}

// Burns `seconds` of the calling thread's own CPU time, however busy the
// machine is.
void SpinCpu(double seconds) {
  ThreadClock* own = OpenCurrentThreadClock();
  double start = 0, now = 0;
  ReadThreadCpuSeconds(own, start);
  do {
    Spin(0.001);
    ReadThreadCpuSeconds(own, now);
  } while (now - start < seconds);
  CloseThreadClock(own);
}

}  // namespace

TEST(ThreadClock, ReadableWhileRunningAndAfterTheThreadHasEnded) {
  ThreadClock* clock = nullptr;
  std::atomic<int> phase{0};
  std::thread worker([&] {
    clock = OpenCurrentThreadClock();
    SpinCpu(0.05);
    phase = 1;
    while (phase != 2) std::this_thread::yield();
    SpinCpu(0.1);
  });
  while (phase != 1) std::this_thread::yield();
  ASSERT_NE(clock, nullptr);
  double early = -1;
  ASSERT_TRUE(ReadThreadCpuSeconds(clock, early));
  EXPECT_GT(early, 0.0);
  phase = 2;
  worker.join();

  double final1 = -1, final2 = -1;
  ASSERT_TRUE(ReadThreadCpuSeconds(clock, final1)) << "the clock must survive its thread";
  EXPECT_GT(final1, early + 0.05) << "the second spin must count";
  ASSERT_TRUE(ReadThreadCpuSeconds(clock, final2));
  EXPECT_EQ(final1, final2) << "an ended thread's time no longer moves";
  CloseThreadClock(clock);
}

TEST(ThreadClock, TwoHandlesOnOneThreadAgree) {
  ThreadClock* a = OpenCurrentThreadClock();
  ThreadClock* b = OpenCurrentThreadClock();
  Spin(0.01);
  double ta = 0, tb = 0;
  ASSERT_TRUE(ReadThreadCpuSeconds(a, ta));
  ASSERT_TRUE(ReadThreadCpuSeconds(b, tb));
  EXPECT_GE(tb, ta);
  EXPECT_LT(tb - ta, 0.01);
  CloseThreadClock(a);
  CloseThreadClock(b);
}

TEST(ThreadClock, FailuresAreReported) {
  double s = 0;
  SetLastError(0);
  EXPECT_FALSE(ReadThreadCpuSeconds(nullptr, s));
  EXPECT_NE(LastError(), 0);
  InjectThreadClockFailure(1);
  EXPECT_EQ(OpenCurrentThreadClock(), nullptr);
  ThreadClock* ok = OpenCurrentThreadClock();
  EXPECT_NE(ok, nullptr);
  CloseThreadClock(ok);
}

TEST(Counter, IsMonotonicWithNanosecondFrequency) {
  EXPECT_EQ(CounterFrequency(), 1000000000);
  int64_t a = CounterTicks();
  Spin(0.001);
  int64_t b = CounterTicks();
  EXPECT_GT(b, a);
}

// Seconds credited to a thread count on its clock, before and after it has
// ended; a thread that never opened its clock credits nothing anywhere.
TEST(ThreadClock, CountsTheSecondsCreditedToTheThread) {
  ThreadClock* clock = nullptr;
  double own = 0;
  std::thread worker([&] {
    CreditCurrentThread(5.0);  // no clock yet: dropped
    clock = OpenCurrentThreadClock();
    CreditCurrentThread(2.5);
    own = CurrentThreadCpuSeconds();
  });
  worker.join();
  ASSERT_NE(clock, nullptr);
  double seconds = 0;
  ASSERT_TRUE(ReadThreadCpuSeconds(clock, seconds));
  EXPECT_GE(seconds, 2.5 + own * 0.999);
  EXPECT_LT(seconds, 2.5 + 1.0) << "the credit before the clock was opened is dropped";
  CloseThreadClock(clock);
}
