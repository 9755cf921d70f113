#include "ui/WheelFocus.h"

#include <wx/choice.h>
#include <wx/combo.h>
#include <wx/combobox.h>
#include <wx/scrolwin.h>
#include <wx/spinbutt.h>
#include <wx/spinctrl.h>

namespace {

bool HoldsValue(wxWindow* window) {
  return dynamic_cast<wxSpinCtrl*>(window) != nullptr || dynamic_cast<wxSpinButton*>(window) != nullptr ||
         dynamic_cast<wxChoice*>(window) != nullptr || dynamic_cast<wxComboBox*>(window) != nullptr ||
         dynamic_cast<wxComboCtrl*>(window) != nullptr;
}

// Whether the keyboard focus lies on the control or on a part of it (the
// text of a combo box).
bool HasFocusWithin(const wxWindow* control) {
  for (const wxWindow* w = wxWindow::FindFocus(); w != nullptr; w = w->GetParent())
    if (w == control) return true;
  return false;
}

wxScrolledWindow* PageOf(wxWindow* control) {
  for (wxWindow* w = control->GetParent(); w != nullptr; w = w->GetParent())
    if (auto* page = dynamic_cast<wxScrolledWindow*>(w)) return page;
  return nullptr;
}

// Scrolls the page by the wheel's lines per notch, in scroll units, as the
// toolkit scrolls it over its background; parts of a notch (a smooth
// wheel) add up until they make a line.
void ScrollByWheel(wxScrolledWindow* page, const wxMouseEvent& event) {
  static int rotationLeft[2] = {0, 0};
  const bool horizontal = event.GetWheelAxis() == wxMOUSE_WHEEL_HORIZONTAL;
  const int delta = event.GetWheelDelta() > 0 ? event.GetWheelDelta() : 120;
  const int perNotch = horizontal ? event.GetColumnsPerAction() : event.GetLinesPerAction();
  int& left = rotationLeft[horizontal ? 1 : 0];
  left += event.GetWheelRotation() * (perNotch > 0 ? perNotch : 1);
  const int lines = left / delta;
  left -= lines * delta;
  if (lines == 0) return;
  int x = 0, y = 0;
  page->GetViewStart(&x, &y);
  // A positive rotation is the wheel turned away from the user: up, or
  // for the horizontal axis to the right.
  if (horizontal) page->Scroll(x + lines, -1);
  else page->Scroll(-1, y - lines);
}

void Guard(wxWindow* control, wxWindow* part) {
  part->Bind(wxEVT_MOUSEWHEEL, [control](wxMouseEvent& event) {
    if (HasFocusWithin(control)) {
      event.Skip();
      return;
    }
    if (wxScrolledWindow* page = PageOf(control)) ScrollByWheel(page, event);
  });
  for (wxWindow* child : part->GetChildren()) Guard(control, child);
}

}  // namespace

void KeepWheelFromUnfocusedControls(wxWindow* top) {
  if (HoldsValue(top)) {
    Guard(top, top);
    return;
  }
  for (wxWindow* child : top->GetChildren()) KeepWheelFromUnfocusedControls(child);
}
