#include "battery/FftParallelLoop.h"

#include <fftw3.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "battery/SubThreadPool.h"
#include "platform/Processors.h"
#include "platform/ThreadClock.h"

namespace {

struct Chunk {
  std::atomic<int>* runs;
  int index;
};

void* CountRun(char* data) {
  auto* chunk = reinterpret_cast<Chunk*>(data);
  chunk->runs[chunk->index].fetch_add(1);
  return nullptr;
}

// Burns `seconds` of the calling thread's own CPU.
void BurnCpu(double seconds) {
  const double start = platform::CurrentThreadCpuSeconds();
  volatile double x = 0;
  while (platform::CurrentThreadCpuSeconds() - start < seconds)
    for (int i = 0; i < 1000; ++i) x = x + std::sqrt(x + 1.0);
}

// Two chunks, each burning `burn` seconds of its thread's CPU; the first to
// begin waits until the other has begun, so they run on two threads and
// one of them on a helper, whichever chunk the caller takes.
struct Pair {
  std::atomic<int> begun{0};
  double burn = 0;
};
struct PairChunk {
  Pair* pair;
};
void* RunPair(char* data) {
  Pair* pair = reinterpret_cast<PairChunk*>(data)->pair;
  if (pair->begun.fetch_add(1) == 0)
    while (pair->begun.load() < 2) std::this_thread::yield();
  BurnCpu(pair->burn);
  return nullptr;
}

// A threaded r2c transform of n values, through the loop FFTW is told to
// use at the time.
std::vector<float> Transform(int n) {
  float* in = fftwf_alloc_real(n);
  fftwf_complex* out = fftwf_alloc_complex(n / 2 + 1);
  fftwf_plan plan = fftwf_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
  uint64_t x = 12345;
  for (int i = 0; i < n; ++i) {
    x = x * 6364136223846793005ull + 1442695040888963407ull;
    in[i] = static_cast<float>(x >> 63);
  }
  fftwf_execute(plan);
  std::vector<float> result(2 * (n / 2 + 1));
  std::memcpy(result.data(), out, sizeof(float) * result.size());
  fftwf_destroy_plan(plan);
  fftwf_free(in);
  fftwf_free(out);
  return result;
}

// The CPU seconds of the whole process.
double ProcessSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// Waits until no other thread of the process is running: the process's
// clock counts a thread that runs on another processor only up to its last
// scheduler tick, so it is read only while the others are blocked.
void AwaitOtherThreadsBlocked() {
  const std::string self = std::to_string(gettid());
  for (bool running = true; running;) {
    running = false;
    DIR* tasks = opendir("/proc/self/task");
    ASSERT_NE(tasks, nullptr);
    while (dirent* task = readdir(tasks)) {
      if (task->d_name[0] == '.' || self == task->d_name) continue;
      std::ifstream stat(std::string("/proc/self/task/") + task->d_name + "/stat");
      std::string line;
      std::getline(stat, line);
      const size_t name = line.rfind(')');
      if (name != std::string::npos && name + 2 < line.size() && line[name + 2] == 'R') running = true;
    }
    closedir(tasks);
    if (running) std::this_thread::yield();
  }
}

}  // namespace

// Every chunk runs exactly once and the loop returns after the last, also
// with several threads looping at once and with more chunks than helpers.
TEST(FftParallelLoop, RunsEveryChunkOnceFromSeveralCallers) {
  constexpr int CALLERS = 4, CHUNKS = 37, ROUNDS = 200;
  std::vector<std::thread> callers;
  std::atomic<int> wrong{0};
  for (int c = 0; c < CALLERS; ++c)
    callers.emplace_back([&wrong] {
      for (int r = 0; r < ROUNDS; ++r) {
        const int count = 1 + r % CHUNKS;
        std::vector<std::atomic<int>> runs(count);
        std::vector<Chunk> chunks(count);
        for (int i = 0; i < count; ++i) chunks[i] = {runs.data(), i};
        FftParallelLoop(CountRun, reinterpret_cast<char*>(chunks.data()), sizeof(Chunk), count, nullptr);
        for (auto& n : runs) wrong += n.load() != 1;
      }
    });
  for (auto& t : callers) t.join();
  EXPECT_EQ(wrong.load(), 0);
  FftParallelLoop(CountRun, nullptr, sizeof(Chunk), 0, nullptr);  // no chunk: nothing to run
}

