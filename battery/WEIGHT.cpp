#include "battery/WEIGHT.h"

#include <algorithm>
#include <cmath>

#include "battery/Bits.h"
#include "battery/GridWalk.h"
#include "battery/RunState.h"

namespace {

// Packed counts: the count of threshold i (0-based) in a group sits in
// bits 6 i .. 6 i + 5 of one 64-bit sum (a count is at most 40 < 64), so
// up to ten thresholds are counted with one addition per word.
constexpr int FIELD = 6;
constexpr int PACKED_MAX = 64 / FIELD;

// The packed sum of a word at level l: one in the fields of thresholds
// 1 .. l.
uint64_t Reach(uint64_t level) {
  uint64_t r = 0;
  for (uint64_t i = 0; i < level; ++i) r |= uint64_t(1) << (FIELD * i);
  return r;
}

// The number of ones among the 40 bits from t.
QV_POPCNT_CLONES
int GroupOnes(const uint32_t* words, uint64_t t) {
  auto low20 = [words](uint64_t u) {
    const uint64_t i = u >> 5;
    const uint64_t pair = words[i] | (static_cast<uint64_t>(words[i + 1]) << 32);
    return static_cast<uint32_t>(pair >> (u & 31)) & 0xFFFFFu;
  };
  return Popcount32(low20(t)) + Popcount32(low20(t + 20));
}

}  // namespace

void WEIGHT::Plan() {
  plan_.clear();
  planLen_ = seqLen;
  planParams_[0] = weightSmin;
  planParams_[1] = weightSmax;
  planParams_[2] = weightSstp;
  planParams_[3] = weightProb;
  planned_ = true;

  // Classes 0 .. 20, then 40 down to 21: the two tails close towards the
  // middle; what is still open after class 21 is dropped.
  std::vector<int> order;
  for (int k = 0; k <= GROUP / 2; ++k) order.push_back(k);
  for (int k = GROUP; k > GROUP / 2; --k) order.push_back(k);

  std::vector<double> expected(GROUP + 1);
  for (int s : Grid(weightSmin, weightSmax, weightSstp)) {
    if (s < 1 || s > 32) break;
    WordSize w;
    w.s = s;
    w.groups = seqLen / static_cast<uint64_t>(s) / GROUP;
    const uint64_t range = uint64_t(1) << s;
    uint64_t g = weightProb < 1 ? 1 : static_cast<uint64_t>(weightProb);
    uint64_t step = range / (g + 1);
    if (step == 0) {
      // More thresholds than word values: one threshold in the middle.
      g = 1;
      step = range / 2;
    }
    w.step = static_cast<uint32_t>(step);
    for (uint64_t i = 1; i <= g; ++i) {
      Threshold t;
      t.value = static_cast<uint32_t>(i * step);
      const double p = 1.0 - static_cast<double>(t.value) / static_cast<double>(range);
      t.percent = 100.0 * p;
      const double lp = std::log(p), lq = std::log(1.0 - p);
      // Binomial(40, p) counts of the groups; lnFactorial holds k <= 40,
      // which the engine provides before the run.
      for (int k = 0; k <= GROUP; ++k)
        expected[k] = static_cast<double>(w.groups) *
                      std::exp(lnFactorial[GROUP] - lnFactorial[k] - lnFactorial[GROUP - k] + k * lp + (GROUP - k) * lq);
      t.chi2.Build(expected, order);
      w.thresholds.push_back(std::move(t));
    }
    if (s <= 16) {
      w.levelOf.resize(range);
      for (uint64_t v = 0; v < range; ++v) w.levelOf[v] = static_cast<uint16_t>(std::min<uint64_t>(g, v / step));
    }
    if (s > 1 && 8 % s == 0 && g <= PACKED_MAX) {
      // Groups of 40 words of 2, 4 or 8 bits are 5 s whole bytes: the
      // packed sum of the 8 / s words of each stored byte value.
      w.byteSum.resize(256);
      for (uint32_t b = 0; b < 256; ++b) {
        uint64_t sum = 0;
        for (int j = 0; j < 8 / s; ++j) {
          uint32_t v = 0;  // bits j s .. j s + s - 1 of the byte, the first on top
          for (int r = 0; r < s; ++r) v = (v << 1) | ((b >> (j * s + r)) & 1);
          sum += Reach(w.levelOf[v]);
        }
        w.byteSum[b] = sum;
      }
    }
    if (levels_.size() < g + 1) levels_.resize(g + 1);
    plan_.push_back(std::move(w));
  }
}

