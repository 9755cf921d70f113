// The main window as its constructor leaves it: in an empty data folder,
// with presets and preferences that it reads, and with its data folder
// taken from the executable.
#include <wx/dcclient.h>
#include <wx/display.h>
#include <wx/odcombo.h>
#include <wx/thread.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <set>

#include "support/ProgramWindow.h"
#include "platform/Processors.h"
#include "ui/Presets.h"
#include "ui/Prefs.h"
#include "ui/TestPanels.h"

namespace {

// A window built while the test's own files are in the folder.
struct MainWindowTest : ProgramWindowTest {
  void Rebuild() {
    DestroyFrame();
    RestoreDataDir();
    mainFrame = nullptr;  // as in the program, while the constructor runs
    frame = new wxQuorvaneFIN(nullptr);
    mainFrame = frame;
    frame->Show();
  }
  void WritePrefs(const PrefsRecord& record) {
    const std::vector<unsigned char> bytes = EncodePrefs(record);
    WriteFile("prefs.bin", std::string(bytes.begin(), bytes.end()));
  }
  // A record that lists every test in slot order, nothing ticked.
  static PrefsRecord AllRows() {
    PrefsRecord r;
    for (int i = 0; i < PREFS_ROWS; ++i) r.rows[i] = {i, false};
    return r;
  }
};

std::string RealPath(const char* path) {
  char resolved[PATH_MAX];
  return realpath(path, resolved) != nullptr ? resolved : "";
}

}  // namespace

TEST_F(MainWindowTest, AnEmptyFolderGivesTheDefaultWindow) {
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(frame->GetSize(), wxSize(WINDOW_WIDTH, WINDOW_HEIGHT));
  const wxRect screen = wxDisplay(wxDisplay::GetFromWindow(frame)).GetClientArea();
  const wxPoint middle = frame->GetRect().GetPosition() + wxSize(WINDOW_WIDTH / 2, WINDOW_HEIGHT / 2);
  EXPECT_NEAR(middle.x, screen.x + screen.width / 2, 1);
  EXPECT_NEAR(middle.y, screen.y + screen.height / 2, 1);
  EXPECT_EQ(frame->notebook->GetSelection(), 0) << "the Parameters page";
  EXPECT_EQ(Items(frame->presetCombo), (std::vector<wxString>{SAVE_ON_EXIT}));
  EXPECT_EQ(frame->threadsSpin->GetMax(), 30);
  EXPECT_EQ(frame->threadsSpin->GetValue(), std::max(1, std::min(platform::ProcessorCount(), 30)));
  EXPECT_EQ(frame->rowHeightSpin->GetValue(), frame->tableGrid->GetDefaultRowSize());
  EXPECT_EQ(frame->GetTitle(), sizeof(void*) == 8 ? "Quorvane_MT 64 bits - v2.0.0" : "Quorvane_MT 32 bits - v2.0.0");
  EXPECT_EQ(frame->statusBar->GetFieldsCount(), 5);
  EXPECT_EQ(frame->statusBar->GetStatusWidth(4), -1) << "the generator's field takes the rest";
  EXPECT_GT(frame->statusBar->GetStatusWidth(1), frame->statusBar->GetStatusWidth(0));

  // The display-order list: the 26 tests of the window, sorted, none ticked.
  const std::vector<wxString> rows = Items(frame->testList);
  ASSERT_EQ(rows.size(), 26u);
  std::set<wxString> names(rows.begin(), rows.end());
  for (int slot = 0; slot < 26; ++slot) EXPECT_EQ(names.count(testTable[slot].name), 1u) << testTable[slot].name;
  for (size_t i = 1; i < rows.size(); ++i) EXPECT_LT(rows[i - 1].CmpNoCase(rows[i]), 0) << rows[i];
  for (unsigned i = 0; i < 26; ++i) EXPECT_FALSE(frame->testList->IsChecked(i));

  // The three spin buttons' texts and their ranges.
  EXPECT_EQ(frame->amlsLminText->GetValue(), "1");
  EXPECT_EQ(frame->amlsLmaxText->GetValue(), "524288");
  EXPECT_EQ(frame->amlsLmaxSpinButton->GetMax(), 19);
  EXPECT_EQ(frame->liCoKText->GetValue(), "0");
  EXPECT_EQ(frame->liCoKSpinButton->GetMax(), 14);

  EXPECT_FALSE(frame->aqlCheck->GetValue());
  EXPECT_FALSE(frame->aqlPanel->IsShown());
  for (int slot = 0; slot < 26; ++slot) EXPECT_TRUE(Panel(slot)->IsShown()) << testTable[slot].name;
}

