// Tests of the command runner with real child processes. The child is this test
// program itself, started with --gtest_filter=RunnerChild.Main and told what to
// do through the environment variable KX_RUNNER_CHILD; it needs no shell and
// behaves the same on Linux and under Wine.
#include "platform/command_runner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/command_text.h"
#include "platform/os.h"
#include "tests/support/files.h"

namespace {

constexpr char kChildVariable[] = "KX_RUNNER_CHILD";
constexpr char kChildMarker[] = "runner-child-output-7d1f";

// The build gives this program's path as CMake knows it. A Windows program run
// under Wine sees the POSIX root as drive Z:.
std::string ProgramPathForPlatform(const std::string& build_path, char separator) {
  if (separator != '\\') return build_path;
  std::string path = build_path;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string ChildCommand() {
  return ProgramPathForPlatform(KX_PLATFORM_TEST_FILE, os::PathSeparator()) +
         " --gtest_filter=RunnerChild.Main";
}

bool IsPosix() { return os::PathSeparator() == '/'; }

// Redirects this process's standard output and error (the descriptors, so
// that children that inherit them would write there too) into a file.
class OutputCapture {
 public:
  explicit OutputCapture(const std::string& path) : path_(path) {
    std::fflush(nullptr);
    file_ = std::fopen(path.c_str(), "wb");
    saved_out_ = dup(1);
    saved_err_ = dup(2);
    dup2(fileno(file_), 1);
    dup2(fileno(file_), 2);
  }
  /// Restores the descriptors and returns what was written meanwhile.
  std::string Finish() {
    std::fflush(nullptr);
    dup2(saved_out_, 1);
    dup2(saved_err_, 2);
    close(saved_out_);
    close(saved_err_);
    std::fclose(file_);
    return ReadFileBytes(path_);
  }

 private:
  std::string path_;
  FILE* file_ = nullptr;
  int saved_out_ = -1;
  int saved_err_ = -1;
};

// Writes down what the runner tells, one line each.
class RecordingReport : public CommandReport {
 public:
  void Starting(const std::string& command_text) override { told += command_text + "\n"; }
  void QuoteRefused(const std::string& argument) override { told += "refused " + argument + "\n"; }
  void InterruptDuringWrite() override { told += "interrupt\n"; }
  std::string told;
};

// Starts nothing: records the command and what the report held at that moment.
class ReportPeekingRunner : public CommandRunner {
 public:
  ReportPeekingRunner(const RecordingReport& report, bool starts, uint32_t code)
      : report_(report), starts_(starts), code_(code) {}
  bool Start(const std::string& command_text, uint32_t* exit_code) override {
    commands.push_back(command_text);
    told_at_start = report_.told;
    *exit_code = 5;  // a runner that fails may leave anything here
    if (!starts_) return false;
    *exit_code = code_;
    return true;
  }
  std::vector<std::string> commands;
  std::string told_at_start;

 private:
  const RecordingReport& report_;
  bool starts_;
  uint32_t code_;
};

class RunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_ = std::make_unique<ScratchDirectory>("runner");
    dir_ = scratch_->path();
  }
  void TearDown() override {
    ClearChildMode();
    scratch_.reset();
  }

  void SetChildMode(const std::string& mode) {
    mode_entry_ = std::string(kChildVariable) + "=" + mode;
    putenv(&mode_entry_[0]);
  }
  // A literal: the C library may keep the pointer it is given.
  void ClearChildMode() { putenv(const_cast<char*>("KX_RUNNER_CHILD=")); }

  // Runs this program as the child in `mode`.
  bool RunChild(const std::string& mode, uint32_t* exit_code) {
    SetChildMode(mode);
    auto runner = MakeProcessRunner();
    bool ran = RunCommand(report_, *runner, ChildCommand(), exit_code);
    ClearChildMode();
    return ran;
  }

  std::unique_ptr<ScratchDirectory> scratch_;
  std::filesystem::path dir_;
  RecordingReport report_;
  std::string mode_entry_;
};

}  // namespace

// The helper child. Skipped unless a runner test started it.
TEST(RunnerChild, Main) {
  const char* mode = std::getenv(kChildVariable);
  if (!mode || !*mode) GTEST_SKIP() << "started only by the runner tests";
  const std::string text = mode;
  const size_t colon = text.find(':');
  const std::string what = text.substr(0, colon);
  const int value = colon == std::string::npos ? 0 : std::atoi(text.c_str() + colon + 1);
  if (what == "exit") std::exit(value);
  if (what == "sleep") {
    std::this_thread::sleep_for(std::chrono::milliseconds(value));
    std::exit(42);
  }
  if (what == "print") {
    std::printf("%s stdout\n", kChildMarker);
    std::fprintf(stderr, "%s stderr\n", kChildMarker);
    std::fflush(nullptr);
    std::exit(0);
  }
  if (what == "signal") {
    std::signal(value, SIG_DFL);
    std::raise(value);
  }
  std::exit(200);  // an unknown mode
}

