#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "battery/TESTthd.h"

// Ranks over GF(2) of R x C binary matrices filled with consecutive bits,
// judged against the exact rank law by a chi-square over classes merged
// from the full rank downward, for every matrix size the mode walks.
// The exact law, under the multinomial law of N matrices, of a chi-square
// over three or four classes of probabilities q[0..classes - 1] (what is
// left, 1 - the sum of the q, is not judged): every outcome of at least
// 1e-7 kept with its statistic, the smaller ones down to 1e-30 gathered in
// bins of the statistic 120 / 2^19 wide.
class FewClassLaw {
 public:
  FewClassLaw(uint64_t N, const double* q, int classes = 3);

  // The statistic of the class counts O[0..classes - 1].
  double Statistic(const uint64_t* O) const;

  // The mid-p-value P(X > x) + P(X = x) / 2 of the statistic x, the binned
  // outcomes of x's bin counted half (an error below 1e-7, and 0.1 % in
  // the tail). Negative from 120 on, where the law is not kept.
  double MidPValue(double x) const;

  // The randomised p-value P(X > x) + u P(X = x), u uniform in (0, 1):
  // x's bin of binned outcomes counts as part of its atom (it weighs less
  // than 1e-7 times the bin's few outcomes). Negative from 120 on.
  double RandomisedPValue(double x, double u) const;

  uint64_t N;
  int classes;
  double q[4] = {};

  static constexpr size_t BINS = size_t(1) << 19;
  static constexpr double X_MAX = 120;
  static constexpr double ATOM_MIN = 1e-7;
  static constexpr double OUTCOME_FLOOR = 1e-30;

 private:
  std::vector<double> x_;         // the statistics of the outcomes kept one by one, ascending
  std::vector<double> atomTail_;  // their probability from this one on
  std::vector<double> tail_;      // the probability of the binned outcomes from this bin on
};

class RANK : public TESTthd {
 public:
  void RunTest() override;

  // Tests the size in rows x cols; appends at most one pair to the slot.
  void RankOneSize(int slot);

  // The size under test.
  static int rows, cols;

 private:
  // The exact law of the size R x C of three (or four) classes with N
  // matrices, made at its first sequence of the run.
  const FewClassLaw& FewClassLawOf(int R, int C, uint64_t N, const double* q, int classes);

  std::vector<uint64_t> matrix_;  // rows of ceil(cols / 64) words
  std::vector<uint64_t> counts_;  // per rank
  std::vector<double> law_;       // per rank
  std::vector<int> classOf_;      // per rank: its class, or -1 when not judged
  // The exact laws of the sizes met in this run that need one, by size.
  struct SizeLaw {
    int R, C;
    FewClassLaw law;
  };
  std::vector<SizeLaw> fewClassLaws_;
  // The sequence's hash, made at most once per sequence (RunTest clears
  // hashed_), when a size needs it.
  uint64_t hash_ = 0;
  bool hashed_ = false;
};

// The probability that a random R x C matrix over GF(2) has rank r
// (0 <= r <= min(R, C)).
double RankProbability(int R, int C, int r);

// The rank over GF(2) of the matrix in RANK::rows rows of `words` 64-bit
// words each (column j of a row is bit j % 64 of word j / 64; the columns
// from RANK::cols on are 0). Rearranges and overwrites the rows.
int Gf2Rank(uint64_t* matrix, int words);

// The rank over GF(2) of a matrix of at most 32 rows and 32 columns: row r
// in rowsBits[r] (32 rows, the ones past the matrix 0), column j its bit j,
// columns from C on 0. Overwrites the rows.
int SmallRank(uint32_t* rowsBits, int C);
