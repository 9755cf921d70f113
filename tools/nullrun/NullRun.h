#pragma once
// The null law of a test class: its p-values on sequences from a good
// generator, gathered per label, and each label's Kolmogorov-Smirnov
// p-value against the uniform law. Shared by the CI checks
// (tests/battery/NullLaw.h) and the long runs of the null_run tool.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "battery/PValueTests.h"
#include "battery/RunState.h"
#include "battery/TESTthd.h"

namespace nullrun {

// splitmix64: a fast generator that passes the usual batteries; the seed
// fixes the whole run.
class SplitMix64 {
 public:
  explicit SplitMix64(uint64_t seed) : x_(seed) {}
  uint64_t Next() {
    uint64_t z = (x_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

 private:
  uint64_t x_;
};

struct LabelLaw {
  std::vector<double> pvalues;  // the valid ones, in [0, 1]
  int fails = 0;                // PVALUE_FAIL
  int shorts = 0;               // PVALUE_SHORT
  double ks = 1;                // KS p-value of the valid ones
};

using NullLaw = std::map<std::string, LabelLaw>;

// Fills the buffer with n bits of the generator (the two spare words too).
inline void FillSequence(SplitMix64& gen, std::vector<uint32_t>& words, uint32_t n) {
  words.resize(n / 32 + 2);
  for (size_t i = 0; i < words.size(); i += 2) {
    const uint64_t v = gen.Next();
    words[i] = static_cast<uint32_t>(v);
    if (i + 1 < words.size()) words[i + 1] = static_cast<uint32_t>(v >> 32);
  }
  seqBits = words.data();
  seqLen = n;
}

// Runs the test on `sequences` sequences of n bits and judges every label.
// The test object is built by the caller (after setting its parameters),
// so its constructor's corrections apply.
inline NullLaw RunNullLaw(TESTthd& test, int slot, uint32_t n, int sequences, uint64_t seed) {
  SplitMix64 gen(seed);
  std::vector<uint32_t> words;
  NullLaw law;
  test.slot = slot;
  seqCount = sequences;
  for (int s = 1; s <= sequences; ++s) {
    FillSequence(gen, words, n);
    seqIndex = s;
    test.RunTest();
    for (size_t i = 0; i < resultLabels[slot].size(); ++i) {
      LabelLaw& row = law[resultLabels[slot][i]];
      const double p = resultPValues[slot][i];
      if (p > -1) row.pvalues.push_back(p);
      else if (p == PVALUE_FAIL) ++row.fails;
      else ++row.shorts;
      delete[] resultLabels[slot][i];
    }
    resultLabels[slot].clear();
    resultPValues[slot].clear();
  }
  for (auto& [label, row] : law) {
    std::vector<double> sorted = row.pvalues;
    std::sort(sorted.begin(), sorted.end());
    row.ks = sorted.size() < 2 ? 1.0 : KsUniformPValue(sorted.data(), static_cast<int>(sorted.size()));
  }
  seqBits = nullptr;
  seqLen = 0;
  return law;
}

// The parameter globals by name, for the tool's command line.
struct ParamRef {
  const char* name;
  int* i;
  unsigned* u;
};
inline const ParamRef PARAMS[] = {
    {"amlsLmin", &amlsLmin, nullptr},
    {"amlsLmax", &amlsLmax, nullptr},
    {"amlsLstp", &amlsLstp, nullptr},
    {"amlsBlkmax", &amlsBlkmax, nullptr},
    {"aqlSmin", &aqlSmin, nullptr},
    {"aqlSmax", &aqlSmax, nullptr},
    {"aqlSstp", &aqlSstp, nullptr},
    {"aqlMmin", &aqlMmin, nullptr},
    {"aqlMmax", &aqlMmax, nullptr},
    {"aqlMstp", &aqlMstp, nullptr},
    {"autowSmin", &autowSmin, nullptr},
    {"autowSmax", &autowSmax, nullptr},
    {"autowSstp", &autowSstp, nullptr},
    {"autowDmin", &autowDmin, nullptr},
    {"autowDmax", &autowDmax, nullptr},
    {"autowDstp", &autowDstp, nullptr},
    {"autowMaxPv", &autowMaxPv, nullptr},
    {"blkGapDstSmin", &blkGapDstSmin, nullptr},
    {"blkGapDstSmax", &blkGapDstSmax, nullptr},
    {"blkGapDstSstp", &blkGapDstSstp, nullptr},
    {"collisionSmin", &collisionSmin, nullptr},
    {"collisionSmax", &collisionSmax, nullptr},
    {"collisionSstp", &collisionSstp, nullptr},
    {"couponSmin", &couponSmin, nullptr},
    {"couponSmax", &couponSmax, nullptr},
    {"couponSstp", &couponSstp, nullptr},
    {"dftRstp", &dftRstp, nullptr},
    {"dftM0", &dftM0, nullptr},
    {"dftM1", &dftM1, nullptr},
    {"dftFirstMode", &dftFirstMode, nullptr},
    {"dftModeStep", &dftModeStep, nullptr},
    {"liCoLen", &liCoLen, nullptr},
    {"liCoOptlen", &liCoOptlen, nullptr},
    {"liCoK", &liCoK, nullptr},
    {"longBlkSmin", &longBlkSmin, nullptr},
    {"longBlkSmax", &longBlkSmax, nullptr},
    {"longBlkSstp", &longBlkSstp, nullptr},
    {"maurerSmin", &maurerSmin, nullptr},
    {"maurerSmax", &maurerSmax, nullptr},
    {"maurerSstp", &maurerSstp, nullptr},
    {"notmSmin", &notmSmin, nullptr},
    {"notmSmax", &notmSmax, nullptr},
    {"notmSstp", &notmSstp, nullptr},
    {"notmTempl", &notmTempl, nullptr},
    {"oetSmin", &oetSmin, nullptr},
    {"oetSmax", &oetSmax, nullptr},
    {"oetSstp", &oetSstp, nullptr},
    {"partitionSmin", &partitionSmin, nullptr},
    {"partitionSmax", &partitionSmax, nullptr},
    {"partitionSstp", &partitionSstp, nullptr},
    {"partitionKnum", &partitionKnum, nullptr},
    {"permutationGmin", &permutationGmin, nullptr},
    {"permutationGmax", &permutationGmax, nullptr},
    {"permutationGstp", &permutationGstp, nullptr},
    {"permutationSmin", &permutationSmin, nullptr},
    {"permutationSmax", &permutationSmax, nullptr},
    {"permutationSstp", &permutationSstp, nullptr},
    {"rankRmin", &rankRmin, nullptr},
    {"rankRmax", &rankRmax, nullptr},
    {"rankRstp", &rankRstp, nullptr},
    {"rankCmin", &rankCmin, nullptr},
    {"rankCmax", &rankCmax, nullptr},
    {"rankCstp", &rankCstp, nullptr},
    {"rankM", &rankM, nullptr},
    {"zarWlkLmin", &zarWlkLmin, nullptr},
    {"zarWlkLmax", &zarWlkLmax, nullptr},
    {"zarWlkLstp", &zarWlkLstp, nullptr},
    {"zarWlkSk", &zarWlkSk, nullptr},
    {"rw2dLmin", &rw2dLmin, nullptr},
    {"rw2dLmax", &rw2dLmax, nullptr},
    {"rw2dLstp", &rw2dLstp, nullptr},
    {"runsLmin", &runsLmin, nullptr},
    {"runsLmax", &runsLmax, nullptr},
    {"runsLstp", &runsLstp, nullptr},
    {"runsSmin", &runsSmin, nullptr},
    {"runsSmax", &runsSmax, nullptr},
    {"runsSstp", &runsSstp, nullptr},
    {"serialSmin", &serialSmin, nullptr},
    {"serialSmax", &serialSmax, nullptr},
    {"serialSstp", &serialSstp, nullptr},
    {"shortBlkSmin", &shortBlkSmin, nullptr},
    {"shortBlkSmax", &shortBlkSmax, nullptr},
    {"shortBlkSstp", &shortBlkSstp, nullptr},
    {"shortBlkDmin", &shortBlkDmin, nullptr},
    {"shortBlkDmax", &shortBlkDmax, nullptr},
    {"shortBlkDstp", &shortBlkDstp, nullptr},
    {"weightSmin", &weightSmin, nullptr},
    {"weightSmax", &weightSmax, nullptr},
    {"weightSstp", &weightSstp, nullptr},
    {"weightProb", &weightProb, nullptr},
    {"dftRmin", nullptr, &dftRmin},
    {"dftRmax", nullptr, &dftRmax},
    {"dftNmax", nullptr, &dftNmax},
    {"dftNopt", nullptr, &dftNopt},
    {"peakDist", nullptr, &peakDist},
    {"peakNmax", nullptr, &peakNmax},
    {"peakNopt", nullptr, &peakNopt}
};

// Sets "name=value"; false for an unknown name.
inline bool SetParam(const char* assignment) {
  const char* eq = std::strchr(assignment, '=');
  if (eq == nullptr) return false;
  const std::string name(assignment, eq);
  for (const ParamRef& p : PARAMS)
    if (name == p.name) {
      if (p.i) *p.i = static_cast<int>(std::strtol(eq + 1, nullptr, 0));
      else *p.u = static_cast<unsigned>(std::strtoul(eq + 1, nullptr, 0));
      return true;
    }
  return false;
}

// The folder of the running program, where the build puts the data files.
inline std::string ExecutableFolder() {
  char path[4096];
  const ssize_t len = readlink("/proc/self/exe", path, sizeof path - 1);
  if (len <= 0) return ".";
  path[len] = 0;
  char* slash = std::strrchr(path, '/');
  if (slash) *slash = 0;
  return path;
}

}  // namespace nullrun
