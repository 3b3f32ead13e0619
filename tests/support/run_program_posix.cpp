#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <filesystem>

#include "tests/support/run_program.h"

namespace {

// The utility's instance check looks at every process it can see: a flash
// tool that runs anywhere on the machine (the demo in another terminal, a
// sleeping tool of another test) would refuse a run that a test expects to go
// on. So every program a test process starts runs in a process view of that
// test process's own: a PID namespace with its own /proc, made once and
// shared by all its starts, so that a flash tool or file holder the test
// starts on purpose is seen, and nothing else is. As root the namespaces are
// made directly; otherwise inside a user namespace that maps the tester's own
// account to itself (root's files then show as owned by the overflow user).
// Where the system allows neither, the programs see the machine's processes.
class ProcessView {
 public:
  /// The test process's view, made on first use.
  static const ProcessView& Get() {
    static const ProcessView* const view = new ProcessView();
    return *view;
  }

  /// In a child just forked from the test process: moves on into the view.
  /// Returns in a grandchild that lives there; the child in between waits for
  /// it and ends as it ends (its exit code, or its signal). Returns at once
  /// when there is no view. With `own_group`, the process that returns leads
  /// a process group of its own (as a terminal runs a job), and its process
  /// id as the test sees it is written to `report` (when not -1) before it
  /// goes on, so that signals can be sent to it and to its group alone.
  void Continue(bool own_group = false, int report = -1) const {
    if (pid_fd_ < 0) {
      if (own_group) setpgid(0, 0);
      Report(report, getpid());
      return;
    }
    if ((user_fd_ >= 0 && setns(user_fd_, CLONE_NEWUSER) != 0) ||
        setns(mount_fd_, CLONE_NEWNS) != 0 || setns(pid_fd_, CLONE_NEWPID) != 0) {
      Fail("cannot enter the test's process view\n");
    }
    const pid_t inner = fork();
    if (inner < 0) Fail("cannot start a process in the test's process view\n");
    if (inner == 0) {
      if (own_group) setpgid(0, 0);
      if (report >= 0) close(report);
      // Joining a user namespace gave this process every capability there and
      // made it undumpable: either hides its /proc entries (a helper that
      // holds a file open) from the unprivileged program under test. A program
      // that is executed drops both anyway.
      if (user_fd_ >= 0) {
        __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
        if (syscall(SYS_capset, &header, none) != 0) Fail("cannot drop capabilities\n");
        prctl(PR_SET_DUMPABLE, 1);
      }
      return;
    }
    // Also here, before the test can send anything: the group must exist.
    if (own_group) setpgid(inner, inner);
    Report(report, inner);
    int status = 0;
    while (waitpid(inner, &status, 0) < 0) {
      if (errno != EINTR) _exit(124);
    }
    if (WIFEXITED(status)) _exit(WEXITSTATUS(status));
    const int signal = WTERMSIG(status);
    const struct rlimit no_core = {0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    std::signal(signal, SIG_DFL);
    kill(getpid(), signal);
    _exit(128 + signal);
  }

 private:
  ProcessView() {
    const bool as_root = geteuid() == 0;
    const std::string uid_map = std::to_string(geteuid()) + " " + std::to_string(geteuid()) + " 1";
    const std::string gid_map = std::to_string(getegid()) + " " + std::to_string(getegid()) + " 1";
    const pid_t test = getpid();
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return;
    const pid_t keeper = fork();
    if (keeper == 0) Keep(test, as_root, uid_map, gid_map, report[1]);
    close(report[1]);
    pid_t init = -1;
    const bool made = keeper > 0 && read(report[0], &init, sizeof init) == sizeof init;
    close(report[0]);
    if (!made) {
      if (keeper > 0) waitpid(keeper, nullptr, 0);
      std::fprintf(stderr,
                   "note: no process view of its own (namespaces refused); the programs "
                   "under test see the machine's processes\n");
      return;
    }
    const std::string ns = "/proc/" + std::to_string(init) + "/ns/";
    if (!as_root) user_fd_ = open((ns + "user").c_str(), O_RDONLY | O_CLOEXEC);
    mount_fd_ = open((ns + "mnt").c_str(), O_RDONLY | O_CLOEXEC);
    pid_fd_ = open((ns + "pid").c_str(), O_RDONLY | O_CLOEXEC);
    if ((!as_root && user_fd_ < 0) || mount_fd_ < 0 || pid_fd_ < 0) pid_fd_ = -1;
  }

  // The keeper: makes the namespaces and their first process (which mounts
  // the view's /proc and reaps its orphans), reports that process's id, and
  // ends, taking the view with it, when the test process has ended.
  [[noreturn]] static void Keep(pid_t test, bool as_root, const std::string& uid_map,
                                const std::string& gid_map, int report) {
    // Nothing of the test stays open here: CTest waits for the end of its output.
    if (dup2(report, 3) != 3) _exit(1);
    syscall(SYS_close_range, 4u, ~0u, 0u);
    const int null_fd = open("/dev/null", O_RDWR);
    for (int target : {0, 1, 2}) dup2(null_fd, target);
    if (null_fd > 2) close(null_fd);
    if (unshare(CLONE_NEWPID | CLONE_NEWNS | (as_root ? 0 : CLONE_NEWUSER)) != 0) _exit(1);
    if (!as_root && (!WriteProcFile("/proc/self/uid_map", uid_map) ||
                     !WriteProcFile("/proc/self/setgroups", "deny") ||
                     !WriteProcFile("/proc/self/gid_map", gid_map))) {
      _exit(1);
    }
    int ready[2];
    if (pipe(ready) != 0) _exit(1);
    const pid_t init = fork();
    if (init == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      close(3);  // the report is the keeper's: the test must see it end with the keeper
      close(ready[0]);
      // Private first: the new /proc must not show up in the machine's view.
      if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
        _exit(1);
      }
      if (write(ready[1], "1", 1) != 1) _exit(1);
      close(ready[1]);
      for (;;) {
        if (wait(nullptr) < 0) usleep(100000);
      }
    }
    close(ready[1]);
    char said = 0;
    if (init < 0 || read(ready[0], &said, 1) != 1) _exit(1);
    if (write(3, &init, sizeof init) != sizeof init) _exit(1);
    close(3);
    while (getppid() == test) {
      if (waitpid(init, nullptr, WNOHANG) == init) _exit(0);
      usleep(200000);
    }
    kill(init, SIGKILL);
    _exit(0);
  }

