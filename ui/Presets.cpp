// The preset handlers of the main window: load, save and delete the named
// sets of test settings in "presets.ini", and keep the list of preset names
// in the presets box.
//
// A preset P is the section [P] with one key per test (1 when its check box
// is ticked) and a section [P/T] per test T with parameters, holding one key
// per control. The tests and their controls come from TEST_PANELS, the one
// description of the Parameters page.
//
// Names that differ only in case are one preset, in the list, in loading,
// saving and deleting and in the sections alike (IniFile::SameName): the
// file's readers cannot tell them apart. A save under such a name replaces
// the whole preset, which takes the name as typed.
#include <wx/event.h>
#include <wx/filefn.h>
#include <wx/msgdlg.h>
#include <wx/spinbutt.h>

#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "battery/Messages.h"
#include "battery/RunState.h"
#include "ui/IniFile.h"
#include "ui/MainFrame.h"
#include "ui/Presets.h"
#include "ui/TestPanels.h"

namespace {

const char* const CAPTION = "Quorvane_MT";

// The keys of [P/T] in their order in the file. Two tests store their keys
// in an order of their own; the others in the order of their panels.
struct KeyOrder {
  const char* test;
  std::vector<const char*> keys;
};
const KeyOrder KEY_ORDERS[] = {
    {"AQL", {"smin", "smax", "sstp", "mmin", "mmax", "mstp"}},
    {"LiCo", {"len", "k", "optlen"}},
};

std::vector<const ParamSpec*> PresetParams(const TestPanelSpec& test) {
  std::vector<const ParamSpec*> params;
  for (const KeyOrder& order : KEY_ORDERS) {
    if (strcmp(order.test, test.key) != 0) continue;
    for (const char* key : order.keys)
      for (size_t i = 0; i < test.paramCount; ++i)
        if (test.params[i].key != nullptr && strcmp(test.params[i].key, key) == 0) params.push_back(&test.params[i]);
    return params;
  }
  for (size_t i = 0; i < test.paramCount; ++i)
    if (test.params[i].key != nullptr) params.push_back(&test.params[i]);
  return params;
}

int Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

// Writes a control's value under its key in the current section: the value
// of a spin control or spin button, the selection of a choice, 1 or 0 for a
// check box, the text of a text box as typed.
void SaveParam(FIN& frame, IniFile& ini, const ParamSpec& p) {
  switch (p.kind) {
    case ParamKind::Spin: ini.WriteInt(p.key, (frame.*p.spin)->GetValue()); break;
    case ParamKind::SpinButton: ini.WriteInt(p.key, (frame.*p.button)->GetValue()); break;
    case ParamKind::Unit:
    case ParamKind::Choice: ini.WriteInt(p.key, (frame.*p.choice)->GetSelection()); break;
    case ParamKind::Check: ini.WriteInt(p.key, (frame.*p.check)->GetValue() ? 1 : 0); break;
    case ParamKind::Text: ini.WriteText(ini.section, p.key, (frame.*p.textBox)->GetValue()); break;
  }
}

// Puts the value of the key into its control without the control's change
// event; the text box gets "%d" of the number its text begins with. A value
// that a hand-edited file puts outside the control's range is brought into
// it.
void LoadParam(FIN& frame, const IniFile& ini, const ParamSpec& p) {
  const int value = ini.ReadInt(p.key);
  switch (p.kind) {
    case ParamKind::Spin: {
      wxSpinCtrl* spin = frame.*p.spin;
      spin->SetValue(Clamp(value, spin->GetMin(), spin->GetMax()));
      break;
    }
    case ParamKind::SpinButton: {
      wxSpinButton* button = frame.*p.button;
      button->SetValue(Clamp(value, button->GetMin(), button->GetMax()));
      break;
    }
    case ParamKind::Unit:
    case ParamKind::Choice: {
      wxChoice* choice = frame.*p.choice;
      choice->SetSelection(Clamp(value, 0, static_cast<int>(choice->GetCount()) - 1));
      break;
    }
    case ParamKind::Check: (frame.*p.check)->SetValue(value != 0); break;
    case ParamKind::Text: (frame.*p.textBox)->ChangeValue(wxString::Format("%d", value)); break;
  }
}

// A name that would collide with the section tree: empty, or holding the
// separator of the test sections, the end of a section name or a line break.
bool IsPresetNameValid(const wxString& name) {
  return !name.empty() && name.find_first_of("/]\r\n") == wxString::npos;
}

void Warn(const wxString& text) { ShowMessageBox(text, CAPTION, wxOK | wxICON_WARNING); }

void RefusePresetName() {
  Warn("A preset name must not be empty and must not hold \"/\", \"]\" or a line break.");
}

}  // namespace

wxString PresetsPath() { return dataDir != nullptr ? wxString(dataDir) + "/presets.ini" : wxString(); }

namespace {

int FindName(const wxArrayString& names, const wxString& name) {
  for (size_t i = 0; i < names.size(); ++i)
    if (IniFile::SameName(names[i], name)) return static_cast<int>(i);
  return wxNOT_FOUND;
}

}  // namespace

