// Portable: no operating-system calls here; both builds compile and test it.
#include "platform/report_path_check.h"

namespace os {

ReportPathVerdict JudgeReportPathStep(const LogPathPart& step, bool own_folder) {
  if (step.is_link) {
    return step.trusted_owner ? ReportPathVerdict::kSound : ReportPathVerdict::kLinkOwnedByOthers;
  }
  if (!step.trusted_owner) return ReportPathVerdict::kFolderOwnedByOthers;
  if (step.writable_by_others && (own_folder || !step.sticky)) {
    return ReportPathVerdict::kFolderOpenToOthers;
  }
  return ReportPathVerdict::kSound;
}

std::string ReportPathProblem(const ReportPathCheck& check) {
  const std::string& where = check.where;
  switch (check.verdict) {
    case ReportPathVerdict::kSound:
      return std::string();
    case ReportPathVerdict::kHoldsQuote:
      return "the path holds a double quote";
    case ReportPathVerdict::kFolderMissing:
      return "the folder " + where + " does not exist";
    case ReportPathVerdict::kNotAFolder:
      return where + " is not a folder";
    case ReportPathVerdict::kTooManyLinks:
      return "too many links lead on from " + where;
    case ReportPathVerdict::kLinkOwnedByOthers:
      return "the link " + where + " belongs to another account";
    case ReportPathVerdict::kFolderOwnedByOthers:
      return "the folder " + where + " belongs to another account";
    case ReportPathVerdict::kFolderOpenToOthers:
      return "other accounts can change the folder " + where;
    case ReportPathVerdict::kReportIsLink:
      return "the report " + where + " is a link";
  }
  return "unknown";
}

}  // namespace os
