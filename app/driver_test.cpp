#include "app/driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

#include "tests/support/capture.h"

namespace {

TEST(AsctimeTextTest, PadsTheDayWithZero) {
  struct Case {
    int wday, mon, mday, hour, min, sec, year;
    const char* text;
  } cases[] = {
      {2, 11, 8, 4, 4, 44, 126, "Tue Dec 08 04:04:44 2026\n"},
      {0, 0, 31, 23, 59, 59, 100, "Sun Jan 31 23:59:59 2000\n"},
      {6, 5, 1, 0, 0, 0, 70, "Sat Jun 01 00:00:00 1970\n"},
  };
  for (const Case& c : cases) {
    struct tm time = {};
    time.tm_wday = c.wday;
    time.tm_mon = c.mon;
    time.tm_mday = c.mday;
    time.tm_hour = c.hour;
    time.tm_min = c.min;
    time.tm_sec = c.sec;
    time.tm_year = c.year;
    EXPECT_EQ(AsctimeText(time), c.text);
    EXPECT_EQ(AsctimeText(time).size(), 25u);
  }
}

class GuardTest : public CaptureTest {
 protected:
  void SetUp() override {
    CaptureTest::SetUp();
    MakeUi();
  }
  // The log as written, line ends and all.
  std::string Log() { return ReadFileBytes(log_); }
};

TEST_F(GuardTest, ModeCodePassesThrough) {
  EXPECT_EQ(RunGuarded(*ui_, [] { return 4; }), 4);
  EXPECT_EQ(Log(), "");
}

TEST_F(GuardTest, StandardExceptionAddsItsText) {
  EXPECT_EQ(RunGuarded(*ui_, []() -> int { throw std::runtime_error("disk 100% gone"); }), 0);
  EXPECT_EQ(Log(), Native("An unexpected error has occurred.  Firmware update will not be completed.\n"
            "disk 100% gone"));
}

TEST_F(GuardTest, OtherExceptionGivesTheMessageAlone) {
  EXPECT_EQ(RunGuarded(*ui_, []() -> int { throw 7; }), 0);
  EXPECT_EQ(Log(), Native("An unexpected error has occurred.  Firmware update will not be completed.\n"));
}

TEST_F(GuardTest, EchoCommandLineWritesEveryArgument) {
  char a0[] = "prog", a1[] = "-s", a2[] = "100%d";
  char* argv[] = {a0, a1, a2};
  EchoCommandLine(*ui_, 3, argv);
  EXPECT_EQ(Log(), Native("Command line supplied:\n\tprog -s 100%d \n"));
}

}  // namespace
