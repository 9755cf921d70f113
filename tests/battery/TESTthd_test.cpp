#include "battery/TESTthd.h"

#include <gtest/gtest.h>

#include <string>

#include "battery/RunState.h"

namespace {

// A test class that appends two pairs per sequence, numbered by its calls.
class Probe : public TESTthd {
 public:
  explicit Probe(bool disable = false) {
    if (disable) status = TEST_DISABLED;
  }
  void RunTest() override {
    ++calls;
    AddResult(0.25, "Probe %d", calls);
    AddResult(calls / 100.0, "Probe %d b", calls);
  }
  int calls = 0;
};

void EmptySlot(int slot) {
  for (char* label : resultLabels[slot]) delete[] label;
  resultLabels[slot].clear();
  resultPValues[slot].clear();
}

}  // namespace

TEST(TESTthd, ConstructionSetsTheBase) {
  Probe p;
  EXPECT_EQ(p.status, TEST_OK);
  EXPECT_EQ(p.subThreadCpuSeconds, 0.0);
  EXPECT_GE(p.cpuCount, 1);
}

TEST(TESTthd, AddResultAppendsToTheOwnSlotOnlyInOrder) {
  Probe probe;
  probe.slot = 8;
  for (int seq = 1; seq <= 2; ++seq) {
    probe.RunTest();
    ASSERT_EQ(resultLabels[8].size(), 2u);
    ASSERT_EQ(resultPValues[8].size(), 2u);
    EXPECT_EQ(std::string(resultLabels[8][0]), "Probe " + std::to_string(seq)) << "entry 0 is this sequence's first pair";
    EXPECT_EQ(std::string(resultLabels[8][1]), "Probe " + std::to_string(seq) + " b");
    EXPECT_EQ(resultPValues[8][0], 0.25);
    EXPECT_EQ(resultPValues[8][1], seq / 100.0);
    for (int other = 0; other < TEST_SLOTS; ++other)
      if (other != 8) {
        EXPECT_TRUE(resultLabels[other].empty() && resultPValues[other].empty()) << other;
      }
    EmptySlot(8);
  }
}

TEST(TESTthd, ADisabledConstructorIsDeletedAsItIs) {
  auto* probe = new Probe(true);
  EXPECT_EQ(probe->status, TEST_DISABLED);
  delete probe;  // no thread was ever made for it
}
