// The Start handler on the program's window: the conversions of the
// controls, the tests that run and the order of their rows, the choice
// between input files and a plug-in, and whole runs started, stopped and
// closed the way a user does it.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>
#include <wx/richtext/richtextctrl.h>
#include <wx/spinbutt.h>

#include <fstream>
#include <functional>
#include <random>
#include <regex>
#include <sstream>

#include "engine/InputFiles.h"
#include "engine/RunTests.h"
#include "support/GuiTest.h"
#include "support/ProgramWindow.h"
#include "ui/StartHandler.h"
#include "ui/TestPanels.h"

namespace {

struct StartTest : ProgramWindowTest {
  void TearDown() override {
    SetPendingEventsHook(nullptr);
    ProgramWindowTest::TearDown();
  }
  // Only these tests ticked, through "Disable all" and their boxes.
  void Choose(std::initializer_list<int> slots) {
    Click(frame->disableAllButton);
    for (int slot : slots) SetAndClick(Box(slot), true);
  }
  void SetRun(int length, int unit, int count) {
    frame->seqLenSpin->SetValue(length);
    frame->seqLenUnit->SetSelection(unit);
    frame->seqCountSpin->SetValue(count);
  }
  static std::string ReadFileAt(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void Type(const std::string& text) { frame->fileCombo->SetValue(wxString::FromUTF8(text)); }
  void Start() { Click(frame->startButton); }
  std::string RandomFile(const std::string& name, size_t bytes) {
    std::mt19937 random(2024);
    std::string data(bytes, '\0');
    for (char& c : data) c = static_cast<char>(random());
    WriteFile(name, data);
    return PathOf(name);
  }
  std::vector<std::string> Report() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile("_Quorvane.txt"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  wxString Status(int field) const { return frame->statusBar->GetStatusText(field); }
  std::vector<wxString> RowLabels() const {
    std::vector<wxString> labels;
    for (int r = 3; r < frame->tableGrid->GetNumberRows(); ++r) labels.push_back(frame->tableGrid->GetCellValue(r, 0));
    return labels;
  }
  // Whether the label-click sorting is bound (it is removed to find out).
  bool SortingBound() const {
    return frame->tableGrid->Unbind(wxEVT_GRID_LABEL_LEFT_CLICK, &wxQuorvaneFIN::OnTableLabelClick, frame);
  }
  bool Loaded(const std::string& library) const {
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
  }
  // What every run leaves behind in the window and the globals.
  void ExpectRestored() {
    EXPECT_TRUE(frame->startButton->IsEnabled());
    EXPECT_EQ(inputPattern, nullptr);
    EXPECT_EQ(startOrder, nullptr);
    EXPECT_EQ(rowOrder, nullptr);
    EXPECT_EQ(runState, RunState::Idle);
    EXPECT_FALSE(frame->startActive);
  }
};

const std::regex HEADER_LINE(
    "Sequence length: (\\d+) bits       Number of sequences: (\\d+)       "
    "Date: \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d");

}  // namespace

// Each conversion of a control into its global, set as a user sets it.
TEST_F(StartTest, ConversionsOfTheControls) {
  struct Case {
    const char* what;
    std::function<void(wxQuorvaneFIN&)> set;
    std::function<uint32_t()> global;
    uint32_t expected;
  };
  auto seqLenOf = [](int value, int unit) {
    return [=](wxQuorvaneFIN& f) {
      f.seqLenSpin->SetValue(value);
      f.seqLenUnit->SetSelection(unit);
    };
  };
  auto seqLenGlobal = [] { return seqLen; };
  auto blkmaxOf = [](const char* text) { return [=](wxQuorvaneFIN& f) { f.amlsBlkmaxText->ChangeValue(text); }; };
  auto blkmax = [] { return static_cast<uint32_t>(amlsBlkmax); };
  const Case cases[] = {
      {"Seq. len. 5 M", seqLenOf(5, 2), seqLenGlobal, 5242880},
      {"Seq. len. 4096 M", seqLenOf(4096, 2), seqLenGlobal, 4294967295u},
      {"Seq. len. 4194304 k", seqLenOf(4194304, 1), seqLenGlobal, 4294967295u},
      {"Seq. len. 4194303 k", seqLenOf(4194303, 1), seqLenGlobal, 4294966272u},
      {"Seq. len. 123 b", seqLenOf(123, 0), seqLenGlobal, 123},
      {"Peak Seq. len. max 5000", [](wxQuorvaneFIN& f) { f.peakNmaxSpin->SetValue(5000); }, [] { return peakNmax; },
       4294967295u},
      {"Peak Seq. len. max 64", [](wxQuorvaneFIN& f) { f.peakNmaxSpin->SetValue(64); }, [] { return peakNmax; },
       67108864},
      {"DFT Seq. len. opt 2", [](wxQuorvaneFIN& f) { f.dftNoptSpin->SetValue(2); }, [] { return dftNopt; }, 2097152},
      {"LongBlk Smin 12 k",
       [](wxQuorvaneFIN& f) {
         f.longBlkSminSpin->SetValue(12);
         f.longBlkSminUnit->SetSelection(1);
       },
       [] { return static_cast<uint32_t>(longBlkSmin); }, 12288},
      {"Peak Bit distance 2 k",
       [](wxQuorvaneFIN& f) {
         f.peakDistSpin->SetValue(2);
         f.peakDistUnit->SetSelection(1);
       },
       [] { return peakDist; }, 2048},
      {"AutoWnd Dmax 1024 M",
       [](wxQuorvaneFIN& f) {
         f.autowDmaxSpin->SetValue(1024);
         f.autowDmaxUnit->SetSelection(2);
       },
       [] { return static_cast<uint32_t>(autowDmax); }, 1073741824},
      {"AutoWnd Dmax 2048 M: the largest int, not a negative one",
       [](wxQuorvaneFIN& f) {
         f.autowDmaxSpin->SetValue(2048);
         f.autowDmaxUnit->SetSelection(2);
       },
       [] { return static_cast<uint32_t>(autowDmax); }, 2147483647},
      {"ShortBlk Dmin 4096 M",
       [](wxQuorvaneFIN& f) {
         f.shortBlkDminSpin->SetValue(4096);
         f.shortBlkDminUnit->SetSelection(2);
       },
       [] { return static_cast<uint32_t>(shortBlkDmin); }, 2147483647},
      {"AMLS Lmin exponent 0", [](wxQuorvaneFIN& f) { f.amlsLminSpinButton->SetValue(0); },
       [] { return static_cast<uint32_t>(amlsLmin); }, 1},
      {"AMLS Lmax exponent 19", [](wxQuorvaneFIN& f) { f.amlsLmaxSpinButton->SetValue(19); },
       [] { return static_cast<uint32_t>(amlsLmax); }, 524288},
      {"Max blks 12abc", blkmaxOf("12abc"), blkmax, 12},
      {"Max blks empty", blkmaxOf(""), blkmax, 0},
      {"Max blks with blanks", blkmaxOf("  7 8"), blkmax, 7},
      {"Max blks with a sign", blkmaxOf("-3"), blkmax, 0},
      {"Max blks of 9 digits", blkmaxOf("999999999"), blkmax, 999999999},
      {"Lin Cplx k 7", [](wxQuorvaneFIN& f) { f.liCoKSpinButton->SetValue(7); },
       [] { return static_cast<uint32_t>(liCoK); }, 14},
      {"Optimize length unticked", [](wxQuorvaneFIN& f) { f.liCoOptlenCheck->SetValue(false); },
       [] { return static_cast<uint32_t>(liCoOptlen); }, 0},
      {"Mode 1 ticked", [](wxQuorvaneFIN& f) { f.dftM1Check->SetValue(true); },
       [] { return static_cast<uint32_t>(dftM1); }, 1},
      {"Rank mode", [](wxQuorvaneFIN& f) { f.rankMChoice->SetSelection(2); },
       [] { return static_cast<uint32_t>(rankM); }, 2},
      {"Rank Cmin -5", [](wxQuorvaneFIN& f) { f.rankCminSpin->SetValue(-5); },
       [] { return static_cast<uint32_t>(rankCmin); }, static_cast<uint32_t>(-5)},
      {"Running priority Idle", [](wxQuorvaneFIN& f) { f.priorityRadio->SetSelection(1); },
       [] { return static_cast<uint32_t>(runPriority); }, 1},
      {"P-value digits 7", [](wxQuorvaneFIN& f) { f.digitsSpin->SetValue(7); },
       [] { return static_cast<uint32_t>(pvalueDigits); }, 7},
      {"Seq. to test 9999", [](wxQuorvaneFIN& f) { f.seqCountSpin->SetValue(9999); },
       [] { return static_cast<uint32_t>(seqCount); }, 9999},
  };
  for (const Case& c : cases) {
    c.set(*frame);
    frame->CopyParameters();
    EXPECT_EQ(c.global(), c.expected) << c.what;
  }
}

// A distance of 2048 M or more is cut to half the sequence as 2047 M is:
// the same lines, the same distances, never a refusal of the values.
TEST_F(StartTest, ADistanceOf2048MOrMoreIsCutToHalfTheSequence) {
  const std::string input = RandomFile("input.bin", 2 * 8192);
  Choose({SLOT_CUSUM, SLOT_AUTOW, SLOT_SHORTBLK});
  SetRun(64, 1, 2);
  Type(input);
  std::string linesAt2047;  // the refusals and the rows
  for (int mega : {2047, 2048, 4095}) {
    SCOPED_TRACE(mega);
    frame->autowDmaxSpin->SetValue(mega);
    frame->autowDmaxUnit->SetSelection(2);
    frame->shortBlkDmaxSpin->SetValue(mega);
    frame->shortBlkDmaxUnit->SetSelection(2);
    Start();
    EXPECT_EQ(autowDmax, 32768);
    EXPECT_EQ(shortBlkDmax, 32768);
    std::string lines;
    std::istringstream log(std::string(frame->messageText->GetValue().utf8_str().data()));
    for (std::string line; std::getline(log, line);)
      if (line.rfind("Windowed autocorrelation:", 0) == 0 || line.rfind("Short blocks:", 0) == 0) lines += line + "\n";
    EXPECT_EQ(lines.find("min > 0"), std::string::npos) << lines;
    for (const wxString& row : RowLabels()) lines += row.utf8_str().data() + std::string("\n");
    if (mega == 2047)
      linesAt2047 = lines;
    else
      EXPECT_EQ(lines, linesAt2047);
  }
}

// The text box holds at most 9 characters; longer texts read as strtoul
// reads them into a 32-bit number.
TEST(DecimalText, ReadsAsStrtoulInto32Bits) {
  EXPECT_EQ(DecimalTextValue("4294967295"), 4294967295u);
  EXPECT_EQ(DecimalTextValue("4294967296"), 4294967295u);
  EXPECT_EQ(DecimalTextValue("99999999999999999999999"), 4294967295u);
  EXPECT_EQ(DecimalTextValue("\t 0012"), 12u);
  EXPECT_EQ(DecimalTextValue("+5"), 0u);
  EXPECT_EQ(UnitValue(-1, 2), 0u);
  EXPECT_EQ(UnitValue(4095, 2), 4293918720u);
}

// Every control that feeds a global reaches it, whatever the order of the
// copy.
TEST_F(StartTest, EveryParameterControlReachesItsGlobal) {
  constexpr int SENTINEL = 0x5A5A5A5A;
  std::vector<const ParamSpec*> fed;
  for (const TestPanelSpec& test : TEST_PANELS)
    for (size_t i = 0; i < test.paramCount; ++i)
      if (test.params[i].feed != ParamFeed::None) fed.push_back(&test.params[i]);
  ASSERT_EQ(fed.size(), 95u) << "one control per parameter global";
  for (const ParamSpec* p : fed) {
    if (p->intGlobal) *p->intGlobal = SENTINEL;
    if (p->unsignedGlobal) *p->unsignedGlobal = SENTINEL;
  }
  frame->CopyParameters();
  for (const ParamSpec* p : fed) {
    const uint32_t value = p->intGlobal ? static_cast<uint32_t>(*p->intGlobal) : *p->unsignedGlobal;
    EXPECT_NE(value, static_cast<uint32_t>(SENTINEL)) << p->key << " " << (p->label ? p->label : "");
  }
}

TEST(RowOrder, TheEnabledPositionsHoldTheEnabledSlotsInListOrder) {
  bool enabled[TEST_SLOTS] = {};
  enabled[0] = enabled[2] = enabled[5] = true;
  wxArrayString rows;
  for (const char* row : {"Runs", "Partition", "DFT", "Peak", "Serial", "Bogus"}) rows.Add(row);
  signed char order[TEST_SLOTS];
  BuildRowOrder(enabled, rows, order);
  for (int i = 0; i < TEST_SLOTS; ++i) {
    const int expected = i == 0 ? 5 : i == 2 ? 0 : i == 5 ? 2 : i;
    EXPECT_EQ(order[i], expected) << "position " << i;
  }
  // An enabled test without a row keeps its own position: fewer rows than
  // enabled slots leave the last positions as they are.
  rows.RemoveAt(4);  // "Serial"
  BuildRowOrder(enabled, rows, order);
  EXPECT_EQ(order[0], 5);
  EXPECT_EQ(order[2], 0);
  EXPECT_EQ(order[5], 5);
}

TEST_F(StartTest, ATickedTestRunsOnlyWhenItsEntryIsNotTicked) {
  Choose({SLOT_CUSUM, SLOT_SERIAL, SLOT_RUNS, SLOT_PEAK});
  SetAndClick(frame->aqlCheck, true);
  frame->testList->Check(static_cast<unsigned>(frame->testList->FindString("Serial", true)), true);
  frame->testList->Delete(static_cast<unsigned>(frame->testList->FindString("Runs", true)));
  frame->EnableTests();
  for (int slot = 0; slot < TEST_SLOTS; ++slot)
    EXPECT_EQ(testTable[slot].enabled, slot == SLOT_CUSUM || slot == SLOT_PEAK) << testTable[slot].name;
}

TEST(PluginPath, TheLastComponentDecides) {
  struct Case {
    const char* text;
    bool plugin;
  };
  const Case cases[] = {
      {"lib/Zar.so", true},          {"Zar.SO", true},           {"/usr/lib/libgen.so.1", true},
      {"/opt/libGen.So.2.0", true},  {"x.so.", true},            {"/data/run.so.d/a.bin", false},
      {"/data/a.bin", false},        {"/lib.so/seq.bin", false}, {"file.song", false},
      {"name.sox", false},           {"Zar.dll", false},         {"", false},
      {"/data/*.bin", false},        {"/data/gen*.so", true},    {".so", true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsPluginPath(c.text), c.plugin) << '"' << c.text << '"';
  EXPECT_EQ(PluginLoadPath("Zar.so"), "./Zar.so");
  EXPECT_EQ(PluginLoadPath("lib/Zar.SO"), "lib/Zar.SO");
  EXPECT_EQ(PluginLoadPath("/abs/Zar.so"), "/abs/Zar.so");
}

namespace settle {
int calls = 0;
uint32_t GetUL() { return static_cast<uint32_t>(++calls); }
// Named from its first output on, as the sample plug-in is.
const char* NamedLate() { return calls >= 1 ? "LCG" : nullptr; }
const char* Null() { return nullptr; }
const char* Restless() {
  static std::string name;
  name = "gen " + std::to_string(calls);
  return name.c_str();
}
}  // namespace settle

TEST(SettleName, PassesUntilTheNameRepeats) {
  struct Case {
    const char* what;
    ZarGetNameFunction getName;
    bool settles;
    int outputs;
    const char* name;
  };
  const Case cases[] = {
      {"named at the first output", settle::NamedLate, true, 2, "LCG"},
      {"no name function", nullptr, true, 1, ""},
      {"a null name", settle::Null, true, 1, ""},
      {"a name that never settles", settle::Restless, false, NAME_SETTLE_PASSES, "gen 100"},
  };
  for (const Case& c : cases) {
    settle::calls = 0;
    std::string name = "stale";
    EXPECT_EQ(SettleGeneratorName(settle::GetUL, c.getName, NAME_SETTLE_PASSES, &name), c.settles) << c.what;
    EXPECT_EQ(settle::calls, c.outputs) << c.what;
    EXPECT_EQ(name, c.name) << c.what;
  }
}

// A run on input files, from the controls to the report.
TEST_F(StartTest, ARunOnInputFilesWritesTheReport) {
  const std::string input = RandomFile("input.bin", 10 * 1024);
  Choose({SLOT_CUSUM, SLOT_LONGBLK, SLOT_TWOBIT});
  SetRun(8192, 0, 10);
  frame->messageText->SetValue("the log of an earlier run\n");
  Type(input);
  Start();
  ExpectRestored();
  EXPECT_TRUE(SortingBound());
  EXPECT_EQ(Status(2), "DONE.");
  EXPECT_EQ(Status(4), "");
  EXPECT_FALSE(frame->messageText->GetValue().Contains("earlier run")) << "the log is cleared at Start";
  EXPECT_EQ(frame->fileCombo->GetString(0), wxString::FromUTF8(input));

  const std::vector<std::string> report = Report();
  ASSERT_GE(report.size(), 6u);
  EXPECT_EQ(report[0], "Quorvane_MT v2.0.0");
  EXPECT_EQ(report[1], "");
  EXPECT_EQ(report[2], "Input file: " + input + " (10240 bytes)");
  EXPECT_EQ(report[3], "");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(report[4], m, HEADER_LINE)) << report[4];
  EXPECT_EQ(m[1], "8192");
  EXPECT_EQ(m[2], "10");

  // The rows follow the display order, which is sorted by name here.
  const std::vector<wxString> labels = RowLabels();
  ASSERT_FALSE(labels.empty());
  EXPECT_EQ(labels.front(), "Cusum 1");
  EXPECT_EQ(labels.back(), "Two-bit");
  EXPECT_EQ(frame->tableGrid->GetNumberCols(), 7 + 10);
}

TEST_F(StartTest, TheDisplayOrderIsTheRowOrderAndAHiddenTestHasNoRow) {
  const std::string input = RandomFile("input.bin", 2 * 1024);
  Choose({SLOT_CUSUM, SLOT_LONGBLK, SLOT_TWOBIT});
  SetRun(8192, 0, 2);
  // "Serial two-bit" to the top of the list; "Cumulative sum" ticked in the
  // list while its box stays ticked.
  wxCheckListBox* list = frame->testList;
  for (int at = list->FindString("Serial two-bit", true); at > 0; --at) {
    list->SetSelection(at);
    Click(frame->upButton);
  }
  list->Check(static_cast<unsigned>(list->FindString("Cumulative sum", true)), true);
  ASSERT_TRUE(Box(SLOT_CUSUM)->GetValue());
  Type(input);
  Start();
  const std::vector<wxString> labels = RowLabels();
  ASSERT_FALSE(labels.empty());
  EXPECT_EQ(labels.front(), "Two-bit");
  for (const wxString& label : labels) EXPECT_FALSE(label.StartsWith("Cusum")) << label;
}

TEST_F(StartTest, ARunOnThePluginWritesTheReport) {
  const std::string plugin = QV_BIN_DIR "/Zar.so";
  Choose({SLOT_CUSUM, SLOT_LONGBLK, SLOT_TWOBIT});
  SetRun(4096, 0, 3);
  Type(plugin);
  Start();
  ExpectRestored();
  EXPECT_EQ(Status(4), "Generator: LCG");
  EXPECT_FALSE(Loaded(plugin)) << "the module is released after the run";
  const std::vector<std::string> report = Report();
  ASSERT_GE(report.size(), 8u);
  EXPECT_EQ(report[0], "Quorvane_MT v2.0.0");
  EXPECT_EQ(report[2], "DLL used      : " + plugin);
  EXPECT_EQ(report[3], "Generator name: LCG");
  EXPECT_EQ(report[4], "Description   : Description of the generator.");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(report[6], m, HEADER_LINE)) << report[6];
  EXPECT_EQ(m[2], "3");

