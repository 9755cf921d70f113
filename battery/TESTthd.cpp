#include "battery/TESTthd.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "battery/RunState.h"
#include "platform/Processors.h"

TESTthd::TESTthd() : cpuCount(platform::ProcessorCount()) {}

TESTthd::~TESTthd() = default;

void TESTthd::AddResult(double pvalue, const char* format, ...) {
  char text[64];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  char* label = new char[strlen(text) + 1];
  strcpy(label, text);
  resultLabels[slot].push_back(label);
  resultPValues[slot].push_back(pvalue);
}
