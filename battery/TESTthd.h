#pragma once
// The worker-thread base of every test. The engine builds one object per
// enabled slot, runs its thread, releases it once per sequence through the
// slot's start event and learns from the slot's done event that RunTest has
// finished.
#include <wx/thread.h>

#include <atomic>

namespace platform {
struct ThreadClock;
}

enum TestStatus : int {
  TEST_OK = 0,
  TEST_DISABLED = 1,
  TEST_WAIT_FAILED = -1,
  TEST_SIGNAL_FAILED = -2,
};

enum TestCommand : int {
  CMD_IDLE = 0,
  CMD_RUN = 1,
  CMD_EXIT = 2,
};

class TESTthd : public wxThread {
 public:
  TESTthd();
  ~TESTthd() override;

  // Runs the test once on the current sequence and appends its results to
  // the slot's lists.
  virtual void RunTest() = 0;

  // True once the worker has left its loop on a failed event call: it will
  // never signal its done event again, so the engine must not wait for it.
  bool HasFailed() const { return status < 0; }

  // The worker's own CPU clock, opened by Entry; null until then or when
  // that failed. Read by the engine between sequences and after the join.
  platform::ThreadClock* threadHandle = nullptr;
  double subThreadCpuSeconds = 0;
  int cpuCount = 1;
  // True for a test whose worker only hands the jobs of a sequence to its
  // sub-threads and waits for them: the engine does not count it against
  // the concurrency limit, so the cores its sub-threads leave are taken by
  // other tests. Set by the test's constructor.
  bool waitsOnPool = false;
  // Written by the worker as it leaves its loop and read by the engine
  // while the worker may run, hence atomic.
  std::atomic<int> status{TEST_OK};
  int command = CMD_IDLE;
  int slot = 0;

 protected:
  ExitCode Entry() override;

  // Appends one label (a printf format) and its p-value to this slot's
  // result lists; the label is copied into a new char array.
  void AddResult(double pvalue, const char* format, ...) __attribute__((format(printf, 3, 4)));
};
