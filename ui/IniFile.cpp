#include "ui/IniFile.h"

namespace {

std::string Bytes(const wxString& text) { return std::string(text.utf8_str().data()); }

// A name from the file as text: UTF-8, or byte by byte as Latin-1 when the
// file was written in another encoding.
wxString Text(const std::string& bytes) {
  wxString text = wxString::FromUTF8(bytes.data(), bytes.size());
  if (text.empty() && !bytes.empty()) text = wxString(bytes.data(), wxConvISO8859_1, bytes.size());
  return text;
}

}  // namespace

IniFile::IniFile(const wxString& path) : path(path) { loaded = document.Load(Bytes(path)); }

wxArrayString IniFile::GetSectionNames() const {
  wxArrayString names;
  for (const std::string& name : document.SectionNames()) names.Add(Text(name));
  return names;
}

bool IniFile::SameName(const wxString& a, const wxString& b) { return platform::NamesEqualNoCase(Bytes(a), Bytes(b)); }

std::u32string IniFile::NameKey(const wxString& name) { return platform::FoldedName(Bytes(name)); }

bool IniFile::HasSection(const wxString& name) const {
  for (const std::string& existing : document.SectionNames())
    if (SameName(Text(existing), name)) return true;
  return false;
}

void IniFile::DeleteSectionTree(const wxString& name) {
  document.DeleteSection(Bytes(name));
  // The part before any "/" of a section name may be the name in another
  // case, which can be longer or shorter in bytes: each "/" is tried.
  for (const std::string& existing : document.SectionNames()) {
    const wxString text = Text(existing);
    for (size_t slash = text.find('/'); slash != wxString::npos; slash = text.find('/', slash + 1))
      if (SameName(text.Left(slash), name)) {
        document.DeleteSection(existing);
        break;
      }
  }
}

int IniFile::ReadInt(const wxString& sectionName, const char* key) const {
  return document.ReadInt(Bytes(sectionName), key, 0);
}

bool IniFile::WriteInt(const wxString& sectionName, const char* key, int value) {
  document.WriteString(Bytes(sectionName), key, std::to_string(value));
  return true;
}

bool IniFile::WriteText(const wxString& sectionName, const char* key, const wxString& text) {
  document.WriteString(Bytes(sectionName), key, Bytes(text.BeforeFirst('\n').BeforeFirst('\r')));
  return true;
}

bool IniFile::Commit() {
  if (!loaded) return false;
  if (!document.Modified()) return true;
  return document.Save(Bytes(path));
}
