#pragma once
// The presets file "presets.ini" as the preset handlers use it: the whole
// file is read when an IniFile is made, reads and writes work on that copy,
// and Commit writes the changed copy back at once through a temporary file,
// so a save or a deletion reaches the file whole or not at all. Every
// section and key name compares without regard to case (SameName), as the
// file's readers do: a file cannot hold two sections that differ only in
// case, so neither can the presets.
#include <wx/arrstr.h>
#include <wx/string.h>

#include <string>

#include "platform/Ini.h"

class IniFile {
 public:
  // Reads the file at path (a missing file reads as an empty one).
  explicit IniFile(const wxString& path);

  // False when the file exists but could not be read; Commit then refuses
  // to write, so the presets in it are not lost.
  bool Loaded() const { return loaded; }

  // The section used by ReadInt and WriteInt without a section argument.
  void SetSection(const wxString& name) { section = name; }

  // All section names, in file order.
  wxArrayString GetSectionNames() const;
  // Whether two section names are the same name: equal without regard to
  // case, letter by letter.
  static bool SameName(const wxString& a, const wxString& b);
  // A key that two names share exactly when they are the same name.
  static std::u32string NameKey(const wxString& name);

  // Whether a section of that name exists.
  bool HasSection(const wxString& name) const;
  // Deletes every section of that name and every section whose name begins
  // with that name followed by "/".
  void DeleteSectionTree(const wxString& name);

  // The key's value in the section; 0 when the section or the key is missing
  // or the value does not begin with a number.
  int ReadInt(const char* key) const { return ReadInt(section, key); }
  int ReadInt(const wxString& sectionName, const char* key) const;

  // Writes "%d" of value under the key. Returns true (the write is in memory
  // until Commit).
  bool WriteInt(const char* key, int value) { return WriteInt(section, key, value); }
  bool WriteInt(const wxString& sectionName, const char* key, int value);
  // Writes a text as it is, cut at its first line break (a line break would
  // start a new line of the file).
  bool WriteText(const wxString& sectionName, const char* key, const wxString& text);

  // Writes the changes to the file; true when they are written or there are
  // none, false when the file could not be read or written (it is then as it
  // was).
  bool Commit();

  wxString path;     // full path of the file
  wxString section;  // the current section, empty until set

 private:
  platform::IniDocument document;
  bool loaded;
};
