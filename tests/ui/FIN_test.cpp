// The layout of the main window: its members, defaults, the 48 event
// bindings and their removal when the window is destroyed.
#include <gtest/gtest.h>
#include <wx/fontenum.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/CountingFrame.h"
#include "ui/TestPanels.h"

namespace {

using H = CountingFrame;

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override { frame = new CountingFrame; }
  void TearDown() override { delete frame; }
  CountingFrame* frame = nullptr;
};

struct Member {
  const char* name;
  wxObject* object;
  wxClassInfo* cls;
};

#define MEMBER(name, cls) \
  Member { #name, f.name, wxCLASSINFO(cls) }

std::vector<Member> Members(FIN& f) {
  return {
      MEMBER(notebook, wxNotebook), MEMBER(parametersPage, wxPanel), MEMBER(parametersScroll, wxScrolledWindow),
      MEMBER(testPanels, wxPanel), MEMBER(runPanel, wxPanel), MEMBER(presetCombo, wxOwnerDrawnComboBox),
      MEMBER(loadToggle, wxToggleButton), MEMBER(savePresetButton, wxButton), MEMBER(deletePresetButton, wxButton),
      MEMBER(disableAllButton, wxButton), MEMBER(enableAllButton, wxButton), MEMBER(autohideToggle, wxToggleButton),
      MEMBER(startButton, wxButton), MEMBER(seqLenSpin, wxSpinCtrl), MEMBER(seqLenUnit, wxChoice),
      MEMBER(seqCountSpin, wxSpinCtrl), MEMBER(selectFileButton, wxButton), MEMBER(fileCombo, wxComboBox),
      MEMBER(deleteFileButton, wxButton), MEMBER(tablePage, wxPanel), MEMBER(tableGrid, wxGrid),
      MEMBER(pearsonPage, wxPanel), MEMBER(pearsonGrid, wxGrid), MEMBER(graphPage, wxPanel), MEMBER(statGrid, wxGrid),
      MEMBER(ksLegendBitmap, wxStaticBitmap), MEMBER(adLegendBitmap, wxStaticBitmap), MEMBER(plotPanel, wxPanel),
      MEMBER(messagesPage, wxPanel), MEMBER(messageText, wxRichTextCtrl), MEMBER(prefsPage, wxPanel),
      MEMBER(testListPanel, wxPanel), MEMBER(testList, wxCheckListBox), MEMBER(upButton, wxButton),
      MEMBER(downButton, wxButton), MEMBER(sortButton, wxButton), MEMBER(priorityRadio, wxRadioBox),
      MEMBER(threadsSpin, wxSpinCtrl), MEMBER(digitsSpin, wxSpinCtrl), MEMBER(sortTableCheck, wxCheckBox),
      MEMBER(sortKsRadio, wxRadioButton), MEMBER(sortPvMinRadio, wxRadioButton), MEMBER(sortAdRadio, wxRadioButton),
      MEMBER(sortPvMaxRadio, wxRadioButton), MEMBER(sortBinoRadio, wxRadioButton),
      MEMBER(sortPearsonCheck, wxCheckBox), MEMBER(rowHeightSpin, wxSpinCtrl), MEMBER(statusBar, wxStatusBar),
      // The test panels.
      MEMBER(amlsPanel, wxPanel), MEMBER(amlsCheck, wxCheckBox), MEMBER(amlsLminText, wxTextCtrl),
      MEMBER(amlsLminSpinButton, wxSpinButton), MEMBER(amlsLmaxText, wxTextCtrl),
      MEMBER(amlsLmaxSpinButton, wxSpinButton), MEMBER(amlsLstpSpin, wxSpinCtrl), MEMBER(amlsBlkmaxText, wxTextCtrl),
      MEMBER(aqlPanel, wxPanel), MEMBER(aqlCheck, wxCheckBox), MEMBER(aqlMminSpin, wxSpinCtrl),
      MEMBER(aqlMmaxSpin, wxSpinCtrl), MEMBER(aqlMstpSpin, wxSpinCtrl), MEMBER(aqlSminSpin, wxSpinCtrl),
      MEMBER(aqlSmaxSpin, wxSpinCtrl), MEMBER(aqlSstpSpin, wxSpinCtrl), MEMBER(autowPanel, wxPanel),
      MEMBER(autowCheck, wxCheckBox), MEMBER(autowDminSpin, wxSpinCtrl), MEMBER(autowDminUnit, wxChoice),
      MEMBER(autowDmaxSpin, wxSpinCtrl), MEMBER(autowDmaxUnit, wxChoice), MEMBER(autowDstpSpin, wxSpinCtrl),
      MEMBER(autowSminSpin, wxSpinCtrl), MEMBER(autowSmaxSpin, wxSpinCtrl), MEMBER(autowSstpSpin, wxSpinCtrl),
      MEMBER(autowMaxPvSpin, wxSpinCtrl), MEMBER(blkGapDstPanel, wxPanel), MEMBER(blkGapDstCheck, wxCheckBox),
      MEMBER(blkGapDstSminSpin, wxSpinCtrl), MEMBER(blkGapDstSmaxSpin, wxSpinCtrl),
      MEMBER(blkGapDstSstpSpin, wxSpinCtrl), MEMBER(blkGapPanel, wxPanel), MEMBER(blkGapCheck, wxCheckBox),
      MEMBER(collisionPanel, wxPanel), MEMBER(collisionCheck, wxCheckBox), MEMBER(collisionSminSpin, wxSpinCtrl),
      MEMBER(collisionSmaxSpin, wxSpinCtrl), MEMBER(collisionSstpSpin, wxSpinCtrl), MEMBER(couponPanel, wxPanel),
      MEMBER(couponCheck, wxCheckBox), MEMBER(couponSminSpin, wxSpinCtrl), MEMBER(couponSmaxSpin, wxSpinCtrl),
      MEMBER(couponSstpSpin, wxSpinCtrl), MEMBER(cusumPanel, wxPanel), MEMBER(cusumCheck, wxCheckBox),
      MEMBER(dftPanel, wxPanel), MEMBER(dftCheck, wxCheckBox), MEMBER(dftRminSpin, wxSpinCtrl),
      MEMBER(dftRminUnit, wxChoice), MEMBER(dftRmaxSpin, wxSpinCtrl), MEMBER(dftRmaxUnit, wxChoice),
      MEMBER(dftRstpSpin, wxSpinCtrl), MEMBER(dftM0Check, wxCheckBox), MEMBER(dftM1Check, wxCheckBox),
      MEMBER(dftNmaxSpin, wxSpinCtrl), MEMBER(dftNoptSpin, wxSpinCtrl), MEMBER(liCoPanel, wxPanel),
      MEMBER(liCoCheck, wxCheckBox), MEMBER(liCoLenSpin, wxSpinCtrl), MEMBER(liCoOptlenCheck, wxCheckBox),
      MEMBER(liCoKText, wxTextCtrl), MEMBER(liCoKSpinButton, wxSpinButton), MEMBER(longBlkPanel, wxPanel),
      MEMBER(longBlkCheck, wxCheckBox), MEMBER(longBlkSminSpin, wxSpinCtrl), MEMBER(longBlkSminUnit, wxChoice),
      MEMBER(longBlkSmaxSpin, wxSpinCtrl), MEMBER(longBlkSmaxUnit, wxChoice), MEMBER(longBlkSstpSpin, wxSpinCtrl),
      MEMBER(maurerPanel, wxPanel), MEMBER(maurerCheck, wxCheckBox), MEMBER(maurerSminSpin, wxSpinCtrl),
      MEMBER(maurerSmaxSpin, wxSpinCtrl), MEMBER(maurerSstpSpin, wxSpinCtrl), MEMBER(notmPanel, wxPanel),
      MEMBER(notmCheck, wxCheckBox), MEMBER(notmSminSpin, wxSpinCtrl), MEMBER(notmSmaxSpin, wxSpinCtrl),
      MEMBER(notmSstpSpin, wxSpinCtrl), MEMBER(notmTemplSpin, wxSpinCtrl), MEMBER(oetPanel, wxPanel),
      MEMBER(oetCheck, wxCheckBox), MEMBER(oetSminSpin, wxSpinCtrl), MEMBER(oetSmaxSpin, wxSpinCtrl),
      MEMBER(oetSstpSpin, wxSpinCtrl), MEMBER(otmPanel, wxPanel), MEMBER(otmCheck, wxCheckBox),
      MEMBER(partitionPanel, wxPanel), MEMBER(partitionCheck, wxCheckBox), MEMBER(partitionSminSpin, wxSpinCtrl),
      MEMBER(partitionSmaxSpin, wxSpinCtrl), MEMBER(partitionSstpSpin, wxSpinCtrl),
      MEMBER(partitionKnumSpin, wxSpinCtrl), MEMBER(peakPanel, wxPanel), MEMBER(peakCheck, wxCheckBox),
      MEMBER(peakDistSpin, wxSpinCtrl), MEMBER(peakDistUnit, wxChoice), MEMBER(peakNmaxSpin, wxSpinCtrl),
      MEMBER(peakNoptSpin, wxSpinCtrl), MEMBER(permutationPanel, wxPanel), MEMBER(permutationCheck, wxCheckBox),
      MEMBER(permutationGminSpin, wxSpinCtrl), MEMBER(permutationGmaxSpin, wxSpinCtrl),
      MEMBER(permutationGstpSpin, wxSpinCtrl), MEMBER(permutationSminSpin, wxSpinCtrl),
      MEMBER(permutationSmaxSpin, wxSpinCtrl), MEMBER(permutationSstpSpin, wxSpinCtrl), MEMBER(rankPanel, wxPanel),
      MEMBER(rankCheck, wxCheckBox), MEMBER(rankRminSpin, wxSpinCtrl), MEMBER(rankRmaxSpin, wxSpinCtrl),
      MEMBER(rankRstpSpin, wxSpinCtrl), MEMBER(rankCminSpin, wxSpinCtrl), MEMBER(rankCmaxSpin, wxSpinCtrl),
      MEMBER(rankCstpSpin, wxSpinCtrl), MEMBER(rankMChoice, wxChoice), MEMBER(zarWlkPanel, wxPanel),
      MEMBER(zarWlkCheck, wxCheckBox), MEMBER(zarWlkLminSpin, wxSpinCtrl), MEMBER(zarWlkLmaxSpin, wxSpinCtrl),
      MEMBER(zarWlkLstpSpin, wxSpinCtrl), MEMBER(zarWlkSkSpin, wxSpinCtrl), MEMBER(rw2dPanel, wxPanel),
      MEMBER(rw2dCheck, wxCheckBox), MEMBER(rw2dLminSpin, wxSpinCtrl), MEMBER(rw2dLmaxSpin, wxSpinCtrl),
      MEMBER(rw2dLstpSpin, wxSpinCtrl), MEMBER(rwDstPanel, wxPanel), MEMBER(rwDstCheck, wxCheckBox),
      MEMBER(runsPanel, wxPanel), MEMBER(runsCheck, wxCheckBox), MEMBER(runsLminSpin, wxSpinCtrl),
      MEMBER(runsLmaxSpin, wxSpinCtrl), MEMBER(runsLstpSpin, wxSpinCtrl), MEMBER(runsSminSpin, wxSpinCtrl),
      MEMBER(runsSmaxSpin, wxSpinCtrl), MEMBER(runsSstpSpin, wxSpinCtrl), MEMBER(serialPanel, wxPanel),
      MEMBER(serialCheck, wxCheckBox), MEMBER(serialSminSpin, wxSpinCtrl), MEMBER(serialSmaxSpin, wxSpinCtrl),
      MEMBER(serialSstpSpin, wxSpinCtrl), MEMBER(shortBlkPanel, wxPanel), MEMBER(shortBlkCheck, wxCheckBox),
      MEMBER(shortBlkDminSpin, wxSpinCtrl), MEMBER(shortBlkDminUnit, wxChoice), MEMBER(shortBlkDmaxSpin, wxSpinCtrl),
      MEMBER(shortBlkDmaxUnit, wxChoice), MEMBER(shortBlkDstpSpin, wxSpinCtrl), MEMBER(shortBlkSminSpin, wxSpinCtrl),
      MEMBER(shortBlkSmaxSpin, wxSpinCtrl), MEMBER(shortBlkSstpSpin, wxSpinCtrl), MEMBER(twoBitPanel, wxPanel),
      MEMBER(twoBitCheck, wxCheckBox), MEMBER(weightPanel, wxPanel), MEMBER(weightCheck, wxCheckBox),
      MEMBER(weightSminSpin, wxSpinCtrl), MEMBER(weightSmaxSpin, wxSpinCtrl), MEMBER(weightSstpSpin, wxSpinCtrl),
      MEMBER(weightProbSpin, wxSpinCtrl),
  };
}

TEST_F(FrameTest, EveryMemberExistsWithItsClass) {
  std::set<wxObject*> distinct;
  for (const Member& m : Members(*frame)) {
    ASSERT_NE(m.object, nullptr) << m.name;
    EXPECT_TRUE(m.object->IsKindOf(m.cls)) << m.name << " is not a " << m.cls->GetClassName();
    EXPECT_TRUE(distinct.insert(m.object).second) << m.name << " shares its window with another member";
  }
}

// One binding: the control, the event it sends and the handler it must reach.
struct Binding {
  std::string name;
  wxWindow* source;
  int handler;
  std::function<bool()> send;    // sends the control's event; true when handled
  std::function<bool()> unbind;  // removes the binding; true when it was there
};

template <typename Event>
Binding Make(FIN& f, const char* name, wxWindow* source, const wxEventTypeTag<Event>& type,
             void (FIN::*handler)(Event&), int index) {
  Binding b{name, source, index, nullptr, nullptr};
  b.send = [source, type] {
    Event event(type, source->GetId());
    event.SetEventObject(source);
    return source->GetEventHandler()->ProcessEvent(event);
  };
  b.unbind = [&f, source, type, handler] { return source->Unbind(type, handler, &f); };
  return b;
}

std::vector<Binding> Bindings(FIN& f) {
  std::vector<Binding> b;
  b.push_back(Make(f, "frame", &f, wxEVT_CLOSE_WINDOW, &FIN::OnClose, H::CLOSE));
  auto check = [&](const char* name, wxCheckBox* box) {
    b.push_back(Make(f, name, box, wxEVT_CHECKBOX, &FIN::OnTestCheck, H::TEST_CHECK));
  };
  check("amlsCheck", f.amlsCheck);
  b.push_back(Make(f, "amlsLminSpinButton", f.amlsLminSpinButton, wxEVT_SPIN, &FIN::OnAmlsLminSpin, H::AMLS_LMIN_SPIN));
  b.push_back(Make(f, "amlsLmaxSpinButton", f.amlsLmaxSpinButton, wxEVT_SPIN, &FIN::OnAmlsLmaxSpin, H::AMLS_LMAX_SPIN));
  check("aqlCheck", f.aqlCheck);
  check("autowCheck", f.autowCheck);
  check("blkGapDstCheck", f.blkGapDstCheck);
  check("blkGapCheck", f.blkGapCheck);
  check("collisionCheck", f.collisionCheck);
  check("couponCheck", f.couponCheck);
  check("cusumCheck", f.cusumCheck);
  check("dftCheck", f.dftCheck);
  check("liCoCheck", f.liCoCheck);
  b.push_back(Make(f, "liCoKSpinButton", f.liCoKSpinButton, wxEVT_SPIN, &FIN::OnLinCplxKSpin, H::LIN_CPLX_K_SPIN));
  check("longBlkCheck", f.longBlkCheck);
  check("maurerCheck", f.maurerCheck);
  check("notmCheck", f.notmCheck);
  check("oetCheck", f.oetCheck);
  check("otmCheck", f.otmCheck);
  check("partitionCheck", f.partitionCheck);
  check("peakCheck", f.peakCheck);
  check("permutationCheck", f.permutationCheck);
  check("rankCheck", f.rankCheck);
  check("zarWlkCheck", f.zarWlkCheck);
  b.push_back(Make(f, "zarWlkLminSpin", f.zarWlkLminSpin, wxEVT_SPINCTRL, &FIN::OnRw1dLminSpin, H::RW1D_LMIN_SPIN));
  check("rw2dCheck", f.rw2dCheck);
  check("rwDstCheck", f.rwDstCheck);
  check("runsCheck", f.runsCheck);
  check("serialCheck", f.serialCheck);
  check("shortBlkCheck", f.shortBlkCheck);
  check("twoBitCheck", f.twoBitCheck);
  check("weightCheck", f.weightCheck);
  auto command = [&](const char* name, wxWindow* source, const wxEventTypeTag<wxCommandEvent>& type,
                     void (FIN::*handler)(wxCommandEvent&), int index) {
    b.push_back(Make(f, name, source, type, handler, index));
  };
  command("presetCombo", f.presetCombo, wxEVT_TEXT, &FIN::OnPresetText, H::PRESET_TEXT);
  command("loadToggle", f.loadToggle, wxEVT_TOGGLEBUTTON, &FIN::OnLoadPreset, H::LOAD_PRESET);
  command("savePresetButton", f.savePresetButton, wxEVT_BUTTON, &FIN::OnSavePreset, H::SAVE_PRESET);
  command("deletePresetButton", f.deletePresetButton, wxEVT_BUTTON, &FIN::OnDeletePreset, H::DELETE_PRESET);
  command("disableAllButton", f.disableAllButton, wxEVT_BUTTON, &FIN::OnEnableAll, H::ENABLE_ALL);
  command("enableAllButton", f.enableAllButton, wxEVT_BUTTON, &FIN::OnEnableAll, H::ENABLE_ALL);
  command("autohideToggle", f.autohideToggle, wxEVT_TOGGLEBUTTON, &FIN::OnAutohide, H::AUTOHIDE);
  command("startButton", f.startButton, wxEVT_BUTTON, &FIN::OnStart, H::START);
  command("selectFileButton", f.selectFileButton, wxEVT_BUTTON, &FIN::OnSelectFile, H::SELECT_FILE);
  command("fileCombo selection", f.fileCombo, wxEVT_COMBOBOX, &FIN::OnFileSelected, H::FILE_SELECTED);
  command("fileCombo text", f.fileCombo, wxEVT_TEXT, &FIN::OnFileText, H::FILE_TEXT);
  command("deleteFileButton", f.deleteFileButton, wxEVT_BUTTON, &FIN::OnDeleteFile, H::DELETE_FILE);
  command("testList", f.testList, wxEVT_CHECKLISTBOX, &FIN::OnTestListCheck, H::TEST_LIST_CHECK);
  command("upButton", f.upButton, wxEVT_BUTTON, &FIN::OnTestListMove, H::TEST_LIST_MOVE);
  command("downButton", f.downButton, wxEVT_BUTTON, &FIN::OnTestListMove, H::TEST_LIST_MOVE);
  command("sortButton", f.sortButton, wxEVT_BUTTON, &FIN::OnTestListSort, H::TEST_LIST_SORT);
  return b;
}

TEST_F(FrameTest, EachOfThe48BindingsReachesItsHandler) {
  const std::vector<Binding> bindings = Bindings(*frame);
  ASSERT_EQ(bindings.size(), 48u);
  for (const Binding& b : bindings) {
    frame->ResetCalls();
    EXPECT_TRUE(b.send()) << b.name;
    EXPECT_EQ(frame->calls[b.handler], 1) << b.name;
    EXPECT_EQ(frame->TotalCalls(), 1) << b.name << " reached another handler too";
    EXPECT_EQ(frame->source[b.handler], b.source) << b.name;
  }
}

TEST_F(FrameTest, ControlsWithoutBindingReachNoHandler) {
  auto send = [](wxWindow* source, wxEventType type) {
    wxCommandEvent event(type, source->GetId());
    event.SetEventObject(source);
    source->GetEventHandler()->ProcessEvent(event);
  };
  send(frame->dftM0Check, wxEVT_CHECKBOX);
  send(frame->liCoOptlenCheck, wxEVT_CHECKBOX);
  send(frame->sortTableCheck, wxEVT_CHECKBOX);
  send(frame->rankMChoice, wxEVT_CHOICE);
  send(frame->seqLenUnit, wxEVT_CHOICE);
  send(frame->amlsBlkmaxText, wxEVT_TEXT);
  for (wxSpinCtrl* spin : {frame->seqLenSpin, frame->zarWlkLmaxSpin, frame->threadsSpin, frame->amlsLstpSpin}) {
    wxSpinEvent event(wxEVT_SPINCTRL, spin->GetId());
    event.SetEventObject(spin);
    spin->GetEventHandler()->ProcessEvent(event);
  }
  EXPECT_EQ(frame->TotalCalls(), 0);
}

// The window's destroy event comes after the layout's destructor and
// before the toolkit destroys the children: by then no binding may be left
// that would call a handler of a window already half gone.
TEST(FrameDestruction, RemovesEveryBinding) {
  auto* frame = new CountingFrame;
  const std::vector<Binding> bindings = Bindings(*frame);
  bool probed = false;
  std::vector<std::string> left;
  frame->Bind(wxEVT_DESTROY, [&](wxWindowDestroyEvent& event) {
    if (event.GetEventObject() != frame) return;
    probed = true;
    for (const Binding& b : bindings)
      if (b.unbind()) left.push_back(b.name);
  });
  delete frame;
  EXPECT_TRUE(probed);
  EXPECT_TRUE(left.empty()) << left.size() << " bindings left, the first " << (left.empty() ? "" : left[0]);
}

TEST_F(FrameTest, StartsWithTheDefaultsOfTheLayout) {
  EXPECT_EQ(frame->GetName(), "frame");
  EXPECT_EQ(frame->GetSize(), wxSize(1032, 1243));
  EXPECT_FALSE(frame->IsShown());

  ASSERT_EQ(frame->notebook->GetPageCount(), 6u);
  const char* pages[] = {"Parameters", "Table", "Pearson", "Graph", "Messages", "Prefs"};
  wxWindow* pageWindows[] = {frame->parametersPage, frame->tablePage, frame->pearsonPage,
                             frame->graphPage,      frame->messagesPage, frame->prefsPage};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(frame->notebook->GetPageText(i), pages[i]);
    EXPECT_EQ(frame->notebook->GetPage(i), pageWindows[i]);
  }
  EXPECT_EQ(frame->notebook->GetSelection(), 0);
  EXPECT_TRUE(frame->notebook->HasFlag(wxNB_LEFT));

  EXPECT_TRUE(frame->loadToggle->GetValue());
  EXPECT_FALSE(frame->autohideToggle->GetValue());
  EXPECT_EQ(frame->GetDefaultItem(), frame->startButton);
  EXPECT_EQ(frame->startButton->GetLabel(), "&Start");
  EXPECT_EQ(frame->seqLenSpin->GetValue(), 1);
  EXPECT_EQ(frame->seqLenSpin->GetMax(), 999999999);
  EXPECT_EQ(frame->seqLenUnit->GetStringSelection(), "M");
  EXPECT_EQ(frame->seqCountSpin->GetValue(), 50);
  EXPECT_EQ(frame->seqCountSpin->GetMin(), 1);
  EXPECT_EQ(frame->seqCountSpin->GetMax(), 9999);
  EXPECT_TRUE(frame->presetCombo->IsListEmpty());
  EXPECT_TRUE(frame->fileCombo->IsListEmpty());
  EXPECT_EQ(frame->deleteFileButton->GetToolTipText(), "Delete the file from the list\n(NOT from the disk).");

  EXPECT_EQ(frame->testList->GetCount(), 0u);
  EXPECT_EQ(frame->priorityRadio->GetCount(), 2u);
  EXPECT_EQ(frame->priorityRadio->GetSelection(), 0);
  EXPECT_EQ(frame->threadsSpin->GetMax(), 99);
  EXPECT_EQ(frame->digitsSpin->GetValue(), 4);
  EXPECT_EQ(frame->digitsSpin->GetMin(), 3);
  EXPECT_EQ(frame->digitsSpin->GetMax(), 7);
  EXPECT_EQ(frame->rowHeightSpin->GetValue(), 20);
  EXPECT_FALSE(frame->sortTableCheck->GetValue());
  EXPECT_FALSE(frame->sortPearsonCheck->GetValue());
  EXPECT_TRUE(frame->sortKsRadio->HasFlag(wxRB_GROUP));

  EXPECT_TRUE(frame->messageText->IsEmpty());
  EXPECT_TRUE(frame->messageText->IsEditable());
  EXPECT_TRUE(frame->messageText->GetFont().IsFixedWidth());
  EXPECT_EQ(frame->messageText->GetFont().GetPointSize(), 9);

  EXPECT_EQ(frame->statusBar->GetFieldsCount(), 4);
  EXPECT_EQ(frame->statusBar->GetName(), "status_line");
  EXPECT_EQ(frame->GetStatusBar(), frame->statusBar);
}

