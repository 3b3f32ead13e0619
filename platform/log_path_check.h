// Whether the log may be written through a path: the log lies at a fixed place
// in the root of the system drive, where on Windows any user may create the
// folders first, and the utility runs as an administrator or as SYSTEM. A link
// or junction planted there, or a folder that someone else controls, would let
// that someone choose the file the run appends to. Each platform gathers the
// facts about the three parts of the path; this decides, on every platform.
#ifndef KX_PLATFORM_LOG_PATH_CHECK_H_
#define KX_PLATFORM_LOG_PATH_CHECK_H_

#include <cstdint>

namespace os {

/// What the operating system says about one part of the log path: the
/// "zpxsystem" folder, the "log" folder inside it, or the log file.
struct LogPathPart {
  /// A symbolic link, or on Windows any reparse point (junction, mount point).
  bool is_link = false;
  /// Owned by the account the program runs as or by the system (root;
  /// Administrators, SYSTEM or TrustedInstaller).
  bool trusted_owner = true;
  /// Folders: group or others may write (Windows: another account's entry in
  /// the access list lets it add, delete or change), and the sticky bit, which
  /// keeps them from removing or renaming what they do not own (Windows: they
  /// may add entries but have no right to delete or change).
  bool writable_by_others = false;
  bool sticky = false;
  /// The file: a plain file (not a device, a pipe or a folder).
  bool regular_file = true;
  /// The file: its number of hard links.
  uint32_t link_count = 1;
};

enum class LogPathVerdict {
  kTrusted,
  kFolderIsLink,
  kFolderOwnedByOthers,
  kFolderWritableByOthers,
  kFileIsLink,
  kFileNotRegular,
  kFileOwnedByOthers,
  kFileHasOtherLinks,
};

/// The verdict on the folders alone (before the file is opened or created).
LogPathVerdict JudgeLogFolders(const LogPathPart& system_folder, const LogPathPart& log_folder);

/// The verdict on the whole path, the file as it was opened.
LogPathVerdict JudgeLogPath(const LogPathPart& system_folder, const LogPathPart& log_folder,
                            const LogPathPart& file);

/// A short text for a verdict, for traces and test messages.
const char* LogPathVerdictText(LogPathVerdict verdict);

}  // namespace os

#endif  // KX_PLATFORM_LOG_PATH_CHECK_H_
