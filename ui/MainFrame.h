#pragma once
// The main window: the layout FIN with the program's behaviour on top,
// and the operations through which the run engine prepares the results
// grids.
#include <wx/grid.h>

#include "ui/FIN.h"
#include "ui/Graph.h"
#include "ui/Prefs.h"

class wxQuorvaneFIN : public FIN {
 public:
  wxQuorvaneFIN(wxWindow* parent, wxWindowID id, const wxString& title, const wxPoint& pos, const wxSize& size,
                long style);
  ~wxQuorvaneFIN() override;

  // Binds the label-click sorting of the Table and Pearson grids; a second
  // call while bound binds nothing more.
  void ConnectSortHandlers();
  // Removes both bindings; nothing happens for a binding that is not there.
  void DisconnectSortHandlers();
  void OnTableLabelClick(wxGridEvent& event);
  void OnPearsonLabelClick(wxGridEvent& event);

  // Sort the data rows (Table: 3 to last; Pearson: 0 to last) ascending by
  // column: -1 by row label, 0 by the "Test" text without regard to case,
  // any other column by the number in its cells. A cell that holds no
  // number (" fail", " short", empty) sorts before every number.
  void SortTableGrid(int column);
  void SortPearsonGrid(int column);
  // Quicksorts of the rows first..last by the keys (indexed by grid row) or
  // by the text of column 0.
  void SortTableRows(double* keys, int first, int last);
  void SortTableRowsByName(int first, int last);
  void SortPearsonRows(double* keys, int first, int last);
  void SortPearsonRowsByName(int first, int last);

  // Presets (ui/Presets.cpp). Load, save and delete the preset named by the
  // text of the presets box; a name that is empty or holds "/", "]" or a
  // line break is refused.
  void OnPresetText(wxCommandEvent& event) override;
  void OnLoadPreset(wxCommandEvent& event) override;
  void OnSavePreset(wxCommandEvent& event) override;
  void OnDeletePreset(wxCommandEvent& event) override;
  // Appends the presets of "presets.ini" to the presets box in file order,
  // then "Save on exit" when it is not among them.
  void ListPresets();

  // The preferences file (ui/Prefs.cpp). OnClose refuses to close while a
  // run is going; otherwise it saves "Save on exit" when that is the selected
  // preset, writes "prefs.bin" and releases dataDir (allocated with new[]).
  void OnClose(wxCloseEvent& event) override;
  // Reads "prefs.bin" and applies it when it is sound as a whole.
  void ReadPrefs();
  PrefsRecord CollectPrefs();
  void ApplyPrefs(const PrefsRecord& record);

  Graph* graph = nullptr;
};

extern wxQuorvaneFIN* mainFrame;

// Prepares the grids and the plot for a new run (unbinds the sorting,
// empties the Table grid down to its three summary rows and seven columns,
// shows the Table page, empties the goodness-of-fit grid and the plot).
void ResetResultGrids();
// Gives the Pearson grid rows rows and cols columns, bin columns from 3 on.
void SetupPearsonGrid(int rows, int cols);
// Writes one probability of the goodness-of-fit grid with its row label.
void SetGofCell(int row, const char* label, double value, int column);
