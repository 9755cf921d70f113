#include "engine/Workers.h"

#include <thread>

#include "battery/TESTthd.h"
#include "engine/Helpers.h"
#include "engine/RunContext.h"
#include "platform/Event.h"
#include "platform/LastError.h"
#include "platform/Thread.h"
#include "platform/ThreadClock.h"

namespace {

// Waits for a test that is known to finish wake up this often, so that a
// worker that left without a last signal is seen.
constexpr int WAKE_MS = 100;

std::atomic<int> keptWorkers{0};

}  // namespace

// What the worker thread shares with the engine. The engine writes
// `command` before it sets the start event and the worker reads it after
// its wait; a release that the engine abandons (a failed signal) and the
// exit after a mid-run error may write it while a worker runs, so it is
// atomic. `status` is written by the worker as it leaves and read by the
// engine while it may run.
struct Workers::Worker {
  TESTthd* test = nullptr;
  platform::Event* startEvent = nullptr;
  platform::Event* doneEvent = nullptr;
  platform::Thread* thread = nullptr;
  std::atomic<int> command{CMD_IDLE};
  std::atomic<int> status{TEST_OK};
  // The worker's own CPU clock, opened by Entry; null until then or when
  // that failed.
  std::atomic<platform::ThreadClock*> threadHandle{nullptr};
};

Workers::Workers() : doneGroup_(platform::CreateEventGroup()) {}

Workers::~Workers() {
  double ignored[TEST_SLOTS] = {};
  End(ignored);
}

int Workers::KeptWorkers() { return keptWorkers.load(); }

bool Workers::AddEvents(int slot) {
  auto* w = new Worker;
  w->startEvent = platform::CreateEvent();
  w->doneEvent = w->startEvent ? platform::CreateEvent(doneGroup_) : nullptr;
  if (w->doneEvent == nullptr) {
    platform::CloseEvent(w->startEvent);
    delete w;
    return false;
  }
  workers_[slot] = w;
  done_[slot] = w->doneEvent;
  eventSlots_ = slot + 1;
  return true;
}

bool Workers::StartThread(int slot, TESTthd* test) {
  Worker* w = workers_[slot];
  test->slot = slot;
  w->test = test;
  w->command = CMD_IDLE;
  w->thread = platform::StartThread(Entry, w);
  if (w->thread == nullptr) w->test = nullptr;
  return w->thread != nullptr;
}

void Workers::Entry(void* argument) {
  Worker& w = *static_cast<Worker*>(argument);
  w.threadHandle.store(platform::OpenCurrentThreadClock(), std::memory_order_release);
  for (;;) {
    if (platform::WaitEvent(w.startEvent, platform::WAIT_FOREVER) != platform::WaitResult::Signalled) {
      w.status = TEST_WAIT_FAILED;
      return;
    }
    if (w.command == CMD_EXIT) {
      w.status = TEST_OK;
      return;
    }
    w.test->RunTest();
    if (!platform::SetEvent(w.doneEvent)) {
      w.status = TEST_SIGNAL_FAILED;
      return;
    }
  }
}

bool Workers::Release(int slot) {
  Worker& w = *workers_[slot];
  w.command = CMD_RUN;
  if (!platform::SetEvent(w.startEvent)) {
    w.command = CMD_IDLE;
    return false;
  }
  released_[slot] = true;
  ++running_;
  if (running_ > mostRunning_) mostRunning_ = running_;
  return true;
}

void Workers::Take(int slot) {
  released_[slot] = false;
  --running_;
  workers_[slot]->command = CMD_IDLE;
}

int Workers::AwaitAny(int timeoutMs) {
  // Only the slots whose events exist take part; a signal of a slot that
  // is not released cannot come, as its worker only signals after a
  // release.
  const int q = platform::WaitAnyEvent(done_, eventSlots_, timeoutMs);
  if (q >= 0) Take(q);
  return q;
}

void Workers::TakeDone() {
  for (int s = 0; s < eventSlots_; ++s)
    if (released_[s] && platform::WaitEvent(done_[s], 0) == platform::WaitResult::Signalled) Take(s);
}

Workers::Wait Workers::AwaitOne(int slot, int timeoutMs) {
  const platform::WaitResult r = platform::WaitEvent(done_[slot], timeoutMs);
  if (r == platform::WaitResult::Failed) return Wait::Failed;
  if (r == platform::WaitResult::TimedOut) return Wait::TimedOut;
  Take(slot);
  return Wait::Done;
}

int Workers::FailedWorker() const {
  for (int s = 0; s < eventSlots_; ++s)
    if (released_[s] && workers_[s]->status < 0) return s;
  return -1;
}

double Workers::CpuSeconds(int slot) const {
  const Worker& w = *workers_[slot];
  return ThreadCpuSeconds(w.threadHandle.load(std::memory_order_acquire)) + w.test->subThreadCpuSeconds;
}

// A released test is never left inside RunTest: its done signal is waited
// for (a failed wait only makes this loop poll), unless its worker has
// left its loop, which it does only outside RunTest.
void Workers::WaitUntilDone(int slot) {
  Worker& w = *workers_[slot];
  while (released_[slot]) {
    const platform::WaitResult r = platform::WaitEvent(w.doneEvent, WAKE_MS);
    if (r == platform::WaitResult::Signalled) {
      Take(slot);
    } else if (w.status < 0) {
      released_[slot] = false;
      --running_;
    } else if (r == platform::WaitResult::Failed) {
      std::this_thread::yield();
    }
  }
}

void Workers::End(double cpuSeconds[TEST_SLOTS]) {
  for (int s = 0; s < eventSlots_; ++s) {
    Worker* w = workers_[s];
    if (w == nullptr || w->thread == nullptr) continue;
    WaitUntilDone(s);
    w->command = CMD_EXIT;
    bool told = platform::SetEvent(w->startEvent);
    if (!told) {
      RunLog("SetEvent hINI failed, idx= %d (%d)\n", s, platform::LastError());
      // A worker that is not told to leave would never end: try once more.
      told = w->status < 0 || platform::SetEvent(w->startEvent);
    }
    const bool joined = told && platform::JoinThread(w->thread);
    if (told && !joined) RunLog("ERROR Wait thread #%d\n", s);
    // Outside RunTest by now: its clock and its sub-threads' sum are final.
    cpuSeconds[s] = CpuSeconds(s);
    if (!joined) {
      // Waiting on its start event for good, or on its way out: either way
      // outside RunTest, and still holding its record, its events and its
      // test, which are all kept.
      platform::CloseThread(w->thread);
      w->thread = nullptr;
      kept_[s] = true;
      workers_[s] = nullptr;
      done_[s] = nullptr;
      ++keptWorkers;
      continue;
    }
    platform::CloseThread(w->thread);
    w->thread = nullptr;
  }
  for (int s = 0; s < eventSlots_; ++s) {
    Worker* w = workers_[s];
    if (w == nullptr) continue;
    platform::CloseThreadClock(w->threadHandle.exchange(nullptr));
    platform::CloseEvent(w->startEvent);
    platform::CloseEvent(w->doneEvent);
    delete w;
    workers_[s] = nullptr;
    done_[s] = nullptr;
  }
  eventSlots_ = 0;
  running_ = 0;
}
