#include "battery/FftParallelLoop.h"

#include <fftw3.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

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

// Chunk 0 waits until chunk 1 has begun, so chunk 1 runs on a helper
// whatever the order; chunk 1 burns `burn` seconds of its thread's CPU.
struct Pair {
  std::atomic<bool> secondBegun{false};
  double burn = 0;
};
struct PairChunk {
  Pair* pair;
  int index;
};
void* RunPair(char* data) {
  auto* chunk = reinterpret_cast<PairChunk*>(data);
  if (chunk->index == 0) {
    while (!chunk->pair->secondBegun.load()) std::this_thread::yield();
  } else {
    chunk->pair->secondBegun = true;
    BurnCpu(chunk->pair->burn);
  }
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
    PairChunk chunks[2] = {{&pair, 0}, {&pair, 1}};
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
