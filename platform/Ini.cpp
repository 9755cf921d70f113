#include "platform/Ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <climits>
#include <cstdio>
#include <cwctype>

#include "platform/LastError.h"

namespace platform {

namespace {

const char* const BOM = "\xEF\xBB\xBF";

// The next code point of a UTF-8 text at i, advancing i. A byte that does
// not start a valid sequence is returned as itself plus 0x110000, so it
// compares equal only to the same byte.
uint32_t NextCodePoint(const std::string& s, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  int extra = 0;
  uint32_t cp = 0;
  if (b0 < 0x80) {
    ++i;
    return b0;
  } else if ((b0 & 0xE0) == 0xC0) {
    extra = 1;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3;
    cp = b0 & 0x07;
  } else {
    ++i;
    return 0x110000u + b0;
  }
  if (i + extra >= s.size()) {
    ++i;
    return 0x110000u + b0;
  }
  for (int k = 1; k <= extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return 0x110000u + b0;
    }
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  i += extra + 1;
  return cp;
}

uint32_t Fold(uint32_t cp) {
  if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
  if (cp >= 0x110000u) return cp;
  return static_cast<uint32_t>(std::towlower(static_cast<wint_t>(cp)));
}

// Blanks, tabs and carriage returns: a line end that is read as "\r\r\n"
// keeps one '\r' in the line, which a reload of the saved file would drop.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string Trim(const std::string& s) {
  size_t begin = 0, end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

// The folder part of a path, "." when it has none.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool NamesEqualNoCase(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (Fold(NextCodePoint(a, i)) != Fold(NextCodePoint(b, j))) return false;
  }
  return i == a.size() && j == b.size();
}

std::u32string FoldedName(const std::string& name) {
  std::u32string folded;
  for (size_t i = 0; i < name.size();) folded.push_back(static_cast<char32_t>(Fold(NextCodePoint(name, i))));
  return folded;
}

bool IniDocument::Load(const std::string& path) {
  preamble.clear();
  sections.clear();
  lineEnd = "\n";
  byteOrderMark = false;
  modified = false;

  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) {
    if (errno == ENOENT) return true;
    SetLastError(errno);
    return false;
  }
  std::string data;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) data.append(chunk, n);
  const bool failed = ferror(file) != 0;
  if (failed) SetLastError(errno);
  fclose(file);
  if (failed) return false;

  // A byte-order mark is set aside and written back by Save, so that what
  // follows it (a second mark, say) keeps its meaning after a reload.
  byteOrderMark = data.compare(0, 3, BOM) == 0;
  if (byteOrderMark) data.erase(0, 3);
  const size_t firstBreak = data.find('\n');
  if (firstBreak != std::string::npos && firstBreak > 0 && data[firstBreak - 1] == '\r') lineEnd = "\r\n";

  size_t pos = 0;
  while (pos < data.size()) {
    size_t end = data.find('\n', pos);
    if (end == std::string::npos) end = data.size();
    std::string text = data.substr(pos, end - pos);
    pos = end + 1;
    if (!text.empty() && text.back() == '\r') text.pop_back();

    const std::string trimmed = Trim(text);
    if (!trimmed.empty() && trimmed[0] == '[') {
      const size_t close = trimmed.rfind(']');
      if (close != std::string::npos && close > 0) {
        sections.push_back(Section{trimmed.substr(1, close - 1), {}});
        continue;
      }
    }
    Line line;
    line.text = text;
    const size_t eq = trimmed.find('=');
    if (!trimmed.empty() && trimmed[0] != ';' && eq != std::string::npos && eq > 0) {
      line.isKey = true;
      line.key = Trim(trimmed.substr(0, eq));
      line.value = Trim(trimmed.substr(eq + 1));
    }
    (sections.empty() ? preamble : sections.back().lines).push_back(std::move(line));
  }
  return true;
}

