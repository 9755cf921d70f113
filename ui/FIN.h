#pragma once
// The layout of the main window: every control as a member, six notebook
// pages, the status bar and the bindings of the control events to twenty
// handlers that the main window implements. No logic of its own.
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/checklst.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/font.h>
#include <wx/frame.h>
#include <wx/grid.h>
#include <wx/notebook.h>
#include <wx/odcombo.h>
#include <wx/panel.h>
#include <wx/radiobox.h>
#include <wx/radiobut.h>
#include <wx/richtext/richtextctrl.h>
#include <wx/scrolwin.h>
#include <wx/sizer.h>
#include <wx/spinbutt.h>
#include <wx/spinctrl.h>
#include <wx/statbmp.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/tglbtn.h>

#include <vector>

class FIN : public wxFrame {
 public:
  FIN(wxWindow* parent, wxWindowID id = wxID_ANY, const wxString& title = wxEmptyString,
      const wxPoint& pos = wxDefaultPosition, const wxSize& size = wxSize(1032, 1243),
      long style = wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL);
  ~FIN() override;

  // The handlers, bound by the constructor.
  virtual void OnClose(wxCloseEvent& event) = 0;
  virtual void OnTestCheck(wxCommandEvent& event) = 0;
  virtual void OnAmlsLminSpin(wxSpinEvent& event) = 0;
  virtual void OnAmlsLmaxSpin(wxSpinEvent& event) = 0;
  virtual void OnLinCplxKSpin(wxSpinEvent& event) = 0;
  virtual void OnRw1dLminSpin(wxSpinEvent& event) = 0;
  virtual void OnPresetText(wxCommandEvent& event) = 0;
  virtual void OnLoadPreset(wxCommandEvent& event) = 0;
  virtual void OnSavePreset(wxCommandEvent& event) = 0;
  virtual void OnDeletePreset(wxCommandEvent& event) = 0;
  virtual void OnEnableAll(wxCommandEvent& event) = 0;
  virtual void OnAutohide(wxCommandEvent& event) = 0;
  virtual void OnStart(wxCommandEvent& event) = 0;
  virtual void OnSelectFile(wxCommandEvent& event) = 0;
  virtual void OnFileSelected(wxCommandEvent& event) = 0;
  virtual void OnFileText(wxCommandEvent& event) = 0;
  virtual void OnDeleteFile(wxCommandEvent& event) = 0;
  virtual void OnTestListCheck(wxCommandEvent& event) = 0;
  virtual void OnTestListMove(wxCommandEvent& event) = 0;
  virtual void OnTestListSort(wxCommandEvent& event) = 0;

  wxNotebook* notebook;

  // Page 0 "Parameters".
  wxPanel* parametersPage;
  wxScrolledWindow* parametersScroll;
  wxPanel* testPanels;
  wxPanel* runPanel;
  wxStaticText* presetsLabel;
  wxOwnerDrawnComboBox* presetCombo;
  wxToggleButton* loadToggle;
  wxButton* savePresetButton;
  wxButton* deletePresetButton;
  wxStaticLine* presetsLine;
  wxButton* disableAllButton;
  wxButton* enableAllButton;
  wxStaticLine* enableLine;
  wxToggleButton* autohideToggle;
  wxButton* startButton;
  wxStaticLine* runRowsLine;
  wxStaticText* seqLenLabel;
  wxSpinCtrl* seqLenSpin;
  wxChoice* seqLenUnit;
  wxStaticLine* seqLenLine;
  wxStaticText* seqCountLabel;
  wxSpinCtrl* seqCountSpin;
  wxStaticLine* seqCountLine;
  wxButton* selectFileButton;
  wxComboBox* fileCombo;
  wxButton* deleteFileButton;

  // The test panels, in their order on the page.
  wxPanel* amlsPanel;
  wxCheckBox* amlsCheck;
  wxTextCtrl* amlsLminText;
  wxSpinButton* amlsLminSpinButton;
  wxTextCtrl* amlsLmaxText;
  wxSpinButton* amlsLmaxSpinButton;
  wxSpinCtrl* amlsLstpSpin;
  wxTextCtrl* amlsBlkmaxText;

  wxPanel* aqlPanel;
  wxCheckBox* aqlCheck;
  wxSpinCtrl* aqlMminSpin;
  wxSpinCtrl* aqlMmaxSpin;
  wxSpinCtrl* aqlMstpSpin;
  wxSpinCtrl* aqlSminSpin;
  wxSpinCtrl* aqlSmaxSpin;
  wxSpinCtrl* aqlSstpSpin;

  wxPanel* autowPanel;
  wxCheckBox* autowCheck;
  wxSpinCtrl* autowDminSpin;
  wxChoice* autowDminUnit;
  wxSpinCtrl* autowDmaxSpin;
  wxChoice* autowDmaxUnit;
  wxSpinCtrl* autowDstpSpin;
  wxSpinCtrl* autowSminSpin;
  wxSpinCtrl* autowSmaxSpin;
  wxSpinCtrl* autowSstpSpin;
  wxSpinCtrl* autowMaxPvSpin;

