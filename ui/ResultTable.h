#pragma once
// The table behind the Table grid: a view over the run's results model that
// formats a cell when the grid asks for it, so that a run of R rows and S
// sequences keeps R x S numbers rather than R x S strings. Texts, labels
// and attributes set through the grid are kept as well (per stored row) and
// take precedence over the model. Sorting permutes the rows of the view: a
// row carries its texts, label, attributes and model row wherever it goes.
#include <wx/grid.h>

#include <vector>

class ResultsModel;

class ResultTable : public wxGridTableBase {
 public:
  ResultTable(const ResultsModel& model, int rows, int cols);

  int GetNumberRows() override { return static_cast<int>(order_.size()); }
  int GetNumberCols() override { return cols_; }
  wxString GetValue(int row, int col) override;
  void SetValue(int row, int col, const wxString& value) override;
  void Clear() override;
  bool InsertRows(size_t pos = 0, size_t numRows = 1) override;
  bool AppendRows(size_t numRows = 1) override;
  bool DeleteRows(size_t pos = 0, size_t numRows = 1) override;
  bool InsertCols(size_t pos = 0, size_t numCols = 1) override;
  bool AppendCols(size_t numCols = 1) override;
  bool DeleteCols(size_t pos = 0, size_t numCols = 1) override;
  wxString GetRowLabelValue(int row) override;
  wxString GetColLabelValue(int col) override;
  void SetRowLabelValue(int row, const wxString& label) override;
  void SetColLabelValue(int col, const wxString& label) override;
  wxGridCellAttr* GetAttr(int row, int col, wxGridCellAttr::wxAttrKind kind) override;
  void SetAttr(wxGridCellAttr* attr, int row, int col) override;
  void SetRowAttr(wxGridCellAttr* attr, int row) override;

  // Exchanges the view rows a and b.
  void SwapRows(int a, int b);
  // Gives the view the rows and sequence columns the model holds (result row
  // r at row r + 3, sequence k at column k + 6); true when it grew.
  bool FollowModel();

 private:
  struct StoredRow {
    wxString label;
    bool hasLabel = false;
    std::vector<wxString> texts;  // by column; shorter than the row when the rest is empty
  };
  int Stored(int row) const { return order_[row]; }
  // Whether the model gives the cell of the stored row.
  bool FromModel(int stored, int col) const;
  void Notify(int message, int a, int b = -1);

  const ResultsModel& model_;
  int cols_ = 0;
  std::vector<int> order_;         // view row -> stored row
  std::vector<StoredRow> stored_;  // by stored row
  std::vector<wxString> colLabels_;
  std::vector<bool> colLabelSet_;
};

// The grid's one-entry attribute cache would keep a merged attribute across
// a change of the model or of the row order; this drops it.
void ForgetCachedAttribute(wxGrid* grid);
