#include "engine/Helpers.h"

#include <gtest/gtest.h>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>
#include <thread>

#include <unistd.h>

#include "battery/RunState.h"
#include "engine/support/MessageCapture.h"
#include "platform/DynamicLibrary.h"
#include "platform/ThreadClock.h"

namespace {

void SetDigits(int digits) {
  pvalueDigits = digits;
  pvalueFixedMin = std::pow(10.0, 1 - digits);
}

struct PValueCase {
  int digits;
  double p;
  const char* text;
};

}  // namespace

TEST(FormatPValue, EveryFormByTheFirstRuleThatMatches) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const PValueCase cases[] = {
      {4, 1.0, "1.0000"},
      {4, 0.5, "0.5000"},
      {4, 0.001, "0.0010"},  // exactly the fixed minimum: still fixed
      {4, 0.00099999, "1e-03"},
      {4, 0.00042, "4e-04"},
      {4, 1e-300, "1e-300"},
      {4, 0.0, "     0"},
      {4, PVALUE_FAIL, " fail"},
      {4, PVALUE_SHORT, " short"},
      {4, -0.5, "-5e-01"},
      {4, nan, "nan"},  // a NaN fails every comparison: fixed form
      {3, 0.25, "0.250"},
      {3, 0.01, "0.010"},
      {3, 0.005, "5e-03"},
      {3, 0.0, "    0"},
      {5, 0.0001, "0.00010"},
      {5, 0.0000123, "1e-05"},
      {6, 0.00000123, "1.2e-06"},
      {7, 0.000001, "0.0000010"},
      {7, 0.000000123456, "1.23e-07"},
      {7, 1.0, "1.0000000"},
      {7, 0.0, "        0"},
  };
  for (const PValueCase& c : cases) {
    SetDigits(c.digits);
    EXPECT_STREQ(FormatPValue(c.p), c.text) << "digits " << c.digits << ", p " << c.p;
  }
}

TEST(FormatPValue, TwoResultsLiveAtOnceAndTheThirdReusesTheFirstBuffer) {
  SetDigits(4);
  const char* first = FormatPValue(0.5);
  const char* second = FormatPValue(0.25);
  EXPECT_NE(first, second);
  EXPECT_STREQ(first, "0.5000");
  EXPECT_STREQ(second, "0.2500");
  const char* third = FormatPValue(0.125);
  EXPECT_EQ(third, first);
  EXPECT_STREQ(first, "0.1250");
  EXPECT_STREQ(second, "0.2500");
}

TEST(FormatDuration, RoundsAndWritesTheLargestUnitsFirst) {
  struct {
    int decimals;
    double seconds;
    const char* text;
  } const cases[] = {
      {0, 0.0, " 0s"},
      {0, 5.0, " 5s"},
      {0, 13.0, "13s"},
      {0, 59.4, "59s"},
      {0, 59.6, " 1m  0s"},
      {0, 61.0, " 1m  1s"},
      {0, 62.0, " 1m  2s"},
      {0, 3599.5, " 1h  0m"},
      {0, 3725.0, " 1h  2m"},
      {0, 360000.0, "100h  0m"},
      {2, 0.004, "0:00:00.00"},
      {2, 0.005, "0:00:00.01"},
      {2, 59.999, "0:01:00.00"},
      {2, 3660.0, "1:01:00.00"},
      {2, 3725.256, "1:02:05.26"},
      {1, 0.05, "0:00:00.1"},
      {3, 7.0006, "0:00:07.001"},
  };
  char buffer[FORMAT_DURATION_SIZE];
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDuration(buffer, c.decimals, c.seconds), buffer);
    EXPECT_STREQ(buffer, c.text) << c.seconds << " s with " << c.decimals << " decimals";
  }
}

// Read back, every text names the rounded duration, with minutes and
// seconds below 60: splitting a rounded count in floating point would lose
// a unit now and then.
TEST(FormatDuration, TextReadsBackAsTheRoundedDuration) {
  char buffer[FORMAT_DURATION_SIZE];
  for (int hundredths = 0; hundredths < 2 * 360000; hundredths += 3) {
    FormatDuration(buffer, 2, hundredths / 100.0);
    int h = -1, m = -1, s = -1, cs = -1;
    ASSERT_EQ(sscanf(buffer, "%d:%2d:%2d.%2d", &h, &m, &s, &cs), 4) << buffer;
    ASSERT_LT(m, 60) << buffer;
    ASSERT_LT(s, 60) << buffer;
    ASSERT_EQ(((h * 60 + m) * 60 + s) * 100 + cs, hundredths) << buffer;
  }
  for (int seconds = 0; seconds < 3600; ++seconds) {
    FormatDuration(buffer, 0, seconds);
    int m = 0, s = -1;
    if (seconds >= 60) {
      ASSERT_EQ(sscanf(buffer, "%dm %ds", &m, &s), 2) << buffer;
    } else {
      ASSERT_EQ(sscanf(buffer, "%ds", &s), 1) << buffer;
    }
    ASSERT_LT(s, 60) << buffer;
    ASSERT_EQ(m * 60 + s, seconds) << buffer;
  }
}

