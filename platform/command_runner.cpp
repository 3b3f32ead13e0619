#include "platform/command_runner.h"

#include "platform/command_text.h"
#include "platform/os.h"
#include "ui/user_interface.h"

namespace {

class ProcessRunner : public CommandRunner {
 public:
  bool Start(const std::string& command_text, uint32_t* exit_code) override {
    return os::StartAndWait(command_text, exit_code);
  }
};

}  // namespace

std::unique_ptr<CommandRunner> MakeProcessRunner() { return std::make_unique<ProcessRunner>(); }

bool RunCommand(UserInterface& ui, CommandRunner& runner, const std::string& command_text,
                uint32_t* exit_code) {
  // A quote in a path is read one way by one runtime and another way by the
  // next; such a name (an image name from the package, a report path) is
  // refused rather than handed to a tool that runs as an administrator.
  for (const std::string& argument : SplitCommandText(command_text)) {
    if (argument.find('"') == std::string::npos) continue;
    ui.Write("Error: %s holds a double quote; it is not passed to the flash tool.\n",
             argument.c_str());
    *exit_code = kRunnerFailureCode;
    return false;
  }
  ui.Write("%s\n", command_text.c_str());
  uint32_t code = 0;
  if (!runner.Start(command_text, &code)) {
    *exit_code = kRunnerFailureCode;
    return false;
  }
  *exit_code = code;
  return true;
}
