#include "battery/OTM.h"

#include <wx/app.h>
#include <wx/thread.h>

#include <cstdio>
#include <string>
#include <thread>

#include "NullLaw.h"
#include "SequenceFixture.h"
#include "TemplateReference.h"
#include "battery/Bits.h"
#include "battery/Messages.h"

namespace {

// An OTM whose working memory cannot be had, and one that counts how often
// it asks for it.
class StarvedOtm : public OTM {
 protected:
  int* NewTemplate() override { return nullptr; }
};

class CountingOtm : public OTM {
 public:
  int asked = 0;

 protected:
  int* NewTemplate() override {
    ++asked;
    return OTM::NewTemplate();
  }
};

struct Box {
  std::string text, caption;
  long style;
  bool onMainThread;
};
std::vector<Box> boxes;

int KeepBox(const wxString& text, const wxString& caption, long style) {
  boxes.push_back({text.ToStdString(), caption.ToStdString(), style, wxIsMainThread()});
  return wxOK;
}

}  // namespace

class OtmTest : public SequenceFixture {
 protected:
  void SetUp() override {
    boxes.clear();
    oldHandler = SetMessageBoxHandler(KeepBox);
  }
  void TearDown() override {
    SetMessageBoxHandler(oldHandler);
    SequenceFixture::TearDown();
  }
  void LoadE(uint32_t n) {
    // The first n of the 10^6 binary digits of e (n a multiple of 8).
    FILE* file = std::fopen(QV_TEST_DATA "/battery/e_1e6.bin", "rb");
    ASSERT_NE(file, nullptr);
    Zeros(n);
    ASSERT_EQ(std::fread(words.data(), 1, n / 8, file), n / 8);
    std::fclose(file);
  }
  std::vector<Pair> RunOtm() {
    OTM test;
    return Run(test, SLOT_OTM);
  }
  MessageBoxHandler oldHandler = nullptr;
};

TEST_F(OtmTest, PublishedExampleOnTheDigitsOfE) {
  // 968 blocks of the first 10^6 bits of e, template 111111111: classes 329,
  // 164, 150, 111, 78, 136; with the example's class probabilities chi2 =
  // 8.965859 and p = 0.110434.
  LoadE(1000000);
  uint64_t classes[OTM_CLASSES] = {};
  OtmClassCounts(seqBits, 968, 0x1FF, classes);
  const uint64_t published[OTM_CLASSES] = {329, 164, 150, 111, 78, 136};
  for (int k = 0; k < OTM_CLASSES; ++k) EXPECT_EQ(classes[k], published[k]) << k;
  EXPECT_NEAR(OtmPValue(classes, 968, OTM_PUBLISHED_PI), 0.110434, 1e-6);
}

TEST_F(OtmTest, ClassProbabilitiesAreTheExactLaw) {
  double sum = 0;
  for (int k = 0; k < OTM_CLASSES; ++k) {
    EXPECT_NEAR(OTM_CLASS_PROBABILITIES[k], OTM_EXACT_LAW[k], 5e-7) << k;
    sum += OTM_CLASS_PROBABILITIES[k];
  }
  EXPECT_NEAR(sum, 1, 1e-6);
}

TEST_F(OtmTest, AgreesWithMpmathOnEAndXorshiftSequences) {
  for (const OtmRef& ref : OTM_REF) {
    if (std::string(ref.source) == "e") LoadE(ref.n);
    else Xorshift(ref.seed, ref.n);
    for (int c = 0; c <= 1; ++c) {
      uint64_t classes[OTM_CLASSES] = {};
      OtmClassCounts(seqBits, ref.n / OTM_BLOCK_BITS, c ? 0x1FF : 0, classes);
      for (int k = 0; k < OTM_CLASSES; ++k) EXPECT_EQ(classes[k], ref.classes[c][k]) << ref.n << " " << c;
    }
    const auto pairs = RunOtm();
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].label, "OTM 9_0");
    EXPECT_EQ(pairs[1].label, "OTM 9_1");
    for (int c = 0; c <= 1; ++c) EXPECT_NEAR(pairs[c].p, ref.p[c], 1e-10 * ref.p[c]) << ref.source << " " << ref.n;
  }
}

TEST_F(OtmTest, OccurrencesOverlapWithinTheBlockOnly) {
  // Block 0 all zeros: 1024 windows of nine zeros, class 5. Block 1: ones
  // from bit 1032 + 100 to + 116 (17 ones: 9 windows), the rest zeros.
  // Block 2: eight ones at its end and one at the start of block 3 (no
  // window crosses a block).
  Zeros(4 * OTM_BLOCK_BITS);
  auto set = [&](uint32_t t) { words[t >> 5] |= 1u << (t & 31); };
  for (uint32_t t = 1132; t < 1149; ++t) set(t);
  for (uint32_t t = 3 * OTM_BLOCK_BITS - 8; t < 3 * OTM_BLOCK_BITS + 1; ++t) set(t);
  for (uint32_t t = 3 * OTM_BLOCK_BITS + 1; t < 4 * OTM_BLOCK_BITS; ++t) set(t);
  uint64_t ones[OTM_CLASSES] = {}, zeros[OTM_CLASSES] = {};
  OtmClassCounts(seqBits, 4, 0x1FF, ones);
  OtmClassCounts(seqBits, 4, 0, zeros);
  const uint64_t expectOnes[OTM_CLASSES] = {2, 0, 0, 0, 0, 2};   // 0, 9, 0, 1024
  const uint64_t expectZeros[OTM_CLASSES] = {1, 0, 0, 0, 0, 3};  // 1024, >5, >5, 0
  for (int k = 0; k < OTM_CLASSES; ++k) {
    EXPECT_EQ(ones[k], expectOnes[k]) << k;
    EXPECT_EQ(zeros[k], expectZeros[k]) << k;
  }
}

