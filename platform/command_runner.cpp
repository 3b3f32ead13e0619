#include "platform/command_runner.h"

#include "platform/command_text.h"
#include "platform/os.h"

namespace {

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

bool RunCommand(CommandReport& report, CommandRunner& runner, const std::string& command_text,
                uint32_t* exit_code) {
  // A quote in a path is read one way by one runtime and another way by the
  // next; such a name (an image name from the package, a report path) is
  // refused rather than handed to a tool that runs as an administrator.
  for (const std::string& argument : SplitCommandText(command_text)) {
    if (argument.find('"') == std::string::npos) continue;
    report.QuoteRefused(argument);
    *exit_code = kRunnerFailureCode;
    return false;
  }
  report.Starting(command_text);
  uint32_t code = 0;
  if (!runner.Start(command_text, &code)) {
    *exit_code = kRunnerFailureCode;
    return false;
  }
  *exit_code = code;
  return true;
}

bool RunWriteCommand(CommandReport& report, CommandRunner& runner,
                     const std::string& command_text, uint32_t* exit_code, bool* interrupted) {
  report.Starting(command_text);
  uint32_t code = 0;
  bool said = false;
  const auto say = [&report, &said] {
    if (said) return;
    said = true;
    report.InterruptDuringWrite();
  };
  *interrupted = false;
  if (!runner.StartShielded(command_text, &code, say, interrupted)) {
    *exit_code = kRunnerFailureCode;
    return false;
  }
  *exit_code = code;
  return true;
}
