#include "app/startup.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/capture.h"

namespace {

namespace fs = std::filesystem;

constexpr char kChecking[] = "Checking for any other instance of RozAdo tool!\n";
constexpr char kRunning[] =
    "Error: Either another RozAdo tool is already running, or your last session did not close "
    "gracefully. Required to clear the settings!\n";

TEST(IsFlashToolProcessTest, NamesThatShowAFlashTool) {
  struct Case {
    const char* name;
    bool matches;
  } cases[] = {
      {"zadiroz", true},
      {"zadiroz.exe", true},
      {"ZADIROZ.EXE", true},
      {"ZaDiRoZ64.exe", true},
      {"old-zadiroz-1.2", true},
      {"vareviv_x86.exe", true},
      {"my_vareviv_x86.exe.bak", true},
      {"zadiro.exe", false},
      {"vareviv_x86", false},
      {"vareviv_x64.exe", false},
      {"KXVaReviv.exe", false},
      {"e2e_test", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsFlashToolProcess(c.name), c.matches);
  }
}

// The instance check on a scratch temporary directory with a scripted process list.
class VerifyInstanceTest : public CaptureTest {
 protected:
  void SetUp() override {
    CaptureTest::SetUp();
    fs::create_directories(dir_ / "tmp");
    temp_ = (dir_ / "tmp").string() + static_cast<char>(fs::path::preferred_separator);
    lock_ = (dir_ / "tmp" / "rozado_lock_file").string();
    MakeUi();
  }

  bool Verify(bool have_temp = true) {
    listed_ = false;
    return VerifyInstanceWith(
        *ui_, have_temp ? &temp_ : nullptr,
        [this](std::vector<std::string>* names) {
          listed_ = true;
          *names = processes_;
          return list_works_;
        },
        [this](std::string* why) {
          *why = "/srv/zpxsystem: a folder is writable by others";
          return run_lock_;
        });
  }
  void MakeLock() { std::ofstream(lock_) << "locked"; }
  std::string Log() {
    std::string out;
    for (char c : ReadFileBytes(log_)) {
      if (c != '\r') out += c;
    }
    return out;
  }
  // The check writes to the log only: nothing ever reaches the console.
  long ConsoleBytes() {
    fflush(console_);
    return ftell(console_);
  }

  std::string temp_;
  std::string lock_;
  std::vector<std::string> processes_{"init", "bash", "KXVaReviv"};
  bool list_works_ = true;
  bool listed_ = false;
  os::RunLock run_lock_ = os::RunLock::kTaken;
};

TEST_F(VerifyInstanceTest, NoTemporaryDirectoryPasses) {
  EXPECT_TRUE(Verify(false));
  EXPECT_FALSE(listed_);
  EXPECT_EQ(Log(), std::string(kChecking) +
                       "VerifyInstance: No temp directory identified or GetTempPath failed!\n");
}

// The utility's own run lock comes first: another run that holds it refuses
// this one like a running flash tool, before any lock file or process is looked
// at; a lock that cannot be taken refuses it too, saying why.
TEST_F(VerifyInstanceTest, RunLockHeldByAnotherRunRefuses) {
  struct Case {
    os::RunLock run_lock;
    bool goes_on;
    const char* refusal;
  } cases[] = {
      {os::RunLock::kTaken, true, ""},
      {os::RunLock::kUnavailable, false,
       "VerifyInstance: Unable to take the run lock: /srv/zpxsystem: a folder is writable by "
       "others\n"},
      {os::RunLock::kHeldByAnotherRun, false, kRunning},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.run_lock));
    MakeUi();
    const size_t logged = Log().size();
    const size_t shown = Console().size();
    MakeLock();
    run_lock_ = c.run_lock;
    EXPECT_EQ(Verify(), c.goes_on);
    EXPECT_EQ(listed_, c.goes_on);
    EXPECT_EQ(fs::exists(lock_), !c.goes_on);  // a stale lock is cleared only by a run that goes on
    EXPECT_EQ(Log().substr(logged),
              std::string(kChecking) +
                  (c.goes_on ? "Warning: last session did not close gracefully.  Clearing lock.\n"
                             : c.refusal));
    // Only a lock that cannot be taken is told on the console too: its log
    // may be lost for the same reason (an unsound zpxsystem).
    EXPECT_EQ(Console().substr(shown),
              c.run_lock == os::RunLock::kUnavailable ? c.refusal : "");
  }
}

TEST_F(VerifyInstanceTest, NoLockFileLooksAtNoProcess) {
  processes_ = {"zadiroz", "vareviv_x86.exe"};
  EXPECT_TRUE(Verify());
  EXPECT_FALSE(listed_);
  EXPECT_EQ(Log(), kChecking);
}

TEST_F(VerifyInstanceTest, StaleLockIsCleared) {
  MakeLock();
  EXPECT_TRUE(Verify());
  EXPECT_TRUE(listed_);
  EXPECT_FALSE(fs::exists(lock_));
  EXPECT_EQ(Log(), std::string(kChecking) +
                       "Warning: last session did not close gracefully.  Clearing lock.\n");
  EXPECT_EQ(ConsoleBytes(), 0);
}

TEST_F(VerifyInstanceTest, RunningFlashToolRefusesAndKeepsTheLock) {
  for (const char* running : {"zadiroz", "ZADIROZ.EXE", "vareviv_x86.exe"}) {
    SCOPED_TRACE(running);
    MakeLock();
    processes_ = {"init", running, "bash"};
    const size_t before = Log().size();
    EXPECT_FALSE(Verify());
    EXPECT_TRUE(fs::exists(lock_));
    EXPECT_EQ(Log().substr(before), std::string(kChecking) + kRunning);
  }
  EXPECT_EQ(ConsoleBytes(), 0);
}

// Without the whole process list a flash tool may be writing: its lock stays
// and the run does not go on.
TEST_F(VerifyInstanceTest, UnreadableProcessListRefusesAndKeepsTheLock) {
  MakeLock();
  list_works_ = false;
  EXPECT_FALSE(Verify());
  EXPECT_TRUE(fs::exists(lock_));
  EXPECT_EQ(Log(), std::string(kChecking) + "VerifyInstance: Failed to get process details!\n" +
                       "Error: last session did not close gracefully.  Unable to clear lock.\n");
}

TEST_F(VerifyInstanceTest, LockThatCannotBeDeletedRefuses) {
  // A directory under the lock's name exists but cannot be deleted as a file.
  fs::create_directories(lock_);
  EXPECT_FALSE(Verify());
  EXPECT_TRUE(fs::exists(lock_));
  EXPECT_EQ(Log(), std::string(kChecking) +
                       "Error: last session did not close gracefully.  Unable to clear lock.\n");
  EXPECT_EQ(ConsoleBytes(), 0);
}

TEST(CreateFirmwareComponentsTest, OneComponentAndAnEmptySlot) {
  Program program;
  CreateFirmwareComponents(program);
  ASSERT_EQ(program.firmware_components.size(), 2u);
  EXPECT_NE(dynamic_cast<REdeviFirmware*>(program.firmware_components[0].get()), nullptr);
  EXPECT_EQ(program.firmware_components[1], nullptr);
  EXPECT_EQ(program.component_count, 1);
}

}  // namespace
