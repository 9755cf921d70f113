#pragma once
#include <cstdint>
#include <vector>

#include "battery/MergedChiSquare.h"
#include "battery/TESTthd.h"

// 1-D random walks: the sequence cut into walks of L steps (+1 for a one,
// -1 for a zero). For each L of the grid, six quantities of each walk are
// counted and each histogram is compared with its exact law by the
// Cressie-Read power divergence (lambda = 1/2) over classes merged until
// their expected count reaches 5, referred to its moment law
// (MergedChiSquare.h).
class RW1D : public TESTthd {
 public:
  // The six statistics, in the order their results are appended.
  enum Statistic : int { RW_SK, RW_SIGN, RW_STPUP, RW_SIDE, RW_ZERO, RW_SMAX, STATISTICS };

  // Decides for every L of the grid which statistics form more than two
  // classes with seqLen / L walks; lowers zarWlkLmax to the last L that has
  // any (0 when the first has none).
  RW1D();
  void RunTest() override;

  // Whether statistic s is computed for walk length L.
  bool Usable(int s, int L) const;

  // binom(m, k) / 2^m through the ln k! table; 0 outside 0 <= k <= m.
  static double WalkProbability(int m, int k);
  // The first-passage level for walk length L: zarWlkSk when it is 0 or
  // more, else L + zarWlkSk.
  static int Level(int L);
  // The probability of histogram index k of statistic s for walks of L
  // steps and level b (used by RW_SK only). Index 0 of RW_SK stands for the
  // walks that never reach the level.
  static double CellProbability(int s, int L, int b, int k);
  // Calls f(k) for the histogram indices of statistic s in class-forming
  // order. `countingPart` gives only the part of the order by which the
  // constructor decides usability (the lower half of RW_STPUP, the downward
  // run of RW_SIDE).
  template <class F>
  static void ForEachCell(int s, int L, bool countingPart, F&& f);

 private:
  // One bit set per statistic: bit L set when the statistic is computed
  // for walk length L.
  std::vector<uint32_t> usableLengths[STATISTICS];
  // Per-sequence histograms, sized once for the largest L.
  std::vector<uint32_t> histograms[STATISTICS];
  // Short walks (L <= SHORT_WALK) are counted by their value, first step on
  // top; walkIndices[L][v] packs the six indices of the walk v (5 bits each).
  static constexpr int SHORT_WALK = 12;
  std::vector<uint32_t> walkIndices[SHORT_WALK + 1];
  std::vector<uint32_t> valueCounts;
};

template <class F>
void RW1D::ForEachCell(int s, int L, bool countingPart, F&& f) {
  switch (s) {
    case RW_SK:
      // A passage time past L first (the walks that never reach the
      // level), then L down to 1.
      f(0);
      for (int k = L; k >= 1; --k) f(k);
      break;
    case RW_SIGN:
      for (int k = (L - 1) / 2; k >= 0; --k) f(k);
      break;
    case RW_STPUP:
      for (int k = 0; k <= L / 2; ++k) f(k);
      if (!countingPart)
        for (int k = L; k > L / 2; --k) f(k);
      break;
    case RW_SIDE: {
      const int top = (L / 2) & ~1;
      for (int k = top; k >= 0; k -= 2) f(k);
      if (!countingPart)
        for (int k = top + 2; k <= L; k += 2) f(k);
      break;
    }
    case RW_ZERO:
      for (int k = L / 2; k >= 0; --k) f(k);
      break;
    case RW_SMAX:
      for (int k = L; k >= 0; --k) f(k);
      break;
    default:
      break;
  }
}
