#include "engine/ParameterChecks.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "battery/RunState.h"
#include "battery/Crc32.h"
#include "support/MessageCapture.h"
#include "ui/support/DataFolder.h"

namespace {

// Every parameter global at a value that passes its rules, for 2^20 bits
// and 10 sequences.
void SoundParameters() {
  seqLen = 1u << 20;
  seqCount = 10;
  amlsLmin = 1, amlsLmax = 16, amlsLstp = -1, amlsBlkmax = 0;
  aqlSmin = 8, aqlSmax = 8, aqlSstp = 1, aqlMmin = 10, aqlMmax = 10, aqlMstp = 1;
  autowSmin = 8, autowSmax = 20, autowSstp = 4, autowDmin = 1, autowDmax = 8, autowDstp = 1, autowMaxPv = 0;
  blkGapDstSmin = 2, blkGapDstSmax = 8, blkGapDstSstp = 1;
  collisionSmin = 10, collisionSmax = 12, collisionSstp = 1;
  couponSmin = 2, couponSmax = 4, couponSstp = 1;
  dftRmin = 1, dftRmax = 1, dftRstp = 1, dftM0 = 1, dftM1 = 0;
  liCoLen = 500, liCoOptlen = 0, liCoK = 0;
  longBlkSmin = 8, longBlkSmax = 1024, longBlkSstp = -1;
  maurerSmin = 2, maurerSmax = 8, maurerSstp = 1;
  notmSmin = 2, notmSmax = 9, notmSstp = 1, notmTempl = 0;
  oetSmin = 1, oetSmax = 8, oetSstp = 1;
  permutationGmin = 2, permutationGmax = 5, permutationGstp = 1;
  permutationSmin = 8, permutationSmax = 8, permutationSstp = 1;
  rankRmin = 32, rankRmax = 32, rankRstp = 1, rankCmin = 32, rankCmax = 32, rankCstp = 1, rankM = 0;
  zarWlkLmin = 10, zarWlkLmax = 100, zarWlkLstp = 10, zarWlkSk = 0;
  rw2dLmin = 2, rw2dLmax = 4, rw2dLstp = 1;
  runsLmin = 1, runsLmax = 4, runsLstp = 1, runsSmin = 8, runsSmax = 8, runsSstp = 1;
  serialSmin = 2, serialSmax = 8, serialSstp = 1;
  shortBlkSmin = 2, shortBlkSmax = 8, shortBlkSstp = 1, shortBlkDmin = 1, shortBlkDmax = 8, shortBlkDstp = 1;
  weightSmin = 8, weightSmax = 16, weightSstp = 8, weightProb = 1;
}

struct Case {
  const char* what;
  int slot;
  std::function<void()> change;
  std::string log;  // exactly what the check logs
  int counted;      // failures counted by the first pass
};

}  // namespace

class ParameterChecksTest : public DataFolderTest {
 protected:
  void SetUp() override {
    DataFolderTest::SetUp();
    pathBuf = new char[PATH_BUF_SIZE];
    SoundParameters();
    WriteLimits("10\nwords\n#\n1000\nmore\n#\n");
    WriteDatFile("DAT_coupon.bin", "coupon tables");
    WriteDatFile("DAT_partition.bin", "partition tables");
    WriteDatFile("DAT_ZarWlk.bin", "walk tables");
  }
  void TearDown() override {
    for (auto& e : testTable) e.enabled = false;
    delete[] pathBuf;
    pathBuf = nullptr;
    delete[] lnFactorial;
    lnFactorial = nullptr;
    lnFactorialMax = 0;
    DataFolderTest::TearDown();
  }
  void WriteLimits(const std::string& text) { std::ofstream(folder + "/DAT_collision_limits.txt") << text; }
  void WriteDatFile(const std::string& name, const std::string& payload) {
    const uint32_t crc = Crc32(reinterpret_cast<const unsigned char*>(payload.data()), static_cast<int>(payload.size()));
    std::ofstream out(folder + "/" + name, std::ios::binary);
    for (int i = 0; i < 4; ++i) out.put(static_cast<char>(crc >> (8 * i)));
    out << payload;
  }
  static void EnableOnly(int slot) {
    for (auto& e : testTable) e.enabled = false;
    testTable[slot].enabled = true;
  }
};

