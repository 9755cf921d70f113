#include "platform/Ini.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "IniRoundTrip.h"

using namespace platform;

namespace {

// A fresh folder per test, removed with its files afterwards.
struct IniDocumentTest : ::testing::Test {
  std::string folder;
  std::string path;
  void SetUp() override {
    char name[] = "/tmp/qv-ini-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder = name;
    path = folder + "/presets.ini";
  }
  void TearDown() override {
    for (const std::string& file : Files()) unlink((folder + "/" + file).c_str());
    rmdir(folder.c_str());
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> files;
    if (DIR* dir = opendir(folder.c_str())) {
      while (dirent* entry = readdir(dir))
        if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") files.push_back(entry->d_name);
      closedir(dir);
    }
    return files;
  }
  void WriteFile(const std::string& data) const { std::ofstream(path, std::ios::binary) << data; }
  std::string ReadFile() const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  IniDocument LoadDoc() const {
    IniDocument doc;
    EXPECT_TRUE(doc.Load(path));
    return doc;
  }
};

// A file as a person writes it on Windows: CRLF, blanks around '=',
// comments, an empty line and text before the first section.
const char* const HAND_WRITTEN =
    "; my presets\r\n"
    "\r\n"
    "[Fast]\r\n"
    "AMLS = 1\r\n"
    "DFT=0\r\n"
    "\r\n"
    "[Fast/AMLS]\r\n"
    "  lmin=3\r\n"
    "lstp=-1\r\n"
    "blkmax=12abc\r\n"
    "; a comment=not a key\r\n"
    "[Faster]\r\n"
    "AMLS=0\r\n"
    "[Faster/AMLS]\r\n"
    "lmin=7";  // no line end after the last line

}  // namespace

TEST_F(IniDocumentTest, ReadsAHandWrittenFileWithCrlfLineEnds) {
  WriteFile(HAND_WRITTEN);
  IniDocument doc = LoadDoc();
  EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"Fast", "Fast/AMLS", "Faster", "Faster/AMLS"}));
  EXPECT_EQ(doc.ReadInt("Fast", "AMLS", 99), 1);
  EXPECT_EQ(doc.ReadInt("Fast", "DFT", 99), 0);
  EXPECT_EQ(doc.ReadInt("Fast/AMLS", "lmin", 99), 3);
  EXPECT_EQ(doc.ReadInt("Fast/AMLS", "lstp", 99), -1);
  EXPECT_EQ(doc.ReadInt("Fast/AMLS", "blkmax", 99), 12);
  EXPECT_EQ(doc.ReadInt("Faster/AMLS", "lmin", 99), 7) << "the last line has no line end";
  EXPECT_EQ(doc.ReadInt("Fast/AMLS", "; a comment", 99), 99) << "comment lines hold no key";
  std::string value;
  ASSERT_TRUE(doc.ReadString("Fast/AMLS", "blkmax", value));
  EXPECT_EQ(value, "12abc");
  EXPECT_FALSE(doc.Modified());
}

TEST_F(IniDocumentTest, MissingKeysAndSectionsGiveTheDefault) {
  WriteFile(HAND_WRITTEN);
  IniDocument doc = LoadDoc();
  EXPECT_EQ(doc.ReadInt("Fast", "Cusum", 0), 0);
  EXPECT_EQ(doc.ReadInt("Fast", "Cusum", -5), -5);
  EXPECT_EQ(doc.ReadInt("Slow", "AMLS", 42), 42);
  std::string value = "untouched";
  EXPECT_FALSE(doc.ReadString("Slow", "AMLS", value));
  EXPECT_EQ(value, "untouched");
}

TEST_F(IniDocumentTest, NamesCompareWithoutCaseButAreListedAsWritten) {
  WriteFile("[Fast]\nAMLS=1\n[fast/amls]\nLMIN=4\n");
  IniDocument doc = LoadDoc();
  EXPECT_TRUE(doc.HasSection("FAST"));
  EXPECT_EQ(doc.ReadInt("fAsT", "amls", 0), 1);
  EXPECT_EQ(doc.ReadInt("Fast/AMLS", "lmin", 0), 4);
  EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"Fast", "fast/amls"}));

  doc.WriteString("FAST", "amls", "0");
  EXPECT_EQ(doc.SectionNames().size(), 2u) << "a write finds the section whatever its case";
  EXPECT_EQ(doc.ReadInt("Fast", "AMLS", 9), 0);
}

