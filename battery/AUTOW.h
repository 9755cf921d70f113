#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "battery/SubThreadPool.h"
#include "battery/TESTthd.h"

// The job record of one sub-thread: the (S, d) pair to run and its result.
struct AutoWJob {
  int record;    // index of the job's PValueRecord
  int S;         // block size in bits; 0: idle, or "end" with a start signal
  int d;         // distance in blocks
  double cells;  // classes of the chi-square
  double chi2;
  double p;  // the job's p-value (S = 1: randomised, of the differing pairs)
};

// Windowed autocorrelation: the sequence cut into blocks of S bits; for a
// distance of d blocks, the Hamming distances between block k and block
// k + d (every k) are compared with the binomial law of S fair bits by a
// chi-square over merged classes. One job per (S, d) of the grids that the
// sequence supports, run in parallel on a pool of sub-threads. With S = 1
// the count of differing pairs gets its exact binomial law, randomised
// within its atom; up to five classes the chi-square is formed from counts
// smoothed off their lattice (SmoothedChiSquare, battery/RandomisedPValue.h).
class AUTOW : public TESTthd {
 public:
  AUTOW();
  ~AUTOW() override;
  void RunTest() override;
  // The sub-threads that started; 0 runs the jobs on the worker itself.
  int SubThreads() const { return pool_.Started(); }

  struct Job {
    int S;
    int d;
  };

  // The (S, d) jobs of every RunTest, in the order their pairs come out.
  const std::vector<Job>& JobList() const { return jobList_; }
  int jobCount = 0;
  int threadCount = 0;

  // Adds to hist[h] (S + 1 entries) the number of pairs of S-bit blocks,
  // block k and block k + d for k = 0 .. n / S - d - 1, that differ in h
  // bits. Block k is bits k S .. k S + S - 1 of the n-bit sequence in
  // words (with its two spare words). Needs d < n / S.
  static void CountDistances(const uint32_t* words, uint32_t n, int S, int d, uint64_t* hist);

  // The chi-square of a histogram of `pairs` distances between S-bit
  // blocks against the binomial law (lnFactorial must reach S): classes
  // merged from h = 0 up to S / 2, then on from h = S down to S / 2 + 1,
  // each closing when its expected count reaches 5; the rest is dropped.
  // hist null: counts of 0, for the number of classes alone. law: the
  // S + 1 probabilities from BinomialLaw, or null to form them here.
  static void ChiSquare(int S, uint64_t pairs, const uint64_t* hist, int& cells, double& chi2,
                        const double* law = nullptr);
  // law[h] = C(S, h) / 2^S for h = 0 .. S (lnFactorial must reach S).
  static void BinomialLaw(int S, double* law);

 private:
  static void Work(void* context, AutoWJob& job, int thread);

  std::vector<Job> jobList_;
  std::vector<PValueRecord> records_;
  // One histogram per sub-thread, histogramSize_ counts each.
  std::unique_ptr<uint64_t[]> histograms_;
  // The binomial laws of the block sizes with jobs, the one of S from
  // laws_[lawStart_[S]] on.
  std::vector<double> laws_;
  std::vector<size_t> lawStart_;
  uint64_t hash_ = 0;  // the sequence's hash, for the S = 1 and few-class p-values
  size_t histogramSize_ = 0;
  SubThreadPool<AutoWJob, &AutoWJob::S> pool_;
};
