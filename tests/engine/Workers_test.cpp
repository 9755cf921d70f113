#include "engine/Workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>

#include "battery/RunState.h"
#include "battery/TESTthd.h"
#include "platform/Event.h"
#include "support/MessageCapture.h"

using namespace platform;

namespace {

// A test class that appends two pairs per sequence, numbered by its calls.
// It can burn CPU so that its clock moves, and it can stop at a gate: it
// signals `entered`, waits for `gate`, then burns.
class Probe : public TESTthd {
 public:
  void RunTest() override {
    ++calls;
    if (gate != nullptr) {
      SetEvent(entered);
      WaitEvent(gate, WAIT_FOREVER);
    }
    double x = 0;
    for (long i = 0; i < spin; ++i) x += std::sqrt(x + i);
    sink = x;
    // Had the engine's end returned, what this test reads might be gone.
    if (endReturned != nullptr && endReturned->load()) ranAfterTheEnd = true;
    AddResult(0.25, "Probe %d", calls);
    AddResult(calls / 100.0, "Probe %d b", calls);
    if (finished != nullptr) SetEvent(finished);
  }
  int calls = 0;
  long spin = 0;
  volatile double sink = 0;
  Event* entered = nullptr;
  Event* gate = nullptr;
  Event* finished = nullptr;
  const std::atomic<bool>* endReturned = nullptr;
  bool ranAfterTheEnd = false;
};

struct WorkersTest : ::testing::Test {
  char scratch[PATH_BUF_SIZE] = {};
  MessageCapture capture;
  double cpu[TEST_SLOTS] = {};

  void SetUp() override { pathBuf = scratch; }
  void TearDown() override {
    InjectEventFailure(EventCall::Set, -1);
    InjectEventFailure(EventCall::Wait, -1);
    for (int i = 0; i < TEST_SLOTS; ++i) {
      for (char* label : resultLabels[i]) delete[] label;
      resultLabels[i].clear();
      resultPValues[i].clear();
    }
    pathBuf = nullptr;
  }
  // The events of every slot, and the threads of the given tests.
  static void Start(Workers& workers, std::initializer_list<std::pair<int, TESTthd*>> tests) {
    for (int s = 0; s < TEST_SLOTS; ++s) ASSERT_TRUE(workers.AddEvents(s));
    for (const auto& [slot, test] : tests) ASSERT_TRUE(workers.StartThread(slot, test));
  }
  static int AwaitAny(Workers& workers) {
    int q;
    while ((q = workers.AwaitAny(100)) == WAIT_ANY_TIMEOUT) {
    }
    return q;
  }
  static void EmptySlot(int slot) {
    for (char* label : resultLabels[slot]) delete[] label;
    resultLabels[slot].clear();
    resultPValues[slot].clear();
  }
  std::string Log() const { return std::string(capture.Log().utf8_str().data()); }
};

}  // namespace

TEST_F(WorkersTest, SequencesReleasedLandInTheOwnSlotOnly) {
  Probe probe;
  Workers workers;
  Start(workers, {{8, &probe}});
  EXPECT_EQ(probe.slot, 8);
  for (int seq = 1; seq <= 3; ++seq) {
    ASSERT_TRUE(workers.Release(8));
    EXPECT_TRUE(workers.Released(8));
    ASSERT_EQ(AwaitAny(workers), 8);
    EXPECT_FALSE(workers.Released(8));
    ASSERT_EQ(resultLabels[8].size(), 2u);
    EXPECT_EQ(std::string(resultLabels[8][0]), "Probe " + std::to_string(seq));
    EXPECT_EQ(resultPValues[8][1], seq / 100.0);
    for (int other = 0; other < TEST_SLOTS; ++other)
      if (other != 8) {
        EXPECT_TRUE(resultLabels[other].empty()) << other;
      }
    EmptySlot(8);
  }
  workers.End(cpu);
  EXPECT_EQ(probe.calls, 3);
  EXPECT_FALSE(workers.Kept(8));
}

TEST_F(WorkersTest, TwoWorkersRunInParallelAndSignalTheirOwnDoneEvents) {
  Probe a, b;
  Workers workers;
  workers.SetLimit(2);
  Start(workers, {{3, &a}, {20, &b}});
  ASSERT_TRUE(workers.Release(3));
  EXPECT_TRUE(workers.HasRoom());
  ASSERT_TRUE(workers.Release(20));
  EXPECT_FALSE(workers.HasRoom());
  int seen = 0;
  for (int i = 0; i < 2; ++i) {
    const int q = AwaitAny(workers);
    ASSERT_TRUE(q == 3 || q == 20) << q;
    seen |= q == 3 ? 1 : 2;
  }
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(workers.Running(), 0);
  EXPECT_EQ(workers.MostRunning(), 2);
  EXPECT_EQ(resultLabels[3].size(), 2u);
  EXPECT_EQ(resultLabels[20].size(), 2u);
}