  // A second Start loads and names the generator again.
  frame->statusBar->SetStatusText("", 4);
  Start();
  EXPECT_EQ(Status(4), "Generator: LCG");
  EXPECT_EQ(Status(2), "DONE.");
}

// A bare file name is the file in the current folder, and its case is kept
// (only the ".so" test ignores case).
TEST_F(StartTest, ABarePluginNameIsLookedForInTheCurrentFolder) {
  WriteFile("MyGen.SO", ReadFileAt(QV_BIN_DIR "/Zar.so"));
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(folder.c_str()), 0);
  Choose({SLOT_CUSUM});
  SetRun(4096, 0, 1);
  Type("MyGen.SO");
  Start();
  ASSERT_EQ(chdir(previous), 0);
  EXPECT_TRUE(boxes.empty()) << (boxes.empty() ? "" : boxes[0]);
  EXPECT_EQ(Status(4), "Generator: LCG");
  EXPECT_EQ(Status(2), "DONE.");
}

// A bare file name not found in the current folder is looked for in the
// program's folder; one found in the current folder is taken from there.
TEST_F(StartTest, ABarePluginNameNotInTheCurrentFolderIsTakenFromTheProgramsFolder) {
  WriteFile("MyGen.so", ReadFileAt(QV_BIN_DIR "/Zar.so"));
  const std::string elsewhere = folder + "/elsewhere";
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0755), 0);
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(elsewhere.c_str()), 0);
  const std::string fromProgram = PluginLoadPath("MyGen.so", dataDir);
  const std::string missing = PluginLoadPath("Other.so", dataDir);
  std::ofstream("MyGen.so") << "a file of the current folder";
  const std::string fromHere = PluginLoadPath("MyGen.so", dataDir);
  remove("MyGen.so");
  Choose({SLOT_CUSUM});
  SetRun(4096, 0, 1);
  Type("MyGen.so");
  Start();
  ASSERT_EQ(chdir(previous), 0);
  EXPECT_EQ(fromProgram, folder + "/MyGen.so");
  EXPECT_EQ(missing, "./Other.so");
  EXPECT_EQ(fromHere, "./MyGen.so");
  EXPECT_TRUE(boxes.empty()) << (boxes.empty() ? "" : boxes[0]);
  EXPECT_EQ(Status(4), "Generator: LCG");
  EXPECT_EQ(Status(2), "DONE.");
}

