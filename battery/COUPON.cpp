#include "battery/COUPON.h"

#include <algorithm>
#include <vector>

#include "battery/Bits.h"
#include "battery/DatFile.h"
#include "battery/MergedChiSquare.h"
#include "battery/GridWalk.h"
#include "battery/Distributions.h"
#include "battery/Messages.h"
#include "battery/RunState.h"

namespace {

// The least mean number of complete collections for which a word size is
// judged. With fewer the chi-square law of the statistic is too rough: at
// 30 the p-values of 10^4 sequences are plainly not uniform (KS distance
// about 0.04), at 80 it stays at most 0.013 for every word size
// (tools/reference/coupon_small_samples.py).
constexpr float kMinCollections = 80.0f;

// Whether a sequence of length bits holds enough mean collections of t's
// word size to be judged; the walk ends at the first word size that does not.
bool Judged(const COUPON::Table& t, uint32_t length) {
  return static_cast<float>(length / static_cast<uint32_t>(t.s)) / t.mean >= kMinCollections;
}

// Reads one record head; false at the end mark, at the end of the payload
// or on a head that cannot be a record.
bool ReadHead(DatReader& in, COUPON::Table& t, bool& broken) {
  const unsigned char s = in.Left() > 0 ? in.U8() : 0;
  if (s == 0) return false;
  const int32_t lo = in.I32();
  const float mean = in.F32();
  const int32_t hi = in.I32();
  if (!in.Ok() || s > 31 || lo < (int64_t(1) << s) || hi < lo || !(mean > 0) || !(static_cast<double>(lo) < mean)) {
    broken = true;
    return false;
  }
  t.s = s;
  t.lo = lo;
  t.mean = mean;
  t.hi = hi;
  return true;
}

}  // namespace

COUPON::COUPON() {
  std::vector<unsigned char> payload;
  bool broken = !ReadDatFile("DAT_coupon.bin", payload);
  DatReader in(payload);
  // s-bit words are read as 32-bit values: no word size above 31.
  if (!broken && couponSmin >= 1) {
    Table t;
    bool more = ReadHead(in, t, broken);
    for (int s : Grid(couponSmin, std::min(couponSmax, 31), couponSstp)) {
      // Records ascend in s: pass over the others to the one of s.
      while (more && t.s < s) more = in.Skip(8 * static_cast<size_t>(t.hi - t.lo + 1)) && ReadHead(in, t, broken);
      if (!more || t.s != s) break;
      // The payload's length bounds the room made for a record's
      // probabilities: a corrupt hi would otherwise ask for up to 16 GB
      // before the read fails.
      const uint64_t count = static_cast<uint64_t>(t.hi - t.lo + 1);
      if (in.Left() / 8 < count) {
        broken = true;
        break;
      }
      t.p.resize(static_cast<size_t>(count));
      if (!in.Doubles(t.p.data(), t.p.size()) ||
          !std::all_of(t.p.begin(), t.p.end(), [](double p) { return p >= 0 && p <= 1; })) {
        broken = true;
        break;
      }
      tables.push_back(t);
      more = ReadHead(in, t, broken);
    }
  }
  if (broken) {
    tables.clear();
    ShowMessageBox("File 'DAT_coupon.bin' cannot be read.\nThe test will be disabled.",
                   "Quorvane - COUPON test ERROR", wxOK | wxICON_EXCLAMATION);
    status = TEST_DISABLED;
    return;
  }
  // Room for the tables that a sequence of any length can judge: as lo lies
  // below the mean (a record with lo at or above it is refused), their
  // lengths are bounded.
  size_t cells = 0, lengths = 0;
  for (const Table& t : tables) {
    if (!Judged(t, UINT32_MAX)) break;
    cells = std::max(cells, size_t(1) << t.s);
    lengths = std::max(lengths, static_cast<size_t>(t.hi - (1 << t.s) + 1));
  }
  seen_.assign(cells, 0);
  counts_.assign(lengths, 0);
}

void COUPON::RunTest() {
  for (const Table& t : tables) {
    const int s = t.s;
    // Fewer than 80 mean collections: none for this or any larger s.
    if (!Judged(t, seqLen)) break;
    const uint32_t cells = 1u << s;
    // A word counts when it ends before bit seqLen - s.
    const uint64_t limit = seqLen - s;
    uint64_t position = 0;
    uint32_t samples = 0, distinct = 0, length = 0;
    if (++collection_ == 0) {
      std::fill(seen_.begin(), seen_.end(), 0);
      collection_ = 1;
    }
    BitStream stream(seqBits, 0);
    for (;;) {
      ++length;
      const uint32_t v = stream.Next(s);
      position += s;
      if (position >= limit) break;
      // Without a branch on whether v is new: the outcome is a coin toss
      // in the middle of a collection.
      distinct += seen_[v] != collection_;
      seen_[v] = collection_;
      if (distinct == cells) {
        ++counts_[std::min<uint32_t>(length, t.hi) - cells];
        ++samples;
        distinct = 0;
        length = 0;
        if (++collection_ == 0) {
          std::fill(seen_.begin(), seen_.end(), 0);
          collection_ = 1;
        }
      }
    }
    // Classes in ascending length, each closed once its expected count
    // reaches 5; lengths below lo add to the first class with lo's entry.
    // The lengths after the last closed class join that class, so that the
    // classes hold every collection and the statistic has classes - 1
    // degrees of freedom.
    MergedChiSquareSum classes(MergeRule::AtLeast, 5.0, Remainder::JoinLast, 1.0, Divergence::CressieRead);
    const uint32_t span = static_cast<uint32_t>(t.hi) - cells + 1;
    for (uint32_t i = 0; i < span; ++i) {
      const int len = static_cast<int>(cells + i);
      classes.Add(counts_[i], len >= t.lo ? samples * t.p[len - t.lo] : 0.0);
      counts_[i] = 0;
    }
    // No complete collection where 80 or more were expected is a certain
    // failure; otherwise fewer than two classes leave no statistic.
    const double p = samples == 0 ? PVALUE_FAIL : classes.PValue();
    AddResult(p, "Coupon %d", s);
  }
}
