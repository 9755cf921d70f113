#include "battery/COLLISION.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <set>
#include <vector>
#include <string>

#include "CouponCollisionReference.h"
#include "DataFilesReference.h"
#include "NullLaw.h"
#include "SequenceFixture.h"
#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "battery/Messages.h"

namespace {

std::vector<std::string> boxes;
int Answer(const wxString& text, const wxString& caption, long style) {
  boxes.push_back(caption.ToStdString() + ": " + text.ToStdString());
  EXPECT_TRUE(style & wxICON_EXCLAMATION);
  return wxOK;
}

}  // namespace

// Limits read from the built "DAT_collision_limits.txt" (QV_BIN_DIR) or
// from a file of the test's own in a scratch folder.
class CollisionTest : public SequenceFixture {
 protected:
  MessageBoxHandler oldHandler = nullptr;
  std::string folder;
  std::string binDir = QV_BIN_DIR;
  void SetUp() override {
    boxes.clear();
    oldHandler = SetMessageBoxHandler(Answer);
    char pattern[] = "/tmp/qv_collision_XXXXXX";
    folder = mkdtemp(pattern);
    dataDir = binDir.data();
    seqCount = 10;
  }
  void TearDown() override {
    std::remove((folder + "/DAT_collision_limits.txt").c_str());
    rmdir(folder.c_str());
    dataDir = nullptr;
    SetMessageBoxHandler(oldHandler);
    SequenceFixture::TearDown();
  }
  void OwnLimits(const std::string& text) {
    std::ofstream(folder + "/DAT_collision_limits.txt") << text;
    dataDir = folder.data();
  }
  static void SetGrid(int smin, int smax, int sstp) {
    collisionSmin = smin;
    collisionSmax = smax;
    collisionSstp = sstp;
  }
};

TEST_F(CollisionTest, ExactLawReproducesKnuthsTable) {
  // TAOCP 3.3.2 I: 2^20 cells, 2^14 words; .009 .043 .244 .476 .742 .946 .989.
  COLLISION test;
  for (const auto& ref : COLLISION_KNUTH_REF) {
    EXPECT_FALSE(CollisionUsesNormal(20, 1 << 14));
    const double p = CollisionPValue(test, 20, 1u << 20, 1u << 14, ref.b);
    EXPECT_NEAR(p, ref.p, 1e-11) << ref.b;  // the law's band is cut at 1e-15
  }
  const double published[] = {.009, .043, .244, .476, .742, .946, .989};
  for (int i = 0; i < 7; ++i)
    EXPECT_NEAR(CollisionPValue(test, 20, 1u << 20, 1u << 14, COLLISION_KNUTH_REF[i].b), published[i], 0.0006);
}

TEST_F(CollisionTest, ExactLawAgreesWithTheReferenceEverywhere) {
  COLLISION test;
  for (const auto& ref : COLLISION_LAW_REF)
    EXPECT_NEAR(CollisionPValue(test, ref.s, 1u << ref.s, ref.n, ref.b), ref.p, 1e-12 + 1e-9 * ref.p)
        << ref.s << " " << ref.n << " " << ref.b;
  // Beyond the kept band: no collision at all with 700 words in 1024 cells
  // is below the band (0), every word in one cell is above it (1).
  EXPECT_EQ(CollisionPValue(test, 10, 1024, 700, 0), 0.0);
  EXPECT_EQ(CollisionPValue(test, 10, 1024, 700, 699), 1.0);
  // One word: no collision and the p-value 1.
  EXPECT_EQ(CollisionPValue(test, 12, 4096, 1, 0), 1.0);
}

TEST_F(CollisionTest, MomentsKeepTheirPrecisionForManyCells) {
  // Against mpmath at 60 digits; the direct form c (c h + g - h - c g^2)
  // gives about 2560 instead of 2090.6 at s = 31, n = 3 10^6.
  for (const auto& ref : COLLISION_MOMENT_REF) {
    double mean, variance;
    CollisionMoments(std::ldexp(1.0, ref.s), ref.n, mean, variance);
    EXPECT_NEAR(mean, ref.mean, 1e-11 * ref.mean) << ref.s << " " << ref.n;
    EXPECT_NEAR(variance, ref.variance, 1e-10 * ref.variance) << ref.s << " " << ref.n;
  }
  const double c = std::ldexp(1.0, 31), n = 3e6;
  const double g = std::exp(n * std::log(1 - 1 / c)), h = std::exp(n * std::log(1 - 2 / c));
  const double naive = c * (c * h + g - h - c * g * g);
  EXPECT_GT(std::fabs(naive - 2090.6019772427985), 10.0);  // the fault this form mends
}

