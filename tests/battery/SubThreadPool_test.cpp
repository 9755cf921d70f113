#include "battery/SubThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "SequenceFixture.h"
#include "battery/Bits.h"
#include "battery/Messages.h"
#include "platform/Event.h"
#include "platform/Thread.h"
#include "platform/ThreadClock.h"

namespace {

// The log pane: lines from any thread, and a wait for a line to arrive.
std::mutex logMutex;
std::condition_variable logChanged;
std::vector<std::string> logLines;

void CaptureLog(const wxString& text) {
  {
    std::lock_guard<std::mutex> lock(logMutex);
    logLines.push_back(text.ToStdString());
  }
  logChanged.notify_all();
}

std::vector<std::string> Log() {
  std::lock_guard<std::mutex> lock(logMutex);
  return logLines;
}

void WaitForLogLines(size_t count) {
  std::unique_lock<std::mutex> lock(logMutex);
  logChanged.wait(lock, [&] { return logLines.size() >= count; });
}

// A gate probe jobs can be held at: each job reports that it has entered,
// and goes on once the test opens the gate.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool closed = true;
  int entered = 0;
  void Pass() {
    std::unique_lock<std::mutex> lock(mutex);
    ++entered;
    changed.notify_all();
    changed.wait(lock, [&] { return !closed; });
  }
  void AwaitEntered(int count) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return entered >= count; });
  }
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      closed = false;
    }
    changed.notify_all();
  }
};

// The probe: job j counts the ones among bits 64 j .. 64 j + 63 of the
// sequence and notes the sub-thread that ran it.
struct ProbeJob {
  int record;
  int key;  // job number + 1; 0 idle / end
  uint64_t ones;
  int thread;
  Gate* gate;
};

using ProbePool = SubThreadPool<ProbeJob, &ProbeJob::key>;

void ProbeWorker(void* context, ProbeJob& job, int thread) {
  if (job.gate != nullptr) job.gate->Pass();
  job.ones = CountOnes(static_cast<const uint32_t*>(context), 64ull * job.record, 64);
  job.thread = thread;
}

struct Result {
  int record;
  uint64_t ones;
  int thread;
};

class PoolTest : public ::testing::Test {
 protected:
  std::vector<uint32_t> words;
  LogHandler previous = nullptr;

  void SetUp() override {
    previous = SetLogHandler(CaptureLog);
    logLines.clear();
    uint32_t x = 2463534242u;
    words.resize(2 * 200 + 2);
    for (auto& w : words) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      w = x;
    }
  }
  void TearDown() override {
    platform::InjectEventFailure(platform::EventCall::Create, -1);
    platform::InjectEventFailure(platform::EventCall::Set, -1);
    platform::InjectEventFailure(platform::EventCall::Wait, -1);
    platform::InjectThreadFailure(platform::ThreadCall::Start, -1);
    platform::InjectThreadFailure(platform::ThreadCall::Join, -1);
    platform::InjectThreadClockFailure(0);
    SetLogHandler(previous);
  }

  void Begin(ProbePool& pool, int threads) {
    pool.Create(threads);
    pool.Start(ProbeWorker, words.data());
  }

  // Runs `jobs` probe jobs; every collected result, in collection order.
  bool RunJobs(ProbePool& pool, int jobs, std::vector<Result>& results, Gate* gate = nullptr) {
    return pool.Run(
        jobs,
        [&](int j, ProbeJob& job) {
          job.record = j;
          job.key = j + 1;
          job.ones = ~0ull;
          job.thread = -1;
          job.gate = gate;
        },
        [&](const ProbeJob& job, int t) {
          EXPECT_EQ(job.thread, t);
          results.push_back({job.record, job.ones, job.thread});
        });
  }

  void ExpectAllResults(const std::vector<Result>& results, int jobs) {
    ASSERT_EQ(results.size(), static_cast<size_t>(jobs));
    std::vector<int> seen(jobs, 0);
    for (const auto& r : results) {
      ASSERT_GE(r.record, 0);
      ASSERT_LT(r.record, jobs);
      ++seen[r.record];
      EXPECT_EQ(r.ones, CountOnes(words.data(), 64ull * r.record, 64)) << r.record;
    }
    for (int j = 0; j < jobs; ++j) EXPECT_EQ(seen[j], 1) << j;
  }
};

}  // namespace

