#include "MessageCapture.h"

#include <wx/defs.h>

#include <mutex>

#include "battery/Messages.h"

namespace {

std::vector<CapturedBox> boxes;
wxString log;
std::mutex logMutex;

int KeepBox(const wxString& text, const wxString& caption, long style) {
  boxes.push_back({text, caption, style});
  return wxOK;
}

// Lines come from any thread.
void KeepLog(const wxString& text) {
  std::lock_guard<std::mutex> lock(logMutex);
  log += text;
}

}  // namespace

MessageCapture::MessageCapture() {
  boxes.clear();
  log.clear();
  SetMessageBoxHandler(KeepBox);
  SetLogHandler(KeepLog);
}

MessageCapture::~MessageCapture() {
  SetMessageBoxHandler(nullptr);
  SetLogHandler(nullptr);
}

const std::vector<CapturedBox>& MessageCapture::Boxes() const { return boxes; }

const wxString& MessageCapture::Log() const { return log; }