// The histograms of one word size. A word's level is the number of
// thresholds it reaches (thresholds are step, 2 step, ...: the level is
// min(g, v / step)); a group's count for threshold i is the number of its
// words whose level is i or more.
void WEIGHT::CountWordSize(const WordSize& w) {
  const int g = static_cast<int>(w.thresholds.size());
  histogram_.assign(static_cast<size_t>(g) * (GROUP + 1), 0);
  const int s = w.s;
  if (s == 1) {
    // One-bit words have the one threshold 1: a group's count is its ones.
    for (uint64_t group = 0; group < w.groups; ++group) ++histogram_[GroupOnes(seqBits, group * GROUP)];
    return;
  }
  if (!w.byteSum.empty()) {
    const uint64_t* byteSum = w.byteSum.data();
    const int bytes = GROUP * s / 8;
    for (uint64_t group = 0, k = 0; group < w.groups; ++group) {
      uint64_t sum = 0;
      for (int j = 0; j < bytes; ++j, ++k) sum += byteSum[ReadByte(seqBits, k)];
      for (int i = 0; i < g; ++i) ++histogram_[static_cast<size_t>(i) * (GROUP + 1) + ((sum >> (FIELD * i)) & 63)];
    }
    return;
  }
  BitStream stream(seqBits, 0);
  const uint16_t* levelOf = w.levelOf.data();
  const uint32_t step = w.step;
  const uint32_t top = static_cast<uint32_t>(g);
  auto forEachGroup = [&](auto&& level) {
    if (g <= PACKED_MAX) {
      // A word at level l adds one to the counts of thresholds 1 .. l.
      uint64_t reach[PACKED_MAX + 1];
      for (int l = 0; l <= g; ++l) reach[l] = Reach(l);
      for (uint64_t group = 0; group < w.groups; ++group) {
        uint64_t sum = 0;
        for (int k = 0; k < GROUP; ++k) sum += reach[level(stream.Next(s))];
        for (int i = 0; i < g; ++i) ++histogram_[static_cast<size_t>(i) * (GROUP + 1) + ((sum >> (FIELD * i)) & 63)];
      }
    } else {
      uint32_t* perLevel = levels_.data();
      for (uint64_t group = 0; group < w.groups; ++group) {
        std::fill(perLevel, perLevel + g + 1, 0u);
        for (int k = 0; k < GROUP; ++k) ++perLevel[level(stream.Next(s))];
        uint32_t reaching = 0;
        for (int i = g; i >= 1; --i) {
          reaching += perLevel[i];
          ++histogram_[static_cast<size_t>(i - 1) * (GROUP + 1) + reaching];
        }
      }
    }
  };
  if (s <= 16)
    forEachGroup([levelOf](uint32_t v) { return levelOf[v]; });
  else
    forEachGroup([step, top](uint32_t v) { return std::min(top, v / step); });
}

void WEIGHT::RunTest() {
  if (!planned_ || planLen_ != seqLen || planParams_[0] != weightSmin || planParams_[1] != weightSmax ||
      planParams_[2] != weightSstp || planParams_[3] != weightProb)
    Plan();
  for (const WordSize& w : plan_) {
    if (w.groups == 0) continue;
    CountWordSize(w);
    for (size_t i = 0; i < w.thresholds.size(); ++i) {
      const Threshold& t = w.thresholds[i];
      if (t.chi2.Classes() < 3) continue;
      observed_.assign(t.chi2.Classes() + 1, 0);
      const std::vector<int>& classOf = t.chi2.ClassTable();
      const uint64_t* h = &histogram_[i * (GROUP + 1)];
      for (int k = 0; k <= GROUP; ++k) observed_[classOf[k]] += h[k];
      AddResult(t.chi2.PValueOf(observed_.data(), Divergence::CressieRead), "Weight %d_%.0f", w.s, t.percent);
    }
  }
}
