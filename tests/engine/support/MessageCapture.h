#pragma once
// Catches what the engine shows while a test runs: every message box is
// answered wxOK and kept, every log line kept. One capture at a time.
#include <wx/string.h>

#include <vector>

struct CapturedBox {
  wxString text;
  wxString caption;
  long style;
};

class MessageCapture {
 public:
  MessageCapture();
  ~MessageCapture();
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  const std::vector<CapturedBox>& Boxes() const;
  // All log text appended so far, in order (lines may come from any thread;
  // read it once they are done).
  const wxString& Log() const;
};
