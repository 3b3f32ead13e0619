// The modes of a run; each returns the program's exit code.
#ifndef KX_APP_MODES_H_
#define KX_APP_MODES_H_

#include "app/program.h"
#include "inventory/installed_display.h"  // -c: ShowInstalledFirmware(RunState&)

/// -d <file>: the flash tool writes a discovery report.
int GenerateDiscoveryReport(Program& program);
/// -u <file>: the flash tool updates from a discovery report.
int UpdateFromReport(Program& program);
/// -ql: a discovery pass that reports on the version-only file.
int VersionOnlyMode(Program& program);
/// The default mode: ask about each supported adapter and flash the chosen ones.
int UpdatePass(Program& program);

#endif  // KX_APP_MODES_H_
