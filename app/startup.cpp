#include "app/startup.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include "platform/os.h"
#include "platform/text_helpers.h"
#include "ui/names.h"

namespace {

constexpr int kConsoleWidth = 121;
constexpr int kConsoleHeight = 65;
constexpr char kCheckingInstance[] = "Checking for any other instance of RozAdo tool!\n";
constexpr char kNoTempDirectory[] =
    "VerifyInstance: No temp directory identified or GetTempPath failed!\n";
constexpr char kNoProcessList[] = "VerifyInstance: Failed to get process details!\n";
constexpr char kToolRunning[] =
    "Error: Either another RozAdo tool is already running, or your last session did not close "
    "gracefully. Required to clear the settings!\n";
constexpr char kLockNotCleared[] =
    "Error: last session did not close gracefully.  Unable to clear lock.\n";
constexpr char kLockCleared[] = "Warning: last session did not close gracefully.  Clearing lock.\n";
constexpr char kNoRunLock[] = "VerifyInstance: Unable to take the run lock: %s\n";

std::string Lowered(const std::string& text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

}  // namespace

bool CheckSupportingFiles(UserInterface& ui) {
  if (FileExists(kPackageConfigFile)) return true;
  ui.Print("Supporting file %s is missing. Cannot proceed.\n", kPackageConfigFile);
  return false;
}

void CreateFirmwareComponents(Program& program) {
  program.firmware_components.clear();
  program.firmware_components.push_back(std::make_unique<REdeviFirmware>(program));
  program.firmware_components.push_back(nullptr);
  program.component_count = 1;
}

bool IsFlashToolProcess(const std::string& name) {
  if (name.find(kSupportExecutable) != std::string::npos) return true;
  // The module name of a running flash tool is its program name, never its
  // whole command text, so the program name (in any case) is what finds it.
  return Lowered(name).find(Lowered(kFlashToolProgram)) != std::string::npos;
}

bool VerifyInstanceWith(UserInterface& ui, const std::string* temp_directory,
                        const ProcessLister& list_processes, const RunLockTaker& take_run_lock) {
  ui.Write("%s", kCheckingInstance);
  // Two runs that pass the checks below together would flash the same
  // adapters at once: the first to take the run lock goes on, and a run that
  // cannot exclude the others does not go on at all.
  if (take_run_lock) {
    std::string why;
    switch (take_run_lock(&why)) {
      case os::RunLock::kTaken:
        break;
      case os::RunLock::kHeldByAnotherRun:
        ui.Write("%s", kToolRunning);
        return false;
      case os::RunLock::kUnavailable:
        ui.Print(kNoRunLock, why.c_str());
        return false;
    }
  }
  if (temp_directory == nullptr) {
    ui.Write("%s", kNoTempDirectory);
    return true;
  }
  // The temporary directory ends in a separator already; the doubled one is
  // accepted by the file system and kept as the tools write it.
  const std::string lock = *temp_directory + os::PathSeparator() + kLockFileName;
  if (!os::NameExists(lock)) return true;

  // Without the whole process list a flash tool may be at work: its lock stays.
  std::vector<std::string> names;
  if (!list_processes(&names)) {
    ui.Write("%s", kNoProcessList);
    ui.Write("%s", kLockNotCleared);
    return false;
  }
  for (const std::string& name : names) {
    if (IsFlashToolProcess(name)) {
      ui.Write("%s", kToolRunning);
      return false;
    }
  }

  if (!os::NameExists(lock)) return true;
  // The flash tool runs as an administrator: a lock file of another account
  // is none of its, and neither refuses the run nor stays.
  if (os::OwnedByAnotherAccount(lock)) {
    os::RemoveName(lock);
  } else if (!os::RemoveFile(lock)) {
    ui.Write("%s", kLockNotCleared);
    return false;
  }
  ui.Write("%s", kLockCleared);
  return true;
}

bool VerifyInstance(UserInterface& ui) {
  std::string temp_directory;
  const bool have_temp = os::TempDirectory(&temp_directory);
  const std::string system_folder = os::SystemDrive() + os::PathSeparator() + kSystemFolderName;
  return VerifyInstanceWith(ui, have_temp ? &temp_directory : nullptr, os::RunningProcessNames,
                            [&](std::string* why) { return os::TakeRunLock(system_folder, why); });
}

bool StartUp(Program& program) {
  try {
    os::SetWindowTitle(kProductTitle);
    const std::string log_path = PrepareLogFile();
    program.ui = std::make_unique<UserInterface>(log_path, kConsoleWidth, kConsoleHeight);
    if (!program.runner) program.runner = MakeProcessRunner();
    if (!CheckSupportingFiles(*program.ui)) return false;
    CreateFirmwareComponents(program);
    return VerifyInstance(*program.ui);
  } catch (...) {
    if (program.ui) program.ui->Print("Error initializing FW upgrade software.\n");
    return false;
  }
}
