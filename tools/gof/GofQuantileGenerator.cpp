// Generates the quantile table of the seven goodness-of-fit statistics
// (battery/GofQuantiles.cpp): for each statistic s, level L[j] and sample size
// N[k], the value that the statistic of N[k] uniform values stays at or below
// with probability L[j].
//
// KS comes from the exact finite-n distribution of the Kolmogorov-Smirnov
// distance (Marsaglia, Tsang and Wang 2003, Durbin's matrix), inverted by a
// bracketed secant search. The other six come from Monte Carlo: sorted
// uniform samples drawn in O(n) as normalised cumulative sums of n + 1
// exponential variates, xoshiro256** seeded per block of replicates through
// splitmix64 (so the result does not depend on the number of threads), the
// statistics computed by the battery's own ComputeGofStatistics.
//
// Per size, the first min(R, full cap) replicates are kept whole and give
// the levels 0.003 .. 0.997; when R is larger, the remaining replicates only
// keep the values beyond the 0.002 and 0.998 quantiles of the first part, so
// that the levels 1e-5 .. 0.001 and 0.999 .. 0.99999 use all R replicates.
// Each quantile's standard error is estimated from the order statistics
// sqrt(R L (1 - L)) ranks either side of it.
//
// Finished sizes are cached in a directory, so a stopped run resumes.
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

#include "battery/GofStatistics.h"
#include "battery/GofTables.h"
#include "tools/Xoshiro256.h"

namespace {

constexpr int S = GOF_STATISTICS;
constexpr int J = GOF_LEVELS;
constexpr int K = GOF_SIZES;
const char* const STATISTIC_NAMES[S] = {"KS", "AD", "SL", "CM", "SW", "CC", "AV"};

// Replicates are drawn in blocks of this many, each block from its own seed.
constexpr int64_t BLOCK = 4096;
// Levels at or beyond these use the tail buffers when there are any.
constexpr double TAIL_LEVEL = 0.001;
// The tail buffers keep the values beyond these quantiles of the first part.
constexpr double TAIL_KEEP = 0.002;

struct Options {
  uint64_t seed = 20261210;
  int64_t minReplicates = 1000000;
  int64_t maxReplicates = 100000000;
  double valuesPerSize = 1e9;  // R(n) = valuesPerSize / n, clamped
  int64_t fullCap = 10000000;
  int threads = int(std::thread::hardware_concurrency());
  std::string table = "battery/GofQuantiles.cpp";
  std::string errors = "tools/gof/GofQuantileErrors.txt";
  std::string cache = "gof-cache";
  std::string commandLine;
};

// ---- random numbers -------------------------------------------------------


// The seed of block b of size index k: distinct streams for every (k, b).
uint64_t BlockSeed(uint64_t seed, int k, int64_t block) {
  uint64_t state = seed ^ (uint64_t(k + 1) << 48) ^ uint64_t(block);
  SplitMix64(state);
  return SplitMix64(state);
}

// n sorted uniform values: the partial sums of n + 1 exponentials divided by
// their total are distributed as the order statistics of n uniforms.
void SortedUniforms(Xoshiro256& rng, int n, double* x) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    sum -= std::log(rng.Uniform());
    x[i] = sum;
  }
  sum -= std::log(rng.Uniform());
  const double scale = 1.0 / sum;
  for (int i = 0; i < n; ++i) x[i] *= scale;
}

// ---- exact Kolmogorov-Smirnov distribution ----------------------------------

// C = A B for m x m row-major matrices.
void MatrixMultiply(const std::vector<double>& a, const std::vector<double>& b, std::vector<double>& c, int m) {
  std::fill(c.begin(), c.end(), 0.0);
  for (int i = 0; i < m; ++i) {
    double* ci = &c[size_t(i) * m];
    for (int l = 0; l < m; ++l) {
      const double ail = a[size_t(i) * m + l];
      if (ail == 0.0) continue;
      const double* bl = &b[size_t(l) * m];
      for (int j = 0; j < m; ++j) ci[j] += ail * bl[j];
    }
  }
}

