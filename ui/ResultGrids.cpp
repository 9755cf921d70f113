// The results grids: preparing them for a run, the goodness-of-fit cells
// and the sorting of the Table and Pearson grids by a clicked label.
#include <wx/utils.h>

#include <cmath>
#include <vector>

#include "engine/GofResults.h"
#include "ui/MainFrame.h"
#include "ui/ResultTable.h"

namespace {

// The first data row, and the columns whose cells carry a text colour of
// their own, of each sortable grid.
constexpr int TABLE_FIRST_ROW = 3;
constexpr int TABLE_FIRST_COLOURED = 1, TABLE_LAST_COLOURED = 6;
constexpr int PEARSON_FIRST_ROW = 0;
constexpr int PEARSON_FIRST_COLOURED = 1, PEARSON_LAST_COLOURED = 1;

// The key of a cell or label that holds no number: before every number, so
// that failed results come first when looking for the smallest p-values.
constexpr double NO_NUMBER_KEY = -HUGE_VAL;

// The number a cell shows, read in the C locale whatever the user's, with
// blanks around it allowed.
double SortKey(wxString text) {
  text.Trim(true).Trim(false);
  double value = 0;
  if (!text.ToCDouble(&value) || std::isnan(value)) return NO_NUMBER_KEY;
  return value;
}

void ExchangeRows(wxGrid* grid, int a, int b, int firstColoured, int lastColoured) {
  // The Table grid's own table moves a whole row (texts, label, colours and
  // its results) by permuting its view.
  if (auto* table = dynamic_cast<ResultTable*>(grid->GetTable())) {
    table->SwapRows(a, b);
    ForgetCachedAttribute(grid);
    return;
  }
  for (int column = firstColoured; column <= lastColoured; ++column) {
    const wxColour colourA = grid->GetCellTextColour(a, column);
    const wxColour colourB = grid->GetCellTextColour(b, column);
    grid->SetCellTextColour(a, column, colourB);
    grid->SetCellTextColour(b, column, colourA);
    // The grid caches the last attribute it merged (cell with column);
    // setting a cell's colour does not renew that copy, so the next read of
    // the same cell would give the old colour.
    grid->RefreshAttr(a, column);
    grid->RefreshAttr(b, column);
  }
  for (int column = grid->GetNumberCols() - 1; column >= 0; --column) {
    const wxString textA = grid->GetCellValue(a, column);
    grid->SetCellValue(a, column, grid->GetCellValue(b, column));
    grid->SetCellValue(b, column, textA);
  }
  const wxString labelA = grid->GetRowLabelValue(a);
  grid->SetRowLabelValue(a, grid->GetRowLabelValue(b));
  grid->SetRowLabelValue(b, labelA);
}

// Quicksort with Hoare partitioning of the rows first..last by keys[row].
void SortRowsByKey(wxGrid* grid, double* keys, int first, int last, int firstColoured, int lastColoured) {
  const double pivot = keys[(first + last) / 2];
  int i = first, j = last;
  while (i <= j) {
    while (keys[i] < pivot) ++i;
    while (keys[j] > pivot) --j;
    if (j < i) break;
    std::swap(keys[i], keys[j]);
    ExchangeRows(grid, i, j, firstColoured, lastColoured);
    ++i;
    --j;
  }
  if (first < j) SortRowsByKey(grid, keys, first, j, firstColoured, lastColoured);
  if (i < last) SortRowsByKey(grid, keys, i, last, firstColoured, lastColoured);
}

// The same by the text of column 0, without regard to case, read afresh
// at every comparison.
void SortRowsByName(wxGrid* grid, int first, int last, int firstColoured, int lastColoured) {
  const wxString pivot = grid->GetCellValue((first + last) / 2, 0);
  int i = first, j = last;
  while (i <= j) {
    while (grid->GetCellValue(i, 0).CmpNoCase(pivot) < 0) ++i;
    while (grid->GetCellValue(j, 0).CmpNoCase(pivot) > 0) --j;
    if (j < i) break;
    ExchangeRows(grid, i, j, firstColoured, lastColoured);
    ++i;
    --j;
  }
  if (first < j) SortRowsByName(grid, first, j, firstColoured, lastColoured);
  if (i < last) SortRowsByName(grid, i, last, firstColoured, lastColoured);
}

template <typename ByKey, typename ByName>
void SortGrid(wxGrid* grid, int column, int firstRow, ByKey byKey, ByName byName) {
  const int rows = grid->GetNumberRows();
  if (rows - firstRow < 2) return;
  wxBeginBusyCursor();
  grid->Freeze();
  grid->BeginBatch();
  if (column == 0) {
    byName(firstRow, rows - 1);
  } else {
    std::vector<double> keys(rows);
    for (int r = firstRow; r < rows; ++r)
      keys[r] = SortKey(column < 0 ? grid->GetRowLabelValue(r) : grid->GetCellValue(r, column));
    byKey(keys.data(), firstRow, rows - 1);
  }
  grid->Thaw();
  grid->EndBatch();
  wxEndBusyCursor();
}

}  // namespace

void wxQuorvaneFIN::ConnectSortHandlers() {
  DisconnectSortHandlers();
  tableGrid->Bind(wxEVT_GRID_LABEL_LEFT_CLICK, &wxQuorvaneFIN::OnTableLabelClick, this);
  pearsonGrid->Bind(wxEVT_GRID_LABEL_LEFT_CLICK, &wxQuorvaneFIN::OnPearsonLabelClick, this);
}