TEST_F(FrameTest, GridsAreCreatedAsTheResultsNeedThem) {
  struct {
    wxGrid* grid;
    int rows, cols;
  } grids[] = {{frame->tableGrid, 3, 9}, {frame->pearsonGrid, 0, 3}, {frame->statGrid, 0, 2}};
  for (const auto& g : grids) {
    EXPECT_EQ(g.grid->GetNumberRows(), g.rows);
    EXPECT_EQ(g.grid->GetNumberCols(), g.cols);
    EXPECT_EQ(g.grid->GetName(), "grid");
    EXPECT_TRUE(g.grid->IsEditable());
    EXPECT_FALSE(g.grid->CanDragColMove());
    EXPECT_TRUE(g.grid->CanDragColSize(0));
    EXPECT_EQ(g.grid->GetColLabelSize(), 30);
    EXPECT_EQ(g.grid->GetRowLabelSize(), 80);
  }
  EXPECT_EQ(frame->statGrid->GetColLabelValue(0), "KS");
  EXPECT_EQ(frame->statGrid->GetColLabelValue(1), "AD");
  int horizontal = 0, vertical = 0;
  frame->statGrid->GetDefaultCellAlignment(&horizontal, &vertical);
  EXPECT_EQ(horizontal, wxALIGN_CENTRE);
  frame->pearsonGrid->GetRowLabelAlignment(&horizontal, &vertical);
  EXPECT_EQ(horizontal, wxALIGN_RIGHT);
  frame->tableGrid->GetDefaultCellAlignment(&horizontal, &vertical);
  EXPECT_EQ(horizontal, wxALIGN_LEFT);
  EXPECT_EQ(vertical, wxALIGN_TOP);
}

