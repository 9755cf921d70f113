#pragma once
// What the two FFT tests (DFT, PEAK) share: the number of bits they
// transform, and FFTW's wisdom file beside the program. Everything here runs
// in the test constructors, on the GUI thread, while no worker runs: FFTW's
// planner and its wisdom are not thread-safe.
#include <cstdint>

// Plan flags of every FFT plan: FFTW_ESTIMATE | FFTW_DESTROY_INPUT (no
// measuring at planning time; the input is refilled before every execution).
constexpr unsigned FFT_PLAN_FLAGS = 65;

// The largest length not above n of the form 2^a 3^b 5^c 7^d 11^e 13^f with
// e + f <= 1; 1 for n = 0. Every candidate is formed and compared in 64 bits.
uint32_t LargestFftFriendlyLength(uint32_t n);

// N from seqLen: truncated to maxLength (0: no maximum), then, when above
// optLength, lowered to LargestFftFriendlyLength. Each change is logged with
// testName ("DFT" or "PEAK").
void FitFftLength(const char* testName, uint32_t maxLength, uint32_t optLength, uint32_t& fftLength);

// Writes the wisdom file's path, dataDir + "/FFTWwisdom_f", into pathBuf;
// false (pathBuf left empty) when there is no dataDir or pathBuf, or the path
// does not fit.
bool ComposeWisdomPath();

// Imports the wisdom file named in pathBuf. A missing file (or no path) is
// silently skipped; a file that cannot be imported shows an information box
// and the test goes on.
void LoadFftWisdom();

// Exports the accumulated wisdom to the file named in pathBuf; a failure
// (no path included) calls WarnWisdomNotSaved and the test goes on.
void SaveFftWisdom();

// The information box of a failed export.
void WarnWisdomNotSaved();
