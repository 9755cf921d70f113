#include "engine/InputFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "battery/RunState.h"
#include "engine/support/MessageCapture.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder of input files for one test, the run buffers the reader
// uses, and the run's list; all released at the end of the test.
class InputFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qv_input_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder = name;
    pathBuf = new char[PATH_BUF_SIZE];
    seqIndex = 1;
    ResetInputReader();
  }

  void TearDown() override {
    ReleaseInputFiles(&names, &count);
    delete[] pathBuf;
    pathBuf = nullptr;
    delete[] seqBits;
    seqBits = nullptr;
    inputPattern = nullptr;
    fs::remove_all(folder);
  }

  // Writes a file of the given bytes into the folder.
  void WriteFile(const std::string& name, const std::vector<unsigned char>& bytes) {
    FILE* file = fopen((folder + "/" + name).c_str(), "wb");
    ASSERT_NE(file, nullptr) << name;
    if (!bytes.empty()) {
      ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    }
    fclose(file);
  }

  // Bytes first, first + 1, ... (mod 256).
  static std::vector<unsigned char> Counting(int first, int length) {
    std::vector<unsigned char> bytes(length);
    for (int i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(first + i);
    return bytes;
  }

  // Sets the pattern (kept in patternText, which the engine may cut), the
  // sequence length and count, and allocates the sequence buffer.
  void StartRun(const std::string& pattern, uint32_t length, int sequences) {
    patternText.assign(pattern.begin(), pattern.end());
    patternText.push_back('\0');
    inputPattern = patternText.data();
    seqLen = length;
    seqCount = sequences;
    seqIndex = 1;
  }

  void AllocateSequence() {
    delete[] seqBits;
    seqBits = new uint32_t[seqLen / 32 + 2];
    std::fill(seqBits, seqBits + seqLen / 32 + 2, 0xFFFFFFFFu);
  }

  std::vector<unsigned char> SequenceBytes() const {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(seqBits);
    return std::vector<unsigned char>(bytes, bytes + seqLen / 8);
  }

  // Fills sequences until the input ends; returns the bytes of each one.
  std::vector<std::vector<unsigned char>> ReadAll() {
    std::vector<std::vector<unsigned char>> sequences;
    for (seqIndex = 1; seqIndex <= seqCount; ++seqIndex) {
      if (!FillSequenceFromFiles(names, count)) break;
      sequences.push_back(SequenceBytes());
    }
    return sequences;
  }

  std::vector<std::string> Names() const { return std::vector<std::string>(names, names + count); }

  std::string folder;
  std::vector<char> patternText;
  char** names = nullptr;
  int count = 0;
  uint64_t total = 0;
};

// The two lines that tell where and how early the input ran out.
wxString LoadingError(const std::string& path, unsigned bits, unsigned length) {
  return wxString::FromUTF8(("\n\n\t!! LOADING ERROR !!\nFile \"" + path + "\"\n").c_str()) +
         wxString::Format("Only %u bits have been read instead of %u\n\n", bits, length);
}

