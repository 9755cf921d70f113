#include "platform/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/LastError.h"

using namespace platform;

namespace {

struct GroupOfFive : ::testing::Test {
  std::shared_ptr<EventGroup> group = CreateEventGroup();
  Event* events[5] = {};
  void SetUp() override {
    for (auto& e : events) {
      e = CreateEvent(group);
      ASSERT_NE(e, nullptr);
    }
  }
  void TearDown() override {
    for (auto* e : events) CloseEvent(e);
  }
};

}  // namespace

TEST(Event, IsAutoResetAndCreatedUnsignalled) {
  Event* e = CreateEvent();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(WaitEvent(e, 0), WaitResult::TimedOut);
  EXPECT_TRUE(SetEvent(e));
  EXPECT_TRUE(SetEvent(e));  // a second set before the wait is not counted
  EXPECT_EQ(WaitEvent(e, 0), WaitResult::Signalled);
  EXPECT_EQ(WaitEvent(e, 0), WaitResult::TimedOut);
  CloseEvent(e);
}

TEST(Event, WaitHonoursItsTimeOutAndWakesOnSet) {
  Event* e = CreateEvent();
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitEvent(e, 60), WaitResult::TimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));

  // The set comes from another thread once the wait is about to begin;
  // whether it lands before or during the wait, the wait must end with it.
  std::atomic<bool> waiting{false};
  std::thread setter([e, &waiting] {
    while (!waiting) std::this_thread::yield();
    SetEvent(e);
  });
  waiting = true;
  EXPECT_EQ(WaitEvent(e, WAIT_FOREVER), WaitResult::Signalled);
  setter.join();
  CloseEvent(e);
}

TEST_F(GroupOfFive, WaitAnyReturnsLowestSignalledAndClearsOnlyIt) {
  SetEvent(events[3]);
  SetEvent(events[1]);
  EXPECT_EQ(WaitAnyEvent(events, 5, 0), 1);
  EXPECT_EQ(WaitEvent(events[3], 0), WaitResult::Signalled) << "event 3 must still be set";
  SetEvent(events[3]);
  EXPECT_EQ(WaitAnyEvent(events, 5, 0), 3);
  EXPECT_EQ(WaitAnyEvent(events, 5, 0), WAIT_ANY_TIMEOUT);
}

TEST_F(GroupOfFive, WaitAnyTimesOutThenWakesOnAnotherThreadsSet) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitAnyEvent(events, 5, 50), WAIT_ANY_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));

  std::atomic<bool> waiting{false};
  std::thread setter([this, &waiting] {
    while (!waiting) std::this_thread::yield();
    SetEvent(events[4]);
  });
  waiting = true;
  EXPECT_EQ(WaitAnyEvent(events, 5, WAIT_FOREVER), 4);
  setter.join();
  // Only the first count events are looked at.
  SetEvent(events[4]);
  EXPECT_EQ(WaitAnyEvent(events, 4, 0), WAIT_ANY_TIMEOUT);
}

// A pool's pattern: four threads of one group each wait on their own start
// event and answer on their own end event, while this thread waits on any
// end event. Every start reaches its own thread only, and every answer
// comes back, round after round.
TEST(Event, EachWaiterOfAGroupTakesOnlyItsOwnSignals) {
  constexpr int THREADS = 4, ROUNDS = 2000;
  auto group = CreateEventGroup();
  Event* start[THREADS];
  Event* end[THREADS];
  for (int i = 0; i < THREADS; ++i) {
    start[i] = CreateEvent(group);
    end[i] = CreateEvent(group);
  }
  std::atomic<int> served[THREADS] = {};
  std::thread threads[THREADS];
  for (int i = 0; i < THREADS; ++i)
    threads[i] = std::thread([&, i] {
      for (;;) {
        if (WaitEvent(start[i], WAIT_FOREVER) != WaitResult::Signalled) return;
        if (served[i].fetch_add(1) == ROUNDS / THREADS) return;  // the extra start ends the thread
        SetEvent(end[i]);
      }
    });
  for (int r = 0; r < ROUNDS; ++r) {
    const int i = (r * 7) % THREADS;
    ASSERT_TRUE(SetEvent(start[i]));
    ASSERT_EQ(WaitAnyEvent(end, THREADS, WAIT_FOREVER), i) << "round " << r;
  }
  for (int i = 0; i < THREADS; ++i) {
    EXPECT_EQ(served[i].load(), ROUNDS / THREADS);
    SetEvent(start[i]);
    threads[i].join();
    EXPECT_EQ(WaitEvent(end[i], 0), WaitResult::TimedOut) << "no answer is left over";
  }
  for (int i = 0; i < THREADS; ++i) {
    CloseEvent(start[i]);
    CloseEvent(end[i]);
  }
}

