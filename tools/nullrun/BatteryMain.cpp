// null_battery: the window's default battery on a good generator.
//   null_battery BITS SEQUENCES SEED [PROCESSES] [cells|atoms] [ones=P] [plugin=PATH]
// Runs the 26 tests the window offers, at the window's defaults, through
// the engine on SEQUENCES sequences of BITS bits of splitmix64 seeded with
// SEED, split over PROCESSES engine processes (default: one per processor
// the process may run on)
// that test disjoint ranges of the stream, and prints the report's rows and
// goodness-of-fit table for the whole run, each process's CPU-time lines,
// and a summary against the calibration criteria; with `cells`, then each
// test's p-values counted in the cells of the binomial threshold p-value;
// with `atoms`, the rows whose p-values hold a visible atom. `ones=P` makes
// each bit of the generator 1 with probability P (a biased source, to see
// the battery's power); `plugin=PATH` tests another generator plug-in
// instead (one without NullGen_Seek gives each process its own stream).
#include <sys/wait.h>
#include <unistd.h>
#include <wx/init.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/ResultsModel.h"
#include "platform/Processors.h"
#include "tools/nullrun/BatteryRun.h"
#include "tools/nullrun/NullRun.h"

namespace {

std::string PartFolder(const std::string& folder, int part) { return folder + "/part" + std::to_string(part); }

// One engine process's part: a folder of its own (the engine writes its
// report and the FFTW wisdom there) and its p-values saved for the parent.
int RunPart(nullrun::BatteryConfig config, int part, int parts) {
  config.folder = PartFolder(config.folder, part);
  if (!wxInitialize()) return 1;
  const int first = static_cast<int>(static_cast<int64_t>(config.sequences) * part / parts);
  const int last = static_cast<int>(static_cast<int64_t>(config.sequences) * (part + 1) / parts);
  nullrun::BatteryPart result;
  const bool ok = nullrun::PrepareFolder(config) && nullrun::RunBatteryPart(config, first, last - first, &result) &&
                  nullrun::SavePart(result, config.folder + "/values.bin");
  wxUninitialize();
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: null_battery BITS SEQUENCES SEED [PROCESSES] [cells|atoms] [ones=P] [plugin=PATH]\n");
    return 2;
  }
  nullrun::BatteryConfig config;
  config.bits = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 0));
  config.sequences = std::atoi(argv[2]);
  config.seed = std::strtoull(argv[3], nullptr, 0);
  // The named options may come anywhere after SEED; the positional ones
  // keep their places among the rest.
  std::vector<std::string> positional;
  for (int i = 4; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("ones=", 0) == 0) {
      char* end = nullptr;
      config.ones = std::strtod(arg.c_str() + 5, &end);
      if (end == arg.c_str() + 5 || *end != '\0' || !(config.ones >= 0 && config.ones <= 1)) return 2;
    } else if (arg.rfind("plugin=", 0) == 0) {
      config.module = std::filesystem::absolute(arg.substr(7)).string();
    } else {
      positional.push_back(arg);
    }
  }
  int parts = !positional.empty() ? std::atoi(positional[0].c_str()) : platform::ProcessorCount();
  const bool cells = positional.size() > 1 && positional[1] == "cells";
  const bool atoms = positional.size() > 1 && positional[1] == "atoms";
  if (config.bits < 32 || config.sequences < 1) return 2;
  parts = std::max(1, std::min(parts, config.sequences));
  config.binDir = nullrun::ExecutableFolder();
  char folderTemplate[] = "/tmp/null_battery.XXXXXX";
  if (mkdtemp(folderTemplate) == nullptr) return 1;
  config.folder = folderTemplate;
  for (int p = 0; p < parts; ++p) std::filesystem::create_directory(PartFolder(config.folder, p));

  const auto start = std::chrono::steady_clock::now();
  // The parts run in processes of their own, forked before this process
  // starts any thread; one part runs in this process.
  std::vector<pid_t> children;
  bool ok = true;
  if (parts == 1) {
    ok = RunPart(config, 0, 1) == 0;
  } else {
    for (int p = 0; p < parts; ++p) {
      const pid_t pid = fork();
      if (pid == 0) _exit(RunPart(config, p, parts));
      if (pid < 0) ok = false;
      children.push_back(pid);
    }
    for (pid_t pid : children) {
      int status = 0;
      if (pid <= 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) ok = false;
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::vector<nullrun::BatteryPart> results(parts);
  for (int p = 0; p < parts && ok; ++p) ok = nullrun::LoadPart(PartFolder(config.folder, p) + "/values.bin", &results[p]);
  int pearsonBins = 0;
  if (ok && wxInitialize()) {
    ResultsModel model;
    ok = nullrun::CombineParts(results, model, &pearsonBins);
    if (ok) {
      std::printf("# null_battery");
      for (int i = 1; i < argc; ++i) std::printf(" %s", argv[i]);
      std::string source = "splitmix64 (seed " + std::to_string(config.seed) + ")";
      if (config.ones != 0.5) source += " with P(1) = " + std::to_string(config.ones);
      if (!config.module.empty()) source = config.module;
      std::printf("\n# the window's default battery on %d sequences of %u bits of %s, "
                  "%d engine process(es), %.0f s\n\n",
                  config.sequences, config.bits, source.c_str(), parts, seconds);
      std::printf("# the engine's checks and the tests' constructors said:\n");
      for (const std::string& line : nullrun::CheckLines(results[0])) std::printf("#   %s\n", line.c_str());
      std::printf("\n");
      nullrun::PrintBattery(stdout, model, results[0].slots);
      if (cells) nullrun::PrintThresholdCells(stdout, model, results[0].slots);
      if (atoms) nullrun::PrintAtoms(stdout, model);
      for (int p = 0; p < parts; ++p) {
        std::printf("\n# engine process %d: %d sequences\n", p + 1, results[p].sequences);
        for (const std::string& line : nullrun::CpuTimeLines(results[p])) std::printf("%s\n", line.c_str());
      }
    }
    wxUninitialize();
  }
  std::error_code ignored;
  std::filesystem::remove_all(config.folder, ignored);
  if (!ok) std::fprintf(stderr, "null_battery: the run failed\n");
  return ok ? 0 : 1;
}
