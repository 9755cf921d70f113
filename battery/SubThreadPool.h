#pragma once
// The pool of sub-threads that a pooled test (DFT, AMLS, AUTOW, PARTITION,
// PERM, LINCPLX) keeps for the length of a run, written once. The test's
// worker counts against the concurrency limit until RunTest returns, after
// its sub-threads are done. Each job runs holding one of the processors
// that every pool's sub-threads and FFTW's loop helpers share
// (ProcessorHold), so that a pool's sub-threads and the helpers together
// never compute on more threads than there are processors.
//
// Sub-thread i owns job record jobs[i], an auto-reset start event hINI[i]
// and an end event hEND[i]. The record's key field (named by the test: R, S
// or k) is 0 while the sub-thread is idle and nonzero while it holds a job;
// a start signal with key 0 tells the sub-thread to end.
//
// Life of a pool, and who calls what:
// - the test's constructor (GUI thread): Create(threadCount) makes the
//   records, the test fills their per-thread fields (buffers it owns
//   itself), Start(routine, this) creates the events and sub-threads in
//   order and stops at the first failure with its log line; the test runs
//   with the sub-threads that exist (Started()).
// - RunTest (worker thread): Run(jobCount, assign, collect) hands the jobs
//   out in order (the first Started() jobs to sub-threads 0, 1, 2, ..., then
//   each to the sub-thread that finished, lowest index first), collects
//   every finished job through collect, then drains; afterwards
//   subThreadCpuSeconds = CpuSeconds().
// - the test's destructor (GUI thread, after the worker has ended): End()
//   first, then free what the jobs used.
//
// Run never returns while a sub-thread still works on a job of it: after a
// failure (a failed event call, a sub-thread that ended on one) it waits for
// the jobs still running, drops their results and returns false: the test
// then gives this sequence's rows short (PVALUE_SHORT), so the failure costs
// that sequence only, the first one included (whose pairs make the rows),
// and no later sequence can take a result of this one. A sub-thread that ended on a failure gets no further jobs. Results
// are judged by a ticket per hand-out, never by an end signal alone, so a
// signal left over from an abandoned run cannot pass for a finished job.
#include <atomic>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "battery/FftParallelLoop.h"

namespace platform {
struct Event;
struct EventGroup;
struct Thread;
struct ThreadClock;
}  // namespace platform

// One result of a pooled test: a NUL-terminated label (empty when the
// record holds no result) and its p-value.
struct PValueRecord {
  char label[32];
  double p;
};

// What the sub-threads share with the pool: events, threads, the per-thread
// bookkeeping and (in the derived type) the job records. It outlives the
// pool only when a sub-thread cannot be ended, since that thread may still
// touch it.
struct SubThreadShared {
  struct Seat {
    SubThreadShared* shared = nullptr;
    int index = 0;
    uint64_t ticket = 0;  // of the job handed out last; written before hINI
    bool busy = false;    // holds a job not collected yet (worker thread only)
    std::atomic<uint64_t> finished{0};  // ticket of the last job done
    std::atomic<bool> dead{false};      // left its loop on a failed event call
    std::atomic<platform::ThreadClock*> clock{nullptr};
  };

  virtual ~SubThreadShared();
  // Runs the job in record i; false when its key is 0 (the end signal).
  virtual bool Serve(int i) = 0;
  // Sets the key of record i to 0.
  virtual void SetIdle(int i) = 0;

  std::shared_ptr<platform::EventGroup> group;
  std::unique_ptr<platform::Event*[]> hINI, hEND;
  std::unique_ptr<platform::Thread*[]> THD;
  std::unique_ptr<Seat[]> seats;
  int count = 0;  // records
};

class SubThreadPoolBase {
 public:
  SubThreadPoolBase(const SubThreadPoolBase&) = delete;
  SubThreadPoolBase& operator=(const SubThreadPoolBase&) = delete;

  // Sub-threads created and running.
  int Started() const { return started_; }
  // Sub-threads that can still take jobs.
  int Live() const;

  // The CPU seconds the sub-threads have used since they started, summed;
  // a sub-thread whose clock cannot be read counts -1.
  double CpuSeconds() const;

  // Ends every sub-thread in order (key 0, start signal, join, close), then
  // closes the events and frees the records. Call it from the owner's
  // destructor before freeing anything the jobs use, and only while no Run
  // is going. A failed signal or join is logged and tried once more; when it
  // fails again no further sub-thread is ended and the shared state is left
  // allocated for the threads that may still use it. Safe to call twice.
  void End();

 protected:
  SubThreadPoolBase() = default;
  virtual ~SubThreadPoolBase();

  void Adopt(SubThreadShared* shared);
  int StartThreads();

