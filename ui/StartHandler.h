#pragma once
// The pieces of the Start handler that stand on their own: the conversions
// from a control to its global, the row order of the results, the test for
// a plug-in path and the settling of a plug-in's name.
#include <wx/arrstr.h>
#include <wx/string.h>

#include <cstdint>
#include <string>

#include "battery/RunState.h"

// The conversions of the Start handler from a control to its global.
// unit 0 "b" x 1, 1 "k" x 1024, 2 "M" x 1048576; a product past 32 bits
// gives 4294967295 (a negative value counts as 0).
uint32_t UnitValue(int value, int unit);
// The text as strtoul in base 10 reads it: leading blanks, then the digits
// up to the first other character; 0 when there is none.
uint32_t DecimalTextValue(const wxString& text);

struct ParamSpec;
// The global a control of the panel table feeds, from the control's reading
// (the spin control's or spin button's value, the text box's number, 1 for
// a tick, the selected item) and, for a unit-scaled spin control, its
// unit choice's selection.
void FeedParameter(const ParamSpec& p, uint32_t reading, int unit);
// Every parameter global as the Start handler feeds it from a window whose
// controls still hold the defaults of the panel table; it needs no window.
void FeedDefaultParameters();

// rowOrder for the enabled flags and the display-order list (its entries
// from top to bottom): the positions of the enabled slots hold the enabled
// slots in list order, every other position its own index.
void BuildRowOrder(const bool enabled[TEST_SLOTS], const wxArrayString& listRows, signed char order[TEST_SLOTS]);

// Whether the text names a generator plug-in: its last path component ends
// in ".so" or holds ".so.", letters compared without regard to case.
bool IsPluginPath(const char* path);
// The path to load a plug-in from: as typed, with "./" before a bare file
// name, which the loader would otherwise look for only in the library path;
// a bare name that is not in the current folder but is in programFolder
// (when given) is taken from there.
std::string PluginLoadPath(const char* path, const char* programFolder = nullptr);

// Calls getUL and then getName (which may be null) until the name equals
// the one before, at most maxPasses times. True when the name settled;
// *name is the last name given ("" for none).
using ZarGetULFunction = uint32_t (*)();
using ZarGetNameFunction = const char* (*)();
bool SettleGeneratorName(ZarGetULFunction getUL, ZarGetNameFunction getName, int maxPasses, std::string* name);
constexpr int NAME_SETTLE_PASSES = 100;
