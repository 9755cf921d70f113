// The preset handlers on the real window: the file they write, loading it
// back into a new window, the list of names, deleting, refusing names that
// collide with the section tree, and failures that keep the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/Ini.h"
#include "support/PresetControls.h"
#include "support/SettingsFrame.h"
#include "ui/Presets.h"
#include "ui/TestPanels.h"

namespace {

// The keys of a preset's main section and of its test sections, in the
// order of the file.
const std::vector<std::string> MAIN_KEYS = {
    "AMLS", "AQL", "AutoW", "BlkGapDst", "BlkGap", "Collision", "Coupon", "Cusum", "DFT",
    "LiCo", "LongBlk", "Maurer", "NOTM", "OET", "OTM", "Partition", "Peak", "Permutation",
    "Rank", "ZarWlk", "RW2D", "RWdst", "Runs", "Serial", "ShortBlk", "TwoBit", "Weight"};
const std::vector<std::pair<std::string, std::vector<std::string>>> TEST_SECTIONS = {
    {"AMLS", {"lmin", "lmax", "lstp", "blkmax"}},
    {"AQL", {"smin", "smax", "sstp", "mmin", "mmax", "mstp"}},
    {"AutoW", {"dmin", "dminUM", "dmax", "dmaxUM", "dstp", "smin", "smax", "sstp", "max_pv"}},
    {"BlkGapDst", {"smin", "smax", "sstp"}},
    {"Collision", {"smin", "smax", "sstp"}},
    {"Coupon", {"smin", "smax", "sstp"}},
    {"DFT", {"rmin", "rminUM", "rmax", "rmaxUM", "rstp", "m0", "m1", "Nmax", "Nopt"}},
    {"LiCo", {"len", "k", "optlen"}},
    {"LongBlk", {"smin", "sminUM", "smax", "smaxUM", "sstp"}},
    {"Maurer", {"smin", "smax", "sstp"}},
    {"NOTM", {"smin", "smax", "sstp", "templ"}},
    {"OET", {"smin", "smax", "sstp"}},
    {"Partition", {"smin", "smax", "sstp", "knum"}},
    {"Peak", {"dist", "distUM", "Nmax", "Nopt"}},
    {"Permutation", {"gmin", "gmax", "gstp", "smin", "smax", "sstp"}},
    {"Rank", {"rmin", "rmax", "rstp", "cmin", "cmax", "cstp", "m"}},
    {"ZarWlk", {"lmin", "lmax", "lstp", "Sk"}},
    {"RW2D", {"lmin", "lmax", "lstp"}},
    {"Runs", {"lmin", "lmax", "lstp", "smin", "smax", "sstp"}},
    {"Serial", {"smin", "smax", "sstp"}},
    {"ShortBlk", {"dmin", "dminUM", "dmax", "dmaxUM", "dstp", "smin", "smax", "sstp"}},
    {"Weight", {"smin", "smax", "sstp", "prob"}},
};

// The event of a click of "Load": its source is the toggle.
wxCommandEvent LoadClick(FIN& f) {
  wxCommandEvent event(wxEVT_TOGGLEBUTTON, f.loadToggle->GetId());
  event.SetEventObject(f.loadToggle);
  return event;
}

struct PresetsTest : SettingsWindowTest {
  void Save(const wxString& name) {
    frame->presetCombo->ChangeValue(name);
    wxCommandEvent click(wxEVT_BUTTON);
    click.SetEventObject(frame->savePresetButton);
    frame->OnSavePreset(click);
  }
  void ClickLoad() {
    wxCommandEvent click = LoadClick(*frame);
    frame->OnLoadPreset(click);
  }
  void Delete(const wxString& name) {
    frame->presetCombo->ChangeValue(name);
    wxCommandEvent click(wxEVT_BUTTON);
    click.SetEventObject(frame->deletePresetButton);
    frame->OnDeletePreset(click);
  }
  std::vector<std::string> SectionNames() const {
    platform::IniDocument doc;
    EXPECT_TRUE(doc.Load(PathOf("presets.ini")));
    return doc.SectionNames();
  }
};

}  // namespace

