#include "battery/RW1D.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "battery/Bits.h"
#include "battery/GridWalk.h"
#include "battery/MergedChiSquare.h"
#include "battery/RunState.h"

namespace {

const char* const LABELS[RW1D::STATISTICS] = {"RW_Sk %d",   "RW_sign %d", "RW_stpup %d",
                                              "RW_side %d", "RW_zero %d", "RW_Smax %d"};

constexpr double LN2 = 0.6931471805599453;

// What r consecutive steps (1 <= r <= 8, read first step on top, starting
// at an even time within the walk) do to the six counts. The effect on the
// zeros, the positive odd times and the sign changes depends on the level S
// the chunk starts from (even, since the chunk starts at an even time); it
// is tabled for S = -10, -8, ..., 10, and any S beyond lies as far from 0
// as the ends of that range do for these counts.
struct Chunk {
  int8_t total;  // S at the end minus S at the start
  int8_t high;   // the highest partial sum over the chunk's steps 1 .. r
  uint8_t first, last;
  // Per start level: zeros | positive odd steps << 3 | sign changes at the
  // chunk's odd steps 3, 5, 7 << 6.
  uint8_t events[11];
};

int LevelIndex(int s) { return (std::min(std::max(s, -10), 10) + 10) >> 1; }

struct ChunkTable {
  Chunk chunks[9][256];
  ChunkTable() {
    for (int r = 1; r <= 8; ++r)
      for (int v = 0; v < (1 << r); ++v) {
        Chunk& c = chunks[r][v];
        int prefix[9] = {0};
        int high = -9;
        for (int j = 1; j <= r; ++j) {
          prefix[j] = prefix[j - 1] + (((v >> (r - j)) & 1) ? 1 : -1);
          high = std::max(high, prefix[j]);
        }
        c.total = static_cast<int8_t>(prefix[r]);
        c.high = static_cast<int8_t>(high);
        c.first = static_cast<uint8_t>((v >> (r - 1)) & 1);
        c.last = static_cast<uint8_t>(v & 1);
        for (int i = 0; i <= 10; ++i) {
          const int start = 2 * (i - 5);
          int zeros = 0, positives = 0, changes = 0;
          for (int j = 1; j <= r; ++j) {
            const int s = start + prefix[j];
            if (s == 0) ++zeros;
            if (j % 2 == 1) {
              if (s > 0) ++positives;
              if (j >= 3 && s * (start + prefix[j - 2]) < 0) ++changes;
            }
          }
          c.events[i] = static_cast<uint8_t>(zeros | positives << 3 | changes << 6);
        }
      }
  }
};

const ChunkTable table;

// The first step j (1 .. r) of a chunk at which its partial sum reaches d (>= 1).
int FirstReach(uint32_t v, int r, int d) {
  int s = 0;
  for (int j = 1; j <= r; ++j) {
    s += ((v >> (r - j)) & 1) ? 1 : -1;
    if (s == d) return j;
  }
  return 0;  // not reached: the caller only asks when the chunk's high reaches d
}

// The six indices of the walk of L steps (L <= 30) given as the value v,
// first step on top, counted step by step, packed 5 bits each in the order
// of the statistics.
uint32_t PackedWalkIndices(uint32_t v, int L, int b) {
  int S = 0, T = 0, high = 0, zeros = 0, positives = 0, changes = 0, previousOdd = 0;
  for (int t = 1; t <= L; ++t) {
    S += ((v >> (L - t)) & 1) ? 1 : -1;
    high = std::max(high, S);
    if (T == 0 && S == b) T = t;
    if (S == 0) ++zeros;
    if (t % 2 == 1) {
      if (S > 0) ++positives;
      if (t >= 3 && S * previousOdd < 0) ++changes;
      previousOdd = S;
    }
  }
  const int index[RW1D::STATISTICS] = {T, changes, (L + S) / 2, 2 * positives, zeros, high};
  uint32_t packed = 0;
  for (int s = 0; s < RW1D::STATISTICS; ++s) packed |= static_cast<uint32_t>(index[s]) << (5 * s);
  return packed;
}

bool TestBit(const std::vector<uint32_t>& set, int L) {
  const size_t word = static_cast<size_t>(L) >> 5;
  return word < set.size() && ((set[word] >> (L & 31)) & 1);
}

}  // namespace

double RW1D::WalkProbability(int m, int k) {
  if (m < 0 || k < 0 || k > m || m > lnFactorialMax) return 0;
  return std::exp(lnFactorial[m] - lnFactorial[k] - lnFactorial[m - k] - m * LN2);
}

int RW1D::Level(int L) { return zarWlkSk >= 0 ? zarWlkSk : L + zarWlkSk; }

double RW1D::CellProbability(int s, int L, int b, int k) {
  const bool even = L % 2 == 0;
  switch (s) {
    case RW_SK:
      // A level of 0 or below is not a first passage.
      if (b <= 0) return 0;
      if (k == 0) {
        // Never reaching b in L steps: by reflection, -b <= S_L <= b - 1
        // (and -L <= S_L <= L).
        double p = 0;
        for (int x = std::max(-b, -L); x <= std::min(b - 1, L); ++x)
          if ((L + x) % 2 == 0) p += WalkProbability(L, (L + x) / 2);
        return p;
      }
      if ((k + b) % 2 != 0) return 0;
      return static_cast<double>(b) / k * WalkProbability(k, (k + b) / 2);
    case RW_SIGN:
      return even ? 2 * WalkProbability(L - 1, L / 2 + k) : 0;
    case RW_STPUP:
      return WalkProbability(L, k);
    case RW_SIDE:
      if (!even || k % 2 != 0) return 0;
      return WalkProbability(k, k / 2) * WalkProbability(L - k, (L - k) / 2);
    case RW_ZERO:
      return even ? WalkProbability(L - k, L / 2) : 0;
    case RW_SMAX:
      return WalkProbability(L, (L + k + 1) / 2);  // (L + k) / 2 when L + k is even
    default:
      return 0;
  }
}