// What a helper spends on a caller's chunk counts on the caller's clock.
TEST(FftParallelLoop, CreditsTheHelpersCpuToTheCaller) {
  double credited = -1;
  std::thread caller([&] {
    platform::ThreadClock* clock = platform::OpenCurrentThreadClock();
    ASSERT_NE(clock, nullptr);
    double before = 0, after = 0;
    ASSERT_TRUE(platform::ReadThreadCpuSeconds(clock, before));
    const double ownBefore = platform::CurrentThreadCpuSeconds();
    Pair pair;
    pair.burn = 0.05;
    PairChunk chunks[2] = {{&pair}, {&pair}};
    FftParallelLoop(RunPair, reinterpret_cast<char*>(chunks), sizeof(PairChunk), 2, nullptr);
    const double own = platform::CurrentThreadCpuSeconds() - ownBefore;
    ASSERT_TRUE(platform::ReadThreadCpuSeconds(clock, after));
    credited = (after - before) - own;
    platform::CloseThreadClock(clock);
  });
  caller.join();
  EXPECT_GE(credited, 0.05 * 0.999);
}

// FFTW's threaded plans give the same transform, to the last bit, through
// this loop as through FFTW's own threads.
TEST(FftParallelLoop, TransformsAsFftwsOwnThreadsDo) {
  ASSERT_NE(fftwf_init_threads(), 0);
  fftwf_plan_with_nthreads(4);
  fftwf_threads_set_callback(nullptr, nullptr);
  const std::vector<float> own = Transform(1 << 18);
  UseFftParallelLoop();
  const std::vector<float> ours = Transform(1 << 18);
  fftwf_threads_set_callback(nullptr, nullptr);
  ASSERT_EQ(own.size(), ours.size());
  EXPECT_EQ(std::memcmp(own.data(), ours.data(), sizeof(float) * own.size()), 0);
}