bool IniDocument::Save(const std::string& path) const {
  std::string data = byteOrderMark ? BOM : "";
  for (const Line& line : preamble) data += line.text + lineEnd;
  for (const Section& section : sections) {
    data += "[" + section.name + "]" + lineEnd;
    for (const Line& line : section.lines) data += line.text + lineEnd;
  }

  std::string tempPath = FolderOf(path) + "/.ini-XXXXXX";
  const int fd = mkstemp(&tempPath[0]);
  if (fd < 0) {
    SetLastError(errno);
    return false;
  }
  struct stat old;
  const mode_t mode = stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, data) && fsync(fd) == 0;
  if (!ok) SetLastError(errno);
  if (close(fd) != 0 && ok) {
    SetLastError(errno);
    ok = false;
  }
  if (ok && rename(tempPath.c_str(), path.c_str()) != 0) {
    SetLastError(errno);
    ok = false;
  }
  if (!ok) unlink(tempPath.c_str());
  return ok;
}

IniEntries IniDocument::SectionEntries(size_t index) const {
  IniEntries entries;
  if (index >= sections.size()) return entries;
  for (const Line& line : sections[index].lines)
    if (line.isKey) entries.emplace_back(line.key, line.value);
  return entries;
}

std::vector<std::string> IniDocument::SectionNames() const {
  std::vector<std::string> names;
  for (const Section& section : sections) names.push_back(section.name);
  return names;
}

bool IniDocument::HasSection(const std::string& name) const { return FindSection(name) != nullptr; }

IniDocument::Section* IniDocument::FindSection(const std::string& name) {
  for (Section& section : sections)
    if (NamesEqualNoCase(section.name, name)) return &section;
  return nullptr;
}

const IniDocument::Section* IniDocument::FindSection(const std::string& name) const {
  return const_cast<IniDocument*>(this)->FindSection(name);
}

bool IniDocument::ReadString(const std::string& section, const std::string& key, std::string& value) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return false;
  for (const Line& line : found->lines) {
    if (line.isKey && NamesEqualNoCase(line.key, key)) {
      value = line.value;
      return true;
    }
  }
  return false;
}

int IniDocument::ReadInt(const std::string& section, const std::string& key, int defaultValue) const {
  std::string value;
  if (!ReadString(section, key, value)) return defaultValue;
  size_t i = 0;
  bool negative = false;
  if (i < value.size() && (value[i] == '-' || value[i] == '+')) negative = value[i++] == '-';
  long long number = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    number = number * 10 + (value[i] - '0');
    if (number > static_cast<long long>(INT_MAX) + 1) number = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) number = -number;
  if (number > INT_MAX) number = INT_MAX;
  return static_cast<int>(number);
}

IniDocument::Section& IniDocument::SectionForWrite(const std::string& name) {
  modified = true;
  if (Section* found = FindSection(name)) return *found;
  sections.push_back(Section{name, {}});
  return sections.back();
}

void IniDocument::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  Section& target = SectionForWrite(section);
  Line line;
  line.text = key + "=" + value;
  line.isKey = true;
  line.key = key;
  line.value = value;
  for (Line& old : target.lines) {
    if (old.isKey && NamesEqualNoCase(old.key, key)) {
      old = line;
      return;
    }
  }
  // A new key goes right after the last key line (or first when there is
  // none), so blank lines and comments that close the section stay there.
  auto at = target.lines.end();
  while (at != target.lines.begin() && !(at - 1)->isKey) --at;
  target.lines.insert(at, line);
}

void IniDocument::WriteSection(const std::string& section, const IniEntries& entries) {
  Section& target = SectionForWrite(section);
  target.lines.clear();
  for (const auto& entry : entries) {
    Line line;
    line.text = entry.first + "=" + entry.second;
    line.isKey = true;
    line.key = entry.first;
    line.value = entry.second;
    target.lines.push_back(line);
  }
}

void IniDocument::DeleteSection(const std::string& section) {
  for (size_t i = sections.size(); i-- > 0;) {
    if (NamesEqualNoCase(sections[i].name, section)) {
      sections.erase(sections.begin() + static_cast<std::ptrdiff_t>(i));
      modified = true;
    }
  }
}

}  // namespace platform
