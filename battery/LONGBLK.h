#pragma once
#include "battery/TESTthd.h"

// Block frequency: the spread of the share of ones in blocks of M bits
// around one half, for every block length M of the grid.
class LONGBLK : public TESTthd {
 public:
  void RunTest() override;
};
