#pragma once
#include <cstdint>
#include <vector>

#include "battery/TESTthd.h"

// The gap classes of one word size: gap g (in words) falls in class
// classOf[min(g, cellCount) - 1]; prob[c] is the probability of class c
// under the geometric law of gaps, the gaps longer than the last cell
// included, so the classes' probabilities add up to 1.
struct GapClasses {
  uint64_t expectedGaps = 0;  // f = floor(floor(n / 2^s) / s) - 1
  int cellCount = 0;          // G, the gap lengths told apart
  std::vector<int> classOf;   // G entries
  std::vector<double> prob;   // one per class
  int Classes() const { return static_cast<int>(prob.size()); }
};

// The classes of word size s for n bits (G from the running expected count,
// cells merged while their expected count does not exceed 5). Fewer than
// two classes when n is too short for s.
GapClasses BuildGapClasses(uint64_t n, int s);

// Counts the gaps of the consecutive s-bit words of the n bits (the words
// at bits 0, s, 2 s, ... below n - s, first bit most significant) into
// counts (2^s rows of gc.Classes() cells, cleared first): a word of value v
// seen before at word index w' adds one to row v, class of gap w - w'.
// last (2^s entries) is scratch.
void CountGaps(const uint32_t* words, uint64_t n, int s, const GapClasses& gc, uint32_t* counts, uint32_t* last);

// The p-value of the gap counts: per value with G_v >= 1 gaps, the
// chi-square of its row against G_v times the class probabilities, with
// classes - 1 degrees of freedom; summed over the values. PVALUE_SHORT when
// no value has a gap.
double GapCountsPValue(const uint32_t* counts, int s, const GapClasses& gc);

// Block gap distance: the sequence read as consecutive s-bit words; for each
// of the 2^s values, the gaps between its successive occurrences, judged
// against the geometric law given the value's own number of gaps, and the
// chi-squares of all values summed, for every word size of the grid.
class BLKGAPDIS : public TESTthd {
 public:
  void RunTest() override;

 private:
  // The p-value of word size s on the current sequence.
  double WordSizePValue(int s);

  std::vector<GapClasses> classes_;  // by word size, built for the key below
  uint64_t classesKey_[4] = {};       // n, smin, smax, step they were built for
  std::vector<uint32_t> counts_;     // 2^s rows of class counts
  std::vector<uint32_t> last_;       // last word index of each value
};