  // Run's steps. Each failure is logged, waits for every job still running,
  // drops the results and leaves every sub-thread idle.
  bool Hand(int t);
  int IdleThread() const;     // an idle sub-thread that can take a job, or -1
  int AwaitAny();             // a sub-thread whose job is done, or -1
  bool AwaitOne(int t);       // sub-thread t's job is done
  void Release(int t);        // t collected: idle again
  bool Busy(int t) const { return shared_->seats[t].busy; }
  void Abandon();
  // Called by End once the records are gone.
  virtual void OnEnded() {}

  SubThreadShared* shared_ = nullptr;
  int started_ = 0;
  uint64_t lastTicket_ = 0;
};

// Job: the test's job record type. Key: pointer to its key member, for
// example &DftJob::R.
template <class Job, auto Key>
class SubThreadPool : public SubThreadPoolBase {
  static_assert(std::is_member_object_pointer_v<decltype(Key)>, "Key names a member of the job record");

 public:
  // The test's job routine: computes the job in `job` (sub-thread `thread`)
  // and writes its results into it. Called on the sub-thread.
  using Routine = void (*)(void* context, Job& job, int thread);

  SubThreadPool() = default;
  ~SubThreadPool() override { End(); }

  // The job records, one per sub-thread: jobs[0 .. count - 1], valid from
  // Create until End.
  Job* jobs = nullptr;

  // Makes `count` idle records (value-initialised). Call once, before Start.
  void Create(int count) {
    auto* records = new Records;
    records->jobs.reset(new Job[count > 0 ? count : 0]());
    jobs = records->jobs.get();
    records->count = count > 0 ? count : 0;
    Adopt(records);
  }

  // Creates hINI[i], hEND[i] and the sub-thread of every record in order and
  // stops at the first failure (logged: "CreateEvent hINI failed (%d)\n",
  // "CreateEvent hEND failed (%d)\n", "CreateThread failed (%d)\n"). Returns
  // Started().
  int Start(Routine routine, void* context) {
    if (shared_ == nullptr) return 0;  // no Create
    auto* records = static_cast<Records*>(shared_);
    records->routine = routine;
    records->context = context;
    return StartThreads();
  }

  // Runs jobs 0 .. jobCount - 1. assign(j, job) writes job j into an idle
  // record (its key nonzero); collect(job, t) takes the results of a
  // finished job out of sub-thread t's record. Both run on the calling
  // thread. True when every job was collected.
  template <class Assign, class Collect>
  bool Run(int jobCount, Assign&& assign, Collect&& collect) {
    for (int j = 0; j < jobCount; ++j) {
      int t;
      while ((t = IdleThread()) < 0) {
        const int done = AwaitAny();
        if (done < 0) return false;
        collect(static_cast<const Job&>(jobs[done]), done);
        Release(done);
      }
      assign(j, jobs[t]);
      if (!Hand(t)) return false;
    }
    for (int t = 0; t < started_; ++t) {
      if (!Busy(t)) continue;
      if (!AwaitOne(t)) return false;
      collect(static_cast<const Job&>(jobs[t]), t);
      Release(t);
    }
    return true;
  }

 private:
  void OnEnded() override { jobs = nullptr; }

  struct Records : SubThreadShared {
    std::unique_ptr<Job[]> jobs;
    Routine routine = nullptr;
    void* context = nullptr;
    bool Serve(int i) override {
      if (jobs[i].*Key == 0) return false;
      const ProcessorHold hold;
      routine(context, jobs[i], i);
      return true;
    }
    void SetIdle(int i) override { jobs[i].*Key = 0; }
  };
};

// The record of a job known by its number alone: key is the number + 1
// (0 while idle). What the job computes stays in its test's own arrays,
// one place per job number.
struct NumberedJob {
  int key;
};

// A pool whose jobs are numbers 0 .. count - 1: work(context, job, thread)
// runs job `job` on sub-thread `thread`, writing its results where only
// that job writes. Without a started sub-thread the jobs run one after the
// other on the caller, as thread 0.
class NumberedPool : public SubThreadPool<NumberedJob, &NumberedJob::key> {
 public:
  using Work = void (*)(void* context, int job, int thread);

  // Starts the sub-threads of the records Create made; returns Started().
  int Start(Work work, void* context) {
    work_ = work;
    context_ = context;
    return SubThreadPool::Start(Serve, this);
  }

  // Runs every job; false after a failed event call (logged by the pool).
  bool RunAll(int count) {
    if (Started() == 0) {
      for (int j = 0; j < count; ++j) work_(context_, j, 0);
      return true;
    }
    return Run(
        count, [](int j, NumberedJob& job) { job.key = j + 1; }, [](const NumberedJob&, int) {});
  }

 private:
  static void Serve(void* self, NumberedJob& job, int thread) {
    auto* pool = static_cast<NumberedPool*>(self);
    pool->work_(pool->context_, job.key - 1, thread);
  }
  Work work_ = nullptr;
  void* context_ = nullptr;
};
