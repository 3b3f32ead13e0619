#include "platform/command_runner.h"

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
  ui.Write("%s\n", command_text.c_str());
  uint32_t code = 0;
  if (!runner.Start(command_text, &code)) {
    *exit_code = kRunnerFailureCode;
    return false;
  }
  *exit_code = code;
  return true;
}
