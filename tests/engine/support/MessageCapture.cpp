#include "MessageCapture.h"

#include <wx/defs.h>

#include "battery/Messages.h"

namespace {

std::vector<CapturedBox> boxes;
wxString log;

int KeepBox(const wxString& text, const wxString& caption, long style) {
  boxes.push_back({text, caption, style});
  return wxOK;
}

void KeepLog(const wxString& text) { log += text; }

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
