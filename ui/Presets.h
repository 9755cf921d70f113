#pragma once
// The presets file "presets.ini" in dataDir and the list of preset names.
#include <wx/arrstr.h>
#include <wx/string.h>

class IniFile;

// The preset that the close handler saves when it is the selected one.
constexpr const char* SAVE_ON_EXIT = "Save on exit";

// The full path of "presets.ini" in dataDir; empty while dataDir is not set.
wxString PresetsPath();

// The names of the sections that hold no "/", in file order: the presets.
wxArrayString PresetNames(const IniFile& ini);
