// The report modes: -d (the flash tool writes a discovery report), -u (the
// flash tool updates from one) and -ql (a discovery pass that reports on the
// version-only file).
#ifndef KX_APP_REPORT_MODES_H_
#define KX_APP_REPORT_MODES_H_

#include "app/program.h"

/// Builds and runs the report command; the tool's exit code, or 1 when it
/// could not be started.
int RunReportCommand(RunState& state);

/// Builds and runs the update-from-report command. 5 when the tool exited 0
/// (and FlashDone is set), the tool's exit code otherwise, 1 when it could not
/// be started.
int RunUpdateCommand(RunState& state);

/// Loads the package configuration; 1 when its firmware image exists, else 0
/// (with a warning in the log).
int CheckPackageFirmwareFile(RunState& state);

#endif  // KX_APP_REPORT_MODES_H_
