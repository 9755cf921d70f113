#include "battery/PARTITION.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <string>
#include <vector>

#include "DatFixture.h"
#include "NullLaw.h"
#include "PartitionRw2dReference.h"

namespace {

// Writes "DAT_partition.bin": the exact tables of k = 2..5 from the
// reference; for k = 6..13 a stand-in law of min(i, 4) equally likely
// counts, usable for i >= 4 exactly when a pair has at least 30 groups. `drop`
// leaves out the last bytes (the CRC is taken of what is written); `tail`
// appends bytes after the last record.
Bytes PartitionPayload(size_t drop = 0, int tail = 0, bool badRange = false) {
  std::map<std::pair<int, int>, const PartitionRecordRef*> exact;
  for (const auto& r : PARTITION_RECORDS) exact[{r.k, r.i}] = &r;
  Bytes out;
  for (int k = 2; k <= 13; ++k)
    for (int i = 2; i <= 1 << k; ++i) {
      out.U8(static_cast<uint8_t>(k));
      out.U16(static_cast<uint16_t>(i));
      const auto found = exact.find({k, i});
      if (found != exact.end()) {
        const PartitionRecordRef& r = *found->second;
        out.U16(static_cast<uint16_t>(r.rmin));
        out.U16(static_cast<uint16_t>(badRange && k == 3 && i == 5 ? 6 : r.rmax));
        for (int j = 0; j <= r.rmax - r.rmin; ++j) out.F64(PARTITION_PROBS[r.offset + j]);
      } else {
        const int top = std::min(i, 4);
        out.U16(1);
        out.U16(static_cast<uint16_t>(top));
        for (int j = 0; j < top; ++j) out.F64(1.0 / top);
      }
    }
  out.b.resize(out.b.size() - drop);
  for (int j = 0; j < tail; ++j) out.U8(0);
  return out;
}

class PartitionTest : public DatFixture {
 protected:
  void SetUp() override {
    DatFixture::SetUp();
    WriteDat("DAT_partition.bin", PartitionPayload());
  }
  static void Params(int smin, int smax, int sstp, int knum) {
    partitionSmin = smin;
    partitionSmax = smax;
    partitionSstp = sstp;
    partitionKnum = knum;
  }
};

}  // namespace

TEST_F(PartitionTest, AgreesWithTheReference) {
  for (const auto& ref : PARTITION_CASES) {
    Params(ref.smin, ref.smax, ref.sstp, ref.knum);
    Xorshift(ref.seed, ref.n);
    PARTITION test;
    ASSERT_EQ(test.status, TEST_OK);
    const auto pairs = Run(test, SLOT_PARTITION);
    ASSERT_EQ(pairs.size(), static_cast<size_t>(ref.count)) << ref.seed;
    for (int j = 0; j < ref.count; ++j) {
      EXPECT_EQ(pairs[j].label, ref.results[j].label);
      EXPECT_NEAR(pairs[j].p, ref.results[j].p, 1e-9 * ref.results[j].p + 1e-14) << pairs[j].label;
    }
    // The same results with the values read straight from the sequence, for
    // every k or only for the k whose buffers no longer fit.
    const uint64_t limit = PARTITION::valueBufferLimit;
    for (uint64_t smaller : {uint64_t{0}, uint64_t{ref.n} / 4}) {
      PARTITION::valueBufferLimit = smaller;
      PARTITION streamed;
      PARTITION::valueBufferLimit = limit;
      const auto again = Run(streamed, SLOT_PARTITION);
      ASSERT_EQ(again.size(), pairs.size());
      for (size_t j = 0; j < pairs.size(); ++j) EXPECT_EQ(again[j].p, pairs[j].p) << smaller;
    }
  }
}

