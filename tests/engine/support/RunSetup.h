#pragma once
// What every whole run of the engine in the tests starts from, with or
// without a window: a fresh data folder, the message boxes answered, the
// three first tests enabled in slot order, and input files written by the
// test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "battery/RunState.h"
#include "engine/InputFiles.h"
#include "engine/RunTests.h"
#include "ui/support/DataFolder.h"

struct RunSetup : DataFolderTest {
  signed char starts[TEST_SLOTS];
  signed char rows[TEST_SLOTS];

  void SetUp() override {
    DataFolderTest::SetUp();
    for (int i = 0; i < TEST_SLOTS; ++i) {
      starts[i] = static_cast<signed char>(i);
      rows[i] = static_cast<signed char>(i);
      testTable[i].enabled = false;
    }
    startOrder = starts;
    rowOrder = rows;
    testTable[SLOT_CUSUM].enabled = true;
    testTable[SLOT_LONGBLK].enabled = true;
    testTable[SLOT_TWOBIT].enabled = true;
    longBlkSmin = 128;
    longBlkSmax = 1024;
    longBlkSstp = -1;
    seqLen = 20000;
    seqCount = 10;
    pvalueDigits = 4;
    runPriority = 0;
  }
  void TearDown() override {
    delete[] inputPattern;
    inputPattern = nullptr;
    startOrder = rowOrder = nullptr;
    for (auto& e : testTable) e.enabled = false;
    runState = RunState::Idle;
    DataFolderTest::TearDown();
  }

  // Writes bytes into folder/in/name.
  void WriteInput(const std::string& name, const std::vector<unsigned char>& bytes) {
    mkdir((folder + "/in").c_str(), 0755);
    std::ofstream(folder + "/in/" + name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  static std::vector<unsigned char> RandomBytes(size_t count, uint64_t seed) {
    std::mt19937_64 gen(seed);
    std::vector<unsigned char> bytes(count);
    for (auto& b : bytes) b = static_cast<unsigned char>(gen() >> 56);
    return bytes;
  }
  // The input text the report names the input from (the window's input box).
  virtual void ShowInput(const std::string& text) = 0;
  // Sets the input pattern as the Start handler does (a new[] text), and the
  // input text.
  void Pattern(const std::string& pattern) {
    ShowInput(pattern);
    delete[] inputPattern;
    inputPattern = new char[pattern.size() + 1];
    strcpy(inputPattern, pattern.c_str());
  }
  void FilesOf(const std::vector<unsigned char>& bytes) {
    WriteInput("data.bin", bytes);
    Pattern(folder + "/in/*.bin");
  }

  std::string ReadFile(const std::string& name) const {
    std::ifstream in(folder + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& name) const { return std::ifstream(folder + "/" + name).good(); }
};
