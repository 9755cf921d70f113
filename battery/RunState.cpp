#include "battery/RunState.h"

#include <cmath>
#include <new>

TestEntry testTable[TEST_SLOTS] = {
    {false, nullptr, "DFT"},
    {false, nullptr, "AMLS"},
    {false, nullptr, "Serial"},
    {false, nullptr, "Collision"},
    {false, nullptr, "Non overlapping template matching"},
    {false, nullptr, "Partition"},
    {false, nullptr, "Blocks'n'gaps"},
    {false, nullptr, "Runs"},
    {false, nullptr, "Cumulative sum"},
    {false, nullptr, "Short blocks"},
    {false, nullptr, "Overlapping template matching"},
    {false, nullptr, "Windowed autocorrelation"},
    {false, nullptr, "Permutation"},
    {false, nullptr, "Coupon collector"},
    {false, nullptr, "Maurer"},
    {false, nullptr, "Long blocks"},
    {false, nullptr, "Peak"},
    {false, nullptr, "Rank"},
    {false, nullptr, "Linear complexity"},
    {false, nullptr, "Block gap distance"},
    {false, nullptr, "Weight"},
    {false, nullptr, "Overlapping entropy"},
    {false, nullptr, "Serial two-bit"},
    {false, nullptr, "Random walk 1-D"},
    {false, nullptr, "Random walk distance"},
    {false, nullptr, "Random walk 2-D"},
    {false, nullptr, "AQL"},
    {false, nullptr, "BDAY"},
    {false, nullptr, "GCD"},
    {false, nullptr, "SOB"},
};

uint32_t* seqBits = nullptr;
uint32_t seqLen = 0;
int seqCount = 0;
int seqIndex = 0;

std::vector<char*> resultLabels[TEST_SLOTS];
std::vector<double> resultPValues[TEST_SLOTS];

double* lnFactorial = nullptr;
int lnFactorialMax = 0;

char* dataDir = nullptr;
char* pathBuf = nullptr;
thread_local int gammaSign = 1;
int runState = RunState::Idle;


int amlsLmin, amlsLmax, amlsLstp, amlsBlkmax;
int aqlSmin, aqlSmax, aqlSstp, aqlMmin, aqlMmax, aqlMstp;
int autowSmin, autowSmax, autowSstp, autowDmin, autowDmax, autowDstp, autowMaxPv;
int blkGapDstSmin, blkGapDstSmax, blkGapDstSstp;
int collisionSmin, collisionSmax, collisionSstp;
int couponSmin, couponSmax, couponSstp;
unsigned dftRmin, dftRmax;
int dftRstp, dftM0, dftM1;
unsigned dftNmax, dftNopt;
int dftFirstMode, dftModeStep;
int liCoLen, liCoOptlen, liCoK;
int longBlkSmin, longBlkSmax, longBlkSstp;
int maurerSmin, maurerSmax, maurerSstp;
int notmSmin, notmSmax, notmSstp, notmTempl;
int oetSmin, oetSmax, oetSstp;
int partitionSmin, partitionSmax, partitionSstp, partitionKnum;
unsigned peakDist, peakNmax, peakNopt;
int permutationGmin, permutationGmax, permutationGstp;
int permutationSmin, permutationSmax, permutationSstp;
int rankRmin, rankRmax, rankRstp, rankCmin, rankCmax, rankCstp, rankM;
int zarWlkLmin, zarWlkLmax, zarWlkLstp, zarWlkSk;
int rw2dLmin, rw2dLmax, rw2dLstp;
int runsLmin, runsLmax, runsLstp, runsSmin, runsSmax, runsSstp;
int serialSmin, serialSmax, serialSstp;
int shortBlkSmin, shortBlkSmax, shortBlkSstp, shortBlkDmin, shortBlkDmax, shortBlkDstp;
int weightSmin, weightSmax, weightSstp, weightProb;

int pvalueDigits;
int runPriority;

void EnsureLnFactorial(int maxK) {
  if (maxK <= lnFactorialMax) return;
  // maxK + 1 entries, computed in size_t so that no size wraps. The old
  // table stays until the new one exists, so a failure keeps what earlier
  // requests were given.
  double* table = new (std::nothrow) double[static_cast<size_t>(maxK) + 1];
  if (table == nullptr) return;
  delete[] lnFactorial;
  lnFactorial = table;
  lnFactorialMax = maxK;
  lnFactorial[0] = 0;
  lnFactorial[1] = 0;
  double s = 0;
  for (int k = 2; k <= maxK; ++k) {
    s += std::log(static_cast<double>(k));
    lnFactorial[k] = s;
  }
}

double LnFactorial(int k) {
  if (lnFactorial != nullptr && k <= lnFactorialMax) return lnFactorial[k];
  return std::lgamma(k + 1.0);
}
