// The preferences file as bytes: a fixture written field by field from the
// file layout, the smallest valid file, and every way a file can be unsound.
#include <gtest/gtest.h>

#include "support/DataFolder.h"
#include "support/PrefsFixture.h"
#include "ui/Prefs.h"

namespace {

// A record that differs from the defaults and from the fixture everywhere,
// so that "untouched" can be seen.
PrefsRecord Sentinel() {
  PrefsRecord r;
  r.presetName = "sentinel";
  r.rowHeight = 77;
  r.files = {"keep"};
  return r;
}

bool Decodes(const std::vector<unsigned char>& f, PrefsRecord& out) { return DecodePrefs(f.data(), f.size(), out); }

}  // namespace

TEST(PrefsRecordBytes, TheFixtureDecodesToEveryField) {
  PrefsRecord decoded;
  ASSERT_TRUE(DecodePrefs(FIXTURE, FIXTURE_LENGTH, decoded));
  ExpectEqual(decoded, FixtureRecord());
}

TEST(PrefsRecordBytes, TheWriterProducesTheFixtureByteForByte) {
  EXPECT_EQ(EncodePrefs(FixtureRecord()), Fixture());
}

TEST(PrefsRecordBytes, TheSmallestFileIs99BytesBothWays) {
  const std::vector<unsigned char> smallest = SmallestFile();
  ASSERT_EQ(smallest.size(), static_cast<size_t>(PREFS_MIN_LENGTH));
  PrefsRecord decoded = Sentinel();
  ASSERT_TRUE(Decodes(smallest, decoded));
  EXPECT_EQ(decoded.presetName, "");
  EXPECT_TRUE(decoded.files.empty());
  EXPECT_EQ(decoded.seqCount, 1);
  for (const PrefsRow& row : decoded.rows) EXPECT_EQ(row.slot, PREFS_NO_SLOT);
  EXPECT_EQ(EncodePrefs(decoded), smallest);
}

TEST(PrefsRecordBytes, TextsRoundTripAndUnstorableOnesBecomeEmpty) {
  PrefsRecord r = FixtureRecord();
  r.presetName = wxString::FromUTF8("Pr\xC3\xA9r\xC3\xA9glage \xE2\x82\xAC");
  r.files = {wxString("with\0nul", 8), "", wxString::FromUTF8("/home/\xC3\xBC/x.so")};
  PrefsRecord back;
  ASSERT_TRUE(Decodes(EncodePrefs(r), back));
  EXPECT_EQ(back.presetName, r.presetName);
  EXPECT_EQ(back.files, (std::vector<wxString>{"", "", r.files[2]}));
}

TEST(PrefsRecordBytes, AtMost255InputFilesAreStoredTheFirstOnes) {
  PrefsRecord r = FixtureRecord();
  r.files.clear();
  for (int i = 0; i < 300; ++i) r.files.push_back(wxString::Format("f%d", i));
  PrefsRecord back;
  ASSERT_TRUE(Decodes(EncodePrefs(r), back));
  ASSERT_EQ(back.files.size(), 255u);
  EXPECT_EQ(back.files.front(), "f0");
  EXPECT_EQ(back.files.back(), "f254");
}

TEST(PrefsRecordBytes, AChecksumErrorIsRefused) {
  for (size_t at : {size_t{0}, size_t{3}, size_t{4}, size_t{27}, FIXTURE_LENGTH - 1}) {
    std::vector<unsigned char> f = Fixture();
    f[at] ^= 0x01;
    PrefsRecord out = Sentinel();
    EXPECT_FALSE(Decodes(f, out)) << "byte " << at;
    EXPECT_EQ(out.presetName, "sentinel");
  }
}

TEST(PrefsRecordBytes, AFileCutAnywhereIsRefused) {
  // Every length short of the whole, each with a valid checksum of what is
  // left: cuts inside the name, inside a file entry, inside the rows.
  for (size_t length = 0; length < FIXTURE_LENGTH; ++length) {
    std::vector<unsigned char> f(FIXTURE, FIXTURE + length);
    if (length >= 4) Reseal(f);
    PrefsRecord out = Sentinel();
    EXPECT_FALSE(Decodes(f, out)) << "length " << length;
    EXPECT_EQ(out.rowHeight, 77);
  }
}

TEST(PrefsRecordBytes, AStringWithoutItsEndIsRefused) {
  // The last entry's NUL and everything after it replaced by text: the
  // string would run past the end of the buffer.
  std::vector<unsigned char> f(FIXTURE, FIXTURE + AT_FILE0 + 12 + 4);
  f.insert(f.end(), 40, 'x');
  Reseal(f);
  PrefsRecord out = Sentinel();
  EXPECT_FALSE(Decodes(f, out));
  EXPECT_EQ(out.files, std::vector<wxString>{"keep"});
}