// At every row count of DFT's default grid on 2^20 bits (1, 4, 16), and for
// two rows, whose plan nests loops inside a chunk, a caller's clock counts
// the whole CPU its threaded transforms took, whichever thread runs them.
TEST(FftParallelLoop, TheCallersClockCountsWholeTransformsAtEveryRowCount) {
  ASSERT_NE(fftwf_init_threads(), 0);
  fftwf_plan_with_nthreads(4);  // nested loops for two rows, on any machine
  UseFftParallelLoop();
  constexpr int N = 1 << 20, ROUNDS = 40;
  // On an idle machine the two agree within 0.5 %. Beside other work they
  // differ by up to a scheduler tick (4 ms of 0.2 s), the part of a
  // helper's run the process's clock may not have counted as it goes to
  // sleep; the thread sanitizer's own thread computes in the process too.
  // A loop whose helpers go uncounted loses a quarter or more.
  constexpr double TOLERANCE = 0.05;
  float* in = fftwf_alloc_real(N);
  fftwf_complex* out = fftwf_alloc_complex(N / 2 + 32);
  for (int R : {1, 2, 4, 16}) {
    const int W = N / R;
    fftwf_plan plan = fftwf_plan_dft_r2c_2d(R, W, in, out, FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
    ASSERT_NE(plan, nullptr);
    double callerSeconds = 0, processSeconds = 0;
    std::thread caller([&] {
      platform::ThreadClock* clock = platform::OpenCurrentThreadClock();
      ASSERT_NE(clock, nullptr);
      // This thread's CPU filling the input, which both clocks leave out.
      double filling = 0;
      auto fill = [&] {
        const double from = platform::CurrentThreadCpuSeconds();
        for (int i = 0; i < R * W; ++i) in[i] = static_cast<float>((i * 2654435761u) >> 31);
        filling += platform::CurrentThreadCpuSeconds() - from;
      };
      fill();
      fftwf_execute(plan);  // the helpers exist and have run once
      // The process's CPU from before the transforms until every helper is
      // done with them, less this thread's waiting for that.
      double before = 0, after = 0, settled = 0;
      AwaitOtherThreadsBlocked();
      filling = 0;
      ASSERT_TRUE(platform::ReadThreadCpuSeconds(clock, before));
      const double processBefore = ProcessSeconds();
      for (int round = 0; round < ROUNDS; ++round) {
        fill();
        fftwf_execute(plan);
      }
      ASSERT_TRUE(platform::ReadThreadCpuSeconds(clock, after));
      AwaitOtherThreadsBlocked();
      ASSERT_TRUE(platform::ReadThreadCpuSeconds(clock, settled));
      const double processAfter = ProcessSeconds();
      callerSeconds = after - before - filling;
      processSeconds = processAfter - processBefore - (settled - after) - filling;
      platform::CloseThreadClock(clock);
    });
    caller.join();
    fftwf_destroy_plan(plan);
    std::printf("R = %2d: caller %.4f s of process %.4f s (%.1f %%)\n", R, callerSeconds, processSeconds,
                100 * callerSeconds / processSeconds);
    EXPECT_NEAR(callerSeconds, processSeconds, TOLERANCE * processSeconds) << "R = " << R;
  }
  fftwf_free(in);
  fftwf_free(out);
}

namespace {

// Counts the threads that compute at once: a pool job's own parts and
// every chunk, whoever runs it.
struct Gauge {
  std::atomic<int> now{0}, most{0};
  void Enter() {
    const int n = now.fetch_add(1) + 1;
    for (int m = most.load(); n > m && !most.compare_exchange_weak(m, n);) {
    }
  }
  void Leave() { now.fetch_sub(1); }
};
Gauge gauge;

void* GaugedChunk(char*) {
  gauge.Enter();
  BurnCpu(2e-4);
  gauge.Leave();
  return nullptr;
}

// A pool job: computes, runs a parallel loop of twice as many chunks as
// there are processors, computes again.
void GaugedJob(void*, int, int) {
  std::vector<char> chunks(2 * platform::ProcessorCount());
  for (int round = 0; round < 3; ++round) {
    gauge.Enter();
    BurnCpu(2e-4);
    gauge.Leave();
    FftParallelLoop(GaugedChunk, chunks.data(), 1, static_cast<int>(chunks.size()), nullptr);
  }
}

}  // namespace

// The sub-threads of a pool that runs a job on every processor, each job
// driving parallel loops, and the loop's helpers together never compute on
// more threads than there are processors; with one job the helpers take
// the chunks on the processors left free.
TEST(FftParallelLoop, SharesTheProcessorsWithThePoolsSubThreads) {
  const int processors = platform::ProcessorCount();
  NumberedPool pool;
  pool.Create(processors);
  ASSERT_EQ(pool.Start(GaugedJob, nullptr), processors);
  for (int round = 0; round < 20; ++round) ASSERT_TRUE(pool.RunAll(2 * processors));
  EXPECT_LE(gauge.most.load(), processors);
  EXPECT_GE(gauge.most.load(), std::min(processors, 2));

  if (processors < 2) return;
  Pair pair;  // its two chunks meet only when a helper takes one
  pair.burn = 0;
  PairChunk chunks[2] = {{&pair}, {&pair}};
  NumberedPool one;
  one.Create(1);
  struct Context {
    PairChunk* chunks;
  } context{chunks};
  ASSERT_EQ(one.Start(
                [](void* c, int, int) {
                  FftParallelLoop(RunPair, reinterpret_cast<char*>(static_cast<Context*>(c)->chunks),
                                  sizeof(PairChunk), 2, nullptr);
                },
                &context),
            1);
  ASSERT_TRUE(one.RunAll(1));
  EXPECT_EQ(pair.begun.load(), 2);
  pool.End();
  one.End();
}

namespace {

// Jobs that end only once every job of both pools has begun: they can all
// run only if no sub-thread waits for a processor another pool's holds.
struct Rendezvous {
  std::mutex mutex;
  std::condition_variable all;
  int begun = 0, expected = 0;
};
Rendezvous rendezvous;

void MeetingJob(void*, int, int) {
  std::unique_lock<std::mutex> lock(rendezvous.mutex);
  if (++rendezvous.begun == rendezvous.expected) rendezvous.all.notify_all();
  rendezvous.all.wait(lock, [] { return rendezvous.begun >= rendezvous.expected; });
}

}  // namespace

// The sub-threads of several pools are the tests the concurrency limit lets
// run at once: they wait for the loop's helpers, never for one another,
// even when together they are more than the processors.
TEST(FftParallelLoop, SubThreadsOfSeveralPoolsNeverWaitForEachOther) {
  const int processors = platform::ProcessorCount();
  NumberedPool first, second;
  first.Create(processors);
  second.Create(processors);
  ASSERT_EQ(first.Start(MeetingJob, nullptr), processors);
  ASSERT_EQ(second.Start(MeetingJob, nullptr), processors);
  rendezvous.expected = 2 * processors;
  bool secondRan = false;
  std::thread other([&] { secondRan = second.RunAll(processors); });
  EXPECT_TRUE(first.RunAll(processors));
  other.join();
  EXPECT_TRUE(secondRan);
  EXPECT_EQ(rendezvous.begun, 2 * processors);
  first.End();
  second.End();
}