TEST_F(ParameterChecksTest, SoundParametersPassBothPasses) {
  for (int slot = 0; slot < 26; ++slot) {
    EnableOnly(slot);
    MessageCapture capture;
    EXPECT_EQ(CheckParametersFirstPass(), 0) << testTable[slot].name << ": " << capture.Log();
    EXPECT_EQ(CheckParametersSecondPass(), 0) << testTable[slot].name << ": " << capture.Log();
    EXPECT_TRUE(testTable[slot].enabled) << testTable[slot].name;
    EXPECT_EQ(capture.Log(), "") << testTable[slot].name;
  }
}

TEST_F(ParameterChecksTest, FirstPassRefusalsLogTheirRuleAndDisableTheTest) {
  const Case cases[] = {
      {"AMLS too short", SLOT_AMLS, [] { amlsLmin = 256; },
       "AMLS: Sequence length too short; you need at least 1310720 bits.\n\n\n", 1},
      {"AMLS min above max", SLOT_AMLS, [] { amlsLmin = 4, amlsLmax = 2; },
       "AMLS: Sequence length too short; you need at least 20480 bits.\n\n\n", 1},
      {"AQL step", SLOT_AQL, [] { aqlMstp = 0; }, "AQL: step != 0\n\n", 1},
      {"autocorrelation step", SLOT_AUTOW, [] { autowSstp = 0; },
       "Windowed autocorrelation: min > 0, min <= max and step != 0\n\n", 1},
      {"gap distance above 32", SLOT_BLKGAPDIS, [] { blkGapDstSmax = 33; },
       "Block gap distance: min > 0, min <= max and step != 0\n\n", 1},
      {"gap distance too short", SLOT_BLKGAPDIS, [] { seqLen = 100; }, "Block gap distance: Sequence length too short\n\n", 1},
      {"collision step", SLOT_COLLISION, [] { collisionSstp = 0; }, "Collision: min > 0, min <= max and step != 0\n\n", 1},
      {"linear complexity k and L", SLOT_LINCPLX, [] { liCoK = 3, liCoLen = 0; },
       "Linear complexity: k must be even, 2<= k <= 28\n\nLinear complexity: 1 <= L <= n/2\n\n", 2},
      {"overlapping templates", SLOT_OTM, [] { seqLen = 73000; },
       "Overlapping template matching: Sequence length too short; you need at least 73272 bits.\n\n\n", 1},
      {"runs length step", SLOT_RUNS, [] { runsLstp = 0; },
       "Runs: block size : min <= max and step != 0\n\nRuns: runs length: min <= max and step != 0\n\n", 1},
      {"rank column step", SLOT_RANK, [] { rankCstp = 0; },
       "Rank: rows >= 2, min <= max and step != 0\n\nRank: cols_min <= cols_max  and step != 0\n\n"
       "Rank: mode = 0, 1 or 2\n\n",
       1},
      {"rank mode 0 with one column", SLOT_RANK, [] { rankCstp = 0, rankCmin = 1; },
       "Rank: rows >= 2, min <= max and step != 0\n\nRank: cols_min <= cols_max  and step != 0\n\n"
       "Rank: mode = 0, 1 or 2\n\nRank: mode = 0: cols_min >=2\n\n",
       2},
      {"coupon minimum", SLOT_COUPON, [] { couponSmin = 1; }, "Coupon collector: min > 1, min <= max and step != 0\n\n", 1},
      {"DFT no mode", SLOT_DFT, [] { dftM0 = 0; }, "DFT: At least 1 mode must be enabled.\n\n", 1},
      {"DFT rows and modes", SLOT_DFT, [] { dftRmin = 0, dftM0 = 0; },
       "DFT: min > 0, min <= max and step != 0\n\nDFT: At least 1 mode must be enabled.\n\n", 2},
      {"Maurer above 16", SLOT_MAURER, [] { maurerSmax = 17; }, "Maurer: min > 1, max<17, min <= max and step != 0\n\n", 1},
      {"short blocks size", SLOT_SHORTBLK, [] { shortBlkSmax = 32; },
       "Short blocks: block size min > 0, max < 32, min <= max and step != 0\n\n"
       "Short blocks: distance min > 0, min <= max and step != 0\n",
       1},
      {"serial step", SLOT_SERIAL, [] { serialSstp = 0; }, "Serial: min > 0, min <= max and step != 0\n\n", 1},
      {"permutation group", SLOT_PERM, [] { permutationGmax = 13; },
       "Permutation: block size min > 0, max <= 32, min <= max and step != 0\n\n"
       "Permutation: group size min > 1, max <= 12, min <= max and step != 0\n\n",
       1},
      {"long blocks below 8", SLOT_LONGBLK, [] { longBlkSmin = 7; }, "Long blocks: min >= 8, min <= max and step != 0\n\n", 1},
      {"templates above 31", SLOT_NOTM, [] { notmSmax = 32; },
       "Non overlapping template matching: min > 1, max < 32, min <= max and step != 0\n\n", 1},
      {"weight thresholds", SLOT_WEIGHT, [] { weightProb = 0; }, "Weight: min > 0, min <= max and step != 0\n\n", 1},
      {"entropy step", SLOT_OET, [] { oetSstp = 0; }, "Overlapping entropy: min > 0, min <= max and step != 0\n\n", 1},
      {"2-D walk step", SLOT_RW2D, [] { rw2dLstp = 0; }, "Random walk 2-D: min <= max and step != 0\n\n", 1},
  };
  for (const Case& c : cases) {
    SoundParameters();
    EnableOnly(c.slot);
    c.change();
    MessageCapture capture;
    EXPECT_EQ(CheckParametersFirstPass(), c.counted) << c.what;
    EXPECT_EQ(std::string(capture.Log().utf8_str().data()), c.log) << c.what;
    EXPECT_FALSE(testTable[c.slot].enabled) << c.what;
  }
}