TEST_F(PresetsTest, EveryControlSurvivesSavingAndLoadingInANewWindow) {
  const auto defaults = Snapshot(*frame);
  ChangeEverything(*frame);
  const auto changed = Snapshot(*frame);
  int ticked = 0;
  for (const auto& [key, value] : changed) {
    if (key.find('/') != std::string::npos) EXPECT_NE(value, defaults.at(key)) << key << " must differ from its default";
    else ticked += value == "1";
  }
  EXPECT_GT(ticked, 0);
  EXPECT_LT(ticked, TEST_PANEL_COUNT);
  EXPECT_EQ(changed.at("AMLS/lstp"), "-999");
  EXPECT_EQ(changed.at("AutoW/dstp"), "-999999");

  Save("Fast");
  EXPECT_TRUE(boxes.empty());
  frame = std::make_unique<SettingsFrame>();
  EXPECT_EQ(Snapshot(*frame), defaults);
  frame->presetCombo->ChangeValue("Fast");
  ClickLoad();
  EXPECT_EQ(Snapshot(*frame), changed);
}

TEST_F(PresetsTest, TheFileHoldsTheMainSectionThenTheTestSectionsInTheirOrder) {
  Save("Fast");
  platform::IniDocument doc;
  ASSERT_TRUE(doc.Load(PathOf("presets.ini")));
  std::vector<std::string> expectedSections = {"Fast"};
  for (const auto& section : TEST_SECTIONS) expectedSections.push_back("Fast/" + section.first);
  EXPECT_EQ(doc.SectionNames(), expectedSections);

  // The key names line by line, values dropped.
  std::istringstream file(ReadFile("presets.ini"));
  std::vector<std::string> lines, expected;
  for (std::string line; std::getline(file, line);) lines.push_back(line.substr(0, line.find('=')));
  expected.push_back("[Fast]");
  expected.insert(expected.end(), MAIN_KEYS.begin(), MAIN_KEYS.end());
  for (const auto& section : TEST_SECTIONS) {
    expected.push_back("[Fast/" + section.first + "]");
    expected.insert(expected.end(), section.second.begin(), section.second.end());
  }
  EXPECT_EQ(lines, expected);

  // The layout's defaults as stored: a check box as 1, a unit as its index,
  // a spin button as its position, the "Max blks" text as typed.
  EXPECT_EQ(doc.ReadInt("Fast", "Weight", -9), 1);
  EXPECT_EQ(doc.ReadInt("Fast/AutoW", "dmaxUM", -9), 2);
  EXPECT_EQ(doc.ReadInt("Fast/AMLS", "lmax", -9), 19);
  EXPECT_EQ(doc.ReadInt("Fast/AMLS", "lstp", -9), -1);
  EXPECT_EQ(doc.ReadInt("Fast/Rank", "m", -9), 1);
  EXPECT_EQ(doc.ReadInt("Fast/NOTM", "smin", -9), 2);
}

TEST_F(PresetsTest, SavingTwiceKeepsOneCopyAndLeavesFaster) {
  WriteFile("presets.ini", "[Faster]\nAMLS=0\n[Faster/AMLS]\nlmin=7\n");
  Save("Fast");
  frame->amlsLstpSpin->SetValue(-5);
  Save("Fast");
  std::vector<std::string> expected = {"Faster", "Faster/AMLS", "Fast"};
  for (const auto& section : TEST_SECTIONS) expected.push_back("Fast/" + section.first);
  EXPECT_EQ(SectionNames(), expected);
  platform::IniDocument doc;
  ASSERT_TRUE(doc.Load(PathOf("presets.ini")));
  EXPECT_EQ(doc.ReadInt("Fast/AMLS", "lstp", 0), -5);
  EXPECT_EQ(doc.ReadInt("Faster/AMLS", "lmin", 0), 7);
}

TEST_F(PresetsTest, AfterSaveTheListHoldsExactlyThePresetsOfTheFile) {
  EXPECT_EQ(Items(frame->presetCombo), std::vector<wxString>{"Save on exit"});
  WriteFile("presets.ini", "[B]\nAMLS=1\n[B/AMLS]\nlmin=1\n");
  Save("A");
  EXPECT_EQ(Items(frame->presetCombo), (std::vector<wxString>{"B", "A"}));
  EXPECT_EQ(frame->presetCombo->GetSelection(), 1);
  EXPECT_EQ(frame->presetCombo->GetValue(), "A");
}

