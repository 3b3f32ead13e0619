// Whether the flash tool may be handed a report path: -d has the tool write
// the report by name, -u has it flash what the report says, and both run as
// an administrator. A folder on the way that another account can change lets
// that account swap the report for a link (the tool writes wherever it points)
// or for other contents (another image is flashed). Each platform walks the
// path and gathers the facts; this decides, on every platform.
#ifndef KX_PLATFORM_REPORT_PATH_CHECK_H_
#define KX_PLATFORM_REPORT_PATH_CHECK_H_

#include <string>

#include "platform/log_path_check.h"

namespace os {

enum class ReportPathVerdict {
  kSound,
  kHoldsQuote,          ///< a double quote cannot reach the tool as one argument
  kFolderMissing,       ///< a folder on the way does not exist
  kNotAFolder,          ///< something on the way is neither a folder nor a link
  kTooManyLinks,        ///< links lead on and on (or in a circle)
  kLinkOwnedByOthers,   ///< a link on the way belongs to another account
  kFolderOwnedByOthers, ///< a folder on the way belongs to another account
  kFolderOpenToOthers,  ///< another account can change a folder on the way
  kReportIsLink,        ///< -u: the report itself is a link or junction
};

/// A verdict and the path it concerns (the folder, the link or the report).
struct ReportPathCheck {
  ReportPathVerdict verdict = ReportPathVerdict::kSound;
  std::string where;
};

/// One step of the way, links already told apart: a link must belong to the
/// program's account or the system's; a folder too, and no one else may write
/// it, except that a folder above the report's own one (`own_folder` false)
/// may let others add entries when they cannot remove or rename what is not
/// theirs (POSIX: the sticky bit; Windows: no delete-child right).
ReportPathVerdict JudgeReportPathStep(const LogPathPart& step, bool own_folder);

/// Why a path is refused, as the console and the log tell it ("other accounts
/// can change the folder /tmp"); empty for a sound path.
std::string ReportPathProblem(const ReportPathCheck& check);

}  // namespace os

#endif  // KX_PLATFORM_REPORT_PATH_CHECK_H_
