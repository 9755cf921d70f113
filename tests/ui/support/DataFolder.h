#pragma once
// A fixture that gives every test a fresh data folder as dataDir and
// answers the message boxes, remembering their texts.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <wx/defs.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "battery/Messages.h"
#include "battery/RunState.h"

inline void PrintTo(const wxString& text, std::ostream* os) { *os << '"' << text.utf8_str().data() << '"'; }

struct DataFolderTest : ::testing::Test {
  std::string folder;
  MessageBoxHandler oldHandler = nullptr;
  static inline std::vector<wxString> boxes;
  static inline std::vector<long> boxStyles;

  static int Answer(const wxString& text, const wxString& caption, long style) {
    boxes.push_back(text);
    boxStyles.push_back(style);
    EXPECT_EQ(caption, "Quorvane_MT");
    return wxOK;
  }

  void SetUp() override {
    char name[] = "/tmp/qv-data-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder = name;
    dataDir = new char[folder.size() + 1];
    strcpy(dataDir, folder.c_str());
    boxes.clear();
    boxStyles.clear();
    oldHandler = SetMessageBoxHandler(Answer);
  }
  void TearDown() override {
    SetMessageBoxHandler(oldHandler);
    delete[] dataDir;
    dataDir = nullptr;
    RemoveTree(folder);
  }

  static void RemoveTree(const std::string& path) {
    if (DIR* dir = opendir(path.c_str())) {
      while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") RemoveTree(path + "/" + name);
      }
      closedir(dir);
      rmdir(path.c_str());
    } else {
      unlink(path.c_str());
    }
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> files;
    if (DIR* dir = opendir(folder.c_str())) {
      while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") files.push_back(name);
      }
      closedir(dir);
    }
    return files;
  }
  std::string PathOf(const std::string& file) const { return folder + "/" + file; }
  void WriteFile(const std::string& file, const std::string& data) const {
    std::ofstream(PathOf(file), std::ios::binary) << data;
  }
  std::string ReadFile(const std::string& file) const {
    std::ifstream in(PathOf(file), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool Exists(const std::string& file) const {
    struct stat st;
    return stat(PathOf(file).c_str(), &st) == 0;
  }
};
