#include "engine/Helpers.h"

#include <wx/defs.h>
#include <wx/string.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "battery/Messages.h"
#include "battery/RunState.h"
#include "platform/DynamicLibrary.h"
#include "platform/LastError.h"
#include "platform/ThreadClock.h"

double pvalueFixedMin = 0.001;

char* FormatPValueText(char* text, size_t size, double p, int digits, double fixedMin) {
  if (!(p < fixedMin)) {
    snprintf(text, size, "%.*f", digits, p);
  } else if (p == 0) {
    snprintf(text, size, "%*d", digits + 2, 0);
  } else if (p == PVALUE_FAIL) {
    snprintf(text, size, " fail");
  } else if (p == PVALUE_SHORT) {
    snprintf(text, size, " short");
  } else {
    snprintf(text, size, "%.*e", std::max(digits - 5, 0), p);
  }
  return text;
}

const char* FormatPValue(double p) {
  static char buffers[2][16];
  static int next = 0;
  char* text = buffers[next];
  next ^= 1;
  return FormatPValueText(text, sizeof buffers[0], p, pvalueDigits, pvalueFixedMin);
}

char* FormatDuration(char* buffer, int decimals, double seconds) {
  decimals = std::clamp(decimals, 0, 6);
  int64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  // The duration as a whole count of 10^-decimals seconds, rounded as
  // (x + 0.5) truncated and held to the signed 32-bit range. Hours, minutes
  // and seconds are split off this count in integers: splitting the double
  // value loses a unit now and then (13 s would come out as 12 s).
  const double scaled = std::clamp(seconds * static_cast<double>(scale) + 0.5, -2147483648.0, 2147483647.0);
  const int64_t units = static_cast<int32_t>(scaled);
  const int h = static_cast<int>(units / (3600 * scale));
  const int m = static_cast<int>(units % (3600 * scale) / (60 * scale));
  const int64_t secUnits = units % (60 * scale);
  if (decimals != 0) {
    snprintf(buffer, FORMAT_DURATION_SIZE, "%d:%02d:%0*.*f", h, m, decimals + 3, decimals,
             static_cast<double>(secUnits) / static_cast<double>(scale));
  } else if (h != 0) {
    snprintf(buffer, FORMAT_DURATION_SIZE, "%2dh %2dm", h, m);
  } else if (m != 0) {
    snprintf(buffer, FORMAT_DURATION_SIZE, "%2dm %2ds", m, static_cast<int>(secUnits));
  } else {
    snprintf(buffer, FORMAT_DURATION_SIZE, "%2ds", static_cast<int>(secUnits));
  }
  return buffer;
}

double ThreadCpuSeconds(const platform::ThreadClock* thread) {
  double seconds = 0;
  if (!platform::ReadThreadCpuSeconds(thread, seconds)) return -1.0;
  return seconds;
}

void ShowDllLoadError() {
  const int code = platform::LastError();
  const wxString reason = wxString::FromUTF8(platform::LoadErrorText().c_str());
  ShowMessageBox(wxString::Format("%s\n\nFailed with error %d: %s", "ERROR while loading the DLL.", code, reason),
                 "Quorvane_MT", wxOK | wxICON_ERROR);
}

std::vector<std::string> LogTextLines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (char c : text) {
    if (c == '\n')
      lines.emplace_back();
    else
      lines.back() += c;
  }
  return lines;
}