TEST_F(PresetsTest, TheListHoldsTheFilesPresetsAndSaveOnExitOnce) {
  WriteFile("presets.ini", "[A]\nAMLS=1\n[A/AMLS]\nlmin=1\n[Save on exit]\nAMLS=1\n[B]\n");
  EXPECT_EQ(Items(SettingsFrame().presetCombo), (std::vector<wxString>{"A", "Save on exit", "B"}));
  WriteFile("presets.ini", "[A]\n[save ON exit]\n");
  EXPECT_EQ(Items(SettingsFrame().presetCombo), (std::vector<wxString>{"A", "save ON exit"}));
  WriteFile("presets.ini", "[A]\n[A/AMLS]\n");
  EXPECT_EQ(Items(SettingsFrame().presetCombo), (std::vector<wxString>{"A", "Save on exit"}));
}

TEST_F(PresetsTest, ManyPresetsAreListedInFileOrderAtStartAndAfterSave) {
  std::string file;
  std::vector<wxString> expected;
  for (int i = 0; i < 300; ++i) {
    file += "[P" + std::to_string(i) + "]\nAMLS=1\n[P" + std::to_string(i) + "/AMLS]\nlmin=1\n";
    expected.push_back(wxString::Format("P%d", i));
  }
  WriteFile("presets.ini", file);
  frame = std::make_unique<SettingsFrame>();
  std::vector<wxString> atStart = expected;
  atStart.push_back("Save on exit");
  EXPECT_EQ(Items(frame->presetCombo), atStart);
  Save("New");
  expected.push_back("New");
  EXPECT_EQ(Items(frame->presetCombo), expected);
  EXPECT_EQ(frame->presetCombo->GetSelection(), 300);
}

TEST_F(PresetsTest, TenThousandPresetsAreListedShownAndSavedTo) {
  // The toolkit's own list did work per row that grew with the row count:
  // this many names kept the window from appearing for minutes. The window
  // now shows, drops its list down and takes a save with all of them.
  const int count = 10000;
  std::string file;
  std::vector<wxString> expected;
  for (int i = 0; i < count; ++i) {
    file += "[P" + std::to_string(i) + "]\nAMLS=1\n";
    expected.push_back(wxString::Format("P%d", i));
  }
  WriteFile("presets.ini", file);
  frame = std::make_unique<SettingsFrame>();
  frame->Show();
  frame->presetCombo->Popup();
  wxYield();
  EXPECT_TRUE(frame->presetCombo->IsPopupShown());
  frame->presetCombo->Dismiss();
  std::vector<wxString> atStart = expected;
  atStart.push_back("Save on exit");
  EXPECT_EQ(Items(frame->presetCombo), atStart);

  const int texts = frame->presetTexts;
  Save("New");
  expected.push_back("New");
  EXPECT_EQ(Items(frame->presetCombo), expected);
  EXPECT_EQ(frame->presetCombo->GetSelection(), count);
  EXPECT_EQ(frame->presetTexts, texts);
}

TEST_F(PresetsTest, ChoosingANameFromTheListLoadsItAndClosingTheListAloneDoesNot) {
  frame->serialSmaxSpin->SetValue(9);
  Save("Fast");
  frame->serialSmaxSpin->SetValue(16);
  frame->presetCombo->ChangeValue("");
  frame->Show();
  frame->presetCombo->Popup();
  frame->presetCombo->SetValueByUser("Fast");  // as a pick from the dropped-down list
  frame->presetCombo->Dismiss();
  EXPECT_EQ(frame->serialSmaxSpin->GetValue(), 9);
  EXPECT_EQ(frame->presetCombo->GetSelection(), 0);

  // The list dropped down and closed with the loaded name still in the box
  // keeps the settings changed since the load.
  frame->serialSmaxSpin->SetValue(16);
  const int texts = frame->presetTexts;
  frame->presetCombo->Popup();
  frame->presetCombo->Dismiss();
  EXPECT_EQ(frame->serialSmaxSpin->GetValue(), 16);
  EXPECT_EQ(frame->presetTexts, texts + 1) << "the repeated text reaches the handler, which ignores it";
}