std::vector<unsigned char> Concat(std::vector<unsigned char> a, const std::vector<unsigned char>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

TEST_F(InputFilesTest, ListsRegularFilesOnlySortedWithoutRegardToCase) {
  WriteFile("c.bin", Counting(200, 3));
  WriteFile("a.bin", Counting(0, 5));
  WriteFile("B.bin", Counting(100, 4));
  WriteFile("notes.txt", Counting(0, 50));
  ASSERT_TRUE(fs::create_directory(folder + "/d.bin"));
  MessageCapture capture;
  const std::string pattern = folder + "/*.bin";
  StartRun(pattern, 8 * 4, 10);
  ASSERT_TRUE(PrepareInputFiles(&names, &count, &total));
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.bin", "B.bin", "c.bin"}));
  EXPECT_EQ(total, 12u);
  EXPECT_EQ(capture.Log(), wxString::FromUTF8(("Files: " + pattern + " (3 files)\n").c_str()));
  EXPECT_STREQ(inputPattern, (folder + "/").c_str()) << "cut after its last '/'";
  EXPECT_TRUE(capture.Boxes().empty());
  EXPECT_EQ(seqLen, 32u) << "a given length stays";

  // The three files as one stream, 4 bytes a sequence: a.bin, then B.bin,
  // then c.bin; the last sequence lacks a byte.
  AllocateSequence();
  const auto sequences = ReadAll();
  const auto stream = Concat(Concat(Counting(0, 5), Counting(100, 4)), Counting(200, 3));
  ASSERT_EQ(sequences.size(), 3u);
  for (int s = 0; s < 3; ++s) {
    EXPECT_EQ(sequences[s], std::vector<unsigned char>(stream.begin() + 4 * s, stream.begin() + 4 * s + 4)) << s;
  }
  EXPECT_EQ(seqCount, 3);
}

TEST_F(InputFilesTest, SortOrderIsFixedWhateverTheStartingOrder) {
  // '_' (0x5F) sorts before the lower-case letters, digits before both;
  // names that differ only in case follow their plain bytes.
  const std::vector<std::string> sorted = {"1", "_x", "A", "a", "Ab", "aB", "ab", "B"};
  std::vector<std::string> order = sorted;
  std::sort(order.begin(), order.end());
  int permutations = 0;
  do {
    std::vector<char*> list;
    for (std::string& name : order) list.push_back(name.data());
    SortNamesNoCase(list.data(), 0, static_cast<int>(list.size()) - 1);
    ASSERT_EQ(std::vector<std::string>(list.begin(), list.end()), sorted) << "permutation " << permutations;
    ++permutations;
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(permutations, 40320) << "every order of the eight names";
}

TEST_F(InputFilesTest, SortsOnlyTheGivenRange) {
  std::vector<std::string> text = {"z", "c", "B", "a", "A"};
  std::vector<char*> list;
  for (std::string& name : text) list.push_back(name.data());
  SortNamesNoCase(list.data(), 1, 3);
  EXPECT_EQ(std::vector<std::string>(list.begin(), list.end()), (std::vector<std::string>{"z", "a", "B", "c", "A"}));
}

TEST_F(InputFilesTest, OneFileIsLoggedAsFileAndItsBytesFillTheWordsInOrder) {
  WriteFile("only.dat", Counting(0, 8));
  MessageCapture capture;
  const std::string pattern = folder + "/only.DAT";
  StartRun(pattern, 64, 1);
  ASSERT_TRUE(PrepareInputFiles(&names, &count, &total));
  EXPECT_EQ(capture.Log(), wxString::FromUTF8(("File: " + pattern + "\n").c_str()));
  AllocateSequence();
  ASSERT_TRUE(FillSequenceFromFiles(names, count));
  EXPECT_EQ(seqBits[0], 0x03020100u) << "byte k holds bits 8k to 8k+7";
  EXPECT_EQ(seqBits[1], 0x07060504u);
}

TEST_F(InputFilesTest, SequenceSpansFilesAndPassesOverAnEmptyOne) {
  WriteFile("f1", Counting(0, 10));
  WriteFile("f2", {});
  WriteFile("f3", Counting(10, 10));
  StartRun(folder + "/f?", 64, 5);
  ASSERT_TRUE(PrepareInputFiles(&names, &count, &total));
  MessageCapture capture;
  AllocateSequence();
  const auto sequences = ReadAll();
  ASSERT_EQ(sequences.size(), 2u);
  EXPECT_EQ(sequences[0], Counting(0, 8));
  EXPECT_EQ(sequences[1], Counting(8, 8)) << "the tail of f1 and the head of f3, no gap";
  EXPECT_EQ(seqCount, 2);
  // Only the input running out is logged: 4 bytes were left for sequence 3.
  EXPECT_EQ(capture.Log(), LoadingError(folder + "/f3", 32, 64));
}

TEST_F(InputFilesTest, AutomaticLengthSharesTheInputInWholeBytes) {
  WriteFile("big.bin", Counting(0, 1001));
  StartRun(folder + "/*.bin", 0, 2);
  ASSERT_TRUE(PrepareInputFiles(&names, &count, &total));
  EXPECT_EQ(seqLen, 4000u);
  AllocateSequence();
  const auto sequences = ReadAll();
  ASSERT_EQ(sequences.size(), 2u);
  EXPECT_EQ(sequences[0], Counting(0, 500));
  EXPECT_EQ(sequences[1], Counting(500, 500));
  ASSERT_NE(inputFile, nullptr);
  EXPECT_EQ(ftell(inputFile), 1000) << "the last byte is never read";
  EXPECT_EQ(seqCount, 2);
}

TEST_F(InputFilesTest, AutomaticLengthOfZeroIsRefused) {
  WriteFile("small.bin", Counting(0, 3));
  MessageCapture capture;
  StartRun(folder + "/small.bin", 0, 5);
  EXPECT_FALSE(PrepareInputFiles(&names, &count, &total));
  EXPECT_EQ(seqLen, 0u);
  ASSERT_EQ(capture.Boxes().size(), 1u);
  EXPECT_EQ(capture.Boxes()[0].text,
            "\n\t!! ERROR !!\n\nSequence length = 0 shares the input among the sequences:\n"
            "3 bytes for 5 sequences give 0 bits per sequence;\nit must be at least 8 and below 4294967296.\n");
  EXPECT_EQ(capture.Boxes()[0].caption, "Quorvane_MT");
  EXPECT_TRUE(capture.Boxes()[0].style & wxICON_ERROR);
}

// Sizes are summed and the automatic length computed in 64 bits; sparse
// files make the large inputs without writing them.
TEST_F(InputFilesTest, LargeInputsAreSummedIn64BitsAndTheLengthMustFit32) {
  const auto sparse = [&](const std::string& name, uint64_t size) {
    WriteFile(name, {});
    fs::resize_file(folder + "/" + name, size);
  };
  struct {
    uint64_t size;
    int sequences;
    bool accepted;
    uint32_t length;
  } const cases[] = {
      {(1u << 29) - 1, 1, true, 4294967288u},  // the longest whole-byte length
      {1u << 29, 1, false, 0},                 // 2^32 bits
      {3ull << 31, 2000, true, 25769800u},     // two files of 6 GiB in all
      {3ull << 31, 4, false, 0},
  };
  for (const auto& c : cases) {
    fs::remove_all(folder);
    fs::create_directory(folder);
    if (c.size > UINT32_MAX) {
      sparse("part1", c.size / 2);
      sparse("part2", c.size - c.size / 2);
    } else {
      sparse("part1", c.size);
    }
    MessageCapture capture;
    ReleaseInputFiles(&names, &count);
    StartRun(folder + "/part*", 0, c.sequences);
    EXPECT_EQ(PrepareInputFiles(&names, &count, &total), c.accepted) << c.size << " / " << c.sequences;
    EXPECT_EQ(total, c.size);
    EXPECT_EQ(seqLen, c.length);
    EXPECT_EQ(capture.Boxes().size(), c.accepted ? 0u : 1u);
  }
}

TEST_F(InputFilesTest, InputEndingAtASequenceBoundaryEndsTheRunThereNamingTheLastFile) {
  WriteFile("one.bin", Counting(0, 12));
  WriteFile("two.bin", Counting(12, 12));
  StartRun(folder + "/*.bin", 64, 5);
  ASSERT_TRUE(PrepareInputFiles(&names, &count, &total));
  MessageCapture capture;
  AllocateSequence();
  const auto sequences = ReadAll();
  ASSERT_EQ(sequences.size(), 3u);
  EXPECT_EQ(sequences[2], Counting(16, 8));
  EXPECT_EQ(seqCount, 3);
  EXPECT_EQ(capture.Log(), LoadingError(folder + "/two.bin", 0, 64)) << "the last file of the list";
}

TEST_F(InputFilesTest, FileRemovedAfterListingEndsTheRunEarly) {
  WriteFile("a1", Counting(0, 8));
  WriteFile("a2", Counting(8, 8));
  StartRun(folder + "/a*", 64, 3);
  ASSERT_TRUE(PrepareInputFiles(&names, &count, &total));
  ASSERT_EQ(count, 2);
  ASSERT_EQ(remove((folder + "/a2").c_str()), 0);
  MessageCapture capture;
  AllocateSequence();
  const auto sequences = ReadAll();
  ASSERT_EQ(sequences.size(), 1u);
  EXPECT_EQ(seqCount, 1);
  EXPECT_EQ(capture.Log(),
            wxString::FromUTF8(("\n\t!! ERROR !!\nBits file \"" + folder + "/a2\" not opened.\n").c_str()));
  EXPECT_EQ(inputFile, nullptr);
}

TEST_F(InputFilesTest, ReadErrorNamesTheFailingFile) {
  WriteFile("r1", Counting(0, 8));
  WriteFile("r2", Counting(8, 8));
  StartRun(folder + "/r*", 32, 4);
  ASSERT_TRUE(PrepareInputFiles(&names, &count, &total));
  // r1 becomes a folder: it opens, but reading it fails.
  ASSERT_EQ(remove((folder + "/r1").c_str()), 0);
  ASSERT_TRUE(fs::create_directory(folder + "/r1"));
  MessageCapture capture;
  AllocateSequence();
  EXPECT_TRUE(ReadAll().empty());
  EXPECT_EQ(seqCount, 0);
  EXPECT_EQ(capture.Log(), "\n\t!! ERROR !!\nBits file \"r1\" not loaded.\n" + LoadingError(folder + "/r1", 0, 32));
  EXPECT_EQ(inputFile, nullptr);
}

TEST_F(InputFilesTest, NoMatchingRegularFileIsAnErrorBox) {
  ASSERT_TRUE(fs::create_directory(folder + "/dir.bin"));
  const std::string patterns[] = {folder + "/*.bin", folder + "/nothing*", folder + "/no-such-folder/*"};
  for (const std::string& pattern : patterns) {
    MessageCapture capture;
    StartRun(pattern, 64, 1);
    EXPECT_FALSE(PrepareInputFiles(&names, &count, &total)) << pattern;
    EXPECT_EQ(count, 0);
    EXPECT_EQ(names, nullptr);
    ASSERT_EQ(capture.Boxes().size(), 1u);
    EXPECT_EQ(capture.Boxes()[0].text,
              wxString::FromUTF8(("\n\t!! ERROR !!\n\nNo matching file for:\n" + pattern + "\n").c_str()));
    EXPECT_EQ(capture.Boxes()[0].caption, "Quorvane_MT");
    EXPECT_TRUE(capture.Boxes()[0].style & wxICON_ERROR);
    EXPECT_TRUE(capture.Log().empty());
  }
}

TEST_F(InputFilesTest, PatternWithoutFolderReadsFromTheCurrentDirectory) {
  WriteFile("here.bin", Counting(40, 8));
  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  StartRun("*.bin", 64, 1);
  const bool prepared = PrepareInputFiles(&names, &count, &total);
  AllocateSequence();
  const bool filled = prepared && FillSequenceFromFiles(names, count);
  fs::current_path(previous);
  ASSERT_TRUE(prepared);
  EXPECT_STREQ(inputPattern, "");
  EXPECT_TRUE(filled);
  EXPECT_EQ(SequenceBytes(), Counting(40, 8));
}

TEST_F(InputFilesTest, SecondRunReadsTheSameBytes) {
  WriteFile("s.bin", Counting(0, 40));
  std::vector<std::vector<unsigned char>> runs[2];
  for (auto& run : runs) {
    ResetInputReader();
    StartRun(folder + "/s.bin", 80, 2);
    ASSERT_TRUE(PrepareInputFiles(&names, &count, &total));
    AllocateSequence();
    run = ReadAll();
    EXPECT_NE(inputFile, nullptr) << "the run ended with the file still open";
    ReleaseInputFiles(&names, &count);
    EXPECT_EQ(inputFile, nullptr);
    EXPECT_EQ(names, nullptr);
  }
  ASSERT_EQ(runs[0].size(), 2u);
  EXPECT_EQ(runs[0], runs[1]);
}

TEST_F(InputFilesTest, BitsAfterTheLastWholeByteAreCleared) {
  WriteFile("p.bin", {0xAB, 0xCD, 0xEF, 0x12});
  StartRun(folder + "/p.bin", 20, 1);
  ASSERT_TRUE(PrepareInputFiles(&names, &count, &total));
  AllocateSequence();
  ASSERT_TRUE(FillSequenceFromFiles(names, count));
  // Bytes 0 and 1 from the file; bits 16 to 19 cleared; the spare bits
  // from 20 on untouched.
  EXPECT_EQ(seqBits[0], 0xFFF0CDABu);
  ASSERT_NE(inputFile, nullptr);
  EXPECT_EQ(ftell(inputFile), 2);
}

TEST_F(InputFilesTest, PathTooLongForTheBufferIsRefusedLikeAMissingFile) {
  std::string deep = folder;
  for (int i = 0; i < 5; ++i) {
    deep += "/" + std::string(200, static_cast<char>('k' + i));
    ASSERT_TRUE(fs::create_directory(deep));
  }
  const std::string name = std::string(100, 'n') + ".bin";
  FILE* file = fopen((deep + "/" + name).c_str(), "wb");
  ASSERT_NE(file, nullptr);
  fputs("12345678", file);
  fclose(file);
  ASSERT_GE((deep + "/" + name).size(), static_cast<size_t>(PATH_BUF_SIZE));
  StartRun(deep + "/*.bin", 64, 1);
  ASSERT_TRUE(PrepareInputFiles(&names, &count, &total));
  MessageCapture capture;
  AllocateSequence();
  EXPECT_FALSE(FillSequenceFromFiles(names, count));
  EXPECT_EQ(seqCount, 0);
  EXPECT_EQ(capture.Log(),
            wxString::FromUTF8(("\n\t!! ERROR !!\nBits file \"" + deep + "/" + name + "\" not opened.\n").c_str()));
}
