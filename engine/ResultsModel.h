#pragma once
// The results of a run as numbers: the row labels, every p-value of the run
// and, per row, its valid values in ascending order, kept by insertion so
// that a row's statistics cost one pass over its values. The Table grid is
// a view over this model and the report is written from it; it needs no
// window, so it can be tested on its own.
#include <string>
#include <vector>

// The text colour a cell of the Table grid takes from the model.
enum class CellColour : unsigned char {
  Unset,  // none of its own: the grid's attributes decide
  Plain,  // the grid's default text colour
  Red,
  Orange,  // (255, 128, 0)
  Blue,
};

// The colour SetPValueCell gives p: red below 0.001, orange below 0.01,
// blue otherwise.
CellColour PValueColour(double p);

class ResultsModel {
 public:
  // What one result row shows in the columns "pvals" to "pv max".
  struct RowStats {
    int count = 0;        // valid values at the last update
    bool shown = false;   // "pvals" was written (the run held more than one value)
    bool failed = false;  // a PVALUE_FAIL met so far
    bool judged = false;  // KS, AD and Bino were written (from sequence 2 on)
    double ks = -1, ad = -1, bino = -1;
    bool binoSlash = false;  // the final binomial could not be formed: "/"
    bool extremes = false;   // min and max were written (two values or more)
    double min = 0, max = 0;
    bool minRed = false, maxRed = false;
  };

  // Pearson's table of one row over equal bins.
  struct PearsonRow {
    int n = 0;  // valid values
    int m = 0;  // the row's bins
    double expected = 0;
    std::vector<unsigned> bins;
    double pvalue = -1;
    bool slash = false;  // too few values per bin: "/"
  };

  // Empties the model for a run whose p-values are written with `digits`
  // digits, fixed notation from fixedMin on.
  void Reset(int digits, double fixedMin);

  // A result row, in the order of the first sequence.
  void AddRow(const std::string& label);
  // One value per row, in row order, for the next sequence.
  void AddSequence(const double* values);

  // The per-row statistics and the two summary rows as they stand after the
  // sequences collected so far.
  void UpdateStatistics();
  // At the end of a run of `sequences` sequences: the final per-row KS and
  // AD p-values, the final binomial column and the binomial summary row,
  // and Pearson's table (k bins at most; none for k < 2). Returns k.
  int FinishRun(int sequences);

  int Rows() const { return static_cast<int>(labels_.size()); }
  int Sequences() const { return sequences_; }
  int Digits() const { return digits_; }
  const std::string& Label(int row) const { return labels_[row]; }
  double Value(int row, int sequence) const { return values_[static_cast<size_t>(sequence) * Rows() + row]; }
  // The valid values of a row, ascending.
  const std::vector<double>& Sorted(int row) const {
    MergePending(row);
    return sorted_[row];
  }
  const RowStats& Stats(int row) const { return stats_[row]; }
  // Whether a row with a PVALUE_FAIL was shown, so that the warning stands.
  bool Failed() const { return warning_; }
  // The final per-row KS and AD p-values (-1 for fewer than 2 values).
  const std::vector<double>& FinalKs() const { return finalKs_; }
  const std::vector<double>& FinalAd() const { return finalAd_; }
  const std::vector<PearsonRow>& Pearson() const { return pearson_; }
  int PearsonBins() const { return pearsonBins_; }

  // The text and colour of the Table grid's cell (row, column): rows 0 to 2
  // the summary rows, result row r at row r + 3; columns 0 "Test" to 6
  // "pv max", sequence k at column k + 6. Text "" and Unset for a cell the
  // model leaves empty.
  std::string CellText(int row, int column) const;
  CellColour CellTextColour(int row, int column) const;
  // The texts of Pearson's table: "pval", "Exp".
  std::string PearsonPValueText(int row) const;
  std::string PearsonExpectedText(int row) const;
  // FormatPValue of p with this run's digits.
  std::string PValueText(double p) const;

 private:
  // One summary cell: a p-value (or "/" in blue) once written.
  struct SummaryCell {
    bool set = false;
    bool slash = false;
    double p = 0;
  };

  int digits_ = 4;
  double fixedMin_ = 0.001;
  std::vector<std::string> labels_;
  std::vector<double> values_;
  int sequences_ = 0;
  // Each row's valid values: sorted_ ascending, and those of the sequences
  // since the row was last read in pending_, merged in when it is read (one
  // sort of the few and one linear merge instead of an insertion per value).
  mutable std::vector<std::vector<double>> sorted_, pending_;
  void MergePending(int row) const;
  std::vector<bool> rowFailed_;
  std::vector<RowStats> stats_;
  // "WARNING!\nBig failure" shown: a row with a PVALUE_FAIL was shown.
  bool warning_ = false;
  // Summary rows: the counts of "pvals" (-1 when not written) and the cells
  // of columns 2 and 3 of rows 0 to 2.
  int summaryCount_[3] = {-1, -1, -1};
  SummaryCell summary_[3][2];
  std::vector<double> finalKs_, finalAd_;
  std::vector<PearsonRow> pearson_;
  int pearsonBins_ = 0;
};

// The model of the current (or last) run, owned by the engine.
extern ResultsModel runResults;
