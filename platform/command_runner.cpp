#include "platform/command_runner.h"

#include "platform/command_text.h"
#include "platform/os.h"
#include "ui/user_interface.h"

namespace {

// On a line of its own, after the "^C" that a terminal echoes.
constexpr char kWriteInProgress[] =
    "\nInterrupt received: a firmware write is in progress. The run will stop after it.\n";

class ProcessRunner : public CommandRunner {
 public:
  bool Start(const std::string& command_text, uint32_t* exit_code) override {
    return os::StartAndWait(command_text, exit_code);
  }
  bool StartShielded(const std::string& command_text, uint32_t* exit_code,
                     const std::function<void()>& on_interrupt, bool* interrupted) override {
    return os::StartAndWaitShielded(command_text, exit_code, on_interrupt, interrupted);
  }
};

}  // namespace

bool CommandRunner::StartShielded(const std::string& command_text, uint32_t* exit_code,
                                  const std::function<void()>&, bool* interrupted) {
  *interrupted = false;
  return Start(command_text, exit_code);
}

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

bool RunWriteCommand(UserInterface& ui, CommandRunner& runner, const std::string& command_text,
                     uint32_t* exit_code, bool* interrupted) {
  ui.Write("%s\n", command_text.c_str());
  uint32_t code = 0;
  bool said = false;
  const auto say = [&ui, &said] {
    if (said) return;
    said = true;
    ui.Print(std::string(kWriteInProgress));
  };
  *interrupted = false;
  if (!runner.StartShielded(command_text, &code, say, interrupted)) {
    *exit_code = kRunnerFailureCode;
    return false;
  }
  *exit_code = code;
  return true;
}
