#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>

#include "platform/Event.h"
#include "platform/LastError.h"

using namespace platform;

namespace {

struct Probe {
  std::atomic<int> runs{0};
  Event* done = nullptr;
};

void Routine(void* argument) {
  auto* probe = static_cast<Probe*>(argument);
  ++probe->runs;
  if (probe->done != nullptr) SetEvent(probe->done);
}

}  // namespace

TEST(Thread, RunsTheRoutineWithItsArgumentAndJoins) {
  Probe probe;
  Thread* threads[4];
  for (auto& t : threads) {
    t = StartThread(Routine, &probe);
    ASSERT_NE(t, nullptr);
  }
  for (auto* t : threads) {
    EXPECT_TRUE(JoinThread(t));
    EXPECT_FALSE(JoinThread(t));  // joined once only
    EXPECT_TRUE(CloseThread(t));
  }
  EXPECT_EQ(probe.runs.load(), 4);
  EXPECT_TRUE(CloseThread(nullptr));
  EXPECT_EQ(StartThread(nullptr, nullptr), nullptr);
}

TEST(Thread, InjectedFailuresOfStartAndJoin) {
  Probe probe;
  InjectThreadFailure(ThreadCall::Start, 1);
  Thread* first = StartThread(Routine, &probe);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(StartThread(Routine, &probe), nullptr);
  EXPECT_EQ(LastError(), EAGAIN);
  InjectThreadFailure(ThreadCall::Join, 0);
  EXPECT_FALSE(JoinThread(first));  // the handle stays valid
  EXPECT_TRUE(JoinThread(first));
  EXPECT_TRUE(CloseThread(first));
  EXPECT_EQ(probe.runs.load(), 1);
}

TEST(Thread, ClosingAThreadNotJoinedLetsItRunOn) {
  // The detached thread may still be inside SetEvent when the wait returns:
  // its probe and event live on.
  static Probe probe;
  probe.done = CreateEvent();
  Thread* t = StartThread(Routine, &probe);
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(CloseThread(t));
  EXPECT_EQ(WaitEvent(probe.done, WAIT_FOREVER), WaitResult::Signalled);
  EXPECT_EQ(probe.runs.load(), 1);
}
