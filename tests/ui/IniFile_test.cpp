#include "ui/IniFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

void PrintTo(const wxString& text, std::ostream* os) { *os << '"' << text.utf8_str().data() << '"'; }

namespace {

struct IniFileTest : ::testing::Test {
  std::string folder;
  wxString path;
  void SetUp() override {
    char name[] = "/tmp/qv-inifile-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder = name;
    path = wxString(folder) + "/presets.ini";
  }
  void TearDown() override {
    unlink(path.c_str());
    rmdir(path.c_str());
    rmdir(folder.c_str());
  }
  void WriteFile(const std::string& data) const { std::ofstream(path.ToStdString(), std::ios::binary) << data; }
  std::string ReadFile() const {
    std::ifstream in(path.ToStdString(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

wxArrayString Names(std::initializer_list<const char*> names) {
  wxArrayString list;
  for (const char* name : names) list.Add(wxString::FromUTF8(name));
  return list;
}

const char* const PRESETS =
    "[Fast]\r\n"
    "AMLS=1\r\n"
    "DFT=0\r\n"
    "[Fast/AMLS]\r\n"
    "lmin=3\r\n"
    "lstp=-1\r\n"
    "[fast/DFT]\r\n"
    "rmin=5\r\n"
    "[Faster]\r\n"
    "AMLS=0\r\n"
    "[Faster/AMLS]\r\n"
    "lmin=7\r\n"
    "[Fast/Serial]\r\n"
    "smin=2\r\n";

}  // namespace

TEST_F(IniFileTest, ReadsCrlfFilesWithSectionsInFileOrder) {
  WriteFile(PRESETS);
  IniFile ini(path);
  ASSERT_TRUE(ini.Loaded());
  EXPECT_EQ(ini.GetSectionNames(),
            Names({"Fast", "Fast/AMLS", "fast/DFT", "Faster", "Faster/AMLS", "Fast/Serial"}));
  ini.SetSection("Fast/AMLS");
  EXPECT_EQ(ini.ReadInt("lmin"), 3);
  EXPECT_EQ(ini.ReadInt("lstp"), -1);
  EXPECT_EQ(ini.ReadInt("Fast", "AMLS"), 1);
}

TEST_F(IniFileTest, AMissingKeySectionOrFileReadsAsZero) {
  WriteFile(PRESETS);
  IniFile ini(path);
  EXPECT_EQ(ini.ReadInt("Fast", "Cusum"), 0);
  EXPECT_EQ(ini.ReadInt("Slow", "AMLS"), 0);
  EXPECT_EQ(ini.ReadInt("lmin"), 0) << "no section set";

  IniFile none(wxString(folder) + "/missing.ini");
  EXPECT_TRUE(none.Loaded());
  EXPECT_TRUE(none.GetSectionNames().empty());
  EXPECT_EQ(none.ReadInt("Fast", "AMLS"), 0);
}

TEST_F(IniFileTest, SectionLookupsAndReadsIgnoreCase) {
  WriteFile(PRESETS);
  IniFile ini(path);
  EXPECT_TRUE(ini.HasSection("Fast"));
  EXPECT_TRUE(ini.HasSection("fast"));
  EXPECT_TRUE(ini.HasSection("FAST/dft"));
  EXPECT_FALSE(ini.HasSection("Fas"));
  EXPECT_FALSE(ini.HasSection("Fast/"));
  EXPECT_TRUE(IniFile::SameName("fASTER", "Faster"));
  EXPECT_FALSE(IniFile::SameName("Fast", "Faster"));
  EXPECT_EQ(ini.ReadInt("FAST/amls", "LMIN"), 3);
  EXPECT_EQ(ini.ReadInt("Fast/DFT", "rmin"), 5);
}

TEST_F(IniFileTest, DeletingFastInAnyCaseTakesItsWholeTreeAndLeavesFaster) {
  for (const char* name : {"Fast", "FAST"}) {
    WriteFile(PRESETS);
    IniFile ini(path);
    ini.DeleteSectionTree(name);
    // [fast/DFT] goes with [Fast]: it names the same preset.
    EXPECT_EQ(ini.GetSectionNames(), Names({"Faster", "Faster/AMLS"})) << name;
    ASSERT_TRUE(ini.Commit());
    EXPECT_EQ(ReadFile(), "[Faster]\r\nAMLS=0\r\n[Faster/AMLS]\r\nlmin=7\r\n");
    EXPECT_EQ(IniFile(path).ReadInt("Faster/AMLS", "lmin"), 7);
  }
}

TEST_F(IniFileTest, WritesReachTheFileOnlyAtCommit) {
  WriteFile(PRESETS);
  IniFile ini(path);
  ini.SetSection("Faster/AMLS");
  ini.WriteInt("lmin", -12);
  ini.WriteText("Faster/AMLS", "blkmax", "12abc\n[Evil]\r\nx=1");
  EXPECT_EQ(ReadFile(), PRESETS);
  ASSERT_TRUE(ini.Commit());
  IniFile back(path);
  EXPECT_EQ(back.ReadInt("Faster/AMLS", "lmin"), -12);
  EXPECT_EQ(back.ReadInt("Faster/AMLS", "blkmax"), 12);
  EXPECT_FALSE(back.HasSection("Evil")) << "a line break in a text must not start a section";
  EXPECT_NE(ReadFile().find("blkmax=12abc\r\n"), std::string::npos);
}

TEST_F(IniFileTest, ACommitWithoutChangesWritesNothing) {
  IniFile ini(path);
  ini.DeleteSectionTree("Fast");
  ASSERT_TRUE(ini.Commit());
  struct stat st;
  EXPECT_NE(stat(path.c_str(), &st), 0) << "deleting from a missing file creates none";
}

TEST_F(IniFileTest, AFileThatCannotBeReadIsNeverOverwritten) {
  ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  IniFile ini(path);
  EXPECT_FALSE(ini.Loaded());
  ini.WriteInt("A", "x", 1);
  EXPECT_FALSE(ini.Commit());
}

TEST_F(IniFileTest, NamesOutsideAsciiSurvive) {
  const wxString name = wxString::FromUTF8("R\xC3\xA9glage");
  IniFile ini(path);
  ini.WriteInt(name, "AMLS", 1);
  ini.WriteInt(name + "/AMLS", "lmin", 4);
  ASSERT_TRUE(ini.Commit());
  IniFile back(path);
  EXPECT_EQ(back.GetSectionNames(), Names({"R\xC3\xA9glage", "R\xC3\xA9glage/AMLS"}));
  EXPECT_TRUE(back.HasSection(name));
  EXPECT_EQ(back.ReadInt(name + "/AMLS", "lmin"), 4);
}