TEST_F(StartTest, APluginThatCannotBeUsedEndsTheHandlerBeforeTheRun) {
  // A file that is no library, and a library without ZAR_GetUL (zlib, which
  // this program has loaded anyway).
  WriteFile("broken.so", "not a library");
  Dl_info zlib{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&crc32), &zlib), 0);
  struct Case {
    std::string path;
    const char* box;
  };
  const Case cases[] = {{PathOf("broken.so"), "ERROR while loading the DLL."},
                        {PathOf("missing.so"), "ERROR while loading the DLL."},
                        {zlib.dli_fname, "ERROR. Unable to get the ZAR function address in the DLL."}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    boxes.clear();
    frame->messageText->SetValue("kept");
    frame->statusBar->SetStatusText("old", 1);
    Type(c.path);
    Start();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].StartsWith(c.box)) << boxes[0];
    EXPECT_EQ(boxStyles[0] & wxICON_ERROR, wxICON_ERROR);
    EXPECT_EQ(frame->messageText->GetValue(), "kept");
    for (int field = 0; field < 5; ++field) EXPECT_EQ(Status(field), "") << field;
    EXPECT_TRUE(frame->startButton->IsEnabled());
    EXPECT_EQ(inputPattern, nullptr);
  }
}

TEST_F(StartTest, ANameThatNeverSettlesIsWarnedAboutAndTheRunGoesOn) {
  const std::string plugin = QV_TEST_PLUGIN_DIR "/ChangingName.so";
  Choose({SLOT_CUSUM});
  SetRun(4096, 0, 2);
  Type(plugin);
  Start();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].Contains("still changed after 100 calls")) << boxes[0];
  EXPECT_EQ(boxStyles[0] & wxICON_WARNING, wxICON_WARNING);
  EXPECT_TRUE(Status(4).StartsWith("Generator: Restless ")) << Status(4);
  EXPECT_EQ(Status(2), "DONE.");
  EXPECT_FALSE(Loaded(plugin));
}

