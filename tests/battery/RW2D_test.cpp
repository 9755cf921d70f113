#include "battery/RW2D.h"

#include <cmath>
#include <map>
#include <string>
#include <tuple>

#include "DatFixture.h"
#include "NullLaw.h"
#include "PartitionRw2dReference.h"

namespace {

// "DAT_ZarWlk.bin" with the exact whole tables of levels 1..3 from the
// reference, level 0 (a walk of length 0 ends at the origin) and stand-in
// one-point records for levels 4..6. `skip` leaves a level out; `cut`
// drops the last bytes (the CRC is taken of what is written).
Bytes ZarWlkPayload(int skip = -1, size_t cut = 0) {
  Bytes out;
  for (int level = 0; level <= 6; ++level) {
    if (level == skip) continue;
    const LevelRef* ref = nullptr;
    for (const auto& r : LEVEL_REF)
      if (r.level == level) ref = &r;
    out.U8(static_cast<uint8_t>(level));
    if (ref == nullptr) {
      out.I32(0);
      out.I32(1);
      out.F64(1.0);
      continue;
    }
    out.I32(ref->h);
    const double* p = ref->probs;
    for (int r = 0; r <= ref->h; ++r) {
      out.I32(ref->rowLength[r]);
      for (int k = 0; k < ref->rowLength[r]; ++k) out.F64(*p++);
    }
  }
  out.b.resize(out.b.size() - cut);
  return out;
}

class Rw2dTest : public DatFixture {
 protected:
  void SetUp() override {
    DatFixture::SetUp();
    WriteDat("DAT_ZarWlk.bin", ZarWlkPayload());
  }
  static void Levels(int lmin, int lmax, int lstp) {
    rw2dLmin = lmin;
    rw2dLmax = lmax;
    rw2dLstp = lstp;
  }
};

bool Failed(double p) { return p == PVALUE_FAIL || (p >= 0 && p < 1e-10); }

}  // namespace

TEST_F(Rw2dTest, EndPointLawAgreesWithEnumeration) {
  for (const auto& ref : WALK_END_REF)
    EXPECT_NEAR(WalkEndProbability2D(ref.n, ref.x, ref.y), ref.p, 1e-15 * ref.p)
        << ref.n << " " << ref.x << " " << ref.y;
  // Outside the reach of n steps, or of the wrong parity: 0.
  EXPECT_EQ(WalkEndProbability2D(4, 3, 2), 0.0);
  EXPECT_EQ(WalkEndProbability2D(5, 1, 1), 0.0);
  // Longer walks by logarithms: still a law (sums to 1 over the points).
  double total = 0;
  for (int x = -40; x <= 40; ++x)
    for (int y = -40; y <= 40; ++y) total += WalkEndProbability2D(40, x, y);
  EXPECT_NEAR(total, 1.0, 1e-12);
  EXPECT_NEAR(WalkEndProbability2D(40, 3, 5), WalkEndProbability2D(40, -5, 3), 1e-16);
}

TEST_F(Rw2dTest, AgreesWithTheReference) {
  for (const auto& ref : RW2D_CASES) {
    Levels(ref.lmin, ref.lmax, ref.lstp);
    Xorshift(ref.seed, ref.n);
    RW2D test;
    ASSERT_EQ(test.status, TEST_OK);
    EXPECT_EQ(test.fixedLength, ref.fixedLength);
    const auto pairs = Run(test, SLOT_RW2D);
    ASSERT_EQ(pairs.size(), static_cast<size_t>(ref.count)) << ref.n;
    for (int j = 0; j < ref.count; ++j) {
      EXPECT_EQ(pairs[j].label, ref.results[j].label);
      EXPECT_NEAR(pairs[j].p, ref.results[j].p, 1e-9 * std::abs(ref.results[j].p) + 1e-14) << pairs[j].label;
    }
    // A second sequence with the same object gives the same results: the
    // counters were set back.
    const auto again = Run(test, SLOT_RW2D);
    ASSERT_EQ(again.size(), pairs.size());
    for (size_t j = 0; j < pairs.size(); ++j) EXPECT_EQ(again[j].p, pairs[j].p);
  }
}

