#pragma once
// The window's default battery on a good generator, through the real engine:
// the parameter globals and the tests as the Start handler sets them from a
// window at its defaults, the engine's own checks, dispatch, results model,
// goodness-of-fit table and report rows. A run of S sequences can be split
// into parts (disjoint ranges of sequences of one generator stream), each
// an engine run of its own that sees the whole count S in its checks; the
// parts' p-values are then gathered into one results model, which gives the
// rows and tables that one engine run over all S sequences gives.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/GofResults.h"

class ResultsModel;

namespace nullrun {

struct BatteryConfig {
  uint32_t bits = 0;   // sequence length
  int sequences = 0;   // S, the whole run's count
  uint64_t seed = 0;   // of the generator stream
  std::string folder;  // an empty folder for the run's data files and report
  std::string binDir;  // where the data files and the generator module lie
  double ones = 0.5;   // the generator's P(1) (NullGen_SetOnes)
  std::string module;  // another generator plug-in; empty: binDir's null generator
};

// One engine run's part: its rows, the slot of each row, the p-values of its
// sequences (row r of sequence s at s * rows + r) and the run's log lines.
struct BatteryPart {
  std::vector<std::string> labels;
  std::vector<int> slots;
  int sequences = 0;
  std::vector<double> values;
  std::vector<std::string> log;
};

// The parameter globals, the enabled tests, both orders and the run
// settings as the Start handler sets them from a window whose controls
// hold their defaults, for sequences of `bits` bits.
void UseWindowDefaults(uint32_t bits, int sequences);

// Copies the data files (and the FFTW wisdom when there is one) from binDir
// into folder, which becomes dataDir. False when one is missing.
bool PrepareFolder(const BatteryConfig& config);

// Runs the engine on sequences first to first + count - 1 (from 0) of the
// stream, in config.folder (PrepareFolder). False, with the reason on
// stderr, when the engine stopped on an error or gave no rows.
bool RunBatteryPart(const BatteryConfig& config, int first, int count, BatteryPart* part);

bool SavePart(const BatteryPart& part, const std::string& path);
bool LoadPart(const std::string& path, BatteryPart* part);

// The parts in order in the model, as an engine run over all their
// sequences leaves it; returns Pearson's bin count. False when the parts'
// rows differ.
bool CombineParts(const std::vector<BatteryPart>& parts, ResultsModel& model, int* pearsonBins);

// The report's rows (without sequence columns) and its goodness-of-fit
// table, then the summary of the run against the calibration criteria.
void PrintBattery(FILE* out, const ResultsModel& model, const std::vector<int>& slots);

// Per test, its rows' p-values counted in the binomial threshold cells:
// where the rows' binomial statistics exceed their degrees of freedom.
void PrintThresholdCells(FILE* out, const ResultsModel& model, const std::vector<int>& slots);

// Each row's largest atom: the largest share of its valid p-values that are
// one and the same double. Prints the rows whose largest atom holds more
// than 0.1 % of their values (largest first) and how many rows there are.
void PrintAtoms(FILE* out, const ResultsModel& model);

// The log lines before the run's first line: the refusals and corrections
// of the engine's checks and the tests' constructors.
std::vector<std::string> CheckLines(const BatteryPart& part);
// The log lines of the CPU-time table and the testing phase's duration.
std::vector<std::string> CpuTimeLines(const BatteryPart& part);

}  // namespace nullrun