TEST_F(CollisionTest, NormalApproximationTakesOverAboveQ) {
  EXPECT_FALSE(CollisionUsesNormal(17, 0xFFFFFFFFu));
  EXPECT_TRUE(CollisionUsesNormal(18, 1u << 19));
  EXPECT_FALSE(CollisionUsesNormal(18, 1u << 18));
  EXPECT_TRUE(CollisionUsesNormal(31, 3000000));
  EXPECT_FALSE(CollisionUsesNormal(31, 2800000));
  // At its threshold the approximation agrees with the exact law of the
  // same count to within the discreteness of the law.
  COLLISION test;
  double mean, variance;
  CollisionMoments(std::ldexp(1.0, 18), 1 << 18, mean, variance);
  const uint32_t b = static_cast<uint32_t>(mean);
  const double exact = CollisionPValue(test, 18, 1u << 18, 1u << 18, b);
  EXPECT_NEAR(exact, NormalCdf((b - mean) / std::sqrt(variance)), 0.01);
}

TEST_F(CollisionTest, AgreesWithTheReferenceOnFixedSequences) {
  for (const auto& ref : COLLISION_REF) {
    Xorshift(ref.seed, ref.s * ref.n + 32);
    char text[64];
    std::snprintf(text, sizeof text, "1\n%2d\t%u\t%u\n#\n", ref.s, ref.n, ref.n);
    OwnLimits(text);
    seqCount = 1;
    SetGrid(1, 31, 1);
    COLLISION test;
    ASSERT_EQ(test.status, TEST_OK);
    EXPECT_EQ(test.CountCollisions(ref.s, ref.n), ref.collisions);
    const auto pairs = Run(test, SLOT_COLLISION);
    ASSERT_EQ(pairs.size(), 1u);
    char label[32];
    std::snprintf(label, sizeof label, "Collision %d_%.1f", ref.s, std::log2(double(ref.n)));
    EXPECT_EQ(pairs[0].label, label);
    EXPECT_NEAR(pairs[0].p, ref.p, 1e-10);
  }
}

TEST_F(CollisionTest, BitmapAndSortedCountsAgreeWithASet) {
  Xorshift(99, 1 << 20);
  COLLISION test;
  for (int s : {3, 9, 16, 20, 24, 31})
    for (uint32_t n : {1u, 2u, 1000u, 30000u}) {
      if (uint64_t(n) * s > seqLen) continue;
      std::set<uint32_t> distinct;
      for (uint32_t i = 0; i < n; ++i) distinct.insert(ReadBits(seqBits, uint64_t(i) * s, s));
      EXPECT_EQ(test.CountCollisions(s, n), n - distinct.size()) << s << " " << n;
    }
}