TEST_F(PresetsTest, AFileWithTwoByteOrderMarksKeepsItsPresetsThroughASave) {
  // The second mark makes the first line text, not a section; a save must
  // not turn it into one.
  WriteFile("presets.ini", "\xEF\xBB\xBF\xEF\xBB\xBF[]\n[Old]\nAMLS=1\n");
  frame = std::make_unique<SettingsFrame>();
  EXPECT_EQ(Items(frame->presetCombo), (std::vector<wxString>{"Old", "Save on exit"}));
  Save("Fast");
  std::vector<std::string> expected = {"Old", "Fast"};
  for (const auto& section : TEST_SECTIONS) expected.push_back("Fast/" + section.first);
  EXPECT_EQ(SectionNames(), expected);
  EXPECT_EQ(Items(frame->presetCombo), (std::vector<wxString>{"Old", "Fast"}));
}

TEST_F(PresetsTest, LoadingTakesTheNameInAnyCaseAndLoadDownUnlessCalledWithoutSource) {
  frame->amlsLstpSpin->SetValue(-7);
  Save("Fast");
  frame->amlsLstpSpin->SetValue(-1);

  frame->presetCombo->ChangeValue("Fas");
  wxCommandEvent click = LoadClick(*frame);
  frame->OnLoadPreset(click);
  EXPECT_EQ(frame->amlsLstpSpin->GetValue(), -1) << "a part of the name is no preset";

  frame->presetCombo->ChangeValue("fAST");
  frame->OnLoadPreset(click);
  EXPECT_EQ(frame->amlsLstpSpin->GetValue(), -7) << "another case is the same preset";

  frame->amlsLstpSpin->SetValue(-1);
  frame->presetCombo->ChangeValue("Fast");
  frame->loadToggle->SetValue(false);
  frame->OnLoadPreset(click);
  EXPECT_EQ(frame->amlsLstpSpin->GetValue(), -1) << "a click that puts Load up loads nothing";

  wxCommandEvent fromConstructor;
  frame->OnLoadPreset(fromConstructor);
  EXPECT_EQ(frame->amlsLstpSpin->GetValue(), -7) << "a call without source loads whatever Load shows";
}

TEST_F(PresetsTest, TypingTheNameWithLoadDownLoadsItWhenComplete) {
  frame->serialSmaxSpin->SetValue(9);
  Save("Fast");
  frame->serialSmaxSpin->SetValue(16);
  frame->presetCombo->ChangeValue("");
  for (const char* text : {"F", "Fa", "Fas"}) {
    frame->presetCombo->SetValue(text);  // sends the text event, as typing does
    EXPECT_EQ(frame->serialSmaxSpin->GetValue(), 16) << text;
  }
  frame->presetCombo->SetValue("Fast");
  EXPECT_EQ(frame->serialSmaxSpin->GetValue(), 9);
}

TEST_F(PresetsTest, ALoadRefreshesTheSpinTextsAndPanelsButNotFromTheConstructor) {
  Save("Fast");
  ClickLoad();
  EXPECT_EQ(frame->amlsLminSpins, 1);
  EXPECT_EQ(frame->amlsLmaxSpins, 1);
  EXPECT_EQ(frame->linCplxKSpins, 1);
  EXPECT_EQ(frame->autohides, 1);
  EXPECT_NE(frame->autohideIds.back(), -99) << "both steps of the refresh must run";

  frame->amlsLminSpins = frame->amlsLmaxSpins = frame->linCplxKSpins = frame->autohides = 0;
  wxCommandEvent fromConstructor;
  frame->OnLoadPreset(fromConstructor);
  EXPECT_EQ(frame->Refreshes(), 0);
}

