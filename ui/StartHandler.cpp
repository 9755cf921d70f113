// The Start handler: input files or a generator plug-in, the parameters
// from the controls, the tests that run, the two orders of the engine, the
// run itself and what follows it.
#include "ui/StartHandler.h"

#include <wx/msgdlg.h>
#include <wx/spinbutt.h>
#include <wx/statusbr.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <unistd.h>

#include "battery/Messages.h"
#include "engine/Helpers.h"
#include "engine/InputFiles.h"
#include "engine/RunTests.h"
#include "ui/WindowView.h"
#include "platform/DynamicLibrary.h"
#include "ui/MainFrame.h"
#include "ui/TestPanels.h"

namespace {

const char* const CAPTION = "Quorvane_MT";
constexpr uint32_t SATURATED = 0xFFFFFFFFu;

// The order in which the controls are copied: the tests in this order, the
// controls of each in its panel's order unless keys lists them otherwise.
struct CopyStep {
  const char* test;
  const char* keys;  // presets keys separated by blanks; null for the panel's order
};
const CopyStep COPY_ORDER[] = {
    {"AQL", "smin smax sstp mmin mmax mstp"},
    {"Maurer", nullptr},
    {"LongBlk", nullptr},
    {"NOTM", nullptr},
    {"Serial", nullptr},
    {"Coupon", nullptr},
    {"AMLS", nullptr},
    {"OET", nullptr},
    {"Collision", nullptr},
    {"LiCo", "len k optlen"},
    {"Partition", nullptr},
    {"Permutation", "smin smax sstp gmin gmax gstp"},
    {"ShortBlk", nullptr},
    {"AutoW", "smin smax sstp dmin dmax dstp max_pv"},
    {"Runs", "smin smax sstp lmin lmax lstp"},
    {"ZarWlk", nullptr},
    {"RW2D", nullptr},
    {"Rank", nullptr},
    {"DFT", "Nmax Nopt rmin rmax rstp m0 m1"},
    {"Peak", "Nmax Nopt dist"},
    {"BlkGapDst", nullptr},
    {"Weight", nullptr},
};

const TestPanelSpec* PanelOfTest(const char* key) {
  for (const TestPanelSpec& test : TEST_PANELS)
    if (strcmp(test.key, key) == 0) return &test;
  return nullptr;
}

// The value of one control in its global.
void CopyParameter(wxQuorvaneFIN& f, const ParamSpec& p) {
  uint32_t reading = 0;
  int unit = 0;
  switch (p.feed) {
    case ParamFeed::None: return;
    case ParamFeed::AsIs:
    case ParamFeed::Mbit: reading = static_cast<uint32_t>((f.*p.spin)->GetValue()); break;
    case ParamFeed::Unit:
      reading = static_cast<uint32_t>((f.*p.spin)->GetValue());
      unit = (f.*p.choice)->GetSelection();
      break;
    case ParamFeed::Power:
    case ParamFeed::Double: reading = static_cast<uint32_t>((f.*p.button)->GetValue()); break;
    case ParamFeed::DecimalText: reading = DecimalTextValue((f.*p.textBox)->GetValue()); break;
    case ParamFeed::Flag: reading = (f.*p.check)->GetValue() ? 1 : 0; break;
    case ParamFeed::Selection: reading = static_cast<uint32_t>((f.*p.choice)->GetSelection()); break;
  }
  FeedParameter(p, reading, unit);
}

void CopyTest(wxQuorvaneFIN& f, const CopyStep& step) {
  const TestPanelSpec* test = PanelOfTest(step.test);
  if (test == nullptr) return;
  if (step.keys == nullptr) {
    for (size_t i = 0; i < test->paramCount; ++i) CopyParameter(f, test->params[i]);
    return;
  }
  const wxArrayString keys = wxSplit(step.keys, ' ');
  for (const wxString& key : keys)
    for (size_t i = 0; i < test->paramCount; ++i)
      if (test->params[i].key != nullptr && key == test->params[i].key) CopyParameter(f, test->params[i]);
}

// The plug-in's text as shown: UTF-8, or Latin-1 where it is no UTF-8.
wxString PluginText(const std::string& text) {
  const wxString utf8 = wxString::FromUTF8(text.c_str());
  return utf8.empty() && !text.empty() ? wxString(text.c_str(), wxConvISO8859_1) : utf8;
}

char* CopyOf(const char* text) {
  char* copy = new char[strlen(text) + 1];
  strcpy(copy, text);
  return copy;
}

// Loads the plug-in, checks for ZAR_GetUL and lets its name settle; shows
// the name in status field 4. Null, after the box that says why, when the
// plug-in cannot be used.
platform::DynamicLibrary* LoadPlugin(const char* path, wxStatusBar* status) {
  platform::DynamicLibrary* plugin = platform::LoadDynamicLibrary(PluginLoadPath(path, dataDir).c_str());
  if (plugin == nullptr) {
    ShowDllLoadError();
    return nullptr;
  }
  auto getUL = reinterpret_cast<ZarGetULFunction>(platform::FindLibrarySymbol(plugin, "ZAR_GetUL"));
  if (getUL == nullptr) {
    ShowMessageBox("ERROR. Unable to get the ZAR function address in the DLL.", CAPTION, wxOK | wxICON_ERROR);
    platform::FreeDynamicLibrary(plugin);
    return nullptr;
  }
  auto getName = reinterpret_cast<ZarGetNameFunction>(platform::FindLibrarySymbol(plugin, "ZAR_GetName"));
  std::string name;
  if (!SettleGeneratorName(getUL, getName, NAME_SETTLE_PASSES, &name))
    ShowMessageBox(wxString::Format("The name of the generator still changed after %d calls; "
                                    "the run goes on with the last one:\n%s",
                                    NAME_SETTLE_PASSES, PluginText(name)),
                   CAPTION, wxOK | wxICON_WARNING);
  const char* shown = getName != nullptr ? getName() : nullptr;
  if (shown != nullptr) status->SetStatusText("Generator: " + PluginText(shown), 4);
  return plugin;
}

}  // namespace