// The 27 panels stand in the scrolled area in their order, each a row that
// begins with its test's ticked, bold check box.
TEST_F(FrameTest, TestPanelsStandInOrderWithTheirCheckBoxFirst) {
  const char* labels[] = {"AMLS",     "AQL",     "AutoWnd", "BlkGapDst", "BlkGap",    "Collision", "Coupon c.",
                          "Cusum",    "DFT",     "Lin Cplx", "LongBlk",  "Maurer",    "NOTM",      "OET",
                          "OTM",      "Partition", "Peak",  "Permutat.", "Rank",      "RW 1-D",    "RW 2-D",
                          "RW dst",   "Runs",    "Serial",  "ShortBlk",  "Two bit",   "Weight"};
  const wxSizerItemList& items = frame->testPanels->GetSizer()->GetChildren();
  ASSERT_EQ(items.size(), 27u);
  int i = 0;
  for (wxSizerItem* item : items) {
    const TestPanelSpec& test = TEST_PANELS[i];
    wxPanel* panel = frame->*test.panel;
    EXPECT_EQ(item->GetWindow(), panel) << labels[i];
    wxCheckBox* check = frame->*test.check;
    EXPECT_EQ(check->GetParent(), panel);
    EXPECT_EQ(panel->GetChildren().GetFirst()->GetData(), check) << labels[i];
    EXPECT_EQ(check->GetLabel(), labels[i]);
    EXPECT_EQ(check->GetName(), "check");
    EXPECT_TRUE(check->GetValue()) << labels[i];
    EXPECT_EQ(check->GetFont().GetWeight(), wxFONTWEIGHT_BOLD) << labels[i];
    EXPECT_TRUE(panel->HasFlag(wxBORDER_STATIC));
    ++i;
  }
}

