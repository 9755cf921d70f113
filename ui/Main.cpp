// The program's entry point: the toolkit's application factory for App and
// a main that switches the toolkit's assertions off, lets its log show
// information messages and hands over to the toolkit without the command
// line.
#include <wx/init.h>
#include <wx/log.h>

#include "ui/App.h"

wxIMPLEMENT_APP_NO_MAIN(App);

int main(int, char** argv) {
  wxSetAssertHandler(nullptr);
  wxLog::SetLogLevel(wxLOG_Info);
  int count = 1;
  char* arguments[] = {argv[0], nullptr};
  return wxEntry(count, arguments);
}
