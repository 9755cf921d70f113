// The program's entry point.
#include <wx/app.h>
#include <wx/frame.h>

class App : public wxApp {
 public:
  bool OnInit() override {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "Quorvane_MT");
    SetTopWindow(frame);
    frame->Show();
    return true;
  }
};

wxIMPLEMENT_APP(App);
