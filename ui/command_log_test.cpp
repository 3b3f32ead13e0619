#include "ui/command_log.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/capture.h"

namespace {

// Starts nothing: records what the log held when the child would have started.
class LogPeekingRunner : public CommandRunner {
 public:
  explicit LogPeekingRunner(std::string log_path) : log_path_(std::move(log_path)) {}
  bool Start(const std::string&, uint32_t* exit_code) override {
    log_at_start.push_back(ReadTextFile(log_path_));
    *exit_code = 0;
    return true;
  }
  std::vector<std::string> log_at_start;

 private:
  std::string log_path_;
};

class CommandLogTest : public CaptureTest {};

// Where a person finds what the runner did: the command in the log before its
// child starts, a refused argument in the log, an interrupt on both channels.
TEST_F(CommandLogTest, TellsTheLogAndTheConsole) {
  UserInterface& ui = MakeUi();
  CommandLog log(ui);
  LogPeekingRunner runner(log_);
  uint32_t code = 12345;

  const std::string list = "zadiroz -flashsupport -d fw.bin tempNicList.xml -p3";
  EXPECT_TRUE(RunCommand(log, runner, list, &code));
  const std::string listed = list + "\n";
  ASSERT_EQ(runner.log_at_start, std::vector<std::string>{listed});

  const std::string quoted = "zadiroz -flashsupport -i 5:0.0 -a \"p3p\\\" rom.bin\"";
  EXPECT_FALSE(RunCommand(log, runner, quoted, &code));
  const std::string refused =
      "Error: p3p\" rom.bin holds a double quote; it is not passed to the flash tool.\n";
  EXPECT_EQ(Log(), listed + refused);
  EXPECT_EQ(Console(), "");

  log.InterruptDuringWrite();
  const std::string notice =
      "\nInterrupt received: a firmware write is in progress. The run will stop after it.\n";
  EXPECT_EQ(Log(), listed + refused + notice);
  EXPECT_EQ(Console(), notice);
}

}  // namespace
