#include "battery/Messages.h"

#include <wx/defs.h>

#include <atomic>
#include <cstdio>

namespace {
// Set by the GUI thread, read by any thread that logs: atomic.
std::atomic<MessageBoxHandler> boxHandler{nullptr};
std::atomic<LogHandler> logHandler{nullptr};
}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) { return boxHandler.exchange(handler); }

LogHandler SetLogHandler(LogHandler handler) { return logHandler.exchange(handler); }

int ShowMessageBox(const wxString& text, const wxString& caption, long style) {
  if (const MessageBoxHandler handler = boxHandler.load()) return handler(text, caption, style);
  fprintf(stderr, "[%s] %s\n", caption.utf8_str().data(), text.utf8_str().data());
  return wxOK;
}

void AppendLog(const wxString& text) {
  if (const LogHandler handler = logHandler.load()) handler(text);
}
