#pragma once
#include <cstdint>
#include <vector>

#include "battery/TESTthd.h"

// Acceptance sampling: s-bit words are read until m different values have
// appeared; they are the defective items of a batch of K = 2^s items,
// which a sequential plan inspects in the order 0, 1, 2, ... until it
// accepts or rejects the batch with e defects found. A chi-square compares
// the counts of e over all batches with their exact law.
class AQL : public TESTthd {
 public:
  // Word sizes above this are skipped: the seen flags take 4 * 2^s bytes
  // (64 MiB at 24) and every batch reads some 0.02 * 2^s words.
  static constexpr int MAX_S = 24;

  // One (s, m) of the grid that passes the gate for the run's seqLen.
  struct Point {
    int s = 0;
    int m = 0;
    std::vector<double> law;  // P(e) for e = 0 .. law.size() - 1
    double lawAtM = 0;        // P(e = m) when m lies past law
    double Law(int e) const {
      return e < static_cast<int>(law.size()) ? law[e] : (e == m ? lawAtM : 0.0);
    }
  };

  // Walks the grid, computes each (s, m)'s law and keeps the points that
  // pass the gate, with the scratch they need.
  AQL();
  void RunTest() override;

  // The pair (a, r) in force after t >= 1 inspected items: accept when
  // e <= a, reject when e >= r.
  static void Plan(uint64_t t, int& a, int& r);

  // The exact law of e for K items of which m are defective; m <= r(K).
  // Entries past the last one that can be reached before the undecided
  // mass falls below 1e-7 are zero, except P(e = m).
  static Point StoppingLaw(int s, int m);

  // The number of chi-square cells that N batches would fill.
  static int ExpectedCells(const Point& point, uint64_t N);

  std::vector<Point> points;

 private:
  std::vector<uint32_t> seen_;    // value -> stamp of the last batch holding it
  uint32_t stamp_ = 0;
  std::vector<uint32_t> counts_;  // batches by e
};
