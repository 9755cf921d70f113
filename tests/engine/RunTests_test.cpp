#include "engine/RunTests.h"

#include <dirent.h>
#include <fftw3.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "battery/FftParallelLoop.h"
#include "battery/PValueTests.h"
#include "battery/TESTthd.h"
#include "engine/Workers.h"
#include "platform/DynamicLibrary.h"
#include "platform/Event.h"
#include "support/ReportMask.h"
#include "support/RunFixture.h"

using RunTestsTest = RunFixture;

TEST_F(RunTestsTest, AFilesRunShowsTheResultsAndWritesTheReport) {
  FilesOf(RandomBytes(10 * 2500, 1));
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(runState, RunState::Idle);
  EXPECT_TRUE(boxes.empty());

  // Rows: Cusum 1, Cusum 2, Long blk 128 .. 1024, Two-bit; one column per sequence.
  ASSERT_EQ(DataRows(), 7);
  EXPECT_EQ(Columns(), 7 + 10);
  EXPECT_EQ(view.shownSequences, 10);
  const char* labels[] = {"Cusum 1", "Cusum 2", "Long blk 128", "Long blk 256", "Long blk 512", "Long blk 1024", "Two-bit"};
  for (int r = 0; r < 7; ++r) {
    EXPECT_EQ(Cell(r + 3, 0), labels[r]);
    EXPECT_EQ(Cell(r + 3, 1), "10");
  }
  EXPECT_EQ(Cell(0, 1), "7");  // the summary of the rows' KS values counts all rows
  EXPECT_EQ(Cell(0, 0), "");  // no failure
  // Pearson: k = round(sqrt(10)) = 3 bins.
  EXPECT_EQ(runResults.PearsonBins(), 3);
  EXPECT_EQ(runResults.PearsonExpectedText(0), "3.3");
  // The plot has a point per row, each series sorted, and the
  // goodness-of-fit table follows it.
  EXPECT_EQ(view.plot.Count(), 7);
  EXPECT_TRUE(std::is_sorted(view.plot.ks.begin(), view.plot.ks.end()));
  EXPECT_TRUE(std::is_sorted(view.plot.ad.begin(), view.plot.ad.end()));
  EXPECT_EQ(view.status[2], "DONE.");
  // The results are emptied first and shown last, before the end-of-run
  // tables; the Table page stays in front.
  ASSERT_GE(view.calls.size(), 5u);
  EXPECT_EQ(view.calls.front(), "clear");
  const std::vector<std::string> end(view.calls.end() - 4, view.calls.end());
  EXPECT_EQ(end, (std::vector<std::string>{"results final", "pearson", "plot", "gof"}));
  EXPECT_EQ(view.page, TABLE_PAGE);

  ASSERT_TRUE(Exists("_Quorvane.txt"));
  const std::string report = Masked(ReadFile("_Quorvane.txt"));
  EXPECT_EQ(report, ExpectedReport("engine/report_files.txt", report, folder));
}

TEST_F(RunTestsTest, ConcurrencyOneAndNinetyNineGiveTheSameResults) {
  FilesOf(RandomBytes(10 * 2500, 2));
  std::vector<std::string> cells[2];
  for (int pass = 0; pass < 2; ++pass) {
    view.concurrency = pass == 0 ? 1 : 99;
    Pattern(folder + "/in/*.bin");
    for (int i = 0; i < TEST_SLOTS; ++i) starts[i] = static_cast<signed char>(i);
    ASSERT_EQ(Run(), 0);
    for (int r = 0; r < 3 + DataRows(); ++r)
      for (int c = 7; c < Columns(); ++c) cells[pass].push_back(Cell(r, c));
    for (auto& e : testTable) e.enabled = false;
    testTable[SLOT_CUSUM].enabled = testTable[SLOT_LONGBLK].enabled = testTable[SLOT_TWOBIT].enabled = true;
  }
  EXPECT_EQ(cells[0].size(), 10u * 10u);
  EXPECT_EQ(cells[0], cells[1]);
}

