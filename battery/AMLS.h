#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "battery/SubThreadPool.h"
#include "battery/TESTthd.h"

// The iterated von Neumann extractor of one block length: a binary tree of
// one-bit nodes in which every node passes the leftovers of its pairs on to
// two children. Each sub-thread of the AMLS test has one.
class AmlsTree {
 public:
  // Passes bit b into node k of the tree (nodes 1 .. blockBits - 1; a bit
  // sent to a node beyond them is dropped).
  void FeedNode(uint32_t k, uint32_t b);

  // The number of bits the tree of blockBits nodes extracts from block i:
  // the sequence bits i B .. i B + B - 1 fed in pairs, and then, while the
  // block's last pair extracted nothing, the pairs after it until one
  // extracts. That continuation stops at the end of the sequence (no pair
  // reaches past bit seqLen - 1) and after at most B more bits; a block
  // whose continuation stops so keeps the count of the pairs fed.
  int64_t CountBlock(uint64_t i);

  // Sizes the node arrays for blocks of up to `bits` bits.
  void EnsureNodes(uint64_t bits);

  // The bytes EnsureNodes(bits) takes.
  static uint64_t Bytes(uint64_t bits);

  int extracted = 0;                // bits extracted since last set to 0
  std::vector<uint64_t> nodeFull;   // bit k set: node k holds a bit
  std::vector<uint64_t> nodeBit;    // bit k: the bit node k holds
  int blockBits = 0;                // B = L * 1024

 private:
  // Node 1 is empty before every pair: compares the pair (a, b) there.
  void FeedPair(uint32_t a, uint32_t b);
  void FeedStream(uint32_t k, const uint64_t* s, uint64_t m, uint64_t* free);
  std::vector<uint64_t> scratch_;  // the block and the streams of its nodes
};

// Mean and variance of the bits extracted from one block of L kbit of random
// bits (L a power of two from 1 to 2^19); false for any other L.
bool AmlsMoments(int L, double& mean, double& variance);

// The standardised fourth and sixth central moments E d^4 / s^4 and
// E d^6 / s^6 of that count (d = count - mean, s^2 its variance); false
// for an L without moments.
bool AmlsShape(int L, double& m4, double& m6);

// The law of X = sum over N blocks of Y = (count - mean)^2 / variance. Each
// term has mean 1, variance m4 - 1 and third cumulant m6 - 3 m4 + 2 (2 and
// 8 for a normal count, whose X is chi-square with N degrees of freedom;
// the extracted-bit count's kurtosis is above 3, so X's variance is above
// 2 N and its upper tail heavier). X is taken as a + b chi2(nu), the three
// fitted to X's first three cumulants.
class AmlsLaw {
 public:
  AmlsLaw() = default;
  AmlsLaw(uint64_t blocks, double m4, double m6);
  double PValue(double X) const;

  uint64_t blocks = 0;
  double a = 0, b = 1, nu = 1;
};

// The record a sub-thread shares with RunTest. L is the key: 0 while idle.
struct AmlsJob {
  int L = 0;                  // block length of the job [kbit]
  int row = 0;                // its place among the results
  AmlsTree* tree = nullptr;   // the sub-thread's own tree
  const AmlsLaw* law = nullptr;  // the row's law (its number of blocks)
  bool given = false;         // a p-value was computed (some block fits)
  double p = 0;
};

// AMLS: blocks of L kbit run through the extractor tree; the number of bits
// extracted per block is judged against its known mean and variance by
// X = sum (count - mean)^2 / variance over the blocks under AmlsLaw, for
// every block length L of the grid. One job
// per block length, run in parallel on a pool of sub-threads; the test's
// own tree serves the first sub-thread (and the test when no sub-thread
// could start).
class AMLS : public TESTthd, public AmlsTree {
 public:
  // Sizes the trees for amlsLmax and starts the sub-threads (once per run).
  AMLS();
  ~AMLS() override;
  void RunTest() override;
  // The sub-threads that started; 0 runs the jobs on the worker itself.
  int SubThreads() const { return pool_.Started(); }

  std::vector<int> lengths;  // the grid's block lengths that have moments
  int threadCount = 0;       // min(cpuCount, lengths), fewer for huge trees

 private:
  static void Work(void* context, AmlsJob& job, int thread);

  struct Row {
    bool given;
    double p;
  };
  std::vector<Row> rows_;                          // the results of one RunTest
  std::vector<AmlsLaw> laws_;                      // per row, made on the first sequence of a run
  std::vector<std::unique_ptr<AmlsTree>> trees_;   // of sub-threads 1 .. threadCount - 1
  SubThreadPool<AmlsJob, &AmlsJob::L> pool_;
};

