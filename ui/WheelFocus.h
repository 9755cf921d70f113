#pragma once
// The mouse wheel over a control that holds a value (spin control, spin
// button, choice, combo box) changes that value only while the control has
// the keyboard focus. Over an unfocused one the wheel scrolls the scrolled
// page that holds the control, as far as it scrolls over the page's
// background, and where no page scrolls it does nothing: turning the wheel
// to scroll the Parameters page must not change the settings the pointer
// passes over. (The arrow of a native combo box, the input-file box, takes
// the wheel below the toolkit's events and is not covered.)
class wxWindow;

// Applies the rule to every such control inside top (top included).
void KeepWheelFromUnfocusedControls(wxWindow* top);