TEST_F(RunTestsTest, PooledTestsTakeASlotUntilTheirSubThreadsAreDoneAtAnyConcurrency) {
  // AUTOW, AMLS, Permutation and Linear complexity wait on their
  // sub-threads, and count against the limit until they are done: at
  // concurrency 1 one test runs at a time, and every value is the one of
  // a run at 99.
  FilesOf(RandomBytes(10 * 2500, 12));
  amlsLmin = 1, amlsLmax = 16, amlsLstp = -1, amlsBlkmax = 0;
  autowSmin = 8, autowSmax = 20, autowSstp = 4, autowDmin = 1, autowDmax = 8, autowDstp = 1, autowMaxPv = 0;
  liCoLen = 500, liCoOptlen = 0, liCoK = 0;
  permutationGmin = 2, permutationGmax = 5, permutationGstp = 1;
  permutationSmin = 8, permutationSmax = 8, permutationSstp = 1;
  std::vector<std::string> cells[2];
  for (int pass = 0; pass < 2; ++pass) {
    view.concurrency = pass == 0 ? 1 : 99;
    Pattern(folder + "/in/*.bin");
    for (int i = 0; i < TEST_SLOTS; ++i) starts[i] = static_cast<signed char>(i);
    for (int slot : {SLOT_AUTOW, SLOT_AMLS, SLOT_PERM, SLOT_LINCPLX}) testTable[slot].enabled = true;
    ASSERT_EQ(Run(), 0);
    EXPECT_EQ(lastEngineCost.mostTestsAtOnce, pass == 0 ? 1 : 7) << view.concurrency;
    for (int r = 0; r < 3 + DataRows(); ++r)
      for (int c = 7; c < Columns(); ++c) cells[pass].push_back(Cell(r, c));
    for (auto& e : testTable) e.enabled = false;
    testTable[SLOT_CUSUM].enabled = testTable[SLOT_LONGBLK].enabled = testTable[SLOT_TWOBIT].enabled = true;
  }
  // The plain tests' 7 rows and 3 summaries, and at least one row of each
  // pooled test.
  EXPECT_GE(cells[0].size(), 10u * (10 + 4));
  EXPECT_EQ(cells[0], cells[1]);
}

TEST_F(RunTestsTest, AConcurrencyBelowOneIsTakenAsOne) {
  FilesOf(RandomBytes(10 * 2500, 2));
  std::vector<std::string> cells[3];
  const int settings[] = {1, 0, -4};
  for (int pass = 0; pass < 3; ++pass) {
    view.concurrency = settings[pass];
    Pattern(folder + "/in/*.bin");
    for (int i = 0; i < TEST_SLOTS; ++i) starts[i] = static_cast<signed char>(i);
    ASSERT_EQ(Run(), 0) << settings[pass];
    EXPECT_EQ(lastEngineCost.mostTestsAtOnce, 1) << settings[pass];
    for (int r = 0; r < 3 + DataRows(); ++r)
      for (int c = 7; c < Columns(); ++c) cells[pass].push_back(Cell(r, c));
    for (auto& e : testTable) e.enabled = false;
    testTable[SLOT_CUSUM].enabled = testTable[SLOT_LONGBLK].enabled = testTable[SLOT_TWOBIT].enabled = true;
  }
  EXPECT_EQ(cells[0].size(), 10u * 10u);
  EXPECT_EQ(cells[1], cells[0]);
  EXPECT_EQ(cells[2], cells[0]);
}

