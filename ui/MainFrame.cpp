// The main window's construction: the bare layout made into the window the
// user sees.
#include "ui/MainFrame.h"

#include <unistd.h>
#include <wx/filename.h>
#include <wx/stdpaths.h>
#include <wx/thread.h>
#include <wx/tooltip.h>

#include <cstring>
#include <string>

#include "battery/RunState.h"
#include "platform/Processors.h"
#include "ui/Presets.h"
#include "ui/TestPanels.h"
#include "ui/WheelFocus.h"

wxQuorvaneFIN* mainFrame = nullptr;

namespace {

// The folder of the running executable, without a trailing '/', as the
// bytes the file system holds: the link /proc/self/exe read as it is, so
// that a folder with non-ASCII letters stays what it is whatever the
// locale's encoding ("" only for the root folder). Where the link cannot be
// read, the toolkit's executable path in UTF-8.
std::string ExecutableFolder() {
  std::string path;
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length > 0 && static_cast<size_t>(length) < sizeof buffer)
    path.assign(buffer, static_cast<size_t>(length));
  else
    path = wxStandardPaths::Get().GetExecutablePath().utf8_str().data();
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

char* CopyOf(const std::string& text) {
  char* copy = new char[text.size() + 1];
  memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

// Fonts: Verdana 8 pt everywhere but in the log pane, bold grid labels.
void SetFonts(wxQuorvaneFIN& f) {
  const wxFont logFont = f.messageText->GetFont();
  ApplyVerdanaFont(f.GetChildren());
  f.messageText->SetFont(logFont);
  const wxFont labels =
      FaceFont(8, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD, "Verdana", wxFONTFAMILY_SWISS);
  const wxFont cells =
      FaceFont(8, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, "Verdana", wxFONTFAMILY_SWISS);
  for (wxGrid* grid : {f.tableGrid, f.pearsonGrid, f.statGrid}) {
    grid->SetLabelFont(labels);
    grid->SetDefaultCellFont(cells);
  }
}

// Every test check box as wide as the widest label beside a probe's box.
void AlignCheckBoxes(wxQuorvaneFIN& f) {
  int widest = 0;
  AlignTestCheckBoxes(f.testPanels->GetChildren(), f.amlsCheck->GetPosition().x, 0, &widest);
  auto* probe = new wxCheckBox(f.blkGapPanel, wxID_ANY, "|", wxDefaultPosition, wxDefaultSize, 0,
                               wxDefaultValidator, "check");
  const int probeWidth = probe->GetSize().x;
  AlignTestCheckBoxes(f.testPanels->GetChildren(), f.amlsCheck->GetPosition().x, probeWidth, &widest);
  probe->Destroy();
}

// The presets box wide enough for "Save on exit", the preset that is always
// listed, in the box's font: the text part as wide as the toolkit needs for
// that text, the box's button and frame beside it. The toolkit knows the
// margins of the text only once the box is realized, so the width is
// checked again then.
void SizePresetBox(wxOwnerDrawnComboBox* box, wxWindow* panel) {
  wxTextCtrl* text = box->GetTextCtrl();
  if (text == nullptr) return;
  const auto fit = [box, text, panel] {
    const int needed = text->GetSizeFromTextSize(text->GetTextExtent(SAVE_ON_EXIT).x).x;
    const int width = box->GetSize().x + needed - text->GetSize().x;
    if (width <= box->GetSize().x) return;
    box->SetMinSize(wxSize(width, -1));
    box->SetSize(wxSize(width, -1));
    panel->Layout();
  };
  fit();
  text->Bind(wxEVT_CREATE, [fit, text](wxWindowCreateEvent& event) {
    event.Skip();
    if (event.GetWindow() == text) fit();
  });
}

// The buttons of the right panel as high as the unit choice and 4 pixels.
void SetButtonHeights(wxQuorvaneFIN& f) {
  const int height = f.seqLenUnit->GetSize().y + 4;
  for (wxWindow* button : {static_cast<wxWindow*>(f.loadToggle), static_cast<wxWindow*>(f.savePresetButton),
                           static_cast<wxWindow*>(f.deletePresetButton), static_cast<wxWindow*>(f.disableAllButton),
                           static_cast<wxWindow*>(f.enableAllButton), static_cast<wxWindow*>(f.autohideToggle),
                           static_cast<wxWindow*>(f.startButton), static_cast<wxWindow*>(f.selectFileButton)})
    button->SetMaxSize(wxSize(button->GetSize().x, height));
  f.deleteFileButton->SetMaxSize(wxSize(f.selectFileButton->GetSize().x, height));
  f.runPanel->Layout();
}

void LabelTableGrid(wxGrid* grid) {
  for (int column = 1; column <= 6; ++column) {
    auto* attr = new wxGridCellAttr;
    attr->SetTextColour(*wxBLUE);
    grid->SetColAttr(column, attr);
  }
  const wxColour brown = wxTheColourDatabase->Find("BROWN");
  for (int row = 0; row <= 2; ++row)
    for (int column = 0; column <= 4; ++column) grid->SetCellTextColour(row, column, brown);
  grid->SetColMinimalAcceptableWidth(0);
  grid->SetRowMinimalAcceptableHeight(0);
  const char* const columns[] = {"Test", "pvals", "KS", "AD", "Bino", "pv min", "pv max"};
  for (int column = 0; column < 7; ++column) {
    grid->SetColLabelValue(column, columns[column]);
    if (column == 1) grid->SetColFormatNumber(1);
  }
  const char* const rows[] = {"KS", "AD", "Bino"};
  for (int row = 0; row < 3; ++row) grid->SetRowLabelValue(row, rows[row]);
  grid->SetColLabelSize(wxGRID_AUTOSIZE);
  grid->SetRowLabelSize(wxGRID_AUTOSIZE);
  grid->SetRowLabelAlignment(wxALIGN_RIGHT, wxALIGN_CENTRE);
  // Sized again now that they are labelled: the layout sized them before.
  grid->AutoSizeColumns(false);
}

void LabelPearsonGrid(wxGrid* grid) {
  grid->SetColLabelValue(0, "Test");
  grid->SetColLabelValue(1, "pval");
  grid->SetColLabelValue(2, "Exp");
  auto* attr = new wxGridCellAttr;
  attr->SetAlignment(wxALIGN_CENTRE, wxALIGN_CENTRE);
  grid->SetColAttr(2, attr);
  grid->AutoSizeColumns(false);
}

void CreatePlot(wxQuorvaneFIN& f) {
  f.plotPanel->SetDoubleBuffered(true);
  f.graph = new Graph(f.plotPanel);
  f.graph->SetDoubleBuffered(true);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(f.graph, 1, wxEXPAND, 0);
  f.plotPanel->SetSizer(sizer);
  f.ksLegendBitmap->SetBackgroundColour(f.graph->ksColour);
  f.adLegendBitmap->SetBackgroundColour(f.graph->adColour);
}

// Five fields; the first four as wide as their widest text and 40 pixels.
void SetStatusFields(wxStatusBar* status) {
  const char* const samples[] = {"9999:99", "Running time: 000:00:00.00", "Left 999h 99m 99s",
                                 "Date end: 9999-99-99 99:99"};
  int widths[5];
  for (int i = 0; i < 4; ++i) widths[i] = status->GetTextExtent(samples[i]).x + 40;
  widths[4] = -1;
  status->SetFieldsCount(5, widths);
}

}  // namespace

wxQuorvaneFIN::wxQuorvaneFIN(wxWindow* parent) : FIN(parent) {
  SetFonts(*this);
  AlignCheckBoxes(*this);
  SizePresetBox(presetCombo, runPanel);
  SetButtonHeights(*this);
  KeepWheelFromUnfocusedControls(this);
  if (dataDir == nullptr) dataDir = CopyOf(ExecutableFolder());

  LabelTableGrid(tableGrid);
  tablePage->SetDoubleBuffered(true);
  LabelPearsonGrid(pearsonGrid);
  IgnoreLabelClicks(tableGrid);
  IgnoreLabelClicks(pearsonGrid);
  CreatePlot(*this);
  SetStatusFields(statusBar);
  notebook->SetSelection(0);

  SetTitle(wxString::Format("%s %d bits - v%d.%d.%d", "Quorvane_MT", static_cast<int>(sizeof(void*) * 8),
                            VERSION_MAJOR, VERSION_MINOR, VERSION_RELEASE));
  SetSize(WINDOW_WIDTH, WINDOW_HEIGHT);
  Centre(wxBOTH);

  amlsLminSpinButton->SetRange(0, 19);
  amlsLmaxSpinButton->SetRange(0, 19);
  amlsLmaxSpinButton->SetValue(19);
  threadsSpin->SetRange(threadsSpin->GetMin(), 30);
  threadsSpin->SetValue(platform::ProcessorCount());
  rowHeightSpin->SetValue(tableGrid->GetDefaultRowSize());
  liCoKSpinButton->SetRange(0, 14);

  for (int slot = 0; slot <= SLOT_RW2D; ++slot) testList->Append(wxString::FromUTF8(testTable[slot].name));
  wxCommandEvent sort;
  OnTestListSort(sort);

  ListPresets();
  ReadPrefs();

  wxToolTip::SetDelay(100);
  wxToolTip::SetAutoPop(32000);

  wxCommandEvent refresh(wxEVT_TOGGLEBUTTON, AUTOHIDE_FROM_CONSTRUCTOR);
  OnAutohide(refresh);
  wxSpinEvent spin;
  OnAmlsLminSpin(spin);
  OnAmlsLmaxSpin(spin);
  OnLinCplxKSpin(spin);

  aqlCheck->SetValue(false);
  aqlPanel->Hide();
  LayoutParameters();
}

wxQuorvaneFIN::wxQuorvaneFIN(wxWindow* parent, wxWindowID id, const wxString& title, const wxPoint& pos,
                             const wxSize& size, long style)
    : FIN(parent, id, title, pos, size, style) {}

// A window destroyed without its close handler leaves no sorting bound to it,
// and the program no pointer to it.
wxQuorvaneFIN::~wxQuorvaneFIN() {
  DisconnectSortHandlers();
  if (mainFrame == this) mainFrame = nullptr;
}