void wxQuorvaneFIN::DisconnectSortHandlers() {
  tableGrid->Unbind(wxEVT_GRID_LABEL_LEFT_CLICK, &wxQuorvaneFIN::OnTableLabelClick, this);
  pearsonGrid->Unbind(wxEVT_GRID_LABEL_LEFT_CLICK, &wxQuorvaneFIN::OnPearsonLabelClick, this);
}

void IgnoreLabelClicks(wxGrid* grid) {
  // Bound before the sorting handlers, which are bound later and so asked
  // first: this one answers only while the sorting is unbound (before the
  // first run and during a run), and consumes the click.
  grid->Bind(wxEVT_GRID_LABEL_LEFT_CLICK, [](wxGridEvent&) {});
}

// The click is consumed, so the grid selects nothing on it.
void wxQuorvaneFIN::OnTableLabelClick(wxGridEvent& event) { SortTableGrid(event.GetCol()); }

void wxQuorvaneFIN::OnPearsonLabelClick(wxGridEvent& event) { SortPearsonGrid(event.GetCol()); }

void wxQuorvaneFIN::SortTableGrid(int column) {
  SortGrid(
      tableGrid, column, TABLE_FIRST_ROW, [this](double* keys, int first, int last) { SortTableRows(keys, first, last); },
      [this](int first, int last) { SortTableRowsByName(first, last); });
}

void wxQuorvaneFIN::SortPearsonGrid(int column) {
  SortGrid(
      pearsonGrid, column, PEARSON_FIRST_ROW,
      [this](double* keys, int first, int last) { SortPearsonRows(keys, first, last); },
      [this](int first, int last) { SortPearsonRowsByName(first, last); });
}

void wxQuorvaneFIN::SortTableRows(double* keys, int first, int last) {
  SortRowsByKey(tableGrid, keys, first, last, TABLE_FIRST_COLOURED, TABLE_LAST_COLOURED);
}

void wxQuorvaneFIN::SortTableRowsByName(int first, int last) {
  SortRowsByName(tableGrid, first, last, TABLE_FIRST_COLOURED, TABLE_LAST_COLOURED);
}

void wxQuorvaneFIN::SortPearsonRows(double* keys, int first, int last) {
  SortRowsByKey(pearsonGrid, keys, first, last, PEARSON_FIRST_COLOURED, PEARSON_LAST_COLOURED);
}

void wxQuorvaneFIN::SortPearsonRowsByName(int first, int last) {
  SortRowsByName(pearsonGrid, first, last, PEARSON_FIRST_COLOURED, PEARSON_LAST_COLOURED);
}

void ResetResultGrids() {
  wxQuorvaneFIN* frame = mainFrame;
  frame->DisconnectSortHandlers();

  wxGrid* table = frame->tableGrid;
  table->ClearGrid();
  table->SetCellSize(0, 0, 1, 1);
  const int height = frame->rowHeightSpin->GetValue();
  for (int row = 0; row < 3 && row < table->GetNumberRows(); ++row) table->SetRowSize(row, height);
  if (table->GetNumberCols() > 7) table->DeleteCols(7, table->GetNumberCols() - 7);
  if (table->GetNumberRows() > 3) table->DeleteRows(3, table->GetNumberRows() - 3);
  ForgetCachedAttribute(table);

  frame->notebook->SetSelection(1);

  wxGrid* stat = frame->statGrid;
  if (stat->GetNumberRows() > 0) stat->DeleteRows(0, stat->GetNumberRows(), false);

  if (frame->graph) frame->graph->count = 0;
}

void SetupPearsonGrid(int rows, int cols) {
  wxGrid* grid = mainFrame->pearsonGrid;
  grid->ClearGrid();
  const int currentCols = grid->GetNumberCols();
  if (currentCols > cols)
    grid->DeleteCols(cols, currentCols - cols);
  else if (cols > currentCols)
    grid->AppendCols(cols - currentCols);
  const int currentRows = grid->GetNumberRows();
  if (currentRows > rows)
    grid->DeleteRows(rows, currentRows - rows);
  else if (rows > currentRows)
    grid->AppendRows(rows - currentRows);
  for (int i = 3; i < cols; ++i) {
    grid->SetColLabelValue(i, wxString::Format("%d", i - 2));
    grid->SetColFormatNumber(i);
  }
  if (cols > 1) {
    auto* attr = new wxGridCellAttr;
    attr->SetAlignment(wxALIGN_RIGHT, wxALIGN_CENTRE);
    grid->SetColAttr(1, attr);
  }
}

void SetGofCell(int row, const char* label, double value, int column) {
  const wxString text = wxString::FromUTF8(GofCellText(value).c_str());

  wxGrid* grid = mainFrame->statGrid;
  grid->SetRowLabelValue(row, label);
  grid->SetCellValue(row, column, text);
  wxColour colour;  // unset: the grid's default text colour shows
  if (value < 0.001)
    colour = *wxRED;
  else if (value < 0.01)
    colour = wxColour(255, 128, 0);
  grid->SetCellTextColour(row, column, colour);
  grid->RefreshAttr(row, column);
}