  static void Report(int report, pid_t pid) {
    if (report < 0) return;
    if (write(report, &pid, sizeof pid) != sizeof pid) Fail("cannot report the program's id\n");
    close(report);
  }

  [[noreturn]] static void Fail(const char* why) {
    if (write(STDERR_FILENO, why, std::strlen(why)) < 0) _exit(124);
    _exit(124);
  }

  static bool WriteProcFile(const char* path, const std::string& text) {
    const int fd = open(path, O_WRONLY);
    if (fd < 0) return false;
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return written;
  }

  int user_fd_ = -1;
  int mount_fd_ = -1;
  int pid_fd_ = -1;
};

}  // namespace

std::string ProgramPathAsSeen(const std::string& path) { return path; }

std::string ProgramLogPath(const std::string& scratch_drive) {
  return scratch_drive + "/zpxsystem/log/veskor.log";
}

std::map<std::string, std::string> ScratchEnvironment(const std::string& scratch) {
  return {{"SystemDrive", JoinPath(scratch, "drive")}, {"TMPDIR", JoinPath(scratch, "tmp")}};
}

ProgramRun RunProgramAndWait(const std::string& program, const std::vector<std::string>& args,
                             const ProgramOptions& options) {
  ProgramRun run;
  const std::string scratch = MakeScratchDirectory("run");
  const std::string input_path = JoinPath(scratch, "stdin");
  const std::string output_path = JoinPath(scratch, "stdout");
  WriteFileBytes(input_path, options.input);

  std::vector<std::string> words;
  words.push_back(program);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  int delayed[2] = {-1, -1};
  if (options.input_delay_ms > 0) {
    // A program that ends without reading must not take the test down.
    std::signal(SIGPIPE, SIG_IGN);
    if (pipe(delayed) != 0) return run;
  }
  // A program that the test interrupts runs in a group of its own and tells
  // its process id as the test sees it (in the view, one level down).
  int reported[2] = {-1, -1};
  if (options.while_running && pipe2(reported, O_CLOEXEC) != 0) return run;
  const ProcessView& view = ProcessView::Get();
  pid_t pid = fork();
  if (pid < 0) {
    run.failure = "fork failed";
    return run;
  }
  if (pid == 0) {
    // The writing end stays with the test only, so the program sees the end of its input.
    if (delayed[1] >= 0) close(delayed[1]);
    if (reported[0] >= 0) close(reported[0]);
    view.Continue(static_cast<bool>(options.while_running), reported[1]);
    if (!options.working_directory.empty() && chdir(options.working_directory.c_str()) != 0) {
      _exit(126);
    }
    for (const auto& [name, value] : options.environment) setenv(name.c_str(), value.c_str(), 1);
    int in = options.close_input       ? open("/dev/null", O_RDONLY)
             : options.input_delay_ms  ? delayed[0]
                                       : open(input_path.c_str(), O_RDONLY);
    int out = open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0) _exit(126);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    // Dropped last: the output files above stay the test's.
    if (options.user_id >= 0 &&
        (setgroups(0, nullptr) != 0 || setgid(static_cast<gid_t>(options.user_id)) != 0 ||
         setuid(static_cast<uid_t>(options.user_id)) != 0)) {
      _exit(125);
    }
    // After the change of user, which clears it: the program ends with the
    // child that waits for it in the view.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  std::thread watcher;
  if (options.while_running) {
    close(reported[1]);
    pid_t program_id = -1;
    const bool told = read(reported[0], &program_id, sizeof program_id) == sizeof program_id;
    close(reported[0]);
    if (told) watcher = std::thread(options.while_running, static_cast<int>(program_id));
  }
  std::thread writer;
  if (delayed[0] >= 0) {
    close(delayed[0]);
    writer = std::thread([&options, fd = delayed[1]] {
      std::this_thread::sleep_for(std::chrono::milliseconds(options.input_delay_ms));
      if (write(fd, options.input.data(), options.input.size()) < 0) {
        // the program ended before it read: nothing to do
      }
      close(fd);
    });
  }
  // Joined before the program is reaped, so that its process id and group
  // are still its own whenever the watcher sends something.
  if (watcher.joinable()) watcher.join();
  int status = 0;
  const pid_t waited = waitpid(pid, &status, 0);
  if (writer.joinable()) writer.join();
  if (waited != pid) return run;
  run.started = true;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.output = ReadFileBytes(output_path);
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return run;
}

