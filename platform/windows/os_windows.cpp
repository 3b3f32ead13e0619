// Windows implementation of the operating-system layer.
#include <windows.h>
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <psapi.h>
#include <sddl.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/log_path_check.h"
#include "platform/console_layout.h"
#include "platform/os.h"
#include "platform/process_list.h"
#include "platform/windows/log_folder_access.h"

namespace os {
namespace {

constexpr DWORD kMaxPath = 260;

// Closes a kernel handle when it goes out of scope.
struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};
using ScopedHandle = std::unique_ptr<void, HandleCloser>;

bool Valid(const ScopedHandle& handle) {
  return handle && handle.get() != INVALID_HANDLE_VALUE;
}

// Frees memory that the security functions allocated.
struct LocalFreer {
  void operator()(void* memory) const {
    if (memory) LocalFree(memory);
  }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

// The account that installs and services system files.
constexpr char kTrustedInstallerSid[] =
    "S-1-5-80-956008885-3418522649-1831038044-1847922149-1085735405";

// Administrators, SYSTEM, TrustedInstaller or the account the program runs as.
bool IsTrustedOwner(PSID owner) {
  if (owner == nullptr || !IsValidSid(owner)) return false;
  if (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
      IsWellKnownSid(owner, WinLocalSystemSid)) {
    return true;
  }
  PSID installer = nullptr;
  if (ConvertStringSidToSidA(kTrustedInstallerSid, &installer)) {
    LocalMemory hold(installer);
    if (EqualSid(owner, installer)) return true;
  }
  HANDLE raw_token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw_token)) return false;
  ScopedHandle token(raw_token);
  DWORD size = 0;
  GetTokenInformation(raw_token, TokenUser, nullptr, 0, &size);
  if (size == 0) return false;
  std::vector<char> buffer(size);
  if (!GetTokenInformation(raw_token, TokenUser, buffer.data(), size, &size)) return false;
  return EqualSid(owner, reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid) != 0;
}

// What the handle of a folder or of the log file shows.
bool DescribeLogPathPart(HANDLE handle, bool folder, LogPathPart* part) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  part->is_link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (!folder) {
    part->regular_file = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    part->link_count = info.nNumberOfLinks;
    return true;
  }
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  LocalMemory hold(descriptor);
  part->trusted_owner = IsTrustedOwner(owner);
  return true;
}

// A folder of the log path itself: a junction, mount point or link is opened,
// not followed. Kept open (without delete sharing) while the next part is
// looked at, so that it cannot be renamed or replaced meanwhile.
ScopedHandle OpenLogFolder(const std::string& path) {
  return ScopedHandle(CreateFileA(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
}

// Creates a folder of the log path with its own access list; an existing
// folder keeps the one it has.
void MakeLogFolder(const std::string& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kLogFolderAccess, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return;
  }
  LocalMemory hold(descriptor);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  CreateDirectoryA(path.c_str(), &attributes);
}

}  // namespace

char PathSeparator() { return '\\'; }

bool IsProgramPathSeparator(char c) { return c == '\\'; }

std::string SystemDrive() {
  char directory[kMaxPath] = {0};
  UINT length = GetSystemDirectoryA(directory, kMaxPath);
  if (length == 0 || length >= kMaxPath) return std::string();
  // The drive part: at most two characters ("C:").
  std::string text(directory);
  size_t colon = text.find(':');
  if (colon == std::string::npos || colon > 1) return std::string();
  return text.substr(0, colon + 1);
}

std::FILE* OpenLogForAppend(const std::string& path, bool create_folders) {
  const size_t file_separator = path.find_last_of("\\/");
  if (file_separator == std::string::npos) return nullptr;
  const std::string log_folder = path.substr(0, file_separator);
  const size_t log_separator = log_folder.find_last_of("\\/");
  if (log_separator == std::string::npos) return nullptr;
  const std::string system_folder = log_folder.substr(0, log_separator);

  // Each folder is looked at before anything is made inside it.
  LogPathPart system_part, log_part, file_part;
  if (create_folders) MakeLogFolder(system_folder);
  ScopedHandle system_handle = OpenLogFolder(system_folder);
  if (!Valid(system_handle) || !DescribeLogPathPart(system_handle.get(), true, &system_part) ||
      JudgeLogFolders(system_part, LogPathPart{}) != LogPathVerdict::kTrusted) {
    return nullptr;
  }
  if (create_folders) MakeLogFolder(log_folder);
  ScopedHandle log_handle = OpenLogFolder(log_folder);
  if (!Valid(log_handle) || !DescribeLogPathPart(log_handle.get(), true, &log_part) ||
      JudgeLogFolders(system_part, log_part) != LogPathVerdict::kTrusted) {
    return nullptr;
  }

  // Appending only: the handle cannot overwrite what the file holds.
  ScopedHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!Valid(file) || !DescribeLogPathPart(file.get(), false, &file_part) ||
      JudgeLogPath(system_part, log_part, file_part) != LogPathVerdict::kTrusted) {
    return nullptr;
  }
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_APPEND | _O_TEXT);
  if (descriptor < 0) return nullptr;
  file.release();  // the descriptor owns the handle now
  std::FILE* stream = _fdopen(descriptor, "a");
  if (stream == nullptr) _close(descriptor);
  return stream;
}

