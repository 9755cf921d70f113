// Every test the window offers, ticked at the window's defaults and run
// together through the Start button: the run reaches its end, the report
// holds every row, and each test that the engine's checks and its own
// constructor let through gives, in the joint run, exactly the rows and
// p-values it gives alone on the same bits, the same labels in every
// sequence.
#include <gtest/gtest.h>
#include <wx/richtext/richtextctrl.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include "battery/TESTthd.h"
#include "engine/ParameterChecks.h"
#include "engine/ResultsModel.h"
#include "engine/TestFactory.h"
#include "support/GuiTest.h"
#include "support/ProgramWindow.h"
#include "ui/StartHandler.h"

namespace {

struct Pair {
  std::string label;
  double p;
};

struct WholeBattery : ProgramWindowTest {
  std::vector<std::vector<uint32_t>> sequences;  // the words of each sequence, taken during the run

  void SetUp() override {
    ProgramWindowTest::SetUp();
    for (const char* name : {"DAT_collision_limits.txt", "DAT_coupon.bin", "DAT_partition.bin", "DAT_ZarWlk.bin"}) {
      std::ifstream in(std::string(QV_BIN_DIR) + "/" + name, std::ios::binary);
      ASSERT_TRUE(in.good()) << name;
      std::ofstream(PathOf(name), std::ios::binary) << in.rdbuf();
    }
    // Test constructors caption their boxes after the test.
    SetMessageBoxHandler([](const wxString& text, const wxString& caption, long style) {
      boxes.push_back(caption + ": " + text);
      boxStyles.push_back(style);
      return wxOK;
    });
  }
  void TearDown() override {
    SetPendingEventsHook(nullptr);
    ProgramWindowTest::TearDown();
  }

  // "Enable all" at the window's defaults, then Start on the input with the
  // sequence length in the unit of the window's choice (0 b, 1 k, 2 M).
  void RunEveryTest(const std::string& input, int length, int unit, int count) {
    Click(frame->enableAllButton);
    frame->seqLenSpin->SetValue(length);
    frame->seqLenUnit->SetSelection(unit);
    frame->seqCountSpin->SetValue(count);
    frame->fileCombo->SetValue(wxString::FromUTF8(input));
    // While a sequence is under test, and once it is collected, seqBits
    // holds it; the tests write at most past its last whole word.
    sequences.assign(count, {});
    SetPendingEventsHook([this, count] {
      if (runState == RunState::Running && seqIndex >= 1 && seqIndex <= count)
        sequences[seqIndex - 1].assign(seqBits, seqBits + seqLen / 32);
    });
    Click(frame->startButton);
    SetPendingEventsHook(nullptr);
  }

  // The slots that ran: the engine clears the enabled flag of every test it
  // or the test's constructor refused, and leaves the others set.
  static std::set<int> Ran() {
    std::set<int> ran;
    for (int slot = 0; slot < TEST_SLOTS; ++slot)
      if (testTable[slot].enabled) ran.insert(slot);
    return ran;
  }

  // The pairs of each slot run alone on every sequence in turn, after the
  // engine's checks of the same controls: pairs[slot][sequence].
  std::vector<std::vector<std::vector<Pair>>> Alone(const std::set<int>& slots) {
    std::vector<std::vector<std::vector<Pair>>> pairs(TEST_SLOTS, std::vector<std::vector<Pair>>(sequences.size()));
    frame->CopyParameters();
    frame->EnableTests();
    pathBuf = new char[PATH_BUF_SIZE];
    CheckParametersFirstPass();
    CheckParametersSecondPass();
    std::vector<uint32_t> words(seqLen / 32 + 2);
    seqBits = words.data();
    for (int slot : slots) {
      TESTthd* test = CreateTest(slot);
      if (test == nullptr) {
        ADD_FAILURE() << testTable[slot].name << " ran but has no class";
        continue;
      }
      EXPECT_EQ(test->status, TEST_OK) << testTable[slot].name;
      test->slot = slot;
      for (size_t s = 0; s < sequences.size() && test->status == TEST_OK; ++s) {
        std::fill(words.begin(), words.end(), 0u);
        std::copy(sequences[s].begin(), sequences[s].end(), words.begin());
        test->RunTest();
        for (size_t i = 0; i < resultLabels[slot].size(); ++i) {
          pairs[slot][s].push_back({resultLabels[slot][i], resultPValues[slot][i]});
          delete[] resultLabels[slot][i];
        }
        resultLabels[slot].clear();
        resultPValues[slot].clear();
      }
      delete test;
    }
    seqBits = nullptr;
    delete[] lnFactorial;
    lnFactorial = nullptr;
    lnFactorialMax = 0;
    delete[] pathBuf;
    pathBuf = nullptr;
    return pairs;
  }

