#include "battery/COLLISION.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "battery/GridWalk.h"
#include "battery/Messages.h"
#include "battery/RunState.h"

namespace {

const char* const CAPTION = "Quorvane - COLLISION test ERROR";

// A line of the limits file: lines are shorter than 998 characters.
constexpr int LINE_SIZE = 999;

// Parses a word-size line "ss\tmin[\t...]\tmax" into the tables; lines
// without a tab or with a word size outside 1..31 are passed over.
bool ParseWordSizeLine(const char* line, int& s, uint32_t& least, uint32_t& most) {
  const char* lastTab = std::strrchr(line, '\t');
  if (lastTab == nullptr || std::strlen(line) < 4) return false;
  s = std::atoi(line);
  if (s < 1 || s > 31) return false;
  auto count = [](const char* text) {
    const double v = std::strtod(text, nullptr);
    return !(v > 0) ? 0u : v >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(v);  // NaN counts as 0
  };
  least = count(line + 3);
  most = count(lastTab + 1);
  return true;
}

}  // namespace

void CollisionMoments(double c, double n, double& mean, double& variance) {
  // g = (1 - 1/c)^n, h = (1 - 2/c)^n. Mean c g - c + n; variance
  // c (c h + g - h - c g^2) = c^2 (h - g^2) + c (g - h), with
  // h / g^2 = (1 - 1/(c-1)^2)^n and h / g = (1 - 1/(c-1))^n.
  const double lg = n * std::log1p(-1 / c);
  const double g = std::exp(lg);
  mean = n + c * std::expm1(lg);
  const double a = std::expm1(n * std::log1p(-1 / ((c - 1) * (c - 1))));
  const double b = std::expm1(n * std::log1p(-1 / (c - 1)));
  variance = c * c * g * g * a - c * g * b;
}

bool CollisionUsesNormal(int s, uint32_t n) {
  const double q = (((0.00018060983 * s - 0.019003239) * s + 0.74699262) * s - 12.757544) * s + 98.463661;
  return s > 17 && std::log2(static_cast<double>(n)) > q;
}

double CollisionPValue(COLLISION& test, int s, uint32_t cells, uint32_t n, uint32_t collisions) {
  const double c = cells, words = n;
  if (CollisionUsesNormal(s, n)) {
    double mean, variance;
    CollisionMoments(c, words, mean, variance);
    return NormalCdf((collisions - mean) / std::sqrt(variance));
  }
  std::vector<double>& cache = test.occupancyCache[s];
  if (cache.empty() || test.occupancyWords[s] != n) {
    // The law of the distinct values after 1, 2, ..., n words; entries
    // below 1e-15 at either end leave the band, one per word at most.
    const double inv = 1 / c;
    std::vector<double> cur(static_cast<size_t>(n) + 2, 0.0), next(cur.size(), 0.0);
    cur[1] = 1;
    int low = 1, top = 1;
    for (uint32_t w = 2; w <= n; ++w) {
      const int top1 = top + 1;
      for (int j = low; j <= top1; ++j) next[j] = ((c - j + 1) * inv) * cur[j - 1] + (j * inv) * cur[j];
      next[low - 1] = 0;
      cur.swap(next);
      if (cur[low] < 1e-15) cur[low++] = 0;
      if (cur[top1] < 1e-15) cur[top1] = 0;
      else top = top1;
    }
    test.occupancyLow[s] = low;
    test.occupancyHigh[s] = top;
    cache.assign(cur.begin() + low, cur.begin() + top + 1);
    test.occupancyWords[s] = n;
  }
  const int64_t k = static_cast<int64_t>(n) - collisions;
  const int low = test.occupancyLow[s], high = test.occupancyHigh[s];
  if (k > high) return 0;
  if (k < low) return 1;
  double sum = 0;
  for (int64_t j = high; j >= k; --j) sum += cache[j - low];
  return std::min(sum, 1.0);
}

