#include "ui/FIN.h"

#include <wx/fontenum.h>
#include <wx/settings.h>
#include <wx/tooltip.h>

#include <algorithm>

#include "engine/ResultsModel.h"
#include "ui/ResultTable.h"
#include "ui/TestPanels.h"

namespace {

constexpr int BORDER = 5;

wxStaticText* NewLabel(wxWindow* parent, const wxString& text, long style = 0) {
  auto* label = new wxStaticText(parent, wxID_ANY, text, wxDefaultPosition, wxDefaultSize, style);
  label->Wrap(-1);
  return label;
}

wxStaticLine* NewLine(wxWindow* parent, long style) {
  return new wxStaticLine(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, style);
}

// A size of the layout is a hint: GTK gives a spin control a natural
// width (its digits and two buttons), a spin button a natural height, and
// warns when a control is allocated less. Where the natural size exceeds
// the hint, the control takes its natural size in that dimension, as the
// toolkit measures it at any time (it grows when the control is realized
// and shrinks with a smaller font).
void KeepNaturalSize(wxWindow* window, const wxSize& hint) {
  const wxSize natural = window->GetBestSize();
  wxSize min = window->GetMinSize();
  if (hint.x >= 0 && natural.x > hint.x) min.x = wxDefaultCoord;
  if (hint.y >= 0 && natural.y > hint.y) min.y = wxDefaultCoord;
  window->SetMinSize(min);
}

wxSpinCtrl* NewSpin(wxWindow* parent, int width, int min, int max, int value, const char* text = nullptr) {
  const wxString initial = text ? wxString(text) : wxString::Format("%d", value);
  auto* spin = new wxSpinCtrl(parent, wxID_ANY, initial, wxDefaultPosition, wxSize(width, -1), wxSP_ARROW_KEYS,
                              min, max, value);
  KeepNaturalSize(spin, wxSize(width, -1));
  return spin;
}

wxButton* NewButton(wxWindow* parent, const wxString& label, const char* tooltip = nullptr) {
  auto* button = new wxButton(parent, wxID_ANY, label, wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
  if (tooltip) button->SetToolTip(tooltip);
  return button;
}

void SetTip(wxWindow* window, const char* tooltip) {
  if (tooltip) window->SetToolTip(wxString::FromUTF8(tooltip));
}

// Sets the panel's sizer, lays the panel out and fits it to the sizer.
void Finish(wxWindow* panel, wxSizer* sizer) {
  panel->SetSizer(sizer);
  panel->Layout();
  sizer->Fit(panel);
}

wxGrid* NewGrid(wxWindow* parent, int rows, int cols, int rowLabelAlign, int cellHorizontal, int cellVertical,
                bool autoSizeColumns, wxGridTableBase* table = nullptr) {
  auto* grid = new wxGrid(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, "grid");
  if (table != nullptr)
    grid->SetTable(table, true);
  else
    grid->CreateGrid(rows, cols);
  grid->EnableEditing(true);
  grid->EnableGridLines(true);
  grid->EnableDragGridSize(false);
  grid->SetMargins(0, 0);
  if (autoSizeColumns) grid->AutoSizeColumns();
  grid->EnableDragColMove(false);
  grid->EnableDragColSize(true);
  grid->EnableDragRowSize(true);
  grid->SetColLabelSize(30);
  grid->SetColLabelAlignment(wxALIGN_CENTRE, wxALIGN_CENTRE);
  grid->SetRowLabelSize(80);
  grid->SetRowLabelAlignment(rowLabelAlign, wxALIGN_CENTRE);
  grid->SetDefaultCellAlignment(cellHorizontal, cellVertical);
  return grid;
}

template <typename Tag, typename Class, typename Arg>
void Link(bool on, wxEvtHandler* source, const Tag& type, void (Class::*handler)(Arg&), FIN* sink) {
  if (on)
    source->Bind(type, handler, sink);
  else
    source->Unbind(type, handler, sink);
}

}  // namespace

wxFont FaceFont(int pointSize, wxFontFamily family, wxFontStyle style, wxFontWeight weight, const wxString& face,
                wxFontFamily fallbackFamily) {
  if (wxFontEnumerator::IsValidFacename(face)) return wxFont(pointSize, family, style, weight, false, face);
  return wxFont(pointSize, fallbackFamily, style, weight, false, wxEmptyString);
}

void ApplyVerdanaFont(const wxWindowList& windows) {
  for (wxWindow* window : windows) {
    const wxFont current = window->GetFont();
    window->SetFont(FaceFont(8, wxFONTFAMILY_DEFAULT, current.GetStyle(), current.GetWeight(), "Verdana",
                             wxFONTFAMILY_SWISS));
    ApplyVerdanaFont(window->GetChildren());
  }
}

void AlignTestCheckBoxes(const wxWindowList& windows, int column, int extra, int* width) {
  for (wxWindow* window : windows) {
    if (window->GetName() == "check" && window->GetPosition().x == column) {
      int textWidth = 0, textHeight = 0;
      window->GetTextExtent(window->GetLabel(), &textWidth, &textHeight);
      if (extra == 0) {
        if (textWidth > *width) *width = textWidth;
      } else {
        // A GTK check box is never lower than its indicator.
        window->SetMinSize(wxSize(*width + extra, std::max(textHeight, window->GetBestSize().y)));
      }
    }
    AlignTestCheckBoxes(window->GetChildren(), column, extra, width);
  }
}

FIN::FIN(wxWindow* parent, wxWindowID id, const wxString& title, const wxPoint& pos, const wxSize& size, long style)
    : wxFrame(parent, id, title, pos, size, style) {
  SetSizeHints(wxDefaultSize, wxDefaultSize);
  auto* frameSizer = new wxBoxSizer(wxVERTICAL);
  notebook = new wxNotebook(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxNB_LEFT, "notebook");
  frameSizer->Add(notebook, 1, wxEXPAND, BORDER);

  BuildParametersPage();
  BuildResultPages();
  BuildGraphPage();
  BuildMessagesPage();
  BuildPrefsPage();

  notebook->AddPage(parametersPage, "Parameters", true);
  notebook->AddPage(tablePage, "Table", false);
  notebook->AddPage(pearsonPage, "Pearson", false);
  notebook->AddPage(graphPage, "Graph", false);
  notebook->AddPage(messagesPage, "Messages", false);
  notebook->AddPage(prefsPage, "Prefs", false);

  SetSizer(frameSizer);
  Layout();

  statusBar = CreateStatusBar(4, wxSTB_SIZEGRIP, wxID_ANY, "status_line");

  LinkEvents(true);
}

FIN::~FIN() { LinkEvents(false); }

void FIN::BuildParametersPage() {
  parametersPage = new wxPanel(notebook, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL);
  auto* pageSizer = new wxBoxSizer(wxVERTICAL);

  parametersScroll =
      new wxScrolledWindow(parametersPage, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxHSCROLL | wxVSCROLL);
  parametersScroll->SetScrollRate(5, 5);
  auto* scrollSizer = new wxBoxSizer(wxVERTICAL);
  testPanels = new wxPanel(parametersScroll, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL);
  BuildTestPanels();
  scrollSizer->Add(testPanels, 1, wxEXPAND, BORDER);
  Finish(parametersScroll, scrollSizer);
  pageSizer->Add(parametersScroll, 1, wxEXPAND, BORDER);

  runPanel = new wxPanel(parametersPage, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_SIMPLE | wxTAB_TRAVERSAL);
  BuildRunPanel();
  pageSizer->Add(runPanel, 0, wxEXPAND, BORDER);

  Finish(parametersPage, pageSizer);
}

void FIN::BuildTestPanels() {
  auto* panelsSizer = new wxBoxSizer(wxVERTICAL);
  const wxFont bold(wxNORMAL_FONT->GetPointSize(), wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD,
                    false, wxEmptyString);
  const int centred = wxALIGN_CENTER_VERTICAL;
  std::vector<wxTextCtrl*> textBoxes;
  int spinHeight = 0;

  for (const TestPanelSpec& test : TEST_PANELS) {
    auto* panel = new wxPanel(testPanels, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_STATIC | wxTAB_TRAVERSAL);
    this->*test.panel = panel;
    auto* row = new wxBoxSizer(wxHORIZONTAL);

    auto* check = new wxCheckBox(panel, wxID_ANY, test.label, wxDefaultPosition, wxSize(test.width, -1));
    check->SetValue(true);
    check->SetFont(bold);
    KeepNaturalSize(check, wxSize(test.width, -1));
    SetTip(check, test.tooltip);
    this->*test.check = check;
    row->Add(check, 0, wxALL | centred, BORDER);

    wxBoxSizer* stack = nullptr;  // the vertical group of stacked check boxes
    for (size_t k = 0; k < test.paramCount; ++k) {
      const ParamSpec& p = test.params[k];
      if (p.groupStart) row->Add(NewLine(panel, wxLI_VERTICAL), 0, wxEXPAND | wxALL, BORDER);
      if (p.label && p.kind != ParamKind::Check) row->Add(NewLabel(panel, p.label), 0, wxLEFT | centred, BORDER);

      switch (p.kind) {
        case ParamKind::Spin: {
          wxSpinCtrl* spin = NewSpin(panel, p.width, p.min, p.max, p.value, p.text);
          SetTip(spin, p.tooltip);
          this->*p.spin = spin;
          spinHeight = spin->GetBestSize().y;
          row->Add(spin, 0, wxALL | centred, BORDER);
          break;
        }
        case ParamKind::Unit:
        case ParamKind::Choice: {
          wxArrayString items;
          for (int i = 0; i < p.itemCount; ++i) items.Add(p.items[i]);
          auto* choice = new wxChoice(panel, wxID_ANY, wxDefaultPosition, wxDefaultSize, items);
          choice->SetSelection(p.value);
          SetTip(choice, p.tooltip);
          this->*p.choice = choice;
          // A unit choice stands right beside the value it scales.
          row->Add(choice, 0, (p.kind == ParamKind::Unit ? wxTOP | wxBOTTOM | wxRIGHT : wxALL) | centred, BORDER);
          break;
        }
        case ParamKind::SpinButton: {
          auto* text = new wxTextCtrl(panel, wxID_ANY, p.text, wxDefaultPosition, wxSize(p.width, -1), wxTE_READONLY);
          KeepNaturalSize(text, wxSize(p.width, -1));
          SetTip(text, p.tooltip);
          this->*p.textBox = text;
          textBoxes.push_back(text);
          row->Add(text, 0, wxTOP | wxBOTTOM | wxLEFT | centred, BORDER);
          auto* button = new wxSpinButton(panel, wxID_ANY, wxDefaultPosition, wxSize(-1, 24), wxSP_VERTICAL);
          KeepNaturalSize(button, wxSize(-1, 24));
          SetTip(button, p.tooltip);
          this->*p.button = button;
          row->Add(button, 0, wxTOP | wxBOTTOM | wxRIGHT | centred, BORDER);
          break;
        }
        case ParamKind::Text: {
          auto* text = new wxTextCtrl(panel, wxID_ANY, p.text, wxDefaultPosition, wxSize(p.width, -1));
          text->SetMaxLength(9);
          KeepNaturalSize(text, wxSize(p.width, -1));
          SetTip(text, p.tooltip);
          this->*p.textBox = text;
          textBoxes.push_back(text);
          row->Add(text, 0, wxALL | centred, BORDER);
          break;
        }
        case ParamKind::Check: {
          auto* box = new wxCheckBox(panel, wxID_ANY, p.label);
          box->SetValue(p.value != 0);
          SetTip(box, p.tooltip);
          this->*p.check = box;
          if (p.stackWithNext && !stack) {
            stack = new wxBoxSizer(wxVERTICAL);
            row->Add(stack, 0, centred, BORDER);
          }
          if (stack)
            stack->Add(box, 0, wxLEFT | wxRIGHT, BORDER);
          else
            row->Add(box, 0, wxALL | centred, BORDER);
          if (!p.stackWithNext) stack = nullptr;
          break;
        }
      }
    }
    Finish(panel, row);
    panelsSizer->Add(panel, 0, wxEXPAND | wxLEFT | wxBOTTOM, BORDER);
  }
  // GTK measures a text box higher once it is realized than before, which
  // would make its row grow after the page is laid out; it takes the height
  // of a spin control (the same entry) instead.
  for (wxTextCtrl* text : textBoxes) text->SetMinSize(wxSize(text->GetMinSize().x, spinHeight));
  Finish(testPanels, panelsSizer);
}

void FIN::BuildRunPanel() {
  const int centred = wxALIGN_CENTER_VERTICAL;
  auto* runSizer = new wxBoxSizer(wxVERTICAL);

  auto* row1 = new wxBoxSizer(wxHORIZONTAL);
  presetsLabel = NewLabel(runPanel, "Presets");
  row1->Add(presetsLabel, 0, wxALL | centred, BORDER);
  // The list of this box is drawn by wxWidgets, not by the toolkit: the
  // native list does work per row that grows with the row count, so a few
  // thousand presets took seconds to list.
  presetCombo = new wxOwnerDrawnComboBox(runPanel, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0,
                                         nullptr, 0);
  row1->Add(presetCombo, 0, wxALL | centred, BORDER);
  loadToggle = new wxToggleButton(runPanel, wxID_ANY, "Load");
  loadToggle->SetValue(true);
  loadToggle->SetToolTip("Load the preset");
  row1->Add(loadToggle, 0, wxALL | centred, BORDER);
  savePresetButton = NewButton(runPanel, "Save", "Save the preset");
  row1->Add(savePresetButton, 0, wxALL | centred, BORDER);
  deletePresetButton = NewButton(runPanel, "Delete", "Delete the preset");
  row1->Add(deletePresetButton, 0, wxALL | centred, BORDER);
  presetsLine = NewLine(runPanel, wxLI_VERTICAL);
  row1->Add(presetsLine, 0, wxEXPAND | wxALL, BORDER);
  disableAllButton = NewButton(runPanel, "Disable all", "Disable all the tests");
  row1->Add(disableAllButton, 0, wxALL | centred, BORDER);
  enableAllButton = NewButton(runPanel, "Enable all", "Enable all the tests");
  row1->Add(enableAllButton, 0, wxALL | centred, BORDER);
  enableLine = NewLine(runPanel, wxLI_VERTICAL);
  row1->Add(enableLine, 0, wxEXPAND | wxALL, BORDER);
  autohideToggle = new wxToggleButton(runPanel, wxID_ANY, "Autohide disabled tests");
  autohideToggle->SetValue(false);
  autohideToggle->SetToolTip("The disabled tests are not showed in the above list");
  row1->Add(autohideToggle, 0, wxALL | centred, BORDER);
  auto* startGroup = new wxBoxSizer(wxVERTICAL);
  startButton = NewButton(runPanel, "&Start", "Start the testing phase");
  startButton->SetDefault();
  startGroup->Add(startButton, 0, wxALL | wxALIGN_RIGHT, BORDER);
  row1->Add(startGroup, 1, centred, BORDER);
  runSizer->Add(row1, 1, wxEXPAND, BORDER);

  runRowsLine = NewLine(runPanel, wxLI_HORIZONTAL);
  runSizer->Add(runRowsLine, 0, wxEXPAND | wxLEFT | wxRIGHT, BORDER);

  auto* row2 = new wxBoxSizer(wxHORIZONTAL);
  seqLenLabel = NewLabel(runPanel, "Seq. len.");
  row2->Add(seqLenLabel, 0, wxALL | centred, BORDER);
  seqLenSpin = NewSpin(runPanel, 110, 0, 999999999, 1);
  seqLenSpin->SetToolTip("Sequence length");
  row2->Add(seqLenSpin, 0, wxTOP | wxBOTTOM | wxLEFT | centred, BORDER);
  wxArrayString units;
  for (const char* unit : UNIT_ITEMS) units.Add(unit);
  seqLenUnit = new wxChoice(runPanel, wxID_ANY, wxDefaultPosition, wxDefaultSize, units);
  seqLenUnit->SetSelection(2);
  row2->Add(seqLenUnit, 0, wxALL | centred, BORDER);
  seqLenLine = NewLine(runPanel, wxLI_VERTICAL);
  row2->Add(seqLenLine, 0, wxEXPAND | wxALL, BORDER);
  seqCountLabel = NewLabel(runPanel, "Seq. to test");
  row2->Add(seqCountLabel, 0, wxALL | centred, BORDER);
  seqCountSpin = NewSpin(runPanel, 80, 1, 9999, 50);
  seqCountSpin->SetToolTip("Number of sequences to test");
  row2->Add(seqCountSpin, 0, wxALL | centred, BORDER);
  seqCountLine = NewLine(runPanel, wxLI_VERTICAL);
  row2->Add(seqCountLine, 0, wxEXPAND | wxALL, BORDER);
  auto* fileGroup = new wxBoxSizer(wxHORIZONTAL);
  selectFileButton = NewButton(runPanel, "File(s) to test or DLL to use");
  fileGroup->Add(selectFileButton, 0, wxALL | centred, BORDER);
  fileCombo = new wxComboBox(runPanel, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0, nullptr, 0);
  fileGroup->Add(fileCombo, 1, wxALL | centred, BORDER);
  row2->Add(fileGroup, 1, wxEXPAND, BORDER);
  deleteFileButton = NewButton(runPanel, "Delete", "Delete the file from the list\n(NOT from the disk).");
  row2->Add(deleteFileButton, 0, wxALL | centred, BORDER);
  runSizer->Add(row2, 1, wxEXPAND, BORDER);

  Finish(runPanel, runSizer);
}

void FIN::BuildResultPages() {
  tablePage = new wxPanel(notebook, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL);
  tableSizer = new wxBoxSizer(wxVERTICAL);
  // The Table grid shows the run's results model through a table of its own.
  tableGrid = NewGrid(tablePage, 3, 9, wxALIGN_CENTRE, wxALIGN_LEFT, wxALIGN_TOP, true,
                      new ResultTable(runResults, 3, 9));
  tableSizer->Add(tableGrid, 1, wxEXPAND | wxLEFT, BORDER);
  Finish(tablePage, tableSizer);

  pearsonPage = new wxPanel(notebook, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL);
  pearsonSizer = new wxBoxSizer(wxVERTICAL);
  pearsonGrid = NewGrid(pearsonPage, 0, 3, wxALIGN_RIGHT, wxALIGN_LEFT, wxALIGN_TOP, true);
  pearsonSizer->Add(pearsonGrid, 1, wxEXPAND | wxLEFT, BORDER);
  Finish(pearsonPage, pearsonSizer);
}

void FIN::BuildGraphPage() {
  graphPage = new wxPanel(notebook, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL);
  auto* graphSizer = new wxBoxSizer(wxHORIZONTAL);

  auto* leftColumn = new wxBoxSizer(wxVERTICAL);
  auto* statGroup = new wxBoxSizer(wxVERTICAL);
  statTitle = NewLabel(graphPage, "Statistical tests");
  statTitle->SetFont(FaceFont(8, wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD, "Tahoma",
                              wxFONTFAMILY_SWISS));
  statGroup->Add(statTitle, 0, wxALL | wxALIGN_CENTER_HORIZONTAL, BORDER);
  statGrid = NewGrid(graphPage, 0, 2, wxALIGN_LEFT, wxALIGN_CENTRE, wxALIGN_CENTRE, false);
  statGrid->SetColLabelValue(0, "KS");
  statGrid->SetColLabelValue(1, "AD");
  statGroup->Add(statGrid, 0, wxALL | wxEXPAND, BORDER);
  leftColumn->Add(statGroup, 1, wxEXPAND, BORDER);

  auto legendRow = [this](wxStaticBitmap*& bitmap, wxStaticText*& label, const char* text) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    label = NewLabel(graphPage, text);
    // The swatch is as high as its text, so that its colour shows.
    bitmap = new wxStaticBitmap(graphPage, wxID_ANY, wxNullBitmap, wxDefaultPosition,
                                wxSize(30, label->GetBestSize().y));
    row->Add(bitmap, 0, wxALL | wxALIGN_CENTER_VERTICAL, BORDER);
    row->Add(label, 0, wxALL | wxALIGN_CENTER_VERTICAL, BORDER);
    return row;
  };
  leftColumn->Add(legendRow(ksLegendBitmap, ksLegendLabel, "KS p-values"), 0, wxEXPAND, BORDER);
  leftColumn->Add(legendRow(adLegendBitmap, adLegendLabel, "AD p-values"), 0, wxEXPAND, BORDER);
  graphSizer->Add(leftColumn, 0, wxEXPAND, BORDER);

