#include "battery/RUNS.h"

#include <algorithm>

#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "battery/GridWalk.h"
#include "battery/Messages.h"
#include "battery/RandomisedPValue.h"
#include "battery/RunState.h"

namespace {

// No t above 20 is ever usable: P_s(t) <= 1 / t! and fewer than 2^32
// runs leave an expected count below 5. So 32 bounds the lengths counted.
constexpr int MOST_LENGTH_CAP = 32;

// Tells this test's draws from the sequence's bits from other tests'.
constexpr uint64_t RUNS_SALT = 0x52554E5300000000ull;

bool SizeInRange(int s) { return s >= 1 && s <= 32; }

// The discarding run scan over one direction, fed 64 words at a time as a
// mask whose bit j is set when word j continues the order of word j - 1.
// A run ends at the first word that does not continue it; that word is
// dropped and the next one starts a run. Counts each ended run's length
// (saturated at cap) into cells; a run still open when the words end is
// never counted.
class RunScan {
 public:
  RunScan(uint64_t* cells, int cap) : cells_(cells), cap_(cap) {}

  // Bits 0 .. count - 1 of `continues` (1 <= count <= 64) are the next
  // words.
  void Block(uint64_t continues, int count) {
    int j = 0;
    if (len_ == 0) {  // word 0 starts a run
      len_ = 1;
      j = 1;
    }
    while (j < count) {
      // Words j, j + 1, ... continue the run up to the first clear bit.
      const uint64_t stops = ~continues >> j;
      const int z = stops != 0 ? __builtin_ctzll(stops) : 64;
      if (j + z >= count) {
        len_ = std::min(len_ + (count - j), cap_);
        return;
      }
      ++cells_[std::min(len_ + z, cap_)];
      j += z + 1;  // past the dropped word, to the next run's first word
      if (j >= count) {
        len_ = 0;
        return;
      }
      len_ = 1;
      ++j;
    }
  }

 private:
  uint64_t* cells_;
  int cap_;
  int len_ = 0;  // the open run's length; 0 when the next word starts one
};

// The usable t of word size s for n bits, in grid order: a prefix of the t
// grid, ending at the first t that fails.
template <class F>
void ForEachUsableT(const RUNS& runs, uint32_t n, int s, F&& f) {
  for (int t : Grid(runsLmin, runsLmax, runsLstp)) {
    if (!runs.Usable(n, s, t)) break;
    f(t);
  }
}

}  // namespace

RUNS::RUNS() {
  // Above every grid value up to runsLmax, or above every usable t.
  lengthCap = std::clamp(runsLmax, 1, MOST_LENGTH_CAP - 1) + 1;
  lengthCounts.assign(2 * (lengthCap + 1), 0);
  for (int s : Grid(runsSmin, runsSmax, runsSstp)) {
    if (!SizeInRange(s)) continue;
    // P_s(i) = C(N, i) / N^i = prod over j < i of (N - j) / N, over i!;
    // zero from i = N + 1 on.
    const double values = s == 32 ? 4294967296.0 : static_cast<double>(uint64_t(1) << s);
    std::vector<double>& row = ascendingProb[s];
    row.assign(lengthCap + 1, 0.0);
    row[0] = 1;
    for (int i = 1; i <= lengthCap; ++i) row[i] = std::max(0.0, row[i - 1] * (values - (i - 1)) / values / i);
  }
  bool usable = false;
  if (runsLmin <= runsLmax)
    for (int s : Grid(runsSmin, runsSmax, runsSstp))
      if (Usable(seqLen, s, runsLmin)) {
        usable = true;
        break;
      }
  if (!usable) {
    status = TEST_DISABLED;
    ShowMessageBox("Sequence too short for the selected parameters.\nThe test will be disabled.",
                   "Quorvane - RUNS test ERROR", wxOK | wxICON_WARNING);
  }
}

bool RUNS::Usable(uint32_t n, int s, int t) const {
  if (!SizeInRange(s) || t < 2 || t >= lengthCap) return false;
  if (s < 32 && static_cast<uint64_t>(t) > (uint64_t(1) << s)) return false;
  const std::vector<double>& row = ascendingProb[s];
  if (row.empty()) return false;
  const double h = static_cast<double>(n / static_cast<uint32_t>(s)) * 0.27;
  return row[t] * h >= 5 && (t != 2 || row[2] * h >= 80);
}

void RUNS::RunTest() {
  const uint64_t n = seqLen;
  const int cap = lengthCap;
  uint64_t hash = 0;
  bool hashed = false;
  for (int s : Grid(runsSmin, runsSmax, runsSstp)) {
    int most = 0;
    ForEachUsableT(*this, seqLen, s, [&](int t) { most = t; });
    if (most == 0) continue;

    // Words 0 .. m-1, every one whole: a run may grow only by a word that
    // starts before bit n - s, and a run still open at the end is dropped.
    const uint64_t m = (n + s - 1) / s - 1;
    uint64_t* up = lengthCounts.data();
    uint64_t* dn = up + cap + 1;
    std::fill(lengthCounts.begin(), lengthCounts.end(), 0);
    RunScan ascending(up, cap), descending(dn, cap);
    BitStream stream(seqBits, 0);
    uint32_t block[65];  // the previous block's last word, then this block's
    block[0] = 0;
    for (uint64_t first = 0; first < m; first += 64) {
      const int count = static_cast<int>(std::min<uint64_t>(64, m - first));
      for (int j = 1; j <= count; ++j) block[j] = stream.Next(s);
      uint64_t greater = 0, smaller = 0;
      for (int j = 0; j < count; ++j) {
        greater |= static_cast<uint64_t>(block[j + 1] > block[j]) << j;
        smaller |= static_cast<uint64_t>(block[j + 1] < block[j]) << j;
      }
      ascending.Block(greater, count);
      descending.Block(smaller, count);
      block[0] = block[count];
    }

    const std::vector<double>& prob = ascendingProb[s];
    auto pvalue = [&](const uint64_t* cells, int t, int direction) {
      uint64_t runs = 0;
      for (int k = 1; k <= cap; ++k) runs += cells[k];
      if (runs == 0) return PVALUE_FAIL;  // one run over the whole sequence: no length to judge
      if (t == 2) {
        // Two classes: the chi-square is the binomial count of runs of
        // length 1 measured by its distance from the mean, whose p-value
        // has a lattice (and, where the mean is whole, an atom at 1) that
        // thousands of sequences see. Its exact binomial law, randomised
        // within the observed count's atom by the sequence's own bits.
        if (!hashed) {
          hash = SequenceHash(seqBits, seqLen);
          hashed = true;
        }
        const double u = HashUniform(hash, RUNS_SALT + 2 * static_cast<uint64_t>(s) + direction);
        return BinomialTwoSidedRandomisedP(runs, 1 - prob[2], cells[1], u);
      }
      const double r = static_cast<double>(runs);
      double x = 0;
      uint64_t longer = runs;  // runs of length t or more
      for (int k = 1; k < t; ++k) {
        const double e = r * (prob[k] - prob[k + 1]);
        const double d = static_cast<double>(cells[k]) - e;
        x += d * d / e;
        longer -= cells[k];
      }
      const double e = r * prob[t];
      const double d = static_cast<double>(longer) - e;
      x += d * d / e;
      return IncompleteGammaQ((t - 1) / 2.0, x / 2);
    };
    ForEachUsableT(*this, seqLen, s, [&](int t) {
      AddResult(pvalue(up, t, 0), "Runs up %d_%d", s, t);
      AddResult(pvalue(dn, t, 1), "Runs dn %d_%d", s, t);
    });
  }
}
