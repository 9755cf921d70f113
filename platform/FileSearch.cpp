#include "platform/FileSearch.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/LastError.h"

namespace platform {

namespace {

unsigned char LowerAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

// Steps over one character: one byte, or a whole UTF-8 sequence (its lead
// byte and the continuation bytes 10xxxxxx after it).
const char* NextCharacter(const char* s) {
  ++s;
  while ((static_cast<unsigned char>(*s) & 0xC0) == 0x80) ++s;
  return s;
}

}  // namespace

bool MatchesWildcard(const char* pattern, const char* name) {
  // Greedy match with one backtrack point: the last '*' seen and the name
  // position it has absorbed up to. Linear in practice, never exponential.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = ++pattern;
      resume = name;
    } else if (*pattern == '?') {
      ++pattern;
      name = NextCharacter(name);
    } else if (*pattern != '\0' &&
               LowerAscii(static_cast<unsigned char>(*pattern)) == LowerAscii(static_cast<unsigned char>(*name))) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star;
      resume = NextCharacter(resume);
      name = resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

bool FindFiles(const std::string& path, std::vector<FoundFile>& found) {
  found.clear();
  const size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
  if (pattern.empty()) {
    SetLastError(ENOENT);
    return false;
  }
  DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
  if (dir == nullptr) {
    SetLastError(errno);
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (entry == nullptr) break;
    if (!MatchesWildcard(pattern.c_str(), entry->d_name)) continue;
    FoundFile file{entry->d_name, FileKind::Other, 0};
    struct stat info {};
    if (stat((directory + entry->d_name).c_str(), &info) == 0) {
      if (S_ISREG(info.st_mode)) {
        file.kind = FileKind::Regular;
        file.size = static_cast<uint64_t>(info.st_size);
      } else if (S_ISDIR(info.st_mode)) {
        file.kind = FileKind::Directory;
      }
    }
    found.push_back(file);
  }
  const int readError = errno;
  closedir(dir);
  if (readError != 0) {
    found.clear();
    SetLastError(readError);
    return false;
  }
  return true;
}

}  // namespace platform