COLLISION::COLLISION() {
  std::fill(std::begin(minWords), std::end(minWords), UINT32_MAX);
  std::fill(std::begin(maxWords), std::end(maxWords), 0u);
  const std::string path = std::string(dataDir != nullptr ? dataDir : ".") + "/DAT_collision_limits.txt";
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    ShowMessageBox("File 'DAT_collision_limits.txt' not found.\nThe test will be disabled.", CAPTION,
                   wxOK | wxICON_EXCLAMATION);
    status = TEST_DISABLED;
    return;
  }
  char line[LINE_SIZE];
  bool found = false;
  int smallest = 99, largest = 0;
  while (!found && std::fgets(line, LINE_SIZE, file) != nullptr) {
    const long count = std::strtol(line, nullptr, 10);
    smallest = 99;
    largest = 0;
    bool any = false;
    while (std::fgets(line, LINE_SIZE, file) != nullptr && line[0] != '#') {
      int s;
      uint32_t least, most;
      if (!ParseWordSizeLine(line, s, least, most)) continue;
      minWords[s] = least;
      maxWords[s] = most;
      smallest = std::min(smallest, s);
      largest = std::max(largest, s);
      any = true;
    }
    found = count >= seqCount && any;
    if (count >= seqCount) break;
  }
  std::fclose(file);
  if (!found) {
    // No section for this many sequences (the engine refuses such runs)
    // or a section that lists no word size.
    ShowMessageBox("No word counts for this number of sequences in 'DAT_collision_limits.txt'.\n"
                   "The test will be disabled.",
                   CAPTION, wxOK | wxICON_EXCLAMATION);
    status = TEST_DISABLED;
    return;
  }
  collisionSmin = std::max(collisionSmin, smallest);
  collisionSmax = std::min(collisionSmax, largest);
  for (int s : Grid(collisionSmin, collisionSmax, collisionSstp))
    if (seqLen / static_cast<uint32_t>(s) >= minWords[s] && maxWords[s] > 0) return;
  ShowMessageBox("Sequence too short.\nThe test will be disabled.", CAPTION, wxOK | wxICON_EXCLAMATION);
  status = TEST_DISABLED;
}

uint32_t COLLISION::CountCollisions(int s, uint32_t n) {
  const uint64_t cells = uint64_t(1) << s;
  uint32_t collisions = 0;
  // A bitmap when it is not much larger than the words (at most 32 bytes a
  // word); otherwise the sorted words, which need no 2^s bits.
  bool useBitmap = cells <= 256 * uint64_t(n);
  if (useBitmap) {
    const size_t size = static_cast<size_t>((cells + 63) / 64);
    try {
      if (bitmap_.size() < size) bitmap_.resize(size);
    } catch (const std::bad_alloc&) {
      useBitmap = false;
    }
    if (useBitmap) {
      uint64_t* bits = bitmap_.data();
      std::memset(bits, 0, size * sizeof(uint64_t));
      ForEachValue(seqBits, 0, n, s, [&](uint32_t v) {
        const uint64_t mask = uint64_t(1) << (v & 63);
        collisions += (bits[v >> 6] & mask) != 0;
        bits[v >> 6] |= mask;
      });
      return collisions;
    }
  }
  values_.resize(n);
  uint32_t* out = values_.data();
  ForEachValue(seqBits, 0, n, s, [&](uint32_t v) { *out++ = v; });
  std::sort(values_.begin(), values_.end());
  for (uint32_t i = 1; i < n; ++i) collisions += values_[i] == values_[i - 1];
  return collisions;
}

void COLLISION::RunTest() {
  for (int s : Grid(collisionSmin, collisionSmax, collisionSstp)) {
    const uint32_t available = seqLen / static_cast<uint32_t>(s);
    if (available < minWords[s]) continue;
    const uint32_t n = std::min(maxWords[s], available);
    // No word: no law and no label.
    if (n == 0) continue;
    double p;
    try {
      const uint32_t collisions = CountCollisions(s, n);
      p = CollisionPValue(*this, s, uint32_t(1) << s, n, collisions);
    } catch (const std::bad_alloc&) {
      // No memory for the words or the law: the word size is left out for
      // the rest of the run, so every sequence gives the same pairs.
      minWords[s] = UINT32_MAX;
      continue;
    }
    AddResult(p, "Collision %d_%.1f", s, std::log(static_cast<double>(n)) / std::log(2.0));
  }
}
