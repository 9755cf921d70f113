#pragma once
// A test class timed on one sequence of random bits: the sequence is filled
// once, RunTest runs per iteration and its results are dropped; throughput
// is reported as the sequence's bytes (n / 8 per run).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "battery/RunState.h"
#include "battery/TESTthd.h"

class BenchSequence {
 public:
  // n random bits (splitmix64) in seqBits, with the two spare words.
  explicit BenchSequence(uint32_t n = 1u << 20, uint64_t seed = 0x9E3779B97F4A7C15ull) : words_(n / 32 + 2) {
    uint64_t x = seed;
    for (auto& w : words_) {
      x += 0x9E3779B97F4A7C15ull;
      uint64_t z = x;
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      w = static_cast<uint32_t>(z ^ (z >> 31));
    }
    seqBits = words_.data();
    seqLen = n;
    seqIndex = 1;
  }
  ~BenchSequence() {
    seqBits = nullptr;
    seqLen = 0;
  }

 private:
  std::vector<uint32_t> words_;
};

// Drops the results a RunTest appended to its slot.
inline void ClearSlot(int slot) {
  for (char* label : resultLabels[slot]) delete[] label;
  resultLabels[slot].clear();
  resultPValues[slot].clear();
}

// Times test.RunTest() on the current sequence.
inline void TimeRunTest(benchmark::State& state, TESTthd& test, int slot) {
  test.slot = slot;
  for (auto _ : state) {
    test.RunTest();
    benchmark::DoNotOptimize(resultPValues[slot].data());
    ClearSlot(slot);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * (seqLen / 8));
}
