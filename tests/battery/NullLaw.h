#pragma once
// The CI check of a test class's null law: a fixed-seed run of a few
// hundred short sequences (deterministic, so never flaky) whose p-values,
// per label, must not be plainly non-uniform.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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

// Expects the label's p-values to be all different: a p-value with an atom
// or a coarse lattice repeats across sequences, a continuous one does not.
inline void ExpectNoRepeatedPValues(const nullrun::NullLaw& law, const std::string& label) {
  ASSERT_EQ(law.count(label), 1u) << label;
  std::vector<double> p = law.at(label).pvalues;
  std::sort(p.begin(), p.end());
  EXPECT_EQ(std::unique(p.begin(), p.end()) - p.begin(), static_cast<long>(p.size())) << label;
}
