#include "tools/nullrun/BatteryRun.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include <unistd.h>

#include "battery/Messages.h"
#include "battery/PValueTests.h"
#include "battery/RunState.h"
#include "battery/TESTthd.h"
#include "engine/Helpers.h"
#include "engine/ReportTables.h"
#include "engine/ResultsModel.h"
#include "engine/RunTests.h"
#include "engine/RunView.h"
#include "engine/TestFactory.h"
#include "platform/DynamicLibrary.h"
#include "platform/Processors.h"
#include "ui/StartHandler.h"

namespace nullrun {

namespace {

const char* const DATA_FILES[] = {"DAT_collision_limits.txt", "DAT_coupon.bin", "DAT_partition.bin",
                                  "DAT_ZarWlk.bin"};
const char* const WISDOM_FILE = "FFTWwisdom_f";
const char* const GENERATOR_MODULE = "NullGenerator.so";

// The window's run settings that are no test parameter: "P-value digits"
// 4, "Running priority" normal; "Concurrent threads" is the processor
// count (the main window's constructor sets it so).
constexpr int WINDOW_DIGITS = 4;
constexpr int WINDOW_PRIORITY = 0;

// The window lists the tests of slots 0 to RW 2-D in slot order; AQL has
// no entry and is never enabled from the window.
constexpr int WINDOW_TESTS = SLOT_RW2D + 1;

signed char startSlots[TEST_SLOTS];
signed char rowSlots[TEST_SLOTS];


// A view without a window: it keeps the log, answers the concurrency of the
// window's default, and asks the engine to stop once `stopAfter` sequences
// are collected (as a person pressing DEL), so that a part ends at its last
// sequence while the engine's checks saw the whole run's count.
class BatteryView : public RunView {
 public:
  explicit BatteryView(int stopAfter) : stopAfter_(stopAfter) {
    current_ = this;
    oldLog_ = SetLogHandler(KeepLog);
    oldBox_ = SetMessageBoxHandler(KeepBox);
  }
  ~BatteryView() override {
    SetMessageBoxHandler(oldBox_);
    SetLogHandler(oldLog_);
    current_ = nullptr;
  }
  BatteryView(const BatteryView&) = delete;
  BatteryView& operator=(const BatteryView&) = delete;

  std::string log;
  std::vector<std::string> boxes;  // "caption: text" of every message box, answered OK

  int Concurrency() override { return platform::ProcessorCount(); }
  std::string InputText() override { return GENERATOR_MODULE; }
  void SetStatus(int, const std::string&) override {}
  void ShowPage(int) override {}
  void DispatchEvents() override {
    if (runResults.Sequences() >= stopAfter_ && stopAfter_ < seqCount && runState == RunState::Running)
      runState = RunState::StopRequested;
  }
  void ClearResults() override {}
  bool ShowResults(const ResultsModel&, bool) override { return true; }
  void ShowPearson(const ResultsModel&) override {}
  void ShowPlot(const PlotSeries&) override {}
  void ShowGofTable(const GofResults&) override {}
  int LogLineCount() override {
    std::lock_guard<std::mutex> lock(logMutex_);
    return static_cast<int>(LogTextLines(log).size());
  }
  std::string LogLine(int line) override {
    std::lock_guard<std::mutex> lock(logMutex_);
    return LogTextLines(log)[line];
  }

