#pragma once
#include <cstdint>
#include <vector>

#include "battery/SubThreadPool.h"
#include "battery/TESTthd.h"

// Permutation: the sequence read as s-bit words, grouped into
// non-overlapping tuples of t words; the tuples without a repeated word
// must spread evenly over the t! relative orders (chi-square, t! - 1
// degrees of freedom). Words of 8, 16 and 32 bits are the buffer's bytes,
// half-words and words as stored; other sizes are read most significant
// bit first.
//
// Whether an (s, t) gives a pair depends only on n, s and t, so every
// sequence of a run gives the same pairs; a sequence whose own count of
// repeat-free tuples leaves 5 or fewer per order gets PVALUE_SHORT, or
// PVALUE_FAIL when a good generator gives so few less than once in 10^10
// (repeats everywhere, as in a constant or periodic sequence).
//
// Each (s, t) is one job of a pool of sub-threads; the pairs come out in
// grid order.
class PERM : public TESTthd {
 public:
  PERM();
  ~PERM() override;
  void RunTest() override;
  // The sub-threads that started; 0 runs the jobs on the worker itself.
  int SubThreads() const { return pool_.Started(); }

  int threadCount = 0;

 private:
  struct Pair {
    int s, t;
    uint64_t words, fact;
    double p;  // the job's result
  };
  static void Work(void* context, int job, int thread);
  // The p-value of one pair, counting in `counts` (t! + 1 counters).
  double PairPValue(const Pair& pair, uint32_t* counts) const;

  std::vector<Pair> pairs_;  // this sequence's, in grid order
  // Per sub-thread: t! order counters and one for the tuples with a
  // repeat, sized for the largest t of the run.
  std::vector<std::vector<uint32_t>> orderCounts_;
  uint64_t hash_ = 0;  // the sequence's hash, for the randomised and smoothed rows
  NumberedPool pool_;
};

// The expected number of repeat-free tuples per order among the
// floor((words - 1) / t) tuples of `words` s-bit words (words >= 1):
// tuples * P(no two of t uniform s-bit words are equal) / t!.
double PermExpectedPerOrder(uint64_t words, int s, int t);

// The order index of t distinct words u[0 .. t-1] (2 <= t <= 12) by the
// permutation analysis of Knuth's Algorithm P, in 0 .. t! - 1; -1 when two
// words are equal. u is used as scratch.
int PermOrderIndex(uint32_t* u, int t);
