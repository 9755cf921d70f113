// The handlers that keep the Parameters and Prefs pages consistent: the
// display-order list of the tests, the visibility of the test panels, the
// texts beside three spin buttons and the list of input files.
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/spinbutt.h>

#include <utility>

#include "battery/RunState.h"
#include "ui/MainFrame.h"
#include "ui/TestPanels.h"

namespace {

// The panel and check box of a slot 0 to 26; null for the others.
const TestPanelSpec* PanelOfSlot(int slot) {
  for (const TestPanelSpec& test : TEST_PANELS)
    if (test.slot == slot) return &test;
  return nullptr;
}

// The entries of the list that IsTestHidden looks at.
constexpr unsigned LISTED_TESTS = 26;

// Exchanges the texts and the ticks of two entries of the list.
void SwapEntries(wxCheckListBox* list, unsigned a, unsigned b) {
  const wxString text = list->GetString(a);
  list->SetString(a, list->GetString(b));
  list->SetString(b, text);
  const bool tick = list->IsChecked(a);
  list->Check(a, list->IsChecked(b));
  list->Check(b, tick);
}

bool ShowFileDialog(wxWindow* parent, const wxString& message, const wxString& defaultDir, const wxString& wildcard,
                    wxString* path) {
  wxFileDialog dialog(parent, message, defaultDir, wxEmptyString, wildcard, wxFD_OPEN, wxDefaultPosition,
                      wxDefaultSize, "filedlg");
  if (dialog.ShowModal() == wxID_CANCEL) return false;
  *path = dialog.GetPath();
  return true;
}

FileDialogHandler fileDialogHandler = nullptr;

// The folder the dialog opens in: the text itself when it names a folder,
// else its folder part (the text is mostly a file or a pattern).
wxString DialogFolder(const wxString& text) {
  if (text.empty() || wxFileName::DirExists(text)) return text;
  return wxFileName(text).GetPath();
}

}  // namespace

FileDialogHandler SetFileDialogHandler(FileDialogHandler handler) {
  FileDialogHandler old = fileDialogHandler;
  fileDialogHandler = handler;
  return old;
}

bool IsTestHidden(int slot) {
  if (mainFrame == nullptr || slot < 0 || slot >= TEST_SLOTS) return true;
  const wxCheckListBox* list = mainFrame->testList;
  const wxString name = wxString::FromUTF8(testTable[slot].name);
  for (unsigned i = 0; i < list->GetCount() && i < LISTED_TESTS; ++i)
    if (list->GetString(i) == name) return list->IsChecked(i);
  return true;
}

void wxQuorvaneFIN::LayoutParameters() {
  testPanels->Layout();
  parametersScroll->FitInside();
  parametersScroll->Layout();
  parametersPage->Layout();
}

void wxQuorvaneFIN::OnTestListMove(wxCommandEvent& event) {
  const int s = testList->GetSelection();
  if (s == wxNOT_FOUND) return;
  const int t = event.GetEventObject() == downButton ? s + 1 : s - 1;
  if (t < 0 || t >= static_cast<int>(testList->GetCount())) return;
  SwapEntries(testList, static_cast<unsigned>(s), static_cast<unsigned>(t));
  testList->SetSelection(t);
}

// A Shell sort by passes with the gaps n/2, n/4, ... 1, each gap repeated
// until a pass exchanges nothing; names compared without regard to case.
void wxQuorvaneFIN::OnTestListSort(wxCommandEvent&) {
  const unsigned n = testList->GetCount();
  unsigned gap = n;
  while (gap > 1) {
    gap /= 2;
    bool exchanged;
    do {
      exchanged = false;
      for (unsigned i = 0; i + gap < n; ++i) {
        if (testList->GetString(i).CmpNoCase(testList->GetString(i + gap)) > 0) {
          SwapEntries(testList, i, i + gap);
          exchanged = true;
        }
      }
    } while (exchanged);
  }
}

void wxQuorvaneFIN::OnTestListCheck(wxCommandEvent& event) {
  const int i = event.GetInt();
  if (i >= 0 && i < static_cast<int>(testList->GetCount())) {
    if (const TestPanelSpec* test = PanelOfSlot(TestSlotByName(testList->GetString(i)))) {
      if (testList->IsChecked(i)) {
        (this->*test->panel)->Hide();
        (this->*test->check)->SetValue(false);
      } else {
        (this->*test->panel)->Show();
      }
    }
  }
  LayoutParameters();
}

