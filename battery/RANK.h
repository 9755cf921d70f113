#pragma once
#include <cstdint>
#include <vector>

#include "battery/TESTthd.h"

// Ranks over GF(2) of R x C binary matrices filled with consecutive bits,
// judged against the exact rank law by a chi-square over classes merged
// from the full rank downward, for every matrix size the mode walks.
class RANK : public TESTthd {
 public:
  void RunTest() override;

  // Tests the size in rows x cols; appends at most one pair to the slot.
  void RankOneSize(int slot);

  // The size under test.
  static int rows, cols;

 private:
  std::vector<uint64_t> matrix_;  // rows of ceil(cols / 64) words
  std::vector<uint64_t> counts_;  // per rank
  std::vector<double> law_;       // per rank
};

// The probability that a random R x C matrix over GF(2) has rank r
// (0 <= r <= min(R, C)).
double RankProbability(int R, int C, int r);

// The rank over GF(2) of the matrix in RANK::rows rows of `words` 64-bit
// words each (column j of a row is bit j % 64 of word j / 64; the columns
// from RANK::cols on are 0). Rearranges and overwrites the rows.
int Gf2Rank(uint64_t* matrix, int words);