// Values of the controls as the page offers them, with the cases the
// toolkit treats specially (initial text outside the range, negative
// ranges, units).
TEST_F(FrameTest, ParameterControlsHoldTheirRangesAndDefaults) {
  struct {
    const char* name;
    wxSpinCtrl* spin;
    int min, max, value;
  } spins[] = {
      {"NOTM Smin", frame->notmSminSpin, 2, 31, 2},         {"NOTM Smax", frame->notmSmaxSpin, 2, 31, 31},
      {"AMLS Lstep", frame->amlsLstpSpin, -999, -1, -1},    {"Runs Sstep", frame->runsSstpSpin, -32, 99, 2},
      {"Rank Cmin", frame->rankCminSpin, -32, 32, -2},      {"Rank Rstep", frame->rankRstpSpin, -999999, 999999999, -1},
      {"Serial Sstep", frame->serialSstpSpin, -999999, 999999999, -1},
      {"DFT Rstep", frame->dftRstpSpin, -999999, 999999999, -2}, {"DFT Nmax", frame->dftNmaxSpin, 0, 1023, 32},
      {"Peak Nmax", frame->peakNmaxSpin, 0, 9999, 64},      {"LiCo Len", frame->liCoLenSpin, 20, 99999999, 1000},
      {"AutoW Max p-vals", frame->autowMaxPvSpin, 0, 999999, 0}, {"LongBlk Smin", frame->longBlkSminSpin, 8, 999999999, 8},
      {"Weight prob", frame->weightProbSpin, 1, 10, 4},     {"RW 2-D Lmax", frame->rw2dLmaxSpin, 1, 6, 6},
  };
  for (const auto& s : spins) {
    EXPECT_EQ(s.spin->GetMin(), s.min) << s.name;
    EXPECT_EQ(s.spin->GetMax(), s.max) << s.name;
    EXPECT_EQ(s.spin->GetValue(), s.value) << s.name;
  }
  struct {
    const char* name;
    wxChoice* unit;
    const char* selected;
  } units[] = {{"AutoW Dmin", frame->autowDminUnit, "b"}, {"AutoW Dmax", frame->autowDmaxUnit, "M"},
               {"ShortBlk Dmin", frame->shortBlkDminUnit, "k"}, {"Peak dist", frame->peakDistUnit, "b"},
               {"DFT Rmax", frame->dftRmaxUnit, "M"}};
  for (const auto& u : units) {
    ASSERT_EQ(u.unit->GetCount(), 3u) << u.name;
    EXPECT_EQ(u.unit->GetString(0), "b");
    EXPECT_EQ(u.unit->GetString(1), "k");
    EXPECT_EQ(u.unit->GetString(2), "M");
    EXPECT_EQ(u.unit->GetStringSelection(), u.selected) << u.name;
  }
  EXPECT_EQ(frame->rankMChoice->GetStringSelection(), "C= R+Cmin TO R+Cmax");
  EXPECT_EQ(frame->rankMChoice->GetCount(), 3u);
  EXPECT_EQ(frame->amlsLminText->GetValue(), "1");
  EXPECT_EQ(frame->amlsLmaxText->GetValue(), "2");
  EXPECT_EQ(frame->liCoKText->GetValue(), "0");
  EXPECT_FALSE(frame->amlsLminText->IsEditable());
  EXPECT_EQ(frame->amlsBlkmaxText->GetValue(), "0");
  EXPECT_TRUE(frame->amlsBlkmaxText->IsEditable());
  frame->amlsBlkmaxText->Clear();
  frame->amlsBlkmaxText->WriteText("123456789");
  frame->amlsBlkmaxText->AppendText("0");
  EXPECT_EQ(frame->amlsBlkmaxText->GetValue(), "123456789") << "Max blks holds at most 9 characters";
  for (wxCheckBox* box : {frame->dftM0Check, frame->dftM1Check, frame->liCoOptlenCheck}) {
    EXPECT_TRUE(box->GetValue());
    EXPECT_NE(box->GetFont().GetWeight(), wxFONTWEIGHT_BOLD);
  }
  EXPECT_EQ(frame->peakDistSpin->GetToolTipText(),
            "When \"Bit distance\" > 1, the test also uses this distance (distance = 1 is always used).");
  EXPECT_EQ(frame->amlsCheck->GetToolTipText(), "Advanced Multi-Level Strategy");
  EXPECT_EQ(frame->amlsLminSpinButton->GetName(), "wxSpinButton");
  EXPECT_TRUE(frame->amlsLminSpinButton->HasFlag(wxSP_VERTICAL));

  // Every spin control of the panels starts inside its range.
  for (const TestPanelSpec& test : TEST_PANELS)
    for (size_t k = 0; k < test.paramCount; ++k)
      if (test.params[k].kind == ParamKind::Spin) {
        wxSpinCtrl* spin = frame->*test.params[k].spin;
        EXPECT_GE(spin->GetValue(), spin->GetMin()) << test.key << " " << test.params[k].key;
        EXPECT_LE(spin->GetValue(), spin->GetMax()) << test.key << " " << test.params[k].key;
      }
}

