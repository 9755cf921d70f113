#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "battery/TESTthd.h"

// Non-overlapping template matching: the occurrences of aperiodic m-bit
// templates (words that no proper shift of themselves overlaps) in N blocks
// of M bits, judged per template by a chi-square with N degrees of freedom
// against the mean (M - m + 1) / 2^m and the variance
// M (1/2^m - (2m - 1)/2^(2m)), its p-value drawn within its lattice value's
// atom by a uniform hashed from the sequence's bits.
class NOTM : public TESTthd {
 public:
  void RunTest() override;

  // The template generator: the aperiodic words of one length in
  // increasing order, taking every templateStride-th from rank 0 on.
  uint32_t templateCount = 0;   // templates used for the current m
  uint32_t templateStride = 1;  // one aperiodic word out of this many is used
  uint32_t strideCounter = 0;   // aperiodic words met since the last one used
  uint32_t candidate = 0;       // the last value tried

 private:
  // Templates of the current pass and their counts, block by block; grown
  // on the first sequence and reused.
  std::vector<uint32_t> batch;
  std::vector<uint32_t> counters;
  std::vector<uint32_t> lookup;  // all zero between calls of CountTemplates
};

// The number of aperiodic m-bit words, m = 0 .. 31.
extern const uint32_t APERIODIC_COUNT[32];

// True when the m-bit word v (2 <= m <= 31) has no proper border: no
// prefix of it equals the suffix of the same length.
bool IsAperiodic(uint32_t v, int m);

// Advances the generator of `test` to the next template to use and returns
// it, an m-bit value whose top bit is the template's first bit (m >= 3).
uint32_t NextAperiodicTemplate(NOTM& test, int m);

// The block count N for template length m and n bits:
// n / (100 * 2^m + m - 1), truncated and held to 3 .. 1000.
uint32_t NotmBlockCount(uint32_t n, int m);

// For each of `blocks` consecutive blocks of M bits from bit 0, counts the
// starts k = 0 .. M - m at which the m-bit window, read most significant bit
// first, equals one of the `count` templates (distinct, ascending). The
// count of template t in block w goes to counters[w * count + t]. `lookup`
// is scratch for the histogram of window values up to 20 bits (all zero before and after;
// grown to 2^m entries when needed).
void CountTemplates(const uint32_t* words, uint32_t blocks, uint64_t M, int m, const uint32_t* templates,
                    uint32_t count, uint32_t* counters, std::vector<uint32_t>& lookup);

// The p-value of one template's block counts counts[0], counts[stride],
// ... (`blocks` of them) for blocks of M bits and templates of m bits:
// Q(N / 2, chi2 / 2).
double NotmPValue(const uint32_t* counts, uint32_t blocks, size_t stride, uint64_t M, int m);

// The step between the values chi2 can take for blocks of M bits and
// templates of m bits (2 <= m <= 31): 2^(2m) variance chi2 is a sum of
// squares (2^m c - (M - m + 1))^2, whole numbers on a lattice.
double NotmLatticeStep(uint64_t M, int m);

// The p-value the test reports: the chi-square law's atom of the lattice
// value chi2, from Q(N / 2, (chi2 + step / 2) / 2) (P(X > chi2)) to
// Q(N / 2, (chi2 - step / 2) / 2) (P(X >= chi2)), drawn within by u. With
// blocks of a few hundred bits (m = 2) the lattice is coarse enough that
// thousands of sequences see its values' atoms.
double NotmRandomisedPValue(const uint32_t* counts, uint32_t blocks, size_t stride, uint64_t M, int m, double u);
