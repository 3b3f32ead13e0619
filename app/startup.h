// The checks that run before the command line is read.
#ifndef KX_APP_STARTUP_H_
#define KX_APP_STARTUP_H_

#include <functional>
#include <string>
#include <vector>

#include "app/program.h"
#include "platform/os.h"

/// Titles the console, prepares the log, creates the UserInterface, checks
/// the package, creates the firmware components and runs the instance check.
/// False when the run must end (exit code 0, no banner).
bool StartUp(Program& program);

/// True when the package configuration exists in the current directory;
/// otherwise prints why the run cannot proceed.
bool CheckSupportingFiles(UserInterface& ui);

/// Fills program.firmware_components with one REdeviFirmware and an empty
/// slot after it; component_count becomes 1.
void CreateFirmwareComponents(Program& program);

/// The single-instance check against the flash tools, on the platform's
/// temporary directory and process list. True when the run may continue.
/// Its messages go to the log only.
bool VerifyInstance(UserInterface& ui);

/// Lists the base names of the running processes; false when the list cannot
/// be read.
using ProcessLister = std::function<bool(std::vector<std::string>* names)>;

/// Takes the utility's own run lock (see os::TakeRunLock); with kUnavailable,
/// the reason goes into its argument.
using RunLockTaker = std::function<os::RunLock(std::string* why)>;

/// VerifyInstance with its inputs given: `temp_directory` (ending in the path
/// separator; null when there is none), the process lister, which is called
/// only when the flash tool's lock file exists, and the run lock, taken first
/// (not taken when null): another run that holds it refuses this one as a
/// running flash tool does, and a lock that cannot be taken refuses it with a
/// log line that says why. A running flash tool refuses the run, and so does a
/// process list that cannot be read in full; otherwise the lock file is
/// deleted (the run is refused when it cannot be), and one that belongs to
/// another account than root or the program's is deleted whatever it is.
bool VerifyInstanceWith(UserInterface& ui, const std::string* temp_directory,
                        const ProcessLister& list_processes,
                        const RunLockTaker& take_run_lock = nullptr);

/// True for a process base name that shows a flash tool at work: it contains
/// "vareviv_x86.exe", or the flash tool's program name in any letter case.
bool IsFlashToolProcess(const std::string& name);

#endif  // KX_APP_STARTUP_H_
