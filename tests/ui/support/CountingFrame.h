#pragma once
// A main window for the tests: every handler only counts its calls and
// remembers the control that sent the event. Built with the size and style
// the program uses; not shown.
#include <wx/window.h>

#include "ui/MainFrame.h"

class CountingFrame : public wxQuorvaneFIN {
 public:
  // The handlers by their slot, 1 to 20.
  enum Handler {
    CLOSE = 1, TEST_CHECK, AMLS_LMIN_SPIN, AMLS_LMAX_SPIN, LIN_CPLX_K_SPIN, RW1D_LMIN_SPIN, PRESET_TEXT, LOAD_PRESET,
    SAVE_PRESET, DELETE_PRESET, ENABLE_ALL, AUTOHIDE, START, SELECT_FILE, FILE_SELECTED, FILE_TEXT, DELETE_FILE,
    TEST_LIST_CHECK, TEST_LIST_MOVE, TEST_LIST_SORT, HANDLER_END
  };

  CountingFrame()
      : wxQuorvaneFIN(nullptr, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(1032, 1243),
                      wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL) {}

  int calls[HANDLER_END] = {};
  wxObject* source[HANDLER_END] = {};

  int TotalCalls() const {
    int total = 0;
    for (int c : calls) total += c;
    return total;
  }
  void ResetCalls() {
    for (int i = 0; i < HANDLER_END; ++i) calls[i] = 0, source[i] = nullptr;
  }

  void OnClose(wxCloseEvent& e) override { Count(CLOSE, e); }
  void OnTestCheck(wxCommandEvent& e) override { Count(TEST_CHECK, e); }
  void OnAmlsLminSpin(wxSpinEvent& e) override { Count(AMLS_LMIN_SPIN, e); }
  void OnAmlsLmaxSpin(wxSpinEvent& e) override { Count(AMLS_LMAX_SPIN, e); }
  void OnLinCplxKSpin(wxSpinEvent& e) override { Count(LIN_CPLX_K_SPIN, e); }
  void OnRw1dLminSpin(wxSpinEvent& e) override { Count(RW1D_LMIN_SPIN, e); }
  void OnPresetText(wxCommandEvent& e) override { Count(PRESET_TEXT, e); }
  void OnLoadPreset(wxCommandEvent& e) override { Count(LOAD_PRESET, e); }
  void OnSavePreset(wxCommandEvent& e) override { Count(SAVE_PRESET, e); }
  void OnDeletePreset(wxCommandEvent& e) override { Count(DELETE_PRESET, e); }
  void OnEnableAll(wxCommandEvent& e) override { Count(ENABLE_ALL, e); }
  void OnAutohide(wxCommandEvent& e) override { Count(AUTOHIDE, e); }
  void OnStart(wxCommandEvent& e) override { Count(START, e); }
  void OnSelectFile(wxCommandEvent& e) override { Count(SELECT_FILE, e); }
  void OnFileSelected(wxCommandEvent& e) override { Count(FILE_SELECTED, e); }
  void OnFileText(wxCommandEvent& e) override { Count(FILE_TEXT, e); }
  void OnDeleteFile(wxCommandEvent& e) override { Count(DELETE_FILE, e); }
  void OnTestListCheck(wxCommandEvent& e) override { Count(TEST_LIST_CHECK, e); }
  void OnTestListMove(wxCommandEvent& e) override { Count(TEST_LIST_MOVE, e); }
  void OnTestListSort(wxCommandEvent& e) override { Count(TEST_LIST_SORT, e); }

 private:
  void Count(Handler h, wxEvent& e) {
    ++calls[h];
    source[h] = e.GetEventObject();
  }
};
