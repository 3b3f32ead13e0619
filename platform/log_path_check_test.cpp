#include "platform/log_path_check.h"

#include <gtest/gtest.h>

namespace {

using os::LogPathPart;
using os::LogPathVerdict;

LogPathPart Link() {
  LogPathPart part;
  part.is_link = true;
  return part;
}
LogPathPart ForeignOwner() {
  LogPathPart part;
  part.trusted_owner = false;
  return part;
}
LogPathPart OpenToOthers(bool sticky) {
  LogPathPart part;
  part.writable_by_others = true;
  part.sticky = sticky;
  return part;
}
LogPathPart HardLinked(uint32_t links) {
  LogPathPart part;
  part.link_count = links;
  return part;
}
LogPathPart NotRegular() {
  LogPathPart part;
  part.regular_file = false;
  return part;
}

// The Windows cases (a reparse point on each part, a foreign owner, two hard
// links) and the POSIX ones (symbolic links, modes) in one table: the facts
// differ by platform, the rules do not.
TEST(LogPathCheckTest, DecidesOnEveryPart) {
  const LogPathPart sound;
  struct Case {
    const char* name;
    LogPathPart system_folder, log_folder, file;
    LogPathVerdict verdict;
  } cases[] = {
      {"sound path", sound, sound, sound, LogPathVerdict::kTrusted},
      {"zpxsystem is a link or junction", Link(), sound, sound, LogPathVerdict::kFolderIsLink},
      {"log is a link or junction", sound, Link(), sound, LogPathVerdict::kFolderIsLink},
      {"the file is a link", sound, sound, Link(), LogPathVerdict::kFileIsLink},
      {"zpxsystem owned by another user", ForeignOwner(), sound, sound,
       LogPathVerdict::kFolderOwnedByOthers},
      {"log owned by another user", sound, ForeignOwner(), sound,
       LogPathVerdict::kFolderOwnedByOthers},
      // The file's owner does not matter: no one else can replace it in a sound folder.
      {"file owned by another user", sound, sound, ForeignOwner(), LogPathVerdict::kTrusted},
      {"zpxsystem writable by others", OpenToOthers(false), sound, sound,
       LogPathVerdict::kFolderWritableByOthers},
      {"log writable by others", sound, OpenToOthers(false), sound,
       LogPathVerdict::kFolderWritableByOthers},
      {"writable by others with the sticky bit", OpenToOthers(true), OpenToOthers(true), sound,
       LogPathVerdict::kTrusted},
      {"two hard links", sound, sound, HardLinked(2), LogPathVerdict::kFileHasOtherLinks},
      {"one hard link", sound, sound, HardLinked(1), LogPathVerdict::kTrusted},
      {"a pipe or device", sound, sound, NotRegular(), LogPathVerdict::kFileNotRegular},
      // The outer folder is judged first.
      {"both folders bad", ForeignOwner(), Link(), Link(), LogPathVerdict::kFolderOwnedByOthers},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(os::LogPathVerdictText(os::JudgeLogPath(c.system_folder, c.log_folder, c.file)),
              std::string(os::LogPathVerdictText(c.verdict)));
    const bool folders_sound = c.verdict == LogPathVerdict::kTrusted ||
                               c.verdict == LogPathVerdict::kFileIsLink ||
                               c.verdict == LogPathVerdict::kFileNotRegular ||
                               c.verdict == LogPathVerdict::kFileHasOtherLinks;
    EXPECT_EQ(os::JudgeLogFolders(c.system_folder, c.log_folder) == LogPathVerdict::kTrusted,
              folders_sound);
  }
}

}  // namespace