// v = a^n with a decimal exponent kept aside (value = v 10^exponent).
void MatrixPower(const std::vector<double>& a, int m, int n, std::vector<double>& v, int& exponent) {
  if (n == 1) {
    v = a;
    exponent = 0;
    return;
  }
  MatrixPower(a, m, n / 2, v, exponent);
  std::vector<double> square(size_t(m) * m);
  MatrixMultiply(v, v, square, m);
  exponent *= 2;
  if (n % 2 == 0) {
    v.swap(square);
  } else {
    MatrixMultiply(a, square, v, m);
  }
  if (v[size_t(m / 2) * m + m / 2] > 1e140) {
    for (double& e : v) e *= 1e-140;
    exponent += 140;
  }
}

// P(D_n < d), Marsaglia, Tsang and Wang (2003), without their shortcut for
// the far upper tail.
double KsExactCdf(int n, double d) {
  if (d <= 0.5 / n) return 0.0;
  if (d >= 1.0) return 1.0;
  const int k = int(n * d) + 1;
  const int m = 2 * k - 1;
  const double h = k - n * d;
  std::vector<double> hm(size_t(m) * m);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j) hm[size_t(i) * m + j] = i - j + 1 < 0 ? 0.0 : 1.0;
  for (int i = 0; i < m; ++i) {
    hm[size_t(i) * m] -= std::pow(h, i + 1);
    hm[size_t(m - 1) * m + i] -= std::pow(h, m - i);
  }
  if (2 * h - 1 > 0) hm[size_t(m - 1) * m] += std::pow(2 * h - 1, m);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j)
      if (i - j + 1 > 0)
        for (int g = 1; g <= i - j + 1; ++g) hm[size_t(i) * m + j] /= g;
  std::vector<double> q;
  int exponent = 0;
  MatrixPower(hm, m, n, q, exponent);
  double s = q[size_t(k - 1) * m + k - 1];
  for (int i = 1; i <= n; ++i) {
    s = s * i / n;
    if (s < 1e-140) {
      s *= 1e140;
      exponent -= 140;
    }
  }
  return s * std::pow(10.0, exponent);
}

// Kolmogorov's limit law K(lambda) = P(sqrt(n) D <= lambda), n -> infinity.
double KolmogorovLimitCdf(double lambda) {
  if (lambda <= 0.0) return 0.0;
  double sum = 0.0;
  if (lambda < 1.0) {
    for (int j = 1; j <= 20; ++j) sum += std::exp(-(2 * j - 1) * (2 * j - 1) * M_PI * M_PI / (8 * lambda * lambda));
    return std::sqrt(2 * M_PI) / lambda * sum;
  }
  for (int j = 1; j <= 100; ++j) sum += (j % 2 ? 2.0 : -2.0) * std::exp(-2.0 * j * j * lambda * lambda);
  return 1.0 - sum;
}

// The d with P(D_n < d) = level: the limit law with Stephens' size factor
// gives a start, a bracket is widened around it, then the Illinois variant of
// regula falsi narrows it to a relative 1e-13.
double KsExactQuantile(int n, double level) {
  double lo = 0.0, hi = 10.0;
  for (int i = 0; i < 200; ++i) {
    double mid = (lo + hi) / 2;
    (KolmogorovLimitCdf(mid) < level ? lo : hi) = mid;
  }
  const double start = std::clamp(lo / (std::sqrt(n) + 0.12 + 0.11 / std::sqrt(n)), 0.5 / n, 1.0);
  auto f = [n, level](double d) { return KsExactCdf(n, d) - level; };
  double a = start * 0.97, b = std::min(1.0, start * 1.03);
  double fa = f(a), fb = f(b);
  while (fa > 0) {
    b = a, fb = fa;
    a = std::max(0.5 / n, a * 0.9);
    fa = f(a);
  }
  while (fb < 0) {
    a = b, fa = fb;
    b = std::min(1.0, b * 1.1);
    fb = f(b);
  }
  int side = 0;
  for (int iteration = 0; iteration < 200 && b - a > 1e-13 * b; ++iteration) {
    double c = (a * fb - b * fa) / (fb - fa);
    if (!(c > a && c < b)) c = (a + b) / 2;
    double fc = f(c);
    if (fc == 0) return c;
    if ((fc < 0) == (fa < 0)) {
      a = c, fa = fc;
      if (side == -1) fb /= 2;
      side = -1;
    } else {
      b = c, fb = fc;
      if (side == 1) fa /= 2;
      side = 1;
    }
  }
  return (a + b) / 2;
}

