#include "battery/COUPON.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "CouponCollisionReference.h"
#include "NullLaw.h"
#include "SequenceFixture.h"
#include "battery/Messages.h"

namespace {

std::vector<std::string> boxes;
int Answer(const wxString& text, const wxString& caption, long style) {
  boxes.push_back(caption.ToStdString() + ": " + text.ToStdString());
  return wxOK;
}

}  // namespace

// The tables come from the built "DAT_coupon.bin" (QV_BIN_DIR).
class CouponTest : public SequenceFixture {
 protected:
  MessageBoxHandler oldHandler = nullptr;
  std::string binDir = QV_BIN_DIR;
  void SetUp() override {
    boxes.clear();
    oldHandler = SetMessageBoxHandler(Answer);
    dataDir = binDir.data();
  }
  void TearDown() override {
    dataDir = nullptr;
    SetMessageBoxHandler(oldHandler);
    SequenceFixture::TearDown();
  }
  static void SetGrid(int smin, int smax, int sstp) {
    couponSmin = smin;
    couponSmax = smax;
    couponSstp = sstp;
  }
  // n bits of s-bit words cycling through `pattern`.
  void Words(uint32_t n, int s, const std::vector<uint32_t>& pattern) {
    Zeros(n);
    for (uint32_t i = 0; (i + 1) * s <= n; ++i) {
      const uint32_t v = pattern[i % pattern.size()];
      for (int k = 0; k < s; ++k)
        if ((v >> (s - 1 - k)) & 1) words[(i * s + k) >> 5] |= 1u << ((i * s + k) & 31);
    }
  }
};

TEST_F(CouponTest, AgreesWithTheIndependentReference) {
  for (const auto& ref : COUPON_REF) {
    SetGrid(ref.s, ref.s, 1);
    Xorshift(ref.seed, ref.n);
    COUPON test;
    ASSERT_EQ(test.status, TEST_OK);
    const auto pairs = Run(test, SLOT_COUPON);
    ASSERT_EQ(pairs.size(), 1u) << ref.seed;
    EXPECT_EQ(pairs[0].label, "Coupon " + std::to_string(ref.s));
    EXPECT_NEAR(pairs[0].p, ref.p, 1e-9 * ref.p) << ref.seed << " " << ref.n;
  }
}

TEST_F(CouponTest, WalkReadsTheRecordsOfItsWordSizes) {
  struct Case {
    int smin, smax, sstp;
    std::vector<int> sizes;
  };
  const Case cases[] = {
      {2, 16, 1, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
      {2, 16, -1, {2, 4, 8, 16}},
      {3, 20, 5, {3, 8, 13}},
      {14, 30, 1, {14, 15, 16}},  // the file ends at 16
      {17, 20, 1, {}},
  };
  for (const Case& c : cases) {
    SetGrid(c.smin, c.smax, c.sstp);
    COUPON test;
    ASSERT_EQ(test.status, TEST_OK);
    std::vector<int> sizes;
    for (const auto& t : test.tables) {
      sizes.push_back(t.s);
      EXPECT_GE(t.lo, 1 << t.s);
      EXPECT_GT(t.hi, t.lo);
      EXPECT_EQ(t.p.size(), size_t(t.hi - t.lo + 1));
    }
    EXPECT_EQ(sizes, c.sizes) << c.smin << " " << c.sstp;
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(CouponTest, NoCollectionIsAFailureAndTooFewAreShort) {
  SetGrid(2, 2, 1);
  // 120 mean collections are expected, but 3 never appears: a certain failure.
  Words(2000, 2, {0, 1, 2});
  COUPON test;
  auto pairs = Run(test, SLOT_COUPON);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].p, PVALUE_FAIL);
  // Two collections only where 84 are expected: no class closes, no
  // statistic.
  std::vector<uint32_t> rare(700, 0);
  for (int i = 0; i < 700; ++i) rare[i] = i % 3;
  rare[50] = 3;
  rare[400] = 3;
  Words(1400, 2, rare);
  pairs = Run(test, SLOT_COUPON);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].p, PVALUE_SHORT);
  // Fewer than 80 mean collections (8.33 words each): nothing at all.
  Xorshift(3, 2 * 666 + 1);
  EXPECT_TRUE(Run(test, SLOT_COUPON).empty());
  Xorshift(3, 2 * 667);
  EXPECT_EQ(Run(test, SLOT_COUPON).size(), 1u);
}

TEST_F(CouponTest, TheLastTwoWordsNeverCount) {
  // 4000 bits hold 2000 words of 2 bits; only the words that end before bit
  // 4000 - 2 count, so words 1998 and 1999 (bits 3996 .. 3999) never do.
  SetGrid(2, 2, 1);
  COUPON test;
  Xorshift(12, 4000);
  const auto before = Run(test, SLOT_COUPON);
  words[3996 / 32] ^= 0xFu << (3996 % 32);
  const auto after = Run(test, SLOT_COUPON);
  ASSERT_EQ(before.size(), 1u);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(before[0].p, after[0].p);
}

