#pragma once
// A whole run of the engine without a window: a fresh data folder, a
// recording view, the message boxes answered, the three first tests
// enabled, and input files written by the test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "battery/Messages.h"
#include "battery/RunState.h"
#include "engine/InputFiles.h"
#include "engine/ResultsModel.h"
#include "engine/RunTests.h"
#include "engine/support/RecordingView.h"
#include "ui/support/DataFolder.h"

struct RunFixture : DataFolderTest {
  RecordingView view;
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
    view.concurrency = 4;
  }
  void TearDown() override {
    delete[] inputPattern;
    inputPattern = nullptr;
    startOrder = rowOrder = nullptr;
    for (auto& e : testTable) e.enabled = false;
    runState = RunState::Idle;
    DataFolderTest::TearDown();
  }

  int Run(platform::DynamicLibrary* plugin = nullptr) { return RunTests(view, plugin); }

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
  // Sets the input pattern as the Start handler does (a new[] text), and the
  // input text the report names it from.
  void Pattern(const std::string& pattern) {
    view.input = pattern;
    delete[] inputPattern;
    inputPattern = new char[pattern.size() + 1];
    strcpy(inputPattern, pattern.c_str());
  }
  void FilesOf(const std::vector<unsigned char>& bytes) {
    WriteInput("data.bin", bytes);
    Pattern(folder + "/in/*.bin");
  }

  const std::string& LogText() const { return view.log; }
  // The cells as the Table grid shows them: the summary rows 0 to 2, result
  // row r at row r + 3.
  static std::string Cell(int row, int col) { return runResults.CellText(row, col); }
  static int DataRows() { return runResults.Rows(); }
  static int Columns() { return 7 + runResults.Sequences(); }
  std::string ReadFile(const std::string& name) const {
    std::ifstream in(folder + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& name) const { return std::ifstream(folder + "/" + name).good(); }
};