  plotPanel = new wxPanel(graphPage, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_STATIC | wxTAB_TRAVERSAL);
  plotPanel->SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW));
  graphSizer->Add(plotPanel, 1, wxEXPAND | wxALL, BORDER);

  Finish(graphPage, graphSizer);
}

void FIN::BuildMessagesPage() {
  messagesPage = new wxPanel(notebook, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL);
  auto* messagesSizer = new wxBoxSizer(wxVERTICAL);
  messageText = new wxRichTextCtrl(messagesPage, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                   wxVSCROLL | wxHSCROLL | wxWANTS_CHARS);
  // Without Courier New the log pane stays monospaced.
  messageText->SetFont(FaceFont(9, wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, "Courier New",
                                wxFONTFAMILY_TELETYPE));
  messagesSizer->Add(messageText, 1, wxEXPAND | wxALL, BORDER);
  Finish(messagesPage, messagesSizer);
}

void FIN::BuildPrefsPage() {
  const int centred = wxALIGN_CENTER_VERTICAL;
  prefsPage = new wxPanel(notebook, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL);
  auto* prefsSizer = new wxBoxSizer(wxVERTICAL);
  auto* prefsRow = new wxBoxSizer(wxHORIZONTAL);
  auto* prefsGroup = new wxBoxSizer(wxHORIZONTAL);

  // The display-order list and its buttons.
  testListPanel =
      new wxPanel(prefsPage, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_STATIC | wxTAB_TRAVERSAL);
  auto* listSizer = new wxBoxSizer(wxHORIZONTAL);
  auto* listColumn = new wxBoxSizer(wxVERTICAL);
  testListCaption = NewLabel(testListPanel, "Disable and hide / Display order");
  listColumn->Add(testListCaption, 0, wxALL | wxALIGN_CENTER_HORIZONTAL, BORDER);
  testList = new wxCheckListBox(testListPanel, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, nullptr, wxLB_SINGLE);
  listColumn->Add(testList, 1, wxALL | wxEXPAND, BORDER);
  testListHint = NewLabel(testListPanel,
                          "Select a row and use the three buttons to change the display order of the tests in the "
                          "tables.",
                          wxALIGN_CENTRE);
  listColumn->Add(testListHint, 0, wxALL | wxEXPAND, BORDER);
  listSizer->Add(listColumn, 1, wxEXPAND, BORDER);
  auto* buttonColumn = new wxBoxSizer(wxVERTICAL);
  upButton = NewButton(testListPanel, "Up");
  buttonColumn->Add(upButton, 0, wxALL | wxEXPAND, BORDER);
  downButton = NewButton(testListPanel, "Down");
  buttonColumn->Add(downButton, 0, wxALL | wxEXPAND, BORDER);
  buttonColumn->Add(0, 10, 1, wxEXPAND, BORDER);
  sortButton = NewButton(testListPanel, "Sort");
  buttonColumn->Add(sortButton, 0, wxALL | wxEXPAND, BORDER);
  listSizer->Add(buttonColumn, 0, centred, BORDER);
  Finish(testListPanel, listSizer);
  prefsGroup->Add(testListPanel, 1, wxEXPAND | wxALL, BORDER);

  prefsLine = NewLine(prefsPage, wxLI_VERTICAL);
  prefsGroup->Add(prefsLine, 0, wxEXPAND | wxALL, BORDER);

  auto* rightColumn = new wxBoxSizer(wxVERTICAL);
  auto* runRow = new wxBoxSizer(wxHORIZONTAL);
  const wxString priorities[] = {"Normal", "Idle"};
  priorityRadio = new wxRadioBox(prefsPage, wxID_ANY, "Running priority", wxDefaultPosition, wxDefaultSize, 2,
                                 priorities, 1, wxRA_SPECIFY_COLS);
  priorityRadio->SetSelection(0);
  runRow->Add(priorityRadio, 0, wxALL, BORDER);

  auto captionedSpin = [](wxWindow* parent, wxPanel*& panel, wxStaticText*& caption, wxSpinCtrl*& spin,
                          const char* text, int width, int min, int max, int value) {
    panel = new wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_STATIC);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    caption = NewLabel(panel, text, wxALIGN_CENTRE);
    sizer->Add(caption, 0, wxALL | wxEXPAND, BORDER);
    spin = NewSpin(panel, width, min, max, value);
    sizer->Add(spin, 0, wxALL | wxALIGN_CENTER_HORIZONTAL, BORDER);
    Finish(panel, sizer);
    return panel;
  };
  runRow->Add(captionedSpin(prefsPage, threadsPanel, threadsCaption, threadsSpin, "Concurrent threads", 50, 1, 99, 1),
              0, wxALL, BORDER);
  runRow->Add(captionedSpin(prefsPage, digitsPanel, digitsCaption, digitsSpin, "P-value digits", 50, 3, 7, 4), 0,
              wxALL, BORDER);
  rightColumn->Add(runRow, 0, wxEXPAND, BORDER);

  autoSortPanel = new wxPanel(prefsPage, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_STATIC);
  autoSortPanel->SetToolTip("Automatically sort the p-values in the tables as soon as the testing phase ends.");
  auto* autoSortSizer = new wxBoxSizer(wxVERTICAL);
  autoSortCaption = NewLabel(autoSortPanel, "Auto sort p-values");
  autoSortCaption->SetToolTip("Automatically sort the p-values in the tables as soon as the testing phase ends.");
  autoSortSizer->Add(autoSortCaption, 0, wxALL, BORDER);
  autoSortTablePanel = new wxPanel(autoSortPanel, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_STATIC);
  auto* tableSortSizer = new wxBoxSizer(wxVERTICAL);
  sortTableCheck = new wxCheckBox(autoSortTablePanel, wxID_ANY, "Table");
  tableSortSizer->Add(sortTableCheck, 0, wxALL, BORDER);
  auto* radios = new wxFlexGridSizer(3, 2, 0, 0);
  sortKsRadio = new wxRadioButton(autoSortTablePanel, wxID_ANY, "KS", wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
  sortPvMinRadio = new wxRadioButton(autoSortTablePanel, wxID_ANY, "pv min");
  sortAdRadio = new wxRadioButton(autoSortTablePanel, wxID_ANY, "AD");
  sortPvMaxRadio = new wxRadioButton(autoSortTablePanel, wxID_ANY, "pv max");
  sortBinoRadio = new wxRadioButton(autoSortTablePanel, wxID_ANY, "Binomial");
  for (wxRadioButton* radio : {sortKsRadio, sortPvMinRadio, sortAdRadio, sortPvMaxRadio, sortBinoRadio})
    radios->Add(radio, 0, wxALL, BORDER);
  tableSortSizer->Add(radios, 0, wxEXPAND | wxLEFT, BORDER);
  Finish(autoSortTablePanel, tableSortSizer);
  autoSortSizer->Add(autoSortTablePanel, 0, wxALL | wxEXPAND, BORDER);
  sortPearsonCheck = new wxCheckBox(autoSortPanel, wxID_ANY, "Pearson");
  sortPearsonCheck->SetToolTip("Sort the p-values in the Pearson's table.");
  autoSortSizer->Add(sortPearsonCheck, 0, wxALL, BORDER);
  Finish(autoSortPanel, autoSortSizer);
  rightColumn->Add(autoSortPanel, 0, wxALL, BORDER);

  rowHeightPanel = new wxPanel(prefsPage, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_STATIC);
  auto* rowHeightSizer = new wxBoxSizer(wxHORIZONTAL);
  rowHeightLabel = NewLabel(rowHeightPanel, "Tables row height");
  rowHeightSizer->Add(rowHeightLabel, 0, wxALL | centred, BORDER);
  rowHeightSpin = NewSpin(rowHeightPanel, 55, 2, 99, 20);
  rowHeightSizer->Add(rowHeightSpin, 0, wxALL | centred, BORDER);
  Finish(rowHeightPanel, rowHeightSizer);
  rightColumn->Add(rowHeightPanel, 0, wxALL, BORDER);

  prefsGroup->Add(rightColumn, 1, wxEXPAND, BORDER);
  prefsRow->Add(prefsGroup, 1, wxEXPAND, BORDER);
  prefsSizer->Add(prefsRow, 1, wxEXPAND, BORDER);
  Finish(prefsPage, prefsSizer);
}

