// The program driver: start-up, command line, banner, one mode, exit code.
#ifndef KX_APP_DRIVER_H_
#define KX_APP_DRIVER_H_

#include <functional>
#include <string>

#include "app/program.h"

/// Runs the whole program and returns the process exit code.
int RunProgram(Program& program, int argc, char** argv);

/// Prints the rule, the title with the program's version, the ownership notice.
void ShowBanner(UserInterface& ui);

/// Writes the (already rewritten) arguments to the log.
void EchoCommandLine(UserInterface& ui, int argc, char** argv);

/// The asctime form of a local time, with the day of the month zero-padded,
/// ending in a newline ("Tue Dec 08 04:04:44 2026\n").
std::string AsctimeText(const struct tm& time);

/// Writes "<label>: <asctime text>" with the current local time to the log.
void LogTimestamp(UserInterface& ui, const char* label);

/// Runs one mode; an escaping exception prints the unexpected-error message
/// and gives 0.
int RunGuarded(UserInterface& ui, const std::function<int()>& mode);

#endif  // KX_APP_DRIVER_H_