TEST_F(StartTest, ATypedPathJoinsTheListOnTop) {
  frame->fileCombo->Append("/data/old.bin");
  Choose({SLOT_CUSUM});
  Type(PathOf("none*.bin"));
  Start();
  EXPECT_EQ(frame->fileCombo->GetString(0), wxString::FromUTF8(PathOf("none*.bin")));
  EXPECT_EQ(frame->fileCombo->GetCount(), 2u);
  ASSERT_FALSE(boxes.empty()) << "no file matches";
  ExpectRestored();
  EXPECT_TRUE(SortingBound()) << "also when the engine gave up before the first sequence";
}

TEST_F(StartTest, WithNoTestTickedTheEngineStillDecides) {
  const std::string input = RandomFile("input.bin", 1024);
  Click(frame->disableAllButton);
  SetRun(8192, 0, 1);
  Type(input);
  Start();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].Contains("No test enabled")) << boxes[0];
  ExpectRestored();
  EXPECT_TRUE(SortingBound());
}

TEST_F(StartTest, TheTableIsSortedWhenAsked) {
  const std::string input = RandomFile("input.bin", 8 * 4096);
  Choose({SLOT_CUSUM, SLOT_LONGBLK, SLOT_TWOBIT});
  SetRun(32768, 0, 8);
  frame->sortTableCheck->SetValue(true);
  frame->sortAdRadio->SetValue(true);
  Type(input);
  Start();
  std::vector<double> ad;
  for (int r = 3; r < frame->tableGrid->GetNumberRows(); ++r) ad.push_back(wxAtof(frame->tableGrid->GetCellValue(r, 3)));
  ASSERT_GT(ad.size(), 3u);
  EXPECT_TRUE(std::is_sorted(ad.begin(), ad.end()));
}