TEST_F(ParameterChecksTest, FirstPassCorrectionsReachTheGlobals) {
  EnableOnly(SLOT_AMLS);
  amlsLmax = 1024;
  EXPECT_EQ(CheckParametersFirstPass(), 0);
  EXPECT_EQ(amlsLmax, 128);  // 2^20 / (128 * 1024) = 8 blocks; 256 leaves 4
  EXPECT_EQ(amlsBlkmax, 0x7FFFFFFF);

  EnableOnly(SLOT_AUTOW);
  autowDmax = 1 << 30, autowDmin = 1 << 29;  // above n / 2: lowered without a word
  EXPECT_EQ(CheckParametersFirstPass(), 0);
  EXPECT_EQ(autowDmax, 1 << 19);
  EXPECT_EQ(autowDmin, 1 << 19);
  EXPECT_EQ(autowSmax, 20);  // 8, 12, 16, 20
  EXPECT_GE(lnFactorialMax, 20);

  SoundParameters();
  EnableOnly(SLOT_OET);
  oetSmin = 12, oetSmax = 20;  // 0.963 ln(2^20) - 1.63 = 11.7: m at most 11
  EXPECT_EQ(CheckParametersFirstPass(), 0);
  EXPECT_EQ(oetSmax, 11);
  EXPECT_EQ(oetSmin, 11);

  EnableOnly(SLOT_DFT);
  dftM0 = 0, dftM1 = 1;
  EXPECT_EQ(CheckParametersFirstPass(), 0);
  EXPECT_EQ(dftFirstMode, 1);
  EXPECT_EQ(dftModeStep, 2);
  dftM0 = 1;
  EXPECT_EQ(CheckParametersFirstPass(), 0);
  EXPECT_EQ(dftFirstMode, 0);
  EXPECT_EQ(dftModeStep, 1);

  // At 2^20 bits, s = 8 leaves 93 gap classes over 1209 gap lengths (more
  // than 9 per class): 7 is the largest usable word size.
  EnableOnly(SLOT_BLKGAPDIS);
  blkGapDstSmax = 32;
  EXPECT_EQ(CheckParametersFirstPass(), 0);
  EXPECT_EQ(blkGapDstSmax, 7);

  // Short blocks of single bits at distance 1 move the serial test to m = 2,
  // also when short blocks itself is refused.
  for (int refused : {0, 1}) {
    SoundParameters();
    EnableOnly(SLOT_SHORTBLK);
    shortBlkSmin = 1, shortBlkDmin = 1, serialSmin = 1;
    if (refused) shortBlkSstp = 0;
    MessageCapture capture;
    EXPECT_EQ(CheckParametersFirstPass(), refused);
    EXPECT_EQ(serialSmin, 2) << refused;
  }
}

