// The program's window under the hands of a user: the mouse wheel over the
// Parameters page, ESC while a list or a dialog is open, clicks on the grid
// labels while the sorting is off. Pointer, wheel and keys go through the X
// server (support/RealInput.h), so they reach the controls as the toolkit's
// own events; these tests run alone, so that no other test's window is in
// the way.
#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include "support/PresetControls.h"
#include "support/ProgramWindow.h"
#include "support/RealInput.h"

namespace {

struct UserInputTest : ProgramWindowTest {
  void SetUp() override {
    ProgramWindowTest::SetUp();
    frame->Raise();
    ASSERT_TRUE(WaitUntil([this] { return frame->IsActive() && frame->parametersScroll->GetClientSize().y > 0; }))
        << "the window did not come up with the keyboard focus";
  }
  // Whether the window got a close request. The toolkit destroys a closed
  // window while the tests wait; frame is then cleared.
  bool closed = false;
  void WatchClose() {
    frame->Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
      closed = true;
      event.Skip();
    });
    frame->Bind(wxEVT_DESTROY, [this](wxWindowDestroyEvent& event) {
      if (event.GetEventObject() == frame) frame = nullptr;
      event.Skip();
    });
  }
  int PageTop() const { return frame->parametersScroll->GetViewStart().y; }
  // A point on the part of a spin control that takes the wheel natively
  // (its arrows), or on the right end of another control.
  static wxPoint RightEnd(const wxWindow* control) {
    const wxSize size = control->GetClientSize();
    return control->ClientToScreen(wxPoint(size.x - 10, size.y / 2));
  }
  // One notch down with the pointer where it is; waits until either the
  // page or something of the settings moved.
  bool NotchDown(const std::map<std::string, std::string>& settings) {
    const int top = PageTop();
    if (!WheelNotch(true)) return false;
    return WaitUntil([&] { return PageTop() != top || Snapshot(*frame) != settings; });
  }
};

}  // namespace

TEST_F(UserInputTest, TheWheelOverUnfocusedControlsScrollsThePageAndChangesNothing) {
  frame->startButton->SetFocus();
  const auto settings = Snapshot(*frame);
  ASSERT_EQ(frame->dftRmaxSpin->GetValue(), 1024);
  ASSERT_TRUE(MovePointer(frame->dftRmaxSpin, RightEnd(frame->dftRmaxSpin)));
  for (int notch = 0; notch < 5; ++notch) {
    const int top = PageTop();
    ASSERT_TRUE(NotchDown(settings)) << "notch " << notch;
    EXPECT_GT(PageTop(), top) << "notch " << notch;
    ASSERT_EQ(Snapshot(*frame), settings) << "notch " << notch;
  }
  EXPECT_EQ(frame->dftRmaxSpin->GetValue(), 1024);

  // The same over a unit choice.
  frame->parametersScroll->Scroll(0, 0);
  ASSERT_TRUE(MovePointer(frame->dftRmaxUnit, RightEnd(frame->dftRmaxUnit)));
  ASSERT_TRUE(NotchDown(settings));
  EXPECT_GT(PageTop(), 0);
  EXPECT_EQ(frame->dftRmaxUnit->GetSelection(), 2);
  EXPECT_EQ(Snapshot(*frame), settings);

  // Outside the scrolled page nothing scrolls, and the value stays.
  wxSpinCtrl* length = frame->seqLenSpin;
  int wheels = 0;
  length->Bind(wxEVT_MOUSEWHEEL, [&wheels](wxMouseEvent& event) {
    ++wheels;
    event.Skip();
  });
  ASSERT_TRUE(MovePointer(length, RightEnd(length)));
  ASSERT_TRUE(WheelNotch(false));
  ASSERT_TRUE(WaitUntil([&wheels] { return wheels > 0; }));
  DispatchPending();
  EXPECT_EQ(length->GetValue(), 1);
}

TEST_F(UserInputTest, AFocusedSpinControlTakesTheWheel) {
  frame->dftRmaxSpin->SetFocus();
  ASSERT_TRUE(WaitUntil([this] { return wxWindow::FindFocus() == frame->dftRmaxSpin; }));
  const auto settings = Snapshot(*frame);
  ASSERT_TRUE(MovePointer(frame->dftRmaxSpin, RightEnd(frame->dftRmaxSpin)));
  ASSERT_TRUE(NotchDown(settings));
  EXPECT_EQ(frame->dftRmaxSpin->GetValue(), 1023);
  EXPECT_EQ(PageTop(), 0) << "the page stays";
}

