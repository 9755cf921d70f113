#include "engine/ParameterChecks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "battery/DatFile.h"
#include "battery/GridWalk.h"
#include "battery/Messages.h"
#include "battery/RunState.h"
#include "engine/Helpers.h"
#include "engine/RunContext.h"

namespace {

const char* Name(int slot) { return testTable[slot].name; }

void Refuse(int slot, const char* rule) { RunLog("%s: %s\n\n", Name(slot), rule); }

void Disable(int slot) { testTable[slot].enabled = false; }

// Counts the refusals of the first pass.
struct Pass {
  int failures = 0;
  bool Enabled(int slot) const { return testTable[slot].enabled; }
  void Fail(int slot) {
    Disable(slot);
    ++failures;
  }
  // Refuses with one rule text.
  void Refuse(int slot, const char* rule) {
    ::Refuse(slot, rule);
    Fail(slot);
  }
  // Grows the ln k! table for a test that passed; a table that cannot be
  // allocated disables the test.
  void NeedLnFactorial(int slot, int maxK) {
    EnsureLnFactorial(maxK);
    if (lnFactorialMax >= maxK) return;
    RunLog("\n\t!! ERROR !!\n%s: not enough memory for the table of ln k! up to %d.\n", Name(slot), maxK);
    Fail(slot);
  }
  void DataFile(int slot, const char* fileName) {
    if (DataFileIsSound(fileName)) return;
    LogDataFile(slot, fileName);
    Fail(slot);
  }
  static void LogDataFile(int slot, const char* fileName) {
    RunLog("\n\t!! ERROR !!\n%s: file '%s' not found or corrupted.\n", Name(slot), fileName);
  }
};

const char* const MIN_MAX_STEP = "min > 0, min <= max and step != 0";

void FormatPath(const char* fileName) { snprintf(pathBuf, PATH_BUF_SIZE, "%s/%s", dataDir ? dataDir : ".", fileName); }

// Whether the gap classes of word size s leave enough classes, for the
// block gap distance test.
bool GapClassesUsable(int s) {
  const uint64_t m = (static_cast<uint64_t>(seqLen) >> s) / static_cast<uint64_t>(s);
  if (m < 5) return false;
  const double p = std::ldexp(1.0, -s);
  double f = 0, e = 0, q = 1;  // q = (1 - p)^k
  uint64_t k = 0;
  int classes = 0;
  for (;; ++k) {
    const double pk = p * q;
    f += pk;
    e += (m - 1) * pk;
    if ((1 - f) * (m - 1) + e < 5) break;
    if (e > 5) {
      ++classes;
      e = 0;
    }
    q *= 1 - p;
  }
  return classes >= 2 && k / classes <= 9;
}

// The collision test's limits file: the first section whose sequence count
// reaches seqCount accepts the run.
void CheckCollisionLimits(Pass& pass) {
  FormatPath("DAT_collision_limits.txt");
  FILE* file = fopen(pathBuf, "rb");
  if (file == nullptr) {
    RunLog("\n\t!! ERROR !!\n%s: file 'DAT_collision_limits.txt' not found.\n", Name(SLOT_COLLISION));
    pass.Fail(SLOT_COLLISION);
    return;
  }
  int lastCount = 0;  // an empty file names no count: 0 is shown
  bool accepted = false;
  while (!accepted && fgets(pathBuf, PATH_BUF_SIZE, file) != nullptr) {
    lastCount = atoi(pathBuf);
    if (lastCount >= seqCount) {
      accepted = true;
      break;
    }
    while (fgets(pathBuf, PATH_BUF_SIZE, file) != nullptr && pathBuf[0] != '#') {
    }
  }
  fclose(file);
  if (accepted) return;
  RunLog("The maximum number of sequences currently supported by the\nCOLLISION test is %d.\nYou chosen %d sequences.\n",
      lastCount, seqCount);
  Disable(SLOT_COLLISION);
}

}  // namespace

bool DataFileIsSound(const char* fileName) {
  std::vector<unsigned char> payload;
  return ReadDatFile(fileName, payload);
}

