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

#include "platform/report_path_check.h"

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

/// True when a file, folder or link of that name exists; links are not
/// followed, so a link that leads nowhere counts.
bool NameExists(const std::string& path);

/// True when `path` itself is a symbolic link (Windows: any reparse point).
bool IsLink(const std::string& path);

/// Deletes a file, or a link as a name (never what it leads to). False when it
/// could not be deleted; on POSIX also, as on Windows, a file without any
/// write permission bit or one that another process has open.
bool RemoveFile(const std::string& path);

/// POSIX: true when the file or folder `path` (a link itself, not followed)
/// belongs to another account than root or the one the program runs as.
/// Windows: false; the flash tool's lock file is judged by name alone there.
bool OwnedByAnotherAccount(const std::string& path);

/// Deletes `path` as a name whatever its permissions or who has it open (an
/// empty folder too). False when it could not be deleted.
bool RemoveName(const std::string& path);

/// Judges the way to a report file (see report_path_check.h): every folder from
/// the root down to the report's own one, links followed and judged too.
/// Relative paths start at the current directory.
ReportPathCheck CheckReportPath(const std::string& path);

/// Titles the console window; on POSIX only when standard output is a terminal.
void SetWindowTitle(const std::string& title);

/// Sizes the console window and its buffer to `width` x `height` when standard
/// output is a console; does nothing when it is redirected.
void SizeConsole(int width, int height);

/// Windows: from here on, libraries are looked for in the system folder only,
/// never beside the program or in the current folder, where someone else may
/// have planted one. Called first thing. Nothing to do on POSIX.
void RestrictLibrarySearch();

/// POSIX: from here on a console that went away (its pipe closed) makes
/// console writes fail instead of ending the program, as on Windows, so that
/// the run still logs what it did and ends with its exit code. Children start
/// with the default action again. Nothing to do on Windows.
void KeepRunningWithoutConsole();

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
/// looked up in the running program's directory first; Windows hands the text
/// to the child as it is, POSIX splits it as SplitCommandText does), waits for it
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
/// False when the process list itself cannot be read in full (POSIX: /proc is
/// not the process file system, or this program cannot see itself there).
bool RunningProcessNames(std::vector<std::string>* names);

/// The outcome of taking the utility's own run lock.
enum class RunLock {
  kTaken,            ///< held by this process until it ends
  kHeldByAnotherRun, ///< another run of the utility holds it
  kUnavailable,      ///< it cannot be taken here (why says so); the run must not go on
};

/// Takes the lock that keeps two runs of the utility from working at once, for
/// the rest of this process's life: the system releases it when the process
/// ends, however it ends. It lies where only an administrator can make it, so
/// that no other account can plant it, hold it or split the runs. Windows: a
/// mutex in a private namespace whose boundary holds the Administrators group;
/// where the system has no private namespaces (Wine), the Global mutex, made
/// with an access list for Administrators and SYSTEM and trusted only when one
/// of them or this account made it. POSIX: an advisory lock (flock) on the
/// 0600 file "kxvareviv_run.lock" in `system_folder` (the log's
/// "<drive>/zpxsystem", made and judged as for the log); `system_folder` is not
/// used on Windows. With kUnavailable, `why` tells the reason in a few words.
RunLock TakeRunLock(const std::string& system_folder, std::string* why);

/// Pauses the calling thread.
void SleepMilliseconds(unsigned milliseconds);

}  // namespace os

#endif  // KX_PLATFORM_OS_H_