TEST_F(PoolTest, JobsSpreadOverTheThreadsAndLandInTheirRecords) {
  for (int threads : {1, 2, 4, 7}) {
    ProbePool pool;
    Begin(pool, threads);
    ASSERT_EQ(pool.Started(), threads);
    for (int jobs : {0, 1, threads, 3 * threads + 1, 150}) {
      std::vector<Result> results;
      ASSERT_TRUE(RunJobs(pool, jobs, results)) << threads << " " << jobs;
      ExpectAllResults(results, jobs);
      // Every sub-thread is idle again: its key is 0.
      for (int t = 0; t < threads; ++t) EXPECT_EQ(pool.jobs[t].key, 0);
      // The first jobs go to sub-threads 0, 1, 2, ... in order.
      std::set<int> used;
      for (const auto& r : results) {
        if (r.record < threads) {
          EXPECT_EQ(r.thread, r.record);
        }
        used.insert(r.thread);
      }
      EXPECT_EQ(used.size(), static_cast<size_t>(std::min(jobs, threads)));
    }
    EXPECT_GE(pool.CpuSeconds(), 0.0);
    pool.End();
    EXPECT_EQ(pool.Started(), 0);
    EXPECT_EQ(pool.jobs, nullptr);
  }
  EXPECT_TRUE(Log().empty());
}

TEST_F(PoolTest, ACreationFailureHalfWayKeepsTheThreadsMadeBeforeIt) {
  // Calls in order: hINI 0, hEND 0, thread 0, hINI 1, hEND 1, thread 1, ...
  struct Case {
    bool event;  // an event creation fails, else a thread start
    int successes;
    int started;
    const char* line;
  } cases[] = {
      {true, 0, 0, "CreateEvent hINI failed (5)\n"},  {true, 1, 0, "CreateEvent hEND failed (5)\n"},
      {true, 4, 2, "CreateEvent hINI failed (5)\n"},  {true, 5, 2, "CreateEvent hEND failed (5)\n"},
      {false, 0, 0, "CreateThread failed (11)\n"},    {false, 2, 2, "CreateThread failed (11)\n"},
  };
  for (const auto& c : cases) {
    logLines.clear();
    if (c.event)
      platform::InjectEventFailure(platform::EventCall::Create, c.successes);
    else
      platform::InjectThreadFailure(platform::ThreadCall::Start, c.successes);
    ProbePool pool;
    Begin(pool, 4);
    EXPECT_EQ(pool.Started(), c.started);
    ASSERT_EQ(Log(), std::vector<std::string>{c.line});
    std::vector<Result> results;
    const bool ran = RunJobs(pool, 20, results);
    if (c.started > 0) {
      EXPECT_TRUE(ran);
      ExpectAllResults(results, 20);
    } else {
      EXPECT_FALSE(ran);  // nothing to run the jobs on: no results
      EXPECT_TRUE(results.empty());
    }
    // Ends cleanly, whether by End or by the destructor.
    if (c.successes % 2 == 0) pool.End();
    EXPECT_EQ(Log().size(), 1u);
  }
}

TEST_F(PoolTest, EndsCleanlyFromAnyState) {
  {
    ProbePool pool;  // never created: nothing to run on
    EXPECT_EQ(pool.Start(ProbeWorker, words.data()), 0);
    std::vector<Result> results;
    EXPECT_FALSE(RunJobs(pool, 3, results));
    EXPECT_EQ(pool.CpuSeconds(), 0.0);
  }
  {
    ProbePool pool;
    pool.Create(3);  // records, no thread
    pool.End();
    pool.End();
  }
  {
    ProbePool pool;
    Begin(pool, 3);  // started, never ran
  }
  {
    ProbePool pool;
    Begin(pool, 0);  // no jobs at all
    std::vector<Result> results;
    EXPECT_TRUE(RunJobs(pool, 0, results));
    EXPECT_EQ(pool.CpuSeconds(), 0.0);
  }
  EXPECT_TRUE(Log().empty());
}

TEST_F(PoolTest, AFailedStartSignalGivesNoResultsAndTheNextRunIsWhole) {
  ProbePool pool;
  Begin(pool, 1);
  // One sub-thread: the first Set call is RunTest's start signal.
  platform::InjectEventFailure(platform::EventCall::Set, 0);
  std::vector<Result> results;
  EXPECT_FALSE(RunJobs(pool, 5, results));
  EXPECT_TRUE(results.empty());
  EXPECT_EQ(Log(), std::vector<std::string>{"SetEvent hINI MAIN failed, ID= 0 (5)\n"});
  results.clear();
  EXPECT_TRUE(RunJobs(pool, 5, results));
  ExpectAllResults(results, 5);
}

