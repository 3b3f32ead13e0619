#include "platform/log_path_check.h"

#include <gtest/gtest.h>

namespace {

using os::LogPathPart;
using os::LogPathVerdict;

// A sound part with one fact changed.
template <class Change>
LogPathPart Part(Change change) {
  LogPathPart part;
  change(part);
  return part;
}

const LogPathPart kLink = Part([](LogPathPart& p) { p.is_link = true; });
const LogPathPart kForeignOwner = Part([](LogPathPart& p) { p.trusted_owner = false; });
const LogPathPart kOpenToOthers = Part([](LogPathPart& p) { p.writable_by_others = true; });
const LogPathPart kOpenToOthersSticky = Part([](LogPathPart& p) {
  p.writable_by_others = true;
  p.sticky = true;
});
const LogPathPart kTwoLinks = Part([](LogPathPart& p) { p.link_count = 2; });
const LogPathPart kNotRegular = Part([](LogPathPart& p) { p.regular_file = false; });

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
      {"zpxsystem is a link or junction", kLink, sound, sound, LogPathVerdict::kFolderIsLink},
      {"log is a link or junction", sound, kLink, sound, LogPathVerdict::kFolderIsLink},
      {"the file is a link", sound, sound, kLink, LogPathVerdict::kFileIsLink},
      {"zpxsystem owned by another user", kForeignOwner, sound, sound,
       LogPathVerdict::kFolderOwnedByOthers},
      {"log owned by another user", sound, kForeignOwner, sound,
       LogPathVerdict::kFolderOwnedByOthers},
      // Made first by that user in a folder that lets others add files.
      {"file owned by another user", sound, sound, kForeignOwner,
       LogPathVerdict::kFileOwnedByOthers},
      {"zpxsystem writable by others", kOpenToOthers, sound, sound,
       LogPathVerdict::kFolderWritableByOthers},
      {"log writable by others", sound, kOpenToOthers, sound,
       LogPathVerdict::kFolderWritableByOthers},
      {"writable by others with the sticky bit", kOpenToOthersSticky, kOpenToOthersSticky, sound,
       LogPathVerdict::kTrusted},
      {"two hard links", sound, sound, kTwoLinks, LogPathVerdict::kFileHasOtherLinks},
      {"one hard link", sound, sound, sound, LogPathVerdict::kTrusted},
      {"a pipe or device", sound, sound, kNotRegular, LogPathVerdict::kFileNotRegular},
      // The outer folder is judged first.
      {"both folders bad", kForeignOwner, kLink, kLink, LogPathVerdict::kFolderOwnedByOthers},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(os::LogPathVerdictText(os::JudgeLogPath(c.system_folder, c.log_folder, c.file)),
              std::string(os::LogPathVerdictText(c.verdict)));
    const bool folders_sound = c.verdict == LogPathVerdict::kTrusted ||
                               c.verdict == LogPathVerdict::kFileIsLink ||
                               c.verdict == LogPathVerdict::kFileNotRegular ||
                               c.verdict == LogPathVerdict::kFileOwnedByOthers ||
                               c.verdict == LogPathVerdict::kFileHasOtherLinks;
    EXPECT_EQ(os::JudgeLogFolders(c.system_folder, c.log_folder) == LogPathVerdict::kTrusted,
              folders_sound);
  }
}

}  // namespace