 private:
  // Lines come from any thread.
  static void KeepLog(const wxString& text) {
    if (current_ == nullptr) return;
    std::lock_guard<std::mutex> lock(current_->logMutex_);
    current_->log += text.utf8_str().data();
  }
  static int KeepBox(const wxString& text, const wxString& caption, long) {
    wxString line = caption + ": " + text;
    line.Replace("\n", " ");
    if (current_ != nullptr) current_->boxes.push_back(line.utf8_str().data());
    return wxOK;
  }
  static BatteryView* current_;
  std::mutex logMutex_;  // log: appended from any thread
  int stopAfter_;
  LogHandler oldLog_ = nullptr;
  MessageBoxHandler oldBox_ = nullptr;
};

BatteryView* BatteryView::current_ = nullptr;

const char* const ENGINE_COST = "Engine's own time between the tests";

// The engine's own work in the sequence loop against its testing phase.
std::string EngineCostLine(const EngineCost& cost) {
  char text[160];
  std::snprintf(text, sizeof text, "%s: %.2f s of %.2f s (%.2f%%)", ENGINE_COST, cost.ownSeconds,
                cost.testingSeconds, cost.testingSeconds > 0 ? cost.ownSeconds / cost.testingSeconds * 100 : 0.0);
  return text;
}

bool CopyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  if (!in) return false;
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
  return static_cast<bool>(out);
}

using SeekFunction = void (*)(uint64_t seed, uint64_t word);
using OnesFunction = void (*)(double p);
using WordFunction = uint32_t (*)();

// Places the generator at word `word` of the seed's stream; a plug-in
// without NullGen_Seek just goes on.
void SeekGenerator(platform::DynamicLibrary* generator, uint64_t seed, uint64_t word) {
  auto seek = reinterpret_cast<SeekFunction>(platform::FindLibrarySymbol(generator, "NullGen_Seek"));
  if (seek != nullptr) seek(seed, word);
}

// The slot of every row: each test that the run kept is built again (its
// parameters as the engine's checks and constructors left them) and run on
// the part's first sequence; its labels must be the model's next rows.
bool RowSlots(platform::DynamicLibrary* generator, const BatteryConfig& config, int first, BatteryPart* part) {
  auto word = reinterpret_cast<WordFunction>(platform::FindLibrarySymbol(generator, "ZAR_GetUL"));
  const uint32_t words = config.bits / 32;
  std::vector<uint32_t> bits(words + 2, 0u);
  SeekGenerator(generator, config.seed, static_cast<uint64_t>(first) * words);
  for (uint32_t i = 0; i < words; ++i) bits[i] = word();
  char scratch[PATH_BUF_SIZE];
  pathBuf = scratch;
  seqBits = bits.data();
  EnsureLnFactorial(1 << 20);
  size_t row = 0;
  bool same = true;
  for (int s = 0; s < TEST_SLOTS && same; ++s) {
    if (!testTable[s].enabled) continue;
    TESTthd* test = CreateTest(s);
    if (test == nullptr || test->status != TEST_OK) {
      delete test;
      same = false;
      break;
    }
    test->slot = s;
    seqIndex = 1;
    test->RunTest();
    for (size_t k = 0; k < resultLabels[s].size(); ++k) {
      same = same && row < part->labels.size() && part->labels[row] == resultLabels[s][k];
      part->slots.push_back(s);
      ++row;
      delete[] resultLabels[s][k];
    }
    resultLabels[s].clear();
    resultPValues[s].clear();
    delete test;
  }
  delete[] lnFactorial;
  lnFactorial = nullptr;
  lnFactorialMax = 0;
  seqBits = nullptr;
  pathBuf = nullptr;
  return same && row == part->labels.size();
}

// KS p-value of the valid values against the uniform law; -1 for fewer
// than two.
double KsOf(std::vector<double> values) {
  values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return !(v > -1); }), values.end());
  if (values.size() < 2) return -1;
  std::sort(values.begin(), values.end());
  return KsUniformPValue(values.data(), static_cast<int>(values.size()));
}

}  // namespace

void UseWindowDefaults(uint32_t bits, int sequences) {
  FeedDefaultParameters();
  for (int s = 0; s < TEST_SLOTS; ++s) {
    testTable[s].enabled = s < WINDOW_TESTS;
    startSlots[s] = static_cast<signed char>(s);
    rowSlots[s] = static_cast<signed char>(s);
  }
  startOrder = startSlots;
  rowOrder = rowSlots;
  pvalueDigits = WINDOW_DIGITS;
  runPriority = WINDOW_PRIORITY;
  seqLen = bits;
  seqCount = sequences;
}

