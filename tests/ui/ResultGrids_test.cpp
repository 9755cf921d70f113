// The results grids: preparing them for a run, the goodness-of-fit cells
// and the label-click sorting of the Table and Pearson grids.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/CountingFrame.h"

namespace {

class GridsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frame = new CountingFrame;
    frame->graph = new Graph(frame->plotPanel);
    mainFrame = frame;
  }
  void TearDown() override {
    mainFrame = nullptr;
    delete frame;
  }

  // A label click as the grid sends it; true when a handler consumed it.
  static bool Click(wxGrid* grid, int col) {
    wxGridEvent event(grid->GetId(), wxEVT_GRID_LABEL_LEFT_CLICK, grid, -1, col);
    return grid->GetEventHandler()->ProcessEvent(event);
  }

  // Everything a row carries: its label, every cell and the text colours.
  static std::string Signature(wxGrid* grid, int row) {
    std::string s = grid->GetRowLabelValue(row).ToStdString() + "|";
    for (int c = 0; c < grid->GetNumberCols(); ++c) s += grid->GetCellValue(row, c).ToStdString() + "|";
    for (int c = 0; c < grid->GetNumberCols(); ++c) s += grid->GetCellTextColour(row, c).GetAsString(wxC2S_HTML_SYNTAX).ToStdString();
    return s;
  }
  static std::map<std::string, std::string> SignaturesByLabel(wxGrid* grid, int first) {
    std::map<std::string, std::string> m;
    for (int r = first; r < grid->GetNumberRows(); ++r) m[grid->GetRowLabelValue(r).ToStdString()] = Signature(grid, r);
    return m;
  }
  static std::vector<std::string> Labels(wxGrid* grid, int first) {
    std::vector<std::string> v;
    for (int r = first; r < grid->GetNumberRows(); ++r) v.push_back(grid->GetRowLabelValue(r).ToStdString());
    return v;
  }

  // The Table grid after a run: three summary rows, then one row per
  // result, labelled 1, 2, ... with a text colour of its own in the
  // columns 1 to 6 and three sequence columns.
  void FillTable(const std::vector<std::string>& names, const std::vector<std::string>& pvMin) {
    ResetResultGrids();
    wxGrid* g = frame->tableGrid;
    for (int c = 1; c <= 6; ++c) {
      auto* attr = new wxGridCellAttr;
      attr->SetTextColour(*wxBLUE);
      g->SetColAttr(c, attr);
    }
    g->AppendCols(3);
    g->AppendRows(names.size());
    for (int r = 0; r < 3; ++r) g->SetCellValue(r, 0, wxString::Format("summary %d", r));
    for (size_t i = 0; i < names.size(); ++i) {
      const int r = 3 + i;
      g->SetRowLabelValue(r, wxString::Format("%d", int(i) + 1));
      g->SetCellValue(r, 0, names[i]);
      for (int c = 1; c < g->GetNumberCols(); ++c) g->SetCellValue(r, c, wxString::Format(" 0.%02d%02d", int(i), c));
      g->SetCellValue(r, 5, pvMin[i]);
      if (i % 3 != 1)
        for (int c = 1; c <= 6; ++c) g->SetCellTextColour(r, c, wxColour(10 * i, c, 255 - i));
    }
  }

  // The window as the sorting binds it (a binding is found again only
  // under the same handler type).
  wxQuorvaneFIN* window() const { return frame; }

  CountingFrame* frame = nullptr;
};

TEST_F(GridsTest, ResetLeavesTheTableSummaryRowsAndEmptiesTheRest) {
  wxGrid* t = frame->tableGrid;
  t->AppendCols(5);
  t->AppendRows(8);
  t->SetCellValue(0, 0, "WARNING!\nBig failure");
  t->SetCellSize(0, 0, 2, 3);
  t->SetCellValue(5, 8, "0.5");
  frame->statGrid->AppendRows(7);
  frame->statGrid->SetCellValue(3, 1, "0.1");
  const double v[] = {0.2, 0.4};
  frame->graph->SetData(2, v, v);
  frame->rowHeightSpin->SetValue(33);
  frame->ConnectSortHandlers();

  ResetResultGrids();
  EXPECT_EQ(t->GetNumberRows(), 3);
  EXPECT_EQ(t->GetNumberCols(), 7);
  EXPECT_EQ(t->GetCellValue(0, 0), "");
  int rows = 0, cols = 0;
  t->GetCellSize(0, 0, &rows, &cols);
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(cols, 1);
  for (int r = 0; r < 3; ++r) EXPECT_EQ(t->GetRowSize(r), 33) << r;
  EXPECT_EQ(frame->notebook->GetSelection(), 1);
  EXPECT_EQ(frame->statGrid->GetNumberRows(), 0);
  EXPECT_EQ(frame->graph->count, 0);
  EXPECT_NE(frame->graph->ksValues, nullptr) << "the arrays stay until the next data";
  EXPECT_FALSE(frame->tableGrid->Unbind(wxEVT_GRID_LABEL_LEFT_CLICK, &wxQuorvaneFIN::OnTableLabelClick, window()));
  EXPECT_FALSE(frame->pearsonGrid->Unbind(wxEVT_GRID_LABEL_LEFT_CLICK, &wxQuorvaneFIN::OnPearsonLabelClick, window()));

  // A grid already at its run size is left as it is.
  ResetResultGrids();
  EXPECT_EQ(t->GetNumberRows(), 3);
  EXPECT_EQ(t->GetNumberCols(), 7);
}

