#pragma once
// The CI check of a test class's null law: a fixed-seed run of a few
// hundred short sequences (deterministic, so never flaky) whose p-values,
// per label, must not be plainly non-uniform.
#include <gtest/gtest.h>

#include "tools/nullrun/NullRun.h"

// Runs the test and expects every label's KS p-value above minKs and at
// least one label; returns the law for further checks.
inline nullrun::NullLaw ExpectUniformNullLaw(TESTthd& test, int slot, uint32_t n, int sequences, uint64_t seed,
                                             double minKs = 1e-4) {
  nullrun::NullLaw law = nullrun::RunNullLaw(test, slot, n, sequences, seed);
  EXPECT_FALSE(law.empty());
  for (const auto& [label, row] : law) {
    EXPECT_GE(row.pvalues.size(), static_cast<size_t>(sequences / 2)) << label;
    EXPECT_GT(row.ks, minKs) << label << " (" << row.pvalues.size() << " p-values)";
  }
  return law;
}