TEST(RunnerPathTest, WindowsBuildSeesPosixRootAsDriveZ) {
  struct Case {
    const char* path;
    char separator;
    const char* expected;
  } cases[] = {
      {"/work/build/platform/platform_test", '/', "/work/build/platform/platform_test"},
      {"/work/b-win/platform/platform_test.exe", '\\', "Z:\\work\\b-win\\platform\\platform_test.exe"},
      {"C:/build/platform_test.exe", '\\', "C:\\build\\platform_test.exe"},
      {"", '\\', ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ProgramPathForPlatform(c.path, c.separator), c.expected);
  }
}

TEST_F(RunnerTest, CommandIsToldBeforeTheChildStarts) {
  struct Case {
    bool starts;
    uint32_t child_code;
    bool expected_result;
    uint32_t expected_code;
  } cases[] = {
      {true, 0, true, 0},
      {true, 7, true, 7},
      {true, 98, true, 98},  // told apart from a failed start by the result only
      {false, 0, false, 98},
  };
  std::string expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.starts) + " " + std::to_string(c.child_code));
    const std::string command =
        "zadiroz -flashsupport -i 5:0.0 -a fw" + std::to_string(c.child_code) + ".bin";
    ReportPeekingRunner runner(report_, c.starts, c.child_code);
    uint32_t code = 12345;
    EXPECT_EQ(RunCommand(report_, runner, command, &code), c.expected_result);
    EXPECT_EQ(code, c.expected_code);
    ASSERT_EQ(runner.commands, std::vector<std::string>{command});
    expected += command + "\n";
    EXPECT_EQ(runner.told_at_start, expected);
    EXPECT_EQ(report_.told, expected);
  }
}

// A name with a double quote never reaches the tool: the report names it
// instead of the command, and the caller sees a tool that could not start.
TEST_F(RunnerTest, ArgumentWithADoubleQuoteIsNeverPassed) {
  ReportPeekingRunner runner(report_, true, 0);
  uint32_t code = 0;
  const std::string command =
      "zadiroz -flashsupport -i 5:0.0 -a " + QuoteArgument("p3p\" rom.bin");
  EXPECT_FALSE(RunCommand(report_, runner, command, &code));
  EXPECT_EQ(code, kRunnerFailureCode);
  EXPECT_EQ(runner.commands, std::vector<std::string>{});
  EXPECT_EQ(report_.told, "refused p3p\" rom.bin\n");
}

TEST_F(RunnerTest, MissingProgramGivesFalseAnd98AndIsStillTold) {
  const std::string commands[] = {
      "kx-no-such-program-4711 -flashsupport -d fw.bin tempNicList.xml -p3",
      ProgramPathForPlatform((dir_ / "missing-dir" / "zadiroz").string(), os::PathSeparator()) +
          " -flashsupport",
  };
  std::string expected;
  for (const std::string& command : commands) {
    SCOPED_TRACE(command);
    auto runner = MakeProcessRunner();
    uint32_t code = 0;
    EXPECT_FALSE(RunCommand(report_, *runner, command, &code));
    EXPECT_EQ(code, kRunnerFailureCode);
    expected += command + "\n";
    EXPECT_EQ(report_.told, expected);
  }
}

TEST_F(RunnerTest, ChildExitCodeComesBack) {
  for (uint32_t expected : {0u, 3u, 98u, 255u}) {
    SCOPED_TRACE(expected);
    uint32_t code = 12345;
    EXPECT_TRUE(RunChild("exit:" + std::to_string(expected), &code));
    EXPECT_EQ(code, expected);
  }
  // Four runs, four reports, each the whole command text.
  const std::string line = ChildCommand() + "\n";
  EXPECT_EQ(report_.told, line + line + line + line);
}

TEST_F(RunnerTest, ChildKilledBySignalGives128PlusSignal) {
  if (!IsPosix()) GTEST_SKIP() << "Windows has no signals";
  for (int signal : {9, 15}) {
    SCOPED_TRACE(signal);
    uint32_t code = 0;
    EXPECT_TRUE(RunChild("signal:" + std::to_string(signal), &code));
    EXPECT_EQ(code, 128u + static_cast<uint32_t>(signal));
  }
}

TEST_F(RunnerTest, LongRunningChildIsWaitedFor) {
  const auto start = std::chrono::steady_clock::now();
  uint32_t code = 0;
  EXPECT_TRUE(RunChild("sleep:1500", &code));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(code, 42u);  // the code it gives only after its sleep
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 1500);
}

TEST_F(RunnerTest, ChildOutputNeverReachesOurOutput) {
  OutputCapture capture((dir_ / "captured.txt").string());
  // Proves that the capture sees what this process writes.
  std::printf("parent\n");
  uint32_t code = 12345;
  const bool ran = RunChild("print", &code);
  std::string captured = capture.Finish();
  EXPECT_TRUE(ran);
  EXPECT_EQ(code, 0u);  // the child got through its writes
  // The capture file's mode decides the line end; it does not matter here.
  captured.erase(std::remove(captured.begin(), captured.end(), '\r'), captured.end());
  EXPECT_EQ(captured, "parent\n");
  EXPECT_EQ(captured.find(kChildMarker), std::string::npos);
}
