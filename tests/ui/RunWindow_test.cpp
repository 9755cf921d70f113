// Runs of the engine shown in the real main window: what its view puts in
// the grids, the plot, the status bar and the notebook, and the report that
// copies the log pane.
#include <wx/frame.h>
#include <wx/grid.h>
#include <wx/notebook.h>

#include <iterator>
#include <limits>

#include "engine/Helpers.h"
#include "engine/support/ReportMask.h"
#include "support/RunWindowFixture.h"

using RunWindowTest = RunWindowFixture;

TEST_F(RunWindowTest, AFilesRunFillsTheGridsAndWritesTheReport) {
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
  EXPECT_EQ(frame->notebook->GetSelection(), 1);

  ASSERT_TRUE(Exists("_Quorvane.txt"));
  const std::string report = Masked(ReadFile("_Quorvane.txt"));
  EXPECT_EQ(report, ExpectedReport("engine/report_files.txt", report, folder));
}

TEST_F(RunWindowTest, AStopRequestSeenAmongTheWindowsEventsEndsTheRun) {
  FilesOf(RandomBytes(10 * 2500, 3));
  SetPendingEventsHook([] {
    if (seqIndex == 3 && runState == RunState::Running) runState = RunState::StopRequested;
  });
  ASSERT_EQ(RunTests(nullptr), 0);
  EXPECT_EQ(seqCount, 3);
  EXPECT_EQ(frame->tableGrid->GetNumberCols(), 7 + 3);
  EXPECT_TRUE(Contains(LogText(), "\n\t!! WARNING !!   Only 3 sequence(s) have been tested.\n\n"));
}

TEST_F(RunWindowTest, TheMessagesPageComesToTheFrontForARunThatTestedNothing) {
  FilesOf({});
  frame->notebook->SetSelection(0);
  ASSERT_EQ(RunTests(nullptr), 0);
  EXPECT_EQ(seqCount, 0);
  EXPECT_EQ(frame->notebook->GetSelection(), 4);
  EXPECT_TRUE(Contains(LogText(), "\n\t!! ERROR !!\nNo sequence tested.\n"));
}

TEST_F(RunWindowTest, RefusedParametersBringTheMessagesPageUntilTheTablePageReplacesIt) {
  FilesOf(RandomBytes(10 * 2500, 6));
  testTable[SLOT_RANK].enabled = true;
  rankRmin = 1;  // refused: rows >= 2
  static int pageAtBox;
  pageAtBox = -1;
  SetMessageBoxHandler([](const wxString& text, const wxString& caption, long style) {
    pageAtBox = mainFrame->notebook->GetSelection();
    return Answer(text, caption, style);
  });
  ASSERT_EQ(RunTests(nullptr), 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(pageAtBox, 4);
  EXPECT_EQ(frame->notebook->GetSelection(), 1);
  // The refusal, the log pane's line after the input line, is in the
  // report's copy of the log; the input line and the run's first line not.
  const std::string report = ReadFile("_Quorvane.txt");
  EXPECT_TRUE(Contains(report, "Running time: ")) << report;
  const std::string copied = report.substr(report.find("Running time: "));
  EXPECT_TRUE(Contains(copied, "\nRank: rows >= 2, min <= max and step != 0\n")) << copied;
  EXPECT_FALSE(Contains(copied, "File: ")) << copied;
  EXPECT_FALSE(Contains(copied, "n= 20000 bits")) << copied;
}

TEST_F(RunWindowTest, AReportThatCannotBeCreatedIsSaidInMessagesAndTheStatusBar) {
  FilesOf(RandomBytes(10 * 2500, 1));
  ASSERT_EQ(mkdir((folder + "/_Quorvane.txt").c_str(), 0755), 0);  // a folder where the file would go
  ASSERT_EQ(RunTests(nullptr), 0);
  EXPECT_TRUE(Contains(LogText(), "Report file '" + folder + "/_Quorvane.txt' not created (")) << LogText();
  EXPECT_EQ(frame->statusBar->GetStatusText(3), "Report not written.");
  EXPECT_EQ(frame->statusBar->GetStatusText(2), "DONE.");
  EXPECT_EQ(DataRows(), 7);
}

TEST(SetPValueCell, TextAndColourByStrictThresholdsBackgroundUntouched) {
  pvalueDigits = 4;
  pvalueFixedMin = 0.001;
  const wxColour orange(255, 128, 0);
  const wxColour background(10, 20, 30);
  struct {
    double p;
    const char* text;
    wxColour colour;
  } const cases[] = {
      {0.5, "0.5000", *wxBLUE},
      {0.01, "0.0100", *wxBLUE},
      {0.0099, "0.0099", orange},
      {0.001, "0.0010", orange},
      {0.00099, "1e-03", *wxRED},
      {0.0, "     0", *wxRED},
      {PVALUE_FAIL, " fail", *wxRED},
      {PVALUE_SHORT, " short", *wxRED},
      {std::numeric_limits<double>::quiet_NaN(), "nan", *wxBLUE},
  };
  wxFrame* frame = new wxFrame(nullptr, wxID_ANY, "grid");
  wxGrid* grid = new wxGrid(frame, wxID_ANY);
  grid->CreateGrid(static_cast<int>(std::size(cases)), 2);
  for (int row = 0; row < static_cast<int>(std::size(cases)); ++row) {
    grid->SetCellBackgroundColour(row, 1, background);
    SetPValueCell(*grid, row, 1, cases[row].p);
  }
  for (int row = 0; row < static_cast<int>(std::size(cases)); ++row) {
    EXPECT_EQ(grid->GetCellValue(row, 1), cases[row].text) << "row " << row;
    EXPECT_EQ(grid->GetCellTextColour(row, 1), cases[row].colour) << "p " << cases[row].p;
    EXPECT_EQ(grid->GetCellBackgroundColour(row, 1), background) << "p " << cases[row].p;
    EXPECT_EQ(grid->GetCellValue(row, 0), "") << "only the given cell is written";
  }
  EXPECT_EQ(*wxRED, wxColour(255, 0, 0));
  EXPECT_EQ(*wxBLUE, wxColour(0, 0, 255));
  frame->Destroy();
}
