// The whole-battery null run: the window's defaults without a window are
// what the Start handler feeds from the real window, and a tiny run split
// into two engine runs prints exactly the rows of one engine run over all
// its sequences, which are the rows of that run's own report.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/ResultsModel.h"
#include "engine/RunTests.h"
#include "platform/DynamicLibrary.h"
#include "support/ProgramWindow.h"
#include "tools/nullrun/BatteryRun.h"
#include "ui/TestPanels.h"

namespace {

// Every global the panel table feeds, the enabled flags and the run
// settings the Start handler sets.
std::vector<long long> FedState() {
  std::vector<long long> state;
  for (const TestPanelSpec& test : TEST_PANELS)
    for (size_t i = 0; i < test.paramCount; ++i) {
      const ParamSpec& p = test.params[i];
      if (p.intGlobal != nullptr) state.push_back(*p.intGlobal);
      if (p.unsignedGlobal != nullptr) state.push_back(*p.unsignedGlobal);
    }
  for (const TestEntry& entry : testTable) state.push_back(entry.enabled);
  state.push_back(pvalueDigits);
  state.push_back(runPriority);
  state.push_back(seqLen);
  state.push_back(seqCount);
  return state;
}

void Scramble() {
  for (const TestPanelSpec& test : TEST_PANELS)
    for (size_t i = 0; i < test.paramCount; ++i) {
      const ParamSpec& p = test.params[i];
      if (p.intGlobal != nullptr) *p.intGlobal = 12345;
      if (p.unsignedGlobal != nullptr) *p.unsignedGlobal = 12345;
    }
  for (TestEntry& entry : testTable) entry.enabled = !entry.enabled;
  pvalueDigits = runPriority = 9;
}

std::string Printed(const ResultsModel& model, const std::vector<int>& slots) {
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  nullrun::PrintBattery(out, model, slots);
  fclose(out);
  std::string printed(text, size);
  free(text);
  return printed;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST_F(ProgramWindowTest, WindowDefaultsWithoutAWindowAreTheStartHandlersFeed) {
  frame->CopyParameters();
  frame->EnableTests();
  const std::vector<long long> fed = FedState();
  int enabled = 0;
  for (const TestEntry& entry : testTable) enabled += entry.enabled;
  EXPECT_EQ(enabled, 26);

  const uint32_t length = seqLen;
  const int count = seqCount;
  Scramble();
  nullrun::UseWindowDefaults(length, count);
  EXPECT_EQ(FedState(), fed);
  for (TestEntry& entry : testTable) entry.enabled = false;
  startOrder = rowOrder = nullptr;
}

struct NullBatteryTest : DataFolderTest {
  nullrun::BatteryConfig config;
  void SetUp() override {
    DataFolderTest::SetUp();
    config.bits = 1 << 15;
    config.sequences = 6;
    config.seed = 7;
    config.folder = folder;
    config.binDir = QV_BIN_DIR;
    ASSERT_TRUE(nullrun::PrepareFolder(config));
  }
  void TearDown() override {
    for (TestEntry& entry : testTable) entry.enabled = false;
    runState = RunState::Idle;
    DataFolderTest::TearDown();
  }
};

TEST_F(NullBatteryTest, PartsGiveTheRowsOfOneRunAndOfItsReport) {
  nullrun::BatteryPart whole, first, second;
  ASSERT_TRUE(nullrun::RunBatteryPart(config, 0, 6, &whole));
  std::ifstream reportFile(folder + "/_Quorvane.txt");
  const std::string report((std::istreambuf_iterator<char>(reportFile)), {});
  ASSERT_TRUE(nullrun::RunBatteryPart(config, 0, 2, &first));
  ASSERT_TRUE(nullrun::RunBatteryPart(config, 2, 4, &second));
  EXPECT_EQ(second.sequences, 4);
  EXPECT_FALSE(nullrun::CpuTimeLines(whole).empty());

  ResultsModel one, two;
  int bins = 0;
  ASSERT_TRUE(nullrun::CombineParts({whole}, one, &bins));
  EXPECT_EQ(bins, 2);
  ASSERT_TRUE(nullrun::CombineParts({first, second}, two, &bins));
  const std::string printed = Printed(one, whole.slots);
  EXPECT_EQ(Printed(two, first.slots), printed);

  // The header, the three summary rows and every result row, each the start
  // of the report's line (which goes on with the sequence columns); then
  // the goodness-of-fit table as the report has it, and the summary.
  const std::vector<std::string> lines = Lines(printed);
  const size_t rows = whole.labels.size();
  ASSERT_GT(rows, 300u);
  ASSERT_GT(lines.size(), rows + 4);
  const std::vector<std::string> reportLines = Lines(report);
  size_t at = 0;
  while (at < reportLines.size() && reportLines[at].find("pvals") == std::string::npos) ++at;
  ASSERT_LT(at + rows + 4, reportLines.size());
  EXPECT_EQ(lines[0], reportLines[at]);
  for (size_t r = 0; r < rows + 3; ++r)
    EXPECT_EQ(reportLines[at + 2 + r].rfind(lines[2 + r], 0), 0u) << lines[2 + r];
  EXPECT_NE(lines[5].find(whole.labels[0]), std::string::npos);
  const size_t table = printed.find(" == Statistical tests ==\n\nTEST     KS       AD\n");
  ASSERT_NE(table, std::string::npos);
  const size_t inReport = report.find(" == Statistical tests ==");
  ASSERT_NE(inReport, std::string::npos);
  EXPECT_EQ(printed.substr(table, printed.find("\n\n\n == Summary") - table),
            report.substr(inReport, printed.find("\n\n\n == Summary") - table));
  for (const char* line : {"Lowest row KS p-value: ", "Lowest row AD p-value: ", "Bino column mean over ",
                           "Lowest goodness-of-fit cell: ", "Calibration criteria not met: "})
    EXPECT_NE(printed.find(line), std::string::npos) << line;
  EXPECT_NE(printed.find("\nNon overlapping template matching "), std::string::npos);
}

// Three rows of 2,000 sequences: one spread evenly, one that holds a single
// value, one far below uniform. The summary judges each column over the
// rows and counts the row with an atom.
TEST(NullBatterySummary, JudgesEveryColumnAndCountsTheRowsWithAnAtom) {
  ResultsModel model;
  model.Reset(4, 1e-3);
  for (const char* label : {"Even", "Atom", "Low"}) model.AddRow(label);
  constexpr int SEQUENCES = 2000;
  for (int s = 0; s < SEQUENCES; ++s) {
    const double even = ((s * 7919) % SEQUENCES + 0.5) / SEQUENCES;
    const double values[3] = {even, 0.25, even * 1e-3};
    model.AddSequence(values);
  }
  model.UpdateStatistics();
  model.FinishRun(SEQUENCES);
  model.UpdateStatistics();
  const std::string printed = Printed(model, {0, 0, 0});
  for (const char* column : {"KS    ", "AD    ", "Bino  ", "Pearson"})
    EXPECT_NE(printed.find(std::string("\n") + column), std::string::npos) << column;
  // Two rows (Atom and Low) fail in each column; Even does not.
  EXPECT_NE(printed.find("KS          3 rows: below 1e-5 2, below 1e-3 2, below 1e-2 2;"), std::string::npos) << printed;
  EXPECT_NE(printed.find("Pearson     3 rows: below 1e-5 2, below 1e-3 2, below 1e-2 2;"), std::string::npos) << printed;
  EXPECT_NE(printed.find("KS column: 2 rows below 1e-5"), std::string::npos);
  EXPECT_NE(printed.find("Bino column: 2 rows below 1e-5"), std::string::npos);
  EXPECT_NE(printed.find("more than 0.1 % of their values: 1\n  Atom "), std::string::npos) << printed;
  EXPECT_NE(printed.find("1 rows whose largest atom holds more than 0.1 % of their values"), std::string::npos);
  EXPECT_EQ(printed.find("Even: "), std::string::npos);
}

// The null generator plug-in: its words are splitmix64's outputs, low half
// first (the first outputs from state 0 are the published ones); with P(1)
// set to 0.502 its bits are 1 with that probability, Seek lands on the
// word that reading on gives, and P(1) = 1/2 gives the plain words again.
TEST(NullGenerator, PlainWordsAndTheBiasedStream) {
  platform::DynamicLibrary* library = platform::LoadDynamicLibrary(QV_BIN_DIR "/NullGenerator.so");
  ASSERT_NE(library, nullptr) << platform::LoadErrorText();
  auto seek = reinterpret_cast<void (*)(uint64_t, uint64_t)>(platform::FindLibrarySymbol(library, "NullGen_Seek"));
  auto setOnes = reinterpret_cast<void (*)(double)>(platform::FindLibrarySymbol(library, "NullGen_SetOnes"));
  auto word = reinterpret_cast<uint32_t (*)()>(platform::FindLibrarySymbol(library, "ZAR_GetUL"));
  ASSERT_TRUE(seek != nullptr && setOnes != nullptr && word != nullptr);

  const uint64_t published[] = {0xE220A8397B1DCDAFull, 0x6E789E6AA1B965F4ull, 0x06C45D188009454Full};
  for (bool reset : {false, true}) {
    if (reset) {
      setOnes(0.502);
      setOnes(0.5);
    }
    seek(0, 0);
    for (uint64_t output : published) {
      EXPECT_EQ(word(), static_cast<uint32_t>(output));
      EXPECT_EQ(word(), static_cast<uint32_t>(output >> 32));
    }
    seek(0, 3);
    EXPECT_EQ(word(), static_cast<uint32_t>(published[1] >> 32));
  }

  const double p = 0.502;
  const int words = 1 << 19;  // 2^24 bits
  setOnes(p);
  seek(5, 0);
  std::vector<uint32_t> stream(words);
  uint64_t ones = 0;
  for (uint32_t& w : stream) {
    w = word();
    ones += static_cast<uint64_t>(__builtin_popcount(w));
  }
  const double bits = 32.0 * words;
  const double sigma = std::sqrt(p * (1 - p) / bits);  // 1.2e-4: 0.5 lies 16 sigma away
  EXPECT_NEAR(static_cast<double>(ones) / bits, p, 5 * sigma);
  seek(5, 1000);
  EXPECT_EQ(word(), stream[1000]);
  EXPECT_EQ(word(), stream[1001]);
  setOnes(0.5);
  seek(0, 0);
  EXPECT_EQ(word(), static_cast<uint32_t>(published[0]));
  platform::FreeDynamicLibrary(library);
}

}  // namespace