TEST_F(PoolTest, AFailedStartSignalLaterOnWaitsForTheJobsStillRunning) {
  ProbePool pool;
  Begin(pool, 3);
  // Jobs 0 and 1 are held at the gate (so the sub-threads make no event
  // call); the third start signal fails. Run waits for jobs 0 and 1 and
  // drops their results.
  Gate gate;
  platform::InjectEventFailure(platform::EventCall::Set, 2);
  std::vector<Result> results;
  bool ran = true;
  std::thread worker([&] { ran = RunJobs(pool, 10, results, &gate); });
  WaitForLogLines(1);
  gate.Open();
  worker.join();
  EXPECT_FALSE(ran);
  EXPECT_TRUE(results.empty());
  EXPECT_EQ(gate.entered, 2);
  EXPECT_EQ(Log(), std::vector<std::string>{"SetEvent hINI MAIN failed, ID= 2 (5)\n"});
  for (int t = 0; t < 3; ++t) EXPECT_EQ(pool.jobs[t].key, 0);
  for (int round = 0; round < 3; ++round) {
    results.clear();
    EXPECT_TRUE(RunJobs(pool, 10, results));
    ExpectAllResults(results, 10);
  }
}

TEST_F(PoolTest, ASubThreadWhoseEndSignalFailsEndsAndTakesNoMoreJobs) {
  ProbePool pool;
  Begin(pool, 1);
  // One job: RunTest's start signal, then the sub-thread's end signal fails.
  platform::InjectEventFailure(platform::EventCall::Set, 1);
  std::vector<Result> results;
  EXPECT_TRUE(RunJobs(pool, 1, results));  // the job was done before the signal failed
  ExpectAllResults(results, 1);
  WaitForLogLines(1);
  EXPECT_EQ(Log(), std::vector<std::string>{"SetEvent hEND failed (5)\n"});
  EXPECT_EQ(pool.Live(), 0);
  results.clear();
  EXPECT_FALSE(RunJobs(pool, 2, results));
  EXPECT_TRUE(results.empty());
  pool.End();
  EXPECT_EQ(Log().size(), 1u);
}

TEST_F(PoolTest, AFailedWaitForTheEndWaitsForTheJobsAndDropsThem) {
  // threads jobs: the drain waits on one end event; threads + 1 jobs: all
  // sub-threads busy, RunTest waits for any of them.
  struct Case {
    int threads, jobs;
    const char* line;
  } cases[] = {{1, 1, "WaitForSingleObject hEND failed (5)\n"},
               {3, 3, "WaitForSingleObject hEND failed (5)\n"},
               {3, 4, "WaitForMultipleObjects hEND MAIN failed (5)\n"}};
  for (const auto& c : cases) {
    logLines.clear();
    ProbePool pool;
    Begin(pool, c.threads);
    Gate gate;
    std::vector<Result> results;
    bool ran = true;
    std::thread worker([&] { ran = RunJobs(pool, c.jobs, results, &gate); });
    // Held in their jobs, the sub-threads make no wait call: the next one
    // is RunTest's, and it fails.
    gate.AwaitEntered(c.threads);
    platform::InjectEventFailure(platform::EventCall::Wait, 0);
    WaitForLogLines(1);
    gate.Open();
    worker.join();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(results.empty());
    EXPECT_EQ(Log(), std::vector<std::string>{c.line});
    results.clear();
    EXPECT_TRUE(RunJobs(pool, 2 * c.threads + 1, results));
    ExpectAllResults(results, 2 * c.threads + 1);
  }
}

TEST_F(PoolTest, ASubThreadWhoseStartWaitFailsEndsAndTheOthersGoOn) {
  for (int threads : {1, 2, 3}) {
    logLines.clear();
    ProbePool pool;
    pool.Create(threads);
    // Before any Run only the sub-threads wait: the first to wait fails.
    platform::InjectEventFailure(platform::EventCall::Wait, 0);
    pool.Start(ProbeWorker, words.data());
    WaitForLogLines(1);
    EXPECT_EQ(Log(), std::vector<std::string>{"WaitForSingleObject hINI failed (5)\n"});
    EXPECT_EQ(pool.Started(), threads);
    EXPECT_EQ(pool.Live(), threads - 1);
    for (int round = 0; round < 2; ++round) {
      std::vector<Result> results;
      EXPECT_EQ(RunJobs(pool, 7, results), threads > 1);
      if (threads > 1) {
        ExpectAllResults(results, 7);
      } else {
        EXPECT_TRUE(results.empty());
      }
    }
    pool.End();
    EXPECT_EQ(Log().size(), 1u);
  }
}

