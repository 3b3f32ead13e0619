// Windows implementation of the operating-system layer.
#include <windows.h>
#include <psapi.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "platform/os.h"

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

bool MakeDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

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
  SMALL_RECT window = {0, 0, static_cast<SHORT>(width - 1), static_cast<SHORT>(height - 1)};
  SetConsoleWindowInfo(console, TRUE, &window);
  COORD size = {static_cast<SHORT>(width), static_cast<SHORT>(height)};
  SetConsoleScreenBufferSize(console, size);
}

bool OwnFileVersion(FileVersion* version) {
  char path[kMaxPath] = {0};
  DWORD length = GetModuleFileNameA(nullptr, path, kMaxPath);
  if (length == 0 || length >= kMaxPath) return false;
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return false;
  std::unique_ptr<char[]> data(new char[size]);
  if (!GetFileVersionInfoA(path, 0, size, data.get())) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  if (!VerQueryValueA(data.get(), "\\", reinterpret_cast<void**>(&fixed), &fixed_size) ||
      fixed == nullptr || fixed_size < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  version->major = HIWORD(fixed->dwFileVersionMS);
  version->minor = LOWORD(fixed->dwFileVersionMS);
  version->patch = HIWORD(fixed->dwFileVersionLS);
  version->build = LOWORD(fixed->dwFileVersionLS);
  return true;
}

bool StartAndWait(const std::string& command_text, uint32_t* exit_code) {
  std::string command_line = command_text;  // CreateProcessA may write to it
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  if (!CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, TRUE,
                      CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  ScopedHandle process_handle(process.hProcess);
  ScopedHandle thread_handle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  *exit_code = code;
  return true;
}

bool RunningProcessNames(std::vector<std::string>* names) {
  names->clear();
  DWORD ids[1024];
  DWORD bytes = 0;
  if (!EnumProcesses(ids, sizeof ids, &bytes)) return false;
  DWORD count = bytes / sizeof(DWORD);
  for (DWORD i = 0; i < count; ++i) {
    if (ids[i] == 0) continue;
    ScopedHandle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]));
    if (!process) continue;
    HMODULE module = nullptr;
    DWORD needed = 0;
    if (!EnumProcessModules(process.get(), &module, sizeof module, &needed)) continue;
    char name[kMaxPath] = {0};
    if (GetModuleBaseNameA(process.get(), module, name, kMaxPath) == 0) continue;
    names->push_back(name);
  }
  return true;
}

void SleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

}  // namespace os
