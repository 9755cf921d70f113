#pragma once
// The wildcard file search: the entries of one directory whose names match
// the last component of a path.
//
// The directory part is everything up to the last '/' (the current
// directory when the path holds none); it is taken literally. The last
// component matches with these rules: '*' any run of characters, dots
// included, also none; '?' exactly one character (one UTF-8 sequence);
// every other character itself, ASCII letters without regard to case.
// There are no brackets, ranges or escapes, so "[a].bin" matches only
// itself (and "[A].BIN").
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class FileKind { Regular, Directory, Other };

struct FoundFile {
  std::string name;  // the bare name, in the case stored on disk
  FileKind kind;     // after following a symbolic link
  uint64_t size;     // bytes; 0 for what is not a regular file
};

// Whether name matches the wildcard pattern by the rules above.
bool MatchesWildcard(const char* pattern, const char* name);

// Replaces found by the matching entries of the directory, in the order
// the directory lists them ("." and ".." included when they match). False
// (LastError() set, found empty) when the directory cannot be read or the
// last component is empty.
bool FindFiles(const std::string& path, std::vector<FoundFile>& found);

}  // namespace platform
