#pragma once
// The presets file "presets.ini" in dataDir and the list of preset names.
#include <wx/arrstr.h>
#include <wx/ctrlsub.h>
#include <wx/string.h>

class IniFile;

// The preset that the close handler saves when it is the selected one.
constexpr const char* SAVE_ON_EXIT = "Save on exit";

// The full path of "presets.ini" in dataDir; empty while dataDir is not set.
wxString PresetsPath();

// The names of the sections that hold no "/", in file order: the presets.
// Of names that are the same name in another case (a hand-made file) only
// the first is listed; it is the one the file's readers find.
wxArrayString PresetNames(const IniFile& ini);

// The first item of the box that names the preset name (IniFile::SameName),
// or wxNOT_FOUND.
int FindPreset(const wxItemContainerImmutable& box, const wxString& name);