bool PrepareFolder(const BatteryConfig& config) {
  // The data files are only read: links to them do.
  for (const char* name : DATA_FILES)
    if (!std::ifstream(config.binDir + "/" + name) ||
        symlink((config.binDir + "/" + name).c_str(), (config.folder + "/" + name).c_str()) != 0) {
      std::fprintf(stderr, "missing data file %s/%s\n", config.binDir.c_str(), name);
      return false;
    }
  CopyFile(config.binDir + "/" + WISDOM_FILE, config.folder + "/" + WISDOM_FILE);
  return true;
}

bool RunBatteryPart(const BatteryConfig& config, int first, int count, BatteryPart* part) {
  const std::string modulePath = config.module.empty() ? config.binDir + "/" + GENERATOR_MODULE : config.module;
  platform::DynamicLibrary* generator = platform::LoadDynamicLibrary(modulePath.c_str());
  if (generator == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", modulePath.c_str(), platform::LoadErrorText().c_str());
    return false;
  }
  if (config.ones != 0.5) {
    auto setOnes = reinterpret_cast<OnesFunction>(platform::FindLibrarySymbol(generator, "NullGen_SetOnes"));
    if (setOnes == nullptr) {
      std::fprintf(stderr, "%s has no NullGen_SetOnes\n", modulePath.c_str());
      return false;
    }
    setOnes(config.ones);
  }
  SeekGenerator(generator, config.seed, static_cast<uint64_t>(first) * (config.bits / 32));

  std::vector<char> folder(config.folder.begin(), config.folder.end());
  folder.push_back('\0');
  char* const oldDataDir = dataDir;
  signed char* const oldStartOrder = startOrder;
  signed char* const oldRowOrder = rowOrder;
  dataDir = folder.data();
  UseWindowDefaults(config.bits, config.sequences);
  int result;
  std::string log;
  std::vector<std::string> boxes;
  {
    BatteryView view(count);
    result = RunTests(view, generator);
    log = view.log;
    boxes = view.boxes;
  }
  *part = BatteryPart();
  for (const std::string& box : boxes) part->log.push_back("[box] " + box);
  for (const std::string& line : LogTextLines(log)) part->log.push_back(line);
  if (result == 0) part->log.push_back(EngineCostLine(lastEngineCost));
  const ResultsModel& model = runResults;
  part->sequences = model.Sequences();
  for (int r = 0; r < model.Rows(); ++r) part->labels.push_back(model.Label(r));
  for (int s = 0; s < model.Sequences(); ++s)
    for (int r = 0; r < model.Rows(); ++r) part->values.push_back(model.Value(r, s));
  bool ok = result == 0 && model.Rows() > 0 && part->sequences == count;
  if (!ok) std::fprintf(stderr, "the engine ran %d of %d sequences:\n%s\n", part->sequences, count, log.c_str());
  // The tests built again see the run's count, as the engine's did.
  seqCount = config.sequences;
  if (ok && !RowSlots(generator, config, first, part)) {
    std::fprintf(stderr, "the tests built alone do not give the run's rows\n");
    ok = false;
  }
  dataDir = oldDataDir;
  startOrder = oldStartOrder;
  rowOrder = oldRowOrder;
  platform::FreeDynamicLibrary(generator);
  return ok;
}

bool SavePart(const BatteryPart& part, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << part.labels.size() << ' ' << part.sequences << ' ' << part.log.size() << '\n';
  for (size_t r = 0; r < part.labels.size(); ++r) out << part.slots[r] << ' ' << part.labels[r] << '\n';
  for (const std::string& line : part.log) out << line << '\n';
  out.write(reinterpret_cast<const char*>(part.values.data()),
            static_cast<std::streamsize>(part.values.size() * sizeof(double)));
  return static_cast<bool>(out);
}

bool LoadPart(const std::string& path, BatteryPart* part) {
  std::ifstream in(path, std::ios::binary);
  size_t rows = 0, lines = 0;
  *part = BatteryPart();
  in >> rows >> part->sequences >> lines;
  in.ignore(1);
  std::string line;
  for (size_t r = 0; r < rows && in; ++r) {
    int slot = -1;
    in >> slot;
    in.ignore(1);
    std::getline(in, line);
    part->slots.push_back(slot);
    part->labels.push_back(line);
  }
  for (size_t i = 0; i < lines && std::getline(in, line); ++i) part->log.push_back(line);
  part->values.resize(rows * static_cast<size_t>(part->sequences));
  in.read(reinterpret_cast<char*>(part->values.data()), static_cast<std::streamsize>(part->values.size() * sizeof(double)));
  return static_cast<bool>(in) && rows > 0;
}