bool CanRunAsAnotherUser() {
  if (geteuid() != 0) return false;
  // The other user must reach and run the programs of the build: every folder
  // above them searchable, the programs executable, by others.
  std::string path = KX_PROGRAM_FILE;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) return false;
  for (size_t slash = path.rfind('/'); slash != std::string::npos && slash > 0;
       slash = path.rfind('/', slash - 1)) {
    if (::stat(path.substr(0, slash).c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) return false;
  }
  return true;
}

void GiveToUser(const std::string& path, int user) {
  if (lchown(path.c_str(), static_cast<uid_t>(user), static_cast<gid_t>(user)) != 0) return;
}

ExclusiveFileHold::ExclusiveFileHold(const std::string& path) {
  int ready[2];
  if (pipe(ready) != 0) return;
  const ProcessView& view = ProcessView::Get();
  const pid_t pid = fork();
  if (pid == 0) {
    // The helper: opens the file, says so, and sleeps until it is killed (in
    // the view, with the child that waits for it there).
    view.Continue();
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    close(ready[0]);
    const int fd = open(path.c_str(), O_RDONLY);
    const char said = fd >= 0 ? '1' : '0';
    if (write(ready[1], &said, 1) != 1) _exit(1);
    for (;;) pause();
  }
  close(ready[1]);
  char said = '0';
  const bool opened = pid > 0 && read(ready[0], &said, 1) == 1 && said == '1';
  close(ready[0]);
  if (pid > 0) helper_ = static_cast<int>(pid);
  if (opened) handle_ = &helper_;
}

ExclusiveFileHold::~ExclusiveFileHold() {
  if (helper_ <= 0) return;
  kill(helper_, SIGKILL);
  waitpid(helper_, nullptr, 0);
}

bool CanSendInterrupts() { return true; }

bool SendInterrupt(int process_id, Interrupt interrupt) {
  switch (interrupt) {
    case Interrupt::kKeyboard:
      return kill(-process_id, SIGINT) == 0;
    case Interrupt::kHangUp:
      return kill(-process_id, SIGHUP) == 0;
    case Interrupt::kTerminate:
      return kill(process_id, SIGTERM) == 0;
  }
  return false;
}