TEST_F(CouponTest, UnreadableFileDisablesWithABox) {
  char pattern[] = "/tmp/qv_coupon_XXXXXX";
  const std::string folder = mkdtemp(pattern);
  const std::string path = folder + "/DAT_coupon.bin";
  // A header, then a record head whose probabilities are cut off.
  std::ofstream(path, std::ios::binary) << std::string("\0\0\0\0\2\4\0\0\0\x55\x55\x05\x41\x56\0\0\0", 17);
  dataDir = const_cast<char*>(folder.c_str());
  SetGrid(2, 4, 1);
  COUPON truncated;
  EXPECT_EQ(truncated.status, TEST_DISABLED);
  std::remove(path.c_str());
  COUPON missing;
  EXPECT_EQ(missing.status, TEST_DISABLED);
  rmdir(folder.c_str());
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], "Quorvane - COUPON test ERROR: File 'DAT_coupon.bin' cannot be read.\nThe test will be disabled.");
}

// A record with more probabilities than the file holds is refused before
// room is made for them, and so is a record whose lo is not below its mean
// or whose values are not all probabilities.
TEST_F(CouponTest, CorruptRecordDisablesWithABox) {
  struct Case {
    int32_t lo, hi;
    double second;
  };
  const Case cases[] = {{4, 0x7FFFFFFF, 0.25}, {0x7FFFFF00, 0x7FFFFF03, 0.25}, {4, 7, -0.5},
                        {4, 7, 1.5},         {4, 7, std::nan("")},            {4, 7, 0.25}};
  char pattern[] = "/tmp/qv_coupon_XXXXXX";
  const std::string folder = mkdtemp(pattern);
  const std::string path = folder + "/DAT_coupon.bin";
  dataDir = const_cast<char*>(folder.c_str());
  SetGrid(2, 2, 1);
  for (const Case& c : cases) {
    // A header, the record of s = 2 (lo, mean 8.33, hi) with four
    // probabilities, and the end mark.
    std::string file(4, '\0');
    auto put = [&file](const void* p, size_t n) { file.append(static_cast<const char*>(p), n); };
    const unsigned char s = 2;
    const float mean = 8.33f;
    put(&s, 1);
    put(&c.lo, 4);
    put(&mean, 4);
    put(&c.hi, 4);
    for (double p : {0.25, c.second, 0.25, 0.25}) put(&p, 8);
    file.push_back('\0');
    std::ofstream(path, std::ios::binary) << file;
    boxes.clear();
    COUPON test;
    const bool sound = c.lo == 4 && c.hi == 7 && c.second == 0.25;
    EXPECT_EQ(test.status, sound ? TEST_OK : TEST_DISABLED) << c.lo << " " << c.hi << " " << c.second;
    EXPECT_EQ(boxes.size(), sound ? 0u : 1u) << c.lo << " " << c.hi << " " << c.second;
    EXPECT_EQ(test.tables.size(), sound ? 1u : 0u) << c.lo << " " << c.hi << " " << c.second;
  }
  std::remove(path.c_str());
  rmdir(folder.c_str());
}

TEST_F(CouponTest, NullLawIsUniform) {
  SetGrid(2, 16, 1);
  COUPON test;
  const auto law = ExpectUniformNullLaw(test, SLOT_COUPON, 1 << 16, 400, 41);
  EXPECT_EQ(law.size(), 4u);  // s = 2 .. 5 reach 80 mean collections
}

// The largest word size judged has the fewest collections; there the
// chi-square law is roughest. 146048 bits hold 80.2 mean collections of
// 6-bit words and 30.0 of 7-bit words: with 30 collections the p-values of
// 10^4 sequences are plainly not uniform (KS about 1e-9 for this seed), so
// 7-bit words must not be judged, while 6-bit words at 80 are uniform.
TEST_F(CouponTest, NullLawIsUniformAtTheLeastCollections) {
  SetGrid(6, 7, 1);
  COUPON test;
  const auto law = ExpectUniformNullLaw(test, SLOT_COUPON, 146048, 10000, 3);
  EXPECT_EQ(law.size(), 1u);
  EXPECT_EQ(law.count("Coupon 6"), 1u);
}

TEST_F(CouponTest, PlainlyBadSequencesFail) {
  SetGrid(2, 4, 1);
  COUPON test;
  // Ones with probability 9/16.
  Zeros(1 << 18);
  uint32_t x = 777;
  for (uint32_t t = 0; t < seqLen; ++t) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    if ((x & 15) < 9) words[t >> 5] |= 1u << (t & 31);
  }
  const std::vector<std::string> labels = {"Coupon 2", "Coupon 3", "Coupon 4"};
  ExpectRejected(Run(test, SLOT_COUPON), labels, 1e-6);
  // Periodic: every collection as short as can be.
  Words(1 << 16, 4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
  ExpectRejected(Run(test, SLOT_COUPON), labels);
}
