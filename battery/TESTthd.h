#pragma once
// The base of every test. The engine builds one object per enabled slot and
// runs its RunTest once per sequence on a worker thread of its own
// (engine/Workers.h owns the threads and their handshake).
enum TestStatus : int {
  TEST_OK = 0,
  TEST_DISABLED = 1,
  TEST_WAIT_FAILED = -1,
  TEST_SIGNAL_FAILED = -2,
};

class TESTthd {
 public:
  TESTthd();
  virtual ~TESTthd();
  TESTthd(const TESTthd&) = delete;
  TESTthd& operator=(const TESTthd&) = delete;

  // Runs the test once on the current sequence and appends its results to
  // the slot's lists.
  virtual void RunTest() = 0;

  // CPU seconds of the test's own sub-threads since they started, written
  // by RunTest; the engine adds it to the worker's own CPU time.
  double subThreadCpuSeconds = 0;
  int cpuCount = 1;
  // TEST_OK, or TEST_DISABLED when the constructor (or the test's own
  // RunTest, for the rest of the run) found that the test cannot run. Read
  // by the engine after the constructor only; the worker's own end is its
  // status in engine/Workers.h.
  int status = TEST_OK;
  // The test's slot in testTable, whose result lists AddResult appends to;
  // set by the engine before the test first runs.
  int slot = 0;

 protected:
  // Appends one label (a printf format) and its p-value to this slot's
  // result lists; the label is copied into a new char array.
  void AddResult(double pvalue, const char* format, ...) __attribute__((format(printf, 3, 4)));
};
