// The narrow interface to the operating system. Everything above it is plain
// portable C++; each platform has one implementation file (platform/posix,
// platform/windows), chosen by CMake.
#ifndef KX_PLATFORM_OS_H_
#define KX_PLATFORM_OS_H_

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace os {

/// The separator the program puts between path components: '\' on Windows, '/' on POSIX.
char PathSeparator();

/// True for a character after which the usage text cuts the program path:
/// '\' everywhere, and '/' too on POSIX.
bool IsProgramPathSeparator(char c);

/// Drive of the system directory: "C:" on Windows (empty when the directory
/// cannot be read); on POSIX the value of SystemDrive, or empty when unset.
std::string SystemDrive();

/// Opens the log file `path` for appending in text mode, creating it when
/// missing, only through a path that no one else controls: the file's folder
/// and that folder's parent are neither links nor junctions, belong to the
/// program's own account or the system's, and (POSIX) are not writable by
/// others without the sticky bit; the file is a plain file with one link and
/// not a link itself (see log_path_check.h). With `create_folders`, the two
/// folders are made first where missing, one after the other and each only
/// inside a folder that passed: on Windows with an access list of their own
/// that gives Administrators and SYSTEM full control and users read access,
/// on POSIX with mode 0755. Null when the path is not trustworthy or the file
/// cannot be opened; the caller treats both alike.
std::FILE* OpenLogForAppend(const std::string& path, bool create_folders);

/// Temporary directory, ending in the path separator. False (and `path` left
/// empty) when there is none or it would need 260 characters or more.
bool TempDirectory(std::string* path);

/// True when the file-status query succeeds for `path` (directories count).
bool FileStatus(const std::string& path);

/// True when `path` names an existing directory.
bool IsDirectory(const std::string& path);

/// Deletes a file. False when it could not be deleted; on POSIX also, as on
/// Windows, a file without any write permission bit or one that another
/// process has open.
bool RemoveFile(const std::string& path);

/// Titles the console window; on POSIX only when standard output is a terminal.
void SetWindowTitle(const std::string& title);

/// Sizes the console window and its buffer to `width` x `height` when standard
/// output is a console; does nothing when it is redirected.
void SizeConsole(int width, int height);

/// Windows: from here on, libraries are looked for in the system folder only,
/// never beside the program or in the current folder, where someone else may
/// have planted one. Called first thing. Nothing to do on POSIX.
void RestrictLibrarySearch();

/// The four numbers of the running program's own file version.
struct FileVersion {
  uint16_t major = 0;
  uint16_t minor = 0;
  uint16_t patch = 0;
  uint16_t build = 0;
};

/// Reads the running executable's version (its version resource on Windows).
/// False when it cannot be read.
bool OwnFileVersion(FileVersion* version);

/// Starts `command_text` as a child process (the first word names the program,
/// looked up in the running program's directory first; no quoting), waits for it
/// without time limit, and stores its exit code. False when the child could not
/// be started; `exit_code` is then left untouched for the caller to set.
bool StartAndWait(const std::string& command_text, uint32_t* exit_code);

/// StartAndWait for a child that must never be cut short from the console: it
/// runs in a process group of its own (Windows: CREATE_NEW_PROCESS_GROUP), so
/// that the keyboard's or a hang-up's signals do not reach it, and until it
/// ends this program holds Ctrl+C and Ctrl+Break (POSIX: SIGINT, SIGQUIT,
/// SIGHUP and SIGTERM; one that the program ignores stays ignored) instead of
/// ending. `on_interrupt` is called once, on the calling thread, when the first
/// one arrives (at the latest before this returns); `interrupted` tells whether
/// one did. Windows also keeps the system awake meanwhile. Afterwards every
/// interrupt acts as it did before.
bool StartAndWaitShielded(const std::string& command_text, uint32_t* exit_code,
                          const std::function<void()>& on_interrupt, bool* interrupted);

/// Base names of the main modules of the running processes that can be
/// examined, in listing order; processes that cannot be opened are skipped.
/// False when the process list itself cannot be read.
bool RunningProcessNames(std::vector<std::string>* names);

/// The outcome of taking the utility's own run lock.
enum class RunLock {
  kTaken,            ///< held by this process until it ends
  kHeldByAnotherRun, ///< another run of the utility holds it
  kUnavailable,      ///< it cannot be made here; the run goes on without it
};

/// Takes the lock that keeps two runs of the utility from working at once, for
/// the rest of this process's life: the system releases it when the process
/// ends, however it ends. Windows: a named mutex in the Global namespace, so
/// that every session and account meets it (the session's namespace where a
/// global object is refused); `temp_directory` is not used. POSIX: an advisory
/// lock (flock) on "kxvareviv_run.lock" in `temp_directory` (ending in the
/// separator), so that runs with different temporary directories do not meet.
/// A lock file that is a link, not a plain file, or owned by another user than
/// root or this program's is not trusted: kUnavailable, as with no directory.
RunLock TakeRunLock(const std::string& temp_directory);

/// Pauses the calling thread.
void SleepMilliseconds(unsigned milliseconds);

}  // namespace os

#endif  // KX_PLATFORM_OS_H_
