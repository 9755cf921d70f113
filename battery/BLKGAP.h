#pragma once
#include <cstdint>

#include "battery/TESTthd.h"

// Blocks and gaps: the lengths of the runs of ones (blocks) and of zeros
// (gaps), each histogram judged by a chi-square against the geometric law of
// run lengths, given the number of runs it holds.
class BLKGAP : public TESTthd {
 public:
  void RunTest() override;
};

// The most classes a histogram can have (n < 2^32 gives at most 29).
constexpr int BLKGAP_MAX_CLASSES = 40;

// The class count K of n bits: the smallest k >= 2 with
// (n - k + 3) / 2^(k + 2) < 5, computed in 64 bits. Class K holds the runs of
// length K or more.
int RunLengthClasses(uint64_t n);

// Fills blocks[1 .. K] and gaps[1 .. K] with the runs of ones and of zeros
// of the n bits (n >= 1), in one pass: a run counts in class min(length, K)
// when the other value follows it inside the sequence; the run that reaches
// the last bit is not counted.
void CountRunLengths(const uint32_t* words, uint64_t n, int K, uint64_t* blocks, uint64_t* gaps);

// The p-value of one histogram of R = counts[1] + ... + counts[K] runs: the
// chi-square against R 2^-j for j < K and R 2^-(K-1) for class K, with K - 1
// degrees of freedom. Without a counted run, the probability of a sequence
// of n bits that holds none, (n + 1) 2^-n (PVALUE_FAIL when it underflows).
double RunLengthPValue(const uint64_t* counts, int K, uint64_t n);
