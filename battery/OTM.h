#pragma once
#include <cstdint>

#include "battery/TESTthd.h"

// Overlapping template matching: the overlapping occurrences of nine equal
// bits (all zeros, then all ones) in blocks of 1032 bits, sorted into the
// classes 0, 1, 2, 3, 4 and 5 or more, judged by a chi-square with five
// degrees of freedom against the class probabilities below.
//
// A test that cannot get its working memory shows a box (on the GUI
// thread) and disables itself: from then on it appends nothing for the
// rest of the run, while the engine keeps running (and timing) it.
class OTM : public TESTthd {
 public:
  ~OTM() override;
  void RunTest() override;

 protected:
  // The nine-bit template, obtained once per run; null when the memory
  // cannot be had.
  virtual int* NewTemplate();

 private:
  int* templateBits = nullptr;
};

constexpr int OTM_BLOCK_BITS = 1032;
constexpr int OTM_TEMPLATE_BITS = 9;
constexpr int OTM_CLASSES = 6;

// P(0), ..., P(4), P(5 or more) occurrences of a 9-bit template of equal
// bits among the 1024 windows of a 1032-bit block of fair bits.
extern const double OTM_CLASS_PROBABILITIES[OTM_CLASSES];

// The box of a failed allocation; a test reads these to check it.
extern const char* const OTM_ALLOC_TEXT;
extern const char* const OTM_ALLOC_CAPTION;
extern const long OTM_ALLOC_STYLE;

// Sorts the `blocks` consecutive 1032-bit blocks from bit 0 by the number of
// starts j = 0 .. 1023 at which the nine bits equal `templateValue` (read
// most significant bit first; occurrences may overlap): classes[min(count,
// 5)] is incremented once per block (the caller clears it).
void OtmClassCounts(const uint32_t* words, uint64_t blocks, uint32_t templateValue, uint64_t classes[OTM_CLASSES]);

// Q(5/2, chi2/2) of the class counts v of `blocks` blocks against the class
// probabilities pi: chi2 = sum (v_k - N pi_k)^2 / (N pi_k).
double OtmPValue(const uint64_t v[OTM_CLASSES], uint64_t blocks, const double pi[OTM_CLASSES]);