TEST_F(MainWindowTest, TheGridsThePlotAndTheFonts) {
  wxGrid* table = frame->tableGrid;
  const char* const columns[] = {"Test", "pvals", "KS", "AD", "Bino", "pv min", "pv max"};
  for (int c = 0; c < 7; ++c) EXPECT_EQ(table->GetColLabelValue(c), columns[c]);
  EXPECT_EQ(table->GetRowLabelValue(0), "KS");
  EXPECT_EQ(table->GetRowLabelValue(1), "AD");
  EXPECT_EQ(table->GetRowLabelValue(2), "Bino");
  const wxColour brown = wxTheColourDatabase->Find("BROWN");
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c <= 4; ++c) EXPECT_EQ(table->GetCellTextColour(r, c), brown) << r << "," << c;
  for (int c = 5; c <= 6; ++c) EXPECT_EQ(table->GetCellTextColour(0, c), *wxBLUE) << c;
  EXPECT_EQ(frame->pearsonGrid->GetColLabelValue(0), "Test");
  EXPECT_EQ(frame->pearsonGrid->GetColLabelValue(1), "pval");
  EXPECT_EQ(frame->pearsonGrid->GetColLabelValue(2), "Exp");

  ASSERT_NE(frame->graph, nullptr);
  EXPECT_EQ(frame->graph->GetParent(), frame->plotPanel);
  EXPECT_EQ(frame->ksLegendBitmap->GetBackgroundColour(), frame->graph->ksColour);
  EXPECT_EQ(frame->adLegendBitmap->GetBackgroundColour(), frame->graph->adColour);

  // The log pane keeps its 9 pt font; every other control gets 8 pt.
  EXPECT_EQ(frame->messageText->GetFont().GetPointSize(), 9);
  EXPECT_EQ(frame->seqLenSpin->GetFont().GetPointSize(), 8);
  EXPECT_EQ(frame->testList->GetFont().GetPointSize(), 8);
  EXPECT_EQ(frame->amlsCheck->GetFont().GetWeight(), wxFONTWEIGHT_BOLD) << "the weight stays";
  for (wxGrid* grid : {frame->tableGrid, frame->pearsonGrid, frame->statGrid}) {
    EXPECT_EQ(grid->GetLabelFont().GetWeight(), wxFONTWEIGHT_BOLD);
    EXPECT_EQ(grid->GetDefaultCellFont().GetWeight(), wxFONTWEIGHT_NORMAL);
    EXPECT_EQ(grid->GetLabelFont().GetPointSize(), 8);
  }
}

TEST_F(MainWindowTest, CheckBoxesShareOneWidthAndButtonsOneHeight) {
  const int width = frame->amlsCheck->GetMinSize().x;
  EXPECT_GT(width, 0);
  for (const TestPanelSpec& test : TEST_PANELS) EXPECT_EQ((frame->*test.check)->GetMinSize().x, width) << test.key;
  const int height = frame->seqLenUnit->GetSize().y + 4;
  for (wxWindow* button : std::initializer_list<wxWindow*>{
           frame->loadToggle, frame->savePresetButton, frame->deletePresetButton, frame->disableAllButton,
           frame->enableAllButton, frame->autohideToggle, frame->startButton, frame->selectFileButton,
           frame->deleteFileButton})
    EXPECT_EQ(button->GetMaxSize().y, height) << button->GetLabel();
}

