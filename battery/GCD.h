#pragma once
#include <array>
#include <cstdint>

#include "battery/TESTthd.h"

// Marsaglia's GCD test: Euclid's algorithm on 10^7 pairs of consecutive
// non-zero words of the sequence (as stored). One chi-square judges the
// number of division steps (classes 3 or fewer, 4, ..., 34, 35 or more)
// against Marsaglia's table, one the gcd (1 .. 99 and 100 or more) against
// 6 / (pi^2 g^2). The expectations are those of the pairs actually counted.
class GCD : public TESTthd {
 public:
  static constexpr uint64_t PAIRS = 10000000;
  static constexpr uint64_t MIN_WORDS = 20000000;
  // Fewer pairs than this (zero words having ended the counting early)
  // leave the rarest step classes with too small an expectation for the
  // chi-square law: both p-values are then PVALUE_SHORT, or PVALUE_FAIL
  // when the words hold at least MANY_ZEROS zero words (a random word is
  // zero once in 2^32: some 0.005 are expected among 2 10^7 words).
  static constexpr uint64_t MIN_PAIRS = 2000000;
  static constexpr uint64_t MANY_ZEROS = 3;

  struct Counts {
    std::array<uint32_t, 101> gcd{};    // cells 1 .. 100 used
    std::array<uint32_t, 36> steps{};   // cells 3 .. 35 used
    uint64_t pairs = 0;
    uint64_t zeros = 0;  // zero words among all N words (among those read when maxPairs pairs were counted)
  };

  GCD();
  void RunTest() override;

  // Counts up to maxPairs pairs of non-zero words among words[0 .. N - 1],
  // stopping before using a pair when more than zeroAllowance zero words
  // have been skipped so far.
  static void Count(const uint32_t* words, uint64_t N, uint64_t zeroAllowance, uint64_t maxPairs, Counts& counts);

  // The p-values of the step and gcd chi-squares for counts.pairs pairs
  // (32 and 99 degrees of freedom); see MIN_PAIRS for too few pairs.
  static double StepPValue(const Counts& counts);
  static double GcdPValue(const Counts& counts);

 private:
  Counts counts_;
};
