#include "battery/RW2D.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "battery/Bits.h"
#include "battery/DatFile.h"
#include "battery/Distributions.h"
#include "battery/GridWalk.h"
#include "battery/MergedChiSquare.h"
#include "battery/Messages.h"
#include "battery/RunState.h"

namespace {

// End point of `steps` steps (1 <= steps <= 16) held in the low 2 * steps
// bits of v, each b1 b2 with b1 the higher: b1 = 0 moves x (b2 = 1 up),
// b1 = 1 moves y (b2 = 0 up). The order of the steps does not matter.
QV_POPCNT_CLONES void AddSteps(uint32_t v, int steps, int& x, int& y) {
  const uint32_t mask = 0x55555555u >> (32 - 2 * steps);
  const uint32_t hi = (v >> 1) & mask, lo = v & mask;
  const int vertical = Popcount32(hi);
  x += 2 * Popcount32(lo & ~hi) - (steps - vertical);
  y += 2 * Popcount32(hi & ~lo) - vertical;
}

// The highest level the sequence length allows (0: no cap below 1000 bits).
int LengthCap(uint32_t n) {
  if (n >= 500000) return 6;
  if (n >= 60000) return 5;
  if (n >= 16000) return 4;
  if (n >= 4000) return 3;
  if (n >= 1000) return 2;
  return 0;
}

uint64_t Binomial(int n, int k) {
  uint64_t r = 1;
  for (int j = 0; j < k; ++j) r = r * static_cast<uint64_t>(n - j) / static_cast<uint64_t>(j + 1);
  return r;
}

}  // namespace

double WalkEndProbability2D(int n, int x, int y) {
  const int a = std::abs(x), b = std::abs(y);
  if (n < 0 || (n + a + b) % 2 != 0 || a + b > n) return 0;
  // a + 2i horizontal steps (i of them back), v = n - a - 2i vertical ones
  // of which w go down: n! / (i! (a + i)! w! (v - w)!) walks out of 4^n.
  if (n <= 26) {
    // Counted exactly in integers (at most 4^26 < 2^53), so the probability
    // and the expected counts built from it carry no rounding: a class
    // whose expected count is exactly 5 closes.
    uint64_t walks = 0;
    for (int i = 0; i <= (n - a - b) / 2; ++i) {
      const int v = n - a - 2 * i, w = (n - a - b - 2 * i) / 2;
      walks += Binomial(n, i) * Binomial(n - i, a + i) * Binomial(v, w);
    }
    return std::ldexp(static_cast<double>(walks), -2 * n);
  }
  const double base = LnFactorial(n) - n * std::log(4.0);
  double sum = 0;
  for (int i = 0; i <= (n - a - b) / 2; ++i) {
    const int v = n - a - 2 * i, w = (n - a - b - 2 * i) / 2;
    sum += std::exp(base - LnFactorial(i) - LnFactorial(a + i) - LnFactorial(w) - LnFactorial(v - w));
  }
  return sum;
}

RW2D::RW2D() {
  // The first even L whose extreme end point (L, 0) is expected at most 5
  // times among the (n / 2) / L walks, or 2. For 32-bit n it stays below 16,
  // so a walk's 2 L bits fit one 32-bit read.
  const uint32_t half = seqLen / 2;
  auto edgeExpected = [half](int l) { return WalkEndProbability2D(l, l, 0) * (half / static_cast<uint32_t>(l)); };
  int L = 2;
  if (edgeExpected(2) > 5) {
    do {
      L += 2;
    } while (L < 16 && edgeExpected(L) > 5);
  }
  fixedLength = L;
  // Classes over the points of the parity of L, x ascending and y within x.
  const int side = 2 * L + 1;
  const double walks = half / static_cast<uint32_t>(L);
  std::vector<double> expected(side * side, 0.0);
  std::vector<int> order;
  for (int x = -L; x <= L; ++x)
    for (int y = -L + (std::abs(x) & 1); y <= L; y += 2) {
      const int cell = (x + L) * side + (y + L);
      expected[cell] = walks * WalkEndProbability2D(L, x, y);
      order.push_back(cell);
    }
  fixedClasses_.Build(expected, order);
  fixedCounts_.assign(fixedClasses_.Classes() + 1, 0);

  if (!LoadZarWlkTables()) {
    status = TEST_DISABLED;
    ShowMessageBox(
        "The file 'DAT_ZarWlk.bin' cannot be read, has changed since it was checked or lacks a level asked "
        "for.\nThe test will be disabled.",
        "Quorvane - RW2D test ERROR", wxOK | wxICON_EXCLAMATION);
    return;
  }
  for (int c : levels) BuildLevel(c);
}