TEST_F(OtmTest, ClassCountsAgreeWithBitByBitCountingForAnyTemplate) {
  // Blocks up to the last bit of the sequence, whose length leaves a block
  // boundary at every offset within a word; biased bits so that every class
  // is met.
  for (uint32_t blocks : {1u, 4u, 9u}) {
    Biased(blocks, blocks * OTM_BLOCK_BITS, [](uint32_t x) { return (x & 7) < 6; });
    for (uint32_t value : {0x000u, 0x1FFu, 0x155u, 0x0F0u, 0x1FEu, 0x001u}) {
      uint64_t expected[OTM_CLASSES] = {}, classes[OTM_CLASSES] = {};
      for (uint32_t w = 0; w < blocks; ++w) {
        uint32_t count = 0;
        for (uint32_t j = 0; j + OTM_TEMPLATE_BITS <= OTM_BLOCK_BITS; ++j) {
          uint32_t v = 0;
          for (int k = 0; k < OTM_TEMPLATE_BITS; ++k) v = (v << 1) | ReadBit(seqBits, w * OTM_BLOCK_BITS + j + k);
          count += v == value;
        }
        ++expected[count < 5 ? count : 5];
      }
      OtmClassCounts(seqBits, blocks, value, classes);
      for (int k = 0; k < OTM_CLASSES; ++k) EXPECT_EQ(classes[k], expected[k]) << blocks << " " << value << " " << k;
    }
  }
}

// A tiny p-value, or one too small for the incomplete gamma function.
bool Fails(double p) { return p == PVALUE_FAIL || (p >= 0 && p < 1e-9); }

TEST_F(OtmTest, ConstantAndBiasedSequencesFail) {
  Zeros(1u << 20);
  auto pairs = RunOtm();
  ASSERT_EQ(pairs.size(), 2u);
  for (const Pair& pair : pairs) EXPECT_TRUE(Fails(pair.p)) << pair.label << " " << pair.p;
  // Bits that are 1 with probability 9/16: runs of ones come too often,
  // runs of zeros too seldom.
  Zeros(1u << 20);
  nullrun::SplitMix64 gen(9);
  for (uint32_t t = 0; t < seqLen; t += 16) {
    const uint64_t r = gen.Next();
    for (int j = 0; j < 16; ++j)
      if (((r >> (4 * j)) & 15) < 9) words[(t + j) >> 5] |= 1u << ((t + j) & 31);
  }
  pairs = RunOtm();
  ASSERT_EQ(pairs.size(), 2u);
  for (const Pair& pair : pairs) EXPECT_TRUE(Fails(pair.p)) << pair.label << " " << pair.p;
}

TEST_F(OtmTest, SequencesOfFewerThan71BlocksGiveNothing) {
  Xorshift(3, 71 * OTM_BLOCK_BITS - 1);
  EXPECT_TRUE(RunOtm().empty());
  Xorshift(3, 71 * OTM_BLOCK_BITS);
  EXPECT_EQ(RunOtm().size(), 2u);
  Xorshift(3, 5);
  EXPECT_TRUE(RunOtm().empty());
}

TEST_F(OtmTest, NullLaw) {
  OTM test;
  ExpectUniformNullLaw(test, SLOT_OTM, 200000, 400, 0x07);
}

TEST_F(OtmTest, WorkingMemoryIsTakenOncePerRun) {
  Xorshift(4, 100000);
  CountingOtm test;
  for (int s = 0; s < 3; ++s) EXPECT_EQ(Run(test, SLOT_OTM).size(), 2u);
  EXPECT_EQ(test.asked, 1);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(OtmTest, WithoutMemoryItShowsOneBoxAndAppendsNothingForTheRestOfTheRun) {
  Xorshift(4, 100000);
  StarvedOtm test;
  for (int s = 0; s < 3; ++s) {
    EXPECT_TRUE(Run(test, SLOT_OTM).empty()) << s;
    EXPECT_EQ(test.status, TEST_DISABLED);
  }
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Failed to allocate the memory.\nThe test will be disabled.");
  EXPECT_EQ(boxes[0].caption, "Overlapping Template Matchings test ERROR");
  EXPECT_EQ(boxes[0].style, wxOK | wxICON_WARNING);
  EXPECT_TRUE(boxes[0].onMainThread);
}

TEST_F(OtmTest, ABoxFromTheWorkerIsShownOnTheMainThread) {
  // The worker only queues the box; the main thread shows it when it
  // handles its pending events (the engine does while it waits).
  ASSERT_NE(wxAppConsole::GetInstance(), nullptr);
  Xorshift(4, 100000);
  StarvedOtm test;
  test.slot = SLOT_OTM;
  std::thread worker([&] {
    test.RunTest();
    test.RunTest();
  });
  worker.join();
  EXPECT_EQ(test.status, TEST_DISABLED);
  EXPECT_TRUE(resultLabels[SLOT_OTM].empty());
  EXPECT_TRUE(boxes.empty());
  wxAppConsole::GetInstance()->ProcessPendingEvents();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Overlapping Template Matchings test ERROR");
  EXPECT_TRUE(boxes[0].onMainThread);
}