TEST_F(PartitionTest, JobListAndGrid) {
  // The stand-in tables of k >= 6 are usable with at least 30 groups.
  struct Case {
    uint32_t n;
    int smin, smax, sstp, knum;
    int smaxAfter, knumAfter;
    std::vector<std::pair<int, int>> jobs;  // hand-out order
  } cases[] = {
      {1000000, 13, 13, 1, 1, 13, 1, {{13, 2564}}},  // 10^6 / (13 * 2565) < 30
      {1000000, 12, 20, 1, 2, 13, 2, {{13, 2564}, {13, 2563}, {12, 2777}, {12, 2776}}},
      {1000000, 6, 13, -1, 1, 12, 1, {{12, 2777}, {6, 64}}},
      {1000000, 3, 13, -1, 1, 12, 1, {{12, 2777}, {6, 64}, {3, 8}}},
      {1000000, 2, 6, 2, 1, 6, 1, {{6, 64}, {4, 16}, {2, 4}}},
      {1000000, 7, 6, 1, 1, 6, 1, {}},   // min above max: no grid
      {1000000, 20, 30, 1, 1, 13, 1, {}},  // min above the capped max
      {1000000, 2, 8, 0, 1, 8, 1, {}},   // step 0: empty grid
      {200, 2, 2, 1, 0, 2, 99999999, {}},  // too few groups for any pair
  };
  for (const Case& c : cases) {
    Params(c.smin, c.smax, c.sstp, c.knum);
    Zeros(c.n);
    PARTITION test;
    EXPECT_EQ(test.status, TEST_OK);
    EXPECT_EQ(partitionSmax, c.smaxAfter) << c.smin << " " << c.smax;
    EXPECT_EQ(partitionKnum, c.knumAfter);
    std::vector<std::pair<int, int>> jobs;
    for (const auto& j : test.Jobs()) jobs.push_back({j.k, j.i});
    EXPECT_EQ(jobs, c.jobs) << c.smin << " " << c.smax << " " << c.sstp;
    EXPECT_EQ(test.jobCount, static_cast<int>(c.jobs.size()));
    EXPECT_EQ(test.threadCount, std::min(test.cpuCount, test.jobCount));
    EXPECT_EQ(test.SubThreads(), test.threadCount);
    if (c.jobs.empty()) {
      EXPECT_TRUE(Run(test, SLOT_PARTITION).empty());
    }
  }
  // Knum 0: every usable group size; the pairs come out k ascending, i
  // ascending whatever order the sub-threads finish in.
  Params(6, 6, 1, 0);
  Xorshift(5, 20000);
  PARTITION all;
  const auto pairs = Run(all, SLOT_PARTITION);
  // 20000 / (6 i) >= 30 for every i = 4 .. 64; i = 2 and 3 make two and
  // three classes whose smallest running count is below 1000.
  ASSERT_EQ(pairs.size(), 61u);
  for (size_t j = 0; j < pairs.size(); ++j) EXPECT_EQ(pairs[j].label, "Partition_6_" + std::to_string(4 + j));
}

TEST(PartitionUsable, TheClassRules) {
  struct Case {
    std::vector<double> p;
    int rmin;
    uint32_t u;
    bool usable;
  } cases[] = {
      {{0.25, 0.25, 0.25, 0.25}, 1, 30, true},   // four classes
      {{0.25, 0.25, 0.25, 0.25}, 1, 29, false},  // fewer than 30 groups
      {{0.5, 0.5}, 1, 1000000, true},            // two classes, smallest running count 500000
      {{1.0}, 1, 1000000, false},                // one class
      {{0.45, 0.1, 0.45}, 1, 20000, true},       // three classes, smallest running count 2000
      {{0.45, 0.1, 0.45}, 1, 9000, false},       // three classes, smallest running count 900
      {{0.3, 0.1, 0.0, 0.0, 0.0, 0.0, 0.6}, 1, 100000, false},  // range 6 > 2.5 * 2 classes
  };
  for (const Case& c : cases) {
    PartitionTable t;
    t.rmin = static_cast<uint16_t>(c.rmin);
    t.rmax = static_cast<uint16_t>(c.rmin + c.p.size() - 1);
    t.p = c.p;
    EXPECT_EQ(PARTITION::Usable(t, c.u), c.usable) << c.p.size() << " " << c.u;
  }
}

