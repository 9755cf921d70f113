// null_run: the null law of one test class over many sequences.
//   null_run CLASS BITS SEQUENCES SEED [name=value ...]
// CLASS is the class name (SERIAL, RW1D, ...), the name=value pairs set
// parameter globals (serialSmin=2). Prints, per label, the number of valid
// p-values, fails and shorts, the Kolmogorov-Smirnov and Anderson-Darling
// p-values of the valid ones against the uniform law, and their largest
// atom: the share of the valid values that equal the most frequent one, and
// the number of distinct values; and Pearson's test of their spread over
// round(sqrt(valid)) equal bins (the report's Pearson column: 100 bins for
// 10^4 values), its p-value by chi-square with bins - 1 degrees of freedom.
#include <wx/init.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "battery/Distributions.h"
#include "battery/PValueTests.h"
#include "battery/RunState.h"
#include "engine/TestFactory.h"
#include "tools/nullrun/NullRun.h"

namespace {

const char* const CLASS_NAMES[TEST_SLOTS] = {
    "DFT",  "AMLS",    "SERIAL", "COLLISION", "NOTM",   "PARTITION", "BLKGAP", "RUNS",      "CUSUM",  "SHORTBLK",
    "OTM",  "AUTOW",   "PERM",   "COUPON",    "MAURER", "LONGBLK",   "PEAK",   "RANK",      "LINCPLX", "BLKGAPDIS",
    "WEIGHT", "OET",   "TWOBIT", "RW1D",      "RWDST",  "RW2D",      "AQL",    "BDAY",      "GCD",    "SOB"};

// Each label's largest atom: the share of its valid p-values that equal its
// most frequent one, and how many distinct values they take.
void PrintLargestAtoms(const nullrun::NullLaw& law) {
  std::printf("# largest atom per label: label\tshare %%\tvalue\tdistinct\n");
  for (const auto& [label, row] : law) {
    std::vector<double> sorted = row.pvalues;
    std::sort(sorted.begin(), sorted.end());
    size_t best = 0, distinct = 0;
    double value = 0;
    for (size_t i = 0; i < sorted.size();) {
      size_t j = i;
      while (j < sorted.size() && sorted[j] == sorted[i]) ++j;
      ++distinct;
      if (j - i > best) {
        best = j - i;
        value = sorted[i];
      }
      i = j;
    }
    const double share = sorted.empty() ? 0 : 100.0 * static_cast<double>(best) / static_cast<double>(sorted.size());
    std::printf("# atom\t%s\t%.4f\t%.17g\t%zu\n", label.c_str(), share, value, distinct);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: null_run CLASS BITS SEQUENCES SEED [name=value ...]\n");
    return 2;
  }
  int slot = -1;
  for (int s = 0; s < TEST_SLOTS; ++s)
    if (std::strcmp(argv[1], CLASS_NAMES[s]) == 0) slot = s;
  const uint32_t n = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 0));
  const int sequences = std::atoi(argv[3]);
  const uint64_t seed = std::strtoull(argv[4], nullptr, 0);
  for (int i = 5; i < argc; ++i)
    if (!nullrun::SetParam(argv[i])) {
      std::fprintf(stderr, "unknown parameter: %s\n", argv[i]);
      return 2;
    }
  if (slot < 0 || !wxInitialize()) return 2;
  const std::string folder = nullrun::ExecutableFolder();
  dataDir = const_cast<char*>(folder.c_str());
  char scratch[PATH_BUF_SIZE];
  pathBuf = scratch;
  seqLen = n;
  seqCount = sequences;
  EnsureLnFactorial(1 << 20);
  TESTthd* test = CreateTest(slot);
  if (test == nullptr || test->status == TEST_DISABLED) {
    std::fprintf(stderr, "%s is not built or disabled itself\n", argv[1]);
    return 1;
  }
  const nullrun::NullLaw law = nullrun::RunNullLaw(*test, slot, n, sequences, seed);
  std::printf("# null_run");
  for (int i = 1; i < argc; ++i) std::printf(" %s", argv[i]);
  std::printf("\n# label\tvalid\tfail\tshort\tKS\tAD\tatom\tdistinct\tPearson\n");
  for (const auto& [label, row] : law) {
    std::vector<double> sorted = row.pvalues;
    std::sort(sorted.begin(), sorted.end());
    const int count = static_cast<int>(sorted.size());
    const double ad = count < 2 ? 1.0 : AdUniformPValue(sorted.data(), count);
    // Equal values stand together once sorted.
    int distinct = 0, largest = 0;
    for (int i = 0, j; i < count; i = j) {
      for (j = i + 1; j < count && sorted[j] == sorted[i]; ++j) {
      }
      ++distinct;
      largest = std::max(largest, j - i);
    }
    const double atom = count == 0 ? 0.0 : 100.0 * largest / count;
    const int bins = static_cast<int>(std::lround(std::sqrt(static_cast<double>(count))));
    double pearson = 1;
    if (bins >= 2) {
      std::vector<int> in(bins, 0);
      for (double p : sorted) ++in[std::min(bins - 1, static_cast<int>(p * bins))];
      const double e = static_cast<double>(count) / bins;
      double x = 0;
      for (int b : in) x += (b - e) * (b - e) / e;
      pearson = IncompleteGammaQ((bins - 1) / 2.0, x / 2);
    }
    std::printf("%s\t%d\t%d\t%d\t%.3g\t%.3g\t%.2f%%\t%d\t%.3g\n", label.c_str(), count, row.fails, row.shorts,
                row.ks, ad, atom, distinct, pearson);
  }
  PrintLargestAtoms(law);
  delete test;
  wxUninitialize();
  return 0;
}
