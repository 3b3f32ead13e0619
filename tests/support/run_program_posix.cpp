#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

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

  pid_t pid = fork();
  if (pid < 0) {
    run.failure = "fork failed";
    return run;
  }
  if (pid == 0) {
    if (!options.working_directory.empty() && chdir(options.working_directory.c_str()) != 0) {
      _exit(126);
    }
    for (const auto& [name, value] : options.environment) setenv(name.c_str(), value.c_str(), 1);
    int in = options.close_input ? open("/dev/null", O_RDONLY) : open(input_path.c_str(), O_RDONLY);
    int out = open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0) _exit(126);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return run;
  run.started = true;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.output = ReadFileBytes(output_path);
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return run;
}

ExclusiveFileHold::ExclusiveFileHold(const std::string&) {}

ExclusiveFileHold::~ExclusiveFileHold() = default;
