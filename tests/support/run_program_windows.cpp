#include <windows.h>

#include <cstdlib>
#include <cstring>

#include <filesystem>

#include "tests/support/run_program.h"

namespace {

// Quotes one argument the way the C runtime splits command lines.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') out.append(backslashes * 2 + 1, '\\');
    else out.append(backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

// A POSIX path (as CMake knows the build) seen from Wine: drive Z: is the root.
std::string WindowsPath(const std::string& path) {
  std::string out = path;
  if (!out.empty() && out[0] == '/') out = "Z:" + out;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

HANDLE OpenInheritable(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::string ProgramPathAsSeen(const std::string& path) { return WindowsPath(path); }

std::string ProgramLogPath(const std::string&) { return "C:\\zpxsystem\\log\\veskor.log"; }

std::map<std::string, std::string> ScratchEnvironment(const std::string&) { return {}; }

ProgramRun RunProgramAndWait(const std::string& program, const std::vector<std::string>& args,
                             const ProgramOptions& options) {
  ProgramRun run;
  const std::string scratch = MakeScratchDirectory("run");
  const std::string input_path = JoinPath(scratch, "stdin");
  const std::string output_path = JoinPath(scratch, "stdout");
  WriteFileBytes(input_path, options.close_input ? std::string() : options.input);

  std::string command_line = QuoteArgument(WindowsPath(program));
  for (const std::string& arg : args) command_line += " " + QuoteArgument(arg);

  for (const auto& [name, value] : options.environment) SetEnvironmentVariableA(name.c_str(), value.c_str());

  HANDLE in = OpenInheritable(input_path, GENERIC_READ, OPEN_EXISTING);
  HANDLE out = OpenInheritable(output_path, GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = out;
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  const std::string directory = options.working_directory.empty()
                                    ? std::string()
                                    : WindowsPath(options.working_directory);
  BOOL created = CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                directory.empty() ? nullptr : directory.c_str(), &startup,
                                &process);
  const DWORD start_error = created ? 0 : GetLastError();
  for (const auto& entry : options.environment) SetEnvironmentVariableA(entry.first.c_str(), nullptr);
  CloseHandle(in);
  CloseHandle(out);
  if (!created) {
    run.failure = "CreateProcess failed with error " + std::to_string(start_error) + " (" +
                  command_line + ")";
    return run;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  run.started = true;
  run.exit_code = static_cast<int>(code);
  run.output = ReadFileBytes(output_path);
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return run;
}

bool CanRunAsAnotherUser() { return false; }

void GiveToUser(const std::string&, int) {}

ExclusiveFileHold::ExclusiveFileHold(const std::string& path) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) handle_ = handle;
}

ExclusiveFileHold::~ExclusiveFileHold() {
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
}
