#include "battery/FftLength.h"

#include <fftw3.h>
#include <wx/filefn.h>
#include <wx/defs.h>

#include <cstdio>

#include "battery/Messages.h"
#include "battery/RunState.h"

namespace {

const char* const WISDOM_FILE = "FFTWwisdom_f";
const char* const WISDOM_CAPTION = "Quorvane - DFT/PEAK test";

}  // namespace

uint32_t LargestFftFriendlyLength(uint32_t n) {
  if (n == 0) return 1;
  const uint64_t limit = n;
  uint64_t best = 1;
  // Every odd part 3^b 5^c 7^d times at most one 11 or 13, each not above
  // n; its best power of two is the largest that keeps the product not
  // above n. All in 64 bits: a product of two values below 2^32 never wraps.
  for (uint64_t p3 = 1; p3 <= limit; p3 *= 3)
    for (uint64_t p5 = p3; p5 <= limit; p5 *= 5)
      for (uint64_t p7 = p5; p7 <= limit; p7 *= 7)
        for (uint64_t extra : {1u, 13u, 11u}) {
          uint64_t product = p7 * extra;
          if (product > limit) continue;
          while (product * 2 <= limit) product *= 2;
          if (product > best) best = product;
        }
  return static_cast<uint32_t>(best);
}

void FitFftLength(const char* testName, uint32_t maxLength, uint32_t optLength, uint32_t& fftLength) {
  uint32_t n = seqLen;
  if (maxLength != 0 && maxLength < n) {
    n = maxLength;
    AppendLog(wxString::Format("%s test: sequence length truncated to %u bits\n\n", testName, n));
  }
  if (n <= optLength) {
    fftLength = n;
    return;
  }
  const uint32_t fitted = LargestFftFriendlyLength(n);
  fftLength = fitted;
  if (fitted != n)
    AppendLog(wxString::Format("%s test: sequence length optimized to %u bits (%lld bits)\n\n", testName, fitted,
                               static_cast<long long>(fitted) - static_cast<long long>(n)));
}

bool ComposeWisdomPath() {
  if (pathBuf == nullptr) return false;
  pathBuf[0] = '\0';
  if (dataDir == nullptr) return false;
  const int length = std::snprintf(pathBuf, PATH_BUF_SIZE, "%s/%s", dataDir, WISDOM_FILE);
  if (length < 0 || length >= PATH_BUF_SIZE) {
    pathBuf[0] = '\0';
    return false;
  }
  return true;
}

void LoadFftWisdom() {
  if (pathBuf == nullptr || pathBuf[0] == '\0' || !wxFileExists(pathBuf)) return;
  if (fftwf_import_wisdom_from_filename(pathBuf) == 0)
    ShowMessageBox("WARNING: wisdom not loaded.", WISDOM_CAPTION, wxOK | wxICON_INFORMATION);
}

void SaveFftWisdom() {
  if (pathBuf == nullptr || pathBuf[0] == '\0' || fftwf_export_wisdom_to_filename(pathBuf) == 0)
    WarnWisdomNotSaved();
}

void WarnWisdomNotSaved() {
  ShowMessageBox("WARNING: wisdom not saved.", WISDOM_CAPTION, wxOK | wxICON_INFORMATION);
}