TEST_F(MainWindowTest, PresetsAreListedOnceEach) {
  WriteFile("presets.ini", "[A]\nAMLS=1\n[A/AMLS]\nlmin=3\n[Save on exit]\nAMLS=0\n");
  Rebuild();
  EXPECT_EQ(Items(frame->presetCombo), (std::vector<wxString>{"A", SAVE_ON_EXIT}));
}

TEST_F(MainWindowTest, ThePreferencesAreAppliedAndAqlStaysOutOfReach) {
  // A preset that ticks AQL, unticks Rank and sets an AMLS exponent.
  WriteFile("presets.ini", "[P]\nAQL=1\nAMLS=1\nRank=0\n[P/AMLS]\nlmin=5\nlmax=7\n[P/LiCo]\nk=3\n");
  PrefsRecord r = AllRows();
  r.presetName = "P";
  r.autohide = true;
  r.rows[16].checked = true;  // Peak, hidden through the list
  WritePrefs(r);
  Rebuild();
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(frame->presetCombo->GetValue(), "P");
  EXPECT_FALSE(frame->aqlCheck->GetValue());
  EXPECT_FALSE(frame->aqlPanel->IsShown());
  EXPECT_TRUE(frame->amlsPanel->IsShown());
  EXPECT_FALSE(Panel(SLOT_PEAK)->IsShown()) << "ticked in the list";
  EXPECT_FALSE(Box(SLOT_PEAK)->GetValue());
  EXPECT_FALSE(Panel(SLOT_RANK)->IsShown()) << "unticked while autohide is down";
  // The texts follow the loaded exponents.
  EXPECT_EQ(frame->amlsLminText->GetValue(), "32");
  EXPECT_EQ(frame->amlsLmaxText->GetValue(), "128");
  EXPECT_EQ(frame->liCoKText->GetValue(), "6");
}

TEST_F(MainWindowTest, ACorruptedPreferencesFileStillOpensTheWindow) {
  WriteFile("prefs.bin", "not a preferences file");
  Rebuild();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].Contains("corrupted"));
  EXPECT_EQ(frame->GetSize(), wxSize(WINDOW_WIDTH, WINDOW_HEIGHT));
  EXPECT_EQ(frame->testList->GetCount(), 26u);
}

// Without a data folder of its own the window takes the folder of the
// executable, here the test program's.
TEST_F(MainWindowTest, TheDataFolderIsTheExecutablesFolder) {
  DestroyFrame();
  delete[] dataDir;
  dataDir = nullptr;
  frame = new wxQuorvaneFIN(nullptr);
  mainFrame = frame;
  ASSERT_NE(dataDir, nullptr);
  EXPECT_EQ(RealPath(dataDir), RealPath(QV_BIN_DIR "/../tests"));
  EXPECT_NE(std::string(dataDir).back(), '/');
  // The window is not closed through its close handler here: the test
  // folder keeps no preferences file.
}

// Before the first run every column label of the Table and Pearson grids is
// shown whole: each column at least as wide as its label in the label font.
TEST_F(MainWindowTest, TheGridColumnsAreAsWideAsTheirLabels) {
  for (wxGrid* grid : {frame->tableGrid, frame->pearsonGrid}) {
    wxClientDC dc(grid->GetGridColLabelWindow());
    dc.SetFont(grid->GetLabelFont());
    for (int column = 0; column < grid->GetNumberCols(); ++column) {
      const wxString label = grid->GetColLabelValue(column);
      EXPECT_GE(grid->GetColSize(column), dc.GetTextExtent(label).x + 4) << label;
    }
  }
}

// The presets box shows the preset that always exists whole: its text part
// is as wide as the toolkit needs for "Save on exit" in the box's font.
TEST_F(MainWindowTest, ThePresetsBoxShowsSaveOnExitWhole) {
  wxTextCtrl* text = frame->presetCombo->GetTextCtrl();
  ASSERT_NE(text, nullptr);
  const int needed = text->GetSizeFromTextSize(text->GetTextExtent(SAVE_ON_EXIT).x).x;
  EXPECT_GE(text->GetSize().x, needed);
  EXPECT_GE(frame->presetCombo->GetTextRect().width, needed);
}