bool TempDirectory(std::string* path) {
  path->clear();
  char buffer[kMaxPath] = {0};
  DWORD length = GetTempPathA(kMaxPath, buffer);
  if (length == 0 || length > kMaxPath) return false;
  *path = buffer;
  return true;
}

bool FileStatus(const std::string& path) {
  struct _stat64i32 st;
  return _stat64i32(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct _stat64i32 st;
  return _stat64i32(path.c_str(), &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
}

bool RemoveFile(const std::string& path) { return remove(path.c_str()) == 0; }

void SetWindowTitle(const std::string& title) { SetConsoleTitleA(title.c_str()); }

void SizeConsole(int width, int height) {
  HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info;
  // No console (output redirected): leave everything as it is.
  if (!GetConsoleScreenBufferInfo(console, &info)) return;
  const ConsoleLayout layout = PlanConsoleLayout(
      {info.dwSize.X, info.dwSize.Y},
      {info.srWindow.Right - info.srWindow.Left + 1, info.srWindow.Bottom - info.srWindow.Top + 1},
      info.srWindow.Top, {width, height});
  // The buffer first: only a buffer that holds the new window lets it be set.
  const COORD size = {static_cast<SHORT>(layout.buffer.width),
                      static_cast<SHORT>(layout.buffer.height)};
  SetConsoleScreenBufferSize(console, size);
  const SMALL_RECT window = {0, static_cast<SHORT>(layout.window_top),
                             static_cast<SHORT>(layout.window.width - 1),
                             static_cast<SHORT>(layout.window_top + layout.window.height - 1)};
  SetConsoleWindowInfo(console, TRUE, &window);
}

void RestrictLibrarySearch() {
  // Present since Windows 8 (and 7 with its update): looked up, not imported.
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  const auto set_directories = reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  if (set_directories != nullptr) set_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

bool OwnFileVersion(FileVersion* version) {
  char path[kMaxPath] = {0};
  DWORD length = GetModuleFileNameA(nullptr, path, kMaxPath);
  if (length == 0 || length >= kMaxPath) return false;
  // VERSION.dll is no known DLL: imported, it would be looked for beside the
  // program first, where anyone who can write the package folder could plant
  // one. It is loaded from the system folder only, and never freed.
  static const HMODULE library = LoadLibraryExA("version.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library == nullptr) return false;
  using GetSize = DWORD(WINAPI*)(LPCSTR, LPDWORD);
  using GetInfo = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
  using Query = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
  const auto get_size = reinterpret_cast<GetSize>(
      reinterpret_cast<void*>(GetProcAddress(library, "GetFileVersionInfoSizeA")));
  const auto get_info = reinterpret_cast<GetInfo>(
      reinterpret_cast<void*>(GetProcAddress(library, "GetFileVersionInfoA")));
  const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(library, "VerQueryValueA")));
  if (get_size == nullptr || get_info == nullptr || query == nullptr) return false;
  DWORD ignored = 0;
  DWORD size = get_size(path, &ignored);
  if (size == 0) return false;
  std::unique_ptr<char[]> data(new char[size]);
  if (!get_info(path, 0, size, data.get())) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  if (!query(data.get(), "\\", reinterpret_cast<void**>(&fixed), &fixed_size) ||
      fixed == nullptr || fixed_size < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  version->major = HIWORD(fixed->dwFileVersionMS);
  version->minor = LOWORD(fixed->dwFileVersionMS);
  version->patch = HIWORD(fixed->dwFileVersionLS);
  version->build = LOWORD(fixed->dwFileVersionLS);
  return true;
}

namespace {

// Starts `command_text` with `flags` added to the usual ones; false when it
// cannot be started.
bool StartChild(const std::string& command_text, DWORD flags, PROCESS_INFORMATION* process) {
  std::string command_line = command_text;  // CreateProcessA may write to it
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  ZeroMemory(process, sizeof *process);
  return CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS | flags, nullptr, nullptr,
                        &startup, process) != 0;
}

// Set when Ctrl+C or Ctrl+Break arrives during a shielded call. Windows runs
// the control handler on a thread of its own, hence atomic.
std::atomic<bool> interrupt_seen{false};

BOOL WINAPI NoteInterrupt(DWORD event) {
  // A closed window, a logoff or a shutdown cannot be held off: the system
  // ends the process soon after this returns, whatever it returns.
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  interrupt_seen = true;
  return TRUE;
}

// How often the wait looks at the flag: the notice comes at most this late.
constexpr DWORD kInterruptPollMs = 100;

}  // namespace

bool StartAndWait(const std::string& command_text, uint32_t* exit_code) {
  PROCESS_INFORMATION process;
  if (!StartChild(command_text, 0, &process)) return false;
  ScopedHandle process_handle(process.hProcess);
  ScopedHandle thread_handle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  *exit_code = code;
  return true;
}

bool StartAndWaitShielded(const std::string& command_text, uint32_t* exit_code,
                          const std::function<void()>& on_interrupt, bool* interrupted) {
  interrupt_seen = false;
  // Neither sleep nor a Ctrl+C or Ctrl+Break of this console may cut the call
  // short: a new process group does not get them (and starts with Ctrl+C
  // disabled), and this program takes them itself until the child ends.
  SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
  SetConsoleCtrlHandler(NoteInterrupt, TRUE);
  bool said = false;
  PROCESS_INFORMATION process;
  const bool ran = StartChild(command_text, CREATE_NEW_PROCESS_GROUP, &process);
  if (ran) {
    ScopedHandle process_handle(process.hProcess);
    ScopedHandle thread_handle(process.hThread);
    while (WaitForSingleObject(process.hProcess, kInterruptPollMs) == WAIT_TIMEOUT) {
      if (interrupt_seen && !said) {
        said = true;
        on_interrupt();
      }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    *exit_code = code;
  }
  SetConsoleCtrlHandler(NoteInterrupt, FALSE);
  SetThreadExecutionState(ES_CONTINUOUS);
  *interrupted = interrupt_seen;
  if (*interrupted && !said) on_interrupt();
  return ran;
}

RunLock TakeRunLock(const std::string&) {
  static const char kGlobalName[] = "Global\\KXVaReviv-P3P-run-lock";
  static const char kSessionName[] = "Local\\KXVaReviv-P3P-run-lock";
  HANDLE mutex = CreateMutexA(nullptr, FALSE, kGlobalName);
  if (mutex == nullptr && GetLastError() == ERROR_ACCESS_DENIED) {
    mutex = CreateMutexA(nullptr, FALSE, kSessionName);
  }
  if (mutex == nullptr) return RunLock::kUnavailable;
  // Abandoned: the run that held it ended without letting go; it is ours now.
  const DWORD waited = WaitForSingleObject(mutex, 0);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return RunLock::kTaken;
  CloseHandle(mutex);
  return waited == WAIT_TIMEOUT ? RunLock::kHeldByAnotherRun : RunLock::kUnavailable;
}

namespace {

// The process services of Windows, for the portable list reader.
class WindowsProcessSource : public ProcessSource {
 public:
  bool ListIds(uint32_t* ids, size_t capacity, size_t* returned) override {
    static_assert(sizeof(DWORD) == sizeof(uint32_t), "process ids are 32 bits");
    DWORD bytes = 0;
    const size_t most = capacity > MAXDWORD / sizeof(DWORD) ? MAXDWORD / sizeof(DWORD) : capacity;
    if (!EnumProcesses(reinterpret_cast<DWORD*>(ids), static_cast<DWORD>(most * sizeof(DWORD)),
                       &bytes)) {
      return false;
    }
    *returned = bytes / sizeof(DWORD);
    return true;
  }
  bool ModuleBaseName(uint32_t id, std::string* name) override {
    ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
    if (!process) return false;
    HMODULE module = nullptr;
    DWORD needed = 0;
    if (!EnumProcessModules(process.get(), &module, sizeof module, &needed)) return false;
    char text[kMaxPath] = {0};
    if (GetModuleBaseNameA(process.get(), module, text, kMaxPath) == 0) return false;
    *name = text;
    return true;
  }
  bool ImagePath(uint32_t id, std::string* path) override {
    ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (!process) return false;
    char text[32768];
    DWORD length = sizeof text;
    if (!QueryFullProcessImageNameA(process.get(), 0, text, &length)) return false;
    path->assign(text, length);
    return true;
  }
};

}  // namespace

bool RunningProcessNames(std::vector<std::string>* names) {
  WindowsProcessSource source;
  return ProcessNamesFrom(source, names);
}

void SleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

}  // namespace os
