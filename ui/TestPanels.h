#pragma once
// The one description of the 27 test panels of the Parameters page: every
// test's check box and every parameter control with its label, range,
// default, width, tool tip, presets key and the parameter global it feeds.
// The layout builds the panels from it; the Start handler and the presets
// can walk the same table, so that a control cannot be added to one of them
// and forgotten in another.
#include <cstddef>

class FIN;
class wxCheckBox;
class wxChoice;
class wxPanel;
class wxSpinButton;
class wxSpinCtrl;
class wxSpinEvent;
class wxTextCtrl;

enum class ParamKind {
  Spin,        // wxSpinCtrl
  Unit,        // wxChoice "b", "k", "M" right after the spin control it scales
  SpinButton,  // read-only wxTextCtrl followed by a wxSpinButton
  Text,        // editable wxTextCtrl
  Check,       // wxCheckBox other than the test's own
  Choice,      // wxChoice with its own items
};

// How the Start handler turns a control into its global.
enum class ParamFeed {
  None,         // unit choices: they only scale their spin control
  AsIs,         // the integer value
  Unit,         // value x 1, 1024 or 1048576 by the partner unit, saturating at 0xFFFFFFFF
  Mbit,         // value x 1048576, saturating at 0xFFFFFFFF
  Power,        // 1 shifted left by the spin button's value
  Double,       // 2 x the spin button's value
  DecimalText,  // the text read as an unsigned decimal number (strtoul, base 10)
  Flag,         // 1 when ticked, else 0
  Selection,    // the index of the selected item
};

struct ParamSpec {
  ParamKind kind;
  // Static label before the control; a check box's own label; null for none.
  const char* label;
  int min, max, value;  // range and default; for choices and check boxes only value (selection, tick)
  int width;            // pixels, -1 for the toolkit's default; for a spin button the width of its text box
  const char* tooltip;  // null for none
  const char* key;      // presets key in the section "<preset>/<test key>"; null for none
  // Initial text: of a spin control when it is not "%d" of value, of a text box, of the
  // read-only box beside a spin button. Null for "%d" of value.
  const char* text;
  // The member that receives the control; which one is set follows kind.
  wxSpinCtrl* FIN::*spin;
  wxChoice* FIN::*choice;  // Unit, Choice; for a Spin fed by Unit, its partner unit choice
  wxSpinButton* FIN::*button;
  wxTextCtrl* FIN::*textBox;  // Text, and the read-only box of a SpinButton
  wxCheckBox* FIN::*check;
  ParamFeed feed;
  int* intGlobal;            // the global fed, when it is an int
  unsigned* unsignedGlobal;  // the global fed, when it is unsigned
  bool groupStart;  // a vertical line separates this control from the group before it
  bool stackWithNext;  // check boxes placed one above the other with the next entry
  void (FIN::*onSpin)(wxSpinEvent&);  // handler bound to the control, or null
  const char* const* items;  // items of a Choice (itemCount of them)
  int itemCount;
};

struct TestPanelSpec {
  const char* key;      // presets key in the preset's main section
  int slot;             // testTable slot whose enabled flag the check box drives
  const char* label;    // the check box's label
  const char* tooltip;  // null for none
  int width;            // of the check box; -1 for the toolkit's default
  wxPanel* FIN::*panel;
  wxCheckBox* FIN::*check;
  const ParamSpec* params;
  size_t paramCount;
};

constexpr int TEST_PANEL_COUNT = 27;

// In the order of the panels on the page, which is also the order of the
// keys of the presets' main section. The parameters of each panel are in
// the order of the page; the presets store the AQL parameters in another
// order (smin, smax, sstp before mmin, mmax, mstp).
extern const TestPanelSpec TEST_PANELS[TEST_PANEL_COUNT];

// The texts of a unit choice: selection 0 "b", 1 "k", 2 "M".
extern const char* const UNIT_ITEMS[3];
