#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <filesystem>

#include "tests/support/run_program.h"

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
  pid_t pid = fork();
  if (pid < 0) {
    run.failure = "fork failed";
    return run;
  }
  if (pid == 0) {
    if (options.while_running) setpgid(0, 0);
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
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  std::thread watcher;
  if (options.while_running) {
    setpgid(pid, pid);  // also here: the group must exist before anything is sent to it
    watcher = std::thread(options.while_running, static_cast<int>(pid));
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
  const pid_t pid = fork();
  if (pid == 0) {
    // The helper: opens the file, says so, and sleeps until it is killed.
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