TEST_F(WorkersTest, ALimitBelowOneIsOne) {
  Workers workers;
  for (int limit : {0, -3, 1}) {
    workers.SetLimit(limit);
    EXPECT_EQ(workers.Limit(), 1) << limit;
  }
  workers.SetLimit(5);
  EXPECT_EQ(workers.Limit(), 5);
}

TEST_F(WorkersTest, AnEndBeforeAnySequenceRunsNoTest) {
  Probe probe;
  {
    Workers workers;
    Start(workers, {{0, &probe}});
  }  // ended by its destructor
  EXPECT_EQ(probe.calls, 0);
  EXPECT_TRUE(resultLabels[0].empty());
}

TEST_F(WorkersTest, CpuSecondsGrowWithTheWorkAndCountTheSubThreads) {
  Probe light, heavy;
  heavy.spin = 30000000;
  heavy.subThreadCpuSeconds = 1.5;  // as a pooled test leaves it
  Workers workers;
  Start(workers, {{1, &light}, {2, &heavy}});
  for (int slot : {1, 2}) {
    ASSERT_TRUE(workers.Release(slot));
    ASSERT_EQ(AwaitAny(workers), slot);
  }
  workers.End(cpu);
  EXPECT_GE(cpu[1], 0.0);
  EXPECT_GT(cpu[2], cpu[1] + 1.5 + 0.01);
}

TEST_F(WorkersTest, AWorkerThatLeftOnAFailedCallIsNamedAndEnded) {
  struct Case {
    const char* what;
    EventCall call;
    int successes;
  };
  // The worker's first wait fails; or the release succeeds and its done
  // signal fails.
  for (const Case& c : {Case{"wait", EventCall::Wait, 0}, Case{"done signal", EventCall::Set, 1}}) {
    Probe probe;
    Workers workers;
    for (int s = 0; s < TEST_SLOTS; ++s) ASSERT_TRUE(workers.AddEvents(s));
    InjectEventFailure(c.call, c.successes);
    ASSERT_TRUE(workers.StartThread(5, &probe));
    ASSERT_TRUE(workers.Release(5));
    // Never done: seen as failed instead. (No wait of this thread may take
    // the injected failure meanwhile.)
    while (workers.FailedWorker() < 0) std::this_thread::yield();
    InjectEventFailure(c.call, -1);
    EXPECT_EQ(workers.AwaitAny(0), WAIT_ANY_TIMEOUT) << c.what << ": it never signals";
    EXPECT_EQ(workers.FailedWorker(), 5) << c.what;
    workers.End(cpu);
    EXPECT_FALSE(workers.Kept(5)) << c.what;
    EXPECT_EQ(probe.calls, c.call == EventCall::Set ? 1 : 0) << c.what;
    EmptySlot(5);
  }
}

TEST_F(WorkersTest, AWorkerThatCannotBeEndedIsKeptIdleWithWhatItHolds) {
  // The test is inside RunTest when the end comes, and both exit signals
  // fail: the end waits for RunTest first, so nothing the test reads is
  // freed under it, and the worker is kept waiting on its start event.
  Probe probe;
  Event* entered = CreateEvent();
  Event* gate = CreateEvent();
  Event* finished = CreateEvent();
  std::atomic<bool> endReturned{false};
  probe.entered = entered;
  probe.gate = gate;
  probe.finished = finished;
  probe.spin = 20000000;
  probe.endReturned = &endReturned;
  const int keptBefore = Workers::KeptWorkers();
  Workers workers;
  Start(workers, {{3, &probe}});
  ASSERT_TRUE(workers.Release(3));
  ASSERT_EQ(WaitEvent(entered, WAIT_FOREVER), WaitResult::Signalled);
  std::thread engine([&] {
    // The gate opens, then both exit signals fail.
    InjectEventFailureOnThisThread(EventCall::Set, 1, 2);
    SetEvent(gate);
    workers.End(cpu);
    endReturned = true;
  });
  engine.join();
  ASSERT_EQ(WaitEvent(finished, WAIT_FOREVER), WaitResult::Signalled);
  EXPECT_FALSE(probe.ranAfterTheEnd) << "the end returned while the test was inside RunTest";
  EXPECT_EQ(probe.calls, 1);
  EXPECT_TRUE(workers.Kept(3));
  EXPECT_EQ(Workers::KeptWorkers(), keptBefore + 1);
  EXPECT_NE(Log().find("SetEvent hINI failed, idx= 3 (5)\n"), std::string::npos) << Log();
  EXPECT_GT(cpu[3], 0.0);
  CloseEvent(entered);
  CloseEvent(gate);
  CloseEvent(finished);
}
