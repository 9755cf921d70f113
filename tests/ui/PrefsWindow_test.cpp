// The preferences on the real window: a file read into the controls, the
// controls written by the close handler and read back by a new window, and
// files that must leave the window as it was.
#include <wx/display.h>

#include <gtest/gtest.h>

#include <memory>

#include "support/PrefsFixture.h"
#include "support/PresetControls.h"
#include "support/RealInput.h"
#include "support/SettingsFrame.h"
#include "ui/Presets.h"

namespace {

struct PrefsWindowTest : SettingsWindowTest {
  // The close handler releases dataDir; the next window needs it again.
  void RestoreDataDir() {
    if (dataDir != nullptr) return;
    dataDir = new char[folder.size() + 1];
    strcpy(dataDir, folder.c_str());
  }
  wxCloseEvent Close() {
    wxCloseEvent event(wxEVT_CLOSE_WINDOW, frame->GetId());
    event.SetEventObject(frame.get());
    event.SetCanVeto(true);
    frame->OnClose(event);
    return event;
  }
  void WriteBytes(const std::vector<unsigned char>& bytes) const {
    WriteFile("prefs.bin", std::string(bytes.begin(), bytes.end()));
  }
  std::vector<wxString> ListRows() const {
    std::vector<wxString> rows;
    for (unsigned i = 0; i < frame->testList->GetCount(); ++i)
      rows.push_back(frame->testList->GetString(i) + (frame->testList->IsChecked(i) ? " [x]" : ""));
    return rows;
  }
};

bool OnSomeDisplay(const wxPoint& point) { return wxDisplay::GetFromPoint(point) != wxNOT_FOUND; }

}  // namespace

TEST_F(PrefsWindowTest, TheFixtureIsReadIntoItsControls) {
  WriteFile("presets.ini", "[Fast]\nSerial=1\n[Fast/Serial]\nsmax=9\n");
  frame = std::make_unique<SettingsFrame>();
  // Read before the window is shown, as the program reads it; the
  // Parameters page scrolls once it is on screen with its size.
  WriteBytes(Fixture());
  frame->ReadPrefs();
  EXPECT_TRUE(boxes.empty());
  frame->Show();
  ASSERT_TRUE(WaitUntil([this] { return frame->parametersScroll->GetViewStart().y > 0; }));

  ASSERT_TRUE(OnSomeDisplay(wxPoint(-8 + 600, 110))) << "the display is too small for this test";
  EXPECT_EQ(frame->GetRect(), wxRect(-8, 100, 1200, 900));
  EXPECT_GT(frame->parametersScroll->GetViewStart().y, 0);
  EXPECT_EQ(frame->presetCombo->GetValue(), "Fast");
  EXPECT_EQ(frame->serialSmaxSpin->GetValue(), 9) << "the named preset is loaded";
  EXPECT_FALSE(frame->dftCheck->GetValue()) << "the preset unticks the tests it does not name";
  EXPECT_TRUE(frame->autohideToggle->GetValue());
  EXPECT_EQ(frame->seqLenSpin->GetValue(), 123456);
  EXPECT_EQ(frame->seqLenUnit->GetSelection(), 1);
  EXPECT_EQ(frame->seqCountSpin->GetValue(), 9999);
  EXPECT_FALSE(frame->loadToggle->GetValue());
  EXPECT_EQ(Items(frame->fileCombo), (std::vector<wxString>{"/data/a.bin", "lib/Zar.so"}));
  EXPECT_EQ(frame->fileCombo->GetSelection(), 0);
  EXPECT_EQ(frame->fileCombo->GetValue(), "/data/a.bin");
  EXPECT_EQ(frame->digitsSpin->GetValue(), 6);
  EXPECT_EQ(frame->priorityRadio->GetSelection(), 1);
  EXPECT_EQ(frame->threadsSpin->GetValue(), 8);

  std::vector<wxString> rows;
  for (int slot = 25; slot >= 0; --slot) {
    if (slot == 22) continue;  // its row holds no test
    rows.push_back(wxString(testTable[slot].name) + (slot == 5 || slot == 16 ? " [x]" : ""));
  }
  EXPECT_EQ(ListRows(), rows);
  std::vector<int> indices;
  for (int i = 0; i < 25; ++i) indices.push_back(i);
  EXPECT_EQ(frame->testListChecks, indices) << "each new row runs the tick handler with its index";

  EXPECT_TRUE(frame->sortTableCheck->GetValue());
  EXPECT_TRUE(frame->sortAdRadio->GetValue());
  EXPECT_FALSE(frame->sortKsRadio->GetValue());
  EXPECT_TRUE(frame->sortPearsonCheck->GetValue());
  EXPECT_EQ(frame->rowHeightSpin->GetValue(), 33);
}

