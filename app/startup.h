// The checks that run before the command line is read.
#ifndef KX_APP_STARTUP_H_
#define KX_APP_STARTUP_H_

#include "app/program.h"

/// Titles the console, prepares the log, creates the UserInterface and checks
/// the package. False when the run must end (exit code 0, no banner).
bool StartUp(Program& program);

/// True when the package configuration exists in the current directory;
/// otherwise prints why the run cannot proceed.
bool CheckSupportingFiles(UserInterface& ui);

#endif  // KX_APP_STARTUP_H_
