#include "ui/user_interface.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The line end that text-mode files get on this platform ("\n" or "\r\n").
std::string TextNewline() {
  const auto path = std::filesystem::temp_directory_path() / "kx-ui-newline";
  FILE* f = fopen(path.string().c_str(), "w");
  fputs("\n", f);
  fclose(f);
  std::string newline = ReadAll(path.string());
  std::filesystem::remove(path);
  return newline;
}

// `text` as the log holds it: every "\n" in the platform's line end.
std::string InLog(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? TextNewline() : std::string(1, c);
  return out;
}

std::string ReadConsole(FILE* console) {
  fflush(console);
  rewind(console);
  std::string text;
  char buffer[256];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, console)) > 0) text.append(buffer, n);
  return text;
}

class UserInterfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("kx-ui-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    log_ = (dir_ / "veskor.log").string();
    console_ = tmpfile();
    ASSERT_NE(console_, nullptr);
  }
  void TearDown() override {
    fclose(console_);
    std::filesystem::remove_all(dir_);
  }

  std::unique_ptr<UserInterface> Make() {
    return std::make_unique<UserInterface>(log_, 121, 65, console_, stdin);
  }

  std::filesystem::path dir_;
  std::string log_;
  FILE* console_ = nullptr;
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
    console_ = tmpfile();
    auto ui = Make();
    ui->SetModes(c.silent, c.debug, false);
    ui->Write("W%d", 1);
    ui->Display("D%d", 1);
    ui->Print("P%d", 1);
    ui->Trace("T%d", 1);
    EXPECT_EQ(ReadConsole(console_), c.console);
    EXPECT_EQ(ReadAll(log_), c.log);
  }
}

TEST_F(UserInterfaceTest, TraceNeedsAnOpenLog) {
  auto ui = Make();
  ui->SetModes(false, true, false);
  ui->Trace("before");
  ui->Write("opened;");
  ui->Trace("after");
  EXPECT_EQ(ReadAll(log_), "opened;after");
}

TEST_F(UserInterfaceTest, ReadyTextIsNeverAFormat) {
  auto ui = Make();
  ui->Print(std::string("100% %s %n done\n"));
  std::ostringstream stream;
  stream << "stream %d\n";
  ui->Print(stream);
  EXPECT_EQ(ReadConsole(console_), "100% %s %n done\nstream %d\n");
  EXPECT_EQ(ReadAll(log_), InLog("100% %s %n done\nstream %d\n"));
}

TEST_F(UserInterfaceTest, LogIsAppendedNeverTruncated) {
  { std::ofstream(log_, std::ios::binary) << "earlier run\n"; }
  Make()->Write("first\n");
  Make()->Print("second\n");
  EXPECT_EQ(ReadAll(log_), "earlier run\n" + InLog("first\nsecond\n"));
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
    console_ = tmpfile();
    auto ui = Make();
    OnceMessage once;
    once.channel = c.channel;
    ShowOnce(once, *ui, "m%d", 7);
    ShowOnce(once, *ui, "m%d", 8);
    EXPECT_TRUE(once.shown);
    EXPECT_EQ(ReadConsole(console_), c.console);
    EXPECT_EQ(ReadAll(log_), c.log);
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