TEST(IniNames, CompareWithoutCase) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
  };
  const Case cases[] = {
      {"Save on exit", "SAVE ON EXIT", true}, {"Fast", "Faster", false}, {"Faster", "Fast", false},
      {"", "", true},                         {"a/b", "A/B", true},      {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9", true},
      {"\xFF", "\xFF", true},                 {"\xFF", "\xFE", false},   {"\xC3", "\xC3\xA9", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NamesEqualNoCase(c.a, c.b), c.equal) << c.a << " vs " << c.b;
    EXPECT_EQ(FoldedName(c.a) == FoldedName(c.b), c.equal) << c.a << " vs " << c.b;
  }
}

TEST(IniValues, ReadTheLeadingDecimalNumber) {
  struct Case {
    const char* text;
    int value;
  };
  const Case cases[] = {
      {"0", 0},           {"17", 17},         {"-1", -1},  {"+5", 5},
      {"12abc", 12},      {"abc", 0},         {"", 0},     {"-", 0},
      {"2147483647", INT_MAX}, {"99999999999", INT_MAX}, {"-2147483648", INT_MIN}, {"-99999999999", INT_MIN},
      {"007", 7},
  };
  for (const Case& c : cases) {
    IniDocument doc;
    doc.WriteString("S", "k", c.text);
    EXPECT_EQ(doc.ReadInt("S", "k", 123), c.value) << "\"" << c.text << "\"";
  }
}

TEST_F(IniDocumentTest, WritingAKeyKeepsEverythingElseAndTheLineEnds) {
  WriteFile(HAND_WRITTEN);
  IniDocument doc = LoadDoc();
  doc.WriteString("fast/amls", "LSTP", "-3");     // replaces, whatever the case
  doc.WriteString("Fast", "Cusum", "1");          // appended after the last key
  doc.WriteString("Slow", "AMLS", "1");           // a new section at the end
  EXPECT_TRUE(doc.Modified());
  ASSERT_TRUE(doc.Save(path));
  EXPECT_EQ(ReadFile(),
            "; my presets\r\n"
            "\r\n"
            "[Fast]\r\n"
            "AMLS = 1\r\n"
            "DFT=0\r\n"
            "Cusum=1\r\n"
            "\r\n"
            "[Fast/AMLS]\r\n"
            "  lmin=3\r\n"
            "LSTP=-3\r\n"
            "blkmax=12abc\r\n"
            "; a comment=not a key\r\n"
            "[Faster]\r\n"
            "AMLS=0\r\n"
            "[Faster/AMLS]\r\n"
            "lmin=7\r\n"
            "[Slow]\r\n"
            "AMLS=1\r\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"presets.ini"}) << "no temporary file is left";
}

TEST_F(IniDocumentTest, ANewFileIsWrittenWithLineFeeds) {
  IniDocument doc = LoadDoc();  // missing file: empty document
  EXPECT_TRUE(doc.SectionNames().empty());
  doc.WriteString("A", "x", "1");
  doc.WriteString("A/B", "y", "-2");
  doc.WriteString("A", "z", "3");
  ASSERT_TRUE(doc.Save(path));
  EXPECT_EQ(ReadFile(), "[A]\nx=1\nz=3\n[A/B]\ny=-2\n");
}

TEST_F(IniDocumentTest, DeletingASectionRemovesOnlyThatName) {
  WriteFile(HAND_WRITTEN);
  IniDocument doc = LoadDoc();
  doc.DeleteSection("FAST");
  EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"Fast/AMLS", "Faster", "Faster/AMLS"}));
  EXPECT_EQ(doc.ReadInt("Faster", "AMLS", 9), 0);
  EXPECT_EQ(doc.ReadInt("Fast", "AMLS", 9), 9);
  ASSERT_TRUE(doc.Save(path));
  EXPECT_EQ(LoadDoc().SectionNames(), (std::vector<std::string>{"Fast/AMLS", "Faster", "Faster/AMLS"}));
}

TEST_F(IniDocumentTest, DeletingASectionRemovesEveryCopyOfIt) {
  WriteFile("[A]\nx=1\n[B]\nx=2\n[a]\nx=3\n");
  IniDocument doc = LoadDoc();
  doc.DeleteSection("A");
  EXPECT_EQ(doc.SectionNames(), std::vector<std::string>{"B"});
  IniDocument untouched = LoadDoc();
  untouched.DeleteSection("C");
  EXPECT_FALSE(untouched.Modified());
}