// DEL through the application's key filter during sequence 2 of 10 stops
// the run after that sequence.
TEST_F(StartTest, DelDuringTheSecondSequenceStopsAfterIt) {
  ProgramApp app;
  const std::string input = RandomFile("input.bin", 10 * 1024);
  Choose({SLOT_CUSUM, SLOT_LONGBLK, SLOT_TWOBIT});
  SetRun(8192, 0, 10);
  bool pressed = false, handled = false, secondHandled = true, escHandled = true;
  wxString during;
  SetPendingEventsHook([&] {
    if (pressed || runState != RunState::Running || seqIndex != 2) return;
    pressed = true;
    escHandled = PressKey(frame->startButton, WXK_ESCAPE);
    handled = PressKey(frame->tableGrid, WXK_DELETE);
    during = Status(2);
    secondHandled = PressKey(frame->startButton, WXK_DELETE);
  });
  Type(input);
  Start();
  SetPendingEventsHook(nullptr);
  ASSERT_TRUE(pressed);
  EXPECT_FALSE(escHandled) << "ESC during a run is passed on";
  EXPECT_TRUE(handled);
  EXPECT_EQ(during, "STOPPING...");
  EXPECT_FALSE(secondHandled) << "a second DEL is passed on";
  EXPECT_EQ(Status(2), "DONE.");
  EXPECT_EQ(frame->tableGrid->GetNumberCols(), 7 + 2);
  std::smatch m;
  const std::vector<std::string> report = Report();
  ASSERT_GE(report.size(), 5u);
  ASSERT_TRUE(std::regex_match(report[4], m, HEADER_LINE)) << report[4];
  EXPECT_EQ(m[2], "2");
  EXPECT_TRUE(frame->messageText->GetValue().Contains("Only 2 sequence(s) have been tested."))
      << frame->messageText->GetValue();
  EXPECT_FALSE(wxTheApp->IsScheduledForDestruction(frame));
}