TEST_F(GridsTest, PearsonGridIsSizedForTheBins) {
  wxGrid* p = frame->pearsonGrid;
  SetupPearsonGrid(0, 3);
  EXPECT_EQ(p->GetNumberRows(), 0);
  EXPECT_EQ(p->GetNumberCols(), 3);

  SetupPearsonGrid(4, 8);
  EXPECT_EQ(p->GetNumberRows(), 4);
  EXPECT_EQ(p->GetNumberCols(), 8);
  for (int c = 3; c < 8; ++c) EXPECT_EQ(p->GetColLabelValue(c), wxString::Format("%d", c - 2));
  int horizontal = 0, vertical = 0;
  p->GetCellAlignment(0, 1, &horizontal, &vertical);
  EXPECT_EQ(horizontal, wxALIGN_RIGHT);
  EXPECT_EQ(vertical, wxALIGN_CENTRE);

  p->SetCellValue(1, 5, "7");
  SetupPearsonGrid(2, 5);
  EXPECT_EQ(p->GetNumberRows(), 2);
  EXPECT_EQ(p->GetNumberCols(), 5);
  EXPECT_EQ(p->GetCellValue(1, 4), "");
  EXPECT_EQ(p->GetColLabelValue(4), "2");
}

TEST_F(GridsTest, GofCellsShowTextAndColourOfTheirValue) {
  frame->statGrid->AppendRows(7);
  const wxColour unset = frame->statGrid->GetDefaultCellTextColour();
  const wxColour orange(255, 128, 0);
  struct {
    double value;
    const char* text;
    wxColour colour;
  } cases[] = {
      {1.0, "> 0.99999", unset},      {0.0, "< 0.00001", *wxRED},    {-1.0, "err", *wxRED},
      {0.005, "0.00500", orange},     {0.5, "0.50000", unset},       {0.999996, "1.00000", unset},
      {0.0009, "0.00090", *wxRED},    {0.001, "0.00100", orange},    {0.01, "0.01000", unset},
      {1e-7, "0.00000", *wxRED},
  };
  int row = 0;
  for (const auto& c : cases) {
    const int r = row++ % 7;
    const int col = row % 2;
    // A coloured cell first, so that an unset colour must really be cleared.
    frame->statGrid->SetCellTextColour(r, col, *wxGREEN);
    SetGofCell(r, "CM", c.value, col);
    EXPECT_EQ(frame->statGrid->GetCellValue(r, col), c.text) << c.value;
    EXPECT_EQ(frame->statGrid->GetCellTextColour(r, col), c.colour) << c.value;
    EXPECT_EQ(frame->statGrid->GetRowLabelValue(r), "CM");
  }
}

TEST_F(GridsTest, LabelClickSortsByTheColumnNumbersFirstComeTheCellsWithout) {
  const std::vector<std::string> pvMin = {" 0.5000", " fail", " 1.2e-005", " 0.0001", "     0", "", " short",
                                          " 0.9",    "0.25 ",  " 0.3",      " 0.0001", "1.5e-3"};
  FillTable(std::vector<std::string>(pvMin.size(), "x"), pvMin);
  wxGrid* t = frame->tableGrid;
  const auto before = SignaturesByLabel(t, 3);
  std::vector<std::string> summary;
  for (int r = 0; r < 3; ++r) summary.push_back(Signature(t, r));
  frame->ConnectSortHandlers();

  for (int pass = 0; pass < 2; ++pass) {  // every click sorts ascending
    EXPECT_TRUE(Click(t, 5));
    const std::vector<std::string> labels = Labels(t, 3);
    const std::set<std::string> first(labels.begin(), labels.begin() + 3);
    EXPECT_EQ(first, (std::set<std::string>{"2", "6", "7"})) << "cells without a number come first";
    const std::vector<std::string> rest(labels.begin() + 3, labels.end());
    const bool tiesEitherWay = rest == std::vector<std::string>{"5", "3", "4", "11", "12", "9", "10", "1", "8"} ||
                               rest == std::vector<std::string>{"5", "3", "11", "4", "12", "9", "10", "1", "8"};
    EXPECT_TRUE(tiesEitherWay) << ::testing::PrintToString(rest);
    EXPECT_EQ(SignaturesByLabel(t, 3), before) << "each row keeps its label, cells and colours";
    for (int r = 0; r < 3; ++r) EXPECT_EQ(Signature(t, r), summary[r]) << "summary row " << r << " moved";
  }

  // A row label (or the corner) gives back the order of the run: 10 after 9.
  EXPECT_TRUE(Click(t, -1));
  EXPECT_EQ(Labels(t, 3), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}));
  EXPECT_EQ(SignaturesByLabel(t, 3), before);
}

