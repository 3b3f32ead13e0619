// Tests of what only the POSIX side of the operating-system layer does.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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
      // Made first by another account in a folder that lets it add files.
      {"a log of another account",
       [](const fs::path& log) {
         WriteFileBytes(log / "veskor.log", "");
         if (chown((log / "veskor.log").c_str(), 65534, 65534) != 0) fs::remove(log / "veskor.log");
       },
       geteuid() != 0},
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

bool IsRoot() { return geteuid() == 0; }

// A console that went away fails its writes instead of ending the run, and the
// flash tool still starts with the default action for a broken pipe. In a
// child process, so that the test program keeps its own.
TEST(OsPosixTest, ABrokenConsoleDoesNotEndTheRun) {
  const pid_t child = fork();
  if (child == 0) {
    os::KeepRunningWithoutConsole();
    int ends[2];
    if (pipe(ends) != 0) _exit(10);
    close(ends[0]);
    if (write(ends[1], "x", 1) != -1 || errno != EPIPE) _exit(11);
    uint32_t code = 0;
    if (!os::StartAndWait("/bin/sh -c \"kill -PIPE $$; exit 3\"", &code)) _exit(12);
    _exit(code == 128 + SIGPIPE ? 0 : 13);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The run lock lies in <drive>/zpxsystem: a second taker meets the first, and
// nothing that another account could have planted or opened is trusted.
TEST(OsPosixTest, RunLockMeetsAnotherTakerAndTrustsNoPlantedFile) {
  namespace fs = std::filesystem;
  struct Case {
    const char* name;
    void (*arrange)(const fs::path& system_folder);
    os::RunLock result;
    const char* why;  // part of the reason
  } cases[] = {
      {"sound", [](const fs::path&) {}, os::RunLock::kTaken, ""},
      {"an old lock that others could read",
       [](const fs::path& f) {
         WriteFileBytes(f / "kxvareviv_run.lock", "");
         chmod((f / "kxvareviv_run.lock").c_str(), 0644);
       },
       os::RunLock::kTaken, ""},
      {"a link", [](const fs::path& f) { fs::create_symlink(f / "elsewhere", f / "kxvareviv_run.lock"); },
       os::RunLock::kUnavailable, "link"},
      {"a folder", [](const fs::path& f) { fs::create_directory(f / "kxvareviv_run.lock"); },
       os::RunLock::kUnavailable, "kxvareviv_run.lock"},
      {"a pipe", [](const fs::path& f) { mkfifo((f / "kxvareviv_run.lock").c_str(), 0600); },
       os::RunLock::kUnavailable, "not a plain file"},
      {"zpxsystem writable by the group", [](const fs::path& f) { chmod(f.c_str(), 0775); },
       os::RunLock::kUnavailable, "writable by others"},
      {"zpxsystem a link",
       [](const fs::path& f) {
         fs::remove(f);
         fs::create_directory(f.string() + "-real");
         fs::create_directory_symlink(f.string() + "-real", f);
       },
       os::RunLock::kUnavailable, "link"},
      {"no drive", [](const fs::path& f) { fs::remove_all(f.parent_path()); },
       os::RunLock::kUnavailable, "zpxsystem"},
      {"a lock of another account",
       [](const fs::path& f) {
         WriteFileBytes(f / "kxvareviv_run.lock", "");
         if (IsRoot()) chown((f / "kxvareviv_run.lock").c_str(), 65534, 65534);
       },
       IsRoot() ? os::RunLock::kUnavailable : os::RunLock::kTaken, IsRoot() ? "another account" : ""},
      {"zpxsystem of another account",
       [](const fs::path& f) {
         if (IsRoot()) chown(f.c_str(), 65534, 65534);
       },
       IsRoot() ? os::RunLock::kUnavailable : os::RunLock::kTaken, IsRoot() ? "another account" : ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScratchDirectory drive("run-lock");
    const fs::path folder = drive.path() / "zpxsystem";
    fs::create_directory(folder);
    chmod(folder.c_str(), 0755);
    c.arrange(folder);
    std::string why;
    ASSERT_EQ(os::TakeRunLock(folder.string(), &why), c.result) << why;
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
    if (c.result != os::RunLock::kTaken) continue;
    struct stat st;
    ASSERT_EQ(stat((folder / "kxvareviv_run.lock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // A second open of the file is another taker, even in this process.
    EXPECT_EQ(os::TakeRunLock(folder.string(), &why), os::RunLock::kHeldByAnotherRun);
  }
}

// Runs `probe` in a child process whose /proc is covered by an empty file
// system, as in a container or a hardened mount; its exit code comes back.
// -1 when this cannot be arranged here (only root may mount).
int ExitCodeWithoutProc(bool (*probe)()) {
  if (!IsRoot()) return -1;
  const pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("none", "/proc", "tmpfs", 0, nullptr) != 0) {
      _exit(2);
    }
    _exit(probe() ? 1 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) != 2 ? WEXITSTATUS(status) : -1;
}

// A /proc that lists nothing is no proof that no flash tool runs.
TEST(OsPosixTest, ProcessListWithoutTheProcessFileSystemCannotBeRead) {
  std::vector<std::string> names;
  EXPECT_TRUE(os::RunningProcessNames(&names));
  EXPECT_FALSE(names.empty());
  const int code = ExitCodeWithoutProc([] {
    std::vector<std::string> seen;
    return os::RunningProcessNames(&seen);
  });
  if (code < 0) GTEST_SKIP() << "mounting over /proc needs root";
  EXPECT_EQ(code, 0) << "the list was read from an empty /proc";
}

// The way to a report: every folder from the root down is judged, links
// followed and judged too; the report's own folder gets no sticky exception.
TEST(OsPosixTest, ReportPathIsJudgedAllTheWay) {
  namespace fs = std::filesystem;
  using V = os::ReportPathVerdict;
  struct Case {
    const char* name;
    const char* report;  // inside the scratch folder
    void (*arrange)(const fs::path& scratch);
    V verdict;
    const char* where;  // the end of the path the verdict names
  } cases[] = {
      {"sound", "reports/r.xml", [](const fs::path&) {}, V::kSound, "/reports"},
      {"sticky folder above", "open/reports/r.xml",
       [](const fs::path& s) { chmod((s / "open").c_str(), 01777); }, V::kSound, "/open/reports"},
      {"sticky own folder", "open/r.xml", [](const fs::path& s) { chmod((s / "open").c_str(), 01777); },
       V::kFolderOpenToOthers, "/open"},
      {"group-writable folder above", "open/reports/r.xml",
       [](const fs::path& s) { chmod((s / "open").c_str(), 0775); }, V::kFolderOpenToOthers, "/open"},
      {"link to a sound folder", "link/r.xml",
       [](const fs::path& s) { fs::create_directory_symlink("reports", s / "link"); }, V::kSound, ""},
      {"link into an open folder", "link/r.xml",
       [](const fs::path& s) {
         chmod((s / "open").c_str(), 0777);
         fs::create_directory_symlink(s / "open", s / "link");
       },
       V::kFolderOpenToOthers, "/open"},
      {"link through a link in an open folder", "link/r.xml",
       [](const fs::path& s) {
         fs::create_directory_symlink(s / "open" / "inner", s / "link");
         fs::create_directory_symlink(s / "reports", s / "open" / "inner");
         chmod((s / "open").c_str(), 0777);
       },
       V::kFolderOpenToOthers, "/open"},
      {"circle of links", "a/r.xml",
       [](const fs::path& s) {
         fs::create_directory_symlink("b", s / "a");
         fs::create_directory_symlink("a", s / "b");
       },
       V::kTooManyLinks, ""},
      {"missing folder", "none/r.xml", [](const fs::path&) {}, V::kFolderMissing, "/none"},
      {"a file on the way", "file/r.xml", [](const fs::path& s) { WriteFileBytes(s / "file", ""); },
       V::kNotAFolder, "/file"},
      {"double quote", "reports/r\".xml", [](const fs::path&) {}, V::kHoldsQuote, ".xml"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScratchDirectory scratch("report-path");
    for (const char* folder : {"reports", "open", "open/reports"}) {
      fs::create_directory(scratch.path() / folder);
      chmod((scratch.path() / folder).c_str(), 0755);
    }
    c.arrange(scratch.path());
    const os::ReportPathCheck check = os::CheckReportPath((scratch.path() / c.report).string());
    EXPECT_EQ(check.verdict, c.verdict) << os::ReportPathProblem(check);
    const std::string where = c.where;
    EXPECT_EQ(check.where.substr(check.where.size() - std::min(where.size(), check.where.size())),
              where);
  }
  // Relative paths start at the current folder, which is judged too.
  const ScratchDirectory here("report-path-relative", true);
  EXPECT_EQ(os::CheckReportPath("r.xml").verdict, V::kSound);
  chmod(here.path().c_str(), 0777);
  EXPECT_EQ(os::CheckReportPath("r.xml").verdict, V::kFolderOpenToOthers);
  chmod(here.path().c_str(), 0755);
}

}  // namespace