RW2D::~RW2D() { FreeZarWlkTables(); }

void RW2D::FreeZarWlkTables() {
  for (ZarWlkTable& t : tables) t = ZarWlkTable();
  for (LevelClasses& lc : level_) lc = LevelClasses();
}

// Lowers rw2dLmax by the sequence length, then reads the tables of the
// levels to run. False when the file cannot be read, has changed since the
// engine checked it, or lacks a level (the records come in ascending order
// of level, so a record above the wanted level means it is missing).
bool RW2D::LoadZarWlkTables() {
  levels.clear();
  // Levels run from 1 to 6: level 0 reads no bit and would never end.
  if (rw2dLstp == 0 || rw2dLmin < 1 || rw2dLmin > MAX_LEVEL) return true;
  rw2dLmax = std::min(rw2dLmax, MAX_LEVEL);
  int last = -1;
  for (int f : Grid(rw2dLmin, rw2dLmax, rw2dLstp)) {
    if (uint64_t{seqLen} < (uint64_t{1} << (2 * f)) - 1 + 2 * f) break;
    last = f;
  }
  rw2dLmax = last >= 0 ? last : rw2dLmin;
  const int cap = LengthCap(seqLen);
  if (cap > 0 && rw2dLmin <= cap) {
    for (int f : Grid(rw2dLmin, std::min(rw2dLmax, cap), rw2dLstp)) last = f;
    rw2dLmax = last;
  }
  for (int f : Grid(rw2dLmin, rw2dLmax, rw2dLstp)) levels.push_back(f);

  std::vector<unsigned char> payload;
  if (!ReadDatFile("DAT_ZarWlk.bin", payload)) return false;
  DatReader in(payload);
  std::vector<double> skipped;
  for (size_t w = 0; w < levels.size();) {
    const int wanted = levels[w];
    const int level = in.U8();
    const int32_t h = in.I32();
    if (!in.Ok() || level > wanted || h < 0) return false;
    const bool keep = level == wanted;
    // |x| and |y| of a walk of level c stay below 4^c.
    const int64_t bound = int64_t{1} << (2 * std::min(level, MAX_LEVEL + 1));
    if (h >= bound) return false;
    ZarWlkTable t;
    if (keep) {
      t.h = h;
      t.rowLength.assign(h + 1, 0);
      t.rows.assign(h + 1, {});
    }
    for (int r = 0; r <= h; ++r) {
      const int32_t m = in.I32();
      if (!in.Ok() || m < 0 || m > bound) return false;
      if (m == 0) break;  // the rows after it are empty
      std::vector<double>& row = keep ? t.rows[r] : skipped;
      row.resize(m);
      if (!in.Doubles(row.data(), m)) return false;
      for (double p : row)
        if (!(p >= 0 && p <= 1)) return false;
      if (keep) t.rowLength[r] = m;
    }
    if (keep) {
      tables[level] = std::move(t);
      ++w;
    }
  }
  return true;
}

void RW2D::BuildLevel(int c) {
  const ZarWlkTable& t = tables[c];
  LevelClasses& lc = level_[c];
  lc.rowOffset.assign(2 * t.h + 1, 0);
  lc.cumulative.assign(1, 0.0);
  for (int x = -t.h; x <= t.h; ++x) {
    const int m = t.rowLength[std::abs(x)];
    lc.rowOffset[x + t.h] = static_cast<int>(lc.cumulative.size()) - 1;
    double sum = lc.cumulative.back();
    for (int y = -(m - 1); y <= m - 1; ++y) {
      sum += t.rows[std::abs(x)][std::abs(y)];
      lc.cumulative.push_back(sum);
    }
  }
  lc.count.assign(lc.cumulative.size() - 1, 0);
  lc.touched.clear();
}

