#include "ui/Prefs.h"

#include <wx/display.h>
#include <wx/event.h>
#include <wx/file.h>
#include <wx/filefn.h>
#include <wx/log.h>
#include <wx/msgdlg.h>

#include <algorithm>
#include <cstdint>

#include "battery/Messages.h"
#include "battery/RunState.h"
#include "battery/Crc32.h"
#include "ui/IniFile.h"
#include "ui/MainFrame.h"
#include "ui/Presets.h"

namespace {

// The version bytes of the file: the program's version.
constexpr unsigned char VERSION[3] = {VERSION_MAJOR, VERSION_MINOR, VERSION_RELEASE};

// A file larger than this cannot be a record of ours (26 rows and 256
// strings of a few kilobytes each at the most).
constexpr size_t MAX_FILE_LENGTH = 16 * 1024 * 1024;

const char* const CAPTION = "Quorvane_MT";

class Writer {
 public:
  std::vector<unsigned char> bytes;
  void Unsigned(uint32_t value, int width) {
    for (int i = 0; i < width; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
  }
  void Signed(int value) { Unsigned(static_cast<uint32_t>(value), 4); }
  void Flag(bool value) { Unsigned(value ? 1 : 0, 1); }
  void String(const wxString& text) {
    const wxScopedCharBuffer utf8 = text.utf8_str();
    const std::string bytesOfText(utf8.data(), utf8.length());
    if (bytesOfText.find('\0') == std::string::npos) bytes.insert(bytes.end(), bytesOfText.begin(), bytesOfText.end());
    bytes.push_back(0);
  }
};

// Reads fields in order; any read past the end makes the whole read fail.
class Reader {
 public:
  Reader(const unsigned char* data, size_t length) : data(data), length(length) {}
  bool ok = true;
  uint32_t Unsigned(int width) {
    if (!ok || length - pos < static_cast<size_t>(width)) {
      ok = false;
      return 0;
    }
    uint32_t value = 0;
    for (int i = 0; i < width; ++i) value |= static_cast<uint32_t>(data[pos + i]) << (8 * i);
    pos += width;
    return value;
  }
  int Signed() { return static_cast<int32_t>(Unsigned(4)); }
  // A value of width bytes that must lie in [low, high].
  int Ranged(int width, int low, int high) {
    const uint32_t value = Unsigned(width);
    if (value < static_cast<uint32_t>(low) || value > static_cast<uint32_t>(high)) ok = false;
    return static_cast<int>(value);
  }
  bool Flag() { return Ranged(1, 0, 1) != 0; }
  wxString String() {
    if (!ok) return wxString();
    size_t end = pos;
    while (end < length && data[end] != 0) ++end;
    if (end == length) {
      ok = false;
      return wxString();
    }
    const char* text = reinterpret_cast<const char*>(data + pos);
    const size_t textLength = end - pos;
    pos = end + 1;
    wxString value = wxString::FromUTF8(text, textLength);
    if (value.empty() && textLength > 0) ok = false;
    return value;
  }
  bool AtEnd() const { return pos == length; }

