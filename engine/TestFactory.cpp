#include "engine/TestFactory.h"

#include <cstdio>
#include <cstdlib>

#include "battery/RunState.h"
#include "battery/AMLS.h"
#include "battery/AQL.h"
#include "battery/AUTOW.h"
#include "battery/BDAY.h"
#include "battery/BLKGAP.h"
#include "battery/BLKGAPDIS.h"
#include "battery/COLLISION.h"
#include "battery/COUPON.h"
#include "battery/CUSUM.h"
#include "battery/DFT.h"
#include "battery/GCD.h"
#include "battery/LINCPLX.h"
#include "battery/LONGBLK.h"
#include "battery/MAURER.h"
#include "battery/NOTM.h"
#include "battery/OET.h"
#include "battery/OTM.h"
#include "battery/PARTITION.h"
#include "battery/PEAK.h"
#include "battery/PERM.h"
#include "battery/RANK.h"
#include "battery/RUNS.h"
#include "battery/RW1D.h"
#include "battery/RW2D.h"
#include "battery/RWDST.h"
#include "battery/SERIAL.h"
#include "battery/SHORTBLK.h"
#include "battery/SOB.h"
#include "battery/TWOBIT.h"
#include "battery/WEIGHT.h"

namespace {

template <class T>
TESTthd* Make() {
  return new T;
}

struct SlotClass {
  int slot;
  TESTthd* (*make)();
};

// The class of each built slot, keyed by the slot itself, so that adding a
// class can never shift another; a slot that is absent has no class in
// this build. Lines stay in slot order.
const SlotClass SLOT_CLASSES[] = {
    {SLOT_DFT, Make<DFT>},
    {SLOT_AMLS, Make<AMLS>},
    {SLOT_SERIAL, Make<SERIAL>},
    {SLOT_COLLISION, Make<COLLISION>},
    {SLOT_NOTM, Make<NOTM>},
    {SLOT_PARTITION, Make<PARTITION>},
    {SLOT_BLKGAP, Make<BLKGAP>},
    {SLOT_RUNS, Make<RUNS>},
    {SLOT_CUSUM, Make<CUSUM>},
    {SLOT_SHORTBLK, Make<SHORTBLK>},
    {SLOT_OTM, Make<OTM>},
    {SLOT_AUTOW, Make<AUTOW>},
    {SLOT_PERM, Make<PERM>},
    {SLOT_COUPON, Make<COUPON>},
    {SLOT_MAURER, Make<MAURER>},
    {SLOT_LONGBLK, Make<LONGBLK>},
    {SLOT_PEAK, Make<PEAK>},
    {SLOT_RANK, Make<RANK>},
    {SLOT_LINCPLX, Make<LINCPLX>},
    {SLOT_BLKGAPDIS, Make<BLKGAPDIS>},
    {SLOT_WEIGHT, Make<WEIGHT>},
    {SLOT_OET, Make<OET>},
    {SLOT_TWOBIT, Make<TWOBIT>},
    {SLOT_RW1D, Make<RW1D>},
    {SLOT_RWDST, Make<RWDST>},
    {SLOT_RW2D, Make<RW2D>},
    {SLOT_AQL, Make<AQL>},
    {SLOT_BDAY, Make<BDAY>},
    {SLOT_GCD, Make<GCD>},
    {SLOT_SOB, Make<SOB>},
};

// The table above as an array indexed by slot. A slot named twice, or out
// of range, is a programming error caught the first time a test is built.
struct Factories {
  TESTthd* (*bySlot[TEST_SLOTS])() = {};
  Factories() {
    for (const SlotClass& entry : SLOT_CLASSES) {
      if (entry.slot < 0 || entry.slot >= TEST_SLOTS || bySlot[entry.slot] != nullptr) {
        std::fprintf(stderr, "test factory: slot %d is out of range or listed twice\n", entry.slot);
        std::abort();
      }
      bySlot[entry.slot] = entry.make;
    }
  }
};

}  // namespace

TESTthd* CreateTest(int slot) {
  static const Factories factories;
  if (slot < 0 || slot >= TEST_SLOTS || factories.bySlot[slot] == nullptr) return nullptr;
  return factories.bySlot[slot]();
}