TEST(PrefsRecordBytes, BytesAfterTheRecordAreRefused) {
  std::vector<unsigned char> f = Fixture();
  f.push_back(0);
  Reseal(f);
  PrefsRecord out = Sentinel();
  EXPECT_FALSE(Decodes(f, out));
}

TEST(PrefsRecordBytes, EachValueOutOfItsRangeIsRefusedAndEachLimitAccepted) {
  struct Case {
    const char* what;
    size_t at;
    std::vector<unsigned char> bytes;
    bool sound;
  };
  const Case cases[] = {
      {"autohide 2", AT_AUTOHIDE, {2}, false},
      {"Seq. len. -1", AT_SEQLEN, {0xFF, 0xFF, 0xFF, 0xFF}, false},
      {"Seq. len. 1000000000", AT_SEQLEN, {0x00, 0xCA, 0x9A, 0x3B}, false},
      {"Seq. len. 999999999", AT_SEQLEN, {0xFF, 0xC9, 0x9A, 0x3B}, true},
      {"Seq. len. 0", AT_SEQLEN, {0, 0, 0, 0}, true},
      {"unit 3", AT_UNIT, {3}, false},
      {"unit 2", AT_UNIT, {2}, true},
      {"Seq. to test 0", AT_SEQCOUNT, {0, 0}, false},
      {"Seq. to test 10000", AT_SEQCOUNT, {0x10, 0x27}, false},
      {"Load 255", AT_LOAD, {255}, false},
      {"preset name not UTF-8", 26, {0xFF}, false},
      {"file entry not UTF-8", AT_FILE0 + 1, {0xC3}, false},
      {"digits 2", AT_DIGITS, {2}, false},
      {"digits 8", AT_DIGITS, {8}, false},
      {"digits 3", AT_DIGITS, {3}, true},
      {"digits 7", AT_DIGITS, {7}, true},
      {"priority 2", AT_PRIORITY, {2}, false},
      {"threads 0", AT_THREADS, {0}, false},
      {"threads 31", AT_THREADS, {31}, false},
      {"threads 30", AT_THREADS, {30}, true},
      {"slot 27", AT_ROWS + 6, {27}, false},
      {"slot 29", AT_ROWS + 6, {29}, false},
      {"slot 26 (AQL)", AT_ROWS + 6, {26}, true},
      {"slot 31 (no test)", AT_ROWS + 6, {31}, true},
      {"slot 255 (no test)", AT_ROWS + 6, {255}, true},
      {"slot 0 twice", AT_ROWS + 6, {0}, false},
      {"no test twice", AT_ROWS, {30}, true},
      {"tick 2", AT_ROWS + 1, {2}, false},
      {"sort Table 2", AT_SORT, {2}, false},
      {"two sort radios", AT_SORT + 1, {1}, false},
      {"sort Pearson 7", AT_SORT + 6, {7}, false},
      {"row height 1", AT_ROWHEIGHT, {1}, false},
      {"row height 100", AT_ROWHEIGHT, {100}, false},
      {"row height 99", AT_ROWHEIGHT, {99}, true},
      {"row height 2", AT_ROWHEIGHT, {2}, true},
  };
  for (const Case& c : cases) {
    std::vector<unsigned char> f = Fixture();
    std::copy(c.bytes.begin(), c.bytes.end(), f.begin() + static_cast<std::ptrdiff_t>(c.at));
    Reseal(f);
    PrefsRecord out = Sentinel();
    EXPECT_EQ(Decodes(f, out), c.sound) << c.what;
    if (!c.sound) {
      EXPECT_EQ(out.presetName, "sentinel") << c.what << ": nothing may be taken";
    }
  }
}

namespace {

struct PrefsFileTest : DataFolderTest {
  wxString path;
  void SetUp() override {
    DataFolderTest::SetUp();
    path = PrefsPath();
  }
  void TearDown() override {
    for (long style : boxStyles) EXPECT_EQ(style, wxOK | wxICON_WARNING);
    DataFolderTest::TearDown();
  }
  void WriteBytes(const std::vector<unsigned char>& bytes) const {
    WriteFile("prefs.bin", std::string(bytes.begin(), bytes.end()));
  }
  std::vector<unsigned char> ReadBytes() const {
    const std::string data = ReadFile("prefs.bin");
    return std::vector<unsigned char>(data.begin(), data.end());
  }
};

}  // namespace

TEST_F(PrefsFileTest, AMissingFileSaysNothing) {
  PrefsRecord out = Sentinel();
  EXPECT_FALSE(ReadPrefsFile(path, out));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(out.presetName, "sentinel");
}