TEST_F(RunTestsTest, AFailedHandOutAtTheFirstSequenceCostsOnlyThatSequence) {
  // Permutation alone: the engine's release is the first signal of the run
  // and the test's first hand-out to a sub-thread the second, which fails.
  FilesOf(RandomBytes(10 * 2500, 13));
  for (auto& e : testTable) e.enabled = false;
  testTable[SLOT_PERM].enabled = true;
  permutationGmin = 2, permutationGmax = 5, permutationGstp = 1;
  permutationSmin = 8, permutationSmax = 8, permutationSstp = 1;
  view.concurrency = 1;
  ASSERT_EQ(Run(), 0);
  std::vector<std::string> labels;
  for (int r = 0; r < DataRows(); ++r) labels.push_back(Cell(r + 3, 0));
  ASSERT_GE(labels.size(), 2u);
  Pattern(folder + "/in/*.bin");
  testTable[SLOT_PERM].enabled = true;
  platform::InjectEventFailure(platform::EventCall::Set, 1);
  ASSERT_EQ(Run(), 0);
  platform::InjectEventFailure(platform::EventCall::Set, -1);
  EXPECT_TRUE(Contains(LogText(), "SetEvent hINI MAIN failed, ID= 0 (5)\n")) << LogText();
  // Its rows are there, each with the nine sequences after the first.
  ASSERT_EQ(DataRows(), static_cast<int>(labels.size()));
  for (int r = 0; r < DataRows(); ++r) {
    EXPECT_EQ(Cell(r + 3, 0), labels[r]);
    EXPECT_EQ(Cell(r + 3, 1), "9");
    EXPECT_EQ(runResults.Value(r, 0), PVALUE_SHORT);
    EXPECT_GT(runResults.Value(r, 1), -1);
  }
}

TEST_F(RunTestsTest, AStopRequestEndsTheRunAfterTheCurrentSequence) {
  FilesOf(RandomBytes(10 * 2500, 3));
  // The user presses DEL while sequence 3 is tested.
  view.onDispatch = [] {
    if (seqIndex == 3 && runState == RunState::Running) runState = RunState::StopRequested;
  };
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(seqCount, 3);
  EXPECT_EQ(Columns(), 7 + 3);
  EXPECT_EQ(view.shownSequences, 3);
  EXPECT_TRUE(Contains(LogText(), "\n\t!! WARNING !!   Only 3 sequence(s) have been tested.\n\n"));
  EXPECT_TRUE(Contains(ReadFile("_Quorvane.txt"), "!! WARNING !!   Only 3 sequence(s) have been tested."));
  EXPECT_TRUE(Contains(ReadFile("_Quorvane.txt"), "Number of sequences: 3 "));
}

TEST_F(RunTestsTest, InputEndingInsideASequenceEndsTheRunWithTheWholeOnes) {
  FilesOf(RandomBytes(3 * 2500 + 1000, 4));
  seqCount = 5;
  ASSERT_EQ(Run(), 0);
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
    view.page = 0;
    ASSERT_EQ(Run(), 0) << c.what;
    EXPECT_EQ(seqCount, 0) << c.what;
    EXPECT_EQ(view.page, MESSAGES_PAGE) << c.what;
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
    view.log.clear();
  }
}

