// null_battery: the window's default battery on a good generator.
//   null_battery BITS SEQUENCES SEED [PROCESSES] [cells]
// Runs the 26 tests the window offers, at the window's defaults, through
// the engine on SEQUENCES sequences of BITS bits of splitmix64 seeded with
// SEED, split over PROCESSES engine processes (default: one per processor
// the process may run on)
// that test disjoint ranges of the stream, and prints the report's rows and
// goodness-of-fit table for the whole run, each process's CPU-time lines,
// and a summary against the calibration criteria; with `cells`, then each
// test's p-values counted in the cells of the binomial threshold p-value.
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
    std::fprintf(stderr, "usage: null_battery BITS SEQUENCES SEED [PROCESSES] [cells]\n");
    return 2;
  }
  nullrun::BatteryConfig config;
  config.bits = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 0));
  config.sequences = std::atoi(argv[2]);
  config.seed = std::strtoull(argv[3], nullptr, 0);
  int parts = argc > 4 ? std::atoi(argv[4]) : platform::ProcessorCount();
  const bool cells = argc > 5 && std::string(argv[5]) == "cells";
  const bool atoms = argc > 5 && std::string(argv[5]) == "atoms";
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
      std::printf("\n# the window's default battery on %d sequences of %u bits of splitmix64 (seed %llu), "
                  "%d engine process(es), %.0f s\n\n",
                  config.sequences, config.bits, static_cast<unsigned long long>(config.seed), parts, seconds);
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