TEST_F(UserInputTest, EscClosesTheDropDownListOfThePresetsBoxNotTheWindow) {
  ProgramApp app;  // the key filter
  WatchClose();
  wxOwnerDrawnComboBox* box = frame->presetCombo;
  box->SetFocus();
  box->Popup();
  ASSERT_TRUE(WaitUntil([box] { return box->IsPopupShown(); }));
  wxUIActionSimulator().Char(WXK_ESCAPE);
  ASSERT_TRUE(WaitUntil([&] { return closed || !box->IsPopupShown(); }));
  ASSERT_FALSE(closed) << "ESC closed the window";
  EXPECT_FALSE(Exists("prefs.bin"));

  // With the list closed, ESC closes the window.
  wxUIActionSimulator().Char(WXK_ESCAPE);
  EXPECT_TRUE(WaitUntil([&] { return closed; }));
  EXPECT_TRUE(Exists("prefs.bin"));
}

TEST_F(UserInputTest, EscInADialogClosesTheDialogNotTheWindow) {
  ProgramApp app;
  WatchClose();
  // Without parent window, as the program's boxes.
  wxDialog dialog(nullptr, wxID_ANY, "A dialog");
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(new wxButton(&dialog, wxID_CANCEL, "Cancel"), 0, wxALL, 20);
  dialog.SetSizerAndFit(sizer);
  // A hang guard, not a measure: a dialog that ESC did not close is given
  // up on.
  wxTimer guard;
  guard.Bind(wxEVT_TIMER, [&dialog](wxTimerEvent&) { dialog.EndModal(wxID_ABORT); });
  guard.StartOnce(INPUT_WAIT_ROUNDS * 100);
  dialog.Bind(wxEVT_ACTIVATE, [&dialog](wxActivateEvent& event) {
    if (event.GetActive()) dialog.CallAfter([] { wxUIActionSimulator().Char(WXK_ESCAPE); });
    event.Skip();
  });
  dialog.CallAfter([&dialog] { dialog.Raise(); });
  EXPECT_EQ(dialog.ShowModal(), wxID_CANCEL);
  guard.Stop();
  DispatchPending();
  EXPECT_FALSE(closed) << "ESC closed the window";
  EXPECT_FALSE(Exists("prefs.bin"));
}

TEST_F(UserInputTest, AClickOnAGridLabelWhileTheSortingIsOffSelectsNothing) {
  // As a run starts: the Table page shown, the sorting unbound.
  ResetResultGrids();
  SetupPearsonGrid(0, 3);
  frame->pearsonGrid->AppendRows(2);
  for (wxGrid* grid : {frame->tableGrid, frame->pearsonGrid}) {
    frame->notebook->SetSelection(grid == frame->tableGrid ? 1 : 2);
    ASSERT_TRUE(WaitUntil([grid] { return grid->IsShownOnScreen() && grid->GetGridColLabelWindow()->GetSize().y > 0; }));
    int clicks = 0;
    const auto seen = [&clicks](wxGridEvent& event) {
      ++clicks;
      event.Skip();  // on to the window's own handlers
    };
    grid->Bind(wxEVT_GRID_LABEL_LEFT_CLICK, seen);
    wxWindow* colLabels = grid->GetGridColLabelWindow();
    wxWindow* rowLabels = grid->GetGridRowLabelWindow();
    const int labelHeight = grid->GetColLabelSize();
    const wxRect cell = grid->CellToRect(1, 1);  // not scrolled
    const wxPoint points[] = {
        colLabels->ClientToScreen(wxPoint(cell.x + cell.width / 2, labelHeight / 2)),
        rowLabels->ClientToScreen(wxPoint(grid->GetRowLabelSize() / 2, cell.y + cell.height / 2)),
        grid->GetGridCornerLabelWindow()->ClientToScreen(wxPoint(5, 5)),
    };
    for (const wxPoint& point : points) {
      const int before = clicks;
      wxUIActionSimulator input;
      input.MouseMove(point);
      input.MouseClick();
      ASSERT_TRUE(WaitUntil([&] { return clicks > before; })) << point.x << "," << point.y;
      DispatchPending();
      EXPECT_FALSE(grid->IsSelection()) << point.x << "," << point.y;
      EXPECT_TRUE(grid->GetSelectedCols().empty());
      EXPECT_TRUE(grid->GetSelectedRows().empty());
    }
    grid->Unbind(wxEVT_GRID_LABEL_LEFT_CLICK, seen);
  }
}