TEST_F(RunTestsTest, GoodBytesPassAndConstantBytesFailEveryRow) {
  // 40 sequences of good random bytes: no row's KS p-value is extreme.
  seqCount = 40;
  FilesOf(RandomBytes(40 * 2500, 5));
  ASSERT_EQ(Run(), 0);
  ASSERT_EQ(DataRows(), 7);  // Cusum 1 and 2, Long blk 128 .. 1024, Two-bit
  for (int r = 3; r < 3 + DataRows(); ++r) {
    double value = 0;
    ASSERT_TRUE(wxString(Cell(r, 2)).Trim(false).ToCDouble(&value)) << Cell(r, 2);
    EXPECT_GT(value, 1e-4) << Cell(r, 0);
  }
  // All zeros: every row fails in every sequence.
  Pattern(folder + "/zero/*.bin");
  mkdir((folder + "/zero").c_str(), 0755);
  std::ofstream(folder + "/zero/z.bin", std::ios::binary).write(std::string(40 * 2500, '\0').data(), 40 * 2500);
  testTable[SLOT_CUSUM].enabled = testTable[SLOT_LONGBLK].enabled = testTable[SLOT_TWOBIT].enabled = true;
  ASSERT_EQ(Run(), 0);
  ASSERT_EQ(DataRows(), 7);
  ASSERT_EQ(Columns(), 7 + 40);
  for (int r = 3; r < 3 + DataRows(); ++r) {
    for (int c = 7; c < Columns(); ++c) {
      double value = 1;
      wxString text = Cell(r, c);
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
  view.input = QV_BIN_DIR "/Zar.so";
  seqLen = 32 * 1000;
  seqCount = 4;
  EXPECT_EQ(Run(zar), 0);
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
  ASSERT_EQ(Run(), 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "ERROR in the test parameters.\nThe tests with the invalid parameters will be disabled.");
  EXPECT_TRUE(boxStyles[0] & wxICON_WARNING);
  EXPECT_TRUE(Contains(LogText(), "Rank: rows >= 2, min <= max and step != 0\n"));
  EXPECT_TRUE(Contains(LogText(), "  ERROR in the test parameters.\nThe tests with the invalid parameters will be disabled.\n"));
  EXPECT_EQ(DataRows(), 7) << "the other tests ran";
  EXPECT_EQ(view.page, TABLE_PAGE) << "the Table page replaces the Messages page";
  ASSERT_GE(view.calls.size(), 2u);
  EXPECT_EQ(view.calls[0], "page 4");
  EXPECT_EQ(view.calls[1], "clear");
}

// The report leaves out the log's input line and the run's first line,
// which its header repeats, and keeps every line around them.
TEST_F(RunTestsTest, TheReportKeepsEveryRefusalAndLeavesOutTheLinesItsHeaderGives) {
  FilesOf(RandomBytes(10 * 2500, 6));
  testTable[SLOT_LINCPLX].enabled = true;
  testTable[SLOT_RANK].enabled = true;
  liCoK = 0, liCoLen = 0;  // refused: 1 <= L <= n/2, the first line after the input line
  rankRmin = 1;            // refused: rows >= 2
  ASSERT_EQ(Run(), 0);
  const std::string log = LogText();
  ASSERT_EQ(log.rfind("File: " + folder + "/in/*.bin\nLinear complexity: 1 <= L <= n/2\n\n", 0), 0u) << log;
  const std::string report = ReadFile("_Quorvane.txt");
  const size_t copy = report.find("\n\tRunning time: ");
  ASSERT_NE(copy, std::string::npos);
  const std::string copied = report.substr(report.find('\n', copy + 2) + 1);
  EXPECT_EQ(copied.rfind("Linear complexity: 1 <= L <= n/2\n\nRank: rows >= 2, min <= max and step != 0\n", 0), 0u)
      << copied;
  EXPECT_FALSE(Contains(copied, "File: ")) << copied;
  EXPECT_FALSE(Contains(copied, "n= 20000 bits")) << copied;
  EXPECT_TRUE(Contains(copied, "  ERROR in the test parameters.\n")) << copied;
  EXPECT_TRUE(Contains(copied, "Testing phase duration: ")) << copied;
}

// A test that disables itself in its constructor, after its box, is named
// with the box's text in the log and so in the report.
TEST_F(RunTestsTest, ATestThatDisablesItselfIsNamedWithItsReason) {
  FilesOf(RandomBytes(10 * 2500, 8));
  // 11-bit words need 5000 of them: 20000 bits give 1818.
  std::ofstream(folder + "/DAT_collision_limits.txt") << "10\n11\t5000\t9000\n#\n";
  testTable[SLOT_COLLISION].enabled = true;
  collisionSmin = 11, collisionSmax = 11, collisionSstp = 1;
  static std::vector<wxString> captions;
  captions.clear();
  SetMessageBoxHandler([](const wxString& text, const wxString& caption, long) {
    boxes.push_back(text);
    captions.push_back(caption);
    return static_cast<int>(wxOK);
  });
  ASSERT_EQ(Run(), 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Sequence too short.\nThe test will be disabled.");
  EXPECT_EQ(captions[0], "Quorvane - COLLISION test ERROR");
  const std::string line = "Collision: Sequence too short.\nThe test will be disabled.\n\n";
  EXPECT_TRUE(Contains(LogText(), line)) << LogText();
  EXPECT_TRUE(Contains(ReadFile("_Quorvane.txt"), line));
  EXPECT_EQ(DataRows(), 7) << "the other tests ran";
}

// A report that cannot be created, or not written whole, is said in the
// log with its reason and in the status bar; the rest of the end of the run
// is as usual.
TEST_F(RunTestsTest, AReportThatCannotBeCreatedOrWrittenIsSaid) {
  struct Case {
    const char* what;
    int sequences;
    bool full;  // a link to a device that refuses every write, else a folder in the way
    const char* reason;
  } const cases[] = {
      {"a folder where the file would go", 10, false, "Is a directory"},
      {"a full device, refused as the file is closed", 10, true, "No space left on device"},
      {"a full device, refused during the writes", 200, true, "No space left on device"},
  };
  for (const Case& c : cases) {
    const std::string report = folder + "/_Quorvane.txt";
    if (c.full)
      ASSERT_EQ(symlink("/dev/full", report.c_str()), 0) << c.what;
    else
      ASSERT_EQ(mkdir(report.c_str(), 0755), 0) << c.what;
    seqCount = c.sequences;
    FilesOf(RandomBytes(c.sequences * 2500, 1));
    testTable[SLOT_CUSUM].enabled = testTable[SLOT_LONGBLK].enabled = testTable[SLOT_TWOBIT].enabled = true;
    view.log.clear();
    view.status[3].clear();
    ASSERT_EQ(Run(), 0) << c.what;
    EXPECT_TRUE(Contains(LogText(), "\n\t!! ERROR !!\nReport file '" + report + "' not created (" + c.reason + ").\n"))
        << c.what << ": " << LogText();
    EXPECT_EQ(view.status[3], "Report not written.") << c.what;
    EXPECT_EQ(view.status[2], "DONE.") << c.what;
    EXPECT_TRUE(Contains(LogText(), "Testing phase duration: ")) << c.what;
    EXPECT_EQ(DataRows(), 7) << c.what;
    EXPECT_EQ(Columns(), 7 + c.sequences) << c.what;
    EXPECT_EQ(view.page, TABLE_PAGE) << c.what;
    EXPECT_EQ(runState, RunState::Idle) << c.what;
    if (c.full)
      unlink(report.c_str());
    else
      rmdir(report.c_str());
  }
}

TEST_F(RunTestsTest, OnlyTheCollisionCountLimitBringsNoBox) {
  FilesOf(RandomBytes(10 * 2500, 7));
  std::ofstream(folder + "/DAT_collision_limits.txt") << "5\nx\n#\n";
  testTable[SLOT_COLLISION].enabled = true;
  collisionSmin = 10, collisionSmax = 12, collisionSstp = 1;
  ASSERT_EQ(Run(), 0);
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(Contains(LogText(), "COLLISION test is 5.\nYou chosen 10 sequences.\n"));
}

TEST_F(RunTestsTest, ErrorExitsBeforeTheFirstSequenceReleaseEverything) {
  const int keptBefore = Workers::KeptWorkers();
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
    EXPECT_EQ(Run(), 1) << c.what;
    platform::InjectEventFailure(platform::EventCall::Create, -1);
    ASSERT_FALSE(boxes.empty()) << c.what;
    EXPECT_TRUE(Contains(std::string(boxes.back().utf8_str().data()), c.box)) << c.what << ": " << boxes.back();
    EXPECT_EQ(runState, RunState::Idle);
    EXPECT_EQ(pathBuf, nullptr);
    EXPECT_EQ(seqBits, nullptr);
    EXPECT_EQ(lnFactorial, nullptr);
    EXPECT_EQ(Workers::KeptWorkers(), keptBefore) << c.what;
    for (const auto& e : testTable) EXPECT_EQ(e.test, nullptr) << c.what;
    EXPECT_FALSE(Exists("_Quorvane.txt")) << c.what;
  }
}

TEST_F(RunTestsTest, APluginWithoutTheGeneratorOrWithoutALengthIsRefused) {
  platform::DynamicLibrary* zlib = platform::LoadDynamicLibrary("libz.so.1");
  ASSERT_NE(zlib, nullptr);
  EXPECT_EQ(Run(zlib), 1);
  platform::FreeDynamicLibrary(zlib);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "ERROR. Unable to get the ZAR function address in the DLL.");

  platform::DynamicLibrary* zar = platform::LoadDynamicLibrary(QV_BIN_DIR "/Zar.so");
  ASSERT_NE(zar, nullptr);
  seqLen = 0;
  EXPECT_EQ(Run(zar), 1);
  platform::FreeDynamicLibrary(zar);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1], "\n\t!! ERROR !!\n\nSequence length = 0 is only allowed when an input file is specified.");
}

