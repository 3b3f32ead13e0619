#include "app/startup.h"

#include <exception>

#include "platform/names.h"
#include "platform/os.h"
#include "platform/text_helpers.h"

bool CheckSupportingFiles(UserInterface& ui) {
  if (FileExists(kPackageConfigFile)) return true;
  ui.Print("Supporting file %s is missing. Cannot proceed.\n", kPackageConfigFile);
  return false;
}

bool StartUp(Program& program) {
  try {
    os::SetWindowTitle(kProductTitle);
    const std::string log_path = PrepareLogFile();
    program.ui = std::make_unique<UserInterface>(log_path, 121, 65);
    if (!program.runner) program.runner = MakeProcessRunner();
    if (!CheckSupportingFiles(*program.ui)) return false;
    return true;
  } catch (...) {
    if (program.ui) program.ui->Print("Error initializing FW upgrade software.\n");
    return false;
  }
}