wxArrayString PresetNames(const IniFile& ini) {
  wxArrayString names;
  std::unordered_set<std::u32string> seen;
  for (const wxString& name : ini.GetSectionNames())
    if (!name.Contains("/") && seen.insert(IniFile::NameKey(name)).second) names.Add(name);
  return names;
}

int FindPreset(const wxItemContainerImmutable& box, const wxString& name) { return FindName(box.GetStrings(), name); }

void wxQuorvaneFIN::ListPresets() {
  // The box is filled in one call, not one name at a time.
  wxArrayString names;
  if (wxFileExists(PresetsPath())) names = PresetNames(IniFile(PresetsPath()));
  if (FindName(names, SAVE_ON_EXIT) == wxNOT_FOUND) names.Add(SAVE_ON_EXIT);
  presetCombo->Append(names);

  presetCombo->Bind(wxEVT_COMBOBOX_DROPDOWN, [this](wxCommandEvent& event) {
    presetListDown = true;
    presetTextAtDropDown = presetCombo->GetValue();
    event.Skip();
  });
  presetCombo->Bind(wxEVT_COMBOBOX_CLOSEUP, [this](wxCommandEvent& event) {
    presetListDown = false;
    event.Skip();
  });
}

void wxQuorvaneFIN::OnPresetText(wxCommandEvent& event) {
  // Closing the list without choosing another name repeats the text it had.
  if (presetListDown && presetCombo->GetValue() == presetTextAtDropDown) return;
  OnLoadPreset(event);
}

void wxQuorvaneFIN::OnLoadPreset(wxCommandEvent& event) {
  const bool fromControl = event.GetEventObject() != nullptr;
  if (fromControl && !loadToggle->GetValue()) return;
  const wxString name = presetCombo->GetValue();
  // Names that cannot be saved are not looked up either: "Fast/AMLS" would
  // read the parameter section of Fast as a preset.
  if (!IsPresetNameValid(name)) return;
  IniFile ini(PresetsPath());
  if (!ini.HasSection(name)) return;

  for (const TestPanelSpec& test : TEST_PANELS) {
    (this->*test.check)->SetValue(ini.ReadInt(name, test.key) != 0);
    ini.SetSection(name + "/" + test.key);
    for (const ParamSpec* p : PresetParams(test)) LoadParam(*this, ini, *p);
  }

  // What depends on the loaded values follows them. The constructor, which
  // loads with an event without source, does this itself once the whole
  // window is set.
  if (fromControl) {
    wxSpinEvent spin;
    OnAmlsLminSpin(spin);
    OnAmlsLmaxSpin(spin);
    OnLinCplxKSpin(spin);
    wxCommandEvent refresh;
    OnAutohide(refresh);
  }
}

void wxQuorvaneFIN::OnSavePreset(wxCommandEvent&) {
  const wxString name = presetCombo->GetValue();
  if (!IsPresetNameValid(name)) {
    RefusePresetName();
    return;
  }
  // The whole new file is built in memory and then replaces the old one,
  // so a failure leaves the old preset in place.
  IniFile ini(PresetsPath());
  if (ini.Loaded()) {
    ini.DeleteSectionTree(name);
    for (const TestPanelSpec& test : TEST_PANELS) ini.WriteInt(name, test.key, (this->*test.check)->GetValue() ? 1 : 0);
    for (const TestPanelSpec& test : TEST_PANELS) {
      ini.SetSection(name + "/" + test.key);
      for (const ParamSpec* p : PresetParams(test)) SaveParam(*this, ini, *p);
    }
  }
  if (!ini.Loaded() || !ini.Commit()) {
    Warn("Error while saving the preset \"" + name + "\".\nThe presets file was not changed.");
    return;
  }

  // On GTK, emptying and refilling the box sends text events; they must not
  // load a preset in the middle of this.
  wxEventBlocker quiet(presetCombo, wxEVT_TEXT);
  presetCombo->Set(PresetNames(ini));  // in one call, as in ListPresets
  const int found = FindPreset(*presetCombo, name);
  if (found != wxNOT_FOUND) presetCombo->SetSelection(found);
}

void wxQuorvaneFIN::OnDeletePreset(wxCommandEvent&) {
  const wxString name = presetCombo->GetValue();
  if (!IsPresetNameValid(name)) {
    RefusePresetName();
    return;
  }
  IniFile ini(PresetsPath());
  if (ini.Loaded()) ini.DeleteSectionTree(name);
  if (!ini.Loaded() || !ini.Commit()) {
    Warn("Error while deleting the preset \"" + name + "\".\nThe presets file was not changed.");
    return;
  }

  // The item of the deleted preset goes, whichever case the name was typed
  // in, and so does the text: the box names no preset that is gone.
  wxEventBlocker quiet(presetCombo, wxEVT_TEXT);
  const int item = FindPreset(*presetCombo, name);
  if (item != wxNOT_FOUND) presetCombo->Delete(item);
  presetCombo->ChangeValue(wxEmptyString);
}
