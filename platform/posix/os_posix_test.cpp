// Tests of what only the POSIX side of the operating-system layer does.
#include <gtest/gtest.h>
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

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

// The children of this process that /proc shows, each with its process group,
// once they run `sleep` (before, a new child may not be in its group yet).
struct Child {
  pid_t pid;
  pid_t group;
};
std::vector<Child> OwnChildren() {
  std::vector<Child> children;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return children;
  while (const struct dirent* entry = readdir(proc)) {
    // "pid (name) state ppid pgrp ...": the name may hold blanks and brackets.
    const std::string stat = ReadFileBytes(std::string("/proc/") + entry->d_name + "/stat");
    const size_t name_end = stat.rfind(')');
    if (name_end == std::string::npos ||
        stat.compare(0, name_end, std::string(entry->d_name) + " (sleep") != 0) {
      continue;
    }
    char state = 0;
    int parent = 0, group = 0;
    if (std::sscanf(stat.c_str() + name_end + 1, " %c %d %d", &state, &parent, &group) == 3 &&
        parent == getpid()) {
      children.push_back({static_cast<pid_t>(std::atoi(entry->d_name)), group});
    }
  }
  closedir(proc);
  return children;
}

// Sends `signals` to this process once its child runs, from a thread that
// blocks them itself, so that they reach the waiting thread as they reach the
// utility's only one. Gives what it saw of the child.
std::thread SendOnceTheChildRuns(std::vector<int> signals, std::vector<Child>* seen) {
  return std::thread([signals, seen] {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    for (int i = 0; i < 500 && seen->empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      *seen = OwnChildren();
    }
    for (int signal : signals) kill(getpid(), signal);
  });
}

// A shielded call: the child runs in a process group of its own and to its
// end; the interrupts reach this program only as one notice while it runs;
// one that was ignored stays ignored; afterwards every action is as before.
TEST(OsPosixTest, ShieldedCallHoldsInterruptsAndRunsInAGroupOfItsOwn) {
  const int held[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};
  struct Case {
    const char* name;
    std::vector<int> sent;
    bool hang_up_ignored;  // as under nohup
    bool interrupted;
  } cases[] = {
      {"Ctrl+C twice, then a request to end", {SIGINT, SIGINT, SIGTERM}, false, true},
      {"Ctrl+\\", {SIGQUIT}, false, true},
      {"hang-up", {SIGHUP}, false, true},
      {"hang-up under nohup", {SIGHUP}, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    struct sigaction ignore = {}, nohup_saved;
    ignore.sa_handler = c.hang_up_ignored ? SIG_IGN : SIG_DFL;
    sigaction(SIGHUP, &ignore, &nohup_saved);
    struct sigaction before[4];
    for (int i = 0; i < 4; ++i) sigaction(held[i], nullptr, &before[i]);

    std::vector<Child> seen;
    std::thread sender = SendOnceTheChildRuns(c.sent, &seen);
    int notices = 0;
    size_t children_at_notice = 0;
    uint32_t code = 12345;
    bool interrupted = !c.interrupted;
    const bool ran = os::StartAndWaitShielded(
        "/bin/sleep 1", &code,
        [&] {
          ++notices;
          children_at_notice = OwnChildren().size();
        },
        &interrupted);
    sender.join();
    EXPECT_TRUE(ran);
    EXPECT_EQ(code, 0u);  // slept to its end
    EXPECT_EQ(interrupted, c.interrupted);
    EXPECT_EQ(notices, c.interrupted ? 1 : 0);
    if (c.interrupted) {
      EXPECT_EQ(children_at_notice, 1u) << "the notice came only at the end";
    }
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].group, seen[0].pid);
    for (int i = 0; i < 4; ++i) {
      struct sigaction after;
      sigaction(held[i], nullptr, &after);
      EXPECT_EQ(after.sa_handler, before[i].sa_handler) << held[i];
    }
    sigaction(SIGHUP, &nohup_saved, nullptr);
  }
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
