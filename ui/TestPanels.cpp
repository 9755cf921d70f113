#include "ui/TestPanels.h"

#include <iterator>

#include "battery/RunState.h"
#include "ui/FIN.h"

namespace {

constexpr ParamSpec Param(ParamKind kind, const char* label, const char* tooltip, const char* key) {
  return ParamSpec{kind,    label,   0,       0,       0,       -1,      tooltip, key,   nullptr,
                   nullptr, nullptr, nullptr, nullptr, nullptr, ParamFeed::None, nullptr, nullptr,
                   false,   false,   nullptr, nullptr, 0};
}

// A spin control fed as is.
constexpr ParamSpec Spin(wxSpinCtrl* FIN::*member, const char* label, int min, int max, int value, int width,
                         const char* tooltip, const char* key, int* global) {
  ParamSpec p = Param(ParamKind::Spin, label, tooltip, key);
  p.spin = member;
  p.min = min;
  p.max = max;
  p.value = value;
  p.width = width;
  p.feed = ParamFeed::AsIs;
  p.intGlobal = global;
  return p;
}

// A spin control scaled by the unit choice after it.
constexpr ParamSpec SpinUnit(wxSpinCtrl* FIN::*member, wxChoice* FIN::*unit, const char* label, int min, int max,
                             int value, int width, const char* tooltip, const char* key, int* global) {
  ParamSpec p = Spin(member, label, min, max, value, width, tooltip, key, global);
  p.choice = unit;
  p.feed = ParamFeed::Unit;
  return p;
}

constexpr ParamSpec SpinUnit(wxSpinCtrl* FIN::*member, wxChoice* FIN::*unit, const char* label, int min, int max,
                             int value, int width, const char* tooltip, const char* key, unsigned* global) {
  ParamSpec p = SpinUnit(member, unit, label, min, max, value, width, tooltip, key, static_cast<int*>(nullptr));
  p.unsignedGlobal = global;
  return p;
}

// A spin control in Mbit fed in bits.
constexpr ParamSpec SpinMbit(wxSpinCtrl* FIN::*member, const char* label, int min, int max, int value, int width,
                             const char* tooltip, const char* key, unsigned* global) {
  ParamSpec p = Spin(member, label, min, max, value, width, tooltip, key, nullptr);
  p.feed = ParamFeed::Mbit;
  p.unsignedGlobal = global;
  return p;
}

constexpr ParamSpec Unit(wxChoice* FIN::*member, int selection, const char* key) {
  ParamSpec p = Param(ParamKind::Unit, nullptr, nullptr, key);
  p.choice = member;
  p.max = 2;
  p.value = selection;
  p.items = UNIT_ITEMS;
  p.itemCount = 3;
  return p;
}

// A read-only text box and its spin button. The range and value are the
// ones the main window gives the button; the layout leaves the toolkit's.
constexpr ParamSpec SpinButton(wxTextCtrl* FIN::*text, wxSpinButton* FIN::*button, const char* label, int min,
                               int max, int value, int textWidth, const char* initialText, const char* tooltip,
                               const char* key, ParamFeed feed, int* global, void (FIN::*onSpin)(wxSpinEvent&)) {
  ParamSpec p = Param(ParamKind::SpinButton, label, tooltip, key);
  p.textBox = text;
  p.button = button;
  p.min = min;
  p.max = max;
  p.value = value;
  p.width = textWidth;
  p.text = initialText;
  p.feed = feed;
  p.intGlobal = global;
  p.onSpin = onSpin;
  return p;
}

constexpr ParamSpec TextBox(wxTextCtrl* FIN::*member, const char* label, int width, const char* text,
                            const char* tooltip, const char* key, int* global) {
  ParamSpec p = Param(ParamKind::Text, label, tooltip, key);
  p.textBox = member;
  p.width = width;
  p.text = text;
  p.feed = ParamFeed::DecimalText;
  p.intGlobal = global;
  return p;
}

constexpr ParamSpec Check(wxCheckBox* FIN::*member, const char* label, const char* tooltip, const char* key,
                          int* global) {
  ParamSpec p = Param(ParamKind::Check, label, tooltip, key);
  p.check = member;
  p.max = 1;
  p.value = 1;
  p.feed = ParamFeed::Flag;
  p.intGlobal = global;
  return p;
}

constexpr ParamSpec Choice(wxChoice* FIN::*member, const char* label, const char* const* items, int itemCount,
                           int selection, const char* key, int* global) {
  ParamSpec p = Param(ParamKind::Choice, label, nullptr, key);
  p.choice = member;
  p.items = items;
  p.itemCount = itemCount;
  p.max = itemCount - 1;
  p.value = selection;
  p.feed = ParamFeed::Selection;
  p.intGlobal = global;
  return p;
}

// The control opens a new group, after a vertical line.
constexpr ParamSpec Group(ParamSpec p) {
  p.groupStart = true;
  return p;
}

constexpr ParamSpec WithText(ParamSpec p, const char* text) {
  p.text = text;
  return p;
}

constexpr ParamSpec Stacked(ParamSpec p) {
  p.stackWithNext = true;
  return p;
}

constexpr ParamSpec Bound(ParamSpec p, void (FIN::*onSpin)(wxSpinEvent&)) {
  p.onSpin = onSpin;
  return p;
}

const char* const BLOCK = "Block size [bits].";

const ParamSpec AMLS_PARAMS[] = {
    SpinButton(&FIN::amlsLminText, &FIN::amlsLminSpinButton, "Lmin", 0, 19, 0, 60, "1", "Block length [kbits].",
               "lmin", ParamFeed::Power, &amlsLmin, &FIN::OnAmlsLminSpin),
    SpinButton(&FIN::amlsLmaxText, &FIN::amlsLmaxSpinButton, "Lmax", 0, 19, 19, 60, "2", "Block length [kbits].",
               "lmax", ParamFeed::Power, &amlsLmax, &FIN::OnAmlsLmaxSpin),
    Spin(&FIN::amlsLstpSpin, "Lstep", -999, -1, -1, 60, nullptr, "lstp", &amlsLstp),
    Group(TextBox(&FIN::amlsBlkmaxText, "Max blks", 60, "0",
                  "Max number of blocks (to reduce the running time).\n0= no limit.", "blkmax", &amlsBlkmax)),
};

const ParamSpec AQL_PARAMS[] = {
    Spin(&FIN::aqlMminSpin, "Mmin", 1, 999999999, 1, 80, nullptr, "mmin", &aqlMmin),
    Spin(&FIN::aqlMmaxSpin, "Mmax", 1, 999999999, 100, 80, nullptr, "mmax", &aqlMmax),
    Spin(&FIN::aqlMstpSpin, "Mstep", -999999, 999999, 5, 60, nullptr, "mstp", &aqlMstp),
    Group(Spin(&FIN::aqlSminSpin, "Smin", 1, 31, 9, 60, nullptr, "smin", &aqlSmin)),
    Spin(&FIN::aqlSmaxSpin, "Smax", 1, 31, 9, 60, nullptr, "smax", &aqlSmax),
    Spin(&FIN::aqlSstpSpin, "Sstep", -32, 32, 1, 60, nullptr, "sstp", &aqlSstp),
};

const char* const AUTOW_DIST = "Bit distance [blocks].";
const char* const AUTOW_BLOCK = "Block size [bits].\nS= 1 is the autocorrelation test.";
const char* const MAX_PVALS = "Max number of p-values for each block size.\n0= no limit.";

const ParamSpec AUTOW_PARAMS[] = {
    SpinUnit(&FIN::autowDminSpin, &FIN::autowDminUnit, "Dmin", 1, 999999999, 1, 80, AUTOW_DIST, "dmin",
             &autowDmin),
    Unit(&FIN::autowDminUnit, 0, "dminUM"),
    SpinUnit(&FIN::autowDmaxSpin, &FIN::autowDmaxUnit, "Dmax", 1, 999999999, 1024, 80, AUTOW_DIST, "dmax",
             &autowDmax),
    Unit(&FIN::autowDmaxUnit, 2, "dmaxUM"),
    Spin(&FIN::autowDstpSpin, "Dstep", -999999, 999999, -1, 80, nullptr, "dstp", &autowDstp),
    Group(Spin(&FIN::autowSminSpin, "Smin", 1, 999999999, 1, 80, AUTOW_BLOCK, "smin", &autowSmin)),
    Spin(&FIN::autowSmaxSpin, "Smax", 1, 999999999, 1024, 90, AUTOW_BLOCK, "smax", &autowSmax),
    Spin(&FIN::autowSstpSpin, "Sstep", -999999, 999999, -1, 80, nullptr, "sstp", &autowSstp),
    Group(Spin(&FIN::autowMaxPvSpin, "Max p-vals", 0, 999999, 0, 100, MAX_PVALS, "max_pv", &autowMaxPv)),
};

const ParamSpec BLKGAPDST_PARAMS[] = {
    Spin(&FIN::blkGapDstSminSpin, "Smin", 1, 12, 1, 60, BLOCK, "smin", &blkGapDstSmin),
    Spin(&FIN::blkGapDstSmaxSpin, "Smax", 1, 12, 12, 60, BLOCK, "smax", &blkGapDstSmax),
    Spin(&FIN::blkGapDstSstpSpin, "Sstep", -32, 32, -1, 60, nullptr, "sstp", &blkGapDstSstp),
};

const ParamSpec COLLISION_PARAMS[] = {
    Spin(&FIN::collisionSminSpin, "Smin", 1, 31, 1, 60, BLOCK, "smin", &collisionSmin),
    Spin(&FIN::collisionSmaxSpin, "Smax", 1, 31, 31, 60, BLOCK, "smax", &collisionSmax),
    Spin(&FIN::collisionSstpSpin, "Sstep", -32, 32, -1, 60, nullptr, "sstp", &collisionSstp),
};

const ParamSpec COUPON_PARAMS[] = {
    Spin(&FIN::couponSminSpin, "Smin", 2, 16, 2, 60, BLOCK, "smin", &couponSmin),
    Spin(&FIN::couponSmaxSpin, "Smax", 2, 16, 16, 60, BLOCK, "smax", &couponSmax),
    Spin(&FIN::couponSstpSpin, "Sstep", -32, 32, 1, 60, nullptr, "sstp", &couponSstp),
};

const char* const DFT_ROWS = "Number of rows.\nR= 1 is the 1-D DFT test.";

const ParamSpec DFT_PARAMS[] = {
    SpinUnit(&FIN::dftRminSpin, &FIN::dftRminUnit, "Rmin", 1, 999999999, 1, 60, DFT_ROWS, "rmin", &dftRmin),
    Unit(&FIN::dftRminUnit, 0, "rminUM"),
    SpinUnit(&FIN::dftRmaxSpin, &FIN::dftRmaxUnit, "Rmax", 1, 999999999, 1024, 80, DFT_ROWS, "rmax", &dftRmax),
    Unit(&FIN::dftRmaxUnit, 2, "rmaxUM"),
    Spin(&FIN::dftRstpSpin, "Rstep", -999999, 999999999, -2, 60, nullptr, "rstp", &dftRstp),
    Group(Stacked(Check(&FIN::dftM0Check, "Mode 0",
                        "Suppose R= 2 and \"Seq. len.\"= 8 bits.\nThe sequence: b_0, b_1, b_2, ..., b_7\n"
                        "is tested as:\nb_0   b_1   b_2   b_3\nb_4   b_5   b_6   b_7",
                        "m0", &dftM0))),
    Check(&FIN::dftM1Check, "Mode 1",
          "Suppose R= 2 and \"Seq. len.\"= 8 bits.\nThe sequence: b_0, b_1, b_2, ..., b_7\n"
          "is tested as:\nb_0   b_2   b_4   b_6\nb_1   b_3   b_5   b_7",
          "m1", &dftM1),
    Group(SpinMbit(&FIN::dftNmaxSpin, "Seq. len. max", 0, 1023, 32, 60,
                   "Maximum sequence length (Mbits) used by the DFT test (to save time and memory).\n0= no limit.",
                   "Nmax", &dftNmax)),
    SpinMbit(&FIN::dftNoptSpin, "Seq. len. opt", 0, 1023, 2, 60,
             "When the sequence length is greater than this value (Mbits), the DFT test optimizes the length to "
             "reduce the running time.",
             "Nopt", &dftNopt),
};

const ParamSpec LICO_PARAMS[] = {
    Spin(&FIN::liCoLenSpin, "Len", 20, 99999999, 1000, 100, "Sequence length [bits].\nWARNING! very slow test.",
         "len", &liCoLen),
    Check(&FIN::liCoOptlenCheck, "Optimize length",
          "Quorvane optimizes \"Len\" to discard the smallest possible number of bits.", "optlen", &liCoOptlen),
    Group(SpinButton(&FIN::liCoKText, &FIN::liCoKSpinButton, "k", 0, 14, 0, 40, "0",
                     "Reduce the number of sequences to save the running time.\n0= no limit.", "k",
                     ParamFeed::Double, &liCoK, &FIN::OnLinCplxKSpin)),
};

const ParamSpec LONGBLK_PARAMS[] = {
    SpinUnit(&FIN::longBlkSminSpin, &FIN::longBlkSminUnit, "Smin", 8, 999999999, 8, 80, BLOCK, "smin",
             &longBlkSmin),
    Unit(&FIN::longBlkSminUnit, 0, "sminUM"),
    SpinUnit(&FIN::longBlkSmaxSpin, &FIN::longBlkSmaxUnit, "Smax", 1, 999999999, 1024, 80, BLOCK, "smax",
             &longBlkSmax),
    Unit(&FIN::longBlkSmaxUnit, 2, "smaxUM"),
    Spin(&FIN::longBlkSstpSpin, "Sstep", -999999, 999999999, -2, 60, nullptr, "sstp", &longBlkSstp),
};

const ParamSpec MAURER_PARAMS[] = {
    Spin(&FIN::maurerSminSpin, "Lmin", 2, 16, 2, 60, BLOCK, "smin", &maurerSmin),
    Spin(&FIN::maurerSmaxSpin, "Lmax", 2, 16, 16, 60, BLOCK, "smax", &maurerSmax),
    Spin(&FIN::maurerSstpSpin, "Lstep", -16, 16, -1, 60, nullptr, "sstp", &maurerSstp),
};

const char* const TEMPLATE = "Template length [bits].";

// The two length controls start with a text outside their range; they read
// as their nearest limit.
const ParamSpec NOTM_PARAMS[] = {
    WithText(Spin(&FIN::notmSminSpin, "Smin", 2, 31, 2, 60, TEMPLATE, "smin", &notmSmin), "1"),
    WithText(Spin(&FIN::notmSmaxSpin, "Smax", 2, 31, 31, 60, TEMPLATE, "smax", &notmSmax), "32"),
    Spin(&FIN::notmSstpSpin, "Sstep", -32, 32, -1, 60, nullptr, "sstp", &notmSstp),
    Group(Spin(&FIN::notmTemplSpin, "Number of templates", 1, 999999999, 4, 100, "0= no limit.", "templ",
               &notmTempl)),
};

const ParamSpec OET_PARAMS[] = {
    Spin(&FIN::oetSminSpin, "Smin", 2, 19, 2, 60, BLOCK, "smin", &oetSmin),
    Spin(&FIN::oetSmaxSpin, "Smax", 2, 19, 14, 60, BLOCK, "smax", &oetSmax),
    Spin(&FIN::oetSstpSpin, "Sstep", -99, 99, -1, 60, nullptr, "sstp", &oetSstp),
};

const ParamSpec PARTITION_PARAMS[] = {
    Spin(&FIN::partitionSminSpin, "Smin", 2, 13, 2, 60, BLOCK, "smin", &partitionSmin),
    Spin(&FIN::partitionSmaxSpin, "Smax", 2, 13, 8, 60, BLOCK, "smax", &partitionSmax),
    Spin(&FIN::partitionSstpSpin, "Sstep", -32, 32, 2, 60, nullptr, "sstp", &partitionSstp),
    Group(Spin(&FIN::partitionKnumSpin, "Number of p-vals", 0, 999999, 20, 80, MAX_PVALS, "knum", &partitionKnum)),
};

const ParamSpec PEAK_PARAMS[] = {
    SpinUnit(&FIN::peakDistSpin, &FIN::peakDistUnit, "Bit distance", 1, 999999999, 1, 80,
             "When \"Bit distance\" > 1, the test also uses this distance (distance = 1 is always used).", "dist",
             &peakDist),
    Unit(&FIN::peakDistUnit, 0, "distUM"),
    Group(SpinMbit(&FIN::peakNmaxSpin, "Seq. len. max", 0, 9999, 64, 60,
                   "Maximum sequence length (Mbits) used by the PEAK test (to save time and memory).\n0= no limit.",
                   "Nmax", &peakNmax)),
    SpinMbit(&FIN::peakNoptSpin, "Seq. len. opt", 0, 9999, 4, 60,
             "When the sequence length is greater than this value (Mbits), the PEAK test optimizes the length to "
             "reduce the running time.",
             "Nopt", &peakNopt),
};

const char* const GROUP = "Group size [S-bit numbers].";

const ParamSpec PERMUTATION_PARAMS[] = {
    Spin(&FIN::permutationGminSpin, "Gmin", 2, 12, 2, 60, GROUP, "gmin", &permutationGmin),
    Spin(&FIN::permutationGmaxSpin, "Gmax", 2, 12, 12, 60, GROUP, "gmax", &permutationGmax),
    Spin(&FIN::permutationGstpSpin, "Gstep", -20, 20, 1, 60, nullptr, "gstp", &permutationGstp),
    Group(Spin(&FIN::permutationSminSpin, "Smin", 2, 32, 2, 60, BLOCK, "smin", &permutationSmin)),
    Spin(&FIN::permutationSmaxSpin, "Smax", 2, 32, 32, 60, BLOCK, "smax", &permutationSmax),
    Spin(&FIN::permutationSstpSpin, "Sstep", -32, 32, -1, 60, nullptr, "sstp", &permutationSstp),
};

const char* const RANK_MODES[] = {"Normal", "C= R+Cmin TO R+Cmax", "R= C"};

const ParamSpec RANK_PARAMS[] = {
    Spin(&FIN::rankRminSpin, "Rmin", 2, 999999999, 16, 60, "Number of rows.", "rmin", &rankRmin),
    Spin(&FIN::rankRmaxSpin, "Rmax", 2, 999999999, 1024, 80, "Number of rows.", "rmax", &rankRmax),
    Spin(&FIN::rankRstpSpin, "Rstep", -999999, 999999999, -1, 60, nullptr, "rstp", &rankRstp),
    Group(Spin(&FIN::rankCminSpin, "Cmin", -32, 32, -2, 60, "Number of columns.", "cmin", &rankCmin)),
    Spin(&FIN::rankCmaxSpin, "Cmax", -32, 32, 2, 60, "Number of columns.", "cmax", &rankCmax),
    Spin(&FIN::rankCstpSpin, "Cstep", -999999, 999999, 1, 60, nullptr, "cstp", &rankCstp),
    Group(Choice(&FIN::rankMChoice, "Mode", RANK_MODES, 3, 1, "m", &rankM)),
};

const ParamSpec ZARWLK_PARAMS[] = {
    Bound(Spin(&FIN::zarWlkLminSpin, "Lmin", 2, 999999999, 2, 60, "Walk length.", "lmin", &zarWlkLmin),
          &FIN::OnRw1dLminSpin),
    Spin(&FIN::zarWlkLmaxSpin, "Lmax", 2, 999999999, 256, 80, "Walk length.", "lmax", &zarWlkLmax),
    Spin(&FIN::zarWlkLstpSpin, "Lstep", -99, 99, -1, 60, nullptr, "lstp", &zarWlkLstp),
    Group(Spin(&FIN::zarWlkSkSpin, "Sk", 1, 999999999, 1, 60, nullptr, "Sk", &zarWlkSk)),
};

const ParamSpec RW2D_PARAMS[] = {
    Spin(&FIN::rw2dLminSpin, "Lmin", 1, 6, 1, 60, "Walk length.", "lmin", &rw2dLmin),
    Spin(&FIN::rw2dLmaxSpin, "Lmax", 1, 6, 6, 60, "Walk length.", "lmax", &rw2dLmax),
    Spin(&FIN::rw2dLstpSpin, "Lstep", -99, 99, 1, 60, nullptr, "lstp", &rw2dLstp),
};

const char* const RUN_LENGTH = "Run length [S-bit numbers].";

const ParamSpec RUNS_PARAMS[] = {
    Spin(&FIN::runsLminSpin, "Lmin", 2, 10, 2, 60, RUN_LENGTH, "lmin", &runsLmin),
    Spin(&FIN::runsLmaxSpin, "Lmax", 2, 10, 10, 60, RUN_LENGTH, "lmax", &runsLmax),
    Spin(&FIN::runsLstpSpin, "Lstep", -99, 99, 2, 60, nullptr, "lstp", &runsLstp),
    Group(Spin(&FIN::runsSminSpin, "Smin", 2, 32, 2, 60, BLOCK, "smin", &runsSmin)),
    Spin(&FIN::runsSmaxSpin, "Smax", 2, 32, 32, 60, BLOCK, "smax", &runsSmax),
    Spin(&FIN::runsSstpSpin, "Sstep", -32, 99, 2, 60, nullptr, "sstp", &runsSstp),
};

const ParamSpec SERIAL_PARAMS[] = {
    Spin(&FIN::serialSminSpin, "Smin", 2, 999999999, 2, 60, BLOCK, "smin", &serialSmin),
    Spin(&FIN::serialSmaxSpin, "Smax", 2, 999999999, 16, 60, BLOCK, "smax", &serialSmax),
    Spin(&FIN::serialSstpSpin, "Sstep", -999999, 999999999, -1, 60, nullptr, "sstp", &serialSstp),
};

const char* const BIT_DISTANCE = "Bit distance [bits].";

const ParamSpec SHORTBLK_PARAMS[] = {
    SpinUnit(&FIN::shortBlkDminSpin, &FIN::shortBlkDminUnit, "Dmin", 1, 999999999, 1, 80, BIT_DISTANCE, "dmin",
             &shortBlkDmin),
    Unit(&FIN::shortBlkDminUnit, 1, "dminUM"),
    SpinUnit(&FIN::shortBlkDmaxSpin, &FIN::shortBlkDmaxUnit, "Dmax", 1, 999999999, 1024, 80, BIT_DISTANCE, "dmax",
             &shortBlkDmax),
    Unit(&FIN::shortBlkDmaxUnit, 2, "dmaxUM"),
    Spin(&FIN::shortBlkDstpSpin, "Dstep", -999999, 999999999, -1, 60, nullptr, "dstp", &shortBlkDstp),
    Group(Spin(&FIN::shortBlkSminSpin, "Smin", 1, 31, 1, 60, BLOCK, "smin", &shortBlkSmin)),
    Spin(&FIN::shortBlkSmaxSpin, "Smax", 1, 31, 31, 60, BLOCK, "smax", &shortBlkSmax),
    Spin(&FIN::shortBlkSstpSpin, "Sstep", -32, 32, -1, 60, nullptr, "sstp", &shortBlkSstp),
};

const ParamSpec WEIGHT_PARAMS[] = {
    Spin(&FIN::weightSminSpin, "Smin", 1, 32, 1, 60, BLOCK, "smin", &weightSmin),
    Spin(&FIN::weightSmaxSpin, "Smax", 1, 32, 32, 60, BLOCK, "smax", &weightSmax),
    Spin(&FIN::weightSstpSpin, "Sstep", -32, 32, -1, 60, nullptr, "sstp", &weightSstp),
    Group(Spin(&FIN::weightProbSpin, "Number of prob's", 1, 10, 4, 60, "Number of probabilities.", "prob",
               &weightProb)),
};

#define PARAMS(array) array, std::size(array)
#define NO_PARAMS nullptr, 0

}  // namespace