TEST_F(RunTestsTest, AFailedEventCallInTheMiddleEndsTheRunWithoutAReport) {
  FilesOf(RandomBytes(10 * 2500, 10));
  // One test at a time, so the signals alternate: release 8, done 8,
  // release 15, done 15, and then the release of 22 fails.
  view.concurrency = 1;
  platform::InjectEventFailure(platform::EventCall::Set, 4);
  EXPECT_EQ(Run(), 1);
  platform::InjectEventFailure(platform::EventCall::Set, -1);
  EXPECT_TRUE(Contains(LogText(), "SetEvent hINI failed, i= 22 (5)\n")) << LogText();
  EXPECT_FALSE(Exists("_Quorvane.txt"));
  EXPECT_EQ(runState, RunState::Idle);
  for (const auto& e : testTable) EXPECT_EQ(e.test, nullptr);
}

TEST_F(RunTestsTest, AWorkerThatLeftOnAFailedWaitEndsTheRunInsteadOfHangingIt) {
  FilesOf(RandomBytes(10 * 2500, 11));
  view.concurrency = 1;
  // The first wait of any thread fails: a worker's wait on its start event
  // (it then never signals), or one of the engine's own waits.
  platform::InjectEventFailure(platform::EventCall::Wait, 0);
  EXPECT_EQ(Run(), 1);
  platform::InjectEventFailure(platform::EventCall::Wait, -1);
  const std::string log = LogText();
  EXPECT_TRUE(Contains(log, "stopped on a failed event call") || Contains(log, "hEND failed")) << log;
  EXPECT_FALSE(Exists("_Quorvane.txt"));
  for (const auto& e : testTable) EXPECT_EQ(e.test, nullptr);
}

