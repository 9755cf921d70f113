#include "battery/MAURER.h"

#include "NullLaw.h"
#include "RankMaurerReference.h"
#include "SequenceFixture.h"

namespace {

struct MaurerFixture : SequenceFixture {
  void Grid(int min, int max, int step = 1) {
    maurerSmin = min;
    maurerSmax = max;
    maurerSstp = step;
  }
};

}  // namespace

TEST_F(MaurerFixture, AgreesWithTheIndependentScript) {
  for (const MaurerRef& ref : MAURER_REF) {
    Xorshift(ref.seed, ref.n);
    Grid(ref.L, ref.L);
    MAURER test;
    const auto pairs = Run(test, SLOT_MAURER);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].label, "Maurer " + std::to_string(ref.L));
    EXPECT_NEAR(pairs[0].p, ref.p, 1e-9 * ref.p + 1e-13) << ref.seed << " L " << ref.L;
  }
}

TEST_F(MaurerFixture, ConstructorKeepsOnlySizesWithEnoughBlocks) {
  struct Case {
    uint32_t n;
    int min, max, step, expectedMax;
  };
  const Case cases[] = {
      {1u << 20, 2, 16, 1, 11},  // L = 12 needs 176,128 blocks, 87,381 exist
      {1u << 20, 2, 16, -1, 15},  // 2, 4, 8 pass; 16 fails and lowers the top to 15
      {4294967295u, 2, 16, 1, 16},
      {1000, 2, 16, 1, 2},  // 500 blocks of 2 bits, 333 of 3 bits
      {300, 2, 16, 1, 1},   // not even L = 2: the walk runs nothing
  };
  for (const Case& c : cases) {
    Zeros(c.n > (1u << 20) ? 64 : c.n);  // the constructor reads only seqLen
    seqLen = c.n;
    Grid(c.min, c.max, c.step);
    MAURER test;
    EXPECT_EQ(maurerSmax, c.expectedMax) << c.n << " step " << c.step;
  }
}

TEST_F(MaurerFixture, MissingValuesFailAndLateValuesAreShort) {
  Grid(2, 2);
  Zeros(400);  // "00" only: three values never occur
  MAURER test;
  auto pairs = Run(test, SLOT_MAURER);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].p, PVALUE_FAIL);

  // 200 blocks: 150 of "00", then all four values: the initialisation ends
  // at block 153, leaving 47 test blocks for the 132 needed.
  std::string text(300, '0');
  for (int i = 0; i < 50; ++i) text += (i % 4 == 0) ? "01" : (i % 4 == 1) ? "10" : (i % 4 == 2) ? "11" : "00";
  FromText(text);
  pairs = Run(test, SLOT_MAURER);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].p, PVALUE_SHORT);
}

TEST_F(MaurerFixture, PeriodicInputFails) {
  // A random block of 4,000 bits repeated: every distance is small, and at
  // L = 8 some values never occur at all.
  Xorshift(5, 4000);
  const std::vector<uint32_t> block(words.begin(), words.begin() + 125);
  Zeros(1 << 17);
  for (size_t i = 0; i < (1u << 17) / 32; ++i) words[i] = block[i % block.size()];
  Grid(6, 8);
  MAURER test;
  ExpectRejected(Run(test, SLOT_MAURER), {"Maurer 6", "Maurer 7", "Maurer 8"});
}

TEST(MaurerNullLaw, UniformOnGoodBits) {
  maurerSmin = 2;
  maurerSmax = 16;
  maurerSstp = 1;
  seqLen = 1 << 17;
  MAURER test;  // keeps L = 2 .. 8 at this length
  EXPECT_EQ(maurerSmax, 8);
  const auto law = ExpectUniformNullLaw(test, SLOT_MAURER, 1 << 17, 300, 20261210);
  EXPECT_EQ(law.size(), 7u);
}