const char* const UNIT_ITEMS[3] = {"b", "k", "M"};

const TestPanelSpec TEST_PANELS[TEST_PANEL_COUNT] = {
    {"AMLS", SLOT_AMLS, "AMLS", "Advanced Multi-Level Strategy", 90, &FIN::amlsPanel, &FIN::amlsCheck,
     PARAMS(AMLS_PARAMS)},
    {"AQL", SLOT_AQL, "AQL", "AQL", 90, &FIN::aqlPanel, &FIN::aqlCheck, PARAMS(AQL_PARAMS)},
    {"AutoW", SLOT_AUTOW, "AutoWnd", "Windowed autocorrelation", 90, &FIN::autowPanel, &FIN::autowCheck,
     PARAMS(AUTOW_PARAMS)},
    {"BlkGapDst", SLOT_BLKGAPDIS, "BlkGapDst", "Blocks and gaps distance", 90, &FIN::blkGapDstPanel,
     &FIN::blkGapDstCheck, PARAMS(BLKGAPDST_PARAMS)},
    {"BlkGap", SLOT_BLKGAP, "BlkGap", "Blocks and gaps", -1, &FIN::blkGapPanel, &FIN::blkGapCheck, NO_PARAMS},
    {"Collision", SLOT_COLLISION, "Collision", nullptr, 90, &FIN::collisionPanel, &FIN::collisionCheck,
     PARAMS(COLLISION_PARAMS)},
    {"Coupon", SLOT_COUPON, "Coupon c.", "Coupon collector", 90, &FIN::couponPanel, &FIN::couponCheck,
     PARAMS(COUPON_PARAMS)},
    {"Cusum", SLOT_CUSUM, "Cusum", "Cumulative sum", 90, &FIN::cusumPanel, &FIN::cusumCheck, NO_PARAMS},
    {"DFT", SLOT_DFT, "DFT", "1-D and 2-D spectral test", 90, &FIN::dftPanel, &FIN::dftCheck, PARAMS(DFT_PARAMS)},
    {"LiCo", SLOT_LINCPLX, "Lin Cplx", "Linear complexity", 90, &FIN::liCoPanel, &FIN::liCoCheck,
     PARAMS(LICO_PARAMS)},
    {"LongBlk", SLOT_LONGBLK, "LongBlk", "Long blocks", 90, &FIN::longBlkPanel, &FIN::longBlkCheck,
     PARAMS(LONGBLK_PARAMS)},
    {"Maurer", SLOT_MAURER, "Maurer", "Maurer's universal test", 90, &FIN::maurerPanel, &FIN::maurerCheck,
     PARAMS(MAURER_PARAMS)},
    {"NOTM", SLOT_NOTM, "NOTM", "Non overlapping templates matchings", 90, &FIN::notmPanel, &FIN::notmCheck,
     PARAMS(NOTM_PARAMS)},
    {"OET", SLOT_OET, "OET", "Overlapping Entropy Test", 90, &FIN::oetPanel, &FIN::oetCheck, PARAMS(OET_PARAMS)},
    {"OTM", SLOT_OTM, "OTM", "Overlapping templates matchings", 90, &FIN::otmPanel, &FIN::otmCheck, NO_PARAMS},
    {"Partition", SLOT_PARTITION, "Partition", nullptr, 90, &FIN::partitionPanel, &FIN::partitionCheck,
     PARAMS(PARTITION_PARAMS)},
    {"Peak", SLOT_PEAK, "Peak", nullptr, 90, &FIN::peakPanel, &FIN::peakCheck, PARAMS(PEAK_PARAMS)},
    {"Permutation", SLOT_PERM, "Permutat.", "Permutation", 90, &FIN::permutationPanel, &FIN::permutationCheck,
     PARAMS(PERMUTATION_PARAMS)},
    {"Rank", SLOT_RANK, "Rank", nullptr, 90, &FIN::rankPanel, &FIN::rankCheck, PARAMS(RANK_PARAMS)},
    {"ZarWlk", SLOT_RW1D, "RW 1-D", "Random walk 1-D", 90, &FIN::zarWlkPanel, &FIN::zarWlkCheck,
     PARAMS(ZARWLK_PARAMS)},
    {"RW2D", SLOT_RW2D, "RW 2-D", "Random walk 2-D", 90, &FIN::rw2dPanel, &FIN::rw2dCheck, PARAMS(RW2D_PARAMS)},
    {"RWdst", SLOT_RWDST, "RW dst", "Random walk distance", 90, &FIN::rwDstPanel, &FIN::rwDstCheck, NO_PARAMS},
    {"Runs", SLOT_RUNS, "Runs", nullptr, 90, &FIN::runsPanel, &FIN::runsCheck, PARAMS(RUNS_PARAMS)},
    {"Serial", SLOT_SERIAL, "Serial", nullptr, 90, &FIN::serialPanel, &FIN::serialCheck, PARAMS(SERIAL_PARAMS)},
    {"ShortBlk", SLOT_SHORTBLK, "ShortBlk", "Short blocks", 90, &FIN::shortBlkPanel, &FIN::shortBlkCheck,
     PARAMS(SHORTBLK_PARAMS)},
    {"TwoBit", SLOT_TWOBIT, "Two bit", nullptr, 90, &FIN::twoBitPanel, &FIN::twoBitCheck, NO_PARAMS},
    {"Weight", SLOT_WEIGHT, "Weight", nullptr, 90, &FIN::weightPanel, &FIN::weightCheck, PARAMS(WEIGHT_PARAMS)},
};
