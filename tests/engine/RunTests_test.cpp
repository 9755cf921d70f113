#include "engine/RunTests.h"

#include <wx/grid.h>
#include <wx/notebook.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <sstream>

#include "battery/PValueTests.h"
#include "platform/DynamicLibrary.h"
#include "platform/Event.h"
#include "support/RunFixture.h"

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// What varies from one run to the next: dates, times, durations and CPU
// shares; the CPU lines, whose order follows the measured times, sorted.
std::string Masked(const std::string& report) {
  std::string s = std::regex_replace(report, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d(:\d\d)?)"), "<DATE>");
  s = std::regex_replace(s, std::regex(R"(\d+:\d\d:\d\d\.\d\d)"), "<TIME>");
  s = std::regex_replace(s, std::regex(R"( *\d+\.\d%)"), " <SHARE>%");
  std::istringstream in(s);
  std::vector<std::string> lines, block;
  std::string line;
  auto flush = [&] {
    std::sort(block.begin(), block.end());
    lines.insert(lines.end(), block.begin(), block.end());
    block.clear();
  };
  while (std::getline(in, line)) {
    if (Contains(line, "<TIME> <SHARE>%")) {
      block.push_back(line);
      continue;
    }
    flush();
    lines.push_back(line);
  }
  flush();
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

}  // namespace

using RunTestsTest = RunFixture;

TEST_F(RunTestsTest, AFilesRunFillsTheGridsAndWritesTheReport) {
  FilesOf(RandomBytes(10 * 2500, 1));
  ASSERT_EQ(RunTests(nullptr), 0);
  EXPECT_EQ(runState, RunState::Idle);
  EXPECT_TRUE(boxes.empty());

  // Rows: Cusum 1, Cusum 2, Long blk 128 .. 1024, Two-bit; one column per sequence.
  wxGrid* grid = frame->tableGrid;
  ASSERT_EQ(DataRows(), 7);
  EXPECT_EQ(grid->GetNumberCols(), 7 + 10);
  const char* labels[] = {"Cusum 1", "Cusum 2", "Long blk 128", "Long blk 256", "Long blk 512", "Long blk 1024", "Two-bit"};
  for (int r = 0; r < 7; ++r) {
    EXPECT_EQ(Cell(r + 3, 0), labels[r]);
    EXPECT_EQ(grid->GetRowLabelValue(r + 3), wxString::Format("%d", r + 1));
    EXPECT_EQ(Cell(r + 3, 1), "10");
  }
  EXPECT_EQ(grid->GetColLabelValue(7), "1");
  EXPECT_EQ(grid->GetColLabelValue(16), "10");
  EXPECT_EQ(Cell(0, 1), "7");  // the summary of the rows' KS values counts all rows
  EXPECT_EQ(grid->GetCellValue(0, 0), "");  // no failure
  // Pearson: k = round(sqrt(10)) = 3 bins, so 3 + 3 columns, one row per result row.
  EXPECT_EQ(frame->pearsonGrid->GetNumberRows(), 7);
  EXPECT_EQ(frame->pearsonGrid->GetNumberCols(), 6);
  EXPECT_EQ(frame->pearsonGrid->GetCellValue(0, 2), "3.3");
  // The plot has a point per row, and the goodness-of-fit table its 7 rows.
  EXPECT_EQ(frame->graph->count, 7);
  EXPECT_EQ(frame->statGrid->GetNumberRows(), 7);
  EXPECT_EQ(frame->statusBar->GetStatusText(2), "DONE.");

  ASSERT_TRUE(Exists("_Quorvane.txt"));
  const std::string report = Masked(ReadFile("_Quorvane.txt"));
  const std::string expectedPath = std::string(QV_TEST_DATA) + "/engine/report_files.txt";
  // QV_UPDATE_EXPECTED=1 rewrites the expected report from this run (look at
  // the difference before committing it).
  if (getenv("QV_UPDATE_EXPECTED") != nullptr)
    std::ofstream(expectedPath, std::ios::binary) << std::regex_replace(report, std::regex(folder), "<FOLDER>");
  std::ifstream want(expectedPath, std::ios::binary);
  std::string wanted((std::istreambuf_iterator<char>(want)), {});
  // The report names the input by its path, which lies in a fresh folder.
  wanted = std::regex_replace(wanted, std::regex("<FOLDER>"), folder);
  EXPECT_EQ(report, wanted);
}