TEST_F(GridsTest, TestColumnSortsByNameWithoutRegardToCase) {
  FillTable({"rank", "DFT", "Serial", "aml", "Peak", "dft", "runs", "AMLS"}, std::vector<std::string>(8, " 0.1"));
  wxGrid* t = frame->tableGrid;
  const auto before = SignaturesByLabel(t, 3);
  frame->ConnectSortHandlers();
  EXPECT_TRUE(Click(t, 0));
  std::vector<std::string> names;
  for (int r = 3; r < t->GetNumberRows(); ++r) names.push_back(t->GetCellValue(r, 0).Lower().ToStdString());
  EXPECT_EQ(names, (std::vector<std::string>{"aml", "amls", "dft", "dft", "peak", "rank", "runs", "serial"}));
  EXPECT_EQ(SignaturesByLabel(t, 3), before);
}

TEST_F(GridsTest, PearsonRowsSortWithTheirColour) {
  SetupPearsonGrid(5, 6);
  wxGrid* p = frame->pearsonGrid;
  const char* pvals[] = {" 0.7", " 0.01", " fail", " 0.3", " 2e-10"};
  for (int r = 0; r < 5; ++r) {
    p->SetRowLabelValue(r, wxString::Format("%d", r + 1));
    p->SetCellValue(r, 0, wxString::Format("test %d", r));
    p->SetCellValue(r, 1, pvals[r]);
    p->SetCellTextColour(r, 1, wxColour(r * 40, 0, 0));
    for (int c = 2; c < 6; ++c) p->SetCellValue(r, c, wxString::Format("%d", r * 10 + c));
  }
  const auto before = SignaturesByLabel(p, 0);
  frame->ConnectSortHandlers();
  EXPECT_TRUE(Click(p, 1));
  EXPECT_EQ(Labels(p, 0), (std::vector<std::string>{"3", "5", "2", "4", "1"}));
  EXPECT_EQ(SignaturesByLabel(p, 0), before);
  EXPECT_TRUE(Click(p, -1));
  EXPECT_EQ(Labels(p, 0), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
}

TEST_F(GridsTest, NoSortWhileUnboundAndOneBindingAtMost) {
  FillTable({"b", "a", "c"}, {" 0.9", " 0.1", " 0.5"});
  wxGrid* t = frame->tableGrid;
  const std::vector<std::string> runOrder = {"1", "2", "3"};

  EXPECT_FALSE(Click(t, 5)) << "unbound before the first run";
  EXPECT_EQ(Labels(t, 3), runOrder);

  frame->ConnectSortHandlers();
  frame->ConnectSortHandlers();
  EXPECT_TRUE(Click(t, 5));
  EXPECT_EQ(Labels(t, 3), (std::vector<std::string>{"2", "3", "1"}));

  frame->DisconnectSortHandlers();
  frame->DisconnectSortHandlers();  // nothing left to remove
  EXPECT_FALSE(Click(t, -1));
  EXPECT_EQ(Labels(t, 3), (std::vector<std::string>{"2", "3", "1"}));

  frame->ConnectSortHandlers();
  frame->ConnectSortHandlers();
  EXPECT_TRUE(t->Unbind(wxEVT_GRID_LABEL_LEFT_CLICK, &wxQuorvaneFIN::OnTableLabelClick, window()));
  EXPECT_FALSE(t->Unbind(wxEVT_GRID_LABEL_LEFT_CLICK, &wxQuorvaneFIN::OnTableLabelClick, window()))
      << "a second Connect bound the click twice";
  EXPECT_TRUE(frame->pearsonGrid->Unbind(wxEVT_GRID_LABEL_LEFT_CLICK, &wxQuorvaneFIN::OnPearsonLabelClick, window()));
  EXPECT_FALSE(frame->pearsonGrid->Unbind(wxEVT_GRID_LABEL_LEFT_CLICK, &wxQuorvaneFIN::OnPearsonLabelClick, window()));

  // The start of a run unbinds.
  frame->ConnectSortHandlers();
  ResetResultGrids();
  EXPECT_FALSE(Click(t, 0));
}

TEST_F(GridsTest, RangesOfFewerThanTwoRowsAreLeftAlone) {
  ResetResultGrids();
  frame->SortTableGrid(5);  // no data rows
  frame->SortPearsonGrid(1);  // no rows
  EXPECT_EQ(frame->tableGrid->GetNumberRows(), 3);
  SetupPearsonGrid(1, 3);
  frame->pearsonGrid->SetCellValue(0, 1, " 0.5");
  frame->pearsonGrid->SetRowLabelValue(0, "1");
  frame->SortPearsonGrid(1);
  frame->SortPearsonGrid(0);
  EXPECT_EQ(frame->pearsonGrid->GetCellValue(0, 1), " 0.5");
  FillTable({"only"}, {" 0.5"});
  const std::string row = Signature(frame->tableGrid, 3);
  frame->SortTableGrid(-1);
  EXPECT_EQ(Signature(frame->tableGrid, 3), row);
}

}  // namespace
