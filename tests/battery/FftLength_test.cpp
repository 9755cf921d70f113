#include "battery/FftLength.h"

#include <fstream>

#include "FftFixture.h"

namespace {

// Whether m is 2^a 3^b 5^c 7^d times at most one 11 or 13, by trial
// division: independent of the enumeration under test.
bool Admissible(uint64_t m) {
  if (m == 0) return false;
  for (uint64_t p : {2, 3, 5, 7})
    while (m % p == 0) m /= p;
  return m == 1 || m == 11 || m == 13;
}

uint32_t BruteForce(uint32_t n) {
  uint64_t m = n;
  while (!Admissible(m)) --m;
  return static_cast<uint32_t>(m);
}

}  // namespace

TEST(FftFriendlyLength, IsTheLargestAdmissibleLengthNotAbove) {
  struct Case {
    uint32_t n, expected;
  } cases[] = {
      {1u << 25, 1u << 25},   {1000001, 1000000}, {1000003, 1000000}, {0, 1}, {1, 1}, {17, 16}, {23, 22},
      {26, 26},               {143, 140},         {2 * 11 * 13, 280},  // 11 and 13 together are out
  };
  for (const auto& c : cases) EXPECT_EQ(LargestFftFriendlyLength(c.n), c.expected) << c.n;
  for (uint32_t n = 1; n < 3000; ++n) ASSERT_EQ(LargestFftFriendlyLength(n), BruteForce(n)) << n;
}

TEST(FftFriendlyLength, NearTwoToThe32NoProductWraps) {
  // 2 * 3^20 is 2,678,601,506 modulo 2^32: in 32 bits a false candidate.
  for (uint32_t n : {0xFFFFFFFFu, 0xFFFFFFFEu, 3486784401u, 3486784402u, 2678601506u, 2678601507u, 4000000000u,
                     0x80000001u}) {
    const uint32_t m = LargestFftFriendlyLength(n);
    EXPECT_LE(m, n);
    EXPECT_EQ(m, BruteForce(n)) << n;
  }
}

using FitFftLengthTest = FftFixture;

TEST_F(FitFftLengthTest, TruncatesThenOptimisesWithItsLogLines) {
  struct Case {
    uint32_t seqLen, maxLength, optLength, expected;
    std::vector<std::string> log;
  } cases[] = {
      {1000001, 0, 0, 1000000, {"DFT test: sequence length optimized to 1000000 bits (-1 bits)\n\n"}},
      {1000003, 0, 0, 1000000, {"DFT test: sequence length optimized to 1000000 bits (-3 bits)\n\n"}},
      {1000001, 0, 1000001, 1000001, {}},  // not above optLength: used as it is
      {5000, 0, 6000, 5000, {}},
      {1u << 25, 0, 0, 1u << 25, {}},  // already of the form
      {1000001, 1000001, 0, 1000000, {"DFT test: sequence length optimized to 1000000 bits (-1 bits)\n\n"}},
      {2000000, 1000003, 0, 1000000,
       {"DFT test: sequence length truncated to 1000003 bits\n\n",
        "DFT test: sequence length optimized to 1000000 bits (-3 bits)\n\n"}},
      {2000000, 1000003, 1 << 21, 1000003, {"DFT test: sequence length truncated to 1000003 bits\n\n"}},
  };
  for (const auto& c : cases) {
    Clear();
    seqLen = c.seqLen;
    uint32_t n = 0;
    FitFftLength("DFT", c.maxLength, c.optLength, n);
    EXPECT_EQ(n, c.expected) << c.seqLen;
    EXPECT_EQ(LogLines(), c.log) << c.seqLen;
  }
  Clear();
  seqLen = 0xFFFFFFFFu;
  uint32_t n = 0;
  FitFftLength("PEAK", 0, 0, n);
  EXPECT_EQ(n, BruteForce(0xFFFFFFFFu));
  ASSERT_EQ(LogLines().size(), 1u);
  EXPECT_EQ(LogLines()[0], "PEAK test: sequence length optimized to " + std::to_string(n) + " bits (" +
                               std::to_string(static_cast<long long>(n) - 0xFFFFFFFFll) + " bits)\n\n");
}

TEST_F(FitFftLengthTest, WisdomFileBesideTheProgram) {
  ASSERT_TRUE(ComposeWisdomPath());
  EXPECT_EQ(std::string(pathBuf), folderName + "/FFTWwisdom_f");
  // Absent: nothing shown; the export creates it; then it imports quietly.
  LoadFftWisdom();
  SaveFftWisdom();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(std::ifstream(pathBuf).good());
  LoadFftWisdom();
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(FitFftLengthTest, UnreadableOrUnwritableWisdomIsAWarningOnly) {
  ASSERT_TRUE(ComposeWisdomPath());
  std::ofstream(pathBuf) << "not wisdom at all\n";
  LoadFftWisdom();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "WARNING: wisdom not loaded.");
  EXPECT_EQ(Boxes()[0].caption, "Quorvane - DFT/PEAK test");
  EXPECT_EQ(Boxes()[0].style, wxOK | wxICON_INFORMATION);
  Clear();
  // A folder that does not exist: the export fails.
  std::string missing = folderName + "/no/such/folder";
  dataDir = missing.data();
  ASSERT_TRUE(ComposeWisdomPath());
  LoadFftWisdom();  // absent: silent
  SaveFftWisdom();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "WARNING: wisdom not saved.");
  EXPECT_EQ(Boxes()[0].caption, "Quorvane - DFT/PEAK test");
  Clear();
  // No folder, or a path too long for pathBuf: nothing is read, and the
  // export is reported as failed.
  dataDir = nullptr;
  EXPECT_FALSE(ComposeWisdomPath());
  EXPECT_STREQ(pathBuf, "");
  LoadFftWisdom();
  EXPECT_TRUE(Boxes().empty());
  std::string longName(PATH_BUF_SIZE, 'x');
  dataDir = longName.data();
  EXPECT_FALSE(ComposeWisdomPath());
  SaveFftWisdom();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "WARNING: wisdom not saved.");
}
