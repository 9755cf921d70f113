#pragma once
#include <cstdint>
#include <vector>

#include "battery/TESTthd.h"

// Collision test: non-overlapping s-bit words thrown into 2^s cells; the
// number of words that land in an occupied cell is judged against the exact
// occupancy law (or, for many cells and many words, its normal
// approximation). The word counts per word size come from the limits file
// "DAT_collision_limits.txt", by the number of sequences of the run.
class COLLISION : public TESTthd {
 public:
  COLLISION();
  void RunTest() override;

  // Per word size s (index s): the cached law P[j], j = occupancyLow ..
  // occupancyHigh, of the number j of distinct values among the run's n
  // words (held as occupancyCache[s][j - occupancyLow]); empty until built.
  int occupancyLow[32] = {};
  int occupancyHigh[32] = {};
  std::vector<double> occupancyCache[32];
  // The word count each cached law was built for.
  uint32_t occupancyWords[32] = {};
  // From the limits file; a word size that no line names keeps
  // minWords = UINT32_MAX (never tested).
  uint32_t minWords[32];
  uint32_t maxWords[32];

  // The counts of collisions of n consecutive s-bit words from bit 0.
  uint32_t CountCollisions(int s, uint32_t n);

 private:
  std::vector<uint64_t> bitmap_;
  std::vector<uint32_t> values_;
};

// The probability of at most `collisions` collisions of n words in `cells`
// = 2^s cells: the exact law (built once per s and cached in test), or the
// normal approximation for s > 17 with log2 n > Q(s).
double CollisionPValue(COLLISION& test, int s, uint32_t cells, uint32_t n, uint32_t collisions);

// Mean and variance of the collision count of n words in c cells, in
// log1p/expm1 forms that keep full precision for c up to 2^31.
void CollisionMoments(double c, double n, double& mean, double& variance);

// Whether CollisionPValue takes the normal approximation for (s, n).
bool CollisionUsesNormal(int s, uint32_t n);