// The ln k! table follows what the sequence length can use, not the
// largest value the window accepts: no block size above n/7 can give a
// windowed autocorrelation job, no walk length above n/15 a walk statistic.
TEST_F(ParameterChecksTest, TheLnFactorialTableIsBoundedByTheSequenceLength) {
  seqLen = 1u << 16;
  EnableOnly(SLOT_AUTOW);
  autowSmax = 1 << 22;
  EXPECT_EQ(CheckParametersFirstPass(), 0);
  EXPECT_EQ(autowSmax, 9360);  // 8, 12, ... up to 65536 / 7 = 9362
  EXPECT_LE(lnFactorialMax, 9362);
  EXPECT_EQ(CheckParametersSecondPass(), 0);
  EXPECT_TRUE(testTable[SLOT_AUTOW].enabled);

  // A smallest block size beyond that keeps the length rule's refusal.
  autowSmin = autowSmax = 1 << 22;
  {
    MessageCapture capture;
    EXPECT_EQ(CheckParametersFirstPass(), 0);
    EXPECT_LE(lnFactorialMax, 9362);
    EXPECT_EQ(CheckParametersSecondPass(), 1);
    EXPECT_EQ(capture.Log().Find("Windowed autocorrelation: n >= "), 0) << capture.Log();
    EXPECT_FALSE(testTable[SLOT_AUTOW].enabled);
  }

  EnableOnly(SLOT_RW1D);
  zarWlkLmax = 1 << 22;
  EXPECT_EQ(CheckParametersFirstPass(), 0);
  EXPECT_EQ(zarWlkLmax, 4369);  // 65536 / 15
  EXPECT_LE(lnFactorialMax, 9362);
  EXPECT_TRUE(testTable[SLOT_RW1D].enabled);
}

