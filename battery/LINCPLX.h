#pragma once
#include <cstdint>
#include <vector>

#include "battery/SubThreadPool.h"
#include "battery/TESTthd.h"

// Linear complexity: N blocks of M bits, the linear complexity L and the
// number J of jumps of the complexity profile of each by Berlekamp-Massey
// over GF(2); a chi-square of the standardised jump counts ("LCjmp") and
// the classes of the deviation of L from its mean ("LClen").
// The law of the class chi-square X = sum (O_i - N p_i)^2 / (N p_i) over
// the K + 1 classes, for its randomised p-value P(X > x) + u P(X = x).
// Where every 1 / p_i is a whole number (the cut of the tails lost in the
// rounding), N X + N^2 = sum O_i^2 / p_i is a multiple of g, the weights'
// greatest common divisor, so X lives on a lattice of step g / N. When the
// outcomes with X below X_MAX are few enough, their exact multinomial law
// is enumerated once per run onto that lattice; otherwise (and for a
// statistic beyond X_MAX) the chi-square law with K degrees of freedom is
// taken at a point spread over x's lattice cell (LatticePoint).
class LinearComplexityClassLaw {
 public:
  LinearComplexityClassLaw() = default;
  LinearComplexityClassLaw(int64_t N, int K, const double* p);

  // The randomised p-value of the counts O[0 .. K] (summing to N), u
  // uniform in (0, 1).
  double RandomisedPValue(const uint64_t* O, double u) const;
  bool Exact() const { return !prob_.empty(); }

  static constexpr double X_MAX = 60;        // chi-square(6) tail 5e-11
  static constexpr double MAX_OUTCOMES = 2e7;  // estimated outcomes below X_MAX
  static constexpr size_t MAX_POINTS = size_t(1) << 21;

 private:
  int64_t N_ = 0;
  int K_ = 0;
  std::vector<double> p_;
  std::vector<int64_t> weight_;  // 1 / p_i, when all are whole
  int64_t step_ = 1;             // their greatest common divisor (g)
  int64_t base_ = 0;             // floor(N^2 / g): lattice point 0, X = 0
  std::vector<double> prob_;     // the exact law per lattice point (S / g - base_)
  std::vector<double> above_;    // P(point > k), from the points and X >= X_MAX
};

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
  LinearComplexityClassLaw classLaw_;
  NumberedPool pool_;
};

// The probabilities of the K + 1 classes of the deviation T for M-bit
// blocks (K even, 0 < K <= 2 floor(M / 2)): the published values 1/2,
// 2^(-2j), 2^(-2j-1) and the two tails, the tails corrected for the finite
// block (the exact law of L is cut at 0 and M), so that they sum to 1 and
// every class is one that L can reach.
std::vector<double> LinearComplexityClassProbabilities(int K, int M);