TEST_F(RunTestsTest, ConcurrencyOneAndNinetyNineGiveTheSameResults) {
  FilesOf(RandomBytes(10 * 2500, 2));
  std::vector<std::string> cells[2];
  for (int pass = 0; pass < 2; ++pass) {
    frame->threadsSpin->SetValue(pass == 0 ? 1 : 99);
    Pattern(folder + "/in/*.bin");
    for (int i = 0; i < TEST_SLOTS; ++i) starts[i] = static_cast<signed char>(i);
    ASSERT_EQ(RunTests(nullptr), 0);
    for (int r = 0; r < frame->tableGrid->GetNumberRows(); ++r)
      for (int c = 7; c < frame->tableGrid->GetNumberCols(); ++c) cells[pass].push_back(Cell(r, c));
    for (auto& e : testTable) e.enabled = false;
    testTable[SLOT_CUSUM].enabled = testTable[SLOT_LONGBLK].enabled = testTable[SLOT_TWOBIT].enabled = true;
  }
  EXPECT_EQ(cells[0].size(), 10u * 10u);
  EXPECT_EQ(cells[0], cells[1]);
}

TEST_F(RunTestsTest, AStopRequestEndsTheRunAfterTheCurrentSequence) {
  FilesOf(RandomBytes(10 * 2500, 3));
  // The user presses DEL while sequence 3 is tested.
  SetPendingEventsHook([] {
    if (seqIndex == 3 && runState == RunState::Running) runState = RunState::StopRequested;
  });
  ASSERT_EQ(RunTests(nullptr), 0);
  EXPECT_EQ(seqCount, 3);
  EXPECT_EQ(frame->tableGrid->GetNumberCols(), 7 + 3);
  EXPECT_TRUE(Contains(LogText(), "\n\t!! WARNING !!   Only 3 sequence(s) have been tested.\n\n"));
  EXPECT_TRUE(Contains(ReadFile("_Quorvane.txt"), "!! WARNING !!   Only 3 sequence(s) have been tested."));
  EXPECT_TRUE(Contains(ReadFile("_Quorvane.txt"), "Number of sequences: 3 "));
}

TEST_F(RunTestsTest, InputEndingInsideASequenceEndsTheRunWithTheWholeOnes) {
  FilesOf(RandomBytes(3 * 2500 + 1000, 4));
  seqCount = 5;
  ASSERT_EQ(RunTests(nullptr), 0);
  EXPECT_EQ(seqCount, 3);
  EXPECT_TRUE(Contains(LogText(), "!! LOADING ERROR !!"));
  EXPECT_TRUE(Contains(LogText(), "Only 8000 bits have been read instead of 20000\n\n"));
  EXPECT_TRUE(Contains(LogText(), "Only 3 sequence(s) have been tested."));
}

TEST_F(RunTestsTest, ARunThatTestedNothingShowsItsReasonsOnTheMessagesPage) {
  struct Case {
    const char* what;
    size_t bytes;
    unsigned length;
  } const cases[] = {{"an empty file", 0, 20000}, {"3 bytes for 1 Mbit", 3, 1u << 20}};
  for (const Case& c : cases) {
    FilesOf(RandomBytes(c.bytes, 9));
    seqLen = c.length;
    seqCount = 10;
    frame->notebook->SetSelection(0);
    ASSERT_EQ(RunTests(nullptr), 0) << c.what;
    EXPECT_EQ(seqCount, 0) << c.what;
    EXPECT_EQ(frame->notebook->GetSelection(), 4) << c.what;
    const std::string log = LogText();
    EXPECT_TRUE(Contains(log, "\n\n\t!! LOADING ERROR !!\nFile \"")) << c.what;
    EXPECT_TRUE(Contains(log, "Only " + std::to_string(c.bytes * 8) + " bits have been read instead of " +
                                  std::to_string(c.length) + "\n\n"))
        << c.what;
    EXPECT_TRUE(Contains(log, "\n\t!! ERROR !!\nNo sequence tested.\n")) << c.what;
    // The report still belongs to this run and says what went wrong.
    const std::string report = ReadFile("_Quorvane.txt");
    EXPECT_TRUE(Contains(report, "Number of sequences: 0 ")) << c.what;
    EXPECT_TRUE(Contains(report, "!! ERROR !!\nNo sequence tested.\n")) << c.what;
    frame->messageText->Clear();
  }
}