  wxPanel* blkGapDstPanel;
  wxCheckBox* blkGapDstCheck;
  wxSpinCtrl* blkGapDstSminSpin;
  wxSpinCtrl* blkGapDstSmaxSpin;
  wxSpinCtrl* blkGapDstSstpSpin;

  wxPanel* blkGapPanel;
  wxCheckBox* blkGapCheck;

  wxPanel* collisionPanel;
  wxCheckBox* collisionCheck;
  wxSpinCtrl* collisionSminSpin;
  wxSpinCtrl* collisionSmaxSpin;
  wxSpinCtrl* collisionSstpSpin;

  wxPanel* couponPanel;
  wxCheckBox* couponCheck;
  wxSpinCtrl* couponSminSpin;
  wxSpinCtrl* couponSmaxSpin;
  wxSpinCtrl* couponSstpSpin;

  wxPanel* cusumPanel;
  wxCheckBox* cusumCheck;

  wxPanel* dftPanel;
  wxCheckBox* dftCheck;
  wxSpinCtrl* dftRminSpin;
  wxChoice* dftRminUnit;
  wxSpinCtrl* dftRmaxSpin;
  wxChoice* dftRmaxUnit;
  wxSpinCtrl* dftRstpSpin;
  wxCheckBox* dftM0Check;
  wxCheckBox* dftM1Check;
  wxSpinCtrl* dftNmaxSpin;
  wxSpinCtrl* dftNoptSpin;

  wxPanel* liCoPanel;
  wxCheckBox* liCoCheck;
  wxSpinCtrl* liCoLenSpin;
  wxCheckBox* liCoOptlenCheck;
  wxTextCtrl* liCoKText;
  wxSpinButton* liCoKSpinButton;

  wxPanel* longBlkPanel;
  wxCheckBox* longBlkCheck;
  wxSpinCtrl* longBlkSminSpin;
  wxChoice* longBlkSminUnit;
  wxSpinCtrl* longBlkSmaxSpin;
  wxChoice* longBlkSmaxUnit;
  wxSpinCtrl* longBlkSstpSpin;

  wxPanel* maurerPanel;
  wxCheckBox* maurerCheck;
  wxSpinCtrl* maurerSminSpin;
  wxSpinCtrl* maurerSmaxSpin;
  wxSpinCtrl* maurerSstpSpin;

  wxPanel* notmPanel;
  wxCheckBox* notmCheck;
  wxSpinCtrl* notmSminSpin;
  wxSpinCtrl* notmSmaxSpin;
  wxSpinCtrl* notmSstpSpin;
  wxSpinCtrl* notmTemplSpin;

  wxPanel* oetPanel;
  wxCheckBox* oetCheck;
  wxSpinCtrl* oetSminSpin;
  wxSpinCtrl* oetSmaxSpin;
  wxSpinCtrl* oetSstpSpin;

  wxPanel* otmPanel;
  wxCheckBox* otmCheck;

  wxPanel* partitionPanel;
  wxCheckBox* partitionCheck;
  wxSpinCtrl* partitionSminSpin;
  wxSpinCtrl* partitionSmaxSpin;
  wxSpinCtrl* partitionSstpSpin;
  wxSpinCtrl* partitionKnumSpin;

  wxPanel* peakPanel;
  wxCheckBox* peakCheck;
  wxSpinCtrl* peakDistSpin;
  wxChoice* peakDistUnit;
  wxSpinCtrl* peakNmaxSpin;
  wxSpinCtrl* peakNoptSpin;

  wxPanel* permutationPanel;
  wxCheckBox* permutationCheck;
  wxSpinCtrl* permutationGminSpin;
  wxSpinCtrl* permutationGmaxSpin;
  wxSpinCtrl* permutationGstpSpin;
  wxSpinCtrl* permutationSminSpin;
  wxSpinCtrl* permutationSmaxSpin;
  wxSpinCtrl* permutationSstpSpin;

  wxPanel* rankPanel;
  wxCheckBox* rankCheck;
  wxSpinCtrl* rankRminSpin;
  wxSpinCtrl* rankRmaxSpin;
  wxSpinCtrl* rankRstpSpin;
  wxSpinCtrl* rankCminSpin;
  wxSpinCtrl* rankCmaxSpin;
  wxSpinCtrl* rankCstpSpin;
  wxChoice* rankMChoice;

  wxPanel* zarWlkPanel;
  wxCheckBox* zarWlkCheck;
  wxSpinCtrl* zarWlkLminSpin;
  wxSpinCtrl* zarWlkLmaxSpin;
  wxSpinCtrl* zarWlkLstpSpin;
  wxSpinCtrl* zarWlkSkSpin;

  wxPanel* rw2dPanel;
  wxCheckBox* rw2dCheck;
  wxSpinCtrl* rw2dLminSpin;
  wxSpinCtrl* rw2dLmaxSpin;
  wxSpinCtrl* rw2dLstpSpin;