TEST_F(CollisionTest, ReadsTheBuiltLimitsFile) {
  // The section is the first whose count reaches seqCount.
  for (const auto& ref : COLLISION_LIMIT_REF) {
    seqCount = ref.K;
    seqLen = 0xFFFFFFFFu;
    SetGrid(1, 31, 1);
    COLLISION test;
    ASSERT_EQ(test.status, TEST_OK) << ref.K;
    EXPECT_EQ(test.minWords[ref.s], ref.least) << ref.K << " " << ref.s;
    EXPECT_EQ(test.maxWords[ref.s], ref.most) << ref.K << " " << ref.s;
  }
  seqCount = 11;  // above 10: the section of 30
  SetGrid(1, 31, 1);
  COLLISION test;
  EXPECT_EQ(collisionSmin, 13);
  EXPECT_EQ(collisionSmax, 31);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(CollisionTest, SectionsRangesAndShortSequences) {
  OwnLimits(
      "5\n 4\t10\t100\n 5\t10\t100\n#\n"
      "20\n 6\t10\t100\n 9\t50\tnote\t200\n 7\t10\t300\n#\n");
  struct Case {
    int count, smin, smax, sstp;
    uint32_t n;
    int wantMin, wantMax;
    const char* labels;  // joined with ';'
  };
  const Case cases[] = {
      {5, 1, 31, 1, 1000, 4, 5, "Collision 4_6.6;Collision 5_6.6;"},
      {6, 1, 31, 1, 1000, 6, 9, "Collision 6_6.6;Collision 7_7.1;Collision 9_6.8;"},  // 8 is not listed
      {20, 7, 8, 1, 1000, 7, 8, "Collision 7_7.1;"},
      {20, 1, 31, -1, 1000, 6, 9, "Collision 6_6.6;"},  // from 6 doubling: 6, 12
      {20, 1, 31, 1, 400, 6, 9, "Collision 6_6.0;Collision 7_5.8;"},  // 400 / 9 = 44 < 50
  };
  for (const Case& c : cases) {
    seqCount = c.count;
    SetGrid(c.smin, c.smax, c.sstp);
    Xorshift(5, c.n);
    COLLISION test;
    ASSERT_EQ(test.status, TEST_OK) << c.count;
    EXPECT_EQ(collisionSmin, c.wantMin);
    EXPECT_EQ(collisionSmax, c.wantMax);
    std::string labels;
    for (const Pair& p : Run(test, SLOT_COLLISION)) {
      labels += p.label + ";";
      EXPECT_GE(p.p, 0.0);
      EXPECT_LE(p.p, 1.0);
    }
    EXPECT_EQ(labels, c.labels) << c.count;
  }
  // Too short for every word size: a box and the test disabled.
  seqCount = 20;
  SetGrid(1, 31, 1);
  Xorshift(5, 40);
  COLLISION shortOne;
  EXPECT_EQ(shortOne.status, TEST_DISABLED);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Quorvane - COLLISION test ERROR: Sequence too short.\nThe test will be disabled.");
}

TEST_F(CollisionTest, CountsThatAreNotNumbersReadAsZero) {
  // strtod reads "nan": such a count is 0, never a conversion of NaN.
  OwnLimits("5\n 4\tnan\t100\n 5\t10\tnAn\n#\n");
  seqCount = 5;
  SetGrid(1, 31, 1);
  Xorshift(5, 1000);
  COLLISION test;
  EXPECT_EQ(test.minWords[4], 0u);
  EXPECT_EQ(test.maxWords[4], 100u);
  EXPECT_EQ(test.minWords[5], 10u);
  EXPECT_EQ(test.maxWords[5], 0u);
}

TEST_F(CollisionTest, MissingFileOrNoSectionDisables) {
  dataDir = folder.data();  // no limits file there
  COLLISION missing;
  EXPECT_EQ(missing.status, TEST_DISABLED);
  OwnLimits("10\n12\t100\t200\n#\n");
  seqCount = 11;
  COLLISION noSection;
  EXPECT_EQ(noSection.status, TEST_DISABLED);
  EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(CollisionTest, NullLawIsUniform) {
  // 300 sequences: the section of 300 (word sizes 16 and up); 2^20 bits
  // reach its least words for s = 16 and 17, both under the exact law.
  seqCount = 300;
  SetGrid(1, 31, 1);
  seqLen = 1 << 20;
  COLLISION test;
  ASSERT_EQ(test.status, TEST_OK);
  const auto law = ExpectUniformNullLaw(test, SLOT_COLLISION, 1 << 20, 300, 31);
  EXPECT_EQ(law.size(), 2u);
}

TEST_F(CollisionTest, PlainlyBadSequencesFail) {
  seqCount = 10;
  SetGrid(12, 12, 1);
  // A counter: every word distinct, far too few collisions.
  Zeros(1 << 16);
  for (uint32_t i = 0; i < seqLen / 12; ++i)
    for (int k = 0; k < 12; ++k)
      if ((i >> (11 - k)) & 1) words[(12 * i + k) >> 5] |= 1u << ((12 * i + k) & 31);
  COLLISION counter;
  ExpectRejected(Run(counter, SLOT_COLLISION), {"Collision 12_12.4"});
  // Constant: every word collides, as many collisions as can be.
  Zeros(1 << 16);
  COLLISION constant;
  const auto pairs = Run(constant, SLOT_COLLISION);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].p, 1.0);
}