TEST_F(FrameTest, MissingFacesFallBackToTheirFamily) {
  const wxFont mono = FaceFont(9, wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL,
                               "No Such Face Quorvane", wxFONTFAMILY_TELETYPE);
  ASSERT_TRUE(mono.IsOk());
  EXPECT_TRUE(mono.IsFixedWidth());
  EXPECT_EQ(mono.GetPointSize(), 9);
  const wxFont sans = FaceFont(8, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_ITALIC, wxFONTWEIGHT_BOLD,
                               "No Such Face Quorvane", wxFONTFAMILY_SWISS);
  ASSERT_TRUE(sans.IsOk());
  EXPECT_EQ(sans.GetStyle(), wxFONTSTYLE_ITALIC);
  EXPECT_EQ(sans.GetWeight(), wxFONTWEIGHT_BOLD);
  // An installed face is taken as asked.
  wxArrayString faces = wxFontEnumerator::GetFacenames();
  ASSERT_FALSE(faces.empty());
  const wxFont installed = FaceFont(8, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, faces[0],
                                    wxFONTFAMILY_SWISS);
  EXPECT_TRUE(installed.IsOk());
  EXPECT_EQ(installed.GetFaceName().Lower(), faces[0].Lower());
}

// The two walks the main window applies: every window 8 pt keeping its
// weight, and all 27 test check boxes of one width.
TEST_F(FrameTest, FontWalkAndCheckBoxAlignment) {
  ApplyVerdanaFont(frame->GetChildren());
  EXPECT_EQ(frame->seqLenSpin->GetFont().GetPointSize(), 8);
  EXPECT_EQ(frame->testListHint->GetFont().GetPointSize(), 8);
  EXPECT_EQ(frame->weightCheck->GetFont().GetPointSize(), 8);
  EXPECT_EQ(frame->weightCheck->GetFont().GetWeight(), wxFONTWEIGHT_BOLD);
  EXPECT_NE(frame->dftM0Check->GetFont().GetWeight(), wxFONTWEIGHT_BOLD);
  for (TestPanelSpec const& test : TEST_PANELS) (frame->*test.panel)->Layout();

  const int column = frame->amlsCheck->GetPosition().x;
  int width = 0;
  AlignTestCheckBoxes(frame->testPanels->GetChildren(), column, 0, &width);
  int widest = 0;
  for (const TestPanelSpec& test : TEST_PANELS) {
    wxCheckBox* check = frame->*test.check;
    EXPECT_EQ(check->GetPosition().x, column) << test.label;
    widest = std::max(widest, check->GetTextExtent(check->GetLabel()).x);
  }
  EXPECT_EQ(width, widest);

  const wxSize modeBefore = frame->dftM0Check->GetMinSize();
  AlignTestCheckBoxes(frame->testPanels->GetChildren(), column, 20, &width);
  for (const TestPanelSpec& test : TEST_PANELS)
    EXPECT_EQ((frame->*test.check)->GetMinSize().x, widest + 20) << test.label;
  EXPECT_EQ(frame->dftM0Check->GetMinSize(), modeBefore) << "only the test check boxes are aligned";
}

}  // namespace

