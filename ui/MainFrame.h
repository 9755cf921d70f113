#pragma once
// The main window: the layout FIN with the program's behaviour on top,
// and the operations through which its run view (ui/WindowView.h) prepares
// the results grids.
#include <wx/grid.h>

#include "engine/Version.h"
#include "ui/FIN.h"
#include "ui/Graph.h"
#include "ui/Prefs.h"


// The id of the command event with which the constructor runs OnAutohide:
// the window is not yet mainFrame, so the step that asks IsTestHidden is
// left out.
constexpr int AUTOHIDE_FROM_CONSTRUCTOR = -99;

class wxQuorvaneFIN : public FIN {
 public:
  // The program's main window (ui/MainFrame.cpp): the layout and every step
  // that turns it into the window the user sees, including the preferences
  // and the presets of dataDir. dataDir becomes the executable's folder
  // unless it is set already (a test sets its own).
  explicit wxQuorvaneFIN(wxWindow* parent);
  // The bare layout, for test windows that prepare themselves.
  wxQuorvaneFIN(wxWindow* parent, wxWindowID id, const wxString& title, const wxPoint& pos, const wxSize& size,
                long style);
  ~wxQuorvaneFIN() override;

  // The test list and the controls (ui/TestListHandlers.cpp).
  void OnTestCheck(wxCommandEvent& event) override;
  void OnAmlsLminSpin(wxSpinEvent& event) override;
  void OnAmlsLmaxSpin(wxSpinEvent& event) override;
  void OnLinCplxKSpin(wxSpinEvent& event) override;
  void OnRw1dLminSpin(wxSpinEvent& event) override;
  void OnEnableAll(wxCommandEvent& event) override;
  void OnAutohide(wxCommandEvent& event) override;
  void OnSelectFile(wxCommandEvent& event) override;
  void OnFileSelected(wxCommandEvent& event) override;
  void OnFileText(wxCommandEvent& event) override;
  void OnDeleteFile(wxCommandEvent& event) override;
  void OnTestListCheck(wxCommandEvent& event) override;
  void OnTestListMove(wxCommandEvent& event) override;
  void OnTestListSort(wxCommandEvent& event) override;
  // Lays the Parameters page out again after panels were shown or hidden,
  // the test panels and the scrolled area included.
  void LayoutParameters();

  // The Start handler (ui/StartHandler.cpp): one whole run from the window.
  void OnStart(wxCommandEvent& event) override;
  // Its steps that tests reach one by one: every parameter control into its
  // global; the enabled flags from the check boxes and the test list.
  void CopyParameters();
  void EnableTests();

  // True for the whole of OnStart, while the run engine and whatever it
  // shows may dispatch window events; runState is Idle in parts of it.
  bool startActive = false;
  // A close request that arrived while startActive was set: OnStart closes
  // the window once the run is over.
  bool closePending = false;

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
  // then "Save on exit" when it is not among them, and follows the dropping
  // down and closing of the box's list.
  void ListPresets();
  // While the list of the presets box is down, the text the box had when it
  // dropped: closing the list reports that text again even when no other
  // name was chosen, and OnPresetText takes that as no change.
  bool presetListDown = false;
  wxString presetTextAtDropDown;

  // The preferences file (ui/Prefs.cpp). OnClose defers a close asked for
  // during the Start handler or a run (closePending); otherwise it saves
  // "Save on exit" when that is the selected preset, writes "prefs.bin" and
  // releases dataDir (allocated with new[]).
  void OnClose(wxCloseEvent& event) override;
  // Reads "prefs.bin" and applies it when it is sound as a whole.
  void ReadPrefs();
  PrefsRecord CollectPrefs();
  void ApplyPrefs(const PrefsRecord& record);
  // The stored scroll position of the Parameters page, kept until the page
  // is on screen with its size (before, any position would be cut to 0)
  // and applied then; -1 when there is none to apply.
  int pendingScroll = -1;
  void ApplyPendingScroll();
  void OnParametersSize(wxSizeEvent& event);

  Graph* graph = nullptr;
};

extern wxQuorvaneFIN* mainFrame;

// Whether the test of the slot is ticked in the display-order list of
// mainFrame (disabled and hidden), looking at its first 26 entries; a slot
// without an entry, and any slot while there is no mainFrame, counts as
// hidden.
bool IsTestHidden(int slot);

// The file-open dialog of "File(s) to test or DLL to use", replaceable so
// that a test can answer it. True with *path set when the user chose a file.
using FileDialogHandler = bool (*)(wxWindow* parent, const wxString& message, const wxString& defaultDir,
                                   const wxString& wildcard, wxString* path);
// Installs a handler (null for the real dialog) and returns the one it replaces.
FileDialogHandler SetFileDialogHandler(FileDialogHandler handler);

// Makes a click on a label of the grid do nothing (no row, column or
// whole-grid selection) whenever no sorting handler takes it.
void IgnoreLabelClicks(wxGrid* grid);
// Prepares the grids and the plot for a new run (unbinds the sorting,
// empties the Table grid down to its three summary rows and seven columns,
// shows the Table page, empties the goodness-of-fit grid and the plot).
void ResetResultGrids();
// Gives the Pearson grid rows rows and cols columns, bin columns from 3 on.
void SetupPearsonGrid(int rows, int cols);
// Writes one probability of the goodness-of-fit grid with its row label.
void SetGofCell(int row, const char* label, double value, int column);
