#include "ui/ResultTable.h"

#include <algorithm>

#include "engine/ResultsModel.h"

namespace {

// The first model column of the sequences, and the columns before it.
constexpr int FIRST_SEQUENCE_COLUMN = 7;
constexpr int SUMMARY_ROWS = 3;

struct GridAccess : wxGrid {
  static void ClearCache(wxGrid* grid) { (grid->*(&GridAccess::ClearAttrCache))(); }
};

}  // namespace

void ForgetCachedAttribute(wxGrid* grid) { GridAccess::ClearCache(grid); }

ResultTable::ResultTable(const ResultsModel& model, int rows, int cols) : model_(model), cols_(cols) {
  for (int r = 0; r < rows; ++r) {
    order_.push_back(r);
    stored_.emplace_back();
  }
}

bool ResultTable::FromModel(int stored, int col) const {
  if (col < 0) return false;
  if (stored < SUMMARY_ROWS) return col < FIRST_SEQUENCE_COLUMN;
  if (stored - SUMMARY_ROWS >= model_.Rows()) return false;
  return col < FIRST_SEQUENCE_COLUMN || col - FIRST_SEQUENCE_COLUMN < model_.Sequences();
}

wxString ResultTable::GetValue(int row, int col) {
  if (row < 0 || row >= GetNumberRows() || col < 0) return wxString();
  const int s = Stored(row);
  const StoredRow& stored = stored_[s];
  if (col < static_cast<int>(stored.texts.size()) && !stored.texts[col].empty()) return stored.texts[col];
  if (!FromModel(s, col)) return wxString();
  return wxString::FromUTF8(model_.CellText(s, col).c_str());
}

void ResultTable::SetValue(int row, int col, const wxString& value) {
  if (row < 0 || row >= GetNumberRows() || col < 0 || col >= cols_) return;
  std::vector<wxString>& texts = stored_[Stored(row)].texts;
  if (col >= static_cast<int>(texts.size())) {
    if (value.empty()) return;
    texts.resize(col + 1);
  }
  texts[col] = value;
}

void ResultTable::Clear() {
  for (StoredRow& row : stored_) row.texts.clear();
}

void ResultTable::Notify(int message, int a, int b) {
  if (GetView() == nullptr) return;
  wxGridTableMessage msg(this, message, a, b);
  GetView()->ProcessTableMessage(msg);
}

bool ResultTable::InsertRows(size_t pos, size_t numRows) {
  if (pos > order_.size()) return false;
  // New rows are stored after every existing one, so no stored attribute moves.
  std::vector<int> added;
  for (size_t i = 0; i < numRows; ++i) {
    added.push_back(static_cast<int>(stored_.size()));
    stored_.emplace_back();
  }
  order_.insert(order_.begin() + pos, added.begin(), added.end());
  Notify(wxGRIDTABLE_NOTIFY_ROWS_INSERTED, static_cast<int>(pos), static_cast<int>(numRows));
  return true;
}

bool ResultTable::AppendRows(size_t numRows) {
  for (size_t i = 0; i < numRows; ++i) {
    order_.push_back(static_cast<int>(stored_.size()));
    stored_.emplace_back();
  }
  Notify(wxGRIDTABLE_NOTIFY_ROWS_APPENDED, static_cast<int>(numRows));
  return true;
}

bool ResultTable::DeleteRows(size_t pos, size_t numRows) {
  if (pos >= order_.size()) return false;
  numRows = std::min(numRows, order_.size() - pos);
  std::vector<int> gone(order_.begin() + pos, order_.begin() + pos + numRows);
  std::sort(gone.begin(), gone.end());
  wxGridCellAttrProvider* attrs = GetAttrProvider();
  const bool contiguous = gone.empty() || gone.back() - gone.front() + 1 == static_cast<int>(gone.size());
  for (auto it = gone.rbegin(); it != gone.rend(); ++it) {
    stored_.erase(stored_.begin() + *it);
    if (attrs != nullptr && !contiguous) attrs->UpdateAttrRows(*it, -1);
  }
  if (attrs != nullptr && contiguous && !gone.empty())
    attrs->UpdateAttrRows(gone.front(), -static_cast<int>(gone.size()));
  order_.erase(order_.begin() + pos, order_.begin() + pos + numRows);
  for (int& s : order_) s -= static_cast<int>(std::lower_bound(gone.begin(), gone.end(), s) - gone.begin());
  Notify(wxGRIDTABLE_NOTIFY_ROWS_DELETED, static_cast<int>(pos), static_cast<int>(numRows));
  return true;
}

bool ResultTable::InsertCols(size_t pos, size_t numCols) {
  if (static_cast<int>(pos) > cols_) return false;
  for (StoredRow& row : stored_)
    if (row.texts.size() > pos) row.texts.insert(row.texts.begin() + pos, numCols, wxString());
  if (colLabels_.size() > pos) {
    colLabels_.insert(colLabels_.begin() + pos, numCols, wxString());
    colLabelSet_.insert(colLabelSet_.begin() + pos, numCols, false);
  }
  if (GetAttrProvider() != nullptr) GetAttrProvider()->UpdateAttrCols(pos, static_cast<int>(numCols));
  cols_ += static_cast<int>(numCols);
  Notify(wxGRIDTABLE_NOTIFY_COLS_INSERTED, static_cast<int>(pos), static_cast<int>(numCols));
  return true;
}