TEST_F(PrefsWindowTest, TheSmallestFileIsApplied) {
  WriteBytes(SmallestFile());
  frame->ReadPrefs();
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(frame->testList->GetCount(), 0u);
  EXPECT_EQ(frame->seqLenSpin->GetValue(), 0);
  EXPECT_EQ(frame->seqLenUnit->GetSelection(), 0);
  EXPECT_EQ(frame->seqCountSpin->GetValue(), 1);
  EXPECT_EQ(frame->digitsSpin->GetValue(), 3);
  EXPECT_EQ(frame->rowHeightSpin->GetValue(), 2);
  EXPECT_EQ(frame->fileCombo->GetCount(), 0u);
  EXPECT_EQ(Items(frame->presetCombo), std::vector<wxString>{"Save on exit"});
  EXPECT_EQ(frame->GetSize(), wxSize(WINDOW_WIDTH, WINDOW_HEIGHT)) << "a stored size of 0 x 0 is corrected";
}

TEST_F(PrefsWindowTest, EverySettingSurvivesCloseAndRestart) {
  frame->Show();
  frame->SetSize(wxRect(30, 40, 1200, 900));
  ChangeEverything(*frame);
  const auto presetControls = Snapshot(*frame);

  frame->autohideToggle->SetValue(true);
  frame->seqLenSpin->SetValue(777);
  frame->seqLenUnit->SetSelection(0);
  frame->seqCountSpin->SetValue(12);
  frame->loadToggle->SetValue(false);
  frame->fileCombo->Append("first.bin");
  frame->fileCombo->Append(wxString::FromUTF8("/home/\xC3\xBC/Zar.so"));
  frame->digitsSpin->SetValue(7);
  frame->priorityRadio->SetSelection(1);
  frame->threadsSpin->SetValue(30);
  // Reversed order, two ticks, and one row whose text names no test.
  wxArrayString names;
  for (unsigned i = 0; i < frame->testList->GetCount(); ++i) names.Insert(frame->testList->GetString(i), 0);
  frame->testList->Set(names);
  frame->testList->Check(3);
  frame->testList->Check(10);
  frame->testList->SetString(7, "Bogus");
  frame->sortTableCheck->SetValue(true);
  frame->sortPvMaxRadio->SetValue(true);
  frame->sortPearsonCheck->SetValue(true);
  frame->rowHeightSpin->SetValue(41);
  frame->parametersScroll->Scroll(0, 20);
  frame->presetCombo->SetSelection(frame->presetCombo->FindString(SAVE_ON_EXIT));

  PrefsRecord before = frame->CollectPrefs();
  ASSERT_EQ(before.scroll, 20);
  ASSERT_EQ(before.rows[7].slot, PREFS_NO_SLOT);
  const wxCloseEvent close = Close();
  EXPECT_TRUE(close.GetSkipped()) << "the toolkit goes on to destroy the window";
  EXPECT_FALSE(close.GetVeto());
  EXPECT_EQ(dataDir, nullptr) << "the close handler releases dataDir";
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(Exists("presets.ini")) << "\"Save on exit\" was selected and is saved";

  RestoreDataDir();
  frame = std::make_unique<SettingsFrame>();
  frame->Show();
  frame->ReadPrefs();
  EXPECT_TRUE(boxes.empty());
  PrefsRecord after = frame->CollectPrefs();
  // The row without a test is dropped when read; the list is one row short.
  for (int i = 7; i < PREFS_ROWS - 1; ++i) before.rows[i] = before.rows[i + 1];
  before.rows[PREFS_ROWS - 1] = PrefsRow{};
  ExpectEqual(after, before);
  EXPECT_EQ(frame->presetCombo->wxItemContainerImmutable::GetStringSelection(), "Save on exit");
  EXPECT_EQ(Snapshot(*frame), presetControls) << "the preset the file names is loaded";
}

TEST_F(PrefsWindowTest, UnsoundFilesChangeNothingAndSaySo) {
  const PrefsRecord fresh = frame->CollectPrefs();
  std::vector<std::vector<unsigned char>> files;
  std::vector<unsigned char> f = Fixture();
  f[2] ^= 0x40;
  files.push_back(f);  // checksum
  files.emplace_back(FIXTURE, FIXTURE + AT_FILE0 + 5);
  Reseal(files.back());  // cut inside a string
  for (size_t at : {size_t{AT_UNIT}, size_t{AT_PRIORITY}, size_t{AT_ROWS + 4}, size_t{AT_ROWHEIGHT}}) {
    f = Fixture();
    f[at] = at == AT_ROWS + 4 ? 28 : 120;  // a unit, a priority, a slot 28, a row height out of range
    Reseal(f);
    files.push_back(f);
  }
  f = Fixture();
  f[AT_ROWS + 10] = f[AT_ROWS + 12];  // one slot twice
  Reseal(f);
  files.push_back(f);

  for (const auto& bytes : files) {
    boxes.clear();
    frame = std::make_unique<SettingsFrame>();
    WriteBytes(bytes);
    frame->ReadPrefs();
    EXPECT_EQ(boxes, std::vector<wxString>{"The preferences file is corrupted.\nThe default settings will be used."});
    EXPECT_EQ(boxStyles.back(), wxOK | wxICON_WARNING);
    ExpectEqual(frame->CollectPrefs(), fresh);
    EXPECT_TRUE(frame->testListChecks.empty());
    EXPECT_EQ(frame->testList->GetCount(), 26u);
  }
}

