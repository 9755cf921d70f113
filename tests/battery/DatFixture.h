#pragma once
// Data files written by a test into a folder of its own, which becomes
// dataDir: a CRC-32 header (Crc32, itself checked against the standard
// check value) and a little-endian payload. Message boxes are answered and
// remembered.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "SequenceFixture.h"
#include "battery/Crc32.h"
#include "battery/DatFile.h"
#include "battery/Messages.h"
#include "battery/RunState.h"

struct Bytes {
  std::vector<unsigned char> b;
  void Raw(const void* p, size_t n) {
    const auto* c = static_cast<const unsigned char*>(p);
    b.insert(b.end(), c, c + n);
  }
  void U8(uint8_t v) { b.push_back(v); }
  void U16(uint16_t v) { Raw(&v, 2); }
  void I32(int32_t v) { Raw(&v, 4); }
  void F64(double v) { Raw(&v, 8); }
};

class DatFixture : public SequenceFixture {
 protected:
  std::string folder;
  MessageBoxHandler oldBox = nullptr;
  static std::vector<std::string>& Boxes() {
    static std::vector<std::string> boxes;
    return boxes;
  }
  static int Answer(const wxString& text, const wxString& caption, long) {
    Boxes().push_back(caption.ToStdString() + ": " + text.ToStdString());
    return wxOK;
  }

  void SetUp() override {
    char name[] = "/tmp/qv_datXXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder = name;
    dataDir = const_cast<char*>(folder.c_str());
    oldBox = SetMessageBoxHandler(Answer);
    Boxes().clear();
    EnsureLnFactorial(1000);
  }
  void TearDown() override {
    SetMessageBoxHandler(oldBox);
    for (const char* f : {"DAT_partition.bin", "DAT_ZarWlk.bin"}) unlink((folder + "/" + f).c_str());
    rmdir(folder.c_str());
    dataDir = nullptr;
    SequenceFixture::TearDown();
  }

  // Writes the header and payload; a nonzero flip xors the payload's byte
  // at `at` after the CRC was taken (a file changed since its check).
  void WriteDat(const char* name, const Bytes& payload, size_t at = 0, unsigned char flip = 0) {
    std::vector<unsigned char> file(4);
    const uint32_t crc = Crc32(payload.b.data(), payload.b.size());
    std::memcpy(file.data(), &crc, 4);
    file.insert(file.end(), payload.b.begin(), payload.b.end());
    if (flip != 0) file[4 + at] ^= flip;
    FILE* f = std::fopen((folder + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(file.data(), 1, file.size(), f), file.size());
    std::fclose(f);
  }
};

// The built data files, when the build has made them.
inline bool BuiltFile(const char* name) {
  return access((std::string(QV_BIN_DIR) + "/" + name).c_str(), R_OK) == 0;
}
