#pragma once
// Small helpers of the run engine and the main window: the text of a
// p-value, the text of a duration, the CPU time of a worker thread and the
// box for a plug-in that did not load.
// All run on the GUI thread.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {
struct ThreadClock;
}

// P-values at or above this are written in fixed notation, smaller ones in
// exponent notation: 10^(1 - pvalueDigits), set by the engine at the start
// of every run.
extern double pvalueFixedMin;

// The text of p (or of the codes PVALUE_FAIL and PVALUE_SHORT) in one of
// two static buffers used in turn: the results of two consecutive calls
// can be held at once, the third call overwrites the first.
const char* FormatPValue(double p);
// The same text for given digits and fixed-notation threshold, written into
// text (size bytes); returns text.
char* FormatPValueText(char* text, size_t size, double p, int digits, double fixedMin);

// Room FormatDuration needs in the caller's buffer.
constexpr int FORMAT_DURATION_SIZE = 64;
// Writes seconds, rounded to `decimals` decimals (0 to 6), into buffer
// (FORMAT_DURATION_SIZE bytes) and returns it. With decimals: "h:mm:ss.dd".
// Without: "%2dh %2dm", "%2dm %2ds" or "%2ds", the largest unit first.
char* FormatDuration(char* buffer, int decimals, double seconds);

// User plus system CPU seconds of the thread behind the clock; -1.0 when
// it cannot be read (also for a null clock).
double ThreadCpuSeconds(const platform::ThreadClock* thread);

// Shows why the last plug-in load failed, with the loader's own text; call
// it right after the failed platform::LoadDynamicLibrary.
void ShowDllLoadError();

// The lines of a log text as a text pane holds them: a line break ends a
// line and the text after the last one is a line too (empty when the text
// ends with a break). For the views that keep their log as one text.
std::vector<std::string> LogTextLines(const std::string& text);