TEST_F(PrefsFileTest, AnUnsoundFileGivesTheCorruptedMessage) {
  std::vector<unsigned char> f = Fixture();
  f[AT_THREADS] = 99;
  Reseal(f);
  for (const auto& bytes : {f, std::vector<unsigned char>{1, 2, 3}, std::vector<unsigned char>{}}) {
    boxes.clear();
    WriteBytes(bytes);
    PrefsRecord out = Sentinel();
    EXPECT_FALSE(ReadPrefsFile(path, out));
    EXPECT_EQ(boxes, std::vector<wxString>{"The preferences file is corrupted.\nThe default settings will be used."})
        << bytes.size() << " bytes";
    EXPECT_EQ(out.presetName, "sentinel");
  }
}

TEST_F(PrefsFileTest, AFolderOfThatNameCountsAsNoFile) {
  ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  PrefsRecord out = Sentinel();
  EXPECT_FALSE(ReadPrefsFile(path, out));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(out.presetName, "sentinel");
  rmdir(path.c_str());
}

TEST_F(PrefsFileTest, WritingReplacesTheFileWholeAndReadsBack) {
  WriteBytes({1, 2, 3});
  ASSERT_TRUE(WritePrefsFile(path, FixtureRecord()));
  EXPECT_EQ(ReadBytes(), Fixture());
  EXPECT_EQ(Files(), std::vector<std::string>{"prefs.bin"}) << "no temporary file is left";
  PrefsRecord back;
  ASSERT_TRUE(ReadPrefsFile(path, back));
  ExpectEqual(back, FixtureRecord());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(PrefsFileTest, AFolderThatCannotTakeTheFileKeepsTheOldOneAndSaysSo) {
  const wxString missing = wxString(folder) + "/no such folder/prefs.bin";
  EXPECT_FALSE(WritePrefsFile(missing, FixtureRecord()));
  EXPECT_EQ(boxes,
            std::vector<wxString>{"Error while saving the preferences.\nThe old preferences file will be restored."});

  // A folder standing where the file should be cannot be replaced.
  ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  boxes.clear();
  EXPECT_FALSE(WritePrefsFile(path, FixtureRecord()));
  EXPECT_EQ(boxes.size(), 1u);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(Files(), std::vector<std::string>{"prefs.bin"}) << "the temporary file is discarded";
  rmdir(path.c_str());
}

TEST(PrefsWindowRect, IsCorrectedWhenOffEveryDisplayTooSmallOrLargerThanItsDisplay) {
  const std::vector<wxRect> displays = {wxRect(0, 0, 1920, 1080), wxRect(1920, 0, 1280, 1024)};
  const wxSize standard(1030, 830);
  struct Case {
    const char* what;
    wxRect stored;
    wxRect expected;
  };
  const Case cases[] = {
      {"on the first display", {10, 20, 1200, 900}, {10, 20, 1200, 900}},
      {"on the second display", {2000, 100, 800, 600}, {2000, 100, 800, 600}},
      {"partly off, title bar on", {-300, -5, 1000, 700}, {-300, -5, 1000, 700}},
      {"right of every display", {5000, 100, 800, 600}, {560, 240, 800, 600}},
      {"above every display", {100, -2000, 800, 600}, {560, 240, 800, 600}},
      {"far out in 32 bits", {2147483000, 2147483000, 800, 600}, {560, 240, 800, 600}},
      {"too narrow", {10, 20, 399, 900}, {10, 20, 1030, 830}},
      {"too low", {10, 20, 900, 299}, {10, 20, 1030, 830}},
      {"negative size, off", {-5000, 20, -1, -1}, {445, 125, 1030, 830}},
      {"the smallest usable", {10, 20, 400, 300}, {10, 20, 400, 300}},
      {"larger than the display, off", {4000, 0, 3000, 2000}, {0, 0, 1920, 1080}},
      {"larger than the display, title bar on", {100, 50, 3000, 2000}, {100, 50, 1920, 1080}},
      {"too wide for the second display", {2000, 100, 1500, 900}, {2000, 100, 1280, 900}},
      {"too tall, on the first display", {10, 20, 1200, 5000}, {10, 20, 1200, 1080}},
      {"40000 x 40000", {0, 0, 40000, 40000}, {0, 0, 1920, 1080}},
      {"the largest 32-bit size", {10, 20, 2147483647, 2147483647}, {0, 0, 1920, 1080}},
  };
  for (const Case& c : cases) EXPECT_EQ(CorrectWindowRect(c.stored, displays, standard), c.expected) << c.what;
}