 private:
  const unsigned char* data;
  size_t length;
  size_t pos = 0;
};

}  // namespace

std::vector<unsigned char> EncodePrefs(const PrefsRecord& r) {
  Writer w;
  w.Unsigned(0, 4);  // the checksum, filled in at the end
  for (unsigned char v : VERSION) w.Unsigned(v, 1);
  w.Signed(r.x);
  w.Signed(r.y);
  w.Signed(r.width);
  w.Signed(r.height);
  w.Unsigned(static_cast<uint32_t>(r.scroll), 2);
  w.String(r.presetName);
  w.Flag(r.autohide);
  w.Signed(r.seqLen);
  w.Unsigned(static_cast<uint32_t>(r.seqLenUnit), 1);
  w.Unsigned(static_cast<uint32_t>(r.seqCount), 2);
  w.Flag(r.load);
  const size_t files = r.files.size() < PREFS_MAX_FILES ? r.files.size() : PREFS_MAX_FILES;
  w.Unsigned(static_cast<uint32_t>(files), 1);
  for (size_t i = 0; i < files; ++i) w.String(r.files[i]);
  w.Unsigned(static_cast<uint32_t>(r.digits), 1);
  w.Unsigned(static_cast<uint32_t>(r.priority), 1);
  w.Unsigned(static_cast<uint32_t>(r.threads), 1);
  for (const PrefsRow& row : r.rows) {
    w.Unsigned(static_cast<uint32_t>(row.slot), 1);
    w.Flag(row.checked);
  }
  for (bool flag : {r.sortTable, r.sortKs, r.sortAd, r.sortBino, r.sortPvMin, r.sortPvMax, r.sortPearson}) w.Flag(flag);
  w.Unsigned(static_cast<uint32_t>(r.rowHeight), 1);

  const uint32_t crc = Crc32(w.bytes.data() + 4, static_cast<int>(w.bytes.size() - 4));
  for (int i = 0; i < 4; ++i) w.bytes[i] = static_cast<unsigned char>(crc >> (8 * i));
  return w.bytes;
}

bool DecodePrefs(const unsigned char* data, size_t length, PrefsRecord& record) {
  if (length < 4 || length > MAX_FILE_LENGTH) return false;
  Reader in(data, length);
  if (in.Unsigned(4) != Crc32(data + 4, static_cast<int>(length - 4))) return false;

  PrefsRecord r;
  in.Unsigned(3);  // the version bytes
  r.x = in.Signed();
  r.y = in.Signed();
  r.width = in.Signed();
  r.height = in.Signed();
  r.scroll = in.Ranged(2, 0, 0xFFFF);
  r.presetName = in.String();
  r.autohide = in.Flag();
  r.seqLen = in.Signed();
  if (r.seqLen < 0 || r.seqLen > 999999999) in.ok = false;
  r.seqLenUnit = in.Ranged(1, 0, 2);
  r.seqCount = in.Ranged(2, 1, 9999);
  r.load = in.Flag();
  const int files = in.Ranged(1, 0, PREFS_MAX_FILES);
  for (int i = 0; i < files && in.ok; ++i) r.files.push_back(in.String());
  r.digits = in.Ranged(1, 3, 7);
  r.priority = in.Ranged(1, 0, 1);
  r.threads = in.Ranged(1, 1, 30);
  bool slotSeen[PREFS_NO_SLOT] = {};
  for (PrefsRow& row : r.rows) {
    row.slot = in.Ranged(1, 0, 255);
    row.checked = in.Flag();
    if (row.slot < PREFS_NO_SLOT) {
      // Slots 27 to 29 have no panel in the window; a slot twice would
      // leave another test without its row.
      if (row.slot > 26 || slotSeen[row.slot]) in.ok = false;
      else slotSeen[row.slot] = true;
    }
  }
  r.sortTable = in.Flag();
  r.sortKs = in.Flag();
  r.sortAd = in.Flag();
  r.sortBino = in.Flag();
  r.sortPvMin = in.Flag();
  r.sortPvMax = in.Flag();
  r.sortPearson = in.Flag();
  if (r.sortKs + r.sortAd + r.sortBino + r.sortPvMin + r.sortPvMax > 1) in.ok = false;
  r.rowHeight = in.Ranged(1, 2, 99);

  if (!in.ok || !in.AtEnd()) return false;
  record = r;
  return true;
}

bool ReadPrefsFile(const wxString& path, PrefsRecord& record) {
  if (path.empty() || !wxFileExists(path)) return false;
  wxLogNull quiet;  // failures are reported by our own boxes
  wxFile file;
  if (!file.Open(path, wxFile::read)) return false;
  const wxFileOffset length = file.Length();
  const auto Corrupted = [] {
    ShowMessageBox("The preferences file is corrupted.\nThe default settings will be used.", CAPTION,
                   wxOK | wxICON_WARNING);
    return false;
  };
  if (length > static_cast<wxFileOffset>(MAX_FILE_LENGTH)) return Corrupted();
  std::vector<unsigned char> data(length > 0 ? static_cast<size_t>(length) : 0);
  if (length < 0 || (length > 0 && file.Read(data.data(), data.size()) != static_cast<ssize_t>(length))) {
    ShowMessageBox("Error while reading the preferences.", CAPTION, wxOK | wxICON_WARNING);
    return false;
  }
  if (!DecodePrefs(data.data(), data.size(), record)) return Corrupted();
  return true;
}

bool WritePrefsFile(const wxString& path, const PrefsRecord& record) {
  const std::vector<unsigned char> bytes = EncodePrefs(record);
  wxLogNull quiet;
  wxTempFile file;
  if (!file.Open(path) || !file.Write(bytes.data(), bytes.size()) || !file.Commit()) {
    file.Discard();
    ShowMessageBox("Error while saving the preferences.\nThe old preferences file will be restored.", CAPTION,
                   wxOK | wxICON_WARNING);
    return false;
  }
  return true;
}

wxRect CorrectWindowRect(const wxRect& stored, const std::vector<wxRect>& displays, const wxSize& defaultSize) {
  wxRect rect = stored;
  if (rect.width < PREFS_MIN_WIDTH || rect.height < PREFS_MIN_HEIGHT) rect.SetSize(defaultSize);
  if (displays.empty()) return rect;
  // In 64 bits: the stored values may be anything a 32-bit field holds.
  const long long titleX = static_cast<long long>(rect.x) + rect.width / 2;
  const long long titleY = static_cast<long long>(rect.y) + 10;
  // No window is larger than the display it lands on: the toolkit cannot
  // show one wider or taller than 32767 pixels, and an oversized window
  // would be written back at exit and come back at every start.
  const auto fit = [&rect](const wxRect& d) {
    rect.width = std::min(rect.width, d.width);
    rect.height = std::min(rect.height, d.height);
  };
  for (const wxRect& d : displays)
    if (titleX >= d.x && titleX < static_cast<long long>(d.x) + d.width && titleY >= d.y &&
        titleY < static_cast<long long>(d.y) + d.height) {
      fit(d);
      return rect;
    }
  const wxRect& first = displays.front();
  fit(first);
  rect.x = first.x + (first.width - rect.width) / 2;
  rect.y = first.y + (first.height - rect.height) / 2;
  return rect;
}

int TestSlotByName(const wxString& text) {
  for (int slot = 0; slot < TEST_SLOTS; ++slot)
    if (text == testTable[slot].name) return slot;
  return PREFS_NO_SLOT;
}

wxString PrefsPath() { return dataDir != nullptr ? wxString(dataDir) + "/prefs.bin" : wxString(); }

PrefsRecord wxQuorvaneFIN::CollectPrefs() {
  PrefsRecord r;
  const wxRect rect = GetRect();
  r.x = rect.x;
  r.y = rect.y;
  r.width = rect.width;
  r.height = rect.height;
  r.scroll = pendingScroll >= 0 ? pendingScroll : parametersScroll->GetViewStart().y;
  r.presetName = presetCombo->GetValue();
  r.autohide = autohideToggle->GetValue();
  r.seqLen = seqLenSpin->GetValue();
  r.seqLenUnit = seqLenUnit->GetSelection();
  r.seqCount = seqCountSpin->GetValue();
  r.load = loadToggle->GetValue();
  for (unsigned i = 0; i < fileCombo->GetCount(); ++i) r.files.push_back(fileCombo->GetString(i));
  r.digits = digitsSpin->GetValue();
  r.priority = priorityRadio->GetSelection();
  r.threads = threadsSpin->GetValue();
  for (unsigned row = 0; row < PREFS_ROWS && row < testList->GetCount(); ++row)
    r.rows[row] = PrefsRow{TestSlotByName(testList->GetString(row)), testList->IsChecked(row)};
  r.sortTable = sortTableCheck->GetValue();
  r.sortKs = sortKsRadio->GetValue();
  r.sortAd = sortAdRadio->GetValue();
  r.sortBino = sortBinoRadio->GetValue();
  r.sortPvMin = sortPvMinRadio->GetValue();
  r.sortPvMax = sortPvMaxRadio->GetValue();
  r.sortPearson = sortPearsonCheck->GetValue();
  r.rowHeight = rowHeightSpin->GetValue();
  return r;
}

void wxQuorvaneFIN::ApplyPrefs(const PrefsRecord& r) {
  std::vector<wxRect> displays;
  for (unsigned i = 0; i < wxDisplay::GetCount(); ++i) displays.push_back(wxDisplay(i).GetClientArea());
  SetSize(CorrectWindowRect(wxRect(r.x, r.y, r.width, r.height), displays, wxSize(WINDOW_WIDTH, WINDOW_HEIGHT)));
  pendingScroll = r.scroll;
  ApplyPendingScroll();

  const int preset = FindPreset(*presetCombo, r.presetName);  // without regard to case
  if (preset != wxNOT_FOUND) {
    {
      wxEventBlocker quiet(presetCombo, wxEVT_TEXT);
      presetCombo->SetSelection(preset);
    }
    wxCommandEvent load;  // no source object: loads whatever "Load" shows
    OnLoadPreset(load);
  }

  autohideToggle->SetValue(r.autohide);
  seqLenSpin->SetValue(r.seqLen);
  seqLenUnit->SetSelection(r.seqLenUnit);
  seqCountSpin->SetValue(r.seqCount);
  loadToggle->SetValue(r.load);

  {
    wxEventBlocker quiet(fileCombo, wxEVT_TEXT);
    quiet.Block(wxEVT_COMBOBOX);
    for (size_t i = 0; i < r.files.size(); ++i) fileCombo->Insert(r.files[i], static_cast<unsigned>(i));
    if (fileCombo->GetCount() > 0) fileCombo->SetSelection(0);
  }

  digitsSpin->SetValue(r.digits);
  priorityRadio->SetSelection(r.priority);
  threadsSpin->SetValue(r.threads);

  testList->Clear();
  for (const PrefsRow& row : r.rows) {
    if (row.slot >= PREFS_NO_SLOT) continue;
    const int index = testList->Append(testTable[row.slot].name);
    testList->Check(index, row.checked || row.slot == SLOT_AQL);
    wxCommandEvent tick(wxEVT_CHECKLISTBOX);
    tick.SetInt(index);
    OnTestListCheck(tick);
  }

  sortTableCheck->SetValue(r.sortTable);
  // A radio button can only be selected; selecting one clears the others.
  const std::pair<wxRadioButton*, bool> radios[] = {{sortKsRadio, r.sortKs},     {sortAdRadio, r.sortAd},
                                                    {sortBinoRadio, r.sortBino}, {sortPvMinRadio, r.sortPvMin},
                                                    {sortPvMaxRadio, r.sortPvMax}};
  for (const auto& radio : radios)
    if (radio.second) radio.first->SetValue(true);
  sortPearsonCheck->SetValue(r.sortPearson);
  rowHeightSpin->SetValue(r.rowHeight);
}

void wxQuorvaneFIN::ApplyPendingScroll() {
  parametersScroll->Unbind(wxEVT_SIZE, &wxQuorvaneFIN::OnParametersSize, this);
  if (pendingScroll < 0) return;
  if (!parametersScroll->IsShownOnScreen() || parametersScroll->GetClientSize().y <= 0) {
    parametersScroll->Bind(wxEVT_SIZE, &wxQuorvaneFIN::OnParametersSize, this);
    return;
  }
  parametersScroll->Scroll(0, pendingScroll);
  pendingScroll = -1;
}

void wxQuorvaneFIN::OnParametersSize(wxSizeEvent& event) {
  event.Skip();
  // After the page has taken its new size and its scroll range.
  CallAfter(&wxQuorvaneFIN::ApplyPendingScroll);
}

void wxQuorvaneFIN::ReadPrefs() {
  PrefsRecord record;
  if (ReadPrefsFile(PrefsPath(), record)) ApplyPrefs(record);
}

void wxQuorvaneFIN::OnClose(wxCloseEvent& event) {
  // The engine dispatches window events while it waits for its tests; a
  // close then must not take the window and dataDir from under the run. The
  // request is kept, and the Start handler closes the window once the run
  // is over (runState alone would miss the preparation and the end of a
  // run, where it is Idle).
  if (startActive || runState != RunState::Idle) {
    if (!closePending) SetTitle(GetTitle() + " - closing when the run ends");
    closePending = true;
    if (event.CanVeto()) event.Veto();
    return;
  }
  // A second close request before the toolkit has destroyed the window (a
  // second ESC) finds dataDir released and the files written: it only lets
  // the close go on.
  if (dataDir == nullptr) {
    event.Skip();
    return;
  }
  DisconnectSortHandlers();
  // The selected item of the list, not the selected part of the text; in
  // any case, as every preset name.
  const int selected = presetCombo->GetSelection();
  if (selected != wxNOT_FOUND && IniFile::SameName(presetCombo->GetString(selected), SAVE_ON_EXIT)) {
    wxCommandEvent save;
    OnSavePreset(save);
  }
  WritePrefsFile(PrefsPath(), CollectPrefs());
  delete[] dataDir;
  dataDir = nullptr;
  event.Skip();
}
