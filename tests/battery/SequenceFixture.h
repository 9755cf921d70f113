#pragma once
// A test's view of the run state: a sequence of its own in seqBits, and the
// pairs one RunTest appended to the slot.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "battery/RunState.h"
#include "battery/TESTthd.h"
#include "platform/Event.h"
#include "platform/Thread.h"

struct Pair {
  std::string label;
  double p;
};

class SequenceFixture : public ::testing::Test {
 protected:
  std::vector<uint32_t> words;

  // n bits, all zero.
  void Zeros(uint32_t n) {
    words.assign(n / 32 + 2, 0);
    seqBits = words.data();
    seqLen = n;
  }
  // n bits given as a text of '0' and '1', first bit first.
  void FromText(const std::string& text) {
    Zeros(static_cast<uint32_t>(text.size()));
    for (size_t t = 0; t < text.size(); ++t)
      if (text[t] == '1') words[t >> 5] |= 1u << (t & 31);
  }
  // The words of xorshift32 (13, 17, 5) from a seed, as the reference
  // script makes them.
  void Xorshift(uint32_t seed, uint32_t n) {
    Zeros(n);
    uint32_t x = seed;
    for (uint32_t i = 0; i < n / 32 + 1; ++i) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      words[i] = x;
    }
    // Bits past n are spare; the tests must not read them.
    if (n % 32 != 0) words[n / 32] &= (1u << (n % 32)) - 1;
    words[n / 32 + 1] = 0xFFFFFFFFu;
    if (n % 32 != 0) words[n / 32] |= ~((1u << (n % 32)) - 1);
  }
  // n biased bits: bit t is one where one(x) holds for the (t + 1)-th
  // xorshift32 (13, 17, 5) value x from seed, e.g. (x & 3) != 0 for ones
  // with probability 3/4.
  template <class One>
  void Biased(uint32_t seed, uint32_t n, One one) {
    Zeros(n);
    uint32_t x = seed;
    for (uint32_t t = 0; t < n; ++t) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      if (one(x)) words[t >> 5] |= 1u << (t & 31);
    }
  }
  // n bits repeating the low `period` bits of pattern, bit 0 first.
  void Repeating(uint32_t n, uint32_t pattern, uint32_t period) {
    Zeros(n);
    for (uint32_t t = 0; t < n; ++t)
      if ((pattern >> (t % period)) & 1) words[t >> 5] |= 1u << (t & 31);
  }

  // Checks the pairs against the reference rows that keep(row) picks, in
  // order: the same labels, p-values within a relative 1e-9.
  template <class Rows, class Keep>
  static void ExpectReferencePairs(const std::vector<Pair>& pairs, const Rows& rows, Keep keep) {
    size_t i = 0;
    for (const auto& ref : rows) {
      if (!keep(ref)) continue;
      ASSERT_LT(i, pairs.size()) << ref.label;
      EXPECT_EQ(pairs[i].label, ref.label);
      EXPECT_NEAR(pairs[i].p, ref.p, 1e-9 * ref.p) << ref.label;
      ++i;
    }
    EXPECT_EQ(i, pairs.size());
  }

  // The labels of the pairs, in order.
  static std::vector<std::string> Labels(const std::vector<Pair>& pairs) {
    std::vector<std::string> labels;
    for (const Pair& pair : pairs) labels.push_back(pair.label);
    return labels;
  }

  // A plainly bad sequence's pairs: exactly the labels expected (at least
  // one), in order, each with PVALUE_FAIL or a p-value in [0, below), never
  // PVALUE_SHORT. The labels come first, so a test that appends nothing
  // cannot pass.
  static void ExpectRejected(const std::vector<Pair>& pairs, const std::vector<std::string>& labels,
                             double below = 1e-10) {
    ASSERT_FALSE(labels.empty());
    ASSERT_EQ(Labels(pairs), labels);
    for (const Pair& pair : pairs)
      EXPECT_TRUE(pair.p == PVALUE_FAIL || (pair.p >= 0 && pair.p < below)) << pair.label << " " << pair.p;
  }

  // Two runs that must agree: the same labels (at least one) and p-values.
  static void ExpectSamePairs(const std::vector<Pair>& pairs, const std::vector<Pair>& expected) {
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(Labels(pairs), Labels(expected));
    for (size_t i = 0; i < pairs.size(); ++i) EXPECT_EQ(pairs[i].p, expected[i].p) << pairs[i].label;
  }

  // The pairs of a sequence lost to a failure: the labels of `whole`, every
  // value short.
  static void ExpectShortPairs(const std::vector<Pair>& pairs, const std::vector<Pair>& whole) {
    ASSERT_FALSE(whole.empty());
    ASSERT_EQ(Labels(pairs), Labels(whole));
    for (const Pair& pair : pairs) EXPECT_EQ(pair.p, PVALUE_SHORT) << pair.label;
  }

  // The start signal of the given call (this thread's, from 0) fails: that
  // sequence gives its rows short, and the next one gives `whole` again.
  void ExpectAFailedSignalLosesOnlyThatSequence(TESTthd& test, int slot, int call, const std::vector<Pair>& whole) {
    platform::InjectEventFailureOnThisThread(platform::EventCall::Set, call);
    ExpectShortPairs(Run(test, slot), whole);
    ExpectSamePairs(Run(test, slot), whole);
  }

  // The same test built while no sub-thread can start runs its jobs one
  // after the other on the worker: the pairs of `pooled`, returned.
  template <class Test>
  std::vector<Pair> ExpectTheSamePairsWithoutSubThreads(Test& pooled, int slot) {
    platform::InjectThreadFailure(platform::ThreadCall::Start, 0);
    Test alone;
    platform::InjectThreadFailure(platform::ThreadCall::Start, -1);
    EXPECT_EQ(alone.SubThreads(), 0);
    const auto pairs = Run(alone, slot);
    ExpectSamePairs(Run(pooled, slot), pairs);
    return pairs;
  }

  // Runs the test once on the sequence and takes its pairs out of the slot.
  std::vector<Pair> Run(TESTthd& test, int slot) {
    test.slot = slot;
    test.RunTest();
    std::vector<Pair> pairs;
    for (size_t i = 0; i < resultLabels[slot].size(); ++i) {
      pairs.push_back({resultLabels[slot][i], resultPValues[slot][i]});
      delete[] resultLabels[slot][i];
    }
    EXPECT_EQ(resultLabels[slot].size(), resultPValues[slot].size());
    resultLabels[slot].clear();
    resultPValues[slot].clear();
    return pairs;
  }

  void TearDown() override {
    seqBits = nullptr;
    seqLen = 0;
  }
};
