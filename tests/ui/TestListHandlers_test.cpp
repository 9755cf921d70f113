// The handlers of the Parameters and Prefs pages on the program's window,
// driven through the events the controls send: the display-order list,
// panel visibility, the spin-button texts and the input-file list.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/ProgramWindow.h"
#include "ui/TestPanels.h"

namespace {

struct TestListTest : ProgramWindowTest {
  wxCheckListBox* List() const { return frame->testList; }
  int Row(const char* name) const { return List()->FindString(name, true); }
  std::vector<wxString> Rows() const {
    std::vector<wxString> rows;
    for (unsigned i = 0; i < List()->GetCount(); ++i)
      rows.push_back(List()->GetString(i) + (List()->IsChecked(i) ? " [x]" : ""));
    return rows;
  }
  int ShownPanels() const {
    int shown = 0;
    for (const TestPanelSpec& t : TEST_PANELS) shown += (frame->*t.panel)->IsShown() ? 1 : 0;
    return shown;
  }
};

// The answers of the file dialog, and what it was asked.
struct DialogAnswer {
  static inline bool confirm = true;
  static inline wxString path;
  static inline int calls = 0;
  static inline wxString message, folder, wildcard;
  static bool Answer(wxWindow*, const wxString& m, const wxString& d, const wxString& w, wxString* chosen) {
    ++calls;
    message = m;
    folder = d;
    wildcard = w;
    if (confirm) *chosen = path;
    return confirm;
  }
};

struct FileListTest : TestListTest {
  FileDialogHandler old = nullptr;
  void SetUp() override {
    TestListTest::SetUp();
    old = SetFileDialogHandler(DialogAnswer::Answer);
    DialogAnswer::confirm = true;
    DialogAnswer::calls = 0;
  }
  void TearDown() override {
    SetFileDialogHandler(old);
    TestListTest::TearDown();
  }
  wxComboBox* Files() const { return frame->fileCombo; }
  void Fill(std::initializer_list<const char*> items) {
    Files()->Clear();
    for (const char* item : items) Files()->Append(item);
  }
  void Choose(int index) {
    Files()->SetSelection(index);
    wxCommandEvent event(wxEVT_COMBOBOX, Files()->GetId());
    event.SetEventObject(Files());
    event.SetInt(index);
    Files()->GetEventHandler()->ProcessEvent(event);
  }
};

}  // namespace

// Up and Down move the selected entry with its tick; the ends and no
// selection leave the list alone.
TEST_F(TestListTest, MovingEntries) {
  struct Case {
    int selected;
    bool down;
    int swapped;  // the entry exchanged with the selected one; -1 for none
  };
  const int last = static_cast<int>(List()->GetCount()) - 1;
  const Case cases[] = {{3, false, 2}, {3, true, 4}, {0, false, -1}, {last, true, -1}, {0, true, 1},
                        {last, false, last - 1}, {wxNOT_FOUND, true, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "entry " << c.selected << (c.down ? " down" : " up"));
    if (c.selected >= 0) {
      List()->Check(static_cast<unsigned>(c.selected), true);
      List()->SetSelection(c.selected);
    } else {
      List()->SetSelection(wxNOT_FOUND);
    }
    std::vector<wxString> expected = Rows();
    if (c.swapped >= 0) std::swap(expected[c.selected], expected[c.swapped]);
    Click(c.down ? frame->downButton : frame->upButton);
    EXPECT_EQ(Rows(), expected);
    EXPECT_EQ(List()->GetSelection(), c.swapped >= 0 ? c.swapped : c.selected);
    for (unsigned i = 0; i < List()->GetCount(); ++i) List()->Check(i, false);
  }
}

// Sorting ignores case and takes the ticks along; the selection stays where
// it was.
TEST_F(TestListTest, SortingIgnoresCaseAndKeepsTicks) {
  std::vector<wxString> names = Items(List());
  std::mt19937 random(7);
  std::shuffle(names.begin(), names.end(), random);
  for (size_t i = 0; i < names.size(); i += 3) names[i] = names[i].Upper();
  List()->Set(wxArrayString(names.size(), names.data()));
  const wxString ticked = names[5];
  List()->Check(5, true);
  List()->SetSelection(2);

  Click(frame->sortButton);
  std::vector<wxString> sorted = names;
  std::sort(sorted.begin(), sorted.end(), [](const wxString& a, const wxString& b) { return a.CmpNoCase(b) < 0; });
  EXPECT_EQ(Items(List()), sorted);
  for (unsigned i = 0; i < List()->GetCount(); ++i) EXPECT_EQ(List()->IsChecked(i), List()->GetString(i) == ticked);
  EXPECT_EQ(List()->GetSelection(), 2);
}