namespace {

// Laying the Parameters page out fits the scrolled list to the panels it
// shows, so hiding panels or changing fonts neither squeezes a panel nor
// leaves empty space to scroll.
TEST_F(FrameTest, ParametersPageLayoutRefitsTheScrolledList) {
  frame->SetSize(1030, 830);
  frame->Layout();
  auto panelsFit = [&] {
    for (const TestPanelSpec& test : TEST_PANELS) {
      wxPanel* panel = frame->*test.panel;
      if (panel->IsShown()) {
        EXPECT_GE(panel->GetSize().y, panel->GetSizer()->GetMinSize().y) << test.label;
      }
    }
    EXPECT_EQ(frame->parametersScroll->GetVirtualSize().y, frame->testPanels->GetSize().y);
  };
  const int fullHeight = frame->parametersScroll->GetVirtualSize().y;
  int hidden = 0;
  for (wxPanel* panel : {frame->aqlPanel, frame->dftPanel, frame->rankPanel, frame->weightPanel}) {
    hidden += panel->GetSize().y + 5;  // with its border below
    panel->Hide();
  }
  frame->parametersPage->Layout();
  EXPECT_EQ(frame->parametersScroll->GetVirtualSize().y, fullHeight - hidden);
  panelsFit();

  ApplyVerdanaFont(frame->GetChildren());
  frame->dftPanel->Show();
  frame->parametersPage->Layout();
  panelsFit();
}

}  // namespace