void RW2D::RunTest() {
  FixedWalk2D();
  ZarWalk2D();
}

namespace {

// Counts the walks of L steps (L <= 16) from bit 0 into classes by cell
// (L + x) (2 L + 1) + (L + y).
QV_POPCNT_CLONES void CountFixedWalks(uint64_t walks, int L, const int* classOf, uint32_t* counts) {
  BitStream stream(seqBits, 0);
  const int side = 2 * L + 1;
  for (uint64_t w = 0; w < walks; ++w) {
    int x = 0, y = 0;
    AddSteps(stream.Next(2 * L), L, x, y);
    ++counts[classOf[(x + L) * side + (y + L)]];
  }
}

}  // namespace

void RW2D::FixedWalk2D() {
  const int L = fixedLength;
  std::fill(fixedCounts_.begin(), fixedCounts_.end(), 0u);
  CountFixedWalks((seqLen / 2) / static_cast<uint32_t>(L), L, fixedClasses_.ClassTable().data(),
                  fixedCounts_.data());
  // Fewer than two classes (too few walks) give PVALUE_SHORT.
  AddResult(fixedClasses_.PValueOf(fixedCounts_.data(), Divergence::CressieRead), "RW2D_fix %d", L);
}

void RW2D::ZarWalk2D() {
  const uint64_t n = seqLen;
  for (int c : levels) {
    const ZarWlkTable& t = tables[c];
    LevelClasses& lc = level_[c];
    BitStream stream(seqBits, 0);
    uint64_t pos = 0, walks = 0;
    for (;;) {
      const uint32_t length = stream.Next(2 * c);
      pos += 2 * c;
      if (pos + 2 * uint64_t{length} >= n) break;
      int x = 0, y = 0;
      uint32_t left = length;
      for (; left >= 16; left -= 16) AddSteps(stream.Next(32), 16, x, y);
      if (left > 0) AddSteps(stream.Next(2 * left), static_cast<int>(left), x, y);
      pos += 2 * uint64_t{length};
      ++walks;
      // Points outside the table belong to no class.
      const int ax = std::abs(x), ay = std::abs(y);
      if (ax <= t.h && ay < t.rowLength[ax]) {
        const uint32_t point = lc.rowOffset[x + t.h] + y + t.rowLength[ax] - 1;
        if (lc.count[point]++ == 0) lc.touched.push_back(point);
      }
      if (pos + 2 * c >= n) break;
    }
    AddResult(LevelPValue(c, walks), "RW2D_zar %d", c);
  }
}

// The statistic of one level over the points in visiting order, the open
// remainder dropped. The first point at which a class closes is found by
// bisection of the cumulative probabilities, so only the occupied points
// are visited, and their counters are set back to 0.
double RW2D::LevelPValue(int c, uint64_t walks) {
  LevelClasses& lc = level_[c];
  std::sort(lc.touched.begin(), lc.touched.end());
  const double W = static_cast<double>(walks);
  const size_t points = lc.count.size();
  const double* cum = lc.cumulative.data();
  MergedChiSquareSum merge(MergeRule::AtLeast, 5.0, Remainder::Drop, 1.0, Divergence::CressieRead);
  size_t start = 0, next = 0;
  while (start < points) {
    // The first j >= start at which the class from start closes.
    size_t lo = start, hi = points;
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      if (merge.Closes(W * (cum[mid + 1] - cum[start])))
        hi = mid;
      else
        lo = mid + 1;
    }
    if (lo == points) break;
    double o = 0;
    for (; next < lc.touched.size() && lc.touched[next] <= lo; ++next) o += lc.count[lc.touched[next]];
    // Points start .. lo as one cell: it closes its class.
    merge.Add(o, W * (cum[lo + 1] - cum[start]));
    start = lo + 1;
  }
  for (uint32_t point : lc.touched) lc.count[point] = 0;
  lc.touched.clear();
  return merge.PValue();
}