TEST_F(PresetsTest, SavingAndDeletingSendNoTextEventsToTheLoadHandler) {
  // On GTK emptying the box sends a text event; with Load down it would run
  // the load handler in the middle of the save.
  ASSERT_TRUE(frame->loadToggle->GetValue());
  Save("Fast");
  Save("Fast");
  frame->presetCombo->SetSelection(0);
  Delete("Fast");
  EXPECT_EQ(frame->presetTexts, 0);
  EXPECT_EQ(frame->Refreshes(), 0);

  frame->presetCombo->SetValue("typed");
  EXPECT_EQ(frame->presetTexts, 1) << "outside a save the box's text events reach the handler";
}

TEST_F(PresetsTest, MaxBlksIsSavedAsTypedAndLoadsItsLeadingNumber) {
  frame->amlsBlkmaxText->ChangeValue("12abc");
  Save("Fast");
  EXPECT_NE(ReadFile("presets.ini").find("\nblkmax=12abc\n"), std::string::npos);
  frame->amlsBlkmaxText->ChangeValue("0");
  ClickLoad();
  EXPECT_EQ(frame->amlsBlkmaxText->GetValue(), "12");

  frame->amlsBlkmaxText->ChangeValue("abc");
  Save("Fast");
  ClickLoad();
  EXPECT_EQ(frame->amlsBlkmaxText->GetValue(), "0");
}

TEST_F(PresetsTest, AHandWrittenFileLoadsMissingKeysAsZeroAndOutOfRangeValuesClamped) {
  WriteFile("presets.ini",
            "; by hand\r\n"
            "[Hand]\r\n"
            "amls=1\r\n"
            "DFT=0\r\n"
            "[hand/amls]\r\n"
            "LMIN=25\r\n"
            "lstp=5\r\n"
            "[Hand/Rank]\r\n"
            "m=7\r\n"
            "rmin=-3\r\n"
            "[Hand/DFT]\r\n"
            "rmaxUM=-1\r\n");
  frame = std::make_unique<SettingsFrame>();
  frame->presetCombo->ChangeValue("Hand");
  ClickLoad();
  EXPECT_TRUE(frame->amlsCheck->GetValue());
  EXPECT_FALSE(frame->dftCheck->GetValue());
  EXPECT_FALSE(frame->weightCheck->GetValue()) << "a missing key reads as 0";
  EXPECT_EQ(frame->amlsLminSpinButton->GetValue(), 19);
  EXPECT_EQ(frame->amlsLstpSpin->GetValue(), -1);
  EXPECT_EQ(frame->rankMChoice->GetSelection(), 2);
  EXPECT_EQ(frame->rankRminSpin->GetValue(), 2);
  EXPECT_EQ(frame->dftRmaxUnit->GetSelection(), 0);
  EXPECT_EQ(frame->serialSmaxSpin->GetValue(), 2) << "a missing key puts the control at 0, clamped to its minimum";
  EXPECT_EQ(frame->amlsBlkmaxText->GetValue(), "0");
}

TEST_F(PresetsTest, DeletingRemovesTheTreeAndTheItemOrTheText) {
  Save("Fast");
  WriteFile("presets.ini", ReadFile("presets.ini") + "[Faster]\nAMLS=1\n[Faster/AMLS]\nlmin=2\n");
  frame = std::make_unique<SettingsFrame>();
  ASSERT_EQ(Items(frame->presetCombo), (std::vector<wxString>{"Fast", "Faster", "Save on exit"}));

  frame->presetCombo->SetSelection(0);
  wxCommandEvent click(wxEVT_BUTTON);
  frame->OnDeletePreset(click);
  EXPECT_EQ(SectionNames(), (std::vector<std::string>{"Faster", "Faster/AMLS"}));
  EXPECT_EQ(Items(frame->presetCombo), (std::vector<wxString>{"Faster", "Save on exit"}));

  EXPECT_EQ(frame->presetCombo->GetValue(), "");

  Delete("FASTER");  // typed, in another case: the item and the text go
  EXPECT_TRUE(SectionNames().empty());
  EXPECT_EQ(frame->presetCombo->GetValue(), "");
  EXPECT_EQ(Items(frame->presetCombo), std::vector<wxString>{"Save on exit"});
  EXPECT_TRUE(boxes.empty());

  Delete("Nothing");  // a name without sections only updates the box
  EXPECT_EQ(frame->presetCombo->GetValue(), "");
  EXPECT_EQ(Items(frame->presetCombo), std::vector<wxString>{"Save on exit"});
  EXPECT_TRUE(boxes.empty());
}