// ---- Monte Carlo per size ---------------------------------------------------

int64_t Replicates(const Options& options, int n) {
  double r = std::clamp(options.valuesPerSize / n, double(options.minReplicates), double(options.maxReplicates));
  return (int64_t(r) + BLOCK - 1) / BLOCK * BLOCK;
}

struct SizeResult {
  int64_t replicates = 0;
  double q[S][J] = {};
  double error[S][J] = {};
  double seconds = 0;
};

// Runs body(block, thread) for blocks first .. last - 1 on the threads.
template <typename Body>
void ParallelBlocks(int threads, int64_t first, int64_t last, Body body) {
  std::atomic<int64_t> next(first);
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      for (int64_t b; (b = next++) < last;) body(b, t);
    });
  for (std::thread& thread : pool) thread.join();
}

SizeResult SimulateSize(const Options& options, int k) {
  const auto begin = std::chrono::steady_clock::now();
  const int n = int(gofSizes[k]);
  SizeResult result;
  const int64_t total = Replicates(options, n);
  const int64_t full = std::min(total, options.fullCap / BLOCK * BLOCK);
  result.replicates = total;

  GofMedians medians;
  if (!ComputeGofMedians(n, medians)) {
    std::fprintf(stderr, "order-statistic median failed for n = %d\n", n);
    std::exit(1);
  }
  ShapiroWilkCoefficients(n);

  // Part 1: every statistic of the first `full` replicates.
  std::vector<std::vector<double>> values(S, std::vector<double>(size_t(full)));
  ParallelBlocks(options.threads, 0, full / BLOCK, [&](int64_t block, int) {
    Xoshiro256 rng(BlockSeed(options.seed, k, block));
    std::vector<double> x(n);
    double statistics[S];
    for (int64_t r = block * BLOCK; r < (block + 1) * BLOCK; ++r) {
      SortedUniforms(rng, n, x.data());
      ComputeGofStatistics(x.data(), n, medians, statistics);
      for (int s = 0; s < S; ++s) values[s][size_t(r)] = statistics[s];
    }
  });
  {
    std::vector<std::thread> sorters;
    for (int s = 0; s < S; ++s) sorters.emplace_back([&, s] { std::sort(values[s].begin(), values[s].end()); });
    for (std::thread& t : sorters) t.join();
  }

  // Part 2: the tails of the remaining replicates.
  std::vector<std::vector<double>> low(S), high(S);
  const bool tails = total > full;
  if (tails) {
    double lowBound[S], highBound[S];
    for (int s = 0; s < S; ++s) {
      lowBound[s] = values[s][size_t(TAIL_KEEP * full)];
      highBound[s] = values[s][size_t((1 - TAIL_KEEP) * full)];
      for (double v : values[s]) {
        if (v < lowBound[s]) low[s].push_back(v);
        if (v > highBound[s]) high[s].push_back(v);
      }
    }
    std::vector<std::vector<std::vector<double>>> threadLow(options.threads, std::vector<std::vector<double>>(S));
    std::vector<std::vector<std::vector<double>>> threadHigh = threadLow;
    ParallelBlocks(options.threads, full / BLOCK, total / BLOCK, [&](int64_t block, int t) {
      Xoshiro256 rng(BlockSeed(options.seed, k, block));
      std::vector<double> x(n);
      double statistics[S];
      for (int64_t r = 0; r < BLOCK; ++r) {
        SortedUniforms(rng, n, x.data());
        ComputeGofStatistics(x.data(), n, medians, statistics);
        for (int s = 0; s < S; ++s) {
          if (statistics[s] < lowBound[s]) threadLow[t][s].push_back(statistics[s]);
          if (statistics[s] > highBound[s]) threadHigh[t][s].push_back(statistics[s]);
        }
      }
    });
    for (int t = 0; t < options.threads; ++t)
      for (int s = 0; s < S; ++s) {
        low[s].insert(low[s].end(), threadLow[t][s].begin(), threadLow[t][s].end());
        high[s].insert(high[s].end(), threadHigh[t][s].begin(), threadHigh[t][s].end());
      }
    for (int s = 0; s < S; ++s) {
      std::sort(low[s].begin(), low[s].end());
      std::sort(high[s].begin(), high[s].end());
    }
  }

  // Order statistic of rank h (1-based, fractional: linear interpolation)
  // among count values, from the sorted full part or the tail buffers.
  for (int s = 0; s < S; ++s) {
    for (int j = 0; j < J; ++j) {
      const double level = gofLevels[j];
      const bool useTails = tails && (level <= TAIL_LEVEL || level >= 1 - TAIL_LEVEL);
      const double count = double(useTails ? total : full);
      auto rank = [&](double h) {
        h = std::clamp(h, 1.0, count);
        auto at = [&](int64_t r) {  // r in 1 .. count
          if (!useTails) return values[s][size_t(r - 1)];
          if (r <= int64_t(low[s].size())) return low[s][size_t(r - 1)];
          int64_t fromTop = int64_t(count) - r;  // 0 for the largest
          if (fromTop < int64_t(high[s].size())) return high[s][high[s].size() - 1 - size_t(fromTop)];
          std::fprintf(stderr, "rank %" PRId64 " outside the tail buffers (%s, n = %d)\n", r, STATISTIC_NAMES[s], n);
          std::exit(1);
        };
        int64_t r = int64_t(std::floor(h));
        double frac = h - double(r);
        if (r >= int64_t(count)) return at(int64_t(count));
        return at(r) + frac * (at(r + 1) - at(r));
      };
      const double h = level * (count + 1);
      const double spread = std::sqrt(count * level * (1 - level));
      result.q[s][j] = rank(h);
      result.error[s][j] = (rank(h + spread) - rank(h - spread)) / 2;
    }
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  return result;
}

// ---- cache and output -------------------------------------------------------

// Opens path for writing, or ends the program.
FILE* CreateOrExit(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (!file) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  return file;
}

std::string CachePath(const Options& options, int k) {
  char name[64];
  std::snprintf(name, sizeof name, "/size-%05d.txt", int(gofSizes[k]));
  return options.cache + name;
}

bool LoadCached(const Options& options, int k, SizeResult& result) {
  FILE* file = std::fopen(CachePath(options, k).c_str(), "r");
  if (!file) return false;
  uint64_t seed = 0;
  bool ok = std::fscanf(file, "%" SCNu64 " %" SCNd64 " %lf", &seed, &result.replicates, &result.seconds) == 3 &&
            seed == options.seed && result.replicates == Replicates(options, int(gofSizes[k]));
  for (int s = 0; ok && s < S; ++s)
    for (int j = 0; ok && j < J; ++j) ok = std::fscanf(file, "%lf %lf", &result.q[s][j], &result.error[s][j]) == 2;
  std::fclose(file);
  return ok;
}

void SaveCached(const Options& options, int k, const SizeResult& result) {
  std::string path = CachePath(options, k);
  FILE* file = CreateOrExit(path + ".tmp");
  std::fprintf(file, "%" PRIu64 " %" PRId64 " %.3f\n", options.seed, result.replicates, result.seconds);
  for (int s = 0; s < S; ++s)
    for (int j = 0; j < J; ++j) std::fprintf(file, "%.17g %.17g\n", result.q[s][j], result.error[s][j]);
  std::fclose(file);
  std::rename((path + ".tmp").c_str(), path.c_str());
}

void WriteTable(const Options& options, const std::vector<SizeResult>& sizes, const std::vector<std::vector<double>>& ks,
                double seconds) {
  FILE* file = CreateOrExit(options.table);
  std::fprintf(file,
               "// Quantiles of the seven goodness-of-fit statistics: gofQuantiles[s][j][k] is\n"
               "// the value that statistic s of gofSizes[k] uniform values stays at or below\n"
               "// with probability gofLevels[j].\n"
               "//\n"
               "// Generated by tools/gof/GofQuantileGenerator.cpp (see tools/gof/README.md);\n"
               "// do not edit. Command line:\n"
               "//   %s\n"
               "// Seed %" PRIu64 "; the Monte Carlo took %.0f s on %d threads.\n"
               "// KS: the exact finite-n distribution (Marsaglia, Tsang and Wang 2003).\n"
               "// AD, SL, CM, SW, CC, AV: Monte Carlo with these replicates per size (levels\n"
               "// 0.003 .. 0.997 from the first %" PRId64 " when there are more):\n",
               options.commandLine.c_str(), options.seed, seconds, options.threads, options.fullCap / BLOCK * BLOCK);
  for (int k = 0; k < K; ++k)
    std::fprintf(file, "%s n = %5d: %10" PRId64 "%s", k % 3 == 0 ? "//  " : ",  ", int(gofSizes[k]),
                 sizes[k].replicates, k % 3 == 2 || k == K - 1 ? "\n" : "");
  std::fprintf(file,
               "// The standard error of every value is in tools/gof/GofQuantileErrors.txt.\n"
               "#include \"battery/GofTables.h\"\n\n"
               "const double gofQuantiles[GOF_STATISTICS][GOF_LEVELS][GOF_SIZES] = {\n");
  for (int s = 0; s < S; ++s) {
    std::fprintf(file, "  {  // %s\n", STATISTIC_NAMES[s]);
    for (int j = 0; j < J; ++j) {
      std::fprintf(file, "    {  // level %g\n     ", gofLevels[j]);
      for (int k = 0; k < K; ++k) {
        double v = s == GOF_KS ? ks[k][j] : sizes[k].q[s][j];
        std::fprintf(file, " %.12g,%s", v, k % 6 == 5 && k != K - 1 ? "\n     " : "");
      }
      std::fprintf(file, "\n    },\n");
    }
    std::fprintf(file, "  },\n");
  }
  std::fprintf(file, "};\n");
  std::fclose(file);
}

void WriteErrors(const Options& options, const std::vector<SizeResult>& sizes, const std::vector<std::vector<double>>& ks) {
  FILE* file = CreateOrExit(options.errors);
  std::fprintf(file,
               "# Standard errors of the quantile table battery/GofQuantiles.cpp, one line per\n"
               "# value: statistic, level index j, size index k, n, level, table value,\n"
               "# standard error, replicates. KS values are exact (error 0); the Monte Carlo\n"
               "# estimate of KS from the same replicates follows on its lines, as a check of\n"
               "# the sampler.\n");
  for (int s = 0; s < S; ++s)
    for (int j = 0; j < J; ++j)
      for (int k = 0; k < K; ++k) {
        const SizeResult& r = sizes[k];
        if (s == GOF_KS)
          std::fprintf(file, "KS %d %d %d %.6g %.12g 0 %" PRId64 " %.12g %.6g\n", j, k, int(gofSizes[k]), gofLevels[j],
                       ks[k][j], r.replicates, r.q[s][j], r.error[s][j]);
        else
          std::fprintf(file, "%s %d %d %d %.6g %.12g %.6g %" PRId64 "\n", STATISTIC_NAMES[s], j, k, int(gofSizes[k]),
                       gofLevels[j], r.q[s][j], r.error[s][j], r.replicates);
      }
  std::fclose(file);
}

void Usage() {
  std::fprintf(stderr,
               "usage: gof_quantiles [--seed S] [--min-replicates R] [--max-replicates R]\n"
               "                     [--values-per-size V] [--full-cap R] [--threads T]\n"
               "                     [--table FILE] [--errors FILE] [--cache DIR] [--ks-check]\n");
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  options.commandLine = "gof_quantiles";
  bool ksCheck = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--ks-check") {
      ksCheck = true;
      continue;
    }
    if (i + 1 >= argc) Usage();
    std::string value = argv[++i];
    options.commandLine += " " + arg + " " + value;
    if (arg == "--seed")
      options.seed = std::strtoull(value.c_str(), nullptr, 10);
    else if (arg == "--min-replicates")
      options.minReplicates = std::atoll(value.c_str());
    else if (arg == "--max-replicates")
      options.maxReplicates = std::atoll(value.c_str());
    else if (arg == "--values-per-size")
      options.valuesPerSize = std::atof(value.c_str());
    else if (arg == "--full-cap")
      options.fullCap = std::atoll(value.c_str());
    else if (arg == "--threads")
      options.threads = std::max(1, std::atoi(value.c_str()));
    else if (arg == "--table")
      options.table = value;
    else if (arg == "--errors")
      options.errors = value;
    else if (arg == "--cache")
      options.cache = value;
    else
      Usage();
  }
  if (ksCheck) {  // a few exact values, for comparison with published ones
    for (int n : {3, 10, 80, 960, 13625})
      for (double level : {0.01, 0.5, 0.99})
        std::printf("n = %5d  level %-5g  d = %.12g\n", n, level, KsExactQuantile(n, level));
    return 0;
  }
  std::string mkdir = "mkdir -p '" + options.cache + "'";
  if (std::system(mkdir.c_str()) != 0) return 1;

  const auto begin = std::chrono::steady_clock::now();
  // The exact KS quantiles: one task per (size, level), the largest sizes
  // first since they cost the most.
  std::vector<std::vector<double>> ks(K, std::vector<double>(J));
  {
    std::string path = options.cache + "/ks-exact.txt";
    FILE* file = std::fopen(path.c_str(), "r");
    bool loaded = file != nullptr;
    for (int k = 0; loaded && k < K; ++k)
      for (int j = 0; loaded && j < J; ++j) loaded = std::fscanf(file, "%lf", &ks[k][j]) == 1;
    if (file) std::fclose(file);
    if (!loaded) {
      std::mutex logMutex;
      ParallelBlocks(options.threads, 0, int64_t(K) * J, [&](int64_t task, int) {
        int k = K - 1 - int(task / J), j = int(task % J);
        ks[k][j] = KsExactQuantile(int(gofSizes[k]), gofLevels[j]);
        if (j == J - 1) {
          std::lock_guard<std::mutex> lock(logMutex);
          std::fprintf(stderr, "KS exact n = %d done\n", int(gofSizes[k]));
        }
      });
      file = CreateOrExit(path);
      for (int k = 0; k < K; ++k)
        for (int j = 0; j < J; ++j) std::fprintf(file, "%.17g\n", ks[k][j]);
      std::fclose(file);
    }
  }
  std::fprintf(stderr, "KS exact: %.0f s\n",
               std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());

  std::vector<SizeResult> sizes(K);
  double simulationSeconds = 0;
  for (int k = 0; k < K; ++k) {
    if (!LoadCached(options, k, sizes[k])) {
      sizes[k] = SimulateSize(options, k);
      SaveCached(options, k, sizes[k]);
    }
    simulationSeconds += sizes[k].seconds;
    std::fprintf(stderr, "n = %5d: %" PRId64 " replicates, %.1f s\n", int(gofSizes[k]), sizes[k].replicates,
                 sizes[k].seconds);
  }
  // The table must be non-decreasing in the level; say so if it is not.
  for (int s = 0; s < S; ++s)
    for (int k = 0; k < K; ++k)
      for (int j = 1; j < J; ++j) {
        double previous = s == GOF_KS ? ks[k][j - 1] : sizes[k].q[s][j - 1];
        double current = s == GOF_KS ? ks[k][j] : sizes[k].q[s][j];
        if (current < previous)
          std::fprintf(stderr, "not increasing: %s n = %d level %g\n", STATISTIC_NAMES[s], int(gofSizes[k]),
                       gofLevels[j]);
      }
  WriteTable(options, sizes, ks, simulationSeconds);
  WriteErrors(options, sizes, ks);
  std::fprintf(stderr, "done: %.0f s\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
  return 0;
}
