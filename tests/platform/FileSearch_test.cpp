#include "platform/FileSearch.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/LastError.h"

using namespace platform;
namespace fs = std::filesystem;

TEST(MatchesWildcard, WindowsRulesForOneComponent) {
  struct {
    const char* pattern;
    const char* name;
    bool matches;
  } const cases[] = {
      {"*", "anything.at.all", true},
      {"*", "", true},
      {"*.bin", "data.bin", true},
      {"*.bin", "data.bin.bak", false},
      {"*.bin", "archive.tar.bin", true},  // '*' takes dots too
      {"*.*", "noextension", false},
      {"*.*", "a.b", true},
      {"a*", "a", true},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},
      {"*ab", "aab", true},  // the star must give back what it took
      {"**x", "yyx", true},
      {"?", "a", true},
      {"?", "", false},
      {"?", "ab", false},
      {"f?.bin", "f1.bin", true},
      {"f?.bin", "f.bin", false},
      {"f?.bin", "f12.bin", false},
      {"?.bin", "\xC3\xA9.bin", true},  // one character of two UTF-8 bytes
      {"??.bin", "\xC3\xA9.bin", false},
      {"DATA.BIN", "data.bin", true},
      {"data.bin", "DaTa.BiN", true},
      {"\xC3\x89.bin", "\xC3\xA9.bin", false},  // only ASCII letters fold
      {"[a].bin", "[a].bin", true},            // no brackets
      {"[a].bin", "a.bin", false},
      {"[ab]*", "[AB]x", true},
      {"a\\*", "a\\b", true},  // no escapes: '\' is a character
      {"a\\*", "a*", false},
      {"abc", "abcd", false},
      {"abcd", "abc", false},
      {"", "", true},
      {"", "a", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.matches) << "\"" << c.pattern << "\" / \"" << c.name << "\"";
  }
}

namespace {

class FindFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qv_search_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder = name;
  }
  void TearDown() override { fs::remove_all(folder); }

  void WriteFile(const std::string& name, int size) {
    FILE* file = fopen((folder + "/" + name).c_str(), "wb");
    ASSERT_NE(file, nullptr);
    for (int i = 0; i < size; ++i) fputc('x', file);
    fclose(file);
  }

  // name:kind:size of every entry found, sorted for comparison.
  static std::vector<std::string> Describe(const std::vector<FoundFile>& found) {
    std::vector<std::string> text;
    for (const FoundFile& f : found) {
      const char* kind = f.kind == FileKind::Regular ? "file" : f.kind == FileKind::Directory ? "dir" : "other";
      text.push_back(f.name + ":" + kind + ":" + std::to_string(f.size));
    }
    std::sort(text.begin(), text.end());
    return text;
  }

  std::string folder;
};

}  // namespace

TEST_F(FindFilesTest, FindsMatchingEntriesWithKindAndSize) {
  WriteFile("a.BIN", 3);
  WriteFile("b.bin", 0);
  WriteFile("c.txt", 7);
  WriteFile("[x].bin", 2);
  fs::create_directory(folder + "/sub.bin");
  fs::create_symlink(folder + "/a.BIN", folder + "/link.bin");
  fs::create_symlink(folder + "/missing", folder + "/broken.bin");
  std::vector<FoundFile> found;
  ASSERT_TRUE(FindFiles(folder + "/*.bin", found));
  EXPECT_EQ(Describe(found), (std::vector<std::string>{"[x].bin:file:2", "a.BIN:file:3", "b.bin:file:0",
                                                       "broken.bin:other:0", "link.bin:file:3", "sub.bin:dir:0"}));
  ASSERT_TRUE(FindFiles(folder + "/[X].BIN", found));
  EXPECT_EQ(Describe(found), (std::vector<std::string>{"[x].bin:file:2"}));
  ASSERT_TRUE(FindFiles(folder + "/*.none", found));
  EXPECT_TRUE(found.empty());
}

TEST_F(FindFilesTest, SizesBeyond32BitsAreKept) {
  WriteFile("huge", 0);
  fs::resize_file(folder + "/huge", 5ull << 30);
  std::vector<FoundFile> found;
  ASSERT_TRUE(FindFiles(folder + "/huge", found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].size, 5ull << 30);
}

TEST_F(FindFilesTest, PatternWithoutSlashSearchesTheCurrentDirectory) {
  WriteFile("here.dat", 4);
  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  std::vector<FoundFile> found;
  const bool ok = FindFiles("*.DAT", found);
  fs::current_path(previous);
  ASSERT_TRUE(ok);
  EXPECT_EQ(Describe(found), (std::vector<std::string>{"here.dat:file:4"}));
}

TEST_F(FindFilesTest, WildcardsInTheFolderPartAreTakenLiterally) {
  fs::create_directory(folder + "/d1");
  WriteFile("d1/x", 1);
  std::vector<FoundFile> found;
  EXPECT_FALSE(FindFiles(folder + "/d?/x", found));
  EXPECT_EQ(LastError(), ENOENT);
  ASSERT_TRUE(FindFiles(folder + "/d1/x", found));
  EXPECT_EQ(found.size(), 1u);
}

TEST_F(FindFilesTest, FailsWithoutAFolderOrAName) {
  std::vector<FoundFile> found{{"stale", FileKind::Regular, 1}};
  EXPECT_FALSE(FindFiles(folder + "/missing/*", found));
  EXPECT_EQ(LastError(), ENOENT);
  EXPECT_TRUE(found.empty());
  WriteFile("plain", 1);
  EXPECT_FALSE(FindFiles(folder + "/plain/*", found)) << "a file is no folder";
  EXPECT_EQ(LastError(), ENOTDIR);
  EXPECT_FALSE(FindFiles(folder + "/", found)) << "an empty last component matches nothing";
}