TEST_F(PresetsTest, NamesThatDifferOnlyInCaseAreOnePreset) {
  WriteFile("presets.ini", "[Fast]\nAMLS=1\n[Fast/AMLS]\nlmin=3\n");
  frame = std::make_unique<SettingsFrame>();
  frame->serialSmaxSpin->SetValue(9);
  frame->dftCheck->SetValue(false);
  Save("Faster");
  const auto faster = Snapshot(*frame);
  frame->serialSmaxSpin->SetValue(12);
  frame->dftCheck->SetValue(true);
  frame->weightCheck->SetValue(false);
  Save("FASTER");
  const auto upper = Snapshot(*frame);
  ASSERT_NE(faster, upper);

  // FASTER replaced Faster whole; Fast, whose name is a part of theirs, stays.
  std::vector<std::string> expected = {"Fast", "Fast/AMLS", "FASTER"};
  for (const auto& section : TEST_SECTIONS) expected.push_back("FASTER/" + section.first);
  EXPECT_EQ(SectionNames(), expected);
  EXPECT_EQ(Items(frame->presetCombo), (std::vector<wxString>{"Fast", "FASTER"}));
  EXPECT_EQ(frame->presetCombo->GetSelection(), 1);

  frame = std::make_unique<SettingsFrame>();
  frame->presetCombo->ChangeValue("faster");
  ClickLoad();
  EXPECT_EQ(Snapshot(*frame), upper);

  Delete("Faster");
  EXPECT_EQ(SectionNames(), (std::vector<std::string>{"Fast", "Fast/AMLS"}));
  EXPECT_EQ(Items(frame->presetCombo), (std::vector<wxString>{"Fast", "Save on exit"}));
}

TEST_F(PresetsTest, NoSequenceOfSavesAndDeletesLeavesOrphansOrTwins) {
  // A file that an older version left: one preset in two spellings.
  WriteFile("presets.ini", "[Fast]\nAMLS=1\n[FAST/AMLS]\nlmin=3\n[fast/DFT]\nrmin=2\n");
  frame = std::make_unique<SettingsFrame>();
  EXPECT_EQ(Items(frame->presetCombo), (std::vector<wxString>{"Fast", "Save on exit"}));

  const wxString names[] = {"Fast", "FAST", "fast", "Faster", "fASTER", "Fa", "Save on exit", "SAVE ON EXIT"};
  std::map<wxString, std::pair<wxString, int>> saved;  // lower case -> spelling, "Smax" of Serial
  saved["fast"] = {"Fast", -1};
  std::mt19937 random(25);
  for (int step = 0; step < 150; ++step) {
    const wxString name = names[random() % std::size(names)];
    const bool save = random() % 3 != 0;
    SCOPED_TRACE(std::string(save ? "save " : "delete ") + name.ToStdString() + " at step " + std::to_string(step));
    if (save) {
      const int smax = 2 + step % 15;
      frame->serialSmaxSpin->SetValue(smax);
      Save(name);
      saved[name.Lower()] = {name, smax};
    } else {
      Delete(name);
      saved.erase(name.Lower());
    }

    // The file: each preset once, in one spelling, with all its test
    // sections in that spelling; no test section without its preset.
    std::map<std::string, int> testSections;  // by the preset's part as spelled
    std::vector<std::string> presets;
    for (const std::string& section : SectionNames()) {
      const size_t slash = section.find('/');
      if (slash == std::string::npos) {
        presets.push_back(section);
      } else {
        ++testSections[section.substr(0, slash)];
      }
    }
    std::vector<std::string> expectedPresets;
    for (const auto& entry : saved) expectedPresets.push_back(entry.second.first.ToStdString());
    std::sort(presets.begin(), presets.end());
    std::sort(expectedPresets.begin(), expectedPresets.end());
    ASSERT_EQ(presets, expectedPresets);
    for (const auto& [preset, count] : testSections) {
      const auto owner = saved.find(wxString(preset).Lower());
      ASSERT_TRUE(owner != saved.end()) << "orphan [" << preset << "/...]";
      // A preset saved here has every test section, spelled as it is.
      if (owner->second.second > 0) {
        ASSERT_EQ(wxString(preset), owner->second.first);
        ASSERT_EQ(count, static_cast<int>(TEST_SECTIONS.size()));
      }
    }

    // The list: each preset once, as it is spelled in the file; besides
    // them only "Save on exit" while it is not one.
    for (const auto& entry : saved) {
      const std::vector<wxString> items = Items(frame->presetCombo);
      ASSERT_EQ(std::count_if(items.begin(), items.end(),
                              [&](const wxString& item) { return item.Lower() == entry.first; }),
                1)
          << entry.first;
      ASSERT_NE(std::find(items.begin(), items.end(), entry.second.first), items.end()) << entry.first;
    }
    for (const wxString& item : Items(frame->presetCombo))
      ASSERT_TRUE(saved.count(item.Lower()) == 1 || item == SAVE_ON_EXIT) << item;
  }

  // Each preset loads, under any of its spellings, what its last save held.
  for (const auto& entry : saved) {
    if (entry.second.second < 0) continue;
    frame->serialSmaxSpin->SetValue(16);
    frame->presetCombo->ChangeValue(entry.second.first.Upper());
    ClickLoad();
    EXPECT_EQ(frame->serialSmaxSpin->GetValue(), entry.second.second) << entry.first;
  }
}