void wxQuorvaneFIN::OnAutohide(wxCommandEvent& event) {
  notebook->Freeze();
  if (event.GetId() != AUTOHIDE_FROM_CONSTRUCTOR) {
    for (const TestPanelSpec& test : TEST_PANELS)
      if (!IsTestHidden(test.slot)) (this->*test.panel)->Show();
  }
  if (autohideToggle->GetValue()) {
    for (const TestPanelSpec& test : TEST_PANELS)
      if (!(this->*test.check)->GetValue()) (this->*test.panel)->Hide();
  }
  LayoutParameters();
  notebook->Thaw();
}

void wxQuorvaneFIN::OnTestCheck(wxCommandEvent& event) {
  if (!autohideToggle->GetValue()) return;
  // dynamic_cast tests the type before it casts; wxDynamicCast casts first.
  auto* check = dynamic_cast<wxCheckBox*>(event.GetEventObject());
  if (check == nullptr || check->GetParent() == nullptr) return;
  parametersPage->Freeze();
  check->GetParent()->Show(check->GetValue());
  LayoutParameters();
  parametersPage->Thaw();
}

void wxQuorvaneFIN::OnEnableAll(wxCommandEvent& event) {
  const bool tick = event.GetEventObject() != disableAllButton;
  for (const TestPanelSpec& test : TEST_PANELS) (this->*test.check)->SetValue(tick);
  OnAutohide(event);
}

void wxQuorvaneFIN::OnAmlsLminSpin(wxSpinEvent&) {
  const int lmin = amlsLminSpinButton->GetValue();
  amlsLminText->ChangeValue(wxString::Format("%u", 1u << (lmin % 32)));
  if (amlsLmaxSpinButton->GetValue() < lmin) {
    amlsLmaxSpinButton->SetValue(lmin);
    wxSpinEvent follow;
    OnAmlsLmaxSpin(follow);
  }
}

void wxQuorvaneFIN::OnAmlsLmaxSpin(wxSpinEvent&) {
  const int lmax = amlsLmaxSpinButton->GetValue();
  amlsLmaxText->ChangeValue(wxString::Format("%u", 1u << (lmax % 32)));
  if (lmax < amlsLminSpinButton->GetValue()) {
    amlsLminSpinButton->SetValue(lmax);
    wxSpinEvent follow;
    OnAmlsLminSpin(follow);
  }
}

void wxQuorvaneFIN::OnLinCplxKSpin(wxSpinEvent&) {
  liCoKText->ChangeValue(wxString::Format("%d", 2 * liCoKSpinButton->GetValue()));
}

void wxQuorvaneFIN::OnRw1dLminSpin(wxSpinEvent&) {}

// File names on Linux differ by case, so the list compares them with case.
void wxQuorvaneFIN::OnSelectFile(wxCommandEvent&) {
  const wxString text = fileCombo->GetValue();
  if (fileCombo->FindString(text, true) == wxNOT_FOUND) fileCombo->Insert(text, 0);

  wxString path;
  const FileDialogHandler dialog = fileDialogHandler != nullptr ? fileDialogHandler : ShowFileDialog;
  if (!dialog(this, "Select a (base) file to test or a DLL to use", DialogFolder(text),
              "Shared library (*.so)|*.so;*.so.*|Any file (*)|*", &path))
    return;

  // The chosen path on top, once; the empty entries go (the selection is
  // made last, so that removing entries cannot move it).
  for (unsigned i = fileCombo->GetCount(); i-- > 0;)
    if (fileCombo->GetString(i).empty() || fileCombo->GetString(i) == path) fileCombo->Delete(i);
  fileCombo->Insert(path, 0);
  fileCombo->SetSelection(0);
}

void wxQuorvaneFIN::OnFileSelected(wxCommandEvent&) {
  const wxString text = fileCombo->GetValue();
  const int old = fileCombo->FindString(text, true);
  if (old != wxNOT_FOUND) fileCombo->Delete(static_cast<unsigned>(old));
  fileCombo->Insert(text, 0);
  fileCombo->SetSelection(0);
}

void wxQuorvaneFIN::OnFileText(wxCommandEvent& event) { event.Skip(); }

void wxQuorvaneFIN::OnDeleteFile(wxCommandEvent&) {
  const int found = fileCombo->FindString(fileCombo->GetValue(), true);
  if (found == wxNOT_FOUND) return;
  fileCombo->Delete(static_cast<unsigned>(found));
  if (fileCombo->GetCount() > 0) fileCombo->SetSelection(found > 0 ? found - 1 : 0);
}
