#pragma once
#include <cstdint>
#include <vector>

#include "battery/SubThreadPool.h"
#include "battery/TESTthd.h"

// Linear complexity: N blocks of M bits, the linear complexity L and the
// number J of jumps of the complexity profile of each by Berlekamp-Massey
// over GF(2); a chi-square of the standardised jump counts ("LCjmp") and
// the classes of the deviation of L from its mean ("LClen").
class LINCPLX : public TESTthd {
 public:
  // Settles M, N, K, the class probabilities and the moments for the run.
  LINCPLX();
  ~LINCPLX() override;
  void RunTest() override;
  // The sub-threads that started; 0 runs the jobs on the worker itself.
  int SubThreads() const { return pool_.Started(); }

  // Berlekamp-Massey on the M-bit block that starts at sequence bit start:
  // its linear complexity, and in jumps the number of times it grew.
  int BlockComplexity(uint64_t start, int& jumps) { return BlockComplexity(work_[0], start, jumps); }

  // The blocks are cut into this many jobs of consecutive blocks for the
  // pool of sub-threads (at least one block each).
  int jobCount = 0;
  int threadCount = 0;

  double* classProb = nullptr;  // pi_0 .. pi_K
  int blockLen = 0;             // M
  int classCount = 0;           // K (even; 0: no class test)
  int blockCount = 0;           // N
  int parity = 1;               // (-1)^M
  double lenMean = 0;           // mean linear complexity of a random block
  double jumpMean = 0;          // mean of J
  double jumpVar = 0;           // variance of J

 private:
  // Work arrays of 2 ceil(M / 64) + 4 words, one set per sub-thread.
  struct Workspace {
    std::vector<uint64_t> rev;  // the block's bits, last bit first
    std::vector<uint64_t> c, b, t;
    std::vector<uint64_t> window;  // the bits the discrepancy multiplies with c
  };
  int BlockComplexity(Workspace& work, uint64_t start, int& jumps) const;
  static void Work(void* context, int job, int thread);

  std::vector<Workspace> work_;
  // Per block of this sequence: its linear complexity and its jumps,
  // written by the jobs and summed in block order afterwards.
  std::vector<int> lengths_, jumps_;
  std::vector<uint64_t> counts_;  // per class
  NumberedPool pool_;
};

// The probabilities of the K + 1 classes of the deviation T for M-bit
// blocks (K even, 0 < K <= 2 floor(M / 2)): the published values 1/2,
// 2^(-2j), 2^(-2j-1) and the two tails, the tails corrected for the finite
// block (the exact law of L is cut at 0 and M), so that they sum to 1 and
// every class is one that L can reach.
std::vector<double> LinearComplexityClassProbabilities(int K, int M);