TEST_F(TestListTest, TickingAnEntryHidesAndDisablesItsTest) {
  const unsigned peak = static_cast<unsigned>(Row("Peak"));
  TickEntry(List(), peak, true);
  EXPECT_FALSE(Panel(SLOT_PEAK)->IsShown());
  EXPECT_FALSE(Box(SLOT_PEAK)->GetValue());
  EXPECT_TRUE(IsTestHidden(SLOT_PEAK));
  TickEntry(List(), peak, false);
  EXPECT_TRUE(Panel(SLOT_PEAK)->IsShown());
  EXPECT_FALSE(Box(SLOT_PEAK)->GetValue()) << "the box stays unticked";
  EXPECT_FALSE(IsTestHidden(SLOT_PEAK));

  // An entry that names no test only lays the page out.
  List()->SetString(0, "Bogus");
  TickEntry(List(), 0, true);
  EXPECT_EQ(ShownPanels(), 26);
}

TEST_F(TestListTest, AutohideFollowsTheCheckBoxes) {
  SetAndClick(Box(SLOT_RANK), false);
  EXPECT_TRUE(Panel(SLOT_RANK)->IsShown()) << "the toggle is up";

  SetAndClick(frame->autohideToggle, true);
  EXPECT_FALSE(Panel(SLOT_RANK)->IsShown());
  SetAndClick(Box(SLOT_RANK), true);
  EXPECT_TRUE(Panel(SLOT_RANK)->IsShown());
  SetAndClick(Box(SLOT_RANK), false);
  EXPECT_FALSE(Panel(SLOT_RANK)->IsShown()) << "at once, with the toggle down";

  SetAndClick(frame->autohideToggle, false);
  EXPECT_TRUE(Panel(SLOT_RANK)->IsShown());
  EXPECT_FALSE(frame->aqlPanel->IsShown()) << "AQL has no entry and stays hidden";
}

TEST_F(TestListTest, DisableAllAndEnableAll) {
  TickEntry(List(), static_cast<unsigned>(Row("Weight")), true);
  SetAndClick(frame->autohideToggle, true);
  Click(frame->disableAllButton);
  for (const TestPanelSpec& t : TEST_PANELS) EXPECT_FALSE((frame->*t.check)->GetValue()) << t.key;
  EXPECT_EQ(ShownPanels(), 0);

  Click(frame->enableAllButton);
  for (const TestPanelSpec& t : TEST_PANELS) EXPECT_TRUE((frame->*t.check)->GetValue()) << t.key;
  EXPECT_EQ(ShownPanels(), 25) << "all but Weight, hidden through the list, and AQL";
  EXPECT_FALSE(Panel(SLOT_WEIGHT)->IsShown());
  EXPECT_FALSE(frame->aqlPanel->IsShown());
}

TEST_F(TestListTest, IsTestHidden) {
  for (int slot = SLOT_AQL; slot < TEST_SLOTS; ++slot) EXPECT_TRUE(IsTestHidden(slot)) << slot;
  EXPECT_FALSE(IsTestHidden(SLOT_DFT));
  List()->Check(static_cast<unsigned>(Row("DFT")), true);
  EXPECT_TRUE(IsTestHidden(SLOT_DFT));
  List()->Delete(static_cast<unsigned>(Row("Runs")));
  EXPECT_TRUE(IsTestHidden(SLOT_RUNS)) << "a test without an entry";
  // Only the first 26 entries count.
  List()->Append(testTable[SLOT_RUNS].name);
  List()->Insert("Bogus", 0);
  EXPECT_TRUE(IsTestHidden(SLOT_RUNS));
  mainFrame = nullptr;
  EXPECT_TRUE(IsTestHidden(SLOT_SERIAL));
  mainFrame = frame;
}

