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
#include <string>
#include <vector>

#include "platform/console_layout.h"
#include "platform/folder_access.h"
#include "platform/log_path_check.h"
#include "platform/run_lock_place.h"
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

std::string SidText(PSID sid);

// A fact of the program's own token as "S-1-...": the account it runs as
// (TokenUser), or the owner it gives the objects it makes (TokenOwner: the
// Administrators group when elevated, else the account). Empty when it cannot
// be read.
std::string OwnTokenSid(TOKEN_INFORMATION_CLASS which) {
  HANDLE raw_token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw_token)) return std::string();
  ScopedHandle token(raw_token);
  DWORD size = 0;
  GetTokenInformation(raw_token, which, nullptr, 0, &size);
  if (size == 0) return std::string();
  std::vector<char> buffer(size);
  if (!GetTokenInformation(raw_token, which, buffer.data(), size, &size)) return std::string();
  return SidText(which == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid
                                    : reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner);
}

std::string OwnSidText() { return OwnTokenSid(TokenUser); }

std::string SidText(PSID sid) {
  char* text = nullptr;
  if (sid == nullptr || !IsValidSid(sid) || !ConvertSidToStringSidA(sid, &text)) return std::string();
  LocalMemory hold(text);
  return text;
}

// Administrators, SYSTEM, TrustedInstaller or the account the program runs as.
bool IsTrustedOwner(PSID owner) {
  const std::string text = SidText(owner);
  return !text.empty() && IsTrustedSid(text, OwnSidText());
}

// The entries of an access list as plain facts. Entries of other kinds than
// plain allowing or denying ones (conditional, object) count as allowing
// anyone: nothing is counted on that is not understood.
std::vector<AccessEntry> EntriesOf(PACL acl) {
  std::vector<AccessEntry> entries;
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* raw = nullptr;
    if (!GetAce(acl, i, &raw)) continue;
    const auto* header = static_cast<ACE_HEADER*>(raw);
    AccessEntry entry;
    entry.inherit_only = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
      const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
      entry.allow = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
      entry.mask = ace->Mask;
      entry.sid = SidText(const_cast<DWORD*>(&ace->SidStart));
    } else {
      entry.allow = true;
      entry.mask = GENERIC_ALL;
    }
    entries.push_back(entry);
  }
  return entries;
}

// What the handle of a folder or of the log file shows: its owner, and for a
// folder what other accounts may do to it by its access list.
bool DescribePathPart(HANDLE handle, bool folder, LogPathPart* part, FolderAccess* access) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  part->is_link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (!folder) {
    part->regular_file = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    part->link_count = info.nNumberOfLinks;
  }
  PSID owner = nullptr;
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                      &owner, nullptr, &acl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  LocalMemory hold(descriptor);
  part->trusted_owner = IsTrustedOwner(owner);
  if (folder) {
    const std::vector<AccessEntry> entries = acl ? EntriesOf(acl) : std::vector<AccessEntry>();
    *access = JudgeFolderAccess(acl ? &entries : nullptr, OwnSidText());
  }
  return true;
}

