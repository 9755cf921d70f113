// The wildcard matcher of the file search. The input is a pattern and a name
// separated by the first NUL byte. The matcher must never read past either
// text, a name must match itself as a pattern when it holds no wildcard,
// and "*" must match every name. For ASCII texts, where a character is one
// byte, it must agree with the rules computed another way.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/FileSearch.h"

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// The rules by their definition, by dynamic programming over the positions
// in both texts: match[i][j] tells whether pattern[i..] matches name[j..].
bool Reference(const std::string& pattern, const std::string& name) {
  const size_t p = pattern.size(), n = name.size();
  std::vector<std::vector<char>> match(p + 1, std::vector<char>(n + 1, 0));
  match[p][n] = 1;
  for (size_t i = p; i-- > 0;)
    for (size_t j = n + 1; j-- > 0;) {
      if (pattern[i] == '*')
        match[i][j] = match[i + 1][j] || (j < n && match[i][j + 1]);
      else
        match[i][j] = j < n && (pattern[i] == '?' || Lower(pattern[i]) == Lower(name[j])) && match[i + 1][j + 1];
    }
  return match[0][0] != 0;
}

bool Ascii(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string pattern = input.substr(0, split);
  const std::string name = split == std::string::npos ? std::string() : input.substr(split + 1).c_str();

  const bool matches = platform::MatchesWildcard(pattern.c_str(), name.c_str());
  if (!platform::MatchesWildcard("*", name.c_str())) abort();
  if (name.find_first_of("*?") == std::string::npos && !platform::MatchesWildcard(name.c_str(), name.c_str())) abort();
  if (Ascii(pattern) && Ascii(name) && matches != Reference(pattern, name))
    abort();
  return 0;
}
