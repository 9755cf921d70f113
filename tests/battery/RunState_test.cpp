#include "battery/RunState.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sys/resource.h>

#include <climits>
#include <cstdlib>
#include <cstring>

// AddressSanitizer and ThreadSanitizer reserve terabytes of shadow memory at
// start-up, so a process of theirs cannot live under an address-space limit.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QV_SHADOW_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define QV_SHADOW_MEMORY 1
#endif
#endif

TEST(TestTable, SlotsHoldTheirDisplayNamesDisabledAndEmpty) {
  const char* names[TEST_SLOTS] = {"DFT",
                                   "AMLS",
                                   "Serial",
                                   "Collision",
                                   "Non overlapping template matching",
                                   "Partition",
                                   "Blocks'n'gaps",
                                   "Runs",
                                   "Cumulative sum",
                                   "Short blocks",
                                   "Overlapping template matching",
                                   "Windowed autocorrelation",
                                   "Permutation",
                                   "Coupon collector",
                                   "Maurer",
                                   "Long blocks",
                                   "Peak",
                                   "Rank",
                                   "Linear complexity",
                                   "Block gap distance",
                                   "Weight",
                                   "Overlapping entropy",
                                   "Serial two-bit",
                                   "Random walk 1-D",
                                   "Random walk distance",
                                   "Random walk 2-D",
                                   "AQL",
                                   "BDAY",
                                   "GCD",
                                   "SOB"};
  for (int i = 0; i < TEST_SLOTS; ++i) {
    EXPECT_STREQ(testTable[i].name, names[i]) << "slot " << i;
    EXPECT_FALSE(testTable[i].enabled);
    EXPECT_EQ(testTable[i].test, nullptr);
    EXPECT_TRUE(resultLabels[i].empty());
    EXPECT_TRUE(resultPValues[i].empty());
  }
  EXPECT_STREQ(testTable[SLOT_TWOBIT].name, "Serial two-bit");
  EXPECT_STREQ(testTable[SLOT_SOB].name, "SOB");
  EXPECT_EQ(runState, RunState::Idle);
  EXPECT_LT(PVALUE_SHORT, PVALUE_FAIL);
  EXPECT_EQ(PVALUE_FAIL, -1.0);
}

TEST(LnFactorial, GrowsOnlyAndAgreesWithLogGamma) {
  ASSERT_EQ(lnFactorial, nullptr);
  EXPECT_EQ(lnFactorialMax, 0);
  EnsureLnFactorial(1000);
  ASSERT_NE(lnFactorial, nullptr);
  EXPECT_EQ(lnFactorialMax, 1000);
  EXPECT_EQ(lnFactorial[0], 0.0);
  EXPECT_EQ(lnFactorial[1], 0.0);
  EXPECT_DOUBLE_EQ(lnFactorial[2], std::log(2.0));
  EXPECT_NEAR(lnFactorial[10], std::log(3628800.0), 1e-12);
  for (int k : {20, 170, 500, 1000}) EXPECT_NEAR(lnFactorial[k], std::lgamma(k + 1.0), 1e-13 * std::lgamma(k + 1.0)) << k;

  double* table = lnFactorial;
  const double last = lnFactorial[1000];
  EnsureLnFactorial(40);
  EXPECT_EQ(lnFactorial, table) << "a smaller request keeps the table";
  EXPECT_EQ(lnFactorialMax, 1000);
  EXPECT_EQ(lnFactorial[1000], last);

  EnsureLnFactorial(2000);
  EXPECT_EQ(lnFactorialMax, 2000);
  EXPECT_NEAR(lnFactorial[2000], std::lgamma(2001.0), 1e-12 * std::lgamma(2001.0));
  EXPECT_EQ(lnFactorial[1000], last);

  delete[] lnFactorial;
  lnFactorial = nullptr;
  lnFactorialMax = 0;
}

namespace {

// In a process limited to 1 GiB of address space, asks for 2^31 entries
// (16 GiB) and exits 0 when the smaller table survived and can grow later.
void GrowPastTheAddressSpace() {
  EnsureLnFactorial(10);
  rlimit limit{1u << 30, 1u << 30};
  setrlimit(RLIMIT_AS, &limit);
  EnsureLnFactorial(INT_MAX);
  const bool kept = lnFactorial != nullptr && lnFactorialMax == 10 && lnFactorial[10] > 15.1;
  EnsureLnFactorial(100);
  exit(kept && lnFactorialMax == 100 && lnFactorial[100] > 363.7 ? 0 : 1);
}

}  // namespace

TEST(LnFactorialDeathTest, AnImpossibleSizeKeepsTheTableWithoutCrashing) {
#ifdef QV_SHADOW_MEMORY
  GTEST_SKIP() << "a sanitizer's shadow memory does not fit under the address-space limit";
#endif
  EXPECT_EXIT(GrowPastTheAddressSpace(), ::testing::ExitedWithCode(0), "");
}