TEST_F(RunTestsTest, GoodBytesPassAndConstantBytesFailEveryRow) {
  // 40 sequences of good random bytes: no row's KS p-value is extreme.
  seqCount = 40;
  FilesOf(RandomBytes(40 * 2500, 5));
  ASSERT_EQ(RunTests(nullptr), 0);
  ASSERT_EQ(DataRows(), 7);  // Cusum 1 and 2, Long blk 128 .. 1024, Two-bit
  for (int r = 3; r < frame->tableGrid->GetNumberRows(); ++r) {
    double value = 0;
    ASSERT_TRUE(frame->tableGrid->GetCellValue(r, 2).Trim(false).ToCDouble(&value)) << Cell(r, 2);
    EXPECT_GT(value, 1e-4) << Cell(r, 0);
  }
  // All zeros: every row fails in every sequence.
  Pattern(folder + "/zero/*.bin");
  mkdir((folder + "/zero").c_str(), 0755);
  std::ofstream(folder + "/zero/z.bin", std::ios::binary).write(std::string(40 * 2500, '\0').data(), 40 * 2500);
  testTable[SLOT_CUSUM].enabled = testTable[SLOT_LONGBLK].enabled = testTable[SLOT_TWOBIT].enabled = true;
  ASSERT_EQ(RunTests(nullptr), 0);
  ASSERT_EQ(DataRows(), 7);
  ASSERT_EQ(frame->tableGrid->GetNumberCols(), 7 + 40);
  for (int r = 3; r < frame->tableGrid->GetNumberRows(); ++r) {
    for (int c = 7; c < frame->tableGrid->GetNumberCols(); ++c) {
      double value = 1;
      wxString text = frame->tableGrid->GetCellValue(r, c);
      if (text.Trim(false).ToCDouble(&value)) {
        EXPECT_LT(value, 1e-6) << Cell(r, 0) << " sequence " << c - 6;
      } else {
        EXPECT_EQ(text, "fail") << Cell(r, 0);
      }
    }
  }
}

TEST_F(RunTestsTest, APluginRunNamesTheGeneratorInTheReport) {
  platform::DynamicLibrary* zar = platform::LoadDynamicLibrary(QV_BIN_DIR "/Zar.so");
  ASSERT_NE(zar, nullptr) << platform::LoadErrorText();
  auto name = reinterpret_cast<const char* (*)()>(platform::FindLibrarySymbol(zar, "ZAR_GetName"));
  ASSERT_NE(name, nullptr);
  frame->fileCombo->SetValue(QV_BIN_DIR "/Zar.so");
  seqLen = 32 * 1000;
  seqCount = 4;
  EXPECT_EQ(RunTests(zar), 0);
  const std::string generatorName = name();
  platform::FreeDynamicLibrary(zar);

  EXPECT_EQ(DataRows(), 2 + 4 + 1);
  // The sample plug-in names "_Quorvane.txt" as its report.
  const std::string report = ReadFile("_Quorvane.txt");
  ASSERT_FALSE(report.empty());
  EXPECT_TRUE(Contains(report, "Quorvane_MT v2.0.0\n\n"));
  EXPECT_TRUE(Contains(report, "DLL used      : " QV_BIN_DIR "/Zar.so\n"));
  EXPECT_TRUE(Contains(report, "Generator name: " + generatorName + "\n"));
  EXPECT_TRUE(Contains(report, "Description   : Description of the generator.\n"));
  EXPECT_TRUE(Contains(report, "\nSequence length: 32000 bits       Number of sequences: 4       Date: "));
  EXPECT_TRUE(Contains(LogText(), "Bits generation: "));
}

TEST_F(RunTestsTest, RefusedParametersWarnOnceAndTheRunGoesOn) {
  FilesOf(RandomBytes(10 * 2500, 6));
  testTable[SLOT_RANK].enabled = true;
  rankRmin = 1;  // refused: rows >= 2
  ASSERT_EQ(RunTests(nullptr), 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "ERROR in the test parameters.\nThe tests with the invalid parameters will be disabled.");
  EXPECT_TRUE(boxStyles[0] & wxICON_WARNING);
  EXPECT_TRUE(Contains(LogText(), "Rank: rows >= 2, min <= max and step != 0\n"));
  EXPECT_TRUE(Contains(LogText(), "  ERROR in the test parameters.\nThe tests with the invalid parameters will be disabled.\n"));
  EXPECT_EQ(DataRows(), 7) << "the other tests ran";
  EXPECT_EQ(frame->notebook->GetSelection(), 1) << "the Table page replaces the Messages page";
}

TEST_F(RunTestsTest, OnlyTheCollisionCountLimitBringsNoBox) {
  FilesOf(RandomBytes(10 * 2500, 7));
  std::ofstream(folder + "/DAT_collision_limits.txt") << "5\nx\n#\n";
  testTable[SLOT_COLLISION].enabled = true;
  collisionSmin = 10, collisionSmax = 12, collisionSstp = 1;
  ASSERT_EQ(RunTests(nullptr), 0);
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(Contains(LogText(), "COLLISION test is 5.\nYou chosen 10 sequences.\n"));
}

