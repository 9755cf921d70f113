#pragma once
// Every control that a preset holds, walked through the description of the
// test panels: read as text, or moved away from its value.
#include <map>
#include <string>

#include "ui/FIN.h"
#include "ui/TestPanels.h"

// Every control a preset holds, by "test/key" ("test" alone for its check
// box), as text.
inline std::map<std::string, std::string> Snapshot(FIN& f) {
  std::map<std::string, std::string> values;
  for (const TestPanelSpec& test : TEST_PANELS) {
    values[test.key] = (f.*test.check)->GetValue() ? "1" : "0";
    for (size_t i = 0; i < test.paramCount; ++i) {
      const ParamSpec& p = test.params[i];
      if (p.key == nullptr) continue;
      wxString v;
      switch (p.kind) {
        case ParamKind::Spin: v << (f.*p.spin)->GetValue(); break;
        case ParamKind::SpinButton: v << (f.*p.button)->GetValue(); break;
        case ParamKind::Unit:
        case ParamKind::Choice: v << (f.*p.choice)->GetSelection(); break;
        case ParamKind::Check: v << ((f.*p.check)->GetValue() ? 1 : 0); break;
        case ParamKind::Text: v = (f.*p.textBox)->GetValue(); break;
      }
      values[std::string(test.key) + "/" + p.key] = v.ToStdString();
    }
  }
  return values;
}

// Moves every control away from the value it has: a spin control or spin
// button to its minimum (so the negative steps go negative) or, when it is
// there already, to its maximum; the next choice item; the other tick for
// every check box but every third test check box; "12345" for the text.
inline void ChangeEverything(FIN& f) {
  int index = 0;
  for (const TestPanelSpec& test : TEST_PANELS) {
    wxCheckBox* check = f.*test.check;
    if (index++ % 3 != 0) check->SetValue(!check->GetValue());
    for (size_t i = 0; i < test.paramCount; ++i) {
      const ParamSpec& p = test.params[i];
      if (p.key == nullptr) continue;
      switch (p.kind) {
        case ParamKind::Spin: {
          wxSpinCtrl* s = f.*p.spin;
          s->SetValue(s->GetValue() != s->GetMin() ? s->GetMin() : s->GetMax());
          break;
        }
        case ParamKind::SpinButton: {
          wxSpinButton* b = f.*p.button;
          b->SetValue(b->GetValue() != b->GetMin() ? b->GetMin() : b->GetMax());
          break;
        }
        case ParamKind::Unit:
        case ParamKind::Choice: {
          wxChoice* c = f.*p.choice;
          c->SetSelection((c->GetSelection() + 1) % static_cast<int>(c->GetCount()));
          break;
        }
        case ParamKind::Check: (f.*p.check)->SetValue(!(f.*p.check)->GetValue()); break;
        case ParamKind::Text: (f.*p.textBox)->ChangeValue("12345"); break;
      }
    }
  }
}
