#pragma once
// INI files in the text format of the Windows private-profile functions:
// a line "[name]" starts a section, the lines after it hold "key=value".
// Section and key names compare without regard to case; the text inside
// the brackets is the name exactly as written. Keys and values are trimmed
// of blanks, tabs and carriage returns. Every other line (comments starting with ';', blank
// lines, lines without '=', lines before the first section) is kept as it
// is and written back unchanged. CRLF and LF line ends are both read; a
// document is written back with the line end of the file it was read from
// (LF for a new file), and with the byte-order mark it began with, if any.
// Texts are UTF-8 bytes.
//
// The whole file is read into an IniDocument, changed in memory and written
// back at once through a temporary file, so a change either reaches the
// file whole or not at all.
#include <string>
#include <utility>
#include <vector>

namespace platform {

using IniEntries = std::vector<std::pair<std::string, std::string>>;

class IniDocument {
 public:
  // Reads the file. A missing file gives an empty document and true; a file
  // that exists but cannot be read gives an empty document and false.
  bool Load(const std::string& path);
  // Writes the document to a temporary file in the folder of path, then
  // renames it over path. False when any step fails; path is then as it was.
  bool Save(const std::string& path) const;

  // The section names, in file order, as written inside their brackets.
  std::vector<std::string> SectionNames() const;
  // The key lines of the index-th section (file order) as key and value
  // pairs, in their order; empty past the last section.
  IniEntries SectionEntries(size_t index) const;
  // Whether a section of that name (without regard to case) exists.
  bool HasSection(const std::string& name) const;

  // The value of key in the first section called section; false when the
  // section or the key is missing.
  bool ReadString(const std::string& section, const std::string& key, std::string& value) const;
  // The leading decimal integer of the value (blanks, then an optional sign,
  // then digits; clamped to the range of int); 0 for a value without one;
  // defaultValue when the section or the key is missing.
  int ReadInt(const std::string& section, const std::string& key, int defaultValue) const;

  // Replaces the value of the key, or appends the key to the end of the
  // section, or appends the section with the key to the end of the document.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  // Replaces the whole content of the section by entries (appending the
  // section when it is missing).
  void WriteSection(const std::string& section, const IniEntries& entries);
  // Removes every section of that name with all its lines.
  void DeleteSection(const std::string& section);

  // Whether a write or a deletion has changed the document since Load.
  bool Modified() const { return modified; }

 private:
  struct Line {
    std::string text;  // the line as read or as it will be written
    bool isKey = false;
    std::string key, value;
  };
  struct Section {
    std::string name;
    std::vector<Line> lines;
  };
  Section* FindSection(const std::string& name);
  const Section* FindSection(const std::string& name) const;
  Section& SectionForWrite(const std::string& name);

  std::vector<Line> preamble;  // lines before the first section
  std::vector<Section> sections;
  std::string lineEnd = "\n";
  bool byteOrderMark = false;  // the file began with one
  bool modified = false;
};

// Compares two UTF-8 names without regard to case (letters as the C
// library's towlower folds them; bytes that are no valid UTF-8 as they are).
bool NamesEqualNoCase(const std::string& a, const std::string& b);
// The form in which NamesEqualNoCase compares a name, letter by letter:
// two names are equal without regard to case exactly when their folded
// forms are equal, so the folded form can key a set of names.
std::u32string FoldedName(const std::string& name);

}  // namespace platform
