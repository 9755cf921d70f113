#pragma once
#include <cstdint>
#include <vector>

#include "battery/TESTthd.h"

// Coupon collector test: consecutive s-bit words are read until every one
// of the 2^s values has appeared (a collection), then the next collection
// starts; the collection lengths are judged against the exact law of
// "DAT_coupon.bin" by the Cressie-Read power divergence (lambda = 1/2) over
// merged classes, referred to its moment law (MergedChiSquare.h).
class COUPON : public TESTthd {
 public:
  // Reads the tables of the grid's word sizes from the file once per run;
  // disables the test (with a box) when the file cannot be read.
  COUPON();
  void RunTest() override;

  // One record of the file: the law of the collection length for s-bit
  // words; p[i] is the probability of length lo + i, p[0] holding every
  // length up to lo and the last entry every length from hi on.
  struct Table {
    int s;
    int lo;
    float mean;
    int hi;
    std::vector<double> p;
  };
  // The tables of the word-size walk, in walk order, up to the first word
  // size the file does not hold.
  std::vector<Table> tables;

 private:
  std::vector<uint32_t> seen_;    // the collection that last saw each value
  std::vector<uint32_t> counts_;  // per collection length - 2^s
  uint32_t collection_ = 0;
};