uint32_t UnitValue(int value, int unit) {
  static const uint64_t FACTORS[] = {1, 1024, 1048576};
  if (value <= 0) return 0;
  const uint64_t factor = unit >= 0 && unit <= 2 ? FACTORS[unit] : 1;
  const uint64_t product = static_cast<uint64_t>(value) * factor;
  return product > SATURATED ? SATURATED : static_cast<uint32_t>(product);
}

uint32_t DecimalTextValue(const wxString& text) {
  const wxScopedCharBuffer utf8 = text.utf8_str();
  const char* c = utf8.data();
  while (isspace(static_cast<unsigned char>(*c))) ++c;
  uint64_t value = 0;
  for (; *c >= '0' && *c <= '9'; ++c) {
    value = value * 10 + static_cast<uint64_t>(*c - '0');
    if (value > SATURATED) return SATURATED;  // strtoul's saturation of a 32-bit unsigned long
  }
  return static_cast<uint32_t>(value);
}

void FeedParameter(const ParamSpec& p, uint32_t reading, int unit) {
  uint32_t value = reading;
  switch (p.feed) {
    case ParamFeed::None: return;
    case ParamFeed::Unit: value = UnitValue(static_cast<int>(reading), unit); break;
    case ParamFeed::Mbit: value = UnitValue(static_cast<int>(reading), 2); break;
    case ParamFeed::Power: value = 1u << (reading % 32); break;
    case ParamFeed::Double: value = 2u * reading; break;
    default: break;
  }
  if (p.unsignedGlobal != nullptr) *p.unsignedGlobal = value;
  if (p.intGlobal == nullptr) return;
  // A length or distance scaled past the largest int stays the largest int
  // (its rules then cut it as any large value) rather than turning negative.
  const bool scaled = p.feed == ParamFeed::Unit || p.feed == ParamFeed::Mbit;
  *p.intGlobal = scaled && value > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

void FeedDefaultParameters() {
  for (const TestPanelSpec& test : TEST_PANELS) {
    for (size_t i = 0; i < test.paramCount; ++i) {
      const ParamSpec& p = test.params[i];
      // A text box holds its initial text; every other control its default
      // value (for a unit-scaled spin control, with its partner's default
      // selection).
      const uint32_t reading =
          p.feed == ParamFeed::DecimalText ? DecimalTextValue(p.text) : static_cast<uint32_t>(p.value);
      int unit = 0;
      for (size_t j = 0; j < test.paramCount; ++j)
        if (p.feed == ParamFeed::Unit && test.params[j].kind == ParamKind::Unit && test.params[j].choice == p.choice)
          unit = test.params[j].value;
      FeedParameter(p, reading, unit);
    }
  }
}

void BuildRowOrder(const bool enabled[TEST_SLOTS], const wxArrayString& listRows, signed char order[TEST_SLOTS]) {
  std::vector<int> listed;
  for (const wxString& row : listRows)
    for (int s = 0; s < TEST_SLOTS; ++s)
      if (enabled[s] && row == wxString::FromUTF8(testTable[s].name)) {
        listed.push_back(s);
        break;
      }
  size_t next = 0;
  for (int i = 0; i < TEST_SLOTS; ++i)
    order[i] = static_cast<signed char>(enabled[i] && next < listed.size() ? listed[next++] : i);
}

bool IsPluginPath(const char* path) {
  const char* name = strrchr(path, '/');
  name = name != nullptr ? name + 1 : path;
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  const size_t n = lower.size();
  return (n >= 3 && lower.compare(n - 3, 3, ".so") == 0) || lower.find(".so.") != std::string::npos;
}

std::string PluginLoadPath(const char* path, const char* programFolder) {
  if (strchr(path, '/') != nullptr) return path;
  const std::string here = std::string("./") + path;
  if (programFolder == nullptr || access(here.c_str(), F_OK) == 0) return here;
  const std::string beside = std::string(programFolder) + "/" + path;
  return access(beside.c_str(), F_OK) == 0 ? beside : here;
}

bool SettleGeneratorName(ZarGetULFunction getUL, ZarGetNameFunction getName, int maxPasses, std::string* name) {
  std::string current, previous;
  for (int pass = 0; pass < maxPasses; ++pass) {
    previous = current;
    getUL();
    const char* given = getName != nullptr ? getName() : nullptr;
    current = given != nullptr ? given : "";
    if (current == previous) {
      *name = current;
      return true;
    }
  }
  *name = current;
  return false;
}

void wxQuorvaneFIN::CopyParameters() {
  for (const CopyStep& step : COPY_ORDER) CopyTest(*this, step);
  pvalueDigits = digitsSpin->GetValue();
  runPriority = priorityRadio->GetSelection();
  seqCount = seqCountSpin->GetValue();
  seqLen = UnitValue(seqLenSpin->GetValue(), seqLenUnit->GetSelection());
}

void wxQuorvaneFIN::EnableTests() {
  for (TestEntry& entry : testTable) entry.enabled = false;
  for (const TestPanelSpec& test : TEST_PANELS) testTable[test.slot].enabled = (this->*test.check)->GetValue();
  for (int slot = 0; slot < TEST_SLOTS; ++slot)
    if (testTable[slot].enabled) testTable[slot].enabled = !IsTestHidden(slot);
}

void wxQuorvaneFIN::OnStart(wxCommandEvent& event) {
  // Start is disabled during a run; this also holds against a second click
  // that a message box of the preparation lets through.
  if (startActive) return;
  startActive = true;

  if (!fileCombo->GetValue().empty()) OnFileSelected(event);
  // UTF-8 as typed: Linux file names differ by case, so nothing is lowered.
  inputPattern = CopyOf(fileCombo->GetValue().utf8_str().data());
  for (int field = statusBar->GetFieldsCount() - 1; field >= 0; --field) statusBar->SetStatusText(wxEmptyString, field);

  platform::DynamicLibrary* plugin = nullptr;
  bool ready = true;
  if (IsPluginPath(inputPattern)) {
    plugin = LoadPlugin(inputPattern, statusBar);
    ready = plugin != nullptr;
    delete[] inputPattern;
    inputPattern = nullptr;
  }

  if (ready) {
    startButton->Disable();
    messageText->Clear();
    CopyParameters();
    startOrder = new signed char[TEST_SLOTS];
    for (int i = 0; i < TEST_SLOTS; ++i) startOrder[i] = static_cast<signed char>(i);
    EnableTests();
    bool enabled[TEST_SLOTS];
    for (int i = 0; i < TEST_SLOTS; ++i) enabled[i] = testTable[i].enabled;
    rowOrder = new signed char[TEST_SLOTS];
    BuildRowOrder(enabled, testList->GetStrings(), rowOrder);

    RunTests(plugin);

    graphPage->Layout();
    startButton->Enable();
    platform::FreeDynamicLibrary(plugin);
    delete[] inputPattern;
    inputPattern = nullptr;
    delete[] startOrder;
    startOrder = nullptr;
    delete[] rowOrder;
    rowOrder = nullptr;

    if (sortTableCheck->GetValue()) {
      const std::pair<wxRadioButton*, int> radios[] = {
          {sortKsRadio, 2}, {sortAdRadio, 3}, {sortBinoRadio, 4}, {sortPvMinRadio, 5}, {sortPvMaxRadio, 6}};
      for (const auto& radio : radios)
        if (radio.first->GetValue()) SortTableGrid(radio.second);
    }
    if (sortPearsonCheck->GetValue()) SortPearsonGrid(1);
    ConnectSortHandlers();
  }

  startActive = false;
  // A close asked for during the run is carried out now that nothing of the
  // run is left.
  if (closePending) {
    closePending = false;
    Close();
  }
}