bool CombineParts(const std::vector<BatteryPart>& parts, ResultsModel& model, int* pearsonBins) {
  model.Reset(WINDOW_DIGITS, std::pow(10.0, 1 - WINDOW_DIGITS));
  if (parts.empty()) return false;
  for (const BatteryPart& part : parts)
    if (part.labels != parts[0].labels || part.slots != parts[0].slots) return false;
  for (const std::string& label : parts[0].labels) model.AddRow(label);
  int sequences = 0;
  for (const BatteryPart& part : parts) {
    for (int s = 0; s < part.sequences; ++s) model.AddSequence(part.values.data() + static_cast<size_t>(s) * model.Rows());
    sequences += part.sequences;
  }
  // The engine's last update of the loop, its end of run, and its final
  // update of the window.
  model.UpdateStatistics();
  *pearsonBins = model.FinishRun(sequences);
  model.UpdateStatistics();
  return true;
}

std::vector<std::string> CpuTimeLines(const BatteryPart& part) {
  std::vector<std::string> lines;
  bool inTable = false;
  for (const std::string& line : part.log) {
    if (line.find("= CPU time taken by each test") != std::string::npos) inTable = true;
    if (inTable || line.rfind("Testing phase duration", 0) == 0 || line.rfind(ENGINE_COST, 0) == 0)
      lines.push_back(line);
    if (line.find("Total CPU time:") != std::string::npos) inTable = false;
  }
  return lines;
}

