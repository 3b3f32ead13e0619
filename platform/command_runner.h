// The one place where a command text becomes a child process.
#ifndef KX_PLATFORM_COMMAND_RUNNER_H_
#define KX_PLATFORM_COMMAND_RUNNER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

/// The runner's own exit code for a child that could not be started.
constexpr uint32_t kRunnerFailureCode = 98;

/// Starts a command and waits for it; tests replace it with a fake that records
/// the commands and plays back exit codes.
class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  /// Runs `command_text` (program name first, arguments quoted as
  /// QuoteArgument does) to its end. True
  /// with the child's exit code; false when the child could not be started.
  virtual bool Start(const std::string& command_text, uint32_t* exit_code) = 0;
  /// Runs a call that writes firmware as Start does, shielded from the
  /// console's interrupts (os::StartAndWaitShielded): `on_interrupt` runs once
  /// when the first arrives, and `interrupted` says whether one did. This
  /// default runs Start, which no interrupt reaches.
  virtual bool StartShielded(const std::string& command_text, uint32_t* exit_code,
                             const std::function<void()>& on_interrupt, bool* interrupted);
};

/// The platform's runner: a real child process, normal priority, its output
/// kept off the console, waited for without time limit.
std::unique_ptr<CommandRunner> MakeProcessRunner();

/// What RunCommand and RunWriteCommand tell as they go; the layer above gives
/// one that writes it where a person reads it (the log, the console).
class CommandReport {
 public:
  virtual ~CommandReport() = default;
  /// The child is about to start with `command_text`.
  virtual void Starting(const std::string& command_text) = 0;
  /// `argument` holds a double quote: the command is not run.
  virtual void QuoteRefused(const std::string& argument) = 0;
  /// The first interrupt that arrived while a write ran (said once per call).
  virtual void InterruptDuringWrite() = 0;
};

/// Tells Starting, then runs the command. True when the child ran (the exit
/// code is its own); false when it could not start (exit code 98). An argument
/// that holds a double quote is never passed: the command is not run (false,
/// 98), and QuoteRefused names the argument instead of Starting.
bool RunCommand(CommandReport& report, CommandRunner& runner, const std::string& command_text,
                uint32_t* exit_code);

/// RunCommand for a call that writes firmware: the same report and results,
/// but the child is never cut short by an interrupt (Ctrl+C, a hang-up); one
/// that arrives meanwhile is told once through InterruptDuringWrite, and
/// `interrupted` is then true, for the caller to stop after this call.
bool RunWriteCommand(CommandReport& report, CommandRunner& runner,
                     const std::string& command_text, uint32_t* exit_code, bool* interrupted);

#endif  // KX_PLATFORM_COMMAND_RUNNER_H_