int CheckParametersFirstPass() {
  Pass pass;

  if (pass.Enabled(SLOT_AMLS)) {
    int lastPassed = 0;
    bool any = false;
    if (amlsLmin <= amlsLmax) {
      for (int l : Grid(amlsLmin, amlsLmax, amlsLstp)) {
        if (l <= 0 || seqLen / (static_cast<uint64_t>(l) * 1024) < 5) break;
        lastPassed = l;
        any = true;
      }
    }
    if (!any) {
      char rule[128];
      snprintf(rule, sizeof rule, "Sequence length too short; you need at least %u bits.\n", 5120u * unsigned(amlsLmin));
      pass.Refuse(SLOT_AMLS, rule);
    } else {
      amlsLmax = lastPassed;
      if (amlsBlkmax == 0) amlsBlkmax = 0x7FFFFFFF;
    }
  }

  if (pass.Enabled(SLOT_AQL) && (aqlSstp == 0 || aqlMstp == 0)) pass.Refuse(SLOT_AQL, "step != 0");

  if (pass.Enabled(SLOT_AUTOW)) {
    if (autowDmax > static_cast<int>(seqLen / 2)) autowDmax = static_cast<int>(seqLen / 2);
    if (autowDmin > autowDmax) autowDmin = autowDmax;
    if (autowDmin < 1 || autowDmin > autowDmax || autowDstp == 0 || autowSmin < 1 || autowSmin > autowSmax ||
        autowSstp == 0) {
      pass.Refuse(SLOT_AUTOW, MIN_MAX_STEP);
    } else {
      int last = autowSmin;
      for (int s : Grid(autowSmin, autowSmax, autowSstp)) last = s;
      autowSmax = last;
      // A block size above n/7 leaves at most 6 blocks, and no distance of 1
      // or more can then give a job ((blocks - d - 1) x Pc >= 5 with Pc <=
      // 1): the largest size and the ln k! table stop at the last size of
      // the grid that can. A smallest size above it stays for the length
      // rule of the second pass, which refuses it (n >= 7 x size at least).
      const int usable = static_cast<int>(seqLen / 7);
      if (autowSmax > usable) {
        last = autowSmin;
        for (int s : Grid(autowSmin, usable, autowSstp)) last = s;
        autowSmax = last;
      }
      pass.NeedLnFactorial(SLOT_AUTOW, std::min(autowSmax, usable));
    }
  }

  if (pass.Enabled(SLOT_BLKGAPDIS)) {
    if (blkGapDstSmin < 1 || blkGapDstSmax > 32 || blkGapDstSmin > blkGapDstSmax || blkGapDstSstp == 0) {
      pass.Refuse(SLOT_BLKGAPDIS, MIN_MAX_STEP);
    } else {
      int lastUsable = 0;
      for (int s : Grid(blkGapDstSmin, blkGapDstSmax, blkGapDstSstp)) {
        if (!GapClassesUsable(s)) break;
        lastUsable = s;
      }
      if (lastUsable == 0)
        pass.Refuse(SLOT_BLKGAPDIS, "Sequence length too short");
      else
        blkGapDstSmax = lastUsable;
    }
  }

  if (pass.Enabled(SLOT_COLLISION)) {
    if (collisionSmin < 1 || collisionSmin > collisionSmax || collisionSstp == 0)
      pass.Refuse(SLOT_COLLISION, MIN_MAX_STEP);
    CheckCollisionLimits(pass);
  }

  if (pass.Enabled(SLOT_LINCPLX)) {
    if (liCoK != 0 && (liCoK % 2 != 0 || liCoK < 2 || liCoK > 28))
      pass.Refuse(SLOT_LINCPLX, "k must be even, 2<= k <= 28");
    if (liCoLen < 1 || static_cast<unsigned>(liCoLen) > seqLen / 2) pass.Refuse(SLOT_LINCPLX, "1 <= L <= n/2");
  }

  if (pass.Enabled(SLOT_OTM)) {
    if ((seqLen / 1032) * 0.0704323 < 5) {
      char rule[128];
      snprintf(rule, sizeof rule, "Sequence length too short; you need at least %u bits.\n", 73272u);
      pass.Refuse(SLOT_OTM, rule);
    } else {
      pass.NeedLnFactorial(SLOT_OTM, 1000);
    }
  }

  if (pass.Enabled(SLOT_RUNS) &&
      (runsSmin > runsSmax || runsSstp == 0 || runsLmin > runsLmax || runsLstp == 0)) {
    Refuse(SLOT_RUNS, "block size : min <= max and step != 0");
    pass.Refuse(SLOT_RUNS, "runs length: min <= max and step != 0");
  }

  if (pass.Enabled(SLOT_RANK)) {
    if (rankRmin < 2 || rankRmin > rankRmax || rankRstp == 0 || rankCmin > rankCmax || rankCstp == 0 || rankM < 0 ||
        rankM > 2) {
      Refuse(SLOT_RANK, "rows >= 2, min <= max and step != 0");
      Refuse(SLOT_RANK, "cols_min <= cols_max  and step != 0");
      pass.Refuse(SLOT_RANK, "mode = 0, 1 or 2");
    }
    if (rankM == 0 && rankCmin < 2) pass.Refuse(SLOT_RANK, "mode = 0: cols_min >=2");
  }

  if (pass.Enabled(SLOT_COUPON)) {
    if (couponSmin < 2 || couponSmin > couponSmax || couponSstp == 0)
      pass.Refuse(SLOT_COUPON, "min > 1, min <= max and step != 0");
    pass.DataFile(SLOT_COUPON, "DAT_coupon.bin");
  }

  if (pass.Enabled(SLOT_DFT)) {
    if (dftRmin == 0 || dftRmin > dftRmax || dftRstp == 0) pass.Refuse(SLOT_DFT, MIN_MAX_STEP);
    if (dftM0 == 0 && dftM1 == 0) pass.Refuse(SLOT_DFT, "At least 1 mode must be enabled.");
    dftFirstMode = dftM0 != 0 ? 0 : 1;
    dftModeStep = dftM0 != 0 && dftM1 != 0 ? 1 : 2;
  }

  if (pass.Enabled(SLOT_MAURER) &&
      (maurerSmin < 2 || maurerSmax > 16 || maurerSmin > maurerSmax || maurerSstp == 0))
    pass.Refuse(SLOT_MAURER, "min > 1, max<17, min <= max and step != 0");

  if (pass.Enabled(SLOT_SHORTBLK)) {
    if (shortBlkDmax > static_cast<int>(seqLen / 2)) shortBlkDmax = static_cast<int>(seqLen / 2);
    if (shortBlkDmin > shortBlkDmax) shortBlkDmin = shortBlkDmax;
    if (shortBlkSmin < 1 || shortBlkSmax > 31 || shortBlkSmin > shortBlkSmax || shortBlkSstp == 0 ||
        shortBlkDmin < 1 || shortBlkDmin > shortBlkDmax || shortBlkDstp == 0) {
      Refuse(SLOT_SHORTBLK, "block size min > 0, max < 32, min <= max and step != 0");
      RunLog("%s: distance min > 0, min <= max and step != 0\n", Name(SLOT_SHORTBLK));
      pass.Fail(SLOT_SHORTBLK);
    }
    // Words of single bits at distance 1 are the serial test's m = 1.
    if (shortBlkSmin == 1 && shortBlkDmin == 1 && serialSmin == 1) serialSmin = 2;
  }

  if (pass.Enabled(SLOT_SERIAL) && (serialSmin < 1 || serialSmin > serialSmax || serialSstp == 0))
    pass.Refuse(SLOT_SERIAL, MIN_MAX_STEP);

  if (pass.Enabled(SLOT_PERM) &&
      (permutationSmin < 1 || permutationSmax > 32 || permutationSmin > permutationSmax || permutationSstp == 0 ||
       permutationGmin < 2 || permutationGmax > 12 || permutationGmin > permutationGmax || permutationGstp == 0)) {
    Refuse(SLOT_PERM, "block size min > 0, max <= 32, min <= max and step != 0");
    pass.Refuse(SLOT_PERM, "group size min > 1, max <= 12, min <= max and step != 0");
  }

  if (pass.Enabled(SLOT_LONGBLK) && (longBlkSmin < 8 || longBlkSmin > longBlkSmax || longBlkSstp == 0))
    pass.Refuse(SLOT_LONGBLK, "min >= 8, min <= max and step != 0");

  if (pass.Enabled(SLOT_NOTM) && (notmSmin < 2 || notmSmax > 31 || notmSmin > notmSmax || notmSstp == 0))
    pass.Refuse(SLOT_NOTM, "min > 1, max < 32, min <= max and step != 0");

  if (pass.Enabled(SLOT_WEIGHT)) {
    if (weightSmin < 1 || weightSmin > weightSmax || weightSstp == 0 || weightProb < 1)
      pass.Refuse(SLOT_WEIGHT, MIN_MAX_STEP);
    else
      pass.NeedLnFactorial(SLOT_WEIGHT, 40);
  }

  if (pass.Enabled(SLOT_OET)) {
    if (oetSmin < 1 || oetSmin > oetSmax || oetSstp == 0) {
      pass.Refuse(SLOT_OET, MIN_MAX_STEP);
    } else {
      const int limit = static_cast<int>(0.963 * std::log(static_cast<double>(seqLen)) - 1.63);
      if (oetSmax > limit) {
        oetSmax = limit;
        if (oetSmin > limit) oetSmin = limit;
      }
    }
  }

  if (pass.Enabled(SLOT_PARTITION)) pass.DataFile(SLOT_PARTITION, "DAT_partition.bin");

  if (pass.Enabled(SLOT_RW1D)) {
    // Fewer than 15 walks cannot fill the three classes of 5 expected walks
    // that a statistic needs, so no walk length above n/15 is ever used.
    zarWlkLmax = std::min(zarWlkLmax, static_cast<int>(seqLen / 15));
    pass.NeedLnFactorial(SLOT_RW1D, zarWlkLmax);
  }

  if (pass.Enabled(SLOT_RWDST)) pass.NeedLnFactorial(SLOT_RWDST, 200);

  if (pass.Enabled(SLOT_RW2D)) {
    const bool fileSound = DataFileIsSound("DAT_ZarWlk.bin");
    const bool rulePassed = rw2dLmin <= rw2dLmax && rw2dLstp != 0;
    if (!rulePassed) Refuse(SLOT_RW2D, "min <= max and step != 0");
    if (!fileSound) Pass::LogDataFile(SLOT_RW2D, "DAT_ZarWlk.bin");
    if (!rulePassed || !fileSound)
      pass.Fail(SLOT_RW2D);
    else
      pass.NeedLnFactorial(SLOT_RW2D, 1000);
  }

  return pass.failures;
}

