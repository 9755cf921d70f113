#pragma once
// The worker threads of a run's tests, with everything they share with the
// engine: per slot a start event, a done event, `command` and `status`,
// and for an enabled slot the thread that runs its test. One owner, for
// one run: it starts the threads, releases a test for a sequence, learns
// that it is done, notices a worker that left on a failed event call and
// ends them all.
//
// The worker loop (Entry): wait on the start event; on CMD_EXIT leave with
// TEST_OK; otherwise run the test's RunTest once and set the done event. A
// failed wait leaves with TEST_WAIT_FAILED, a failed done signal with
// TEST_SIGNAL_FAILED; such a worker never signals again.
//
// At most `limit` tests are released and not yet seen done at once (the
// "Concurrent threads" setting, below 1 taken as 1): a test counts from its
// release until its done signal is consumed, and a test signals only once
// its RunTest has returned, after its own sub-threads are done.
//
// A worker that cannot be ended (its exit signal fails twice) is left
// waiting on its start event, never inside RunTest: End first waits for
// every released test to be done. Its shared record, its events and its
// test object are then kept for the rest of the process, since the thread
// still holds them.
#include <atomic>
#include <memory>

#include "battery/RunState.h"

class TESTthd;

namespace platform {
struct Event;
struct EventGroup;
struct Thread;
struct ThreadClock;
}  // namespace platform

enum TestCommand : int {
  CMD_IDLE = 0,
  CMD_RUN = 1,
  CMD_EXIT = 2,
};

class Workers {
 public:
  Workers();
  ~Workers();
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  // Creates the start and done events of slot `slot`; false when one cannot
  // be created. Call for the slots in order, each once.
  bool AddEvents(int slot);
  // Starts the worker thread of slot `slot` (its events made) for `test`,
  // which it runs until End; sets test->slot. False when the thread cannot
  // be created.
  bool StartThread(int slot, TESTthd* test);

  // The most tests released at once; below 1 taken as 1.
  void SetLimit(int limit) { limit_ = limit < 1 ? 1 : limit; }
  int Limit() const { return limit_; }
  // True when another test may be released now.
  bool HasRoom() const { return running_ < limit_; }

  // Releases the test of slot `slot` for the current sequence (command
  // CMD_RUN, then its start event). False when the signal failed; the test
  // then counts as not released.
  bool Release(int slot);
  // Waits up to timeoutMs for any released test to be done and takes it
  // (command CMD_IDLE): its slot; WAIT_ANY_TIMEOUT or WAIT_ANY_FAILED as
  // platform::WaitAnyEvent gives them.
  int AwaitAny(int timeoutMs);
  // Takes every other released test that is done already, without waiting.
  void TakeDone();
  // Waits up to timeoutMs for the released test of slot `slot`: Signalled
  // once it is done (and taken), TimedOut or Failed.
  enum class Wait { Done, TimedOut, Failed };
  Wait AwaitOne(int slot, int timeoutMs);

  bool Released(int slot) const { return released_[slot]; }
  int Running() const { return running_; }
  // The most tests released and not yet done at any moment of this run.
  int MostRunning() const { return mostRunning_; }
  // A released slot whose worker has left its loop on a failed event call
  // (it will never be done), or -1.
  int FailedWorker() const;

  // The CPU seconds of slot `slot`'s worker thread since it started, its
  // test's sub-threads included; read while the test is not released.
  double CpuSeconds(int slot) const;

  // Ends every started worker in slot order: waits until a released test is
  // done, then command CMD_EXIT and the start signal (a failure is logged
  // as "SetEvent hINI failed, idx= %d (%d)\n" and tried once more), joins
  // the thread ("ERROR Wait thread #%d\n" when that fails) and reads its
  // CPU seconds into cpuSeconds[slot]. Then closes the events of every
  // slot whose worker is gone. Safe to call twice.
  void End(double cpuSeconds[TEST_SLOTS]);
  // True when slot `slot`'s worker could not be ended: its test object
  // must not be deleted.
  bool Kept(int slot) const { return kept_[slot]; }
  // Workers left running by any run of this process.
  static int KeptWorkers();

 private:
  struct Worker;
  static void Entry(void* worker);
  void Take(int slot);
  void WaitUntilDone(int slot);

  std::shared_ptr<platform::EventGroup> doneGroup_;
  Worker* workers_[TEST_SLOTS] = {};
  platform::Event* done_[TEST_SLOTS] = {};
  bool released_[TEST_SLOTS] = {};
  bool kept_[TEST_SLOTS] = {};
  int eventSlots_ = 0;
  int limit_ = 1;
  int running_ = 0;
  int mostRunning_ = 0;
};
