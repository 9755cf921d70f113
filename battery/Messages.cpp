#include "battery/Messages.h"

#include <wx/defs.h>

#include <cstdio>

namespace {
MessageBoxHandler boxHandler = nullptr;
LogHandler logHandler = nullptr;
}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler old = boxHandler;
  boxHandler = handler;
  return old;
}

LogHandler SetLogHandler(LogHandler handler) {
  LogHandler old = logHandler;
  logHandler = handler;
  return old;
}

int ShowMessageBox(const wxString& text, const wxString& caption, long style) {
  if (boxHandler != nullptr) return boxHandler(text, caption, style);
  fprintf(stderr, "[%s] %s\n", caption.utf8_str().data(), text.utf8_str().data());
  return wxOK;
}

void AppendLog(const wxString& text) {
  if (logHandler != nullptr) logHandler(text);
}
