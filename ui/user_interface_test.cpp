#include "ui/user_interface.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/capture.h"

namespace {

class UserInterfaceTest : public CaptureTest {
 protected:
  std::unique_ptr<UserInterface> Make() {
    return std::make_unique<UserInterface>(log_, 121, 65, console_, stdin);
  }
};

// Each channel under each combination of the silent and debug switches.
TEST_F(UserInterfaceTest, ChannelsFollowSilentAndDebug) {
  struct Case {
    bool silent, debug;
    const char* console;
    const char* log;
  } cases[] = {
      {false, false, "D1P1", "W1P1"},
      {false, true, "D1P1", "W1P1T1"},
      {true, false, "", "W1P1"},
      {true, true, "", "W1P1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "silent=" << c.silent << " debug=" << c.debug);
    std::filesystem::remove(log_);
    fclose(console_);
    console_ = OpenScratchFile(dir_);
    auto ui = Make();
    ui->SetModes(c.silent, c.debug, false);
    ui->Write("W%d", 1);
    ui->Display("D%d", 1);
    ui->Print("P%d", 1);
    ui->Trace("T%d", 1);
    EXPECT_EQ(ReadConsole(console_), c.console);
    EXPECT_EQ(ReadFileBytes(log_), c.log);
  }
}

TEST_F(UserInterfaceTest, TraceNeedsAnOpenLog) {
  auto ui = Make();
  ui->SetModes(false, true, false);
  ui->Trace("before");
  ui->Write("opened;");
  ui->Trace("after");
  EXPECT_EQ(ReadFileBytes(log_), "opened;after");
}

TEST_F(UserInterfaceTest, ReadyTextIsNeverAFormat) {
  auto ui = Make();
  ui->Print(std::string("100% %s %n done\n"));
  std::ostringstream stream;
  stream << "stream %d\n";
  ui->Print(stream);
  EXPECT_EQ(ReadConsole(console_), "100% %s %n done\nstream %d\n");
  EXPECT_EQ(ReadFileBytes(log_), Native("100% %s %n done\nstream %d\n"));
}

TEST_F(UserInterfaceTest, LogIsAppendedNeverTruncated) {
  { std::ofstream(log_, std::ios::binary) << "earlier run\n"; }
  Make()->Write("first\n");
  Make()->Print("second\n");
  EXPECT_EQ(ReadFileBytes(log_), "earlier run\n" + Native("first\nsecond\n"));
}

TEST_F(UserInterfaceTest, UnopenableLogLosesOnlyTheLogPart) {
  UserInterface ui((dir_ / "missing" / "veskor.log").string(), 121, 65, console_, stdin);
  ui.SetModes(false, true, false);
  ui.Print("shown\n");
  ui.Write("lost\n");
  EXPECT_EQ(ReadConsole(console_), "shown\n");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
}

TEST_F(UserInterfaceTest, ShowOnceUsesItsChannelOnce) {
  struct Case {
    int32_t channel;
    const char* console;
    const char* log;
  } cases[] = {{OnceMessage::kPrint, "m7", "m7"}, {OnceMessage::kDisplay, "m7", ""}, {1, "", "m7"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.channel);
    std::filesystem::remove(log_);
    fclose(console_);
    console_ = OpenScratchFile(dir_);
    auto ui = Make();
    OnceMessage once;
    once.channel = c.channel;
    ShowOnce(once, *ui, "m%d", 7);
    ShowOnce(once, *ui, "m%d", 8);
    EXPECT_TRUE(once.shown);
    EXPECT_EQ(ReadConsole(console_), c.console);
    EXPECT_EQ(ReadFileBytes(log_), c.log);
  }
}

TEST_F(UserInterfaceTest, ShowOnceCutsAt255Characters) {
  auto ui = Make();
  OnceMessage once;
  const std::string long_text(300, 'x');
  ShowOnce(once, *ui, "%s", long_text.c_str());
  EXPECT_EQ(ReadConsole(console_), std::string(255, 'x'));
}

TEST(FormatStringTest, FormatsLongTexts) {
  const std::string long_text(5000, 'y');
  EXPECT_EQ(FormatString("<%s|%d>", long_text.c_str(), 42), "<" + long_text + "|42>");
  EXPECT_EQ(FormatString("%s", ""), "");
}

}  // namespace
