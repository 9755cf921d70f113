#pragma once
// The preferences file "prefs.bin": the state of the window that is not a
// test parameter, kept from one use to the next.
//
// Layout (little-endian, no padding): a CRC-32 of every byte after it, then
// the version bytes 2, 0, 0; x, y, width, height (4 bytes signed each); the
// scroll position of the Parameters page (2); the current preset name
// (string); "Autohide disabled tests" (1); "Seq. len." (4 signed) and its
// unit (1); "Seq. to test" (2); "Load" (1); the number n of input-file
// entries (1) and n strings; "P-value digits" (1); "Running priority" (1);
// "Concurrent threads" (1); 26 rows of the display-order list, each a
// testTable slot (1; 30 for no test) and its tick (1); the seven auto-sort
// flags ("Table", "KS", "AD", "Binomial", "pv min", "pv max", "Pearson",
// 1 each); "Tables row height" (1). A string is UTF-8 followed by one NUL.
// The smallest file is 99 bytes.
//
// The whole record is parsed and checked before anything is used: every
// string must end inside the file, every value must lie in the range its
// control allows, the record must end exactly at the end of the file.
#include <wx/gdicmn.h>
#include <wx/string.h>

#include <cstddef>
#include <vector>

constexpr int PREFS_ROWS = 26;
constexpr int PREFS_NO_SLOT = 30;     // the slot stored for a row without a test
constexpr int PREFS_MAX_FILES = 255;  // the count of input-file entries is one byte
constexpr int PREFS_MIN_LENGTH = 99;

// The size of the main window before the preferences are applied.
constexpr int WINDOW_WIDTH = 1030;
constexpr int WINDOW_HEIGHT = 830;

struct PrefsRow {
  int slot = PREFS_NO_SLOT;  // testTable slot 0 to 26, or 30 and above for none
  bool checked = false;
};

// The record as the window holds it. The defaults are those of a window
// that has just been built.
struct PrefsRecord {
  int x = 0, y = 0, width = WINDOW_WIDTH, height = WINDOW_HEIGHT;
  int scroll = 0;  // in scroll units of the Parameters page
  wxString presetName;
  bool autohide = false;
  int seqLen = 1;
  int seqLenUnit = 2;  // 0 b, 1 k, 2 M
  int seqCount = 50;
  bool load = true;
  std::vector<wxString> files;  // most recent first; at most PREFS_MAX_FILES are stored
  int digits = 4;
  int priority = 0;  // 0 "Normal", 1 "Idle"
  int threads = 1;
  PrefsRow rows[PREFS_ROWS];
  bool sortTable = false, sortKs = false, sortAd = false, sortBino = false, sortPvMin = false,
       sortPvMax = false, sortPearson = false;
  int rowHeight = 20;
};

// The whole file: checksum and record. A text that cannot be stored (one
// that holds a NUL character) is stored as the empty string; only the first
// PREFS_MAX_FILES input-file entries are stored.
std::vector<unsigned char> EncodePrefs(const PrefsRecord& record);

// Parses the whole file into record. False, with record untouched, when the
// checksum differs, the file ends before the record or goes on after it, a
// string does not end inside the file or is no UTF-8, or a value lies out
// of its range (see the layout above; a slot 27 to 29 or a slot below 30
// stored twice counts as out of range, and so do two sort radio buttons set
// at once).
bool DecodePrefs(const unsigned char* data, size_t length, PrefsRecord& record);

// Reads path into record. False when the file is missing (no message), can
// not be opened (no message), cannot be read whole ("Error while reading the
// preferences.") or does not decode ("The preferences file is corrupted.\n
// The default settings will be used."); record is then untouched.
bool ReadPrefsFile(const wxString& path, PrefsRecord& record);

// Writes the file through a temporary file that replaces path only when
// every byte was written; shows "Error while saving the preferences.\nThe
// old preferences file will be restored." and returns false otherwise.
bool WritePrefsFile(const wxString& path, const PrefsRecord& record);

// The window rectangle to use for a stored one: a size below
// PREFS_MIN_WIDTH x PREFS_MIN_HEIGHT becomes defaultSize, and a window whose
// title bar (the point 10 pixels below the middle of its top edge) lies on
// none of the displays is centred on the first one; the size is then
// bounded by the display the window lands on.
constexpr int PREFS_MIN_WIDTH = 400;
constexpr int PREFS_MIN_HEIGHT = 300;
wxRect CorrectWindowRect(const wxRect& stored, const std::vector<wxRect>& displays, const wxSize& defaultSize);

// The testTable slot whose display name equals text exactly (case counts),
// the first of slots 0 to 29; PREFS_NO_SLOT when none has it.
int TestSlotByName(const wxString& text);

// The full path of "prefs.bin" in dataDir; empty while dataDir is not set.
wxString PrefsPath();