TEST_F(PrefsWindowTest, AWindowOffEveryDisplayOrTooSmallIsCorrected) {
  PrefsRecord r = FixtureRecord();
  r.presetName = "";
  r.x = 40000;
  r.y = -40000;
  r.width = 800;
  r.height = 600;
  WriteBytes(EncodePrefs(r));
  frame->ReadPrefs();
  const wxRect rect = frame->GetRect();
  EXPECT_EQ(rect.GetSize(), wxSize(800, 600));
  EXPECT_TRUE(OnSomeDisplay(wxPoint(rect.x + rect.width / 2, rect.y + 10))) << rect.x << "," << rect.y;

  r.x = 10;
  r.y = 10;
  r.width = 120;
  r.height = 90;
  WriteBytes(EncodePrefs(r));
  frame = std::make_unique<SettingsFrame>();
  frame->ReadPrefs();
  EXPECT_EQ(frame->GetSize(), wxSize(WINDOW_WIDTH, WINDOW_HEIGHT));
}

TEST_F(PrefsWindowTest, AStoredSizeLargerThanTheDisplayIsBoundedAndWrittenBackBounded) {
  PrefsRecord r = FixtureRecord();
  r.presetName = "";
  for (const int size : {40000, 2147483647}) {
    r.x = 0;
    r.y = 0;
    r.width = size;
    r.height = size;
    WriteBytes(EncodePrefs(r));
    frame = std::make_unique<SettingsFrame>();
    frame->ReadPrefs();
    const wxRect rect = frame->GetRect();
    const int display = wxDisplay::GetFromPoint(wxPoint(rect.x + rect.width / 2, rect.y + 10));
    ASSERT_NE(display, wxNOT_FOUND) << size;
    const wxRect area = wxDisplay(display).GetClientArea();
    EXPECT_LE(rect.width, area.width) << size;
    EXPECT_LE(rect.height, area.height) << size;
    const PrefsRecord written = frame->CollectPrefs();
    EXPECT_LE(written.width, area.width) << size;
    EXPECT_LE(written.height, area.height) << size;
  }
}

TEST_F(PrefsWindowTest, AnAqlRowIsAlwaysTicked) {
  PrefsRecord r = FixtureRecord();
  r.rows[0] = PrefsRow{26, false};
  WriteBytes(EncodePrefs(r));
  frame->ReadPrefs();
  ASSERT_GT(frame->testList->GetCount(), 0u);
  EXPECT_EQ(frame->testList->GetString(0), "AQL");
  EXPECT_TRUE(frame->testList->IsChecked(0));
}

TEST_F(PrefsWindowTest, OnlyTheSelectedSaveOnExitInAnyCaseIsSavedAtClose) {
  frame->presetCombo->ChangeValue("Save on exit");  // typed, not selected
  Close();
  EXPECT_FALSE(Exists("presets.ini"));
  EXPECT_TRUE(Exists("prefs.bin"));

  // The same name in another case is the same preset, selected.
  RestoreDataDir();
  WriteFile("presets.ini", "[save ON exit]\nAMLS=1\n");
  frame = std::make_unique<SettingsFrame>();
  ASSERT_EQ(Items(frame->presetCombo), std::vector<wxString>{"save ON exit"});
  frame->presetCombo->SetSelection(0);
  frame->serialSmaxSpin->SetValue(9);
  Close();
  EXPECT_NE(ReadFile("presets.ini").find("[save ON exit/Serial]\nsmin=2\nsmax=9\n"), std::string::npos);
}

TEST_F(PrefsWindowTest, ASecondCloseRequestWritesNothing) {
  frame->presetCombo->SetSelection(frame->presetCombo->FindString(SAVE_ON_EXIT));
  Close();
  ASSERT_EQ(dataDir, nullptr);
  RemoveTree(PathOf("prefs.bin"));
  RemoveTree(PathOf("presets.ini"));
  const wxCloseEvent again = Close();
  EXPECT_TRUE(again.GetSkipped());
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(Files().empty());
}

TEST_F(PrefsWindowTest, ACloseDuringARunIsRefused) {
  runState = RunState::Running;
  const wxCloseEvent close = Close();
  EXPECT_TRUE(close.GetVeto());
  EXPECT_FALSE(close.GetSkipped());
  EXPECT_NE(dataDir, nullptr);
  EXPECT_FALSE(Exists("prefs.bin"));
}

TEST_F(PrefsWindowTest, AFolderThatCannotBeWrittenKeepsTheOldFileAndTheWindowCloses) {
  WriteBytes(Fixture());
  char* real = dataDir;
  const std::string missing = folder + "/gone";
  dataDir = new char[missing.size() + 1];
  strcpy(dataDir, missing.c_str());
  const wxCloseEvent close = Close();
  delete[] real;
  EXPECT_EQ(boxes,
            std::vector<wxString>{"Error while saving the preferences.\nThe old preferences file will be restored."});
  EXPECT_TRUE(close.GetSkipped());
  EXPECT_EQ(dataDir, nullptr);
  const std::string kept = ReadFile("prefs.bin");
  EXPECT_EQ(std::vector<unsigned char>(kept.begin(), kept.end()), Fixture());
}