TEST_F(IniDocumentTest, WritingAWholeSectionReplacesItsContent) {
  WriteFile("[A]\nx=1\n; note\ny=2\n[B]\nx=2\n");
  IniDocument doc = LoadDoc();
  doc.WriteSection("a", {{"y", "5"}, {"w", "-6"}});
  doc.WriteSection("C", {{"k", "7"}});
  ASSERT_TRUE(doc.Save(path));
  EXPECT_EQ(ReadFile(), "[A]\ny=5\nw=-6\n[B]\nx=2\n[C]\nk=7\n");
  IniDocument back = LoadDoc();
  EXPECT_EQ(back.ReadInt("A", "x", 99), 99);
  EXPECT_EQ(back.ReadInt("A", "w", 99), -6);
}

TEST_F(IniDocumentTest, AByteOrderMarkIsSkipped) {
  WriteFile("\xEF\xBB\xBF[Fast]\nAMLS=1\n");
  EXPECT_EQ(LoadDoc().SectionNames(), std::vector<std::string>{"Fast"});
}

TEST_F(IniDocumentTest, AByteOrderMarkIsWrittenBackSoASecondOneStaysText) {
  WriteFile("\xEF\xBB\xBF\xEF\xBB\xBF[]\n[Fast]\nAMLS=1\n");
  IniDocument doc = LoadDoc();
  EXPECT_EQ(doc.SectionNames(), std::vector<std::string>{"Fast"});
  doc.WriteString("Fast", "DFT", "0");
  ASSERT_TRUE(doc.Save(path));
  EXPECT_EQ(ReadFile(), "\xEF\xBB\xBF\xEF\xBB\xBF[]\n[Fast]\nAMLS=1\nDFT=0\n");
  EXPECT_EQ(LoadDoc().SectionNames(), std::vector<std::string>{"Fast"});
}

TEST_F(IniDocumentTest, WhateverIsReadASaveAndAReloadGiveBackTheSameSectionsAndKeys) {
  // Inputs of the kinds the fuzz target explores: marks, line ends, section
  // lines that are not quite sections, keys outside sections, NUL bytes.
  const std::string cases[] = {
      HAND_WRITTEN,
      "",
      "\xEF\xBB\xBF\xEF\xBB\xBF[]",
      "\xEF\xBB\xBF",
      "\xEF\xBB\xBF\r\n[a]\nk=v",
      "k=v\n[a]\r\nk = v \r\r\n[A]\nk=w\n",
      "[a]x\n[b]]\n [c] \n[\n[=x\n]=y\n[]\n",
      "\r\n\r\r\n\n[s]\n\rk\r=\rv\r\n",
      std::string("[a]\nk=v\0w\n\0[b]\n", 16),
      "; c\n[a]\n;k=v\n=v\nk=\n  \t=x\n",
      "[a/b]\nx=1\n[a]\ny=2\n[a]\ny=3\n",
  };
  for (const std::string& bytes : cases)
    for (const bool write : {false, true})
      EXPECT_EQ(qvtest::IniRoundTripFailure(bytes, path, write), "") << testing::PrintToString(bytes) << " write " << write;
}

TEST_F(IniDocumentTest, AFileThatCannotBeReadIsReportedAndAFailedSaveChangesNothing) {
  ASSERT_EQ(mkdir(path.c_str(), 0755), 0);  // a folder where the file should be
  IniDocument doc;
  EXPECT_FALSE(doc.Load(path));
  doc.WriteString("A", "x", "1");
  EXPECT_FALSE(doc.Save(path)) << "a folder cannot be replaced by a file";
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(Files(), std::vector<std::string>{"presets.ini"}) << "the temporary file is removed";
  rmdir(path.c_str());

  EXPECT_FALSE(doc.Save(folder + "/missing/presets.ini"));
}

TEST_F(IniDocumentTest, SaveKeepsTheFileMode) {
  WriteFile("[A]\nx=1\n");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  IniDocument doc = LoadDoc();
  doc.WriteString("A", "x", "2");
  ASSERT_TRUE(doc.Save(path));
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}
