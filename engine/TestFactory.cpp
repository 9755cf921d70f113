#include "engine/TestFactory.h"

#include "battery/CUSUM.h"
#include "battery/LONGBLK.h"
#include "battery/RunState.h"
#include "battery/TWOBIT.h"

namespace {

template <class T>
TESTthd* Make() {
  return new T;
}

// The constructor of every slot's class; null where the class is not built.
TESTthd* (*const FACTORIES[TEST_SLOTS])() = {
    nullptr,        // DFT
    nullptr,        // AMLS
    nullptr,        // SERIAL
    nullptr,        // COLLISION
    nullptr,        // NOTM
    nullptr,        // PARTITION
    nullptr,        // BLKGAP
    nullptr,        // RUNS
    Make<CUSUM>,    // CUSUM
    nullptr,        // SHORTBLK
    nullptr,        // OTM
    nullptr,        // AUTOW
    nullptr,        // PERM
    nullptr,        // COUPON
    nullptr,        // MAURER
    Make<LONGBLK>,  // LONGBLK
    nullptr,        // PEAK
    nullptr,        // RANK
    nullptr,        // LINCPLX
    nullptr,        // BLKGAPDIS
    nullptr,        // WEIGHT
    nullptr,        // OET
    Make<TWOBIT>,   // TWOBIT
    nullptr,        // RW1D
    nullptr,        // RWDST
    nullptr,        // RW2D
    nullptr,        // AQL
    nullptr,        // BDAY
    nullptr,        // GCD
    nullptr,        // SOB
};

}  // namespace

TESTthd* CreateTest(int slot) {
  if (slot < 0 || slot >= TEST_SLOTS || FACTORIES[slot] == nullptr) return nullptr;
  return FACTORIES[slot]();
}