TEST_F(PoolTest, EndRetriesAFailedSignalOrJoinAndEndsEveryThread) {
  {
    ProbePool pool;
    Begin(pool, 2);
    platform::InjectEventFailure(platform::EventCall::Set, 0);
    pool.End();
    EXPECT_EQ(Log(), std::vector<std::string>{"SetEvent hINI failed, ID= 0 (5)\n"});
    EXPECT_EQ(pool.Started(), 0);
  }
  logLines.clear();
  {
    ProbePool pool;
    Begin(pool, 2);
    platform::InjectThreadFailure(platform::ThreadCall::Join, 1);
    pool.End();
    EXPECT_EQ(Log(), std::vector<std::string>{"WaitForSingleObject THD failed (11)\n"});
  }
}

TEST_F(PoolTest, CpuTimeOfTheSubThreadsOrMinusOneWhenUnreadable) {
  {
    ProbePool pool;
    Begin(pool, 2);
    std::vector<Result> results;
    ASSERT_TRUE(RunJobs(pool, 2, results));
    const double seconds = pool.CpuSeconds();
    EXPECT_GE(seconds, 0.0);
    EXPECT_LT(seconds, 60.0);
  }
  {
    platform::InjectThreadClockFailure(1);
    ProbePool pool;
    Begin(pool, 1);
    std::vector<Result> results;
    ASSERT_TRUE(RunJobs(pool, 1, results));
    EXPECT_EQ(pool.CpuSeconds(), -1.0);
  }
}

namespace {

// A pooled test as the three pooled classes are built: records allocated
// with the object, the pool ended by the destructor before anything the
// jobs use is freed, CPU time taken on every path out of RunTest.
class PROBE : public TESTthd {
 public:
  PROBE(int jobCount, int threads) : jobCount_(jobCount), records_(jobCount) {
    pool_.Create(std::min(threads, jobCount));
    pool_.Start(Worker, this);
  }
  ~PROBE() override { pool_.End(); }

  void RunTest() override {
    const bool whole = pool_.Run(
        jobCount_,
        [&](int j, ProbeJob& job) {
          job.record = j;
          job.key = j + 1;
        },
        [&](const ProbeJob& job, int) {
          snprintf(records_[job.record].label, sizeof records_[job.record].label, "Probe %d", job.record);
          records_[job.record].p = static_cast<double>(job.ones) / 64;
        });
    subThreadCpuSeconds = pool_.CpuSeconds();
    if (!whole) return;
    for (const auto& r : records_) AddResult(r.p, "%s", r.label);
  }

 private:
  static void Worker(void*, ProbeJob& job, int thread) {
    job.ones = CountOnes(seqBits, 64ull * job.record, 64);
    job.thread = thread;
  }
  ProbePool pool_;
  int jobCount_;
  std::vector<PValueRecord> records_;
};

}  // namespace

using PooledTest = SequenceFixture;

TEST_F(PooledTest, AnEarlyReturnOfRunTestLeavesThePoolReadyForTheNextSequence) {
  LogHandler previous = SetLogHandler(CaptureLog);
  logLines.clear();
  Xorshift(99, 64 * 40);
  for (int threads : {1, 3, 8}) {
    PROBE test(40, threads);
    for (int sequence = 0; sequence < 4; ++sequence) {
      // The first hand-out of sequence 1 fails.
      if (sequence == 1) platform::InjectEventFailure(platform::EventCall::Set, 0);
      const auto pairs = Run(test, 5);
      if (sequence == 1) {
        EXPECT_TRUE(pairs.empty());
        continue;
      }
      ASSERT_EQ(pairs.size(), 40u);
      for (int j = 0; j < 40; ++j) {
        EXPECT_EQ(pairs[j].label, "Probe " + std::to_string(j));
        EXPECT_EQ(pairs[j].p, static_cast<double>(CountOnes(seqBits, 64ull * j, 64)) / 64);
      }
      EXPECT_GE(test.subThreadCpuSeconds, 0.0);
    }
  }
  platform::InjectEventFailure(platform::EventCall::Set, -1);
  EXPECT_EQ(Log().size(), 3u);
  SetLogHandler(previous);
}
