#pragma once
// The plain global state through which the window, the run engine and the
// tests meet during a run. Written on the GUI thread while no test runs,
// except each slot's result lists (written by that slot's worker).
#include <cstdint>
#include <vector>

class TESTthd;

constexpr int TEST_SLOTS = 30;

struct TestEntry {
  bool enabled;
  TESTthd* test;
  const char* name;
};
extern TestEntry testTable[TEST_SLOTS];

// Slot numbers of testTable, also the index of each test's result lists
// and of its worker (engine/Workers.h).
enum TestSlot : int {
  SLOT_DFT, SLOT_AMLS, SLOT_SERIAL, SLOT_COLLISION, SLOT_NOTM, SLOT_PARTITION,
  SLOT_BLKGAP, SLOT_RUNS, SLOT_CUSUM, SLOT_SHORTBLK, SLOT_OTM, SLOT_AUTOW,
  SLOT_PERM, SLOT_COUPON, SLOT_MAURER, SLOT_LONGBLK, SLOT_PEAK, SLOT_RANK,
  SLOT_LINCPLX, SLOT_BLKGAPDIS, SLOT_WEIGHT, SLOT_OET, SLOT_TWOBIT, SLOT_RW1D,
  SLOT_RWDST, SLOT_RW2D, SLOT_AQL, SLOT_BDAY, SLOT_GCD, SLOT_SOB
};

// The current sequence: bit t is bit (t mod 32), from the least significant
// bit, of word t / 32. floor(seqLen / 32) + 2 words; bits from seqLen on
// are spare.
extern uint32_t* seqBits;
extern uint32_t seqLen;
extern int seqCount;
extern int seqIndex;

// Per slot, the labels (heap strings, freed with delete[] by the engine)
// and the parallel p-values of the current sequence.
extern std::vector<char*> resultLabels[TEST_SLOTS];
extern std::vector<double> resultPValues[TEST_SLOTS];

// Codes in place of a p-value; a value is a p-value only when above -1.
constexpr double PVALUE_FAIL = -1.0;
constexpr double PVALUE_SHORT = -2.0;

// ln k! for k = 0 .. lnFactorialMax; null and 0 when empty.
extern double* lnFactorial;
extern int lnFactorialMax;
// Grows the table to hold k = 0 .. maxK; it never shrinks. When the larger
// table cannot be allocated the table stays as it was: the caller checks
// lnFactorialMax >= maxK afterwards.
void EnsureLnFactorial(int maxK);
// ln k! from the table, or from lgamma for a k (>= 0) past its end.
double LnFactorial(int k);

// The program's data folder (the executable's), without a trailing '/';
// set by the main window, read by the engine and the test constructors.
extern char* dataDir;

// 1024-byte scratch buffer of the GUI thread for one run.
constexpr int PATH_BUF_SIZE = 1024;
extern char* pathBuf;

// Sign of Gamma(x) left by the last LogGamma call on this thread.
extern thread_local int gammaSign;

namespace RunState {
enum : int { Running = 0, StopRequested = 1, Idle = 2 };
}
extern int runState;

// Test parameters: section + key of the presets file.
extern int amlsLmin, amlsLmax, amlsLstp, amlsBlkmax;
extern int aqlSmin, aqlSmax, aqlSstp, aqlMmin, aqlMmax, aqlMstp;
extern int autowSmin, autowSmax, autowSstp, autowDmin, autowDmax, autowDstp, autowMaxPv;
extern int blkGapDstSmin, blkGapDstSmax, blkGapDstSstp;
extern int collisionSmin, collisionSmax, collisionSstp;
extern int couponSmin, couponSmax, couponSstp;
extern unsigned dftRmin, dftRmax;
extern int dftRstp, dftM0, dftM1;
extern unsigned dftNmax, dftNopt;
extern int dftFirstMode, dftModeStep;
extern int liCoLen, liCoOptlen, liCoK;
extern int longBlkSmin, longBlkSmax, longBlkSstp;
extern int maurerSmin, maurerSmax, maurerSstp;
extern int notmSmin, notmSmax, notmSstp, notmTempl;
extern int oetSmin, oetSmax, oetSstp;
extern int partitionSmin, partitionSmax, partitionSstp, partitionKnum;
extern unsigned peakDist, peakNmax, peakNopt;
extern int permutationGmin, permutationGmax, permutationGstp;
extern int permutationSmin, permutationSmax, permutationSstp;
extern int rankRmin, rankRmax, rankRstp, rankCmin, rankCmax, rankCstp, rankM;
extern int zarWlkLmin, zarWlkLmax, zarWlkLstp, zarWlkSk;
extern int rw2dLmin, rw2dLmax, rw2dLstp;
extern int runsLmin, runsLmax, runsLstp, runsSmin, runsSmax, runsSstp;
extern int serialSmin, serialSmax, serialSstp;
extern int shortBlkSmin, shortBlkSmax, shortBlkSstp, shortBlkDmin, shortBlkDmax, shortBlkDstp;
extern int weightSmin, weightSmax, weightSstp, weightProb;

// Run settings.
extern int pvalueDigits;
extern int runPriority;