TEST_F(TestListTest, SpinButtonTexts) {
  struct Case {
    int lmin, lmax;  // before
    bool moveLmin;
    int to;
    int lminAfter, lmaxAfter;
    const char* lminText;
    const char* lmaxText;
  };
  const Case cases[] = {
      {0, 3, true, 5, 5, 5, "32", "32"},   // Lmin past Lmax takes Lmax along
      {5, 9, false, 2, 2, 2, "4", "4"},    // Lmax below Lmin takes Lmin along
      {0, 19, true, 0, 0, 19, "1", "524288"},
      {4, 6, false, 10, 4, 10, "16", "1024"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lmin << ".." << c.lmax << (c.moveLmin ? " Lmin to " : " Lmax to ") << c.to);
    Spin(frame->amlsLmaxSpinButton, c.lmax);
    Spin(frame->amlsLminSpinButton, c.lmin);
    Spin(c.moveLmin ? frame->amlsLminSpinButton : frame->amlsLmaxSpinButton, c.to);
    EXPECT_EQ(frame->amlsLminSpinButton->GetValue(), c.lminAfter);
    EXPECT_EQ(frame->amlsLmaxSpinButton->GetValue(), c.lmaxAfter);
    EXPECT_EQ(frame->amlsLminText->GetValue(), c.lminText);
    EXPECT_EQ(frame->amlsLmaxText->GetValue(), c.lmaxText);
  }
  Spin(frame->liCoKSpinButton, 14);
  EXPECT_EQ(frame->liCoKText->GetValue(), "28");
}

TEST_F(FileListTest, TheDialogPutsTheChosenFileOnTopOnce) {
  Fill({"/data/a.bin", "/data/b.bin"});
  Files()->SetValue("/data/typed.bin");
  DialogAnswer::path = "/data/c.bin";
  Click(frame->selectFileButton);
  EXPECT_EQ(DialogAnswer::message, "Select a (base) file to test or a DLL to use");
  EXPECT_EQ(DialogAnswer::folder, "/data") << "the folder of the text";
  EXPECT_TRUE(DialogAnswer::wildcard.Contains("*.so"));
  EXPECT_TRUE(DialogAnswer::wildcard.Contains("|*"));
  EXPECT_EQ(Items(Files()), (std::vector<wxString>{"/data/c.bin", "/data/typed.bin", "/data/a.bin", "/data/b.bin"}));
  EXPECT_EQ(Files()->GetValue(), "/data/c.bin");

  Click(frame->selectFileButton);
  EXPECT_EQ(Items(Files()), (std::vector<wxString>{"/data/c.bin", "/data/typed.bin", "/data/a.bin", "/data/b.bin"}));

  // A path that differs only in case is another file on Linux.
  DialogAnswer::path = "/data/C.bin";
  Click(frame->selectFileButton);
  EXPECT_EQ(Items(Files()).size(), 5u);
  EXPECT_EQ(Files()->GetValue(), "/data/C.bin");
}

TEST_F(FileListTest, ACancelledDialogKeepsTheTypedText) {
  DialogAnswer::confirm = false;
  Fill({"/data/a.bin"});
  Files()->SetValue("/data/new.bin");
  Click(frame->selectFileButton);
  EXPECT_EQ(Items(Files()), (std::vector<wxString>{"/data/new.bin", "/data/a.bin"}));

  // An empty text joins the list too, and leaves it when a file is chosen.
  Files()->SetValue("");
  Click(frame->selectFileButton);
  EXPECT_EQ(Items(Files()), (std::vector<wxString>{"", "/data/new.bin", "/data/a.bin"}));
  DialogAnswer::confirm = true;
  DialogAnswer::path = "/data/a.bin";
  Click(frame->selectFileButton);
  EXPECT_EQ(Items(Files()), (std::vector<wxString>{"/data/a.bin", "/data/new.bin"}));
  EXPECT_EQ(DialogAnswer::folder, "");
}

TEST_F(FileListTest, AChosenItemMovesToTheTop) {
  Fill({"one", "two", "three", "four"});
  Choose(2);
  EXPECT_EQ(Items(Files()), (std::vector<wxString>{"three", "one", "two", "four"}));
  EXPECT_EQ(Files()->GetSelection(), 0);
  EXPECT_EQ(Files()->GetValue(), "three");
}

TEST_F(FileListTest, DeletingAnItem) {
  Fill({"one", "two", "three"});
  Files()->SetSelection(2);
  Click(frame->deleteFileButton);
  EXPECT_EQ(Items(Files()), (std::vector<wxString>{"one", "two"}));
  EXPECT_EQ(Files()->GetValue(), "two") << "the item before it";
  Files()->SetSelection(0);
  Click(frame->deleteFileButton);
  EXPECT_EQ(Items(Files()), (std::vector<wxString>{"two"}));
  EXPECT_EQ(Files()->GetValue(), "two") << "the first item";
  Files()->SetValue("not listed");
  Click(frame->deleteFileButton);
  EXPECT_EQ(Items(Files()), (std::vector<wxString>{"two"}));
  Files()->SetSelection(0);
  Click(frame->deleteFileButton);
  EXPECT_TRUE(Items(Files()).empty());
  EXPECT_EQ(Files()->GetSelection(), wxNOT_FOUND);
}