TEST_F(PartitionTest, AFileThatChangedOrDoesNotFitTheLayoutDisablesTheTestWithItsBox) {
  Params(2, 5, 1, 3);
  Xorshift(1, 20000);
  const Bytes whole = PartitionPayload();
  struct Case {
    const char* what;
    Bytes payload;
    size_t at;
    unsigned char flip;
    bool present;
  } cases[] = {
      {"missing", whole, 0, 0, false},
      {"changed after its check", whole, 1000, 0x10, true},
      {"a record cut short", PartitionPayload(3), 0, 0, true},
      {"bytes after the last record", PartitionPayload(0, 5), 0, 0, true},
      {"rmax above the group size", PartitionPayload(0, 0, true), 0, 0, true},
  };
  for (const Case& c : cases) {
    unlink((folder + "/DAT_partition.bin").c_str());
    if (c.present) WriteDat("DAT_partition.bin", c.payload, c.at, c.flip);
    Boxes().clear();
    PARTITION test;
    EXPECT_EQ(test.status, TEST_DISABLED) << c.what;
    ASSERT_EQ(Boxes().size(), 1u) << c.what;
    EXPECT_EQ(Boxes()[0],
              "Quorvane - PARTITION test ERROR: The file 'DAT_partition.bin' cannot be read or has changed since it "
              "was checked.\nThe test will be disabled.");
    EXPECT_EQ(test.jobCount, 0);
  }
  WriteDat("DAT_partition.bin", whole);
  Boxes().clear();
  PARTITION restored;
  EXPECT_EQ(restored.status, TEST_OK);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(PartitionTest, NullLawIsUniform) {
  Params(2, 5, 1, 3);
  seqLen = 1 << 14;
  PARTITION test;
  ExpectUniformNullLaw(test, SLOT_PARTITION, 1 << 14, 400, 31);
}

TEST_F(PartitionTest, GroupsOfTwoHaveNoAtoms) {
  // i = 2: the groups of two equal values are binomial (groups, 2^-k);
  // with whole expected counts the chi-square of that count is 0, p = 1,
  // in a few percent of sequences, and its other values repeat. The
  // randomised exact p-value is continuous: no two sequences share one.
  // (k = 4 needs 1000 expected groups in each class: 2^17 bits.)
  Params(2, 4, 2, 99);
  seqLen = 1 << 17;
  PARTITION test;
  const auto law = ExpectUniformNullLaw(test, SLOT_PARTITION, 1 << 17, 300, 32);
  for (const char* label : {"Partition_2_2", "Partition_4_2"}) ExpectNoRepeatedPValues(law, label);
}

TEST_F(PartitionTest, PlainlyBadSequencesFail) {
  Params(2, 5, 1, 2);
  auto expectFail = [&](const char* what) {
    PARTITION test;
    const auto pairs = Run(test, SLOT_PARTITION);
    ASSERT_FALSE(pairs.empty()) << what;
    for (const auto& pair : pairs)
      EXPECT_TRUE(pair.p == PVALUE_FAIL || (pair.p >= 0 && pair.p < 1e-10)) << what << " " << pair.label;
  };
  Zeros(1 << 15);
  expectFail("constant");
  std::string periodic;
  for (int j = 0; j < 1 << 12; ++j) periodic += "01101001";
  FromText(periodic);
  expectFail("periodic");
  // Ones with probability 3/4: fewer distinct values per group.
  Biased(777, 1 << 16, [](uint32_t x) { return (x & 3) != 0; });
  expectFail("biased");
}

TEST_F(PartitionTest, TheBuiltFileHasTheLayoutAndTheExactLaw) {
  if (!BuiltFile("DAT_partition.bin")) GTEST_SKIP() << "DAT_partition.bin not built";
  dataDir = const_cast<char*>(QV_BIN_DIR);
  std::vector<unsigned char> payload;
  ASSERT_TRUE(ReadDatFile("DAT_partition.bin", payload));
  std::map<std::pair<int, int>, const PartitionRecordRef*> exact;
  for (const auto& r : PARTITION_RECORDS) exact[{r.k, r.i}] = &r;
  std::map<std::tuple<int, int, int>, double> spots;
  for (const auto& s : PARTITION_SPOTS) spots[{s.k, s.i, s.r}] = s.p;
  DatReader in(payload);
  int records = 0, spotsSeen = 0;
  std::vector<double> p;
  for (int k = 2; k <= 13; ++k)
    for (int i = 2; i <= 1 << k; ++i) {
      in.U8();
      in.U16();
      const int rmin = in.U16(), rmax = in.U16();
      ASSERT_TRUE(in.Ok());
      ASSERT_GE(rmin, 1);
      ASSERT_LE(rmin, rmax);
      ASSERT_LE(rmax, i);
      p.resize(rmax - rmin + 1);
      ASSERT_TRUE(in.Doubles(p.data(), p.size()));
      ++records;
      const auto e = exact.find({k, i});
      if (e != exact.end()) {
        const PartitionRecordRef& r = *e->second;
        for (int x = std::max(rmin, r.rmin); x <= std::min(rmax, r.rmax); ++x) {
          const double want = PARTITION_PROBS[r.offset + x - r.rmin];
          EXPECT_NEAR(p[x - rmin], want, 1e-12 * want) << k << " " << i << " " << x;
        }
        // Whatever the file cuts off is a tail below 1e-12 of the law.
        EXPECT_LE(std::abs(rmin - r.rmin) + std::abs(rmax - r.rmax), 2) << k << " " << i;
      }
      for (int x = rmin; x <= rmax; ++x) {
        const auto s = spots.find({k, i, x});
        if (s == spots.end()) continue;
        EXPECT_NEAR(p[x - rmin], s->second, 1e-11 * s->second) << k << " " << i << " " << x;
        ++spotsSeen;
      }
    }
  EXPECT_EQ(records, PARTITION::RECORDS);
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(spotsSeen, static_cast<int>(std::size(PARTITION_SPOTS)));
}

TEST_F(PartitionTest, NullLawWithTheBuiltFileAndTheWindowDefaults) {
  if (!BuiltFile("DAT_partition.bin")) GTEST_SKIP() << "DAT_partition.bin not built";
  dataDir = const_cast<char*>(QV_BIN_DIR);
  Params(2, 8, 2, 20);
  seqLen = 1 << 16;
  PARTITION test;
  ASSERT_EQ(test.status, TEST_OK);
  ExpectUniformNullLaw(test, SLOT_PARTITION, 1 << 16, 200, 32);
}
