// The AMLS rows' null law under two laws of X, on the same sequences.
//
// Build (after the normal build, from the repository root):
//   g++ -O2 -std=c++17 -I. $(wx-config --cxxflags base) tools/reference/amls_null_bins.cpp \
//     -o build/amls_null_bins build/battery/libqv_battery.a build/platform/libqv_platform.a -ldl \
//     -lfftw3f_threads -lfftw3f -lz -pthread -lwx_baseu-3.2
// Run: build/amls_null_bins BITS SEQUENCES SEED LMAX
//
// Sequences of BITS bits of splitmix64 (seeded with SEED, filled as
// null_run fills them), L = 1 .. LMAX doubling, no block limit. Per row,
// X = sum (count - mean)^2 / variance as the test sums it, judged by the
// chi-square with one degree of freedom per block ("chi-square") and by the
// test's law (battery/AMLS.h, "law"): the valid count, the KS and AD
// p-values against the uniform law, the counts in the first three and the
// last three of 100 equal bins (100 expected each at 10^4 sequences) and
// the p-value of the chi-square over the 100 bins. The "law" rows are the
// p-values the test gives (null_run AMLS BITS SEQUENCES SEED ... prints
// the same KS and AD).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "battery/AMLS.h"
#include "battery/Distributions.h"
#include "battery/PValueTests.h"
#include "tools/nullrun/NullRun.h"

namespace {

void Report(const char* law, int L, std::vector<double> p) {
  std::sort(p.begin(), p.end());
  const int n = static_cast<int>(p.size());
  int bins[100] = {};
  for (double v : p) ++bins[std::min(99, static_cast<int>(v * 100))];
  double chi2 = 0;
  const double e = n / 100.0;
  for (int b : bins) chi2 += (b - e) * (b - e) / e;
  std::printf("AMLS %d\t%s\t%d\t%.3g\t%.3g\t%d %d %d\t%d %d %d\t%.3g\n", L, law, n, KsUniformPValue(p.data(), n),
              AdUniformPValue(p.data(), n), bins[0], bins[1], bins[2], bins[97], bins[98], bins[99],
              IncompleteGammaQ(99 / 2.0, chi2 / 2));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: amls_null_bins BITS SEQUENCES SEED LMAX\n");
    return 2;
  }
  const uint32_t n = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 0));
  const int sequences = std::atoi(argv[2]);
  const uint64_t seed = std::strtoull(argv[3], nullptr, 0);
  const int lmax = std::atoi(argv[4]);
  amlsBlkmax = 0x7FFFFFFF;
  nullrun::SplitMix64 gen(seed);
  std::vector<uint32_t> words;
  AmlsTree tree;
  tree.EnsureNodes(uint64_t(lmax) * 1024);
  std::map<int, std::vector<double>> chi, law;
  for (int s = 0; s < sequences; ++s) {
    nullrun::FillSequence(gen, words, n);
    for (int L = 1; L <= lmax; L *= 2) {
      double mean, variance, m4, m6;
      if (!AmlsMoments(L, mean, variance) || !AmlsShape(L, m4, m6)) return 1;
      tree.blockBits = L * 1024;
      const uint64_t blocks = n / (uint64_t(L) * 1024);
      double X = 0;
      for (uint64_t i = 0; i < blocks; ++i) {
        const double d = static_cast<double>(tree.CountBlock(i)) - mean;
        X += d * d / variance;
      }
      chi[L].push_back(IncompleteGammaQ(static_cast<double>(blocks) / 2, X / 2));
      law[L].push_back(AmlsLaw(blocks, m4, m6).PValue(X));
    }
  }
  std::printf("# amls_null_bins %s %s %s %s\n", argv[1], argv[2], argv[3], argv[4]);
  std::printf("# label\tlaw\tvalid\tKS\tAD\tbins 1-3\tbins 98-100\tPearson 100 bins\n");
  for (int L = 1; L <= lmax; L *= 2) {
    Report("chi-square", L, chi[L]);
    Report("law", L, law[L]);
  }
  return 0;
}