std::vector<std::string> CheckLines(const BatteryPart& part) {
  std::vector<std::string> lines;
  for (const std::string& line : part.log) {
    if (line.rfind("n= ", 0) == 0) break;
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

namespace {

// A row's column value as the summary judges it: a " fail" as 0, nothing
// for a row the column does not judge.
struct ColumnValue {
  double value;
  int row;
};

std::vector<ColumnValue> ColumnValues(const ResultsModel& model, int column) {
  std::vector<ColumnValue> values;
  for (int r = 0; r < model.Rows(); ++r) {
    double v = -2;
    if (column == 0) v = model.FinalKs()[r];
    if (column == 1) v = model.FinalAd()[r];
    if (column == 2 && model.Stats(r).judged && !model.Stats(r).binoSlash) v = model.Stats(r).bino;
    if (column == 3 && r < static_cast<int>(model.Pearson().size()) && model.Pearson()[r].m > 0 && !model.Pearson()[r].slash)
      v = model.Pearson()[r].pvalue;
    if (v == PVALUE_FAIL) v = 0;
    if (v >= 0) values.push_back({v, r});
  }
  return values;
}

// Each column of the table over its rows: no row below 1e-5, at most 3
// below 1e-3 and 12 below 1e-2, and the values above 1e-3, rescaled to
// [0, 1] (uniform there under the null), with a KS p-value of at least
// 1e-3; its lowest rows.
void JudgeColumns(FILE* out, const ResultsModel& model, std::vector<std::string>* failing) {
  static const char* const NAMES[] = {"KS", "AD", "Bino", "Pearson"};
  std::fprintf(out, "\nPer column: its rows, the rows below 1e-5, 1e-3 and 1e-2 (at most 0, 3 and 12), the KS p-value of\n"
                    "the values above 1e-3 rescaled to [0, 1] (at least 1e-3), and its five lowest rows\n");
  for (int column = 0; column < 4; ++column) {
    std::vector<ColumnValue> values = ColumnValues(model, column);
    if (values.empty()) continue;
    std::sort(values.begin(), values.end(), [](const ColumnValue& a, const ColumnValue& b) { return a.value < b.value; });
    int below[3] = {0, 0, 0};
    std::vector<double> above;
    for (const ColumnValue& v : values) {
      below[0] += v.value < 1e-5;
      below[1] += v.value < 1e-3;
      below[2] += v.value < 1e-2;
      if (v.value >= 1e-3) above.push_back((v.value - 1e-3) / (1 - 1e-3));
    }
    const double ks = above.size() >= 2 ? KsOf(above) : -1;
    std::fprintf(out, "%-8s %4zu rows: below 1e-5 %d, below 1e-3 %d, below 1e-2 %d; KS of the %zu above 1e-3 %.3g\n",
                 NAMES[column], values.size(), below[0], below[1], below[2], above.size(), ks);
    for (size_t i = 0; i < values.size() && i < 5; ++i)
      std::fprintf(out, "           %9.3g  %s\n", values[i].value, model.Label(values[i].row).c_str());
    const std::string name = std::string(NAMES[column]) + " column: ";
    if (below[0] > 0) failing->push_back(name + std::to_string(below[0]) + " rows below 1e-5");
    if (below[1] > 3) failing->push_back(name + std::to_string(below[1]) + " rows below 1e-3");
    if (below[2] > 12) failing->push_back(name + std::to_string(below[2]) + " rows below 1e-2");
    if (ks > -1 && ks < 1e-3) failing->push_back(name + "KS of its values above 1e-3 below 1e-3");
  }
}

// A row's largest atom: the most values that are one and the same double.
struct Atom {
  double share, value;
  int count, distinct, row;
};

std::vector<Atom> LargestAtoms(const ResultsModel& model) {
  std::vector<Atom> atoms;
  for (int r = 0; r < model.Rows(); ++r) {
    const std::vector<double>& v = model.Sorted(r);
    if (v.empty()) continue;
    size_t best = 0, bestAt = 0;
    int distinct = 0;
    for (size_t i = 0, j; i < v.size(); i = j) {
      for (j = i; j < v.size() && v[j] == v[i]; ++j) {
      }
      ++distinct;
      if (j - i > best) best = j - i, bestAt = i;
    }
    atoms.push_back({static_cast<double>(best) / v.size(), v[bestAt], static_cast<int>(best), distinct, r});
  }
  std::sort(atoms.begin(), atoms.end(), [](const Atom& a, const Atom& b) { return a.share > b.share; });
  return atoms;
}

// An atom the second level can see: one value held by more than 0.1 % of
// a row's values (and by two values at least).
bool VisibleAtom(const Atom& a) { return a.share > 0.001 && a.count >= 2; }

void JudgeAtoms(FILE* out, const ResultsModel& model, std::vector<std::string>* failing) {
  const std::vector<Atom> atoms = LargestAtoms(model);
  int visible = 0;
  for (const Atom& a : atoms) visible += VisibleAtom(a);
  std::fprintf(out, "\nRows whose largest atom (one p-value value, at full precision) holds more than 0.1 %% of their values: %d\n",
               visible);
  for (int i = 0; i < visible && i < 10; ++i)
    std::fprintf(out, "  %-34s %7d values %8.4f%%\n", model.Label(atoms[i].row).c_str(), atoms[i].count, 100 * atoms[i].share);
  if (visible > 0)
    failing->push_back(std::to_string(visible) + " rows whose largest atom holds more than 0.1 % of their values");
}

}  // namespace

void PrintBattery(FILE* out, const ResultsModel& model, const std::vector<int>& slots) {
  const int rows = model.Rows();
  const PlotSeries series = SortedPlotSeries(rows, model.FinalKs().data(), model.FinalAd().data());
  GofResults gof{};
  const bool haveGof = rows > 1 && series.Count() >= 3;
  if (haveGof) gof = ComputeGofResults(series);
  WriteReportTables(out, model, 0, 0, haveGof ? &gof : nullptr);

  std::fprintf(out, "\n\n == Summary ==\n\n");
  int ksRow = -1, adRow = -1;
  double binoSum = 0, pearsonMin = 2;
  int binoCount = 0;
  std::vector<double> pearson;
  for (int r = 0; r < rows; ++r) {
    if (model.FinalKs()[r] > -1 && (ksRow < 0 || model.FinalKs()[r] < model.FinalKs()[ksRow])) ksRow = r;
    if (model.FinalAd()[r] > -1 && (adRow < 0 || model.FinalAd()[r] < model.FinalAd()[adRow])) adRow = r;
    const ResultsModel::RowStats& s = model.Stats(r);
    // A " fail" (a p-value below what the law resolves) counts as 0.
    if (s.judged && !s.binoSlash) {
      binoSum += std::max(0.0, s.bino);
      ++binoCount;
    }
    if (r < static_cast<int>(model.Pearson().size()) && model.Pearson()[r].m > 0 && !model.Pearson()[r].slash) {
      pearson.push_back(std::max(0.0, model.Pearson()[r].pvalue));
      pearsonMin = std::min(pearsonMin, pearson.back());
    }
  }
  if (ksRow >= 0) std::fprintf(out, "Lowest row KS p-value: %.3g (%s)\n", model.FinalKs()[ksRow], model.Label(ksRow).c_str());
  if (adRow >= 0) std::fprintf(out, "Lowest row AD p-value: %.3g (%s)\n", model.FinalAd()[adRow], model.Label(adRow).c_str());
  std::fprintf(out, "Bino column mean over %d rows (a fail as 0): %.4f\n", binoCount, binoCount > 0 ? binoSum / binoCount : -1.0);
  if (!pearson.empty())
    std::fprintf(out, "Pearson p-values of %zu rows (a fail as 0): lowest %.3g, KS against uniform %.3g\n", pearson.size(),
                 pearsonMin, KsOf(pearson));
  if (haveGof) {
    int cell = 0;
    for (int k = 0; k < GOF_STATISTICS * 2; ++k)
      if (gof.probability[k / 2][k % 2] < gof.probability[cell / 2][cell % 2]) cell = k;
    std::fprintf(out, "Lowest goodness-of-fit cell: statistic %s, column %s: %s\n", GOF_ROW_LABELS[cell / 2], cell % 2 == 0 ? "KS" : "AD",
                 GofCellText(gof.probability[cell / 2][cell % 2]).c_str());
  }

  std::fprintf(out, "\nPer test: rows, lowest row KS and AD p-values, KS of the rows' AD p-values against uniform\n");
  std::vector<std::string> failing;
  for (int slot = 0; slot < TEST_SLOTS; ++slot) {
    std::vector<double> ad;
    double ksMin = 2, adMin = 2;
    for (int r = 0; r < rows; ++r) {
      if (slots[r] != slot) continue;
      ad.push_back(model.FinalAd()[r]);
      if (model.FinalKs()[r] > -1) ksMin = std::min(ksMin, model.FinalKs()[r]);
      if (model.FinalAd()[r] > -1) adMin = std::min(adMin, model.FinalAd()[r]);
      if (model.FinalKs()[r] > -1 && model.FinalKs()[r] < 1e-5) failing.push_back(model.Label(r) + ": row KS below 1e-5");
      if (model.FinalAd()[r] > -1 && model.FinalAd()[r] < 1e-5) failing.push_back(model.Label(r) + ": row AD below 1e-5");
    }
    if (ad.empty()) continue;
    const double ks = KsOf(ad);
    std::fprintf(out, "%-34s %4zu  %9.3g  %9.3g  %9.3g\n", testTable[slot].name, ad.size(), ksMin, adMin, ks);
    if (ks > -1 && ks < 1e-3) failing.push_back(std::string(testTable[slot].name) + ": its rows' AD p-values have KS below 1e-3");
  }
  JudgeColumns(out, model, &failing);
  JudgeAtoms(out, model, &failing);
  if (binoCount > 0 && (binoSum / binoCount < 0.47 || binoSum / binoCount > 0.53))
    failing.push_back("Bino column mean outside 0.47 to 0.53");
  if (haveGof)
    for (int k = 0; k < GOF_STATISTICS * 2; ++k)
      if (gof.probability[k / 2][k % 2] < 0.01)
        failing.push_back(std::string("goodness-of-fit cell ") + GOF_ROW_LABELS[k / 2] + (k % 2 == 0 ? " KS" : " AD") +
                          " below 0.01");
  std::fprintf(out, "\nCalibration criteria not met: %zu\n", failing.size());
  for (const std::string& f : failing) std::fprintf(out, "  %s\n", f.c_str());
}

void PrintThresholdCells(FILE* out, const ResultsModel& model, const std::vector<int>& slots) {
  constexpr int CELLS = BINOMIAL_THRESHOLD_COUNT + 1;
  // Cell c lies between threshold c - 1 (0 for the first) and threshold c
  // (1 for the last), as the binomial threshold p-value counts them.
  auto lower = [](int c) { return c == 0 ? 0.0 : BINOMIAL_THRESHOLDS[c - 1]; };
  auto upper = [](int c) { return c == CELLS - 1 ? 1.0 : BINOMIAL_THRESHOLDS[c]; };
  std::fprintf(out, "\n\n == Threshold cells per test ==\n\n"
                    "Per test (and all rows): its rows, their binomial statistics (the chi-square over the cells)\n"
                    "summed against their degrees of freedom summed; then per cell, from [0, 0.001) to [0.999, 1]:\n"
                    "  O/E  the cell's count over all its rows against its expected count,\n"
                    "  chi  the cell's terms (O - E)^2 / E summed over its rows against rows x (1 - width),\n"
                    "       both 1 on average under the null. Rows with fewer than 5,000 values are left out.\n");
  std::fprintf(out, "%-10s", "cell from");
  for (int c = 0; c < CELLS; ++c) std::fprintf(out, " %6g", lower(c));
  std::fprintf(out, "\n");
  auto printTest = [&](const char* name, int slot) {
    std::vector<double> observed(CELLS, 0), expected(CELLS, 0), terms(CELLS, 0), termsExpected(CELLS, 0);
    double statistic = 0;
    int rows = 0;
    for (int r = 0; r < model.Rows(); ++r) {
      if (slot >= 0 && slots[r] != slot) continue;
      const std::vector<double>& v = model.Sorted(r);
      const double n = static_cast<double>(v.size());
      if (n < 5000) continue;
      ++rows;
      for (int c = 0; c < CELLS; ++c) {
        auto count = [&](double t) { return t >= 1.0 ? n : static_cast<double>(std::lower_bound(v.begin(), v.end(), t) - v.begin()); };
        const double o = count(upper(c)) - count(lower(c)), e = n * (upper(c) - lower(c));
        observed[c] += o;
        expected[c] += e;
        terms[c] += (o - e) * (o - e) / e;
        termsExpected[c] += 1.0 - (upper(c) - lower(c));
      }
    }
    if (rows == 0) return;
    for (int c = 0; c < CELLS; ++c) statistic += terms[c];
    std::fprintf(out, "\n%s: %d rows, statistics %.1f against %d\n", name, rows, statistic, rows * (CELLS - 1));
    std::fprintf(out, "%-10s", "  O/E");
    for (int c = 0; c < CELLS; ++c) std::fprintf(out, " %6.3f", observed[c] / expected[c]);
    std::fprintf(out, "\n%-10s", "  chi");
    for (int c = 0; c < CELLS; ++c) std::fprintf(out, " %6.3f", terms[c] / termsExpected[c]);
    std::fprintf(out, "\n");
  };
  printTest("All rows", -1);
  for (int slot = 0; slot < TEST_SLOTS; ++slot) printTest(testTable[slot].name, slot);
}

void PrintAtoms(FILE* out, const ResultsModel& model) {
  const std::vector<Atom> atoms = LargestAtoms(model);
  std::fprintf(out, "\n\n == Atoms ==\n\nEach row whose largest atom holds more than 0.1 %% of its values, largest first\n");
  std::fprintf(out, "%-34s %9s %7s  %-22s %9s\n", "row", "share", "count", "value", "distinct");
  for (const Atom& a : atoms)
    if (VisibleAtom(a))
      std::fprintf(out, "%-34s %8.4f%% %7d  %-22.17g %9d\n", model.Label(a.row).c_str(), 100 * a.share, a.count, a.value,
                   a.distinct);
}

}  // namespace nullrun