namespace {

// A length in bits as a number and a unit letter: divided by 1024 while it
// is at least 1024, at most three times.
void ScaleBits(double bits, double& value, char& unit) {
  static const char UNITS[] = {' ', 'k', 'M', 'G'};
  int divisions = 0;
  value = bits;
  while (value >= 1024 && divisions < 3) {
    value /= 1024;
    ++divisions;
  }
  unit = UNITS[divisions];
}

}  // namespace

int CheckParametersSecondPass() {
  int refusals = 0;
  auto refuse = [&refusals](int slot) {
    Disable(slot);
    ++refusals;
  };

  if (testTable[SLOT_AUTOW].enabled) {
    const int s = autowSmin;
    // A smallest block size too large for any job lies past the table.
    const double p = std::exp(LnFactorial(s) - LnFactorial(s / 2) - LnFactorial(s - s / 2) - s * std::log(2.0));
    // Computed in 64 bits: a large block size must not wrap the need to a
    // small number.
    const uint64_t need = static_cast<uint64_t>(s) * static_cast<uint64_t>(std::ceil(5 / p + autowDmin + 1));
    bool refused = false;
    if (seqLen < need) {
      RunLog("%s: n >= %llu\n\n", Name(SLOT_AUTOW), static_cast<unsigned long long>(need));
      refused = true;
    }
    if (static_cast<int64_t>(autowDmax) > static_cast<int64_t>(seqLen / static_cast<unsigned>(s))) {
      RunLog("%s: distance min <= %d\n\n", Name(SLOT_AUTOW), static_cast<int>(seqLen / static_cast<unsigned>(s)));
      refused = true;
    }
    if (refused) refuse(SLOT_AUTOW);
  }

  if (testTable[SLOT_BLKGAPDIS].enabled) {
    double need;
    if (seqCount <= 10)
      need = 64;
    else if (seqCount <= 30)
      need = 256;
    else if (seqCount <= 50)
      need = 512;
    else if (seqCount <= 100)
      need = 4096;
    else if (seqCount <= 300)
      need = 20480;
    else if (seqCount <= 500)
      need = 65536;
    else if (seqCount <= 1000)
      need = 2097152;
    else
      need = 2575 * std::exp(0.006674 * seqCount);
    if (seqLen < need) {
      double value;
      char unit;
      ScaleBits(need, value, unit);
      RunLog("%s: sequence length too short for %d sequences; the test needs at least %.3g %cbits in 'Seq. len.'\n\n",
          Name(SLOT_BLKGAPDIS), seqCount, value, unit);
      refuse(SLOT_BLKGAPDIS);
    }
  }

  if (testTable[SLOT_DFT].enabled && seqLen < 1000) {
    Refuse(SLOT_DFT, "n < 1000");
    refuse(SLOT_DFT);
  }

  if (testTable[SLOT_PEAK].enabled) {
    const unsigned kbits = seqCount <= 10 ? 32 : seqCount <= 50 ? 128 : seqCount <= 100 ? 256 : seqCount <= 1000 ? 1024 : 4096;
    if (seqLen < kbits * 1024) {
      RunLog("%s: sequence length too short for %d sequences; the test needs at least %u kbits in 'Seq. len.'\n\n",
          Name(SLOT_PEAK), seqCount, kbits);
      refuse(SLOT_PEAK);
    }
  }

  if (testTable[SLOT_OET].enabled && seqLen < 64) {
    Refuse(SLOT_OET, "n < 64");
    refuse(SLOT_OET);
  }

  if (testTable[SLOT_SHORTBLK].enabled &&
      static_cast<int64_t>(shortBlkDmax) > static_cast<int64_t>(seqLen / static_cast<unsigned>(shortBlkSmin))) {
    RunLog("%s: distance min <= %d\n\n", Name(SLOT_SHORTBLK), static_cast<int>(seqLen / static_cast<unsigned>(shortBlkSmin)));
    refuse(SLOT_SHORTBLK);
  }

  if (testTable[SLOT_SERIAL].enabled) {
    const double limit = std::log2(static_cast<double>(seqLen)) - 2;
    if (serialSmin > limit) {
      RunLog("%s: min <= %d\n\n", Name(SLOT_SERIAL), static_cast<int>(limit));
      refuse(SLOT_SERIAL);
    }
  }
  return refusals;
}
