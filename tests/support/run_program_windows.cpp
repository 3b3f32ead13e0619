#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <thread>
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

// The temporary directory comes from TMP (then TEMP) on Windows: each test's
// runs get one of their own, as TMPDIR gives them on POSIX.
std::map<std::string, std::string> ScratchEnvironment(const std::string& scratch) {
  const std::string temp = JoinPath(scratch, "tmp");
  return {{"TMP", temp}, {"TEMP", temp}};
}

namespace {

// This process's environment with `changes` made, as the block CreateProcess
// takes ("NAME=value\0...\0\0"). Built for each child, so that runs started
// from several threads at once never see each other's changes.
std::string EnvironmentBlock(const std::map<std::string, std::string>& changes) {
  std::string block;
  char* strings = GetEnvironmentStringsA();
  for (const char* entry = strings; entry != nullptr && *entry != '\0';
       entry += std::strlen(entry) + 1) {
    const std::string text(entry);
    const size_t equals = text.find('=', 1);  // "=C:=C:\\..." entries start with '='
    const std::string name = text.substr(0, equals);
    bool changed = false;
    for (const auto& change : changes) changed = changed || _stricmp(change.first.c_str(), name.c_str()) == 0;
    if (!changed) block += text + '\0';
  }
  if (strings != nullptr) FreeEnvironmentStringsA(strings);
  for (const auto& [name, value] : changes) block += name + "=" + value + '\0';
  block += '\0';
  return block;
}

}  // namespace

ProgramRun RunProgramAndWait(const std::string& program, const std::vector<std::string>& args,
                             const ProgramOptions& options) {
  ProgramRun run;
  const std::string scratch = MakeScratchDirectory("run");
  const std::string input_path = JoinPath(scratch, "stdin");
  const std::string output_path = JoinPath(scratch, "stdout");
  WriteFileBytes(input_path, options.close_input ? std::string() : options.input);

  std::string command_line = QuoteArgument(WindowsPath(program));
  for (const std::string& arg : args) command_line += " " + QuoteArgument(arg);

  std::string environment = EnvironmentBlock(options.environment);

  HANDLE in = INVALID_HANDLE_VALUE;
  HANDLE delayed = nullptr;  // the pipe's writing end
  if (options.input_delay_ms > 0) {
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
    if (!CreatePipe(&in, &delayed, &security, 0)) return run;
    SetHandleInformation(delayed, HANDLE_FLAG_INHERIT, 0);
  } else {
    in = OpenInheritable(input_path, GENERIC_READ, OPEN_EXISTING);
  }
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
  BOOL created = CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, TRUE, 0, &environment[0],
                                directory.empty() ? nullptr : directory.c_str(), &startup,
                                &process);
  const DWORD start_error = created ? 0 : GetLastError();
  CloseHandle(in);
  CloseHandle(out);
  if (!created) {
    if (delayed != nullptr) CloseHandle(delayed);
    run.failure = "CreateProcess failed with error " + std::to_string(start_error) + " (" +
                  command_line + ")";
    return run;
  }
  std::thread writer;
  if (delayed != nullptr) {
    writer = std::thread([&options, delayed] {
      std::this_thread::sleep_for(std::chrono::milliseconds(options.input_delay_ms));
      DWORD written = 0;
      WriteFile(delayed, options.input.data(), static_cast<DWORD>(options.input.size()), &written,
                nullptr);
      CloseHandle(delayed);
    });
  }
  if (options.while_running) options.while_running(static_cast<int>(process.dwProcessId));
  WaitForSingleObject(process.hProcess, INFINITE);
  if (writer.joinable()) writer.join();
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

bool CanSendInterrupts() {
  HANDLE console =
      CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (console == INVALID_HANDLE_VALUE) return false;
  CloseHandle(console);
  return true;
}

namespace {

BOOL WINAPI TakeCtrlC(DWORD event) { return event == CTRL_C_EVENT; }

}  // namespace

bool SendInterrupt(int, Interrupt interrupt) {
  if (interrupt != Interrupt::kKeyboard) return false;
  // Ctrl+C as the console sends it: to every process attached to it, this one
  // too, which takes it as handled (handlers are not inherited). Sent to one
  // process group it would reach no one: a new group starts with Ctrl+C off.
  // (Ctrl+Break, which a new group does get, Wine does not deliver.)
  SetConsoleCtrlHandler(TakeCtrlC, TRUE);
  return GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
}