  wxPanel* rwDstPanel;
  wxCheckBox* rwDstCheck;

  wxPanel* runsPanel;
  wxCheckBox* runsCheck;
  wxSpinCtrl* runsLminSpin;
  wxSpinCtrl* runsLmaxSpin;
  wxSpinCtrl* runsLstpSpin;
  wxSpinCtrl* runsSminSpin;
  wxSpinCtrl* runsSmaxSpin;
  wxSpinCtrl* runsSstpSpin;

  wxPanel* serialPanel;
  wxCheckBox* serialCheck;
  wxSpinCtrl* serialSminSpin;
  wxSpinCtrl* serialSmaxSpin;
  wxSpinCtrl* serialSstpSpin;

  wxPanel* shortBlkPanel;
  wxCheckBox* shortBlkCheck;
  wxSpinCtrl* shortBlkDminSpin;
  wxChoice* shortBlkDminUnit;
  wxSpinCtrl* shortBlkDmaxSpin;
  wxChoice* shortBlkDmaxUnit;
  wxSpinCtrl* shortBlkDstpSpin;
  wxSpinCtrl* shortBlkSminSpin;
  wxSpinCtrl* shortBlkSmaxSpin;
  wxSpinCtrl* shortBlkSstpSpin;

  wxPanel* twoBitPanel;
  wxCheckBox* twoBitCheck;

  wxPanel* weightPanel;
  wxCheckBox* weightCheck;
  wxSpinCtrl* weightSminSpin;
  wxSpinCtrl* weightSmaxSpin;
  wxSpinCtrl* weightSstpSpin;
  wxSpinCtrl* weightProbSpin;

  // Page 1 "Table" and page 2 "Pearson".
  wxPanel* tablePage;
  wxBoxSizer* tableSizer;
  wxGrid* tableGrid;
  wxPanel* pearsonPage;
  wxBoxSizer* pearsonSizer;
  wxGrid* pearsonGrid;

  // Page 3 "Graph".
  wxPanel* graphPage;
  wxStaticText* statTitle;
  wxGrid* statGrid;
  wxStaticBitmap* ksLegendBitmap;
  wxStaticText* ksLegendLabel;
  wxStaticBitmap* adLegendBitmap;
  wxStaticText* adLegendLabel;
  wxPanel* plotPanel;

  // Page 4 "Messages".
  wxPanel* messagesPage;
  wxRichTextCtrl* messageText;

  // Page 5 "Prefs".
  wxPanel* prefsPage;
  wxPanel* testListPanel;
  wxStaticText* testListCaption;
  wxCheckListBox* testList;
  wxStaticText* testListHint;
  wxButton* upButton;
  wxButton* downButton;
  wxButton* sortButton;
  wxStaticLine* prefsLine;
  wxRadioBox* priorityRadio;
  wxPanel* threadsPanel;
  wxStaticText* threadsCaption;
  wxSpinCtrl* threadsSpin;
  wxPanel* digitsPanel;
  wxStaticText* digitsCaption;
  wxSpinCtrl* digitsSpin;
  wxPanel* autoSortPanel;
  wxStaticText* autoSortCaption;
  wxPanel* autoSortTablePanel;
  wxCheckBox* sortTableCheck;
  wxRadioButton* sortKsRadio;
  wxRadioButton* sortPvMinRadio;
  wxRadioButton* sortAdRadio;
  wxRadioButton* sortPvMaxRadio;
  wxRadioButton* sortBinoRadio;
  wxCheckBox* sortPearsonCheck;
  wxPanel* rowHeightPanel;
  wxStaticText* rowHeightLabel;
  wxSpinCtrl* rowHeightSpin;

  wxStatusBar* statusBar;

 private:
  void BuildParametersPage();
  void BuildTestPanels();
  void BuildRunPanel();
  void BuildResultPages();
  void BuildGraphPage();
  void BuildMessagesPage();
  void BuildPrefsPage();
  // Makes the 48 bindings (on) or removes them (off), in the same order.
  void LinkEvents(bool on);
};

// A font of the face when it is installed, else of fallbackFamily with no
// face name: a face that is missing would give an invalid font (the Linux
// desktop rarely has Verdana, Tahoma or Courier New).
wxFont FaceFont(int pointSize, wxFontFamily family, wxFontStyle style, wxFontWeight weight, const wxString& face,
                wxFontFamily fallbackFamily);

// Gives every window of the list, and every window below it, Verdana 8 pt
// (or the sans-serif family when Verdana is missing), keeping each window's
// style and weight; depth first, a parent before its children.
void ApplyVerdanaFont(const wxWindowList& windows);

// Over the list and every window below it, the check boxes (window name
// "check") at x position column within their parent: with extra 0 raises
// *width to the widest label; otherwise gives each one the minimum size
// *width + extra wide and its text height high.
void AlignTestCheckBoxes(const wxWindowList& windows, int column, int extra, int* width);