TEST_F(PresetsTest, NamesThatCollideWithTheSectionTreeAreRefused) {
  Save("Fast");
  const std::string before = ReadFile("presets.ini");
  for (const wxString& name : {wxString(""), wxString("Fast/AMLS"), wxString("a]b"), wxString("two\nlines"),
                               wxString("cr\rhere")}) {
    boxes.clear();
    Save(name);
    Delete(name);
    EXPECT_EQ(boxes.size(), 2u) << name;
    for (const wxString& text : boxes)
      EXPECT_EQ(text, "A preset name must not be empty and must not hold \"/\", \"]\" or a line break.");
    for (long style : boxStyles) EXPECT_EQ(style, wxOK | wxICON_WARNING);
    EXPECT_EQ(ReadFile("presets.ini"), before) << name;
  }
  // Nor is such a name looked up: "Fast/AMLS" is no preset.
  frame->presetCombo->ChangeValue("Fast/AMLS");
  frame->dftCheck->SetValue(false);
  ClickLoad();
  EXPECT_FALSE(frame->dftCheck->GetValue());
}

TEST_F(PresetsTest, AFailedSaveOrDeleteKeepsTheFileAndSaysSo) {
  Save("Fast");
  frame->presetCombo->Append("Other");
  const std::string before = ReadFile("presets.ini");

  // The folder cannot take a new file: the temporary file cannot be made.
  ASSERT_EQ(chmod(folder.c_str(), 0500), 0);
  const bool folderRefusesWrites = access((folder + "/.").c_str(), W_OK) != 0;
  chmod(folder.c_str(), 0700);
  if (!folderRefusesWrites) {
    // Running as root: make the file unreadable as a file instead.
    RemoveTree(PathOf("presets.ini"));
    ASSERT_EQ(mkdir(PathOf("presets.ini").c_str(), 0755), 0);
  } else {
    chmod(folder.c_str(), 0500);
  }
  const std::vector<wxString> itemsBefore = Items(frame->presetCombo);
  Save("Fast");
  Delete("Fast");
  chmod(folder.c_str(), 0700);
  EXPECT_EQ(boxes, (std::vector<wxString>{"Error while saving the preset \"Fast\".\nThe presets file was not changed.",
                                          "Error while deleting the preset \"Fast\".\nThe presets file was not changed."}));
  EXPECT_EQ(Items(frame->presetCombo), itemsBefore);
  EXPECT_EQ(frame->presetCombo->GetValue(), "Fast");
  if (folderRefusesWrites) {
    EXPECT_EQ(ReadFile("presets.ini"), before);
  }
}