// A waiter that timed out has left the group (under the address sanitizer a
// signal that still reached its condition would be caught): a later signal
// of its event is kept for the next wait.
TEST_F(GroupOfFive, ATimedOutWaiterLeavesTheGroup) {
  EXPECT_EQ(WaitEvent(events[0], 5), WaitResult::TimedOut);
  EXPECT_EQ(WaitAnyEvent(events, 3, 5), WAIT_ANY_TIMEOUT);
  EXPECT_TRUE(SetEvent(events[0]));
  EXPECT_TRUE(SetEvent(events[2]));
  EXPECT_EQ(WaitEvent(events[0], 0), WaitResult::Signalled);
  EXPECT_EQ(WaitAnyEvent(events, 3, 0), 2);
}

TEST_F(GroupOfFive, WaitAnyRefusesNullAndForeignEvents) {
  Event* foreign = CreateEvent();
  Event* mixed[2] = {events[0], foreign};
  SetLastError(0);
  EXPECT_EQ(WaitAnyEvent(mixed, 2, 0), WAIT_ANY_FAILED);
  EXPECT_NE(LastError(), 0);
  Event* withNull[2] = {events[0], nullptr};
  EXPECT_EQ(WaitAnyEvent(withNull, 2, 0), WAIT_ANY_FAILED);
  EXPECT_EQ(WaitAnyEvent(events, 0, 0), WAIT_ANY_FAILED);
  CloseEvent(foreign);
}

TEST(Event, CallsOnNullFail) {
  SetLastError(0);
  EXPECT_FALSE(SetEvent(nullptr));
  EXPECT_NE(LastError(), 0);
  EXPECT_EQ(WaitEvent(nullptr, 0), WaitResult::Failed);
}

TEST(Event, InjectedFailuresHitTheChosenCallOnce) {
  Event* e = CreateEvent();
  InjectEventFailure(EventCall::Set, 1);
  EXPECT_TRUE(SetEvent(e));
  SetLastError(0);
  EXPECT_FALSE(SetEvent(e));
  EXPECT_NE(LastError(), 0);
  EXPECT_TRUE(SetEvent(e));

  InjectEventFailure(EventCall::Wait, 0);
  EXPECT_EQ(WaitEvent(e, 0), WaitResult::Failed);
  EXPECT_EQ(WaitEvent(e, 0), WaitResult::Signalled);

  InjectEventFailure(EventCall::Create, 0);
  EXPECT_EQ(CreateEvent(), nullptr);
  Event* again = CreateEvent();
  EXPECT_NE(again, nullptr);

  InjectEventFailure(EventCall::Wait, 5);
  InjectEventFailure(EventCall::Wait, -1);  // disarmed
  for (int i = 0; i < 8; ++i) EXPECT_EQ(WaitEvent(again, 0), WaitResult::TimedOut);
  CloseEvent(again);
  CloseEvent(e);
}

TEST(Event, AFailureInjectedOnOneThreadIgnoresTheCallsOfOthers) {
  Event* e = CreateEvent();
  InjectEventFailureOnThisThread(EventCall::Set, 1);
  std::thread other([e] {
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(SetEvent(e));
  });
  other.join();
  EXPECT_TRUE(SetEvent(e));
  EXPECT_FALSE(SetEvent(e));
  EXPECT_TRUE(SetEvent(e));
  // The plain injection counts every thread's calls again.
  InjectEventFailure(EventCall::Set, 0);
  std::thread failing([e] { EXPECT_FALSE(SetEvent(e)); });
  failing.join();
  EXPECT_TRUE(SetEvent(e));
  CloseEvent(e);
}
