// Simulates the null law of the DFT test's statistic and writes its table
// (battery/DftLawTable.cpp).
//
// One replicate: N random bits (xoshiro256**, seeded per block of
// replicates through splitmix64, so the result does not depend on the
// number of threads) laid out as the test lays them out (R rows, fill mode
// m), FFTW's single-precision real-to-complex transform, the imaginary parts
// over sqrt(R W / 8), and their Kolmogorov-Smirnov distance D to N(0, 1)
// computed by the test's own KsNormalDistanceBucketed. The replicate's value
// is lambda = (sqrt(n) + 0.12 + 0.11 / sqrt(n)) D with n = R (W/2 + 1).
//
// Each simulation "N/R/m/replicates" runs once; its sorted lambdas are
// cached in a directory (by seed and simulation), so a stopped run resumes.
// The table holds, for each node (a simulation with R = 1 at n = N/2 + 1
// values), the simulated upper tail P(lambda >= x) on a grid of x; the other
// simulations (--case) are only judged by the table (printed with the
// nodes).
#include <fftw3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "battery/DFT.h"
#include "battery/DftLaw.h"
#include "battery/PValueTests.h"
#include "tools/Xoshiro256.h"

namespace {

struct Case {
  uint32_t N = 0, R = 1;
  int mode = 1;
  int64_t replicates = 0;
};

struct Options {
  uint64_t seed = 20261210;
  int threads = int(std::thread::hardware_concurrency());
  std::vector<Case> nodes;  // R = 1 simulations that make the table
  std::vector<Case> cases;  // simulations only judged by it
  std::string table;  // empty: print only
  std::string cache = "dft-law-cache";
  std::string commandLine;
};

constexpr int64_t BLOCK = 256;
// The table ends at the last point with at least this many replicates beyond.
constexpr double MIN_TAIL = 400;


uint64_t BlockSeed(uint64_t seed, const Case& c, int64_t block) {
  uint64_t state = seed ^ (uint64_t(c.N) << 24) ^ (uint64_t(c.R) << 56) ^ (uint64_t(c.mode) << 62) ^ uint64_t(block);
  SplitMix64(state);
  return SplitMix64(state);
}

// Bit t of words goes to row t mod R, column t div R (fill mode 1).
void Interleave(const uint32_t* words, uint32_t R, uint32_t W, float* in) {
  for (uint64_t t = 0; t < uint64_t{R} * W; ++t)
    in[(t % R) * W + t / R] = static_cast<float>((words[t / 32] >> (t % 32)) & 1u);
}

struct Worker {
  const Case& c;
  uint32_t W, count;
  std::vector<uint32_t> words;
  float* in;
  fftwf_complex* out;
  fftwf_plan plan;
  std::vector<double> values, scratch;
  std::vector<uint32_t> buckets;

  explicit Worker(const Case& cs) : c(cs), W(cs.N / cs.R), count(cs.R * (W / 2 + 1)) {
    words.resize(c.N / 32 + 2);
    in = fftwf_alloc_real(size_t{c.R} * W);
    out = fftwf_alloc_complex(count);
    plan = c.R == 1 ? fftwf_plan_dft_r2c_1d(int(W), in, out, FFTW_ESTIMATE | FFTW_DESTROY_INPUT)
                    : fftwf_plan_dft_r2c_2d(int(c.R), int(W), in, out, FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
    values.resize(count);
    scratch.resize(count);
    buckets.resize(count / 4 + 2);
  }
  ~Worker() {
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
  }
  double Lambda(Xoshiro256& rng) {
    for (size_t i = 0; i < words.size(); i += 2) {
      const uint64_t v = rng.Next();
      words[i] = uint32_t(v);
      if (i + 1 < words.size()) words[i + 1] = uint32_t(v >> 32);
    }
    if (c.R == 1 || c.mode == 0) BitsToFloats(words.data(), uint64_t{c.R} * W, 0.0f, 1.0f, in);
    else Interleave(words.data(), c.R, W, in);
    fftwf_execute(plan);
    const double norm = std::sqrt(double(c.R) * 0.125 * double(W));
    for (uint32_t k = 0; k < count; ++k) values[k] = double(out[k][1]) / norm;
    const double d = KsNormalDistanceBucketed(values.data(), count, scratch.data(), buckets.data(), count / 4 + 1);
    return KsSizeFactor(count) * d;
  }
};

std::string CacheName(const Options& o, const Case& c) {
  char name[256];
  std::snprintf(name, sizeof name, "%s/seed%" PRIu64 "_N%u_R%u_m%d_K%" PRId64 ".bin", o.cache.c_str(), o.seed, c.N,
                c.R, c.mode, c.replicates);
  return name;
}

std::vector<double> Simulate(const Options& o, const Case& c) {
  const std::string path = CacheName(o, c);
  std::vector<double> lambdas(size_t(c.replicates));
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    const size_t got = std::fread(lambdas.data(), sizeof(double), lambdas.size(), f);
    std::fclose(f);
    if (got == lambdas.size()) return lambdas;
  }
  const auto start = std::chrono::steady_clock::now();
  std::vector<Worker*> workers;
  for (int t = 0; t < o.threads; ++t) workers.push_back(new Worker(c));  // plans made on this thread
  std::atomic<int64_t> nextBlock{0};
  const int64_t blocks = (c.replicates + BLOCK - 1) / BLOCK;
  std::vector<std::thread> pool;
  for (int t = 0; t < o.threads; ++t)
    pool.emplace_back([&, t] {
      for (int64_t b; (b = nextBlock++) < blocks;) {
        Xoshiro256 rng(BlockSeed(o.seed, c, b));
        for (int64_t r = b * BLOCK; r < std::min(c.replicates, (b + 1) * BLOCK); ++r)
          lambdas[size_t(r)] = workers[size_t(t)]->Lambda(rng);
      }
    });
  for (auto& th : pool) th.join();
  for (Worker* w : workers) delete w;
  std::sort(lambdas.begin(), lambdas.end());
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(lambdas.data(), sizeof(double), lambdas.size(), f);
    std::fclose(f);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "N %u R %u mode %d: %" PRId64 " replicates in %.0f s\n", c.N, c.R, c.mode, c.replicates,
               seconds);
  return lambdas;
}