bool ResultTable::AppendCols(size_t numCols) {
  cols_ += static_cast<int>(numCols);
  Notify(wxGRIDTABLE_NOTIFY_COLS_APPENDED, static_cast<int>(numCols));
  return true;
}

bool ResultTable::DeleteCols(size_t pos, size_t numCols) {
  if (static_cast<int>(pos) >= cols_) return false;
  numCols = std::min(numCols, static_cast<size_t>(cols_) - pos);
  for (StoredRow& row : stored_)
    if (row.texts.size() > pos)
      row.texts.erase(row.texts.begin() + pos, row.texts.begin() + std::min(row.texts.size(), pos + numCols));
  if (colLabels_.size() > pos) {
    const size_t end = std::min(colLabels_.size(), pos + numCols);
    colLabels_.erase(colLabels_.begin() + pos, colLabels_.begin() + end);
    colLabelSet_.erase(colLabelSet_.begin() + pos, colLabelSet_.begin() + end);
  }
  if (GetAttrProvider() != nullptr) GetAttrProvider()->UpdateAttrCols(pos, -static_cast<int>(numCols));
  cols_ -= static_cast<int>(numCols);
  Notify(wxGRIDTABLE_NOTIFY_COLS_DELETED, static_cast<int>(pos), static_cast<int>(numCols));
  return true;
}

wxString ResultTable::GetRowLabelValue(int row) {
  if (row < 0 || row >= GetNumberRows()) return wxGridTableBase::GetRowLabelValue(row);
  const int s = Stored(row);
  if (stored_[s].hasLabel) return stored_[s].label;
  if (s >= SUMMARY_ROWS && s - SUMMARY_ROWS < model_.Rows()) return wxString::Format("%d", s - SUMMARY_ROWS + 1);
  return wxGridTableBase::GetRowLabelValue(row);
}

wxString ResultTable::GetColLabelValue(int col) {
  if (col >= 0 && col < static_cast<int>(colLabels_.size()) && colLabelSet_[col]) return colLabels_[col];
  if (col >= FIRST_SEQUENCE_COLUMN && col - FIRST_SEQUENCE_COLUMN < model_.Sequences())
    return wxString::Format("%d", col - FIRST_SEQUENCE_COLUMN + 1);
  return wxGridTableBase::GetColLabelValue(col);
}

void ResultTable::SetRowLabelValue(int row, const wxString& label) {
  if (row < 0 || row >= GetNumberRows()) return;
  StoredRow& stored = stored_[Stored(row)];
  stored.label = label;
  stored.hasLabel = true;
}

void ResultTable::SetColLabelValue(int col, const wxString& label) {
  if (col < 0 || col >= cols_) return;
  if (col >= static_cast<int>(colLabels_.size())) {
    colLabels_.resize(col + 1);
    colLabelSet_.resize(col + 1, false);
  }
  colLabels_[col] = label;
  colLabelSet_[col] = true;
}

wxGridCellAttr* ResultTable::GetAttr(int row, int col, wxGridCellAttr::wxAttrKind kind) {
  if (row < 0 || row >= GetNumberRows()) return wxGridTableBase::GetAttr(row, col, kind);
  const int s = Stored(row);
  wxGridCellAttr* attr = wxGridTableBase::GetAttr(s, col, kind);
  if (kind != wxGridCellAttr::Any || !FromModel(s, col)) return attr;
  const CellColour colour = model_.CellTextColour(s, col);
  if (colour == CellColour::Unset) return attr;
  // A copy, so that the stored attribute keeps its own colour.
  wxGridCellAttr* own = attr != nullptr ? attr->Clone() : new wxGridCellAttr;
  if (attr != nullptr) attr->DecRef();
  switch (colour) {
    case CellColour::Plain:
      own->SetTextColour(GetView() != nullptr ? GetView()->GetDefaultCellTextColour() : *wxBLACK);
      break;
    case CellColour::Red:
      own->SetTextColour(*wxRED);
      break;
    case CellColour::Orange:
      own->SetTextColour(wxColour(255, 128, 0));
      break;
    default:
      own->SetTextColour(*wxBLUE);
      break;
  }
  return own;
}

void ResultTable::SetAttr(wxGridCellAttr* attr, int row, int col) {
  if (row < 0 || row >= GetNumberRows()) {
    wxGridTableBase::SetAttr(attr, row, col);
    return;
  }
  wxGridTableBase::SetAttr(attr, Stored(row), col);
}

void ResultTable::SetRowAttr(wxGridCellAttr* attr, int row) {
  if (row < 0 || row >= GetNumberRows()) {
    wxGridTableBase::SetRowAttr(attr, row);
    return;
  }
  wxGridTableBase::SetRowAttr(attr, Stored(row));
}

void ResultTable::SwapRows(int a, int b) { std::swap(order_[a], order_[b]); }

bool ResultTable::FollowModel() {
  wxGrid* grid = GetView();
  bool grew = false;
  const int rows = SUMMARY_ROWS + model_.Rows();
  if (GetNumberRows() < rows) {
    grid->AppendRows(rows - GetNumberRows());
    grew = true;
  }
  const int cols = FIRST_SEQUENCE_COLUMN + model_.Sequences();
  if (cols_ < cols) {
    grid->AppendCols(cols - cols_);
    grew = true;
  }
  return grew;
}
