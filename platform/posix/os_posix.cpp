// POSIX implementation of the operating-system layer.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>

#include "kx_version.h"
#include "platform/command_text.h"
#include "platform/log_path_check.h"
#include "platform/os.h"

namespace os {
namespace {

constexpr size_t kMaxPath = 260;

std::string OwnDirectory() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::string();
  std::string path(buffer, static_cast<size_t>(n));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The program search of the Windows loader, done the POSIX way: a name with a
// '/' is taken as it stands; a bare name is looked for beside the running
// program first, then along PATH.
std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
  std::string own = OwnDirectory();
  if (!own.empty() && IsExecutableFile(own + "/" + name)) return own + "/" + name;
  const char* path_env = getenv("PATH");
  std::string search = path_env ? path_env : "";
  size_t start = 0;
  while (start <= search.size()) {
    size_t end = search.find(':', start);
    if (end == std::string::npos) end = search.size();
    std::string dir = search.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return std::string();
}

// The words of a command text as the flash tool's runtime reads them on
// Windows: split at blanks and tabs, with the quoting that QuoteArgument adds.
std::vector<std::string> SplitAtBlanks(const std::string& text) { return SplitCommandText(text); }

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

bool IsNumber(const char* text) { return *text != '\0' && strspn(text, "0123456789") == strlen(text); }

// True when a process other than this one has the file `file` describes open:
// one of its /proc/<pid>/fd entries leads to the same file. Processes whose
// descriptors cannot be read (another user's, for an unprivileged program)
// are not seen.
bool IsOpenInAnotherProcess(const struct stat& file) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return false;
  const std::string self = std::to_string(getpid());
  bool found = false;
  while (!found) {
    const struct dirent* process = readdir(proc);
    if (process == nullptr) break;
    if (!IsNumber(process->d_name) || self == process->d_name) continue;
    const std::string fd_folder = std::string("/proc/") + process->d_name + "/fd/";
    DIR* fds = opendir(fd_folder.c_str());
    if (fds == nullptr) continue;
    while (const struct dirent* fd = readdir(fds)) {
      struct stat open_file;
      if (IsNumber(fd->d_name) && stat((fd_folder + fd->d_name).c_str(), &open_file) == 0 &&
          open_file.st_dev == file.st_dev && open_file.st_ino == file.st_ino) {
        found = true;
        break;
      }
    }
    closedir(fds);
  }
  closedir(proc);
  return found;
}

// Closes a descriptor when it goes out of scope.
class ScopedFd {
 public:
  explicit ScopedFd(int fd = -1) : fd_(fd) {}
  ~ScopedFd() {
    if (fd_ >= 0) close(fd_);
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// A path cut at its last '/': the folder ("/" for the root, "." for none) and
// the name after it.
void SplitLast(const std::string& path, std::string* folder, std::string* name) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    *folder = ".";
    *name = path;
    return;
  }
  *folder = slash == 0 ? "/" : path.substr(0, slash);
  *name = path.substr(slash + 1);
}

// Root, or the account the program runs as.
bool IsTrustedOwner(uid_t owner) { return owner == 0 || owner == geteuid(); }

LogPathPart FolderFacts(const struct stat& st) {
  LogPathPart part;
  part.is_link = S_ISLNK(st.st_mode);
  part.trusted_owner = IsTrustedOwner(st.st_uid);
  part.writable_by_others = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  part.sticky = (st.st_mode & S_ISVTX) != 0;
  return part;
}

// Opens the folder `name` inside the open folder `at` without following a
// link, and describes it. -1 when it cannot be opened (a link among them:
// `facts` then says so).
int OpenLogFolder(int at, const std::string& name, LogPathPart* facts) {
  struct stat seen;
  if (fstatat(at, name.c_str(), &seen, AT_SYMLINK_NOFOLLOW) != 0) return -1;
  *facts = FolderFacts(seen);
  if (facts->is_link) return -1;
  ScopedFd fd(openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat opened;
  if (fd.get() < 0 || fstat(fd.get(), &opened) != 0) return -1;
  // Replaced between the look and the open: judge what was opened.
  *facts = FolderFacts(opened);
  if (opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino) return -1;
  return fd.release();
}

// Opens "<drive>/zpxsystem", the folder of the log and of the run lock, and
// describes it: the drive is the administrator's choice; from there on
// nothing is followed. With `create`, the folder is made first where missing.
// -1 when it cannot be opened (a link among them: `facts` then says so).
int OpenSystemFolder(const std::string& system_folder, bool create, LogPathPart* facts) {
  std::string drive, name;
  SplitLast(system_folder, &drive, &name);
  ScopedFd drive_fd(open(drive.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (drive_fd.get() < 0) return -1;
  if (create) mkdirat(drive_fd.get(), name.c_str(), 0755);
  return OpenLogFolder(drive_fd.get(), name, facts);
}

// Joins a folder and a name ("/" and "a" give "/a").
std::string Join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// The components of a path, last first (so that the next one is at the back).
std::vector<std::string> ComponentsLastFirst(const std::string& path) {
  std::vector<std::string> parts;
  size_t end = path.size();
  while (end > 0) {
    const size_t slash = path.rfind('/', end - 1);
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    if (end > start) parts.push_back(path.substr(start, end - start));
    if (slash == std::string::npos) break;
    end = slash;
  }
  return parts;
}

// Walks the folder of a report from the root, one component at a time, as the
// system resolves it: each link met is judged and its target walked in turn,
// each folder is judged on the way, and the last one again as the report's own.
ReportPathCheck WalkReportFolder(const std::string& folder) {
  constexpr int kMostLinks = 40;
  std::vector<std::string> pending = ComponentsLastFirst(folder);
  std::string current = "/";
  int links = 0;
  struct stat st;
  const auto judge = [&](const std::string& where, bool own) {
    if (lstat(where.c_str(), &st) != 0) return ReportPathCheck{ReportPathVerdict::kFolderMissing, where};
    if (!S_ISLNK(st.st_mode) && !S_ISDIR(st.st_mode)) {
      return ReportPathCheck{ReportPathVerdict::kNotAFolder, where};
    }
    return ReportPathCheck{JudgeReportPathStep(FolderFacts(st), own), where};
  };
  ReportPathCheck check = judge(current, false);
  while (check.verdict == ReportPathVerdict::kSound && !pending.empty()) {
    const std::string part = pending.back();
    pending.pop_back();
    if (part == ".") continue;
    if (part == "..") {
      // The folder above was judged on the way down.
      const size_t slash = current.rfind('/');
      current = slash == 0 ? "/" : current.substr(0, slash);
      continue;
    }
    const std::string next = Join(current, part);
    check = judge(next, false);
    if (check.verdict != ReportPathVerdict::kSound || !S_ISLNK(st.st_mode)) {
      current = next;
      continue;
    }
    if (++links > kMostLinks) return ReportPathCheck{ReportPathVerdict::kTooManyLinks, next};
    char target[PATH_MAX];
    const ssize_t n = readlink(next.c_str(), target, sizeof target - 1);
    if (n <= 0) return ReportPathCheck{ReportPathVerdict::kFolderMissing, next};
    const std::string text(target, static_cast<size_t>(n));
    for (const std::string& more : ComponentsLastFirst(text)) pending.push_back(more);
    if (text[0] == '/') current = "/";
  }
  if (check.verdict != ReportPathVerdict::kSound) return check;
  return judge(current, true);
}

}  // namespace

char PathSeparator() { return '/'; }

bool IsProgramPathSeparator(char c) { return c == '\\' || c == '/'; }

std::string SystemDrive() {
  const char* drive = getenv("SystemDrive");
  return drive ? std::string(drive) : std::string();
}

std::FILE* OpenLogForAppend(const std::string& path, bool create_folders) {
  std::string log_folder, file_name, system_folder, log_name;
  SplitLast(path, &log_folder, &file_name);
  SplitLast(log_folder, &system_folder, &log_name);

  LogPathPart system_part, log_part, file_part;
  ScopedFd system_fd(OpenSystemFolder(system_folder, create_folders, &system_part));
  if (system_fd.get() < 0 || JudgeLogFolders(system_part, LogPathPart{}) != LogPathVerdict::kTrusted) {
    return nullptr;
  }
  if (create_folders) mkdirat(system_fd.get(), log_name.c_str(), 0755);
  ScopedFd log_fd(OpenLogFolder(system_fd.get(), log_name, &log_part));
  if (log_fd.get() < 0 || JudgeLogFolders(system_part, log_part) != LogPathVerdict::kTrusted) {
    return nullptr;
  }

  // O_NONBLOCK: a pipe planted under the log's name must not stall the run.
  ScopedFd file(openat(log_fd.get(), file_name.c_str(),
                       O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
  struct stat st;
  if (file.get() < 0 || fstat(file.get(), &st) != 0) return nullptr;
  file_part.regular_file = S_ISREG(st.st_mode);
  file_part.link_count = static_cast<uint32_t>(st.st_nlink);
  file_part.trusted_owner = IsTrustedOwner(st.st_uid);
  if (JudgeLogPath(system_part, log_part, file_part) != LogPathVerdict::kTrusted) return nullptr;
  const int flags = fcntl(file.get(), F_GETFL);
  if (flags < 0 || fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return nullptr;
  std::FILE* stream = fdopen(file.get(), "a");
  if (stream != nullptr) file.release();
  return stream;
}

bool TempDirectory(std::string* path) {
  path->clear();
  const char* tmp = getenv("TMPDIR");
  std::string dir = (tmp && *tmp) ? tmp : "/tmp";
  if (dir.back() != '/') dir += '/';
  if (dir.size() >= kMaxPath) return false;
  *path = dir;
  return true;
}

bool FileStatus(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveFile(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  // What Windows refuses to delete is not deleted here either, whoever the
  // program runs as: a read-only file (no write permission bit at all), and a
  // file that another process has open.
  if (!S_ISLNK(st.st_mode)) {
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
    if (IsOpenInAnotherProcess(st)) return false;
  }
  return unlink(path.c_str()) == 0;
}

bool NameExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool IsLink(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool OwnedByAnotherAccount(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && !IsTrustedOwner(st.st_uid);
}

bool RemoveName(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  return (S_ISDIR(st.st_mode) ? rmdir(path.c_str()) : unlink(path.c_str())) == 0;
}

ReportPathCheck CheckReportPath(const std::string& path) {
  if (path.find('"') != std::string::npos) return {ReportPathVerdict::kHoldsQuote, path};
  std::string folder, name;
  SplitLast(path, &folder, &name);
  if (folder[0] != '/') {
    char here[PATH_MAX];
    if (getcwd(here, sizeof here) == nullptr) return {ReportPathVerdict::kFolderMissing, folder};
    folder = Join(here, folder);
  }
  return WalkReportFolder(folder);
}

void SetWindowTitle(const std::string& title) {
  if (!StdoutIsTerminal()) return;
  // OSC 0 sets the terminal's window title.
  fputs("\033]0;", stdout);
  fputs(title.c_str(), stdout);
  fputs("\007", stdout);
  fflush(stdout);
}

void SizeConsole(int /*width*/, int /*height*/) {
  // Terminals are sized by their user; nothing to do here.
}

void RestrictLibrarySearch() {}

void KeepRunningWithoutConsole() {
  // A console that went away (a dropped SSH session without a terminal) makes
  // console writes fail, as on Windows, instead of ending the run with
  // SIGPIPE between a flash and the log line that tells its result.
  signal(SIGPIPE, SIG_IGN);
}

bool OwnFileVersion(FileVersion* version) {
  version->major = KX_VERSION_MAJOR;
  version->minor = KX_VERSION_MINOR;
  version->patch = KX_VERSION_PATCH;
  version->build = KX_VERSION_TWEAK;
  return true;
}

namespace {

// Starts the child of StartAndWait. With `child_mask`, the child runs in a
// process group of its own and starts with that signal mask (the caller's
// own from before it blocked the signals it holds).
bool SpawnChild(const std::string& command_text, const sigset_t* child_mask, pid_t* pid) {
  std::vector<std::string> words = SplitAtBlanks(command_text);
  if (words.empty()) return false;
  std::string program = FindProgram(words[0]);
  if (program.empty()) return false;

  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  // The child's standard streams go to /dev/null (left as they are when it
  // cannot be opened), so the tool's output never reaches the console.
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  const int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null_fd >= 0) {
    for (int target : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
      posix_spawn_file_actions_adddup2(&actions, null_fd, target);
    }
  }
  // The child starts with the default action for a broken pipe, which this
  // program ignores. A flash call gets a process group of its own: the
  // terminal sends the keyboard's signals and its hang-up to the foreground
  // group, which then no longer holds the child.
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    if (null_fd >= 0) close(null_fd);
    return false;
  }
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  short flags = POSIX_SPAWN_SETSIGDEF;
  bool attributes_set = posix_spawnattr_setsigdefault(&attributes, &defaults) == 0;
  if (child_mask != nullptr) {
    flags |= POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK;
    attributes_set = attributes_set && posix_spawnattr_setpgroup(&attributes, 0) == 0 &&
                     posix_spawnattr_setsigmask(&attributes, child_mask) == 0;
  }
  if (!attributes_set || posix_spawnattr_setflags(&attributes, flags) != 0) {
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (null_fd >= 0) close(null_fd);
    return false;
  }
  // Not fork(): it copies the page tables of this process for every child, a
  // cost that grows with the memory the run holds, so flashing N adapters one
  // call each would cost time in N squared. posix_spawn starts the child
  // without that copy and returns the error of a failed exec itself.
  const int spawn_error =
      posix_spawn(pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (null_fd >= 0) close(null_fd);
  return spawn_error == 0;  // else the child never ran the program
}

void StoreExitStatus(int status, uint32_t* exit_code) {
  if (WIFEXITED(status)) {
    *exit_code = static_cast<uint32_t>(WEXITSTATUS(status));
  } else if (WIFSIGNALED(status)) {
    *exit_code = 128u + static_cast<uint32_t>(WTERMSIG(status));
  } else {
    *exit_code = 0;
  }
}

// The signals a shielded call holds: the keyboard's (Ctrl+C, Ctrl+\), a
// terminal's hang-up, and the polite request to end.
constexpr int kHeldSignals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};

// Set when one of them arrives during a shielded call.
volatile sig_atomic_t interrupt_seen = 0;

void NoteInterrupt(int) { interrupt_seen = 1; }
void NoteChildEnd(int) {}

}  // namespace

bool StartAndWait(const std::string& command_text, uint32_t* exit_code) {
  pid_t pid = 0;
  if (!SpawnChild(command_text, nullptr, &pid)) return false;
  int status = 0;
  pid_t waited;
  do {
    waited = waitpid(pid, &status, 0);
  } while (waited < 0 && errno == EINTR);
  if (waited < 0) return false;
  StoreExitStatus(status, exit_code);
  return true;
}

bool StartAndWaitShielded(const std::string& command_text, uint32_t* exit_code,
                          const std::function<void()>& on_interrupt, bool* interrupted) {
  // The held signals and the child's end are blocked except inside sigsuspend
  // below, so none can arrive unseen between a look at the flag and the wait.
  sigset_t blocked, before;
  sigemptyset(&blocked);
  for (int signal : kHeldSignals) sigaddset(&blocked, signal);
  sigaddset(&blocked, SIGCHLD);
  sigprocmask(SIG_BLOCK, &blocked, &before);
  interrupt_seen = 0;

  struct sigaction note = {};
  note.sa_handler = NoteInterrupt;
  sigemptyset(&note.sa_mask);
  struct sigaction saved[std::size(kHeldSignals)];
  for (size_t i = 0; i < std::size(kHeldSignals); ++i) {
    sigaction(kHeldSignals[i], nullptr, &saved[i]);
    // A signal the program was started to ignore (nohup) stays ignored.
    if (saved[i].sa_handler != SIG_IGN) sigaction(kHeldSignals[i], &note, nullptr);
  }
  // Wakes sigsuspend when the child ends (by default SIGCHLD is discarded).
  struct sigaction child_end = {}, saved_child_end;
  child_end.sa_handler = NoteChildEnd;
  child_end.sa_flags = SA_NOCLDSTOP;
  sigemptyset(&child_end.sa_mask);
  sigaction(SIGCHLD, &child_end, &saved_child_end);

  bool said = false;
  pid_t pid = 0;
  bool ran = SpawnChild(command_text, &before, &pid);
  if (ran) {
    sigset_t waiting = before;
    for (int signal : kHeldSignals) sigdelset(&waiting, signal);
    sigdelset(&waiting, SIGCHLD);
    for (;;) {
      int status = 0;
      const pid_t waited = waitpid(pid, &status, WNOHANG);
      if (waited == pid) {
        StoreExitStatus(status, exit_code);
        break;
      }
      if (waited < 0 && errno != EINTR) {
        ran = false;
        break;
      }
      if (interrupt_seen && !said) {
        said = true;
        on_interrupt();
      }
      if (waited == 0) sigsuspend(&waiting);
    }
  }

  // Unblocked while the handlers are still in place: a signal that came after
  // the last wait is noted, not acted on. Then everything is as it was.
  sigprocmask(SIG_SETMASK, &before, nullptr);
  for (size_t i = 0; i < std::size(kHeldSignals); ++i) {
    sigaction(kHeldSignals[i], &saved[i], nullptr);
  }
  sigaction(SIGCHLD, &saved_child_end, nullptr);
  *interrupted = interrupt_seen != 0;
  if (*interrupted && !said) on_interrupt();
  return ran;
}

bool RunningProcessNames(std::vector<std::string>* names) {
  names->clear();
  // A /proc that is not the process file system (not mounted, or covered by
  // another file system), or one of another process view that does not hold
  // this program, cannot tell which flash tools run: the list is not read.
  constexpr long kProcMagic = 0x9fa0;
  struct statfs fs;
  if (statfs("/proc", &fs) != 0 || static_cast<long>(fs.f_type) != kProcMagic) return false;
  const std::string self = "/proc/" + std::to_string(getpid());
  if (access(self.c_str(), F_OK) != 0) return false;
  DIR* proc = opendir("/proc");
  if (!proc) return false;
  while (struct dirent* entry = readdir(proc)) {
    const char* id = entry->d_name;
    if (!IsNumber(id)) continue;
    std::string base = std::string("/proc/") + id;
    char target[PATH_MAX];
    ssize_t n = readlink((base + "/exe").c_str(), target, sizeof target - 1);
    if (n > 0) {
      std::string path(target, static_cast<size_t>(n));
      size_t slash = path.rfind('/');
      names->push_back(slash == std::string::npos ? path : path.substr(slash + 1));
      continue;
    }
    FILE* comm = fopen((base + "/comm").c_str(), "r");
    if (!comm) continue;
    char name[256];
    if (fgets(name, sizeof name, comm)) {
      size_t len = strcspn(name, "\n");
      names->push_back(std::string(name, len));
    }
    fclose(comm);
  }
  closedir(proc);
  return true;
}

RunLock TakeRunLock(const std::string& system_folder, std::string* why) {
  LogPathPart facts;
  ScopedFd folder(OpenSystemFolder(system_folder, true, &facts));
  const LogPathVerdict verdict = JudgeLogFolders(facts, LogPathPart{});
  if (folder.get() < 0 || verdict != LogPathVerdict::kTrusted) {
    *why = system_folder + ": " +
           (verdict != LogPathVerdict::kTrusted ? LogPathVerdictText(verdict) : strerror(errno));
    return RunLock::kUnavailable;
  }
  const std::string name = "kxvareviv_run.lock";
  const std::string path = system_folder + "/" + name;
  // Close-on-exec: the flash tool must not inherit the lock and keep it.
  ScopedFd fd(openat(folder.get(), name.c_str(),
                     O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  if (fd.get() < 0) {
    *why = path + ": " + (errno == ELOOP ? "the file is a link" : strerror(errno));
    return RunLock::kUnavailable;
  }
  struct stat st;
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    *why = path + ": " + LogPathVerdictText(LogPathVerdict::kFileNotRegular);
    return RunLock::kUnavailable;
  }
  if (!IsTrustedOwner(st.st_uid)) {
    *why = path + ": " + LogPathVerdictText(LogPathVerdict::kFileOwnedByOthers);
    return RunLock::kUnavailable;
  }
  // Only its owner may open it: no one else can hold it and shut runs out.
  if ((st.st_mode & 077) != 0 && fchmod(fd.get(), 0600) != 0) {
    *why = path + ": " + strerror(errno);
    return RunLock::kUnavailable;
  }
  if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return RunLock::kHeldByAnotherRun;
    *why = path + ": " + strerror(errno);
    return RunLock::kUnavailable;
  }
  fd.release();  // the descriptor stays open until the process ends
  return RunLock::kTaken;
}

void SleepMilliseconds(unsigned milliseconds) {
  struct timespec ts;
  ts.tv_sec = milliseconds / 1000;
  ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace os