namespace {
// Works until the calling thread's own CPU clock has moved by `seconds`
// (the bound on the work only keeps a clock that never moves from hanging).
void Work(double seconds) {
  const double start = platform::CurrentThreadCpuSeconds();
  volatile double x = 0;
  for (long round = 0; round < 100000000L && platform::CurrentThreadCpuSeconds() < start + seconds; ++round)
    for (int i = 0; i < 1000; ++i) x = x + std::sqrt(x + 1.0);
}
}  // namespace

// What holds on any machine, however loaded: a thread's clock is its own
// CPU clock in seconds, it moves with the thread's own work, and it stops
// when the thread has ended, whatever the reader does.
TEST(ThreadCpuSeconds, ReadsTheClockAndGivesMinusOneWhenItCannot) {
  platform::ThreadClock* clock = platform::OpenCurrentThreadClock();
  ASSERT_NE(clock, nullptr);
  const double first = platform::CurrentThreadCpuSeconds();
  const double read = ThreadCpuSeconds(clock);
  const double last = platform::CurrentThreadCpuSeconds();
  EXPECT_LE(first, read);
  EXPECT_LE(read, last);
  Work(0.01);
  EXPECT_GE(ThreadCpuSeconds(clock), read + 0.01) << "the thread's own work must show on its clock";

  platform::ThreadClock* other = nullptr;
  double itsWork = 0;
  std::thread([&] {
    other = platform::OpenCurrentThreadClock();
    const double start = platform::CurrentThreadCpuSeconds();
    Work(0.01);
    itsWork = platform::CurrentThreadCpuSeconds() - start;
  }).join();
  ASSERT_NE(other, nullptr);
  const double ended = ThreadCpuSeconds(other);
  EXPECT_GE(itsWork, 0.01);
  EXPECT_GE(ended, itsWork);
  Work(0.01);
  EXPECT_EQ(ThreadCpuSeconds(other), ended) << "an ended thread's clock holds its last reading";
  platform::CloseThreadClock(other);
  platform::CloseThreadClock(clock);
  EXPECT_EQ(ThreadCpuSeconds(nullptr), -1.0);
}

TEST(ShowDllLoadError, ShowsTheLoadersReasonInTheErrorBox) {
  const std::string missing = "/nonexistent-folder/NoSuchPlugin.so";
  char folder[] = "/tmp/qv_dllerror_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string notElf = std::string(folder) + "/NotALibrary.so";
  FILE* file = fopen(notElf.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  fputs("this is no shared library, only some text long enough for a header\n", file);
  fclose(file);

  struct {
    std::string path;
    int code;
    const char* reason;
  } const cases[] = {
      {missing, ENOENT, "No such file"},
      {notElf, ENOEXEC, "ELF"},
  };
  for (const auto& c : cases) {
    MessageCapture capture;
    ASSERT_EQ(platform::LoadDynamicLibrary(c.path.c_str()), nullptr) << c.path;
    ShowDllLoadError();
    ASSERT_EQ(capture.Boxes().size(), 1u);
    const CapturedBox& box = capture.Boxes()[0];
    const wxString start = wxString::Format("ERROR while loading the DLL.\n\nFailed with error %d: ", c.code);
    EXPECT_TRUE(box.text.StartsWith(start)) << box.text;
    EXPECT_EQ(box.text.Mid(start.length()), wxString::FromUTF8(platform::LoadErrorText().c_str()));
    EXPECT_NE(box.text.Find(wxString::FromUTF8(c.path.c_str())), wxNOT_FOUND) << box.text;
    EXPECT_NE(box.text.Find(c.reason), wxNOT_FOUND) << box.text;
    EXPECT_EQ(box.caption, "Quorvane_MT");
    EXPECT_TRUE(box.style & wxICON_ERROR);
    EXPECT_TRUE(box.style & wxOK);
  }
  remove(notElf.c_str());
  rmdir(folder);
}