// P(lambda >= x) from the sorted lambdas.
double Upper(const std::vector<double>& sorted, double x) {
  return double(sorted.end() - std::lower_bound(sorted.begin(), sorted.end(), x)) / double(sorted.size());
}

bool Parse(int argc, char** argv, Options& o) {
  for (int i = 0; i < argc; ++i) o.commandLine += (i ? " " : "") + std::string(argv[i]);
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return false;
    const char* v = argv[++i];
    if (a == "--seed") o.seed = std::strtoull(v, nullptr, 10);
    else if (a == "--threads") o.threads = std::max(1, std::atoi(v));
    else if (a == "--table") o.table = v;
    else if (a == "--cache") o.cache = v;
    else if (a == "--case" || a == "--node") {
      Case c;
      double reps = 0;
      if (std::sscanf(v, "%u/%u/%d/%lf", &c.N, &c.R, &c.mode, &reps) != 4 || c.R == 0 || c.N / c.R < 2) return false;
      c.replicates = int64_t(reps);
      if (a == "--node" && c.R != 1) return false;
      (a == "--node" ? o.nodes : o.cases).push_back(c);
    } else {
      return false;
    }
  }
  return !o.nodes.empty();
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!Parse(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: dft_law [--seed S] [--threads T] [--cache DIR] [--table FILE]\n"
                 "               --node N/1/1/replicates ... [--case N/R/m/replicates ...]\n");
    return 2;
  }
  std::string mk = "mkdir -p '" + o.cache + "'";
  if (std::system(mk.c_str()) != 0) return 1;
  // The nodes, by ascending n: P(lambda >= x) on the grid, up to the last
  // point with at least MIN_TAIL replicates at or above it in every node.
  std::sort(o.nodes.begin(), o.nodes.end(), [](const Case& a, const Case& b) { return a.N < b.N; });
  std::vector<std::vector<double>> nodeSims;
  for (const Case& c : o.nodes) nodeSims.push_back(Simulate(o, c));
  // Each node's row holds its own points (dftLawPoints); the rows are
  // padded with 0 to the longest.
  std::vector<int> nodePoints;
  for (const auto& sim : nodeSims) {
    int j = 0;
    while (Upper(sim, DFT_LAW_X0 + double(j) * DFT_LAW_STEP) * double(sim.size()) >= MIN_TAIL) ++j;
    nodePoints.push_back(j);
  }
  const size_t points = size_t(*std::max_element(nodePoints.begin(), nodePoints.end()));
  std::vector<double> sizes, upper;
  for (size_t k = 0; k < o.nodes.size(); ++k) {
    sizes.push_back(double(o.nodes[k].N / 2 + 1));
    for (size_t j = 0; j < points; ++j)
      upper.push_back(int(j) < nodePoints[k] ? Upper(nodeSims[k], DFT_LAW_X0 + double(j) * DFT_LAW_STEP) : 0.0);
  }
  std::vector<Case> all = o.nodes;
  std::vector<std::vector<double>> sims = nodeSims;
  for (const Case& c : o.cases) {
    all.push_back(c);
    sims.push_back(Simulate(o, c));
  }
  // Every simulation judged by the table and by Kolmogorov's law: the
  // p-values of its replicates against the uniform law.
  std::string report;
  auto line = [&report](const char* format, auto... args) {
    char buf[512];
    std::snprintf(buf, sizeof buf, format, args...);
    report += buf;
  };
  line("# %s\n", o.commandLine.c_str());
  line("# N/R/mode (node: a simulation the table holds), n, replicates, mean lambda; then for the table's\n");
  line("# p-values and for Kolmogorov's: mean p, share above 0.9, share below 0.01, their largest distance D\n");
  line("# to the uniform law (the error of the law's distribution function) and the KS and AD p-values\n");
  line("# against the uniform law\n");
  for (size_t k = 0; k < all.size(); ++k) {
    const Case& c = all[k];
    const auto& sim = sims[k];
    const double n = double(c.R) * double(c.N / c.R / 2 + 1);
    double mean = 0;
    for (double x : sim) mean += x;
    mean /= double(sim.size());
    line("%u/%u/%d%s n %.0f K %zu mean %.4f", c.N, c.R, c.mode, k < o.nodes.size() ? " node" : "", n, sim.size(),
         mean);
    for (int law = 0; law < 2; ++law) {
      std::vector<double> p(sim.size());
      for (size_t i = 0; i < sim.size(); ++i)
        p[i] = law == 0 ? DftLawPValue(sim[i], n, sizes.data(), nodePoints.data(), upper.data(), int(sizes.size()),
                                        int(points))
                        : KolmogorovLimitQ(sim[i]);
      std::sort(p.begin(), p.end());
      double pm = 0, above = 0, below = 0;
      for (double v : p) pm += v, above += v > 0.9, below += v < 0.01;
      const int count = int(p.size());
      double d = 0;
      for (int i = 0; i < count; ++i) d = std::max({d, p[i] - double(i) / count, double(i + 1) / count - p[i]});
      line("  %s: mean %.4f >0.9 %.4f <0.01 %.4f D %.4f KS %.3g AD %.3g", law == 0 ? "table" : "Kolmogorov",
           pm / count, above / count, below / count, d, KsUniformPValue(p.data(), count),
           AdUniformPValue(p.data(), count));
    }
    line("\n");
  }
  std::fputs(report.c_str(), stdout);
  if (o.table.empty()) return 0;
  FILE* f = std::fopen(o.table.c_str(), "w");
  if (f == nullptr) return 1;
  std::fprintf(f, "// The upper tail of lambda = (sqrt(n) + 0.12 + 0.11 / sqrt(n)) D for the\n");
  std::fprintf(f, "// DFT test's statistic on random bits: at node k (n = dftLawSizes[k] values),\n");
  std::fprintf(f, "// dftLawUpper[k DFT_LAW_POINTS + j] = P(lambda >= %.2f + %.2f j).\n", DFT_LAW_X0, DFT_LAW_STEP);
  std::fprintf(f, "//\n// Generated by tools/dftlaw/DftLawGenerator.cpp (see tools/dftlaw/README.md);\n");
  std::fprintf(f, "// do not edit. Command line:\n//   %s\n", o.commandLine.c_str());
  std::fprintf(f, "// Nodes (N bits, R = 1: n = N/2 + 1 values; replicates):\n");
  for (size_t k = 0; k < o.nodes.size(); ++k)
    std::fprintf(f, "//   N = %u: n = %.0f, %" PRId64 " replicates\n", o.nodes[k].N, sizes[k], o.nodes[k].replicates);
  std::fprintf(f, "// A node's last point is the last with at least %d replicates at or above it.\n", int(MIN_TAIL));
  std::fprintf(f, "#include \"battery/DftLaw.h\"\n\n");
  std::fprintf(f, "const int DFT_LAW_NODES = %zu;\nconst int DFT_LAW_POINTS = %zu;\n\n", sizes.size(), points);
  std::fprintf(f, "const double dftLawSizes[] = {");
  for (size_t k = 0; k < sizes.size(); ++k) std::fprintf(f, "%s%.0f", k ? ", " : "", sizes[k]);
  std::fprintf(f, "};\n\nconst int dftLawPoints[] = {");
  for (size_t k = 0; k < sizes.size(); ++k) std::fprintf(f, "%s%d", k ? ", " : "", nodePoints[k]);
  std::fprintf(f, "};\n\nconst double dftLawUpper[] = {\n");
  for (size_t k = 0; k < sizes.size(); ++k) {
    std::fprintf(f, "    // n = %.0f\n", sizes[k]);
    for (size_t j = 0; j < points; ++j)
      std::fprintf(f, "%s%.10g,%s", j % 6 == 0 ? "    " : " ", upper[k * points + j],
                   j % 6 == 5 || j + 1 == points ? "\n" : "");
  }
  std::fprintf(f, "};\n");
  std::fclose(f);
  return 0;
}