  std::string Log() const { return std::string(frame->messageText->GetValue().utf8_str().data()); }

  // Everything a run of every window test must show; refused are the
  // slots the checks or the constructors are expected to turn away.
  void ExpectWholeRun(const std::set<int>& refused, int count, bool goodBits) {
    const std::string log = Log();
    ASSERT_EQ(frame->statusBar->GetStatusText(2), "DONE.") << "only a run that reaches its end says so";
    const std::set<int> ran = Ran();
    for (int slot = 0; slot <= SLOT_RW2D; ++slot)
      EXPECT_EQ(ran.count(slot) == 0, refused.count(slot) == 1) << testTable[slot].name << "\n" << log;
    for (int slot = SLOT_RW2D + 1; slot < TEST_SLOTS; ++slot) EXPECT_EQ(ran.count(slot), 0u) << testTable[slot].name;
    for (const auto& sequence : sequences) ASSERT_EQ(sequence.size(), seqLen / 32);

    // The rows: every test that ran, in the display order, each with the
    // labels and the p-values it gives alone, sequence after sequence.
    bool enabled[TEST_SLOTS] = {};
    for (int slot : ran) enabled[slot] = true;
    signed char order[TEST_SLOTS];
    BuildRowOrder(enabled, frame->testList->GetStrings(), order);
    const auto alone = Alone(ran);
    std::vector<std::vector<Pair>> expected(count);  // [sequence][row]
    for (int j = 0; j < TEST_SLOTS; ++j) {
      const int slot = order[j];
      if (!enabled[slot]) continue;
      EXPECT_FALSE(alone[slot][0].empty()) << testTable[slot].name << " gives no row";
      for (int s = 0; s < count; ++s) {
        const std::vector<Pair>& pairs = alone[slot][s];
        EXPECT_EQ(pairs.size(), alone[slot][0].size()) << testTable[slot].name << " sequence " << s + 1;
        for (size_t k = 0; k < pairs.size() && k < alone[slot][0].size(); ++k)
          EXPECT_EQ(pairs[k].label, alone[slot][0][k].label) << testTable[slot].name << " sequence " << s + 1;
        expected[s].insert(expected[s].end(), pairs.begin(), pairs.end());
      }
    }
    ASSERT_EQ(runResults.Rows(), static_cast<int>(expected[0].size()));
    ASSERT_EQ(runResults.Sequences(), count);
    ASSERT_EQ(frame->tableGrid->GetNumberRows(), 3 + runResults.Rows());
    std::set<std::string> labels;
    for (int r = 0; r < runResults.Rows(); ++r) {
      const std::string label = expected[0][r].label;
      EXPECT_TRUE(labels.insert(label).second) << "two rows named " << label;
      EXPECT_EQ(runResults.Label(r), label) << "row " << r + 1;
      for (int s = 0; s < count; ++s) {
        if (r < static_cast<int>(expected[s].size())) {
          EXPECT_NEAR(runResults.Value(r, s), expected[s][r].p, 1e-9) << label << " sequence " << s + 1;
        }
        // Good bits give a probability in every cell: no fail, no short.
        if (goodBits) {
          EXPECT_GE(runResults.Value(r, s), 0.0) << label << " sequence " << s + 1;
        }
      }
    }

    // The CPU time of every test that ran, and of no other.
    const size_t cpu = log.find(" = CPU time taken by each test [h:m:s.d, %] =\n");
    ASSERT_NE(cpu, std::string::npos) << log;
    const std::regex timeLine(" *(.*[^ ])  \\d+:\\d\\d:\\d\\d\\.\\d\\d +\\d+\\.\\d%");
    std::istringstream times(log.substr(cpu));
    std::multiset<std::string> timed;
    std::smatch m;
    for (std::string line; std::getline(times, line);)
      if (std::regex_match(line, m, timeLine)) timed.insert(m[1]);
    std::multiset<std::string> names;
    for (int slot : ran) names.insert(testTable[slot].name);
    EXPECT_EQ(timed, names);

    // The report: its table holds the three summary rows and every result
    // row, labelled as in the grid.
    std::vector<std::string> report;
    std::istringstream in(ReadFile("_Quorvane.txt"));
    for (std::string l; std::getline(in, l);) report.push_back(l);
    size_t width = 0;
    for (const Pair& pair : expected[0]) width = std::max(width, pair.label.size());
    const std::string header = std::string(width - 4, ' ') + "Test  pvals";
    size_t at = 0;
    while (at < report.size() && report[at].compare(0, header.size(), header) != 0) ++at;
    ASSERT_LT(at + 5 + expected[0].size(), report.size()) << ReadFile("_Quorvane.txt");
    for (size_t r = 0; r < 3 + expected[0].size(); ++r) {
      const std::string label = r == 0 ? "KS" : r == 1 ? "AD" : r == 2 ? "Bino" : expected[0][r - 3].label;
      EXPECT_EQ(report[at + 2 + r].substr(0, width + 2), std::string(width - label.size(), ' ') + label + "  ");
    }
    // Pearson's table (count >= 3 gives two bins or more) lists them again.
    at = std::find(report.begin(), report.end(), " == Pearson's test ==") - report.begin();
    ASSERT_LT(at + 2 + expected[0].size(), report.size());
    for (size_t r = 0; r < expected[0].size(); ++r) {
      const std::string& label = expected[0][r].label;
      EXPECT_EQ(report[at + 3 + r].substr(0, width + 2), std::string(width - label.size(), ' ') + label + "  ");
    }
  }
};

// The window's default length, on input files of good bits: no test is
// refused at its own defaults, and none fails. Three sequences instead of
// the default 50 keep it short; with 50 the lengths some tests ask for grow,
// but all stay below 1 Mbit.
TEST_F(WholeBattery, EveryTestAtItsDefaultsOnInputFiles) {
  const int count = 3;
  std::mt19937 random(20261210);
  std::string data((1 << 20) / 8 * count, '\0');
  for (char& c : data) c = static_cast<char>(random() >> 24);
  WriteFile("input.bin", data);
  ASSERT_EQ(frame->seqLenSpin->GetValue(), 1);
  ASSERT_EQ(frame->seqLenUnit->GetSelection(), 2);
  RunEveryTest(PathOf("input.bin"), 1, 2, count);
  EXPECT_TRUE(boxes.empty()) << boxes.front();
  ExpectWholeRun({}, count, true);
  EXPECT_FALSE(runResults.Failed()) << "a p-value of PVALUE_FAIL on good bits";
}

// A short length from the plug-in: the overlapping template test asks for
// more bits than 2^16 and is refused; every other test runs.
TEST_F(WholeBattery, EveryTestOnAShortLengthFromThePlugin) {
  const int count = 4;
  RunEveryTest(QV_BIN_DIR "/Zar.so", 64, 1, count);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].Contains("ERROR in the test parameters.")) << boxes[0];
  EXPECT_NE(Log().find("Overlapping template matching: Sequence length too short; you need at least 73272 bits."),
            std::string::npos)
      << Log();
  ExpectWholeRun({SLOT_OTM}, count, false);
}

}  // namespace
