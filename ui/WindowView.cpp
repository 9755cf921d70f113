#include "ui/WindowView.h"

#include <wx/app.h>
#include <wx/grid.h>
#include <wx/notebook.h>
#include <wx/richtext/richtextctrl.h>
#include <wx/spinctrl.h>
#include <wx/statusbr.h>

#include <algorithm>

#include "engine/Helpers.h"
#include "engine/ResultsModel.h"
#include "engine/RunTests.h"
#include "platform/Counter.h"
#include "ui/MainFrame.h"
#include "ui/ResultTable.h"

namespace {

// The Table grid takes its new sequence columns at most this often (in
// seconds): a new column changes the grid's scrolled size, which redraws
// all of it.
constexpr double COLUMNS_PERIOD = 0.5;

std::string Utf8(const wxString& s) { return std::string(s.utf8_str().data()); }

}  // namespace

int RunTests(platform::DynamicLibrary* plugin) {
  WindowView view;
  return RunTests(view, plugin);
}

void SetPValueCell(wxGrid& grid, int row, int column, double p) {
  grid.SetCellValue(row, column, wxString::FromAscii(FormatPValue(p)));
  if (p < 0.001) {
    grid.SetCellTextColour(row, column, *wxRED);
  } else if (p < 0.01) {
    grid.SetCellTextColour(row, column, wxColour(255, 128, 0));
  } else {
    grid.SetCellTextColour(row, column, *wxBLUE);
  }
}

int WindowView::Concurrency() { return mainFrame->threadsSpin->GetValue(); }

std::string WindowView::InputText() { return Utf8(mainFrame->fileCombo->GetValue()); }

void WindowView::SetStatus(int field, const std::string& text) {
  mainFrame->statusBar->SetStatusText(wxString::FromUTF8(text.c_str()), field);
}

void WindowView::ShowPage(int page) { mainFrame->notebook->SetSelection(page); }

void WindowView::DispatchEvents() {
  if (wxTheApp == nullptr) return;
  while (wxTheApp->Pending()) wxTheApp->Dispatch();
}

void WindowView::ClearResults() {
  warningShown_ = false;
  lastColumnsUpdate_ = 0;
  ResetResultGrids();
  SetupPearsonGrid(0, 3);
}

bool WindowView::ShowResults(const ResultsModel& model, bool final) {
  const int done = model.Sequences();
  wxGrid* grid = mainFrame->tableGrid;
  auto* table = static_cast<ResultTable*>(grid->GetTable());
  const int oldRows = grid->GetNumberRows(), oldCols = grid->GetNumberCols();
  const bool newRows = oldRows < 3 + model.Rows();
  const bool newWarning = model.Failed() && !warningShown_;
  if (done <= 2 || newRows || newWarning) {
    // The first sequences size every column to its texts; later sequence
    // columns take the width of the first ones (their texts share one
    // format) as the grid's default width for new columns.
    grid->BeginBatch();
    table->FollowModel();
    const int height = mainFrame->rowHeightSpin->GetValue();
    for (int row = std::max(oldRows, 3); row < grid->GetNumberRows(); ++row) grid->SetRowSize(row, height);
    if (newWarning) {
      grid->SetCellSize(0, 0, 2, 1);
      grid->SetCellAlignment(0, 0, wxALIGN_CENTRE, wxALIGN_CENTRE);
      warningShown_ = true;
    }
    if (done <= 2) {
      grid->AutoSizeColumns();
      int width = 0;
      for (int c = 7; c < grid->GetNumberCols(); ++c) width = std::max(width, grid->GetColSize(c));
      if (width > 0) grid->SetDefaultColSize(width);
    }
    ForgetCachedAttribute(grid);
    grid->EndBatch();  // redraws the whole grid
  } else {
    // Only the statistics columns and the new sequence columns change.
    const int64_t now = platform::CounterTicks();
    const double seconds = static_cast<double>(now - lastColumnsUpdate_) / platform::CounterFrequency();
    if (final || seconds >= COLUMNS_PERIOD) {
      table->FollowModel();
      lastColumnsUpdate_ = now;
    }
    ForgetCachedAttribute(grid);
    const int rows = grid->GetNumberRows();
    grid->RefreshBlock(0, 1, rows - 1, 6);
    if (grid->GetNumberCols() > oldCols) grid->RefreshBlock(0, oldCols, rows - 1, grid->GetNumberCols() - 1);
  }
  return grid->GetNumberCols() == 7 + done;
}

void WindowView::ShowPearson(const ResultsModel& model) {
  const int rows = model.Rows();
  SetupPearsonGrid(rows, model.PearsonBins() + 3);
  wxGrid* grid = mainFrame->pearsonGrid;
  grid->BeginBatch();
  for (int r = 0; r < rows; ++r) {
    const ResultsModel::PearsonRow& p = model.Pearson()[r];
    grid->SetRowLabelValue(r, wxString::Format("%d", r + 1));
    grid->SetCellValue(r, 0, wxString::FromUTF8(model.Label(r).c_str()));
    grid->SetCellValue(r, 2, model.PearsonExpectedText(r));
    if (p.m == 0) {
      SetPValueCell(*grid, r, 1, -1);
      continue;
    }
    for (int b = 0; b < p.m; ++b) grid->SetCellValue(r, b + 3, wxString::Format("%u", p.bins[b]));
    if (p.slash)
      grid->SetCellValue(r, 1, "/");
    else
      SetPValueCell(*grid, r, 1, p.pvalue);
  }
  grid->AutoSizeColumns();
  grid->SetRowLabelSize(wxGRID_AUTOSIZE);
  grid->SetColLabelSize(wxGRID_AUTOSIZE);
  for (int r = 0; r < rows; ++r) grid->SetRowSize(r, mainFrame->rowHeightSpin->GetValue());
  grid->EndBatch();
}

void WindowView::ShowPlot(const PlotSeries& series) {
  mainFrame->graph->SetData(series.Count(), series.ks.data(), series.ad.data());
}

void WindowView::ShowGofTable(const GofResults& table) {
  wxGrid* stat = mainFrame->statGrid;
  stat->AppendRows(GOF_STATISTICS);
  for (int column = 0; column < 2; ++column)
    for (int k = 0; k < GOF_STATISTICS; ++k) SetGofCell(k, GOF_ROW_LABELS[k], table.probability[k][column], column);
  stat->SetRowLabelSize(wxGRID_AUTOSIZE);
  stat->SetColLabelSize(wxGRID_AUTOSIZE);
  stat->AutoSizeColumns();
}

int WindowView::LogLineCount() { return mainFrame->messageText->GetNumberOfLines(); }

std::string WindowView::LogLine(int line) { return Utf8(mainFrame->messageText->GetLineText(line)); }
