#pragma once
#include <cstdint>
#include <vector>

#include "battery/MergedChiSquare.h"
#include "battery/TESTthd.h"

// Weight: in groups of 40 consecutive s-bit words, how many words reach a
// threshold; the distribution of that count over the groups is compared
// with the binomial law (the Cressie-Read power divergence, lambda = 1/2,
// over merged classes, referred to its moment law, MergedChiSquare.h), for every word size s and
// threshold of the grid.
class WEIGHT : public TESTthd {
 public:
  void RunTest() override;

  static constexpr int GROUP = 40;  // words per group

 private:
  struct Threshold {
    uint32_t value;   // T: a word reaches it when v >= T
    double percent;   // 100 x P(v >= T) for a uniform word, for the label
    MergedChiSquare chi2;  // the classes; their statistic is the power divergence
  };
  struct WordSize {
    int s;
    uint64_t groups;
    uint32_t step;
    std::vector<Threshold> thresholds;  // T = step, 2 step, ..., in rising order
    std::vector<uint16_t> levelOf;      // s <= 16: word -> the number of thresholds it reaches
    std::vector<uint64_t> byteSum;      // s = 2, 4, 8: stored byte -> packed counts of its words
  };

  // The plan depends only on the parameters and n: built at the first
  // sequence of a run (and again only if they change).
  void Plan();
  void CountWordSize(const WordSize& w);

  std::vector<WordSize> plan_;
  uint32_t planLen_ = 0;
  int planParams_[4] = {0, 0, 0, 0};
  bool planned_ = false;
  // Per threshold level, the histogram of the count per group (0 .. 40).
  std::vector<uint64_t> histogram_;
  std::vector<uint64_t> observed_;
  std::vector<uint32_t> levels_;  // per group, the words at each level
};