TEST_F(Rw2dTest, FixedLengthAndLevelCaps) {
  struct Case {
    uint32_t n;
    int lmin, lmax, lstp;
    int fixedLength;
    std::vector<int> levels;
    int lmaxAfter;
  } cases[] = {
      {1u << 20, 1, 6, 1, 8, {1, 2, 3, 4, 5, 6}, 6},
      {1u << 24, 1, 6, 1, 10, {1, 2, 3, 4, 5, 6}, 6},
      {100000, 1, 6, 1, 6, {1, 2, 3, 4, 5}, 5},  // the first cap keeps 6, the length lowers it
      {800, 1, 6, 1, 4, {1, 2, 3, 4}, 4},        // the first cap lowers it, the length does not
      {100000, 1, 6, 2, 6, {1, 3, 5}, 5},        // level 2, read and dropped
      {100000, 6, 6, 1, 6, {6}, 6},              // min above the length cap: the first cap holds
      {3000, 1, 6, -1, 4, {1, 2}, 2},
      {10, 1, 6, 1, 2, {1}, 1},                  // only level 1 passes the first cap
      {3, 2, 6, 1, 2, {2}, 2},                   // none passes: min
      {1u << 20, 1, 9, 1, 8, {1, 2, 3, 4, 5, 6}, 6},  // no table above level 6
      {1u << 20, 1, 6, 0, 8, {}, 6},             // step 0: no random-length walk
  };
  for (const Case& c : cases) {
    Levels(c.lmin, c.lmax, c.lstp);
    Zeros(c.n);
    RW2D test;
    EXPECT_EQ(test.status, TEST_OK);
    EXPECT_EQ(test.fixedLength, c.fixedLength) << c.n;
    EXPECT_EQ(test.levels, c.levels) << c.n << " " << c.lstp;
    EXPECT_EQ(rw2dLmax, c.lmaxAfter) << c.n << " " << c.lstp;
    for (int level : c.levels) EXPECT_GE(test.tables[level].h, 0);
    EXPECT_EQ(Run(test, SLOT_RW2D).size(), 1 + c.levels.size());
  }
}

TEST_F(Rw2dTest, TooFewWalksGiveShortNotOne) {
  // 24 bits: six walks of 2 steps, whose 13 points expect 6 x 1/16 .. 6 x
  // 4/16: at most one class; level 1 reads a handful of walks.
  Levels(1, 1, 1);
  Xorshift(3, 24);
  RW2D test;
  ASSERT_EQ(test.fixedLength, 2);
  const auto pairs = Run(test, SLOT_RW2D);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].label, "RW2D_fix 2");
  EXPECT_EQ(pairs[0].p, PVALUE_SHORT);
  EXPECT_EQ(pairs[1].label, "RW2D_zar 1");
  EXPECT_EQ(pairs[1].p, PVALUE_SHORT);
  // An empty sequence makes no walk at all.
  Zeros(0);
  RW2D empty;
  const auto none = Run(empty, SLOT_RW2D);
  ASSERT_EQ(Labels(none), (std::vector<std::string>{"RW2D_fix 2", "RW2D_zar 1"}));
  for (const auto& pair : none) EXPECT_EQ(pair.p, PVALUE_SHORT) << pair.label;
}