TEST_F(ParameterChecksTest, DataFilesAreCheckedByTheirCrc) {
  for (const auto& [slot, file] : {std::pair{SLOT_COUPON, "DAT_coupon.bin"}, std::pair{SLOT_PARTITION, "DAT_partition.bin"},
                                   std::pair{SLOT_RW2D, "DAT_ZarWlk.bin"}}) {
    SCOPED_TRACE(file);
    EXPECT_TRUE(DataFileIsSound(file));
    // The last byte changed: refused with the data-file line.
    std::string bytes;
    {
      std::ifstream in(folder + "/" + file, std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::string changed = bytes;
    changed.back() ^= 1;
    std::ofstream(folder + "/" + file, std::ios::binary) << changed;
    EnableOnly(slot);
    {
      MessageCapture capture;
      EXPECT_EQ(CheckParametersFirstPass(), 1);
      EXPECT_EQ(std::string(capture.Log().utf8_str().data()),
                std::string("\n\t!! ERROR !!\n") + testTable[slot].name + ": file '" + file + "' not found or corrupted.\n");
      EXPECT_FALSE(testTable[slot].enabled);
    }
    // Restored, it passes again; missing or shorter than its header, it fails.
    std::ofstream(folder + "/" + file, std::ios::binary) << bytes;
    EXPECT_TRUE(DataFileIsSound(file));
    std::ofstream(folder + "/" + file, std::ios::binary) << "abc";
    EXPECT_FALSE(DataFileIsSound(file));
    remove((folder + "/" + file).c_str());
    EXPECT_FALSE(DataFileIsSound(file));
  }
}

TEST_F(ParameterChecksTest, TheCollisionLimitsFileBoundsTheSequenceCount) {
  EnableOnly(SLOT_COLLISION);
  seqCount = 1000;  // the second section takes it
  {
    MessageCapture capture;
    EXPECT_EQ(CheckParametersFirstPass(), 0);
    EXPECT_TRUE(testTable[SLOT_COLLISION].enabled);
  }
  seqCount = 1001;  // no section: logged, not counted
  {
    MessageCapture capture;
    EXPECT_EQ(CheckParametersFirstPass(), 0);
    EXPECT_EQ(capture.Log(),
              "The maximum number of sequences currently supported by the\nCOLLISION test is 1000.\nYou chosen 1001 "
              "sequences.\n");
    EXPECT_FALSE(testTable[SLOT_COLLISION].enabled);
  }
  remove((folder + "/DAT_collision_limits.txt").c_str());
  EnableOnly(SLOT_COLLISION);
  {
    MessageCapture capture;
    EXPECT_EQ(CheckParametersFirstPass(), 1);
    EXPECT_EQ(capture.Log(), "\n\t!! ERROR !!\nCollision: file 'DAT_collision_limits.txt' not found.\n");
  }
}

TEST_F(ParameterChecksTest, SecondPassRulesOnTheSequenceLength) {
  struct LengthCase {
    const char* what;
    int slot;
    std::function<void()> change;
    std::string log;
  };
  const LengthCase cases[] = {
      {"DFT", SLOT_DFT, [] { seqLen = 999; }, "DFT: n < 1000\n\n"},
      {"entropy", SLOT_OET, [] { seqLen = 63; }, "Overlapping entropy: n < 64\n\n"},
      {"Peak with 11 sequences", SLOT_PEAK, [] { seqCount = 11, seqLen = 128 * 1024 - 1; },
       "Peak: sequence length too short for 11 sequences; the test needs at least 128 kbits in 'Seq. len.'\n\n"},
      {"gap distance with 2000 sequences", SLOT_BLKGAPDIS, [] { seqCount = 2000; },
       "Block gap distance: sequence length too short for 2000 sequences; the test needs at least 1.5 Gbits in 'Seq. "
       "len.'\n\n"},
      // The window's largest count: 2575 e^(0.006674 * 9999) = 2.47e32 bits,
      // 2.30e23 after three divisions by 1024 (computed apart, in python3).
      {"gap distance with 9999 sequences", SLOT_BLKGAPDIS, [] { seqCount = 9999; },
       "Block gap distance: sequence length too short for 9999 sequences; the test needs at least 2.3e+23 Gbits in "
       "'Seq. len.'\n\n"},
      {"short blocks distance", SLOT_SHORTBLK, [] { seqLen = 10, shortBlkDmax = 8, shortBlkSmin = 2; },
       "Short blocks: distance min <= 5\n\n"},
      {"serial minimum", SLOT_SERIAL, [] { seqLen = 64, serialSmin = 5; }, "Serial: min <= 4\n\n"},
      {"autocorrelation distance", SLOT_AUTOW, [] { autowSmin = 8, autowDmax = 1 << 18, seqLen = 1u << 20; },
       "Windowed autocorrelation: distance min <= 131072\n\n"},
  };
  for (const auto& c : cases) {
    SoundParameters();
    EnableOnly(c.slot);
    c.change();
    EnsureLnFactorial(64);
    MessageCapture capture;
    EXPECT_EQ(CheckParametersSecondPass(), 1) << c.what;
    EXPECT_EQ(std::string(capture.Log().utf8_str().data()), c.log) << c.what;
    EXPECT_FALSE(testTable[c.slot].enabled) << c.what;
  }
  // Peak with exactly 10 sequences needs 32 kbit.
  SoundParameters();
  EnableOnly(SLOT_PEAK);
  seqLen = 32 * 1024;
  EXPECT_EQ(CheckParametersSecondPass(), 0);
}
