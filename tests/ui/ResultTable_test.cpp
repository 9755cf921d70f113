// The Table grid as a view over the results model: cells, labels and
// colours come from the model's numbers, and sorting moves whole rows.
#include "ui/ResultTable.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "battery/RunState.h"
#include "engine/ResultsModel.h"
#include "support/CountingFrame.h"

namespace {

class ResultTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frame = new CountingFrame;
    frame->graph = new Graph(frame->plotPanel);
    mainFrame = frame;
    // Three rows over three sequences: row 1 has a " fail", row 2 " short"s.
    runResults.Reset(4, 0.001);
    ResetResultGrids();
    for (const char* label : {"beta", "Alpha", "gamma"}) runResults.AddRow(label);
    const double seqs[3][3] = {{0.5, PVALUE_FAIL, PVALUE_SHORT}, {0.25, 0.0004, PVALUE_SHORT}, {0.75, 0.9, 0.3}};
    for (const auto& s : seqs) runResults.AddSequence(s);
    runResults.UpdateStatistics();
    runResults.FinishRun(3);
    grid = frame->tableGrid;
    table = static_cast<ResultTable*>(grid->GetTable());
    table->FollowModel();
  }
  void TearDown() override {
    runResults.Reset(4, 0.001);
    mainFrame = nullptr;
    delete frame;
  }

  std::string Signature(int row) const {
    std::string s = grid->GetRowLabelValue(row).ToStdString() + "|";
    for (int c = 0; c < grid->GetNumberCols(); ++c) s += grid->GetCellValue(row, c).ToStdString() + "|";
    for (int c = 0; c < grid->GetNumberCols(); ++c)
      s += grid->GetCellTextColour(row, c).GetAsString(wxC2S_HTML_SYNTAX).ToStdString();
    return s;
  }
  std::map<std::string, std::string> ByLabel() const {
    std::map<std::string, std::string> m;
    for (int r = 3; r < grid->GetNumberRows(); ++r) m[grid->GetRowLabelValue(r).ToStdString()] = Signature(r);
    return m;
  }

  CountingFrame* frame = nullptr;
  wxGrid* grid = nullptr;
  ResultTable* table = nullptr;
};

TEST_F(ResultTableTest, CellsLabelsAndColoursComeFromTheModel) {
  ASSERT_EQ(grid->GetNumberRows(), 3 + 3);
  ASSERT_EQ(grid->GetNumberCols(), 7 + 3);
  EXPECT_EQ(grid->GetColLabelValue(7), "1");
  EXPECT_EQ(grid->GetColLabelValue(9), "3");
  EXPECT_EQ(grid->GetRowLabelValue(4), "2");
  EXPECT_EQ(grid->GetCellValue(3, 0), "beta");
  EXPECT_EQ(grid->GetCellValue(3, 7), "0.5000");
  EXPECT_EQ(grid->GetCellValue(4, 7), " fail");
  EXPECT_EQ(grid->GetCellValue(5, 8), " short");
  EXPECT_EQ(grid->GetCellValue(4, 1), "2");
  EXPECT_EQ(grid->GetCellTextColour(4, 1), *wxRED) << "a row that met a fail";
  EXPECT_EQ(grid->GetCellTextColour(3, 1), grid->GetDefaultCellTextColour()) << "no colour of its own";
  EXPECT_EQ(grid->GetCellTextColour(4, 5), *wxRED) << "a smallest value below 0.01 / 9";
  EXPECT_EQ(grid->GetCellValue(0, 0), "WARNING!\nBig failure");
  for (int r = 3; r < 6; ++r)
    for (int c = 0; c < grid->GetNumberCols(); ++c)
      EXPECT_EQ(grid->GetCellValue(r, c).ToStdString(), runResults.CellText(r, c)) << r << "," << c;
}

TEST_F(ResultTableTest, SortingMovesWholeRowsAndTheRowLabelsGiveTheRunOrderBack) {
  const auto before = ByLabel();
  frame->SortTableGrid(0);
  EXPECT_EQ(grid->GetCellValue(3, 0), "Alpha");
  EXPECT_EQ(grid->GetCellValue(4, 0), "beta");
  EXPECT_EQ(grid->GetCellValue(5, 0), "gamma");
  EXPECT_EQ(ByLabel(), before);
  frame->SortTableGrid(7);  // " fail" and " short" first, then by the first sequence's value
  EXPECT_EQ(grid->GetRowLabelValue(5), "1");
  EXPECT_EQ(ByLabel(), before);
  frame->SortTableGrid(-1);
  for (int r = 3; r < 6; ++r) EXPECT_EQ(grid->GetRowLabelValue(r), wxString::Format("%d", r - 2));
  EXPECT_EQ(ByLabel(), before);
  EXPECT_EQ(grid->GetCellValue(0, 0), "WARNING!\nBig failure") << "summary rows stay";
}

TEST_F(ResultTableTest, ANewRunEmptiesTheView) {
  runResults.Reset(4, 0.001);
  ResetResultGrids();
  EXPECT_EQ(grid->GetNumberRows(), 3);
  EXPECT_EQ(grid->GetNumberCols(), 7);
  EXPECT_EQ(grid->GetCellValue(0, 0), "");
  EXPECT_EQ(grid->GetCellValue(0, 1), "");
}

}  // namespace
