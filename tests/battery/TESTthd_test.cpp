#include "battery/TESTthd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "battery/RunState.h"
#include "platform/Event.h"
#include "platform/ThreadClock.h"

using namespace platform;

namespace {

// A test class that appends two pairs per sequence, numbered by its calls,
// and can burn some CPU so that its clock moves.
class Probe : public TESTthd {
 public:
  explicit Probe(bool disable = false) {
    if (disable) status = TEST_DISABLED;
  }
  void RunTest() override {
    ++calls;
    double x = 0;
    for (long i = 0; i < spin; ++i) x += std::sqrt(x + i);
    sink = x;
    AddResult(0.25, "Probe %d", calls);
    AddResult(calls / 100.0, "Probe %d b", calls);
  }
  int calls = 0;
  long spin = 0;
  volatile double sink = 0;
};

// The engine's side of the handshake for a few slots.
struct Handshake : ::testing::Test {
  std::shared_ptr<EventGroup> doneGroup = CreateEventGroup();
  Event* starts[TEST_SLOTS] = {};
  Event* dones[TEST_SLOTS] = {};

  void SetUp() override {
    for (int i = 0; i < TEST_SLOTS; ++i) {
      starts[i] = CreateEvent();
      dones[i] = CreateEvent(doneGroup);
    }
    startEvents = starts;
    doneEvents = dones;
  }
  void TearDown() override {
    for (int i = 0; i < TEST_SLOTS; ++i) {
      CloseEvent(starts[i]);
      CloseEvent(dones[i]);
      for (char* label : resultLabels[i]) delete[] label;
      resultLabels[i].clear();
      resultPValues[i].clear();
    }
    startEvents = doneEvents = nullptr;
  }

  static void Start(TESTthd* t, int slot) {
    ASSERT_EQ(t->Create(), wxTHREAD_NO_ERROR);
    t->slot = slot;
    ASSERT_EQ(t->Run(), wxTHREAD_NO_ERROR);
  }
  void Release(TESTthd* t) {
    t->command = CMD_RUN;
    ASSERT_TRUE(SetEvent(starts[t->slot]));
  }
  // Waits for the done event of t's slot, as the engine does, and idles it.
  void Collect(TESTthd* t) {
    ASSERT_EQ(WaitAnyEvent(dones, TEST_SLOTS, WAIT_FOREVER), t->slot);
    t->command = CMD_IDLE;
  }
  void Exit(TESTthd* t) {
    t->command = CMD_EXIT;
    ASSERT_TRUE(SetEvent(starts[t->slot]));
    t->Wait();
  }
  static void EmptySlot(int slot) {
    for (char* label : resultLabels[slot]) delete[] label;
    resultLabels[slot].clear();
    resultPValues[slot].clear();
  }
};

}  // namespace

TEST_F(Handshake, ConstructionSetsTheBase) {
  Probe p;
  EXPECT_EQ(p.status, TEST_OK);
  EXPECT_EQ(p.threadHandle, nullptr);
  EXPECT_EQ(p.subThreadCpuSeconds, 0.0);
  EXPECT_GE(p.cpuCount, 1);
  EXPECT_TRUE(p.IsDetached() == false);
}

TEST_F(Handshake, SequencesReleasedThroughEventsLandInTheOwnSlotOnly) {
  Probe probe;
  Start(&probe, 8);
  for (int seq = 1; seq <= 3; ++seq) {
    Release(&probe);
    Collect(&probe);
    ASSERT_EQ(resultLabels[8].size(), 2u);
    ASSERT_EQ(resultPValues[8].size(), 2u);
    EXPECT_EQ(std::string(resultLabels[8][0]), "Probe " + std::to_string(seq)) << "entry 0 is this sequence's first pair";
    EXPECT_EQ(std::string(resultLabels[8][1]), "Probe " + std::to_string(seq) + " b");
    EXPECT_EQ(resultPValues[8][0], 0.25);
    EXPECT_EQ(resultPValues[8][1], seq / 100.0);
    for (int other = 0; other < TEST_SLOTS; ++other)
      if (other != 8) {
        EXPECT_TRUE(resultLabels[other].empty() && resultPValues[other].empty()) << other;
      }
    EmptySlot(8);
  }
  Exit(&probe);
  EXPECT_EQ(probe.calls, 3);
  EXPECT_EQ(probe.status, TEST_OK);
}

TEST_F(Handshake, TwoWorkersRunInParallelAndSignalTheirOwnDoneEvents) {
  Probe a, b;
  Start(&a, 3);
  Start(&b, 20);
  Release(&a);
  Release(&b);
  int seen = 0;
  for (int i = 0; i < 2; ++i) {
    int q = WaitAnyEvent(dones, TEST_SLOTS, WAIT_FOREVER);
    ASSERT_TRUE(q == 3 || q == 20) << q;
    seen |= q == 3 ? 1 : 2;
  }
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(resultLabels[3].size(), 2u);
  EXPECT_EQ(resultLabels[20].size(), 2u);
  Exit(&a);
  Exit(&b);
}

TEST_F(Handshake, ExitBeforeAnySequenceEndsWithoutRunTest) {
  Probe probe;
  Start(&probe, 0);
  Exit(&probe);
  EXPECT_EQ(probe.calls, 0);
  EXPECT_EQ(probe.status, TEST_OK);
  EXPECT_TRUE(resultLabels[0].empty());
}

TEST_F(Handshake, DisabledConstructorIsDeletedWithoutAThread) {
  auto* probe = new Probe(true);
  EXPECT_EQ(probe->status, TEST_DISABLED);
  EXPECT_EQ(probe->threadHandle, nullptr);
  delete probe;  // no thread was created; nothing to join or close
}

TEST_F(Handshake, CpuSecondsAfterTheJoinAreNonNegativeAndGrowWithTheWork) {
  Probe light, heavy;
  heavy.spin = 30000000;
  Start(&light, 1);
  Start(&heavy, 2);
  Release(&light);
  Collect(&light);
  Release(&heavy);
  Collect(&heavy);
  Exit(&light);
  Exit(&heavy);
  double tl = -1, th = -1;
  ASSERT_TRUE(ReadThreadCpuSeconds(light.threadHandle, tl));
  ASSERT_TRUE(ReadThreadCpuSeconds(heavy.threadHandle, th));
  EXPECT_GE(tl, 0.0);
  EXPECT_GT(th, tl + 0.01);
}

TEST_F(Handshake, AFailedWaitEndsTheWorkerObservably) {
  Probe probe;
  InjectEventFailure(EventCall::Wait, 0);
  Start(&probe, 5);
  probe.Wait();
  InjectEventFailure(EventCall::Wait, -1);
  EXPECT_EQ(probe.status, TEST_WAIT_FAILED);
  EXPECT_TRUE(probe.HasFailed());
  EXPECT_EQ(probe.calls, 0);
}

TEST_F(Handshake, AFailedDoneSignalEndsTheWorkerObservably) {
  Probe probe;
  Start(&probe, 6);
  InjectEventFailure(EventCall::Set, 1);  // the release succeeds, the done signal fails
  Release(&probe);
  probe.Wait();
  InjectEventFailure(EventCall::Set, -1);
  EXPECT_EQ(probe.status, TEST_SIGNAL_FAILED);
  EXPECT_TRUE(probe.HasFailed());
  EXPECT_EQ(probe.calls, 1);
  EXPECT_EQ(WaitEvent(dones[6], 0), WaitResult::TimedOut) << "no done signal was given";
}
