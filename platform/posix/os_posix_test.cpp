// Tests of what only the POSIX side of the operating-system layer does.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/os.h"
#include "tests/support/files.h"

namespace {

// A file that is found and executable but that exec refuses (no known format,
// no "#!" line) never ran: "could not start", not an exit code of its own.
TEST(OsPosixTest, ProgramThatExecRefusesCannotStart) {
  std::string dir;
  ASSERT_TRUE(os::TempDirectory(&dir));
  const std::string path = dir + "kx-not-a-program-" + std::to_string(getpid());
  {
    std::ofstream out(path, std::ios::binary);
    out << "neither a program nor a script\n";
  }
  ASSERT_EQ(chmod(path.c_str(), 0755), 0);

  uint32_t code = 12345;
  EXPECT_FALSE(os::StartAndWait(path + " -x", &code));
  EXPECT_EQ(code, 12345u);
  // A program that runs and fails is a different thing: its exit code comes back.
  EXPECT_TRUE(os::StartAndWait("/bin/false", &code));
  EXPECT_EQ(code, 1u);
  EXPECT_TRUE(os::RemoveFile(path));
}

// The log is opened only through a path that no one else controls; the cases
// that the end-to-end fault matrix does not show.
TEST(OsPosixTest, LogOpensOnlyThroughATrustworthyPath) {
  namespace fs = std::filesystem;
  struct Case {
    const char* name;
    void (*arrange)(const fs::path& log_folder);
    bool opens;
  } cases[] = {
      {"sound", [](const fs::path&) {}, true},
      {"zpxsystem writable by all with the sticky bit",
       [](const fs::path& log) { chmod(log.parent_path().c_str(), 01777); }, true},
      {"log writable by the group", [](const fs::path& log) { chmod(log.c_str(), 0775); }, false},
      {"a second hard link elsewhere",
       [](const fs::path& log) {
         WriteFileBytes(log / "veskor.log", "earlier\n");
         fs::create_hard_link(log / "veskor.log", log.parent_path().parent_path() / "other");
       },
       false},
      // A pipe would stall the run until someone read it.
      {"a pipe", [](const fs::path& log) { mkfifo((log / "veskor.log").c_str(), 0644); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScratchDirectory drive("log-path");
    const fs::path log = drive.path() / "zpxsystem" / "log";
    fs::create_directories(log);
    chmod(log.parent_path().c_str(), 0755);
    chmod(log.c_str(), 0755);
    c.arrange(log);
    std::FILE* file = os::OpenLogForAppend((log / "veskor.log").string(), false);
    EXPECT_EQ(file != nullptr, c.opens);
    if (file != nullptr) {
      const std::string before = ReadFileBytes(log / "veskor.log");
      std::fputs("line\n", file);
      std::fclose(file);
      EXPECT_EQ(ReadFileBytes(log / "veskor.log"), before + "line\n");
    }
  }
}

TEST(OsPosixTest, LogFoldersAreMadeWithMode0755) {
  const ScratchDirectory drive("log-folders");
  const std::string system_folder = (drive.path() / "zpxsystem").string();
  const mode_t old_mask = umask(0);  // the mode must not depend on the caller's mask
  std::FILE* file = os::OpenLogForAppend(system_folder + "/log/veskor.log", true);
  umask(old_mask);
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  for (const std::string& folder : {system_folder, system_folder + "/log"}) {
    struct stat st;
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u) << folder;
  }
}

// The run lock: a second taker meets the first; a lock file that someone else
// could have planted is not trusted.
TEST(OsPosixTest, RunLockMeetsAnotherTakerAndTrustsNoPlantedFile) {
  namespace fs = std::filesystem;
  const ScratchDirectory temp("run-lock");
  const std::string dir = temp.path().string() + "/";
  EXPECT_EQ(os::TakeRunLock(""), os::RunLock::kUnavailable);
  EXPECT_EQ(os::TakeRunLock(dir), os::RunLock::kTaken);
  // A second open of the file is another taker, even in this process.
  EXPECT_EQ(os::TakeRunLock(dir), os::RunLock::kHeldByAnotherRun);

  const ScratchDirectory planted("run-lock-planted");
  const std::string planted_dir = planted.path().string() + "/";
  WriteFileBytes(planted.path() / "elsewhere", "");
  fs::create_symlink(planted.path() / "elsewhere", planted.path() / "kxvareviv_run.lock");
  EXPECT_EQ(os::TakeRunLock(planted_dir), os::RunLock::kUnavailable);
  if (geteuid() == 0) {
    fs::remove(planted.path() / "kxvareviv_run.lock");
    WriteFileBytes(planted.path() / "kxvareviv_run.lock", "");
    ASSERT_EQ(chown((planted.path() / "kxvareviv_run.lock").c_str(), 65534, 65534), 0);
    EXPECT_EQ(os::TakeRunLock(planted_dir), os::RunLock::kUnavailable);
  }
}

}  // namespace
