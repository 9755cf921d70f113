#include "platform/Processors.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <thread>

using namespace platform;

namespace {

// Sets the calling thread's affinity mask; false when the system refuses.
bool SetMask(const cpu_set_t& mask) { return sched_setaffinity(0, sizeof mask, &mask) == 0; }

}  // namespace

TEST(Processors, CountsTheCpusOfTheAffinityMask) {
  cpu_set_t mask;
  CPU_ZERO(&mask);
  ASSERT_EQ(sched_getaffinity(0, sizeof mask, &mask), 0);
  EXPECT_EQ(ProcessorCount(), CPU_COUNT(&mask));
}

TEST(Processors, FollowsANarrowedMask) {
  // On a thread of its own, so the narrowed mask leaves the other tests alone.
  int before = 0, narrowed = 0, expected = 0;
  bool set = false;
  std::thread([&] {
    cpu_set_t mask;
    CPU_ZERO(&mask);
    if (sched_getaffinity(0, sizeof mask, &mask) != 0) return;
    before = ProcessorCount();
    // Keep only the first of the allowed CPUs.
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE && CPU_COUNT(&one) == 0; ++cpu)
      if (CPU_ISSET(cpu, &mask)) CPU_SET(cpu, &one);
    expected = CPU_COUNT(&one);
    set = SetMask(one);
    if (set) narrowed = ProcessorCount();
  }).join();
  ASSERT_GE(before, 1);
  ASSERT_TRUE(set);
  EXPECT_EQ(expected, 1);
  EXPECT_EQ(narrowed, 1);
}

TEST(Processors, AtLeastOne) { EXPECT_GE(ProcessorCount(), 1); }