// A close request during the run is kept and carried out once the run is
// over: the run completes and the preferences are written after it.
TEST_F(StartTest, ACloseDuringTheRunWaitsForItsEnd) {
  const std::string input = RandomFile("input.bin", 10 * 1024);
  Choose({SLOT_CUSUM, SLOT_LONGBLK});
  SetRun(8192, 0, 10);
  bool asked = false, closed = true, prefsDuring = true;
  wxString title;
  SetPendingEventsHook([&] {
    if (asked || seqIndex != 3) return;
    asked = true;
    closed = frame->Close();
    title = frame->GetTitle();
    prefsDuring = Exists("prefs.bin");
  });
  Type(input);
  Start();
  SetPendingEventsHook(nullptr);
  ASSERT_TRUE(asked);
  EXPECT_FALSE(closed) << "the close is held back";
  EXPECT_FALSE(prefsDuring);
  EXPECT_TRUE(title.EndsWith(" - closing when the run ends")) << title;
  std::smatch m;
  const std::vector<std::string> report = Report();
  ASSERT_GE(report.size(), 5u);
  ASSERT_TRUE(std::regex_match(report[4], m, HEADER_LINE)) << report[4];
  EXPECT_EQ(m[2], "10") << "the run went on to its end";
  EXPECT_TRUE(Exists("prefs.bin")) << "then the window closed through its close handler";
  EXPECT_EQ(dataDir, nullptr);
  EXPECT_TRUE(wxTheApp->IsScheduledForDestruction(frame));
}