RW1D::RW1D() {
  struct Found {
    int L;
    unsigned statistics;
  };
  std::vector<Found> found;
  bool stopped = false;
  int previous = 0, largest = 0;
  for (int L : Grid(zarWlkLmin, zarWlkLmax, zarWlkLstp)) {
    unsigned statistics = 0;
    // A length below 1 is no walk, and the laws need ln k! up to L.
    if (L >= 1 && L <= lnFactorialMax) {
      const double n = static_cast<double>(seqLen / static_cast<uint32_t>(L));
      const int b = Level(L);
      for (int s = 0; s < STATISTICS; ++s) {
        MergedChiSquareSum classes;
        ForEachCell(s, L, true, [&](int k) { classes.Add(0, n * CellProbability(s, L, b, k)); });
        if (classes.Classes() > 2) statistics |= 1u << s;
      }
    }
    if (statistics == 0) {
      stopped = true;
      break;
    }
    found.push_back({L, statistics});
    previous = L;
    largest = std::max(largest, L);
  }
  if (stopped) zarWlkLmax = previous;

  for (int s = 0; s < STATISTICS; ++s) {
    usableLengths[s].assign(static_cast<size_t>(largest) / 32 + 1, 0);
    histograms[s].assign(static_cast<size_t>(largest) + 2, 0);
  }
  for (const Found& f : found) {
    for (int s = 0; s < STATISTICS; ++s)
      if (f.statistics & (1u << s)) usableLengths[s][static_cast<size_t>(f.L) >> 5] |= 1u << (f.L & 31);
    if (f.L <= SHORT_WALK) {
      walkIndices[f.L].resize(size_t{1} << f.L);
      for (uint32_t v = 0; v < (1u << f.L); ++v) walkIndices[f.L][v] = PackedWalkIndices(v, f.L, Level(f.L));
      valueCounts.resize(size_t{1} << SHORT_WALK);
    }
  }
}

bool RW1D::Usable(int s, int L) const { return L >= 0 && TestBit(usableLengths[s], L); }

void RW1D::RunTest() {
  for (int L : Grid(zarWlkLmin, zarWlkLmax, zarWlkLstp)) {
    bool any = false;
    for (int s = 0; s < STATISTICS; ++s) any = any || Usable(s, L);
    if (!any) continue;

    const uint64_t n = seqLen / static_cast<uint32_t>(L);
    const int b = Level(L);
    const int target = b >= 1 ? b : INT_MAX;  // no passage to watch for
    for (auto& h : histograms) std::fill(h.begin(), h.begin() + L + 2, 0u);
    uint32_t* const passage = histograms[RW_SK].data();
    uint32_t* const signs = histograms[RW_SIGN].data();
    uint32_t* const ups = histograms[RW_STPUP].data();
    uint32_t* const side = histograms[RW_SIDE].data();
    uint32_t* const zeroCount = histograms[RW_ZERO].data();
    uint32_t* const maximum = histograms[RW_SMAX].data();

    const int full = L / 8, tail = L % 8;
    BitStream stream(seqBits, 0);
    if (L <= SHORT_WALK) {
      // Count the walks by value, then each value's indices at once.
      const uint32_t values = 1u << L;
      std::fill(valueCounts.begin(), valueCounts.begin() + values, 0u);
      uint32_t* const counts = valueCounts.data();
      for (uint64_t w = 0; w < n; ++w) ++counts[stream.Next(L)];
      for (uint32_t v = 0; v < values; ++v) {
        if (counts[v] == 0) continue;
        const uint32_t packed = walkIndices[L][v];
        for (int s = 0; s < STATISTICS; ++s) histograms[s][(packed >> (5 * s)) & 31] += counts[v];
      }
    } else {
      // Chunks of 8 steps (the last one shorter when 8 does not divide L).
      const int chunks = (L + 7) / 8;
      for (uint64_t w = 0; w < n; ++w) {
        int S = 0, high = 0, T = 0, zeros = 0, positives = 0, changes = 0;
        unsigned lastStep = 2;  // none before the first chunk
        for (int m = 0; m < chunks; ++m) {
          const int r = m < full ? 8 : tail;
          const uint32_t v = stream.Next(r);
          const Chunk& c = table.chunks[r][v];
          if (T == 0 && S + c.high >= target) T = 8 * m + FirstReach(v, r, target - S);
          high = std::max(high, S + c.high);
          const unsigned e = c.events[LevelIndex(S)];
          zeros += e & 7;
          positives += (e >> 3) & 7;
          changes += e >> 6;
          // A sign change across the chunk boundary: the walk passes
          // through 0 there with two steps in the same direction.
          changes += S == 0 && lastStep == c.first;
          lastStep = c.last;
          S += c.total;
        }
        ++passage[T];
        ++signs[changes];
        ++ups[(L + S) / 2];
        ++side[2 * positives];
        ++zeroCount[zeros];
        ++maximum[high];
      }
    }

    for (int s = 0; s < STATISTICS; ++s) {
      if (!Usable(s, L)) continue;
      MergedChiSquareSum classes(MergeRule::AtLeast, 5.0, Remainder::Drop, 1.0, Divergence::CressieRead);
      const uint32_t* h = histograms[s].data();
      ForEachCell(s, L, false, [&](int k) { classes.Add(h[k], static_cast<double>(n) * CellProbability(s, L, b, k)); });
      AddResult(classes.PValue(), LABELS[s], L);
    }
  }
}
