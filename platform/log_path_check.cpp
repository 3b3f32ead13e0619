// Portable: no operating-system calls here; both builds compile and test it.
#include "platform/log_path_check.h"

namespace os {
namespace {

LogPathVerdict JudgeFolder(const LogPathPart& folder) {
  if (folder.is_link) return LogPathVerdict::kFolderIsLink;
  if (!folder.trusted_owner) return LogPathVerdict::kFolderOwnedByOthers;
  if (folder.writable_by_others && !folder.sticky) return LogPathVerdict::kFolderWritableByOthers;
  return LogPathVerdict::kTrusted;
}

}  // namespace

LogPathVerdict JudgeLogFolders(const LogPathPart& system_folder, const LogPathPart& log_folder) {
  const LogPathVerdict outer = JudgeFolder(system_folder);
  return outer != LogPathVerdict::kTrusted ? outer : JudgeFolder(log_folder);
}

LogPathVerdict JudgeLogPath(const LogPathPart& system_folder, const LogPathPart& log_folder,
                            const LogPathPart& file) {
  const LogPathVerdict folders = JudgeLogFolders(system_folder, log_folder);
  if (folders != LogPathVerdict::kTrusted) return folders;
  if (file.is_link) return LogPathVerdict::kFileIsLink;
  if (!file.regular_file) return LogPathVerdict::kFileNotRegular;
  if (!file.trusted_owner) return LogPathVerdict::kFileOwnedByOthers;
  if (file.link_count > 1) return LogPathVerdict::kFileHasOtherLinks;
  return LogPathVerdict::kTrusted;
}

const char* LogPathVerdictText(LogPathVerdict verdict) {
  switch (verdict) {
    case LogPathVerdict::kTrusted:
      return "trusted";
    case LogPathVerdict::kFolderIsLink:
      return "a folder is a link or junction";
    case LogPathVerdict::kFolderOwnedByOthers:
      return "a folder is owned by another account";
    case LogPathVerdict::kFolderWritableByOthers:
      return "a folder is writable by others";
    case LogPathVerdict::kFileIsLink:
      return "the file is a link";
    case LogPathVerdict::kFileNotRegular:
      return "the file is not a plain file";
    case LogPathVerdict::kFileOwnedByOthers:
      return "the file is owned by another account";
    case LogPathVerdict::kFileHasOtherLinks:
      return "the file has other hard links";
  }
  return "unknown";
}

}  // namespace os