// FFTW's plans take half the processors the run may use, as every pool
// does from the affinity mask: under a narrowed mask (taskset) too.
TEST_F(RunTestsTest, FftwsThreadsFollowTheProcessorsTheRunMayUse) {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
  FilesOf(RandomBytes(10 * 2500, 13));
  testTable[SLOT_DFT].enabled = true;
  dftRmin = dftRmax = 1, dftRstp = 1, dftM0 = 1, dftM1 = 0, dftNmax = 0, dftNopt = 0;
  for (int keep : {2, 4}) {
    cpu_set_t narrowed;
    CPU_ZERO(&narrowed);
    for (int cpu = 0; cpu < CPU_SETSIZE && CPU_COUNT(&narrowed) < keep; ++cpu)
      if (CPU_ISSET(cpu, &allowed)) CPU_SET(cpu, &narrowed);
    const int expected = std::max(1, CPU_COUNT(&narrowed) / 2);
    ASSERT_EQ(sched_setaffinity(0, sizeof narrowed, &narrowed), 0);
    Pattern(folder + "/in/*.bin");
    const int result = Run();
    const int planned = fftwf_planner_nthreads();
    sched_setaffinity(0, sizeof allowed, &allowed);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(planned, expected) << CPU_COUNT(&narrowed) << " processors";
    EXPECT_EQ(Cell(3, 0), "DFT 1");
    testTable[SLOT_CUSUM].enabled = testTable[SLOT_LONGBLK].enabled = testTable[SLOT_TWOBIT].enabled = true;
    testTable[SLOT_DFT].enabled = true;
  }
}