TEST_F(RunTestsTest, ErrorExitsBeforeTheFirstSequenceReleaseEverything) {
  struct ExitCase {
    const char* what;
    std::function<void(RunTestsTest&)> arrange;
    std::string box;
  };
  const ExitCase cases[] = {
      {"no matching file", [](RunTestsTest& t) { t.Pattern(t.folder + "/nothing/*.bin"); },
       "\n\t!! ERROR !!\n\nNo matching file for:\n"},
      {"no test left", [](RunTestsTest& t) {
         t.FilesOf(RandomBytes(2500, 8));
         for (auto& e : testTable) e.enabled = false;
         testTable[SLOT_RANK].enabled = true;  // refused by its parameter rules
         rankRmin = 1, rankRmax = rankCmin = rankCmax = 32, rankRstp = rankCstp = 1, rankM = 0;
       },
       "\n\t!! ERROR !!\n\n\tNo test enabled."},
      {"no event", [](RunTestsTest& t) {
         t.FilesOf(RandomBytes(2500, 9));
         platform::InjectEventFailure(platform::EventCall::Create, 7);
       },
       "\n\t!! ERROR !!\nCreateEvent() failed."},
  };
  for (const auto& c : cases) {
    boxes.clear();
    for (auto& e : testTable) e.enabled = false;
    testTable[SLOT_CUSUM].enabled = testTable[SLOT_LONGBLK].enabled = testTable[SLOT_TWOBIT].enabled = true;
    c.arrange(*this);
    EXPECT_EQ(RunTests(nullptr), 1) << c.what;
    platform::InjectEventFailure(platform::EventCall::Create, -1);
    ASSERT_FALSE(boxes.empty()) << c.what;
    EXPECT_TRUE(Contains(std::string(boxes.back().utf8_str().data()), c.box)) << c.what << ": " << boxes.back();
    EXPECT_EQ(runState, RunState::Idle);
    EXPECT_EQ(pathBuf, nullptr);
    EXPECT_EQ(seqBits, nullptr);
    EXPECT_EQ(lnFactorial, nullptr);
    EXPECT_EQ(startEvents, nullptr);
    for (const auto& e : testTable) EXPECT_EQ(e.test, nullptr) << c.what;
    EXPECT_FALSE(Exists("_Quorvane.txt")) << c.what;
  }
}

TEST_F(RunTestsTest, APluginWithoutTheGeneratorOrWithoutALengthIsRefused) {
  platform::DynamicLibrary* zlib = platform::LoadDynamicLibrary("libz.so.1");
  ASSERT_NE(zlib, nullptr);
  EXPECT_EQ(RunTests(zlib), 1);
  platform::FreeDynamicLibrary(zlib);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "ERROR. Unable to get the ZAR function address in the DLL.");

  platform::DynamicLibrary* zar = platform::LoadDynamicLibrary(QV_BIN_DIR "/Zar.so");
  ASSERT_NE(zar, nullptr);
  seqLen = 0;
  EXPECT_EQ(RunTests(zar), 1);
  platform::FreeDynamicLibrary(zar);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1], "\n\t!! ERROR !!\n\nSequence length = 0 is only allowed when an input file is specified.");
}

TEST_F(RunTestsTest, AFailedEventCallInTheMiddleEndsTheRunWithoutAReport) {
  FilesOf(RandomBytes(10 * 2500, 10));
  // One test at a time, so the signals alternate: release 8, done 8,
  // release 15, done 15, and then the release of 22 fails.
  frame->threadsSpin->SetValue(1);
  platform::InjectEventFailure(platform::EventCall::Set, 4);
  EXPECT_EQ(RunTests(nullptr), 1);
  platform::InjectEventFailure(platform::EventCall::Set, -1);
  EXPECT_TRUE(Contains(LogText(), "SetEvent hINI failed, i= 22 (5)\n")) << LogText();
  EXPECT_FALSE(Exists("_Quorvane.txt"));
  EXPECT_EQ(runState, RunState::Idle);
  for (const auto& e : testTable) EXPECT_EQ(e.test, nullptr);
}

TEST_F(RunTestsTest, AWorkerThatLeftOnAFailedWaitEndsTheRunInsteadOfHangingIt) {
  FilesOf(RandomBytes(10 * 2500, 11));
  frame->threadsSpin->SetValue(1);
  // The first wait of any thread fails: a worker's wait on its start event
  // (it then never signals), or one of the engine's own waits.
  platform::InjectEventFailure(platform::EventCall::Wait, 0);
  EXPECT_EQ(RunTests(nullptr), 1);
  platform::InjectEventFailure(platform::EventCall::Wait, -1);
  const std::string log = LogText();
  EXPECT_TRUE(Contains(log, "stopped on a failed event call") || Contains(log, "hEND failed")) << log;
  EXPECT_FALSE(Exists("_Quorvane.txt"));
  for (const auto& e : testTable) EXPECT_EQ(e.test, nullptr);
}