// A part of the log path: for a folder, others who may add entries make it as
// unsound as others who may delete or change them (the log could be made
// first by someone else).
bool DescribeLogPathPart(HANDLE handle, bool folder, LogPathPart* part) {
  FolderAccess access;
  if (!DescribePathPart(handle, folder, part, &access)) return false;
  part->writable_by_others = access.others_may_add || access.others_may_change;
  part->sticky = false;
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
  ScopedHandle file(CreateFileA(path.c_str(),
                                FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
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

bool NameExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsLink(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool RemoveFile(const std::string& path) { return remove(path.c_str()) == 0; }

bool OwnedByAnotherAccount(const std::string&) { return false; }

bool RemoveName(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryA(path.c_str()) != 0
                                                 : DeleteFileA(path.c_str()) != 0;
}

namespace {

// "C:\" or "\\server\share\" and the folders after it, of an absolute path.
void SplitRoot(const std::string& path, std::string* root, std::vector<std::string>* parts) {
  size_t start = 0;
  if (path.compare(0, 2, "\\\\") == 0) {
    const size_t server_end = path.find('\\', 2);
    const size_t share_end = server_end == std::string::npos ? std::string::npos
                                                              : path.find('\\', server_end + 1);
    start = share_end == std::string::npos ? path.size() : share_end + 1;
  } else {
    start = path.size() >= 3 ? 3 : path.size();
  }
  *root = path.substr(0, start);
  if (!root->empty() && root->back() != '\\') *root += '\\';
  parts->clear();
  while (start < path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts->push_back(path.substr(start, end - start));
    start = end + 1;
  }
}

// Judges each folder of an absolute path from its root down, a link by its
// owner alone (what it leads to is judged with the resolved path); the last
// one is the report's own folder.
ReportPathCheck JudgeEveryFolder(const std::string& path) {
  std::string current;
  std::vector<std::string> parts;
  SplitRoot(path, &current, &parts);
  for (size_t i = 0; i <= parts.size(); ++i) {
    if (i > 0) current += (i > 1 ? "\\" : "") + parts[i - 1];
    ScopedHandle handle(CreateFileA(current.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
    if (!Valid(handle)) return {ReportPathVerdict::kFolderMissing, current};
    LogPathPart step;
    FolderAccess access;
    if (!DescribePathPart(handle.get(), true, &step, &access)) {
      return {ReportPathVerdict::kFolderOwnedByOthers, current};
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!step.is_link && GetFileInformationByHandle(handle.get(), &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return {ReportPathVerdict::kNotAFolder, current};
    }
    step.writable_by_others = access.others_may_add || access.others_may_change;
    step.sticky = !access.others_may_change;
    const ReportPathVerdict verdict = JudgeReportPathStep(step, !step.is_link && i == parts.size());
    if (verdict != ReportPathVerdict::kSound) return {verdict, current};
  }
  return {ReportPathVerdict::kSound, current};
}

}  // namespace

ReportPathCheck CheckReportPath(const std::string& path) {
  if (path.find('"') != std::string::npos) return {ReportPathVerdict::kHoldsQuote, path};
  const size_t cut = path.find_last_of("\\/");
  const std::string folder = cut == std::string::npos ? "." : path.substr(0, cut + 1);
  std::vector<char> full(32768);
  const DWORD length =
      GetFullPathNameA(folder.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return {ReportPathVerdict::kFolderMissing, folder};
  std::string written(full.data(), length);
  while (written.size() > 3 && written.back() == '\\') written.pop_back();

  // The way as written, links not followed; then the way the system resolves.
  ReportPathCheck check = JudgeEveryFolder(written);
  if (check.verdict != ReportPathVerdict::kSound) return check;
  ScopedHandle handle(CreateFileA(written.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!Valid(handle)) return {ReportPathVerdict::kFolderMissing, written};
  const DWORD resolved_length = GetFinalPathNameByHandleA(
      handle.get(), full.data(), static_cast<DWORD>(full.size()), FILE_NAME_NORMALIZED);
  if (resolved_length == 0 || resolved_length >= full.size()) {
    return {ReportPathVerdict::kFolderMissing, written};
  }
  std::string resolved(full.data(), resolved_length);
  if (resolved.compare(0, 8, "\\\\?\\UNC\\") == 0) {
    resolved = "\\" + resolved.substr(7);
  } else if (resolved.compare(0, 4, "\\\\?\\") == 0) {
    resolved = resolved.substr(4);
  }
  while (resolved.size() > 3 && resolved.back() == '\\') resolved.pop_back();
  return resolved == written ? check : JudgeEveryFolder(resolved);
}

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

void KeepRunningWithoutConsole() {
  // A write to a console or pipe that went away fails; nothing ends the run.
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

namespace {

// Administrators and SYSTEM only, for the namespace and the mutex.
constexpr char kRunLockAccess[] = "D:P(A;;GA;;;BA)(A;;GA;;;SY)";
constexpr wchar_t kRunLockNamespace[] = L"KXVaReviv-P3P";

std::string ErrorText(const char* what, DWORD error) {
  return std::string(what) + " (error " + std::to_string(error) + ")";
}

// The private namespace of the run lock, open for the rest of the process's
// life. False with `why` when it cannot be made or opened; true with
// `*available` false when the system has no private namespaces.
bool OpenRunLockNamespace(SECURITY_ATTRIBUTES* attributes, bool* available, std::string* why) {
  // Looked up, not imported: a static import of a function that the system
  // lacks or does not implement (Wine) would stop the program.
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  using CreateBoundary = HANDLE(WINAPI*)(LPCWSTR, ULONG);
  using AddSid = BOOL(WINAPI*)(HANDLE*, PSID);
  using DeleteBoundary = VOID(WINAPI*)(HANDLE);
  using CreateNamespace = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
  using OpenNamespace = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
  const auto lookup = [kernel](const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(kernel, name));
  };
  const auto create_boundary = reinterpret_cast<CreateBoundary>(lookup("CreateBoundaryDescriptorW"));
  const auto add_sid = reinterpret_cast<AddSid>(lookup("AddSIDToBoundaryDescriptor"));
  const auto delete_boundary = reinterpret_cast<DeleteBoundary>(lookup("DeleteBoundaryDescriptor"));
  const auto create_namespace = reinterpret_cast<CreateNamespace>(lookup("CreatePrivateNamespaceW"));
  const auto open_namespace = reinterpret_cast<OpenNamespace>(lookup("OpenPrivateNamespaceW"));
  const bool found = create_boundary && add_sid && delete_boundary && create_namespace &&
                     open_namespace;
  HANDLE boundary = found ? create_boundary(kRunLockNamespace, 0) : nullptr;
  *available = ChooseRunLockPlace(found, boundary != nullptr) == RunLockPlace::kPrivateNamespace;
  if (!*available) return true;

  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof administrators;
  HANDLE space = nullptr;
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
      !add_sid(&boundary, administrators)) {
    *why = ErrorText("the namespace boundary cannot be made", GetLastError());
  } else {
    space = create_namespace(attributes, boundary, kRunLockNamespace);
    if (space == nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
      space = open_namespace(boundary, kRunLockNamespace);
    }
    if (space == nullptr) *why = ErrorText("the private namespace cannot be opened", GetLastError());
  }
  delete_boundary(boundary);
  return space != nullptr;  // never closed: the mutex lives in it
}

}  // namespace

RunLock TakeRunLock(const std::string&, std::string* why) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kRunLockAccess, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    *why = ErrorText("its access list cannot be made", GetLastError());
    return RunLock::kUnavailable;
  }
  LocalMemory hold(descriptor);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  bool in_namespace = false;
  if (!OpenRunLockNamespace(&attributes, &in_namespace, why)) return RunLock::kUnavailable;

  const wchar_t* name = in_namespace ? L"KXVaReviv-P3P\\run-lock" : L"Global\\KXVaReviv-P3P-run-lock";
  HANDLE mutex = CreateMutexW(&attributes, FALSE, name);
  if (mutex == nullptr) {
    *why = ErrorText("the run lock cannot be made or opened", GetLastError());
    return RunLock::kUnavailable;
  }
  if (!in_namespace) {
    const bool made_here = GetLastError() != ERROR_ALREADY_EXISTS;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR found = nullptr;
    const bool owner_read = GetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION,
                                            &owner, nullptr, nullptr, nullptr, &found) ==
                            ERROR_SUCCESS;
    LocalMemory hold_found(found);
    // Made by a run of this account, or of administrators, when its owner is
    // the one this run's own objects get.
    const bool owner_known = owner_read && owner != nullptr;
    const bool owner_trusted = owner_known && (IsTrustedOwner(owner) ||
                                               SidText(owner) == OwnTokenSid(TokenOwner));
    if (!TrustGlobalRunLock(made_here, owner_known, owner_trusted)) {
      CloseHandle(mutex);
      *why = "the run lock was made by another account";
      return RunLock::kUnavailable;
    }
  }
  // Abandoned: the run that held it ended without letting go; it is ours now.
  const DWORD waited = WaitForSingleObject(mutex, 0);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return RunLock::kTaken;
  CloseHandle(mutex);
  if (waited == WAIT_TIMEOUT) return RunLock::kHeldByAnotherRun;
  *why = ErrorText("the run lock cannot be waited for", GetLastError());
  return RunLock::kUnavailable;
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