TEST_F(Rw2dTest, AFileThatChangedOrLacksALevelDisablesTheTestWithItsBox) {
  Levels(1, 3, 1);
  Xorshift(1, 20000);
  struct Case {
    const char* what;
    Bytes payload;
    size_t at;
    unsigned char flip;
    bool present;
  } cases[] = {
      {"missing", ZarWlkPayload(), 0, 0, false},
      {"changed after its check", ZarWlkPayload(), 100, 0x01, true},
      {"lacks level 2", ZarWlkPayload(2), 0, 0, true},
      {"ends early", ZarWlkPayload(-1, 3 * 17 + 100), 0, 0, true},  // within level 3
  };
  for (const Case& c : cases) {
    unlink((folder + "/DAT_ZarWlk.bin").c_str());
    if (c.present) WriteDat("DAT_ZarWlk.bin", c.payload, c.at, c.flip);
    Boxes().clear();
    Levels(1, 3, 1);
    RW2D test;
    EXPECT_EQ(test.status, TEST_DISABLED) << c.what;
    ASSERT_EQ(Boxes().size(), 1u) << c.what;
    EXPECT_EQ(Boxes()[0],
              "Quorvane - RW2D test ERROR: The file 'DAT_ZarWlk.bin' cannot be read, has changed since it was "
              "checked or lacks a level asked for.\nThe test will be disabled.");
  }
  // Levels not asked for may be missing.
  WriteDat("DAT_ZarWlk.bin", ZarWlkPayload(2));
  Boxes().clear();
  Levels(1, 3, 2);
  RW2D test;
  EXPECT_EQ(test.status, TEST_OK);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(Rw2dTest, NullLawIsUniform) {
  Levels(1, 3, 1);
  seqLen = 15000;
  RW2D test;
  ExpectUniformNullLaw(test, SLOT_RW2D, 15000, 400, 41);
}

TEST_F(Rw2dTest, PlainlyBadSequencesFail) {
  Levels(1, 3, 1);
  auto expectFail = [&](const char* what) {
    RW2D test;
    const auto pairs = Run(test, SLOT_RW2D);
    ASSERT_EQ(pairs.size(), 4u) << what;
    for (const auto& pair : pairs) EXPECT_TRUE(Failed(pair.p)) << what << " " << pair.label << " " << pair.p;
  };
  Zeros(15000);  // every walk goes left; every length is 0
  expectFail("constant");
  std::string periodic;
  for (int j = 0; j < 1875; ++j) periodic += "01101100";  // steps 1, 2, 3, 0 over and over
  FromText(periodic);
  expectFail("periodic");
  // Steps to the right more often than the others.
  Zeros(15000);
  uint32_t x = 99;
  for (uint32_t t = 0; t < seqLen; t += 2) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    const uint32_t step = (x & 7) < 3 ? 1 : (x >> 3) & 3;  // 1 with probability 3/8 + 5/32
    if (step & 2) words[t >> 5] |= 1u << (t & 31);
    if (step & 1) words[(t + 1) >> 5] |= 1u << ((t + 1) & 31);
  }
  RW2D biased;
  const auto pairs = Run(biased, SLOT_RW2D);
  ASSERT_EQ(pairs.size(), 4u);
  EXPECT_TRUE(Failed(pairs[0].p)) << pairs[0].p;
  EXPECT_TRUE(Failed(pairs[3].p)) << pairs[3].p;
}

TEST_F(Rw2dTest, TheBuiltFileHasTheLayoutAndTheExactLaw) {
  if (!BuiltFile("DAT_ZarWlk.bin")) GTEST_SKIP() << "DAT_ZarWlk.bin not built";
  dataDir = const_cast<char*>(QV_BIN_DIR);
  std::vector<unsigned char> payload;
  ASSERT_TRUE(ReadDatFile("DAT_ZarWlk.bin", payload));
  DatReader in(payload);
  std::map<std::tuple<int, int, int>, double> spots;
  for (const auto& s : LEVEL_SPOTS) spots[{s.level, std::abs(s.x), std::abs(s.y)}] = s.p;
  int spotsSeen = 0;
  std::vector<double> row;
  for (int level = 0; level <= 6; ++level) {
    ASSERT_EQ(in.U8(), level);
    const int h = in.I32();
    ASSERT_TRUE(in.Ok());
    ASSERT_GE(h, 0);
    ASSERT_LT(h, 1 << (2 * level));
    const LevelRef* exact = nullptr;
    for (const auto& r : LEVEL_REF)
      if (r.level == level) exact = &r;
    const double* p = exact != nullptr ? exact->probs : nullptr;
    for (int r = 0; r <= h; ++r) {
      const int m = in.I32();
      ASSERT_TRUE(in.Ok());
      if (m == 0) break;
      row.resize(m);
      ASSERT_TRUE(in.Doubles(row.data(), m));
      if (exact != nullptr) {
        ASSERT_LE(m, exact->rowLength[r]);
        for (int k = 0; k < m; ++k) EXPECT_NEAR(row[k], p[k], 1e-13 * p[k] + 1e-300) << level << " " << r << " " << k;
        p += exact->rowLength[r];
      }
      for (int k = 0; k < m; ++k) {
        const auto s = spots.find({level, r, k});
        if (s == spots.end()) continue;
        EXPECT_NEAR(row[k], s->second, 1e-12 * s->second) << level << " " << r << " " << k;
        ++spotsSeen;
      }
    }
  }
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(spotsSeen, static_cast<int>(std::size(LEVEL_SPOTS)));
}

TEST_F(Rw2dTest, NullLawWithTheBuiltFile) {
  if (!BuiltFile("DAT_ZarWlk.bin")) GTEST_SKIP() << "DAT_ZarWlk.bin not built";
  dataDir = const_cast<char*>(QV_BIN_DIR);
  Levels(1, 6, 1);
  seqLen = 1 << 20;
  RW2D test;
  ASSERT_EQ(test.status, TEST_OK);
  ExpectUniformNullLaw(test, SLOT_RW2D, 1 << 20, 150, 42);
}
