#pragma once
#include <cstdint>
#include <vector>

#include "battery/MergedChiSquare.h"
#include "battery/TESTthd.h"

// One level's end-point table of the random-length walks: rows[r][k] is the
// probability that a walk ends at a given point (x, y) with |x| = r and
// |y| = k; row r holds k = 0 .. rowLength[r] - 1, rows r = 0 .. h.
struct ZarWlkTable {
  int h = -1;  // -1: not loaded
  std::vector<int> rowLength;
  std::vector<std::vector<double>> rows;
};

// The probability that a walk of n steps on the square lattice ends at
// (x, y); needs ln k! up to n in lnFactorial (the engine makes it hold 1000).
double WalkEndProbability2D(int n, int x, int y);

// 2-D random walk: walks of one fixed length L (the first even length whose
// extreme end point is expected at most 5 times), and walks whose length is
// read from the sequence as c base-4 digits (levels c), compared with the
// exact end-point laws over merged classes by the Cressie-Read power
// divergence (lambda = 1/2), referred to its moment law
// (MergedChiSquare.h). A step is two bits b1 b2: 0 x - 1, 1 x + 1, 2 y + 1,
// 3 y - 1.
class RW2D : public TESTthd {
 public:
  RW2D();
  ~RW2D() override;
  void RunTest() override;

  static constexpr int MAX_LEVEL = 6;

  int fixedLength = 0;
  // The level tables of the levels in use (index 0..6).
  ZarWlkTable tables[MAX_LEVEL + 1];
  // The levels the random-length part runs, in grid order.
  std::vector<int> levels;

 private:
  // The points of a level's table in visiting order (x from -h to h, y
  // within the row), with their cumulative probabilities, built once per
  // run: cumulative[j] = sum of the probabilities of points 0 .. j - 1.
  struct LevelClasses {
    std::vector<int> rowOffset;  // visiting index of (x, -(m - 1)), by x + h
    std::vector<double> cumulative;
    std::vector<uint32_t> count;   // walks per point, 0 between sequences
    std::vector<uint32_t> touched; // points whose count is not 0
  };

  bool LoadZarWlkTables();
  void FreeZarWlkTables();
  void BuildLevel(int c);
  void FixedWalk2D();
  void ZarWalk2D();
  double LevelPValue(int c, uint64_t walks);

  MergedChiSquare fixedClasses_;
  std::vector<uint32_t> fixedCounts_;
  LevelClasses level_[MAX_LEVEL + 1];
};
