#pragma once
// A "prefs.bin" written byte by byte from the file layout, the record it
// holds, and the smallest valid file.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

#include "ui/Prefs.h"

// Offsets into FIXTURE of the fields after the preset name.
enum : size_t {
  AT_AUTOHIDE = 30, AT_SEQLEN = 31, AT_UNIT = 35, AT_SEQCOUNT = 36, AT_LOAD = 38, AT_FILES = 39,
  AT_FILE0 = 40, AT_DIGITS = 63, AT_PRIORITY = 64, AT_THREADS = 65, AT_ROWS = 66, AT_SORT = 118,
  AT_ROWHEIGHT = 125, FIXTURE_LENGTH = 126
};

// Every field spelled out; the checksum was computed with Python's
// zlib.crc32 over bytes 4 to 125.
inline const unsigned char FIXTURE[FIXTURE_LENGTH] = {
    0xC1, 0x7C, 0xF0, 0x25,  //  0 CRC-32 0x25F07CC1
    2, 0, 0,                 //  4 version 2.0.0
    0xF8, 0xFF, 0xFF, 0xFF,  //  7 x = -8
    100, 0, 0, 0,            // 11 y = 100
    0xB0, 0x04, 0, 0,        // 15 width = 1200
    0x84, 0x03, 0, 0,        // 19 height = 900
    0x2C, 0x01,              // 23 scroll = 300
    'F', 'a', 's', 't', 0,   // 25 preset "Fast"
    1,                       // 30 autohide down
    0x40, 0xE2, 0x01, 0,     // 31 Seq. len. 123456
    1,                       // 35 unit k
    0x0F, 0x27,              // 36 Seq. to test 9999
    0,                       // 38 Load up
    2,                       // 39 two input-file entries
    '/', 'd', 'a', 't', 'a', '/', 'a', '.', 'b', 'i', 'n', 0,  // 40
    'l', 'i', 'b', '/', 'Z', 'a', 'r', '.', 's', 'o', 0,       // 52
    6,                       // 63 P-value digits
    1,                       // 64 priority Idle
    8,                       // 65 Concurrent threads
    // 66 rows: slots 25 down to 0, the fourth row without a test (so slot
    // 22 has none); Partition (5) and Peak (16) ticked.
    25, 0, 24, 0, 23, 0, 30, 0, 21, 0, 20, 0, 19, 0, 18, 0, 17, 0, 16, 1, 15, 0, 14, 0, 13, 0,
    12, 0, 11, 0, 10, 0, 9, 0, 8, 0, 7, 0, 6, 0, 5, 1, 4, 0, 3, 0, 2, 0, 1, 0, 0, 0,
    1, 0, 1, 0, 0, 0, 1,  // 118 sort Table, KS, AD, Binomial, pv min, pv max, Pearson
    33,                   // 125 Tables row height
};

// Empty preset name, no input file, every value at its lowest, no rows;
// checksum computed with Python's zlib.crc32.
inline std::vector<unsigned char> SmallestFile() {
  std::vector<unsigned char> f = {0xCC, 0xB0, 0xA9, 0x00, 2, 0, 0};
  f.insert(f.end(), 16 + 2, 0);             // x, y, width, height, scroll
  f.push_back(0);                           // empty preset name
  f.insert(f.end(), {0, 0, 0, 0, 0, 0});    // autohide, Seq. len. 0, unit b
  f.insert(f.end(), {1, 0, 0, 0});          // Seq. to test 1, Load up, no files
  f.insert(f.end(), {3, 0, 1});             // digits, priority, threads
  for (int i = 0; i < 26; ++i) f.insert(f.end(), {30, 0});
  f.insert(f.end(), 7, 0);
  f.push_back(2);
  return f;
}

inline PrefsRecord FixtureRecord() {
  PrefsRecord r;
  r.x = -8;
  r.y = 100;
  r.width = 1200;
  r.height = 900;
  r.scroll = 300;
  r.presetName = "Fast";
  r.autohide = true;
  r.seqLen = 123456;
  r.seqLenUnit = 1;
  r.seqCount = 9999;
  r.load = false;
  r.files = {"/data/a.bin", "lib/Zar.so"};
  r.digits = 6;
  r.priority = 1;
  r.threads = 8;
  for (int i = 0; i < 26; ++i) r.rows[i] = {i == 3 ? 30 : 25 - i, i == 9 || i == 20};
  r.sortTable = r.sortAd = r.sortPearson = true;
  r.rowHeight = 33;
  return r;
}

inline std::vector<unsigned char> Fixture() { return std::vector<unsigned char>(FIXTURE, FIXTURE + FIXTURE_LENGTH); }

// Sets the checksum of a changed file again, so that only the change is wrong.
inline void Reseal(std::vector<unsigned char>& f) {
  const uint32_t crc = static_cast<uint32_t>(crc32(0L, f.data() + 4, static_cast<uInt>(f.size() - 4)));
  for (int i = 0; i < 4; ++i) f[i] = static_cast<unsigned char>(crc >> (8 * i));
}

inline void ExpectEqual(const PrefsRecord& a, const PrefsRecord& b) {
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.y, b.y);
  EXPECT_EQ(a.width, b.width);
  EXPECT_EQ(a.height, b.height);
  EXPECT_EQ(a.scroll, b.scroll);
  EXPECT_EQ(a.presetName, b.presetName);
  EXPECT_EQ(a.autohide, b.autohide);
  EXPECT_EQ(a.seqLen, b.seqLen);
  EXPECT_EQ(a.seqLenUnit, b.seqLenUnit);
  EXPECT_EQ(a.seqCount, b.seqCount);
  EXPECT_EQ(a.load, b.load);
  EXPECT_EQ(a.files, b.files);
  EXPECT_EQ(a.digits, b.digits);
  EXPECT_EQ(a.priority, b.priority);
  EXPECT_EQ(a.threads, b.threads);
  for (int i = 0; i < 26; ++i) {
    EXPECT_EQ(a.rows[i].slot, b.rows[i].slot) << "row " << i;
    EXPECT_EQ(a.rows[i].checked, b.rows[i].checked) << "row " << i;
  }
  EXPECT_EQ(a.sortTable, b.sortTable);
  EXPECT_EQ(a.sortKs, b.sortKs);
  EXPECT_EQ(a.sortAd, b.sortAd);
  EXPECT_EQ(a.sortBino, b.sortBino);
  EXPECT_EQ(a.sortPvMin, b.sortPvMin);
  EXPECT_EQ(a.sortPvMax, b.sortPvMax);
  EXPECT_EQ(a.sortPearson, b.sortPearson);
  EXPECT_EQ(a.rowHeight, b.rowHeight);
}