void FIN::LinkEvents(bool on) {
  Link(on, this, wxEVT_CLOSE_WINDOW, &FIN::OnClose, this);
  for (const TestPanelSpec& test : TEST_PANELS) {
    Link(on, this->*test.check, wxEVT_CHECKBOX, &FIN::OnTestCheck, this);
    for (size_t k = 0; k < test.paramCount; ++k) {
      const ParamSpec& p = test.params[k];
      if (!p.onSpin) continue;
      if (p.kind == ParamKind::SpinButton)
        Link(on, this->*p.button, wxEVT_SPIN, p.onSpin, this);
      else
        Link(on, this->*p.spin, wxEVT_SPINCTRL, p.onSpin, this);
    }
  }
  Link(on, presetCombo, wxEVT_TEXT, &FIN::OnPresetText, this);
  Link(on, loadToggle, wxEVT_TOGGLEBUTTON, &FIN::OnLoadPreset, this);
  Link(on, savePresetButton, wxEVT_BUTTON, &FIN::OnSavePreset, this);
  Link(on, deletePresetButton, wxEVT_BUTTON, &FIN::OnDeletePreset, this);
  Link(on, disableAllButton, wxEVT_BUTTON, &FIN::OnEnableAll, this);
  Link(on, enableAllButton, wxEVT_BUTTON, &FIN::OnEnableAll, this);
  Link(on, autohideToggle, wxEVT_TOGGLEBUTTON, &FIN::OnAutohide, this);
  Link(on, startButton, wxEVT_BUTTON, &FIN::OnStart, this);
  Link(on, selectFileButton, wxEVT_BUTTON, &FIN::OnSelectFile, this);
  Link(on, fileCombo, wxEVT_COMBOBOX, &FIN::OnFileSelected, this);
  Link(on, fileCombo, wxEVT_TEXT, &FIN::OnFileText, this);
  Link(on, deleteFileButton, wxEVT_BUTTON, &FIN::OnDeleteFile, this);
  Link(on, testList, wxEVT_CHECKLISTBOX, &FIN::OnTestListCheck, this);
  Link(on, upButton, wxEVT_BUTTON, &FIN::OnTestListMove, this);
  Link(on, downButton, wxEVT_BUTTON, &FIN::OnTestListMove, this);
  Link(on, sortButton, wxEVT_BUTTON, &FIN::OnTestListSort, this);
}