// "Idle" makes the whole process idle: the helper threads of FFTW's loops,
// made once per process (here before the run), as well as the threads the
// run makes. (The test program stays idle afterwards.)
TEST_F(RunTestsTest, AnIdleRunLowersEveryThreadOfTheProcess) {
  struct Chunk {
    std::atomic<int> begun{0};
  } chunk;
  // Two chunks that wait for each other: one of them runs on a helper.
  auto meet = [](char* data) -> void* {
    auto* c = reinterpret_cast<Chunk*>(data);
    c->begun.fetch_add(1);
    while (c->begun.load() < 2) std::this_thread::yield();
    return nullptr;
  };
  FftParallelLoop(meet, reinterpret_cast<char*>(&chunk), 0, 2, nullptr);
  FilesOf(RandomBytes(10 * 2500, 14));
  runPriority = 1;
  std::vector<std::string> notIdle;
  int threads = 0;
  view.onDispatch = [&] {
    if (threads > 0) return;
    DIR* tasks = opendir("/proc/self/task");
    ASSERT_NE(tasks, nullptr);
    while (const dirent* task = readdir(tasks)) {
      if (task->d_name[0] == '.') continue;
      ++threads;
      errno = 0;
      const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(std::atoi(task->d_name)));
      if (errno == 0 && nice != 19) notIdle.push_back(std::string(task->d_name) + " at " + std::to_string(nice));
    }
    closedir(tasks);
  };
  ASSERT_EQ(Run(), 0);
  EXPECT_GT(threads, 3) << "the helpers and the workers";
  EXPECT_TRUE(notIdle.empty()) << ::testing::PrintToString(notIdle);
}


TEST_F(RunTestsTest, AnEndAfterAMidRunErrorWaitsForTheTestsStillRunning) {
  // AMLS runs on 2^20 bits when the release of the next test fails; the
  // end then waits for AMLS before it tells it to leave and frees the
  // sequence. When both exit signals fail too, AMLS's worker is kept,
  // idle, with its test.
  struct Case {
    const char* what;
    int failures;  // of the engine's signals, from its second one
    bool kept;
  };
  for (const Case& c : {Case{"exit signalled", 1, false}, Case{"exit signals fail", 3, true}}) {
    for (auto& e : testTable) e.enabled = false;
    testTable[SLOT_AMLS].enabled = testTable[SLOT_CUSUM].enabled = true;
    amlsLmin = 1, amlsLmax = 16, amlsLstp = -1, amlsBlkmax = 0;
    seqLen = 1 << 20;
    seqCount = 2;
    FilesOf(RandomBytes(2 << 17, 14));
    view.concurrency = 2;
    view.log.clear();
    const int keptBefore = Workers::KeptWorkers();
    platform::InjectEventFailureOnThisThread(platform::EventCall::Set, 1, c.failures);
    EXPECT_EQ(Run(), 1) << c.what;
    platform::InjectEventFailure(platform::EventCall::Set, -1);
    EXPECT_TRUE(Contains(LogText(), "SetEvent hINI failed, i= 8 (5)\n")) << LogText();
    EXPECT_EQ(Contains(LogText(), "SetEvent hINI failed, idx= 1 (5)\n"), c.kept) << LogText();
    EXPECT_EQ(Workers::KeptWorkers(), keptBefore + (c.kept ? 1 : 0)) << c.what;
    EXPECT_EQ(testTable[SLOT_AMLS].test != nullptr, c.kept) << c.what;
    EXPECT_EQ(testTable[SLOT_CUSUM].test, nullptr) << c.what;
    EXPECT_EQ(seqBits, nullptr);
    EXPECT_FALSE(Exists("_Quorvane.txt"));
    // The kept worker waits for good and never runs its test again: what
    // it kept (its test and its last results) is freed here.
    delete testTable[SLOT_AMLS].test;
    testTable[SLOT_AMLS].test = nullptr;
    for (char* label : resultLabels[SLOT_AMLS]) delete[] label;
    resultLabels[SLOT_AMLS].clear();
    resultPValues[SLOT_AMLS].clear();
  }
}
